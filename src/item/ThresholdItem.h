#pragma once
// Thresholds of the automatic switch between one-segment and full-segment
// reception, and the switch test's running counters; shown and edited by the
// engineering screens as "ISDBtThreshold".

#include <QMutex>
#include <QObject>

class ThresholdItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(float fCnrLevelAuto1toF READ getCnrLevelAuto1toF WRITE setCnrLevelAuto1toF NOTIFY notifyCnrLevelAuto1toFChanged)
    Q_PROPERTY(int nCountAuto1toF READ getCountAuto1toF WRITE setCountAuto1toF NOTIFY notifyCountAuto1toFChanged)
    Q_PROPERTY(int nPeriodAuto1toF READ getPeriodAuto1toF WRITE setPeriodAuto1toF NOTIFY notifyPeriodAuto1toFChanged)
    Q_PROPERTY(int nPerSignAutoFto1 READ getPerSignAutoFto1 WRITE setPerSignAutoFto1 NOTIFY notifyPerSignAutoFto1Changed)
    Q_PROPERTY(int nCountAutoFto1 READ getCountAutoFto1 WRITE setCountAutoFto1 NOTIFY notifyCountAutoFto1Changed)
    Q_PROPERTY(int nPeriodAutoFto1 READ getPeriodAutoFto1 WRITE setPeriodAutoFto1 NOTIFY notifyPeriodAutoFto1Changed)
    Q_PROPERTY(int nPerSignOp1Auto1toF READ getPerSignOp1Auto1toF WRITE setPerSignOp1Auto1toF NOTIFY notifyPerSignOp1Auto1toFChanged)
    Q_PROPERTY(int nCountOp1Auto1toF READ getCountOp1Auto1toF WRITE setCountOp1Auto1toF NOTIFY notifyCountOp1Auto1toFChanged)
    Q_PROPERTY(int nPeriodOp1Auto1toF READ getPeriodOp1Auto1toF WRITE setPeriodOp1Auto1toF NOTIFY notifyPeriodOp1Auto1toFChanged)
    Q_PROPERTY(int nPerSignOp1AutoFto1 READ getPerSignOp1AutoFto1 WRITE setPerSignOp1AutoFto1 NOTIFY notifyPerSignOp1AutoFto1Changed)
    Q_PROPERTY(int nCountOp1AutoFto1 READ getCountOp1AutoFto1 WRITE setCountOp1AutoFto1 NOTIFY notifyCountOp1AutoFto1Changed)
    Q_PROPERTY(int nPeriodOp1AutoFto1 READ getPeriodOp1AutoFto1 WRITE setPeriodOp1AutoFto1 NOTIFY notifyPeriodOp1AutoFto1Changed)
    Q_PROPERTY(int nPerSignOpFAuto1toF READ getPerSignOpFAuto1toF WRITE setPerSignOpFAuto1toF NOTIFY notifyPerSignOpFAuto1toFChanged)
    Q_PROPERTY(int nCountOpFAuto1toF READ getCountOpFAuto1toF WRITE setCountOpFAuto1toF NOTIFY notifyCountOpFAuto1toFChanged)
    Q_PROPERTY(int nPeriodOpFAuto1toF READ getPeriodOpFAuto1toF WRITE setPeriodOpFAuto1toF NOTIFY notifyPeriodOpFAuto1toFChanged)
    Q_PROPERTY(int nPerSignOpFAutoFto1 READ getPerSignOpFAutoFto1 WRITE setPerSignOpFAutoFto1 NOTIFY notifyPerSignOpFAutoFto1Changed)
    Q_PROPERTY(int nCountOpFAutoFto1 READ getCountOpFAutoFto1 WRITE setCountOpFAutoFto1 NOTIFY notifyCountOpFAutoFto1Changed)
    Q_PROPERTY(int nPeriodOpFAutoFto1 READ getPeriodOpFAutoFto1 WRITE setPeriodOpFAutoFto1 NOTIFY notifyPeriodOpFAutoFto1Changed)
    Q_PROPERTY(int nExceededCountAuto1toF READ getExceededCountAuto1toF WRITE setExceededCountAuto1toF NOTIFY notifyExceededCountAuto1toFChanged)
    Q_PROPERTY(int nExceededCountAutoFto1 READ getExceededCountAutoFto1 WRITE setExceededCountAutoFto1 NOTIFY notifyExceededCountAutoFto1Changed)

public:
    static ThresholdItem* getInstance()
    {
        if (m_pInstance == nullptr) {
            static QMutex qmutex;
            qmutex.lock();
            if (m_pInstance == nullptr)
                m_pInstance = new ThresholdItem(nullptr);
            qmutex.unlock();
        }
        return m_pInstance;
    }

    // Each group setter sets its three values in order and signals all three,
    // changed or not.
    void setThresholdAutoMode1toF(float cnrLevel, int count, int period);
    void setThresholdAutoModeFto1(int perSign, int count, int period);
    void setThresholdOp1AutoMode1toF(int perSign, int count, int period);
    void setThresholdOp1AutoModeFto1(int perSign, int count, int period);
    void setThresholdOpFAutoMode1toF(int perSign, int count, int period);
    void setThresholdOpFAutoModeFto1(int perSign, int count, int period);

    float getCnrLevelAuto1toF() const { return m_fCnrLevelAuto1toF; }
    int getCountAuto1toF() const { return m_nCountAuto1toF; }
    int getPeriodAuto1toF() const { return m_nPeriodAuto1toF; }
    int getPerSignAutoFto1() const { return m_nPerSignAutoFto1; }
    int getCountAutoFto1() const { return m_nCountAutoFto1; }
    int getPeriodAutoFto1() const { return m_nPeriodAutoFto1; }
    int getPerSignOp1Auto1toF() const { return m_nPerSignOp1Auto1toF; }
    int getCountOp1Auto1toF() const { return m_nCountOp1Auto1toF; }
    int getPeriodOp1Auto1toF() const { return m_nPeriodOp1Auto1toF; }
    int getPerSignOp1AutoFto1() const { return m_nPerSignOp1AutoFto1; }
    int getCountOp1AutoFto1() const { return m_nCountOp1AutoFto1; }
    int getPeriodOp1AutoFto1() const { return m_nPeriodOp1AutoFto1; }
    int getPerSignOpFAuto1toF() const { return m_nPerSignOpFAuto1toF; }
    int getCountOpFAuto1toF() const { return m_nCountOpFAuto1toF; }
    int getPeriodOpFAuto1toF() const { return m_nPeriodOpFAuto1toF; }
    int getPerSignOpFAutoFto1() const { return m_nPerSignOpFAutoFto1; }
    int getCountOpFAutoFto1() const { return m_nCountOpFAutoFto1; }
    int getPeriodOpFAutoFto1() const { return m_nPeriodOpFAutoFto1; }
    int getExceededCountAuto1toF() const { return m_nExceededCountAuto1toF; }
    int getExceededCountAutoFto1() const { return m_nExceededCountAutoFto1; }

    // Property writers: store and signal without comparing.
    void setCnrLevelAuto1toF(float fVal);
    void setCountAuto1toF(int nVal);
    void setPeriodAuto1toF(int nVal);
    void setPerSignAutoFto1(int nVal);
    void setCountAutoFto1(int nVal);
    void setPeriodAutoFto1(int nVal);
    void setPerSignOp1Auto1toF(int nVal);
    void setCountOp1Auto1toF(int nVal);
    void setPeriodOp1Auto1toF(int nVal);
    void setPerSignOp1AutoFto1(int nVal);
    void setCountOp1AutoFto1(int nVal);
    void setPeriodOp1AutoFto1(int nVal);
    void setPerSignOpFAuto1toF(int nVal);
    void setCountOpFAuto1toF(int nVal);
    void setPeriodOpFAuto1toF(int nVal);
    void setPerSignOpFAutoFto1(int nVal);
    void setCountOpFAutoFto1(int nVal);
    void setPeriodOpFAutoFto1(int nVal);
    void setExceededCountAuto1toF(int nVal);
    void setExceededCountAutoFto1(int nVal);

signals:
    void notifyCnrLevelAuto1toFChanged(float fVal);
    void notifyCountAuto1toFChanged(int nVal);
    void notifyPeriodAuto1toFChanged(int nVal);
    void notifyPerSignAutoFto1Changed(int nVal);
    void notifyCountAutoFto1Changed(int nVal);
    void notifyPeriodAutoFto1Changed(int nVal);
    void notifyPerSignOp1Auto1toFChanged(int nVal);
    void notifyCountOp1Auto1toFChanged(int nVal);
    void notifyPeriodOp1Auto1toFChanged(int nVal);
    void notifyPerSignOp1AutoFto1Changed(int nVal);
    void notifyCountOp1AutoFto1Changed(int nVal);
    void notifyPeriodOp1AutoFto1Changed(int nVal);
    void notifyPerSignOpFAuto1toFChanged(int nVal);
    void notifyCountOpFAuto1toFChanged(int nVal);
    void notifyPeriodOpFAuto1toFChanged(int nVal);
    void notifyPerSignOpFAutoFto1Changed(int nVal);
    void notifyCountOpFAutoFto1Changed(int nVal);
    void notifyPeriodOpFAutoFto1Changed(int nVal);
    void notifyExceededCountAuto1toFChanged(int nVal);
    void notifyExceededCountAutoFto1Changed(int nVal);

private:
    explicit ThresholdItem(QObject* parent);

    // Store and signal, changed or not.
    template <typename T>
    void assign(T& member, T value, void (ThresholdItem::*notify)(T))
    {
        member = value;
        emit(this->*notify)(value);
    }

    static ThresholdItem* m_pInstance;

public:
    // The engine's switch test reads these directly and keeps the two
    // exceeded counters itself, signalling them on a change.
    float m_fCnrLevelAuto1toF = 0.0f;
    int m_nCountAuto1toF = 0;
    int m_nPeriodAuto1toF = 2;
    int m_nPerSignAutoFto1 = 0;
    int m_nCountAutoFto1 = 0;
    int m_nPeriodAutoFto1 = 2;
    int m_nPerSignOp1Auto1toF = 1;
    int m_nCountOp1Auto1toF = 0;
    int m_nPeriodOp1Auto1toF = 2;
    int m_nPerSignOp1AutoFto1 = 0;
    int m_nCountOp1AutoFto1 = 0;
    int m_nPeriodOp1AutoFto1 = 2;
    int m_nPerSignOpFAuto1toF = 1;
    int m_nCountOpFAuto1toF = 0;
    int m_nPeriodOpFAuto1toF = 2;
    int m_nPerSignOpFAutoFto1 = 0;
    int m_nCountOpFAutoFto1 = 0;
    int m_nPeriodOpFAutoFto1 = 2;
    int m_nExceededCountAuto1toF = 0;
    int m_nExceededCountAutoFto1 = 0;
};
