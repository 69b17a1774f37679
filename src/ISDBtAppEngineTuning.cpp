// Engine tuning, as far as the power cycle needs it: the service start after
// the prepared event (databases, lists, the remembered channel) and the end
// of a channel change. Channel selection by the user builds on these.

#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "ISDBtThread.h"
#include "KelpAppLog.h"
#include "KvrOzbFSegDBManager.h"
#include "KvrOzbFSegPlayer.h"

#include <QSortFilterProxyModel>
#include <QTimer>

namespace {
constexpr int kFullSeg = 0;
constexpr int kOneSeg = 1;
constexpr int kFixedOneSegMode = 1;
}  // namespace

void ISDBtAppEngine::startAV(bool resetUIRemoconID)
{
    LOG_I("[%s] resetUIRemoconID(%d)", __func__, resetUIRemoconID);
    const int mode = m_pDataManager->getMode();
    if (m_pOzbDBManager->init() == 0) {
        m_pOzbDBManager->getChannelsFromDB(mode, true, 0);
        m_pOzbDBManager->clearEpgModel(mode);
    } else {
        LOG_H("m_pOzbDBManager init fail !!!!!!!");
    }
    m_pPlayer->setMode(mode);
    if (m_pDataManager->getInitialized()) {
        startService(false);
    } else {
        // The QML shows the initial-scan prompt; the launcher learns the
        // power mode of a box that has never scanned.
        m_pDataManager->setStartPower(0);
        SendDBusRequestPowerMode(1, 0);
    }
    setEnablePowerOnOffState(true);
}

void ISDBtAppEngine::startService(bool skipSetChannel)
{
    if (m_pDataManager->getAntennaState() != 0) {
        LOG_I("[%s] antena is shorted. skip this!!!", __func__);
        return;
    }
    int remoconID = 0;
    int subChannel = 0;
    m_pDataManager->getChannel(&remoconID, &subChannel);
    if (!skipSetChannel || m_bForceSetChannelWhenFirstStartService) {
        if (selectChannelByRemoconID(remoconID, subChannel, -1) != 0)
            LOG_W("[%s] remembered channel R(%d_%d) not tuned", __func__, remoconID, subChannel);
    } else {
        LOG_I("[%s] already selected channel. skip selectChannelByRemoconID()", __func__);
    }
    m_bForceSetChannelWhenFirstStartService = false;
    setStartServiceDone(true);
}

int ISDBtAppEngine::selectChannelByRemoconID(int remoconID, int subChannel, int segType)
{
    const int mode = m_pDataManager->getMode();
    QSortFilterProxyModel* stations = m_pOzbDBManager->getStationProxyModel(mode);
    const int rows = stations != nullptr ? stations->rowCount() : 0;
    if (rows < 1) {
        LOG_W("[%s] station list is empty(%d)", __func__, rows);
        return -1;
    }
    if (m_pDataManager->getAntennaState() != 0) {
        LOG_I("[%s] antenna is shorted. skip this!!!", __func__);
        return -1;
    }
    if (remoconID < 1 || subChannel < 1)
        return -1;

    int fullId = -1;
    int oneId = -1;
    if (subChannel != 1 && m_pOzbDBManager->getStationItemFromProxyModelByRemoconID(mode, remoconID, subChannel)) {
        fullId = m_pOzbDBManager->getChannelIDFromStation(mode, remoconID, subChannel, kFullSeg);
        oneId = m_pOzbDBManager->getChannelIDFromStation(mode, remoconID, subChannel, kOneSeg);
        if (oneId < 1)
            oneId = m_pOzbDBManager->getChannelIDFromStation(mode, remoconID, 1, kOneSeg);
    } else {
        if (subChannel != 1)
            LOG_I("[%s] station remoconID(%d_%d) is not exist. change default(%d_1)", __func__, remoconID,
                  subChannel, remoconID);
        subChannel = 1;
        fullId = m_pOzbDBManager->getChannelIDFromStation(mode, remoconID, 1, kFullSeg);
        oneId = m_pOzbDBManager->getChannelIDFromStation(mode, remoconID, 1, kOneSeg);
    }

    const int segMode = m_pDataManager->getSegMode();
    const bool preferFull = segType != kOneSeg && segMode != kFixedOneSegMode;
    int seg = -1;
    if (preferFull)
        seg = fullId >= 1 ? kFullSeg : (oneId > 0 ? kOneSeg : -1);
    else
        seg = oneId > 0 ? kOneSeg : (fullId >= 1 ? kFullSeg : -1);
    int result = -1;
    if (seg >= 0)
        result = setChannel(remoconID, subChannel, fullId, oneId, seg);
    if (result == 0) {
        m_pDataManager->setCurrProgramName(QString());
        emit sendStartChannel(false);
        return 0;
    }
    LOG_I("[%s] setChannel is failed(%d)", __func__, result);
    emit sendChangeChannelFail();
    return result;
}

int ISDBtAppEngine::setChannel(int remoconID, int subChannel, int fullSegChannelId, int oneSegChannelId, int segType)
{
    if (m_pDataManager->getAntennaState() != 0) {
        LOG_I("[%s] antenna is shorted. skip this!!!", __func__);
        return -1;
    }
    if (!m_bEnableSetChannel) {
        LOG_I("[%s] m_bEnableSetChannel is FALSE - R(%d) sub(%d)", __func__, remoconID, subChannel);
        return -2;
    }
    m_bEnableSetChannel = false;
    if (m_pDataManager->getSubtitle() != 0)
        m_pPlayer->setSubtitle(0);
    if (m_pDataManager->getSuperImpose() != 0)
        m_pPlayer->setSuperImpose(0);
    const bool polling = m_pSignalCheckTimer->isActive();
    setPollingTimer(false);
    if (m_pDataManager->getCurrSegType() != segType) {
        m_pDataManager->setCurrSegType(segType);
        m_pOzbDBManager->setRefreshStaionProxyModel();
    }
    const int result = m_pPlayer->setChannel(fullSegChannelId, oneSegChannelId, m_pDataManager->getBilingual(),
                                             segType);
    if (result != 0 && polling)
        setPollingTimer(true);
    m_bEnableSetChannel = true;
    m_pJobThread->cancelJobsForEpg();
    const bool full = fullSegChannelId > 0;
    const bool one = oneSegChannelId > 0;
    setCurrAvailSegType(full && one ? 2 : full ? 0 : one ? 1 : -1);
    setBilingualText(QString());
    m_pDataManager->setChannel(remoconID, subChannel, fullSegChannelId, oneSegChannelId);
    setStartServiceDone(true);
    return result;
}

void ISDBtAppEngine::setPollingTimer(bool on)
{
    if (on) {
        m_pChannelInfoUpdateTimer->start();
        m_pSignalCheckTimer->start();
    } else {
        m_pChannelInfoUpdateTimer->stop();
        m_pSignalCheckTimer->stop();
    }
}

void ISDBtAppEngine::onNotifyChannelChanged(bool isHandover)
{
    if (m_bPowerOffAfterSetChannel) {
        // The power key came while this change was running.
        m_bPowerOffAfterSetChannel = false;
        powerOff(m_bSavePowerState);
        return;
    }
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    LOG_I("[%s] isHandover(%d)", __func__, isHandover);
    m_bEnableSetChannel = true;
}
