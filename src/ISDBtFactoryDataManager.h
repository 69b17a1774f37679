#pragma once
// Results of the production-line test, kept in factory.ini so that a test
// interrupted by a power cycle resumes where it stopped. Published to QML as
// "FactoryData". Every item is 0 not tested, 1 fail, 2 pass; the PCB,
// assembly and overall verdicts are derived each time an item is written.

#include <QMutex>
#include <QObject>
#include <QString>

#include <functional>

class QSettings;

class ISDBtFactoryDataManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int nFinalResult READ getFinalResult WRITE setFinalResult NOTIFY notifyFinalResultChanged)
    Q_PROPERTY(int nPcbResult READ getPcbResult WRITE setPcbResult NOTIFY notifyPcbResultChanged)
    Q_PROPERTY(int nAssyResult READ getAssyResult WRITE setAssyResult NOTIFY notifyAssyResultChanged)
    Q_PROPERTY(int nStatus READ getStatus WRITE setStatus NOTIFY notifyStatusChanged)
    Q_PROPERTY(int nResult READ getResult WRITE setResult NOTIFY notifyResultChanged)
    Q_PROPERTY(int nResFwVersion READ getResFwVersion WRITE setResFwVersion NOTIFY notifyResFwVersionChanged)
    Q_PROPERTY(int nResChrontelVersion READ getResChrontelVersion WRITE setResChrontelVersion NOTIFY notifyResChrontelVersionChanged)
    Q_PROPERTY(int nResProductCurrent READ getResProductCurrent WRITE setResProductCurrent NOTIFY notifyResProductCurrentChanged)
    Q_PROPERTY(int nResAntCurrent READ getResAntCurrent WRITE setResAntCurrent NOTIFY notifyResAntCurrentChanged)
    Q_PROPERTY(int nResAntShort READ getResAntShort WRITE setResAntShort NOTIFY notifyResAntShortChanged)
    Q_PROPERTY(int nResHdmiOutput READ getResHdmiOutput WRITE setResHdmiOutput NOTIFY notifyResHdmiOutputChanged)
    Q_PROPERTY(int nResCvbsOutput READ getResCvbsOutput WRITE setResCvbsOutput NOTIFY notifyResCvbsOutputChanged)
    Q_PROPERTY(int nResCvbsLeftOutput READ getResCvbsLeftOutput WRITE setResCvbsLeftOutput NOTIFY notifyResCvbsLeftOutputChanged)
    Q_PROPERTY(int nResCvbsRightOutput READ getResCvbsRightOutput WRITE setResCvbsRightOutput NOTIFY notifyResCvbsRightOutputChanged)
    Q_PROPERTY(int nResHdmiSelector READ getResHdmiSelector WRITE setResHdmiSelector NOTIFY notifyResHdmiSelectorChanged)
    Q_PROPERTY(int nResScan READ getResScan WRITE setResScan NOTIFY notifyResScanChanged)
    Q_PROPERTY(int nResHighFreqP1 READ getResHighFreqP1 WRITE setResHighFreqP1 NOTIFY notifyResHighFreqP1Changed)
    Q_PROPERTY(int nResHighFreqP2 READ getResHighFreqP2 WRITE setResHighFreqP2 NOTIFY notifyResHighFreqP2Changed)
    Q_PROPERTY(int nResHighFreqP3 READ getResHighFreqP3 WRITE setResHighFreqP3 NOTIFY notifyResHighFreqP3Changed)
    Q_PROPERTY(int nResHighFreqP4 READ getResHighFreqP4 WRITE setResHighFreqP4 NOTIFY notifyResHighFreqP4Changed)
    Q_PROPERTY(int nResLowFreqP1 READ getResLowFreqP1 WRITE setResLowFreqP1 NOTIFY notifyResLowFreqP1Changed)
    Q_PROPERTY(int nResLowFreqP2 READ getResLowFreqP2 WRITE setResLowFreqP2 NOTIFY notifyResLowFreqP2Changed)
    Q_PROPERTY(int nResLowFreqP3 READ getResLowFreqP3 WRITE setResLowFreqP3 NOTIFY notifyResLowFreqP3Changed)
    Q_PROPERTY(int nResLowFreqP4 READ getResLowFreqP4 WRITE setResLowFreqP4 NOTIFY notifyResLowFreqP4Changed)
    Q_PROPERTY(int nResUsbPort READ getResUsbPort WRITE setResUsbPort NOTIFY notifyResUsbPortChanged)
    Q_PROPERTY(int nResDATouch READ getResDATouch WRITE setResDATouch NOTIFY notifyResDATouchChanged)
    Q_PROPERTY(int nResHighFreqP1Cnr READ getResHighFreqP1Cnr WRITE setResHighFreqP1Cnr NOTIFY notifyResHighFreqP1CnrChanged)
    Q_PROPERTY(int nResHighFreqP2Cnr READ getResHighFreqP2Cnr WRITE setResHighFreqP2Cnr NOTIFY notifyResHighFreqP2CnrChanged)
    Q_PROPERTY(int nResHighFreqP3Cnr READ getResHighFreqP3Cnr WRITE setResHighFreqP3Cnr NOTIFY notifyResHighFreqP3CnrChanged)
    Q_PROPERTY(int nResHighFreqP4Cnr READ getResHighFreqP4Cnr WRITE setResHighFreqP4Cnr NOTIFY notifyResHighFreqP4CnrChanged)
    Q_PROPERTY(int nResLowFreqP1Cnr READ getResLowFreqP1Cnr WRITE setResLowFreqP1Cnr NOTIFY notifyResLowFreqP1CnrChanged)
    Q_PROPERTY(int nResLowFreqP2Cnr READ getResLowFreqP2Cnr WRITE setResLowFreqP2Cnr NOTIFY notifyResLowFreqP2CnrChanged)
    Q_PROPERTY(int nResLowFreqP3Cnr READ getResLowFreqP3Cnr WRITE setResLowFreqP3Cnr NOTIFY notifyResLowFreqP3CnrChanged)
    Q_PROPERTY(int nResLowFreqP4Cnr READ getResLowFreqP4Cnr WRITE setResLowFreqP4Cnr NOTIFY notifyResLowFreqP4CnrChanged)

public:
    static ISDBtFactoryDataManager* getInstance()
    {
        if (m_pInstance == nullptr) {
            static QMutex qmutex;
            qmutex.lock();
            if (m_pInstance == nullptr)
                m_pInstance = new ISDBtFactoryDataManager(nullptr);
            qmutex.unlock();
        }
        return m_pInstance;
    }

    ~ISDBtFactoryDataManager() override;

    static const QString KEY_FACTORY_FINALRESULT;
    static const QString KEY_FACTORY_PCB_RESULT;
    static const QString KEY_FACTORY_ASSY_RESULT;
    static const QString KEY_FACTORY_STATUS;
    static const QString KEY_FACTORY_RESULT;
    static const QString KEY_FACTORY_FWVERSION;
    static const QString KEY_FACTORY_CHRONTELVERSION;
    static const QString KEY_FACTORY_PRODUCTCURRENT;
    static const QString KEY_FACTORY_ANTCURRENT;
    static const QString KEY_FACTORY_ANTSHORT;
    static const QString KEY_FACTORY_HDMIOUTPUT;
    static const QString KEY_FACTORY_CVBSOUTPUT;
    static const QString KEY_FACTORY_CVBSLEFTOUTPUT;
    static const QString KEY_FACTORY_CVBSRIGHTOUTPUT;
    static const QString KEY_FACTORY_HDMISELECTOR;
    static const QString KEY_FACTORY_SCAN;
    static const QString KEY_FACTORY_HIGHFREQUENCY_P1;
    static const QString KEY_FACTORY_HIGHFREQUENCY_P2;
    static const QString KEY_FACTORY_HIGHFREQUENCY_P3;
    static const QString KEY_FACTORY_HIGHFREQUENCY_P4;
    static const QString KEY_FACTORY_LOWFREQUENCY_P1;
    static const QString KEY_FACTORY_LOWFREQUENCY_P2;
    static const QString KEY_FACTORY_LOWFREQUENCY_P3;
    static const QString KEY_FACTORY_LOWFREQUENCY_P4;
    static const QString KEY_FACTORY_USBPORT;
    static const QString KEY_FACTORY_DATOUCH;
    static const QString KEY_FACTORY_HIGHFREQUENCY_P1_CNR;
    static const QString KEY_FACTORY_HIGHFREQUENCY_P2_CNR;
    static const QString KEY_FACTORY_HIGHFREQUENCY_P3_CNR;
    static const QString KEY_FACTORY_HIGHFREQUENCY_P4_CNR;
    static const QString KEY_FACTORY_LOWFREQUENCY_P1_CNR;
    static const QString KEY_FACTORY_LOWFREQUENCY_P2_CNR;
    static const QString KEY_FACTORY_LOWFREQUENCY_P3_CNR;
    static const QString KEY_FACTORY_LOWFREQUENCY_P4_CNR;

    int getFinalResult() const { return m_nFinalResult; }
    int getPcbResult() const { return m_nPcbResult; }
    int getAssyResult() const { return m_nAssyResult; }
    int getStatus() const { return m_nStatus; }
    int getResult() const { return m_nResult; }
    int getResFwVersion() const { return m_nResFwVersion; }
    int getResChrontelVersion() const { return m_nResChrontelVersion; }
    int getResProductCurrent() const { return m_nResProductCurrent; }
    int getResAntCurrent() const { return m_nResAntCurrent; }
    int getResAntShort() const { return m_nResAntShort; }
    int getResHdmiOutput() const { return m_nResHdmiOutput; }
    int getResCvbsOutput() const { return m_nResCvbsOutput; }
    int getResCvbsLeftOutput() const { return m_nResCvbsLeftOutput; }
    int getResCvbsRightOutput() const { return m_nResCvbsRightOutput; }
    int getResHdmiSelector() const { return m_nResHdmiSelector; }
    int getResScan() const { return m_nResScan; }
    int getResHighFreqP1() const { return m_nResHighFreqP1; }
    int getResHighFreqP2() const { return m_nResHighFreqP2; }
    int getResHighFreqP3() const { return m_nResHighFreqP3; }
    int getResHighFreqP4() const { return m_nResHighFreqP4; }
    int getResLowFreqP1() const { return m_nResLowFreqP1; }
    int getResLowFreqP2() const { return m_nResLowFreqP2; }
    int getResLowFreqP3() const { return m_nResLowFreqP3; }
    int getResLowFreqP4() const { return m_nResLowFreqP4; }
    int getResUsbPort() const { return m_nResUsbPort; }
    int getResDATouch() const { return m_nResDATouch; }
    int getResHighFreqP1Cnr() const { return m_nResHighFreqP1Cnr; }
    int getResHighFreqP2Cnr() const { return m_nResHighFreqP2Cnr; }
    int getResHighFreqP3Cnr() const { return m_nResHighFreqP3Cnr; }
    int getResHighFreqP4Cnr() const { return m_nResHighFreqP4Cnr; }
    int getResLowFreqP1Cnr() const { return m_nResLowFreqP1Cnr; }
    int getResLowFreqP2Cnr() const { return m_nResLowFreqP2Cnr; }
    int getResLowFreqP3Cnr() const { return m_nResLowFreqP3Cnr; }
    int getResLowFreqP4Cnr() const { return m_nResLowFreqP4Cnr; }

    // Sets one item by its key in factory.ini; keys of the verdicts and of the
    // measured figures are not accepted here.
    using QObject::setProperty;
    Q_INVOKABLE void setProperty(QString keyName, int nVal);
    // Marks every item of the test as not tested again, with one flush at the end.
    Q_INVOKABLE void resetAllProperty();
    // Key of the first item the test screen still has to run, or "".
    Q_INVOKABLE QString findItemNotTested();
    Q_INVOKABLE void setFinalResult(int nVal);
    Q_INVOKABLE void setPcbResult(int nVal);
    Q_INVOKABLE void setAssyResult(int nVal);
    Q_INVOKABLE void setStatus(int nVal);
    Q_INVOKABLE void setResult(int nVal);
    Q_INVOKABLE void setResFwVersion(int nVal);
    Q_INVOKABLE void setResChrontelVersion(int nVal);
    Q_INVOKABLE void setResProductCurrent(int nVal);
    Q_INVOKABLE void setResAntCurrent(int nVal);
    Q_INVOKABLE void setResAntShort(int nVal);
    Q_INVOKABLE void setResHdmiOutput(int nVal);
    Q_INVOKABLE void setResCvbsOutput(int nVal);
    Q_INVOKABLE void setResCvbsLeftOutput(int nVal);
    Q_INVOKABLE void setResCvbsRightOutput(int nVal);
    Q_INVOKABLE void setResHdmiSelector(int nVal);
    Q_INVOKABLE void setResScan(int nVal);
    Q_INVOKABLE void setResHighFreqP1(int nVal);
    Q_INVOKABLE void setResHighFreqP2(int nVal);
    Q_INVOKABLE void setResHighFreqP3(int nVal);
    Q_INVOKABLE void setResHighFreqP4(int nVal);
    Q_INVOKABLE void setResLowFreqP1(int nVal);
    Q_INVOKABLE void setResLowFreqP2(int nVal);
    Q_INVOKABLE void setResLowFreqP3(int nVal);
    Q_INVOKABLE void setResLowFreqP4(int nVal);
    Q_INVOKABLE void setResUsbPort(int nVal);
    Q_INVOKABLE void setResDATouch(int nVal);
    Q_INVOKABLE void setResHighFreqP1Cnr(int nVal);
    Q_INVOKABLE void setResHighFreqP2Cnr(int nVal);
    Q_INVOKABLE void setResHighFreqP3Cnr(int nVal);
    Q_INVOKABLE void setResHighFreqP4Cnr(int nVal);
    Q_INVOKABLE void setResLowFreqP1Cnr(int nVal);
    Q_INVOKABLE void setResLowFreqP2Cnr(int nVal);
    Q_INVOKABLE void setResLowFreqP3Cnr(int nVal);
    Q_INVOKABLE void setResLowFreqP4Cnr(int nVal);

    void reset();

    // The step after each flush of factory.ini that makes it durable: the
    // shell command "sync" unless replaced. Tests of the screens, which write
    // the record hundreds of times, put a step in its place that starts no
    // process.
    void setDiskSync(std::function<void()> diskSync);

signals:
    void notifyFinalResultChanged(int nVal);
    void notifyPcbResultChanged(int nVal);
    void notifyAssyResultChanged(int nVal);
    void notifyStatusChanged(int nVal);
    void notifyResultChanged(int nVal);
    void notifyResFwVersionChanged(int nVal);
    void notifyResChrontelVersionChanged(int nVal);
    void notifyResProductCurrentChanged(int nVal);
    void notifyResAntCurrentChanged(int nVal);
    void notifyResAntShortChanged(int nVal);
    void notifyResHdmiOutputChanged(int nVal);
    void notifyResCvbsOutputChanged(int nVal);
    void notifyResCvbsLeftOutputChanged(int nVal);
    void notifyResCvbsRightOutputChanged(int nVal);
    void notifyResHdmiSelectorChanged(int nVal);
    void notifyResScanChanged(int nVal);
    void notifyResHighFreqP1Changed(int nVal);
    void notifyResHighFreqP2Changed(int nVal);
    void notifyResHighFreqP3Changed(int nVal);
    void notifyResHighFreqP4Changed(int nVal);
    void notifyResLowFreqP1Changed(int nVal);
    void notifyResLowFreqP2Changed(int nVal);
    void notifyResLowFreqP3Changed(int nVal);
    void notifyResLowFreqP4Changed(int nVal);
    void notifyResUsbPortChanged(int nVal);
    void notifyResDATouchChanged(int nVal);
    void notifyResHighFreqP1CnrChanged(int nVal);
    void notifyResHighFreqP2CnrChanged(int nVal);
    void notifyResHighFreqP3CnrChanged(int nVal);
    void notifyResHighFreqP4CnrChanged(int nVal);
    void notifyResLowFreqP1CnrChanged(int nVal);
    void notifyResLowFreqP2CnrChanged(int nVal);
    void notifyResLowFreqP3CnrChanged(int nVal);
    void notifyResLowFreqP4CnrChanged(int nVal);

private:
    explicit ISDBtFactoryDataManager(QObject* parent);

    void initialize();
    void loadProperties();
    void printProperties();
    void saveProperty(bool sync, bool recheck);
    // Writes factory.ini out, then runs the disk sync.
    void flushFile();
    void writeItem(const char* setter, int& field, const QString& key, int nVal, bool sync, bool recheck,
                   void (ISDBtFactoryDataManager::*notify)(int));
    void checkAllTestResult();
    void checkPcbTestResult();
    void checkAssyTestResult();

    struct ItemKey {
        const QString* key;
        int ISDBtFactoryDataManager::*field;
    };
    static const int kItemCount = 34;
    static const ItemKey kItems[kItemCount];

    static ISDBtFactoryDataManager* m_pInstance;

    QSettings* m_pSettings = nullptr;
    int m_nFinalResult = 0;
    int m_nPcbResult = 0;
    int m_nAssyResult = 0;
    int m_nStatus = 0;
    int m_nResult = 0;
    int m_nResFwVersion = 0;
    int m_nResChrontelVersion = 0;
    int m_nResProductCurrent = 0;
    int m_nResAntCurrent = 0;
    int m_nResAntShort = 0;
    int m_nResHdmiOutput = 0;
    int m_nResCvbsOutput = 0;
    int m_nResCvbsLeftOutput = 0;
    int m_nResCvbsRightOutput = 0;
    int m_nResHdmiSelector = 0;
    int m_nResScan = 0;
    int m_nResHighFreqP1 = 0;
    int m_nResHighFreqP2 = 0;
    int m_nResHighFreqP3 = 0;
    int m_nResHighFreqP4 = 0;
    int m_nResLowFreqP1 = 0;
    int m_nResLowFreqP2 = 0;
    int m_nResLowFreqP3 = 0;
    int m_nResLowFreqP4 = 0;
    int m_nResUsbPort = 0;
    int m_nResDATouch = 0;
    int m_nResHighFreqP1Cnr = 0;
    int m_nResHighFreqP2Cnr = 0;
    int m_nResHighFreqP3Cnr = 0;
    int m_nResHighFreqP4Cnr = 0;
    int m_nResLowFreqP1Cnr = 0;
    int m_nResLowFreqP2Cnr = 0;
    int m_nResLowFreqP3Cnr = 0;
    int m_nResLowFreqP4Cnr = 0;
    // Cleared while resetAllProperty writes its batch, so that it flushes once.
    bool m_bSaveEnabled = true;
    std::function<void()> m_diskSync;
};
