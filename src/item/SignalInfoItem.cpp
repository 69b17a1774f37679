#include "SignalInfoItem.h"

SignalInfoItem* SignalInfoItem::m_pInstance = nullptr;

SignalInfoItem::SignalInfoItem(QObject* parent)
    : QObject(parent)
{
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
    if (m_nEnabled2TS == nVal)
        return;
    m_nEnabled2TS = nVal;
    emit notifyEnabled2TSChanged(nVal);
}

void SignalInfoItem::setCnrTot(int nVal)
{
    if (m_nCnrTot == nVal)
        return;
    m_nCnrTot = nVal;
    emit notifyCnrTotChanged(nVal);
}

void SignalInfoItem::setCnr1Seg(int nVal)
{
    if (m_nCnr1Seg == nVal)
        return;
    m_nCnr1Seg = nVal;
    emit notifyCnr1SegChanged(nVal);
}

void SignalInfoItem::setCnr0(int nVal)
{
    if (nVal < 0)
        nVal = 0;
    if (m_nCnr0 == nVal)
        return;
    m_nCnr0 = nVal;
    emit notifyCnr0Changed(nVal);
}

void SignalInfoItem::setCnr1(int nVal)
{
    if (nVal < 0)
        nVal = 0;
    if (m_nCnr1 == nVal)
        return;
    m_nCnr1 = nVal;
    emit notifyCnr1Changed(nVal);
}

void SignalInfoItem::setCnr2(int nVal)
{
    if (nVal < 0)
        nVal = 0;
    if (m_nCnr2 == nVal)
        return;
    m_nCnr2 = nVal;
    emit notifyCnr2Changed(nVal);
}

void SignalInfoItem::setCnr3(int nVal)
{
    if (nVal < 0)
        nVal = 0;
    if (m_nCnr3 == nVal)
        return;
    m_nCnr3 = nVal;
    emit notifyCnr3Changed(nVal);
}

void SignalInfoItem::setPerErrA(int nVal)
{
    if (m_nPerErrA == nVal)
        return;
    m_nPerErrA = nVal;
    emit notifyPerErrAChanged(nVal);
}

void SignalInfoItem::setPerTotA(int nVal)
{
    if (m_nPerTotA == nVal)
        return;
    m_nPerTotA = nVal;
    emit notifyPerTotAChanged(nVal);
}

void SignalInfoItem::setPerErrB(int nVal)
{
    if (m_nPerErrB == nVal)
        return;
    m_nPerErrB = nVal;
    emit notifyPerErrBChanged(nVal);
}

void SignalInfoItem::setPerTotB(int nVal)
{
    if (m_nPerTotB == nVal)
        return;
    m_nPerTotB = nVal;
    emit notifyPerTotBChanged(nVal);
}

void SignalInfoItem::setFreq(int nVal)
{
    if (m_nFreq == nVal)
        return;
    m_nFreq = nVal;
    emit notifyFreqChanged(nVal);
}
