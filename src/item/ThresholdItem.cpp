#include "ThresholdItem.h"

ThresholdItem* ThresholdItem::m_pInstance = nullptr;

ThresholdItem::ThresholdItem(QObject* parent)
    : QObject(parent)
{
}

void ThresholdItem::setThresholdAutoMode1toF(float cnrLevel, int count, int period)
{
    setCnrLevelAuto1toF(cnrLevel);
    setCountAuto1toF(count);
    setPeriodAuto1toF(period);
}

void ThresholdItem::setThresholdAutoModeFto1(int perSign, int count, int period)
{
    setPerSignAutoFto1(perSign);
    setCountAutoFto1(count);
    setPeriodAutoFto1(period);
}

void ThresholdItem::setThresholdOp1AutoMode1toF(int perSign, int count, int period)
{
    setPerSignOp1Auto1toF(perSign);
    setCountOp1Auto1toF(count);
    setPeriodOp1Auto1toF(period);
}

void ThresholdItem::setThresholdOp1AutoModeFto1(int perSign, int count, int period)
{
    setPerSignOp1AutoFto1(perSign);
    setCountOp1AutoFto1(count);
    setPeriodOp1AutoFto1(period);
}

void ThresholdItem::setThresholdOpFAutoMode1toF(int perSign, int count, int period)
{
    setPerSignOpFAuto1toF(perSign);
    setCountOpFAuto1toF(count);
    setPeriodOpFAuto1toF(period);
}

void ThresholdItem::setThresholdOpFAutoModeFto1(int perSign, int count, int period)
{
    setPerSignOpFAutoFto1(perSign);
    setCountOpFAutoFto1(count);
    setPeriodOpFAutoFto1(period);
}

void ThresholdItem::setCnrLevelAuto1toF(float fVal)
{
    m_fCnrLevelAuto1toF = fVal;
    emit notifyCnrLevelAuto1toFChanged(fVal);
}

void ThresholdItem::setCountAuto1toF(int nVal)
{
    m_nCountAuto1toF = nVal;
    emit notifyCountAuto1toFChanged(nVal);
}

void ThresholdItem::setPeriodAuto1toF(int nVal)
{
    m_nPeriodAuto1toF = nVal;
    emit notifyPeriodAuto1toFChanged(nVal);
}

void ThresholdItem::setPerSignAutoFto1(int nVal)
{
    m_nPerSignAutoFto1 = nVal;
    emit notifyPerSignAutoFto1Changed(nVal);
}

void ThresholdItem::setCountAutoFto1(int nVal)
{
    m_nCountAutoFto1 = nVal;
    emit notifyCountAutoFto1Changed(nVal);
}

void ThresholdItem::setPeriodAutoFto1(int nVal)
{
    m_nPeriodAutoFto1 = nVal;
    emit notifyPeriodAutoFto1Changed(nVal);
}

void ThresholdItem::setPerSignOp1Auto1toF(int nVal)
{
    m_nPerSignOp1Auto1toF = nVal;
    emit notifyPerSignOp1Auto1toFChanged(nVal);
}

void ThresholdItem::setCountOp1Auto1toF(int nVal)
{
    m_nCountOp1Auto1toF = nVal;
    emit notifyCountOp1Auto1toFChanged(nVal);
}

void ThresholdItem::setPeriodOp1Auto1toF(int nVal)
{
    m_nPeriodOp1Auto1toF = nVal;
    emit notifyPeriodOp1Auto1toFChanged(nVal);
}

void ThresholdItem::setPerSignOp1AutoFto1(int nVal)
{
    m_nPerSignOp1AutoFto1 = nVal;
    emit notifyPerSignOp1AutoFto1Changed(nVal);
}

void ThresholdItem::setCountOp1AutoFto1(int nVal)
{
    m_nCountOp1AutoFto1 = nVal;
    emit notifyCountOp1AutoFto1Changed(nVal);
}

void ThresholdItem::setPeriodOp1AutoFto1(int nVal)
{
    m_nPeriodOp1AutoFto1 = nVal;
    emit notifyPeriodOp1AutoFto1Changed(nVal);
}

void ThresholdItem::setPerSignOpFAuto1toF(int nVal)
{
    m_nPerSignOpFAuto1toF = nVal;
    emit notifyPerSignOpFAuto1toFChanged(nVal);
}

void ThresholdItem::setCountOpFAuto1toF(int nVal)
{
    m_nCountOpFAuto1toF = nVal;
    emit notifyCountOpFAuto1toFChanged(nVal);
}

void ThresholdItem::setPeriodOpFAuto1toF(int nVal)
{
    m_nPeriodOpFAuto1toF = nVal;
    emit notifyPeriodOpFAuto1toFChanged(nVal);
}

void ThresholdItem::setPerSignOpFAutoFto1(int nVal)
{
    m_nPerSignOpFAutoFto1 = nVal;
    emit notifyPerSignOpFAutoFto1Changed(nVal);
}

void ThresholdItem::setCountOpFAutoFto1(int nVal)
{
    m_nCountOpFAutoFto1 = nVal;
    emit notifyCountOpFAutoFto1Changed(nVal);
}

void ThresholdItem::setPeriodOpFAutoFto1(int nVal)
{
    m_nPeriodOpFAutoFto1 = nVal;
    emit notifyPeriodOpFAutoFto1Changed(nVal);
}

void ThresholdItem::setExceededCountAuto1toF(int nVal)
{
    m_nExceededCountAuto1toF = nVal;
    emit notifyExceededCountAuto1toFChanged(nVal);
}

void ThresholdItem::setExceededCountAutoFto1(int nVal)
{
    m_nExceededCountAutoFto1 = nVal;
    emit notifyExceededCountAutoFto1Changed(nVal);
}
