#include "SignalInfoItem.h"

SignalInfoItem* SignalInfoItem::m_pInstance = nullptr;

SignalInfoItem::SignalInfoItem(QObject* parent)
    : QObject(parent)
{
}

void SignalInfoItem::storeChanged(int& member, int nVal, void (SignalInfoItem::*notify)(int))
{
    if (member == nVal)
        return;
    member = nVal;
    emit(this->*notify)(nVal);
}

void SignalInfoItem::setSignalQualityInfo(tagSignalQuality* info)
{
    if (info == nullptr)
        return;
    setEnabled2TS(info->Enabled2TS);
    setCnrTot(info->CnrTot);
    setCnr1Seg(info->Cnr1Seg);
    setCnr0(info->Cnr0);
    setCnr1(info->Cnr1);
    setCnr2(info->Cnr2);
    setCnr3(info->Cnr3);
    setPerErrA(info->PerErrA);
    setPerTotA(info->PerTotA);
    setPerErrB(info->PerErrB);
    setPerTotB(info->PerTotB);
    setFreq(info->Freq);
}

void SignalInfoItem::setEnabled2TS(int nVal)
{
    storeChanged(m_nEnabled2TS, nVal, &SignalInfoItem::notifyEnabled2TSChanged);
}

void SignalInfoItem::setCnrTot(int nVal)
{
    storeChanged(m_nCnrTot, nVal, &SignalInfoItem::notifyCnrTotChanged);
}

void SignalInfoItem::setCnr1Seg(int nVal)
{
    storeChanged(m_nCnr1Seg, nVal, &SignalInfoItem::notifyCnr1SegChanged);
}

void SignalInfoItem::setCnr0(int nVal)
{
    storeChanged(m_nCnr0, qMax(nVal, 0), &SignalInfoItem::notifyCnr0Changed);
}

void SignalInfoItem::setCnr1(int nVal)
{
    storeChanged(m_nCnr1, qMax(nVal, 0), &SignalInfoItem::notifyCnr1Changed);
}

void SignalInfoItem::setCnr2(int nVal)
{
    storeChanged(m_nCnr2, qMax(nVal, 0), &SignalInfoItem::notifyCnr2Changed);
}

void SignalInfoItem::setCnr3(int nVal)
{
    storeChanged(m_nCnr3, qMax(nVal, 0), &SignalInfoItem::notifyCnr3Changed);
}

void SignalInfoItem::setPerErrA(int nVal)
{
    storeChanged(m_nPerErrA, nVal, &SignalInfoItem::notifyPerErrAChanged);
}

void SignalInfoItem::setPerTotA(int nVal)
{
    storeChanged(m_nPerTotA, nVal, &SignalInfoItem::notifyPerTotAChanged);
}

void SignalInfoItem::setPerErrB(int nVal)
{
    storeChanged(m_nPerErrB, nVal, &SignalInfoItem::notifyPerErrBChanged);
}

void SignalInfoItem::setPerTotB(int nVal)
{
    storeChanged(m_nPerTotB, nVal, &SignalInfoItem::notifyPerTotBChanged);
}

void SignalInfoItem::setFreq(int nVal)
{
    storeChanged(m_nFreq, nVal, &SignalInfoItem::notifyFreqChanged);
}
