// Engine station search and handover: when reception stays weak the player
// looks for the same programme on another physical channel (or compares with
// a second transport stream); the engine starts, supervises, cancels and
// times out that search and takes over the identity of the station found.

#include "ChannelItem.h"
#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "ISDBtThread.h"
#include "ISDBtUtil.h"
#include "KelpAppLog.h"
#include "KvrOzbFSegDBManager.h"
#include "KvrOzbFSegPlayer.h"
#include "ReceptionMonitor.h"

#include <QMutexLocker>
#include <QTimer>

namespace {
constexpr int kHandoverMs = 180000;
constexpr int kHandoverRetryMs = 60000;
const char kPlayerMain[] = "ISDBtPlayerMain";
}  // namespace

int ISDBtAppEngine::stationSearchWaitMs(int seconds)
{
    return sutil::SaturateToInt(1000LL * seconds);
}

int ISDBtAppEngine::cancelHandoverLocked()
{
    // The player's cancel reports itself as a failed handover; that report is
    // not a search result and must not tune (the caller tunes, if anyone).
    m_bCancellingHandover = true;
    const int r = m_pPlayer->cancelHandover();
    m_bCancellingHandover = false;
    return r;
}

void ISDBtAppEngine::execStationSearch()
{
    stationSearch(false);
}

void ISDBtAppEngine::execStopSearch()
{
    stopSearch();
}

bool ISDBtAppEngine::checkHandoverAvailable()
{
    const int searchTime = m_pDataManager->getStationSearchTime();
    if (searchTime < 1 || !m_bAvailStationSearch)
        return false;
    const int weak = reception()->weakCount();
    LOG_I("[%s] m_bAvailStationSearch(%d) m_nSignalWeakCount(%d)/(%d) (%d)ms", __func__, m_bAvailStationSearch, weak,
          5 * searchTime, 200 * weak);
    return m_sCurrentScreen == QLatin1String(kPlayerMain);
}

bool ISDBtAppEngine::checkHandover2TsAvailable()
{
    if (m_pDataManager->getBackgroundSearch() == 0)
        return false;
    const int relay = m_pPlayer->getRelayCount();
    if (m_pDataManager->getStationSearchType() == 1) {
        if (relay < 1)
            return false;
        LOG_I("[%s] RELAY_ONLY - relayCount(%d)", __func__, relay);
        return true;
    }
    const int affiliation = m_pPlayer->getAffiliationCount();
    if (relay < 1 && affiliation < 1)
        return false;
    LOG_I("[%s] RELAY_AFFILIATED - relayCount(%d), affiliationCount(%d)", __func__, relay, affiliation);
    return true;
}

void ISDBtAppEngine::sationSearchStartTimerHandler()
{
    m_bAvailStationSearch = true;
}

void ISDBtAppEngine::stationSearch(bool b2TS)
{
    LOG_I("[%s]%s", __func__, b2TS ? "2TS" : "");
    if (m_pOzbDBManager->getStationListCount(m_pDataManager->getMode()) < 1) {
        LOG_I("[%s] station list is empty", __func__);
        return;
    }
    QMutexLocker lock(&m_pPlayer->m_mutex);
    if (m_pPlayer->m_bHandover) {
        LOG_I("[%s] during Handover", __func__);
        return;
    }
    if (!m_bEnableSetChannel) {
        LOG_I("[%s] m_bEnableSetChannel is FALSE NOW!!! (setChannel is not completed, yet!!!)", __func__);
        return;
    }
    m_bEnableSetChannel = false;
    setPollingTimer(false);
    m_pJobThread->cancelJobsForEpg();
    const bool started = b2TS ? m_pPlayer->requestHandover2TS()
                              : m_pPlayer->requestHandover(m_pDataManager->getStationSearchType());
    if (!started) {
        // Nothing to supervise: tuning and the poll go on as before.
        LOG_W("[%s] the player refused the %s search", __func__, b2TS ? "2TS" : "station");
        m_bEnableSetChannel = true;
        setPollingTimer(true);
        return;
    }
    if (b2TS)
        emit sendStartSearch2TS();
    else
        emit sendStartSearch();
    m_pHandoverTimer->start(kHandoverMs);
    m_bSuccessHandover = false;
}

bool ISDBtAppEngine::checkHandoverAndCancel()
{
    if (!m_pPlayer->m_bHandover) {
        LOG_I("[%s] not during handover, Let's go", __func__);
        return true;
    }
    LOG_I("[%s] during Handover, Let's cancel", __func__);
    if (cancelHandoverLocked() == 0) {
        LOG_I("[%s] Handover is canceled", __func__);
        m_pHandoverTimer->stop();
        m_bEnableSetChannel = true;
        return true;
    }
    LOG_I("[%s] Handover is NOT canceled. NOT available NOW!!!", __func__);
    return false;
}

void ISDBtAppEngine::stopSearch()
{
    QMutexLocker lock(&m_pPlayer->m_mutex);
    if (!m_pPlayer->m_bHandover) {
        LOG_W("[%s] already stopSearch", __func__);
        return;
    }
    if (cancelHandoverLocked() == 0) {
        emit sendStopSearch();
        m_pHandoverTimer->stop();
        m_bEnableSetChannel = true;
    } else {
        m_pHandoverTimer->start(kHandoverRetryMs);
    }
    const int searchTime = m_pDataManager->getStationSearchTime();
    if (searchTime != 0) {
        m_pStationSearchStartTimer->setInterval(stationSearchWaitMs(searchTime));
        m_bChangeChByKey = false;
    }
}

void ISDBtAppEngine::stopSearchAndPowerOff()
{
    LOG_I("[%s]", __func__);
    setEnablePowerOnOffState(false);
    m_bStopSearchPowerOff = true;
    bool ended = true;
    {
        QMutexLocker lock(&m_pPlayer->m_mutex);
        if (m_pPlayer->m_bHandover) {
            m_pHandoverTimer->stop();
            if (cancelHandoverLocked() == 0) {
                emit sendStopSearch();
                m_bEnableSetChannel = true;
            } else {
                // The search's end powers off; should it not come, the
                // handover timer tries the cancel again.
                ended = false;
                m_pHandoverTimer->start(kHandoverRetryMs);
            }
        }
    }
    // The engine's own cancel is not reported as the search's end: the
    // power-off is done here, outside the handover lock.
    if (ended)
        powerOffAfterSearch();
}

bool ISDBtAppEngine::powerOffAfterSearch()
{
    if (!m_bStopSearchPowerOff)
        return false;
    // powerOff clears the flag.
    powerOff(true);
    return true;
}

void ISDBtAppEngine::handoverTimerHandler()
{
    LOG_I("[%s]m_bSuccessHandover(%d)", __func__, m_bSuccessHandover);
    if (m_bSuccessHandover)
        return;
    QMutexLocker lock(&m_pPlayer->m_mutex);
    if (!m_pPlayer->m_bHandover) {
        m_pHandoverTimer->start(kHandoverRetryMs);
        return;
    }
    if (cancelHandoverLocked() == 0) {
        m_bEnableSetChannel = true;
        if (m_bStopSearchPowerOff) {
            lock.unlock();
            powerOffAfterSearch();
            return;
        }
        selectChannelByRemoconID(m_pDataManager->getCurrRemoconID(), m_pDataManager->getCurrDispSubChannel(), -1);
    }
}

void ISDBtAppEngine::onNotifyHandoverChannel(int type, int chNum)
{
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    emit sendHandoverChannel(type, chNum);
}

void ISDBtAppEngine::onNotifyHandoverComplete(bool result, int channelNumber, int serviceID, int segType)
{
    ISDBtDataManager* d = m_pDataManager;
    LOG_I("[%s] result(%s) channelNumber(%d->%d) serviceID(%d->%d) (%s)", __func__, result ? "success" : "fail",
          d->getCurrChannelNumber(), channelNumber, d->getCurrServiceID(), serviceID, segType != 0 ? "1Seg" : "FSeg");
    if (m_bCancellingHandover) {
        LOG_I("[%s] cancelled by the engine, nothing to take over", __func__);
        return;
    }
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    m_bEnableSetChannel = true;
    if (m_pHandoverTimer->isActive())
        m_pHandoverTimer->stop();
    if (powerOffAfterSearch())
        return;
    if (m_bPowerOffAfterSetChannel) {
        m_bPowerOffAfterSetChannel = false;
        powerOff(m_bSavePowerState);
        return;
    }
    if (!m_bPowerOn)
        return;
    if (requestSetChannel.set) {
        const RequestSetChannel req = requestSetChannel;
        LOG_I("[%s] requestSetChannel is set, requestSetChannel remoconID:%d, subChannel:%d", __func__, req.remoconID,
              req.subChannel);
        requestSetChannel = RequestSetChannel();
        const int r = selectChannelByRemoconID(req.remoconID, req.subChannel, -1);
        LOG_I("[%s] selectChannelByRemoconID returns %d", __func__, r);
        return;
    }
    if (!result) {
        if (selectChannelByRemoconID(d->getCurrRemoconID(), d->getCurrDispSubChannel(), -1) != 0)
            selectFirstStation();
        return;
    }
    if (channelNumber >= 0 && channelNumber != d->getCurrChannelNumber()) {
        LOG_I("=======> channelNumber is changed(%d->%d)!!!", d->getCurrChannelNumber(), channelNumber);
        d->setCurrChannelNumber(channelNumber);
    }
    if (serviceID > 0 && serviceID != d->getCurrServiceID()) {
        LOG_I("=======> serviceID is changed(%d->%d)!!!", d->getCurrServiceID(), serviceID);
        d->setCurrServiceID(serviceID);
    }
    d->setCurrSegType(segType != 0 ? 1 : 0);
    ChannelItem* ch = m_pOzbDBManager->getChannelItemSidChNum(d->getMode(), serviceID, channelNumber, true);
    if (ch != nullptr) {
        if (ch->RemoconID > 0 && ch->RemoconID != d->getCurrRemoconID()) {
            LOG_I("=======> remoconID is changed(%d->%d)!!!", d->getCurrRemoconID(), ch->RemoconID);
            d->setCurrRemoconID(ch->RemoconID);
            if (ch->SubChannel > 0)
                d->setCurrSubChannel(ch->SubChannel);
            if (ch->DispSubChannel > 0)
                d->setCurrDispSubChannel(ch->DispSubChannel);
            m_bRequestChannelUpdate = true;
        }
    } else {
        LOG_I("=======> remoconID will be check when channel is updated !!!");
        m_bCheckRemoconId = true;
        m_bRequestChannelUpdate = true;
    }
    emit sendEndSearch(true);
    setPollingTimer(true);
}

void ISDBtAppEngine::onNotify2TsHandoverResult(int result)
{
    LOG_I("[%s] result(%d)", __func__, result);
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    if (result == -1) {
        QMutexLocker lock(&m_pPlayer->m_mutex);
        m_pHandoverTimer->stop();
        m_bEnableSetChannel = true;
        if (!m_bStopSearchPowerOff)
            selectChannelByRemoconID(m_pDataManager->getCurrRemoconID(), m_pDataManager->getCurrDispSubChannel(),
                                     -1);
    }
    emit sendHandoverResult(result);
    if (result == -1)
        powerOffAfterSearch();
}

namespace {
bool searchSettingValid(int val, int max)
{
    return val >= 0 && val <= max;
}
}  // namespace

// After a change of the search settings: no search pending, none running,
// the background search told, and the weak-reception timer re-armed.
static void afterSearchSettingChange(ISDBtAppEngine* engine)
{
    engine->stopSearch();
    engine->setBackSearchInfo2TS();
}

void ISDBtAppEngine::execStationSearchOpChange(int val)
{
    if (!searchSettingValid(val, 1)) {
        LOG_I("[%s] value(%d) is invalid", __func__, val);
        return;
    }
    m_pDataManager->setStationSearchType(val);
    m_bAvailStationSearch = false;
    m_pStationSearchStartTimer->stop();
    afterSearchSettingChange(this);
    const int searchTime = m_pDataManager->getStationSearchTime();
    if (searchTime != 0) {
        m_pStationSearchStartTimer->setInterval(stationSearchWaitMs(searchTime));
        if (reception()->signalWeak())
            m_pStationSearchStartTimer->start();
    }
}

void ISDBtAppEngine::execAutoStationSearchChange(int val)
{
    if (!searchSettingValid(val, 120)) {
        LOG_I("[%s] value(%d) is invalid", __func__, val);
        return;
    }
    m_pDataManager->setStationSearchTime(val);
    m_bAvailStationSearch = false;
    m_pStationSearchStartTimer->stop();
    afterSearchSettingChange(this);
    if (val != 0) {
        m_pStationSearchStartTimer->setInterval(1000 * val);
        if (reception()->signalWeak())
            m_pStationSearchStartTimer->start();
    }
}

void ISDBtAppEngine::execBackgroundSearchChange(int val)
{
    if (!searchSettingValid(val, 2)) {
        LOG_I("[%s] value(%d) is invalid", __func__, val);
        return;
    }
    LOG_I("[%s] bgSearch(%d) bgSearchType(%d)", __func__, val, m_pDataManager->getStationSearchType());
    m_pPlayer->setBackSearchInfo2TS(val, m_pDataManager->getStationSearchType() != 0);
    m_pDataManager->setBackgroundSearch(val);
}

void ISDBtAppEngine::setBackSearchInfo2TS()
{
    m_pPlayer->setBackSearchInfo2TS(m_pDataManager->getBackgroundSearch(),
                                    m_pDataManager->getStationSearchType() != 0);
}
