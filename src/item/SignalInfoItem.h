#pragma once
// The latest reception-quality sample, shown by the engineering screens as
// "ISDBtSingalInfo".

#include <QMutex>
#include <QObject>

#include <cstdint>

// One sample of reception quality, in the order of SignalInfoItem's properties.
struct tagSignalQuality
{
    int32_t Enabled2TS;
    int32_t CnrTot;
    int32_t Cnr1Seg;
    int32_t Cnr0;
    int32_t Cnr1;
    int32_t Cnr2;
    int32_t Cnr3;
    int32_t PerErrA;
    int32_t PerTotA;
    int32_t PerErrB;
    int32_t PerTotB;
    int32_t Freq;
};

class SignalInfoItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int nEnabled2TS READ getEnabled2TS WRITE setEnabled2TS NOTIFY notifyEnabled2TSChanged)
    Q_PROPERTY(int nCnrTot READ getCnrTot WRITE setCnrTot NOTIFY notifyCnrTotChanged)
    Q_PROPERTY(int nCnr1Seg READ getCnr1Seg WRITE setCnr1Seg NOTIFY notifyCnr1SegChanged)
    Q_PROPERTY(int nCnr0 READ getCnr0 WRITE setCnr0 NOTIFY notifyCnr0Changed)
    Q_PROPERTY(int nCnr1 READ getCnr1 WRITE setCnr1 NOTIFY notifyCnr1Changed)
    Q_PROPERTY(int nCnr2 READ getCnr2 WRITE setCnr2 NOTIFY notifyCnr2Changed)
    Q_PROPERTY(int nCnr3 READ getCnr3 WRITE setCnr3 NOTIFY notifyCnr3Changed)
    Q_PROPERTY(int nPerErrA READ getPerErrA WRITE setPerErrA NOTIFY notifyPerErrAChanged)
    Q_PROPERTY(int nPerTotA READ getPerTotA WRITE setPerTotA NOTIFY notifyPerTotAChanged)
    Q_PROPERTY(int nPerErrB READ getPerErrB WRITE setPerErrB NOTIFY notifyPerErrBChanged)
    Q_PROPERTY(int nPerTotB READ getPerTotB WRITE setPerTotB NOTIFY notifyPerTotBChanged)
    Q_PROPERTY(int nFreq READ getFreq WRITE setFreq NOTIFY notifyFreqChanged)

public:
    static SignalInfoItem* getInstance()
    {
        if (m_pInstance == nullptr) {
            static QMutex qmutex;
            qmutex.lock();
            if (m_pInstance == nullptr)
                m_pInstance = new SignalInfoItem(nullptr);
            qmutex.unlock();
        }
        return m_pInstance;
    }

    // Copies the twelve figures, each through its setter.
    void setSignalQualityInfo(tagSignalQuality* info);

    int getEnabled2TS() const { return m_nEnabled2TS; }
    int getCnrTot() const { return m_nCnrTot; }
    int getCnr1Seg() const { return m_nCnr1Seg; }
    int getCnr0() const { return m_nCnr0; }
    int getCnr1() const { return m_nCnr1; }
    int getCnr2() const { return m_nCnr2; }
    int getCnr3() const { return m_nCnr3; }
    int getPerErrA() const { return m_nPerErrA; }
    int getPerTotA() const { return m_nPerTotA; }
    int getPerErrB() const { return m_nPerErrB; }
    int getPerTotB() const { return m_nPerTotB; }
    int getFreq() const { return m_nFreq; }

    // Each setter stores and signals only a changed value; the four port CNRs
    // never go below 0.
    void setEnabled2TS(int nVal);
    void setCnrTot(int nVal);
    void setCnr1Seg(int nVal);
    void setCnr0(int nVal);
    void setCnr1(int nVal);
    void setCnr2(int nVal);
    void setCnr3(int nVal);
    void setPerErrA(int nVal);
    void setPerTotA(int nVal);
    void setPerErrB(int nVal);
    void setPerTotB(int nVal);
    void setFreq(int nVal);

signals:
    void notifyEnabled2TSChanged(int nVal);
    void notifyCnrTotChanged(int nVal);
    void notifyCnr1SegChanged(int nVal);
    void notifyCnr0Changed(int nVal);
    void notifyCnr1Changed(int nVal);
    void notifyCnr2Changed(int nVal);
    void notifyCnr3Changed(int nVal);
    void notifyPerErrAChanged(int nVal);
    void notifyPerTotAChanged(int nVal);
    void notifyPerErrBChanged(int nVal);
    void notifyPerTotBChanged(int nVal);
    void notifyFreqChanged(int nVal);

private:
    explicit SignalInfoItem(QObject* parent);

    // Store and signal a changed value; an equal one does nothing.
    void storeChanged(int& member, int nVal, void (SignalInfoItem::*notify)(int));

    static SignalInfoItem* m_pInstance;

    int m_nEnabled2TS = 0;
    int m_nCnrTot = 0;
    int m_nCnr1Seg = 0;
    int m_nCnr0 = 0;
    int m_nCnr1 = 0;
    int m_nCnr2 = 0;
    int m_nCnr3 = 0;
    int m_nPerErrA = 0;
    int m_nPerTotA = 0;
    int m_nPerErrB = 0;
    int m_nPerTotB = 0;
    int m_nFreq = 0;
};
