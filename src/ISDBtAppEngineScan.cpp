// Engine scans: the initial, full and additional scans with their progress
// and the delayed completion, and the channel-table updates the player
// reports while a channel plays (channel update, event relay, services of the
// second transport stream).

#include "ChannelItem.h"
#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "ISDBtThread.h"
#include "KelpAppLog.h"
#include "KvrOzbFSegDBManager.h"
#include "KvrOzbFSegPlayer.h"

#include <QMutexLocker>
#include <QTimer>

namespace {
constexpr int kCleanScan = 0;
constexpr int kAdditionalScan = 1;
}  // namespace

void ISDBtAppEngine::execInitScan()
{
    allScan(true);
}

void ISDBtAppEngine::execScan(bool bhomeListBackup)
{
    m_bHomeListBackup = bhomeListBackup;
    allScan(false);
}

void ISDBtAppEngine::AppReqScan()
{
    allScan(false);
}

void ISDBtAppEngine::execAdditionalScan(bool bhomeListBackup)
{
    m_bHomeListBackup = bhomeListBackup;
    additionalScan();
}

void ISDBtAppEngine::restoreAfterRefusedScan(const char* what)
{
    // Nothing was announced; without this tuning would stay disabled, and with
    // it the power key, until a scan completion that never comes.
    LOG_H("[%s] the player refused the %s scan: tuning and the service are restored", "allScan", what);
    m_bScanningFull = false;
    m_bScanningAdditional = false;
    m_bInitialScan = false;
    m_bEnableSetChannel = true;
    if (m_pDataManager->getInitialized() && !m_bServiceStopRequested)
        reselectChannel(true);
    emit sendStopScan();
}

bool ISDBtAppEngine::allScan(bool initScan)
{
    LOG_I("[%s] initScan(%d) bhomeListBackup(%d)", __func__, initScan, m_bHomeListBackup);
    if (m_pScanCompleteTimer->isActive()) {
        LOG_I("[%s] scan complete process is canceled. because scan is started before scan complete process",
              __func__);
        m_pScanCompleteTimer->stop();
        requestSetChannel = RequestSetChannel();
        m_bScanningFull = m_bScanningAdditional = m_bInitialScan = false;
        m_bEnableSetChannel = true;
    }
    QMutexLocker lock(&m_pPlayer->m_mutex);
    if (!checkHandoverAndCancel())
        return false;
    if (m_pPlayer->m_bHandover && cancelHandoverLocked() == 0) {
        emit sendStopSearch();
        m_pHandoverTimer->stop();
    }
    requestSetChannel = RequestSetChannel();
    m_bEnableSetChannel = false;
    setPollingTimer(false);
    m_pJobThread->cancelJobsExcept(ISDBtThread::AccOnAndPrepareMode);
    const int mode = m_pDataManager->getMode();
    m_pOzbDBManager->clearEpgModel(mode);

    m_bScanningAdditional = false;
    m_bInitialScan = initScan;
    m_bScanningFull = true;
    if (m_pPlayer->scan(0) != 0) {
        restoreAfterRefusedScan(initScan ? "initial" : "full");
        return false;
    }
    if (initScan)
        emit sendInitScan();
    else if (m_bHomeListBackup)
        emit sendRefreshScan();
    else
        emit sendStartScan();
    setCurrentChannelItem(nullptr, true);
    m_nScanProgress = 0;
    return true;
}

bool ISDBtAppEngine::additionalScan()
{
    LOG_I("[%s] bhomeListBackup(%d)", __func__, m_bHomeListBackup);
    if (m_pScanCompleteTimer->isActive()) {
        LOG_I("[%s] scan complete process is canceled. because scan is started before scan complete process",
              __func__);
        m_pScanCompleteTimer->stop();
        requestSetChannel = RequestSetChannel();
        m_bScanningFull = m_bScanningAdditional = m_bInitialScan = false;
        m_bEnableSetChannel = true;
    }
    QMutexLocker lock(&m_pPlayer->m_mutex);
    if (!checkHandoverAndCancel())
        return false;
    requestSetChannel = RequestSetChannel();
    m_bEnableSetChannel = false;
    setPollingTimer(false);
    m_pJobThread->cancelJobsExcept(ISDBtThread::AccOnAndPrepareMode | ISDBtThread::ChannelUpdateMode);
    m_pOzbDBManager->clearEpgModel(m_pDataManager->getMode());

    m_bScanningFull = false;
    m_bInitialScan = false;
    m_bScanningAdditional = true;
    if (m_pPlayer->scan(1) != 0) {
        restoreAfterRefusedScan("additional");
        return false;
    }
    emit sendAdditionalScan();
    setCurrentChannelItem(nullptr, true);
    m_nScanProgress = 0;
    return true;
}

void ISDBtAppEngine::execStopScan(int scanType)
{
    bool stop;
    if (scanType == kCleanScan)
        stop = m_bScanningFull;
    else if (scanType == kAdditionalScan)
        stop = m_bScanningAdditional;
    else
        stop = true;
    LOG_I("[%s] scanType(%d), bStopScan(%d)", __func__, scanType, stop);
    if (stop)
        stopScan();
}

void ISDBtAppEngine::stopScan()
{
    m_pPlayer->scanCancel();
    emit sendStopScan();
}

void ISDBtAppEngine::AppReqScanProgress(bool bComplete)
{
    LOG_I("[%s] bComplete(%d)", __func__, bComplete);
}

void ISDBtAppEngine::onNotifySearchPercent(int progress, int count)
{
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    m_nScanProgress = progress;
    m_nScanCount = count;
    emit sendSearchPercent(progress);
}

void ISDBtAppEngine::onNotifySearchComplete(bool success)
{
    LOG_I("[%s]success(%s), m_bStopScanPowerOff : %s", __func__, success ? "true" : "false",
          m_bStopScanPowerOff ? "true" : "false");
    m_pScanCompleteTimer->start();
}

void ISDBtAppEngine::reselectChannel(bool tryCurrent)
{
    if (tryCurrent && selectChannelByRemoconID(m_pDataManager->getCurrRemoconID(),
                                               m_pDataManager->getCurrDispSubChannel(), -1) == 0)
        return;
    selectFirstStation();
}

void ISDBtAppEngine::scanCompleteTimerHandler()
{
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    requestSetChannel = RequestSetChannel();
    m_bEnableSetChannel = true;
    if (m_bStopScanPowerOff) {
        m_bStopScanPowerOff = false;
        powerOff(true);
        return;
    }
    if (!m_pDataManager->getInitialized())
        m_pDataManager->setInitialized(true);
    if (m_bInitialScan || m_bHomeListBackup)
        homeListBackup();
    const int mode = m_pDataManager->getMode();
    m_pOzbDBManager->getChannelsFromDB(mode, true, 0);
    m_pOzbDBManager->clearEpgModel(mode);
    emit sendScanComplete();
    if (!m_bServiceStopRequested) {
        {
            QMutexLocker lock(&m_pPlayer->m_mutex);
            reselectChannel(m_bScanningAdditional);
        }
        if (!m_bStationLogosFetched)
            getAllStationInfo();
    } else {
        stopService();
    }
    m_bScanningAdditional = false;
    m_bScanningFull = false;
    m_bInitialScan = false;
}

void ISDBtAppEngine::onNotifyVideoDefinitionUpdate(int chIdx, int serviceID)
{
    LOG_I("[%s] chIdx(%d)serviceID(%d)", __func__, chIdx, serviceID);
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    // The scan and station-search panels stay until their own end.
    if (checkPlayerScanState() || checkPlayerInHandoverState())
        return;
    emit sendVideoDefinitionUpdate();
}

namespace {
// Full-segment and one-segment channel ids of (R, S); a sub-channel without a
// one-segment service of its own uses sub-channel 1's.
void channelIds(KvrOzbFSegDBManager* db, int mode, int remoconID, int subChannel, int* fullId, int* oneId)
{
    *fullId = db->getChannelIDFromStation(mode, remoconID, subChannel, 0);
    *oneId = db->getChannelIDFromStation(mode, remoconID, subChannel, 1);
    if (*oneId < 1 && subChannel >= 2)
        *oneId = db->getChannelIDFromStation(mode, remoconID, 1, 1);
}
}  // namespace

void ISDBtAppEngine::onNotifyEventRelay(int channelIndex, int serviceID)
{
    LOG_I("[%s] channelIndex(%d) serviceID(%d)", __func__, channelIndex, serviceID);
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    if (m_pDataManager->getEventRelay() == 0) {
        LOG_I("[%s] EventRelay is OFF", __func__);
        return;
    }
    const int mode = m_pDataManager->getMode();
    ChannelItem* ch = m_pOzbDBManager->getChannelItem(mode, serviceID, false);
    if (ch == nullptr) {
        LOG_I("[%s] not found channel info!!!", __func__);
        return;
    }
    const int r = ch->RemoconID;
    const int s = ch->DispSubChannel;
    if (r < 1 || s < 1)
        return;
    int fullId = -1, oneId = -1;
    channelIds(m_pOzbDBManager, mode, r, s, &fullId, &oneId);
    if (fullId < 1 && oneId < 1)
        return;
    m_pPlayer->stop();
    const int result = setChannel(r, s, fullId, oneId, 0);
    if (result == 0)
        startChannel(true);
    else
        LOG_I("[%s] setChannel is failed(%d)", __func__, result);
}

void ISDBtAppEngine::onNotifyChannelUpdate(int serviceID)
{
    LOG_I("[%s] serviceID(%d)", __func__, serviceID);
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    const int mode = m_pDataManager->getMode();
    ChannelItem* ch = m_pOzbDBManager->getChannelItem(mode, serviceID, false);
    m_pJobThread->request(ISDBtThread::ChannelUpdateMode, mode, -1, ch != nullptr ? ch->RemoconID : -1, -1, nullptr,
                          -1);
}

void ISDBtAppEngine::onSendChannelUpdateMode(int modeType, int remoconID)
{
    LOG_I("[%s] modeType(%d) remoconID(%d) m_bCheckRemoconId(%d)", __func__, modeType, remoconID, m_bCheckRemoconId);
    m_pOzbDBManager->getChannelsFromDB(modeType, false, remoconID);
    m_pOzbDBManager->makeChannelList(modeType, remoconID);

    if (m_bCheckRemoconId || remoconID == m_pDataManager->getCurrRemoconID()) {
        ChannelItem* ch = m_pOzbDBManager->getChannelItemSidChNum(modeType, m_pDataManager->getCurrServiceID(),
                                                                  m_pDataManager->getCurrChannelNumber(), false);
        if (ch != nullptr) {
            if (ch->RemoconID > 0 && ch->RemoconID != m_pDataManager->getCurrRemoconID()) {
                LOG_I("=======> remoconID is changed(%d->%d)!!!", m_pDataManager->getCurrRemoconID(), ch->RemoconID);
                m_pDataManager->setCurrRemoconID(ch->RemoconID);
                if (ch->SubChannel > 0)
                    m_pDataManager->setCurrSubChannel(ch->SubChannel);
                if (ch->DispSubChannel > 0)
                    m_pDataManager->setCurrDispSubChannel(ch->DispSubChannel);
            }
            m_bCheckRemoconId = false;
            const int r = m_pDataManager->getCurrRemoconID();
            const int s = m_pDataManager->getCurrDispSubChannel();
            int fullId = -1, oneId = -1;
            channelIds(m_pOzbDBManager, modeType, r, s, &fullId, &oneId);
            m_pDataManager->setChannel(r, s, fullId, oneId);
            setCurrentChannelItem(ch, ch->Available != 0 && ch->DispSubChannel == s);
        }
    }
    if (m_bRequestChannelUpdate) {
        m_bRequestChannelUpdate = false;
        m_pJobThread->request(ISDBtThread::ChannelUpdateMode, modeType, -1, -1, -1, nullptr, -1);
    }
}

void ISDBtAppEngine::onNotify2TsComparisonStatus(int status)
{
    m_pDataManager->set2TsCompStatus(status != 0);
}

void ISDBtAppEngine::onNotify2TsChannelUpdateRemove(int channelNumber)
{
    m_pOzbDBManager->removeAddChannel(m_pDataManager->getMode(), false, channelNumber);
}

void ISDBtAppEngine::onNotify2TsChannelUpdateAdd(int channelNumber)
{
    m_pJobThread->request(ISDBtThread::OtherChannelUpdate2Ts, m_pDataManager->getMode(), -1, channelNumber, -1,
                          nullptr, -1);
}

void ISDBtAppEngine::onSendOtherChannelUpdate2TsComplete(int modeType, int channelNumber)
{
    m_pOzbDBManager->getChannelsOfChNumFromDB(modeType, channelNumber);
    const int before = m_pOzbDBManager->getStationIndex(modeType, m_pDataManager->getCurrRemoconID(),
                                                        m_pDataManager->getCurrDispSubChannel());
    m_pOzbDBManager->removeAddChannel(modeType, true, channelNumber);
    const int after = m_pOzbDBManager->getStationIndex(modeType, m_pDataManager->getCurrRemoconID(),
                                                       m_pDataManager->getCurrDispSubChannel());
    if (after != before) {
        LOG_I("[%s] stationIndex changed : %d -> %d", __func__, before, after);
        m_pDataManager->setCurrStationIndex(after);
    }
}
