// Engine reception monitoring: the 200 ms signal poll (decided by
// ReceptionMonitor), signal level and quality publication, the segment switch
// between the full-segment and the one-segment service of the tuned channel,
// the segment mode and the engineering threshold setters.

#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "KelpAppLog.h"
#include "KvrOzbFSegDBManager.h"
#include "KvrOzbFSegPlayer.h"
#include "ReceptionMonitor.h"
#include "SignalInfoItem.h"
#include "ThresholdItem.h"

#include <QCoreApplication>
#include <QTimer>

namespace {
constexpr int kFixedFullSegMode = 0;
constexpr int kFixedOneSegMode = 1;
constexpr int kAutoSegMode = 2;
constexpr int kAutoFullSegPriority = 4;

const char* segName(int seg)
{
    return seg == 1 ? "1Seg" : "FSeg";
}
}  // namespace

// The engine as the reception monitor sees it.
class EngineReceptionHost : public ReceptionHost
{
public:
    explicit EngineReceptionHost(ISDBtAppEngine* engine) : e(engine) {}

    int stationCount() override
    {
        return e->m_pOzbDBManager->getStationListCount(e->m_pDataManager->getMode());
    }
    void readSignal(float* cnr, int* values) override { e->m_pPlayer->getSignalStrength(cnr, values); }
    int segMode() override { return e->m_pDataManager->getSegMode(); }
    int currSegType() override { return e->m_pDataManager->getCurrSegType(); }
    int availSegType() override { return e->m_nCurrAvailSegType; }
    bool engScreen() override { return e->m_bEngScreenStatus; }
    ReceptionThreshold threshold(int set) override
    {
        ThresholdItem* t = e->m_pThreshold;
        ReceptionThreshold r;
        switch (set) {
        case ReceptionMonitor::OpAuto_1toF:
            r.cnrLevel = t->getCnrLevelAuto1toF();
            r.count = t->getCountAuto1toF();
            r.period = t->getPeriodAuto1toF();
            break;
        case ReceptionMonitor::OpAuto_Fto1:
            r = {0.0f, t->getPerSignAutoFto1(), t->getCountAutoFto1(), t->getPeriodAutoFto1()};
            break;
        case ReceptionMonitor::Op1Seg_1toF:
            r = {0.0f, t->getPerSignOp1Auto1toF(), t->getCountOp1Auto1toF(), t->getPeriodOp1Auto1toF()};
            break;
        case ReceptionMonitor::Op1Seg_Fto1:
            r = {0.0f, t->getPerSignOp1AutoFto1(), t->getCountOp1AutoFto1(), t->getPeriodOp1AutoFto1()};
            break;
        case ReceptionMonitor::OpFSeg_1toF:
            r = {0.0f, t->getPerSignOpFAuto1toF(), t->getCountOpFAuto1toF(), t->getPeriodOpFAuto1toF()};
            break;
        case ReceptionMonitor::OpFSeg_Fto1:
            r = {0.0f, t->getPerSignOpFAutoFto1(), t->getCountOpFAutoFto1(), t->getPeriodOpFAutoFto1()};
            break;
        default:
            break;
        }
        return r;
    }
    void announceSignal(bool weak, double, int) override
    {
        e->m_bWeakAnnounced = weak;
        emit e->sendSignalWeak(weak);
        if (weak) {
            if (e->m_pDataManager->getStationSearchTime() > 0 && !e->m_pStationSearchStartTimer->isActive())
                e->m_pStationSearchStartTimer->start();
        } else {
            e->m_bAvailStationSearch = false;
            if (e->m_pStationSearchStartTimer->isActive())
                e->m_pStationSearchStartTimer->stop();
        }
    }
    void publishQos(const int* values, double cnrAvg) override
    {
        e->setSingnalQos(const_cast<int*>(values));
        if (e->m_bEngScreenStatus)
            e->m_pDataManager->setCnrAvg(cnrAvg);
    }
    void publishAntStrength(double cnrAvg) override { e->m_pDataManager->updateAntStrengthLevel(cnrAvg); }
    void publishLevel(double cnrAvg) override { e->setSignalLevel(cnrAvg); }
    void publishExceeded(int count1toF, int countFto1) override
    {
        ThresholdItem* t = e->m_pThreshold;
        if (t->getExceededCountAuto1toF() != count1toF)
            t->setExceededCountAuto1toF(count1toF);
        if (t->getExceededCountAutoFto1() != countFto1)
            t->setExceededCountAutoFto1(countFto1);
    }
    void changeSeg(int segType) override { e->changeSeg(segType, false); }

private:
    ISDBtAppEngine* e;
};

ReceptionMonitor* ISDBtAppEngine::reception()
{
    if (!m_pReception) {
        m_pReceptionHost = std::make_shared<EngineReceptionHost>(this);
        m_pReception = std::make_shared<ReceptionMonitor>(m_pReceptionHost.get());
    }
    return m_pReception.get();
}

void ISDBtAppEngine::setPollingTimer(bool on)
{
    flushSignalBuffer();
    if (on) {
        // A new run announces weak reception again only if it still is: the
        // screen must not keep the last run's notice meanwhile.
        if (m_bWeakAnnounced) {
            m_bWeakAnnounced = false;
            emit sendSignalWeak();
        }
        m_nClockLogCount = 0;
        m_pChannelInfoUpdateTimer->start();
        m_pSignalCheckTimer->start();
        m_bPolling = true;
        return;
    }
    if (m_pChannelInfoUpdateTimer->isActive())
        m_pChannelInfoUpdateTimer->stop();
    if (m_pSignalCheckTimer->isActive())
        m_pSignalCheckTimer->stop();
    m_bAvailStationSearch = false;
    if (m_pStationSearchStartTimer->isActive())
        m_pStationSearchStartTimer->stop();
    m_bPolling = false;
}

void ISDBtAppEngine::flushSignalBuffer()
{
    if (m_pPlayer->isPrepared())
        m_pPlayer->clear2TsSearchResult();
    m_bAvailStationSearch = false;
    reception()->flush();
}

void ISDBtAppEngine::signalCheckTimerHandler()
{
    if (!reception()->poll())
        return;
    if (m_pPlayer->m_bHandover)
        return;
    if (checkHandoverAvailable())
        stationSearch(false);
    if (checkHandover2TsAvailable())
        stationSearch(true);
}

void ISDBtAppEngine::resetWeakCount()
{
    reception()->resetWeakCount();
}

int ISDBtAppEngine::getAntenaOpen()
{
    return m_pPlayer->getAntenaOpenCheckPinState();
}

void ISDBtAppEngine::setEngScreenStatus(bool on)
{
    m_bEngScreenStatus = on;
}

void ISDBtAppEngine::setSingnalQos(int* values)
{
    if (values == nullptr)
        return;
    for (int port = 0; port < 4; ++port)
        m_nAntPortCnr[port] = values[6 - port] < 0 ? 0 : values[6 - port];
    tagSignalQuality q;
    q.Enabled2TS = values[0];
    q.CnrTot = values[1];
    q.Cnr1Seg = values[2];
    q.Cnr0 = values[6];
    q.Cnr1 = values[5];
    q.Cnr2 = values[4];
    q.Cnr3 = values[3];
    q.PerErrA = values[7];
    q.PerTotA = values[8];
    q.PerErrB = values[9];
    q.PerTotB = values[10];
    q.Freq = values[13];
    if (m_bEngScreenStatus)
        m_pSignalInfo->setSignalQualityInfo(&q);
}

void ISDBtAppEngine::setSignalLevel(double cnrAvg)
{
    const int seg = m_pDataManager->getCurrSegType();
    const int level = ReceptionMonitor::signalLevel(seg, cnrAvg);
    if (level != m_pDataManager->getSignalLevel())
        LOG_I("[%s] (%s)level(%d)cnrAvg(%lf)", __func__, segName(seg), level, cnrAvg);
    m_pDataManager->setSignalLevel(level);
}

bool ISDBtAppEngine::checkSegModeForSegType(int segType)
{
    const int mode = m_pDataManager->getSegMode();
    if (segType == 0 && mode == kFixedOneSegMode) {
        LOG_I("[%s] (%s) segMode is FixedOneSegMode", __func__, segName(segType));
        return false;
    }
    if (segType == 1 && mode == kFixedFullSegMode) {
        LOG_I("[%s] (%s) segMode is FixedFullSegMode", __func__, segName(segType));
        return false;
    }
    return true;
}

bool ISDBtAppEngine::checkAvailSegTypeForSegType(int segType)
{
    if (segType == 0 && m_nCurrAvailSegType == 1) {
        LOG_I("[%s] (%s) AvailSegType is only 1SEG", __func__, segName(segType));
        return false;
    }
    if (segType == 1 && m_nCurrAvailSegType == 0) {
        LOG_I("[%s] (%s) AvailSegType is only FSEG", __func__, segName(segType));
        return false;
    }
    return true;
}

void ISDBtAppEngine::changeSeg(int segType, bool force)
{
    if (!force && !checkSegModeForSegType(segType))
        return;
    if (!checkAvailSegTypeForSegType(segType))
        return;
    setPollingTimer(false);
    const int current = m_pDataManager->getCurrSegType();
    if (segType != current) {
        LOG_I("[%s] segType(%s -> %s)", __func__, segName(current), segName(segType));
        startBilingualUpdate();
        m_pDataManager->setCurrSegType(segType);
        m_pPlayer->setDualChannel(segType);
        emit sendRefreshStaionListStart();
        m_pOzbDBManager->setRefreshStaionProxyModel();
        emit sendRefreshStaionListEnd();
        setCurrentChannelInfoUpdateByChangeSeg(m_pDataManager->getMode(), segType);
    }
    setPollingTimer(true);
}

void ISDBtAppEngine::changeToFixedOneSeg()
{
    m_pDataManager->setSegMode(kFixedOneSegMode);
    notifySegSettingInfo();
    if (!checkAvailSegTypeForSegType(1))
        emit sendNotifyMesssage(QCoreApplication::translate("StringInfo", "STR_NO_1SEG_MSG"));
    else
        changeSeg(1, true);
}

void ISDBtAppEngine::changeToFixedFullSeg()
{
    m_pDataManager->setSegMode(kAutoFullSegPriority);
    notifySegSettingInfo();
    if (!checkAvailSegTypeForSegType(0))
        emit sendNotifyMesssage(QCoreApplication::translate("StringInfo", "STR_NO_12SEGM_MSG"));
    else
        changeSeg(0, true);
}

void ISDBtAppEngine::AppReqSetSegMode(int mode)
{
    stopSearch();
    LOG_I("[%s] setSegMode(%d -> %d)", __func__, m_pDataManager->getSegMode(), mode);
    m_pDataManager->setSegMode(mode);
    int target;
    if (mode == kFixedFullSegMode) {
        target = 0;
    } else if (mode == kFixedOneSegMode) {
        target = 1;
    } else if (m_pDataManager->getCurrSegType() == 0 && m_nCurrAvailSegType == 1) {
        LOG_I("[%s] FSeg is unavailable!! change one seg when seg setting is auto seg!!", __func__);
        target = 1;
    } else {
        reception()->setChannelChangedState(1);
        return;
    }
    if (m_bStartServiceDone) {
        changeSeg(target, false);
    } else if (m_pDataManager->getInitialized()) {
        emit sendRefreshStaionListStart();
        m_pOzbDBManager->setRefreshStaionProxyModel();
        emit sendRefreshStaionListEnd();
        startService(true);
    }
}

void ISDBtAppEngine::execSegModeChange(int value)
{
    if (value < 0) {
        const int mode = m_pDataManager->getSegMode();
        value = mode == 4 ? 1 : mode == 1 ? 3 : 4;
    }
    AppReqSetSegMode(value);
    notifySegSettingInfo();
}

// Engineering threshold setters: type 0 the level or sign, 1 the period, 2
// the count; only a changed value is stored and announced.
namespace {
template <typename Get, typename Set>
void setIfChanged(ThresholdItem* t, Get get, Set set, int value)
{
    if ((t->*get)() != value)
        (t->*set)(value);
}

void setPerGroup(ThresholdItem* t, const char* func, int type, int value, int (ThresholdItem::*getSign)() const,
                 void (ThresholdItem::*setSign)(int), int (ThresholdItem::*getPeriod)() const,
                 void (ThresholdItem::*setPeriod)(int), int (ThresholdItem::*getCount)() const,
                 void (ThresholdItem::*setCount)(int))
{
    LOG_I("[%s] type(%d) value(%d)", func, type, value);
    switch (type) {
    case 0:
        LOG_I("[%s] PerSign(%s)", func, value != 0 ? "==" : "!=");
        setIfChanged(t, getSign, setSign, value);
        break;
    case 1: setIfChanged(t, getPeriod, setPeriod, value); break;
    case 2: setIfChanged(t, getCount, setCount, value); break;
    default: LOG_I("[%s] invalid type(%d)", func, type); break;
    }
}
}  // namespace

void ISDBtAppEngine::setEngAuto1toF(int type, int value)
{
    LOG_I("[%s] type(%d) value(%d)", __func__, type, value);
    ThresholdItem* t = m_pThreshold;
    switch (type) {
    case 0: {
        const float level = static_cast<float>(value / 10.0);
        if (t->getCnrLevelAuto1toF() != level)
            t->setCnrLevelAuto1toF(level);
        break;
    }
    case 1: setIfChanged(t, &ThresholdItem::getPeriodAuto1toF, &ThresholdItem::setPeriodAuto1toF, value); break;
    case 2: setIfChanged(t, &ThresholdItem::getCountAuto1toF, &ThresholdItem::setCountAuto1toF, value); break;
    default: LOG_I("[%s] invalid type(%d)", __func__, type); break;
    }
}

void ISDBtAppEngine::setEngAutoFto1(int type, int value)
{
    setPerGroup(m_pThreshold, __func__, type, value, &ThresholdItem::getPerSignAutoFto1,
                &ThresholdItem::setPerSignAutoFto1, &ThresholdItem::getPeriodAutoFto1,
                &ThresholdItem::setPeriodAutoFto1, &ThresholdItem::getCountAutoFto1, &ThresholdItem::setCountAutoFto1);
}

void ISDBtAppEngine::setEngOp1Auto1toF(int type, int value)
{
    setPerGroup(m_pThreshold, __func__, type, value, &ThresholdItem::getPerSignOp1Auto1toF,
                &ThresholdItem::setPerSignOp1Auto1toF, &ThresholdItem::getPeriodOp1Auto1toF,
                &ThresholdItem::setPeriodOp1Auto1toF, &ThresholdItem::getCountOp1Auto1toF,
                &ThresholdItem::setCountOp1Auto1toF);
}

void ISDBtAppEngine::setEngOp1AutoFto1(int type, int value)
{
    setPerGroup(m_pThreshold, __func__, type, value, &ThresholdItem::getPerSignOp1AutoFto1,
                &ThresholdItem::setPerSignOp1AutoFto1, &ThresholdItem::getPeriodOp1AutoFto1,
                &ThresholdItem::setPeriodOp1AutoFto1, &ThresholdItem::getCountOp1AutoFto1,
                &ThresholdItem::setCountOp1AutoFto1);
}

void ISDBtAppEngine::setEngOpFAuto1toF(int type, int value)
{
    setPerGroup(m_pThreshold, __func__, type, value, &ThresholdItem::getPerSignOpFAuto1toF,
                &ThresholdItem::setPerSignOpFAuto1toF, &ThresholdItem::getPeriodOpFAuto1toF,
                &ThresholdItem::setPeriodOpFAuto1toF, &ThresholdItem::getCountOpFAuto1toF,
                &ThresholdItem::setCountOpFAuto1toF);
}

void ISDBtAppEngine::setEngOpFAutoFto1(int type, int value)
{
    setPerGroup(m_pThreshold, __func__, type, value, &ThresholdItem::getPerSignOpFAutoFto1,
                &ThresholdItem::setPerSignOpFAutoFto1, &ThresholdItem::getPeriodOpFAutoFto1,
                &ThresholdItem::setPeriodOpFAutoFto1, &ThresholdItem::getCountOpFAutoFto1,
                &ThresholdItem::setCountOpFAutoFto1);
}
