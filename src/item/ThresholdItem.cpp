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
    assign(m_fCnrLevelAuto1toF, fVal, &ThresholdItem::notifyCnrLevelAuto1toFChanged);
}

void ThresholdItem::setCountAuto1toF(int nVal)
{
    assign(m_nCountAuto1toF, nVal, &ThresholdItem::notifyCountAuto1toFChanged);
}

void ThresholdItem::setPeriodAuto1toF(int nVal)
{
    assign(m_nPeriodAuto1toF, nVal, &ThresholdItem::notifyPeriodAuto1toFChanged);
}

void ThresholdItem::setPerSignAutoFto1(int nVal)
{
    assign(m_nPerSignAutoFto1, nVal, &ThresholdItem::notifyPerSignAutoFto1Changed);
}

void ThresholdItem::setCountAutoFto1(int nVal)
{
    assign(m_nCountAutoFto1, nVal, &ThresholdItem::notifyCountAutoFto1Changed);
}

void ThresholdItem::setPeriodAutoFto1(int nVal)
{
    assign(m_nPeriodAutoFto1, nVal, &ThresholdItem::notifyPeriodAutoFto1Changed);
}

void ThresholdItem::setPerSignOp1Auto1toF(int nVal)
{
    assign(m_nPerSignOp1Auto1toF, nVal, &ThresholdItem::notifyPerSignOp1Auto1toFChanged);
}

void ThresholdItem::setCountOp1Auto1toF(int nVal)
{
    assign(m_nCountOp1Auto1toF, nVal, &ThresholdItem::notifyCountOp1Auto1toFChanged);
}

void ThresholdItem::setPeriodOp1Auto1toF(int nVal)
{
    assign(m_nPeriodOp1Auto1toF, nVal, &ThresholdItem::notifyPeriodOp1Auto1toFChanged);
}

void ThresholdItem::setPerSignOp1AutoFto1(int nVal)
{
    assign(m_nPerSignOp1AutoFto1, nVal, &ThresholdItem::notifyPerSignOp1AutoFto1Changed);
}

void ThresholdItem::setCountOp1AutoFto1(int nVal)
{
    assign(m_nCountOp1AutoFto1, nVal, &ThresholdItem::notifyCountOp1AutoFto1Changed);
}

void ThresholdItem::setPeriodOp1AutoFto1(int nVal)
{
    assign(m_nPeriodOp1AutoFto1, nVal, &ThresholdItem::notifyPeriodOp1AutoFto1Changed);
}

void ThresholdItem::setPerSignOpFAuto1toF(int nVal)
{
    assign(m_nPerSignOpFAuto1toF, nVal, &ThresholdItem::notifyPerSignOpFAuto1toFChanged);
}

void ThresholdItem::setCountOpFAuto1toF(int nVal)
{
    assign(m_nCountOpFAuto1toF, nVal, &ThresholdItem::notifyCountOpFAuto1toFChanged);
}

void ThresholdItem::setPeriodOpFAuto1toF(int nVal)
{
    assign(m_nPeriodOpFAuto1toF, nVal, &ThresholdItem::notifyPeriodOpFAuto1toFChanged);
}

void ThresholdItem::setPerSignOpFAutoFto1(int nVal)
{
    assign(m_nPerSignOpFAutoFto1, nVal, &ThresholdItem::notifyPerSignOpFAutoFto1Changed);
}

void ThresholdItem::setCountOpFAutoFto1(int nVal)
{
    assign(m_nCountOpFAutoFto1, nVal, &ThresholdItem::notifyCountOpFAutoFto1Changed);
}

void ThresholdItem::setPeriodOpFAutoFto1(int nVal)
{
    assign(m_nPeriodOpFAutoFto1, nVal, &ThresholdItem::notifyPeriodOpFAutoFto1Changed);
}

void ThresholdItem::setExceededCountAuto1toF(int nVal)
{
    assign(m_nExceededCountAuto1toF, nVal, &ThresholdItem::notifyExceededCountAuto1toFChanged);
}

void ThresholdItem::setExceededCountAutoFto1(int nVal)
{
    assign(m_nExceededCountAutoFto1, nVal, &ThresholdItem::notifyExceededCountAutoFto1Changed);
}
