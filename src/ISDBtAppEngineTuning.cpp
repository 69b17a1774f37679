// Engine tuning: the two steps of a user's channel change, the tune itself
// with its one buffered request, the service start after the prepared event,
// the current-channel information of the settings store, the home-list
// backup and restore, and the channel-information clock.

#include "DevRoot.h"
#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "ISDBtThread.h"
#include "ISDBtUtil.h"
#include "ChannelItem.h"
#include "KelpAppLog.h"
#include "KvrOzbFSegDBManager.h"
#include "KvrOzbFSegPlayer.h"
#include "ReceptionMonitor.h"
#include "StationItem.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QSortFilterProxyModel>
#include <QTimer>

namespace {
constexpr int kFullSeg = 0;
constexpr int kOneSeg = 1;
constexpr int kFixedFullSegMode = 0;
constexpr int kFixedOneSegMode = 1;
constexpr int kAutoSegMode = 2;
constexpr int kLastSecondOfDay = 86399;
// Dates up to this one (MJD) come from a stream without a valid time.
constexpr int kOldestDate = 51603;
const char kLogoDir[] = "/home/root/isdbt/logo/";

const char* segName(int seg)
{
    return seg == kOneSeg ? "1Seg" : "FSeg";
}

QString stringInfo(const char* key)
{
    return QCoreApplication::translate("StringInfo", key);
}
}  // namespace

// ---------------------------------------------------------------------------
// QML queries

int ISDBtAppEngine::getChannelListCount()
{
    QSortFilterProxyModel* p = m_pOzbDBManager->getChannelProxyModel(m_pDataManager->getMode());
    return p != nullptr ? p->rowCount() : 0;
}

int ISDBtAppEngine::getStationListCount()
{
    QSortFilterProxyModel* p = m_pOzbDBManager->getStationProxyModel(m_pDataManager->getMode());
    return p != nullptr ? p->rowCount() : 0;
}

int ISDBtAppEngine::getEpgListCount()
{
    return m_pOzbDBManager->getEpgListCount(m_pDataManager->getMode());
}

int ISDBtAppEngine::getCountForRemoconID(int remoconID)
{
    return m_pOzbDBManager->getChannelListCountForRemoconID(m_pDataManager->getMode(), remoconID);
}

int ISDBtAppEngine::getCountOfRemoconID(int remoconID)
{
    return m_pOzbDBManager->getStationProxyCountForRemoconID(m_pDataManager->getMode(), remoconID);
}

QString ISDBtAppEngine::getLogoName(int key)
{
    if (key < 0)
        return QString("");
    const QString name = sutil::makeLogoName(QString::fromStdString(devroot::path(kLogoDir)), key);
    if (name.isEmpty() || !sutil::FileExists(name.toLocal8Bit().constData()))
        return QString("");
    return name;
}

int ISDBtAppEngine::getStationNetworkID(int channelNumber)
{
    return m_pOzbDBManager->getSationNetworkID(m_pDataManager->getMode(), channelNumber);
}

QString ISDBtAppEngine::getStationLogoPath(int channelNumber, int networkID)
{
    if (networkID < 0)
        networkID = getStationNetworkID(channelNumber);
    const QString name = getLogoName(networkID);
    return name.isEmpty() ? QString("") : QStringLiteral("file:") + name;
}

int ISDBtAppEngine::findAvailableOtherSubChannel(int lcn, int subChannel)
{
    const int mode = m_pDataManager->getMode();
    const int count = m_pOzbDBManager->getStationCountForRemoconID(mode, lcn);
    const int current = m_pDataManager->getCurrDispSubChannel();
    LOG_I("[%s] lcn(%d) subChannel(%d) count(%d) current(%d)", __func__, lcn, subChannel, count, current);
    if (count < 2 || current < 1)
        return -1;
    int candidate = current + 1;
    if (candidate > count)
        candidate = 1;
    ChannelItem* ch = m_pOzbDBManager->getChannelItemDispSub(mode, lcn, candidate, true);
    return ch != nullptr ? ch->DispSubChannel : -1;
}

int ISDBtAppEngine::preferredSegType()
{
    const int segMode = m_pDataManager->getSegMode();
    if (segMode == kFixedOneSegMode)
        return kOneSeg;
    if (segMode >= kAutoSegMode && m_pDataManager->getCurrSegType() == kOneSeg)
        return kOneSeg;
    return kFullSeg;
}

int ISDBtAppEngine::getSegModeIndexModule(int v)
{
    return v == 1 ? 0 : v == 2 ? 1 : 2;
}

int ISDBtAppEngine::getSegModeIndexHost(int v)
{
    return v == 0 ? 1 : v == 1 ? 2 : 0;
}

bool ISDBtAppEngine::isCurrentChannel(int remoconID, int subChannel)
{
    return m_pDataManager->getCurrRemoconID() == remoconID && m_pDataManager->getCurrDispSubChannel() == subChannel;
}

// ---------------------------------------------------------------------------
// Step 1: announce the target

void ISDBtAppEngine::execChangeChannel(int lcn, int subChannel)
{
    AppReqStartChannel(-1, lcn, subChannel);
}

void ISDBtAppEngine::execPrevChannel()
{
    AppReqStartPrevChannel();
}

void ISDBtAppEngine::execNextChannel()
{
    AppReqStartNextChannel();
}

void ISDBtAppEngine::AppReqStartChannel(int chNum, int lcn, int subChannel)
{
    Q_UNUSED(chNum);
    const int rows = getStationListCount();
    if (rows < 1) {
        LOG_W("[%s] station list is empty(%d)", __func__, rows);
        return;
    }
    if (isCurrentChannel(lcn, subChannel)) {
        LOG_I("[%s] (%d-%d) is current channel. Do not change.", __func__, lcn, subChannel);
        emit sendSetShowOSD(true);
        return;
    }
    setChangeChByKey(true);
    const int mode = m_pDataManager->getMode();
    const int seg = preferredSegType();
    ChannelItem* ch = m_pOzbDBManager->getChannelItem(mode, lcn, subChannel, seg, true);
    if (ch == nullptr) {
        LOG_I("[%s] (%s)(%d-%d) is not exist.", __func__, segName(seg), lcn, subChannel);
        ch = m_pOzbDBManager->getChannelItem(mode, lcn, subChannel, seg == kOneSeg ? kFullSeg : kOneSeg, true);
    }
    if (ch == nullptr) {
        LOG_I("[%s] (All)(%d-%d) is not exist.", __func__, lcn, subChannel);
        return;
    }
    emit sendChangeChannel(lcn, subChannel, ch->ChannelNumber, ch->ThreedigitNumber, ch->TSName, false, false);
}

namespace {
// The station row `step` rows away from `current`, wrapping at both ends.
int stepRow(int current, int rows, int step)
{
    int target = current + step;
    if (target < 0)
        target = rows - 1;
    if (target >= rows)
        target = 0;
    return target;
}
}  // namespace

static void announceStep(ISDBtAppEngine* engine, ISDBtDataManager* data, KvrOzbFSegDBManager* db, int seg,
                         int step, const char* func)
{
    const int mode = data->getMode();
    int remoconID = data->getCurrRemoconID();
    int subChannel = data->getCurrDispSubChannel();
    int chNum = data->getCurrChannelNumber();
    int threeDigit = data->getCurrThreeDigitNumber();
    QString name = data->getCurrChName();
    const int rows = engine->getStationListCount();
    if (rows > 1) {
        const int current = data->getCurrStationIndex();
        const int target = stepRow(current, rows, step);
        LOG_I("[%s] %d -> %d", func, current, target);
        StationItem* st = db->getStationItemByProxyIndex(mode, target);
        if (st != nullptr) {
            remoconID = st->RemoconID;
            subChannel = st->DispSubChannel;
            chNum = st->ChannelNumber;
            name = st->TSName;
            ChannelItem* ch = db->getChannelItem(mode, remoconID, subChannel, seg, true);
            threeDigit = ch != nullptr ? ch->ThreedigitNumber : 0;
        }
    }
    emit engine->sendChangeChannel(remoconID, subChannel, chNum, threeDigit, name, step < 0, step > 0);
}

void ISDBtAppEngine::AppReqStartPrevChannel()
{
    const int rows = getStationListCount();
    if (rows < 1) {
        LOG_W("[%s] station list is empty(%d)", __func__, rows);
        return;
    }
    setChangeChByKey(true);
    announceStep(this, m_pDataManager, m_pOzbDBManager, preferredSegType(), -1, __func__);
}

void ISDBtAppEngine::AppReqStartNextChannel()
{
    const int rows = getStationListCount();
    if (rows < 1) {
        LOG_W("[%s] station list is empty(%d)", __func__, rows);
        return;
    }
    setChangeChByKey(true);
    announceStep(this, m_pDataManager, m_pOzbDBManager, preferredSegType(), 1, __func__);
}

void ISDBtAppEngine::selectFirstStation()
{
    if (m_pDataManager->getAntennaState() != 0) {
        LOG_I("[%s] antenna is shorted. skip this!!!", __func__);
        return;
    }
    const int rows = getStationListCount();
    if (rows < 1) {
        LOG_W("[%s] station list is empty(%d)", __func__, rows);
        return;
    }
    const int mode = m_pDataManager->getMode();
    StationItem* st = m_pOzbDBManager->getStationItemByProxyIndex(mode, 0);
    if (st == nullptr)
        return;
    ChannelItem* ch = m_pOzbDBManager->getChannelItem(mode, st->RemoconID, st->DispSubChannel, preferredSegType(), true);
    emit sendChangeChannel(st->RemoconID, st->SubChannel, st->ChannelNumber, ch != nullptr ? ch->ThreedigitNumber : 0,
                           st->TSName, false, false);
}

// ---------------------------------------------------------------------------
// Step 2: tune

void ISDBtAppEngine::bufferChannelRequest(int remoconID, int subChannel)
{
    requestSetChannel.set = true;
    requestSetChannel.remoconID = remoconID;
    requestSetChannel.subChannel = subChannel;
}

int ISDBtAppEngine::changeChannel(int lcn, int subChannel)
{
    QMutexLocker lock(&m_pPlayer->m_mutex);
    if (!checkHandoverAndCancel()) {
        LOG_I("[%s] Now handover can not be canceled, let's set buffer 'requestSetChannel' with values - R(%d) "
              "sub(%d)", __func__, lcn, subChannel);
        m_bEnableSetChannel = false;
        bufferChannelRequest(lcn, subChannel);
        return -2;
    }
    if (lcn < 1)
        return -1;
    if (isCurrentChannel(lcn, subChannel)) {
        LOG_I("[%s] (%d-%d) is current channel. Do not change.", __func__, lcn, subChannel);
        return 0;
    }
    return selectChannelByRemoconID(lcn, subChannel, -1);
}

static void selectStep(ISDBtAppEngine* engine, ISDBtDataManager* data, KvrOzbFSegDBManager* db, int step,
                       const char* func)
{
    if (data->getAntennaState() != 0) {
        LOG_I("[%s] antenna is shorted. skip this!!!", func);
        return;
    }
    const int mode = data->getMode();
    if (db->getStationProxyModel(mode) == nullptr)
        return;
    const int rows = engine->getStationListCount();
    int index = 0;
    if (rows > 1)
        index = stepRow(data->getCurrStationIndex(), rows, step);
    engine->selectStationStep(index, rows, func);
}

void ISDBtAppEngine::selectStationStep(int index, int rows, const char* func)
{
    QMutexLocker lock(&m_pPlayer->m_mutex);
    if (checkHandoverAndCancel()) {
        const int r = selectChannelByStationIndex(index);
        LOG_I("[%s] %d of %d : %s", func, index, rows, r == 0 ? "success" : "fail");
        return;
    }
    StationItem* st = m_pOzbDBManager->getStationItemByProxyIndex(m_pDataManager->getMode(), index);
    if (st == nullptr)
        return;
    LOG_I("[%s] Now handover can not be canceled, let's set buffer 'requestSetChannel' with values - R(%d) sub(%d)",
          func, st->RemoconID, st->DispSubChannel);
    m_bEnableSetChannel = false;
    bufferChannelRequest(st->RemoconID, st->DispSubChannel);
}

void ISDBtAppEngine::selectPrevStation()
{
    selectStep(this, m_pDataManager, m_pOzbDBManager, -1, __func__);
}

void ISDBtAppEngine::selectNextStation()
{
    selectStep(this, m_pDataManager, m_pOzbDBManager, 1, __func__);
}

int ISDBtAppEngine::selectChannelByStationIndex(int index)
{
    if (m_pDataManager->getAntennaState() != 0) {
        LOG_I("[%s] antenna is shorted. skip this!!!", __func__);
        return -1;
    }
    StationItem* st = m_pOzbDBManager->getStationItemByProxyIndex(m_pDataManager->getMode(), index);
    if (st == nullptr)
        return -1;
    return selectChannelByRemoconID(st->RemoconID, st->DispSubChannel, -1);
}

int ISDBtAppEngine::selectChannelByRemoconID(int remoconID, int subChannel, int segType)
{
    const int mode = m_pDataManager->getMode();
    const int rows = getStationListCount();
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
    if (preferFull) {
        if (fullId >= 1) {
            seg = kFullSeg;
        } else if (oneId > 0) {
            seg = kOneSeg;
            if (segMode == kFixedFullSegMode)
                emit sendNotifyMesssage(stringInfo("STR_NO_12SEGM_MSG"));
        }
    } else {
        if (oneId > 0) {
            seg = kOneSeg;
        } else if (fullId >= 1) {
            seg = kFullSeg;
            if (segMode == kFixedOneSegMode)
                emit sendNotifyMesssage(stringInfo("STR_NO_1SEG_MSG"));
        }
    }
    int result = -1;
    if (seg >= 0)
        result = setChannel(remoconID, subChannel, fullId, oneId, seg);
    if (result == 0) {
        startChannel(false);
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
        bufferChannelRequest(remoconID, subChannel);
        LOG_I("[%s] m_bEnableSetChannel is FALSE, let's set buffer 'requestSetChannel' with values - R(%d) sub(%d)",
              __func__, remoconID, subChannel);
        return -2;
    }
    m_bEnableSetChannel = false;
    if (m_pDataManager->getSubtitle() != 0)
        m_pPlayer->setSubtitle(0);
    if (m_pDataManager->getSuperImpose() != 0)
        m_pPlayer->setSuperImpose(0);
    const bool polling = m_bPolling;
    setPollingTimer(false);

    const int previousSegType = m_pDataManager->getCurrSegType();
    auto switchSegType = [this](int seg) {
        m_pDataManager->setCurrSegType(seg);
        emit sendRefreshStaionListStart();
        m_pOzbDBManager->setRefreshStaionProxyModel();
        emit sendRefreshStaionListEnd();
    };
    if (previousSegType != segType)
        switchSegType(segType);

    const int result =
        m_pPlayer->setChannel(fullSegChannelId, oneSegChannelId, m_pDataManager->getBilingual(), segType);
    if (result != 0) {
        // The player still plays the previous channel: keep its state.
        LOG_W("[%s] player setChannel failed(%d) - R(%d_%d) kept", __func__, result,
              m_pDataManager->getCurrRemoconID(), m_pDataManager->getCurrDispSubChannel());
        if (previousSegType != segType)
            switchSegType(previousSegType);
        if (polling)
            setPollingTimer(true);
        m_bEnableSetChannel = true;
        return result;
    }
    m_bEnableSetChannel = true;
    m_pJobThread->cancelJobsForEpg();

    const bool full = fullSegChannelId > 0;
    const bool one = oneSegChannelId > 0;
    setCurrAvailSegType(full && one ? 2 : full ? 0 : one ? 1 : -1);
    setBilingualText(QString(""));
    m_pDataManager->setChannel(remoconID, subChannel, fullSegChannelId, oneSegChannelId);
    setBilingualAfterSetChannel();
    setCurrentChannelInfoUpdate(m_pDataManager->getMode(), remoconID, subChannel, segType);
    setStartServiceDone(true);
    return result;
}

void ISDBtAppEngine::startChannel(bool bEventRelay)
{
    m_pDataManager->setCurrProgramName(QString(""));
    emit sendStartChannel(bEventRelay);
}

void ISDBtAppEngine::startEndChannel()
{
    emit sendStartEndChannel();
}

void ISDBtAppEngine::onNotifyVideoOutput(int chIdx)
{
    LOG_I("[%s] int chIdx(%d)", __func__, chIdx);
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    setChangeChByKey(false);
    startEndChannel();
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
    startCheckVideoError();
    QMutexLocker lock(&m_pPlayer->m_mutex);
    if (m_pHandoverTimer->isActive())
        m_bSuccessHandover = true;
    const int mode = m_pDataManager->getMode();
    m_pPlayer->getChannelInfo(mode, m_pDataManager->getCurrChannelNumber(), m_pDataManager->getCurrServiceID());
    reception()->setChannelChangedState(1);
    setChannelPlaySettings();
    setPollingTimer(true);

    bool takeOver = isHandover;
    if (requestSetChannel.set) {
        const RequestSetChannel req = requestSetChannel;
        LOG_I("[%s] requestSetChannel is set, requestSetChannel remoconID:%d, subChannel:%d", __func__, req.remoconID,
              req.subChannel);
        requestSetChannel = RequestSetChannel();
        if (isCurrentChannel(req.remoconID, req.subChannel)) {
            LOG_I("[%s] The same channel, ignore requestSetChannel~~~", __func__);
        } else if (isHandover) {
            LOG_I("[%s] This time is handover, ignore requestSetChannel~~~", __func__);
        } else {
            LOG_I("[%s] Let's tune for requestSetChannel~~~", __func__);
            m_bEnableSetChannel = true;
            const int r = selectChannelByRemoconID(req.remoconID, req.subChannel, -1);
            LOG_I("[%s] selectChannelByRemoconID returns %d", __func__, r);
            m_bEnableSetChannel = true;
            lock.unlock();
            emit sendAvIndexUpdated(m_pDataManager->getCurrRemoconID());
            return;
        }
    }
    if (takeOver) {
        ChannelItem* ch = m_pOzbDBManager->getChannelItemSidChNum(mode, m_pDataManager->getCurrServiceID(),
                                                                  m_pDataManager->getCurrChannelNumber(), true);
        if (ch != nullptr)
            setCurrentChannelInfoUpdate(mode, ch->RemoconID, ch->DispSubChannel, ch->ServiceSegType);
    }
    m_bEnableSetChannel = true;
    lock.unlock();
    emit sendAvIndexUpdated(m_pDataManager->getCurrRemoconID());
}

void ISDBtAppEngine::setChannelPlaySettings()
{
    startBilingualUpdate();
    m_pPlayer->setSubtitle(m_pDataManager->getSubtitle());
    m_pPlayer->setSuperImpose(m_pDataManager->getSuperImpose());
}

// ---------------------------------------------------------------------------
// Current-channel information

void ISDBtAppEngine::setCurrentChannelInfoUpdate(int mode, int remoconID, int subChannel, int segType)
{
    m_bCheckRemoconId = false;
    ChannelItem* ch = m_pOzbDBManager->getChannelItem(mode, remoconID, subChannel, segType, false);
    if (ch != nullptr) {
        setCurrentChannelItem(ch, true);
    } else if (subChannel > 1) {
        LOG_I("[%s] chItem of Channel(%d_%d) is nullptr!! check subChannel 1 !!", __func__, remoconID, subChannel);
        setCurrentChannelItem(m_pOzbDBManager->getChannelItem(mode, remoconID, 1, segType, false), false);
    } else {
        setCurrentChannelItem(nullptr, false);
    }
    clearSubtitleImage();
}

void ISDBtAppEngine::setCurrentChannelInfoUpdateByChangeSeg(int mode, int segType)
{
    m_bCheckRemoconId = false;
    const int id = segType == kOneSeg ? m_pDataManager->oneSegID : m_pDataManager->fullSegID;
    if (id < 0) {
        LOG_I("[%s] channelID(%d) is invalid !!", __func__, id);
    } else if (ChannelItem* ch = m_pOzbDBManager->getChannelItemByID(mode, id)) {
        setCurrentChannelItem(ch, false);
    } else {
        LOG_I("[%s] chItem for channelID(%d) is nullptr !!", __func__, id);
    }
    clearSubtitleImage();
}

void ISDBtAppEngine::setCurrentChannelItem(ChannelItem* item, bool fromItem)
{
    ISDBtDataManager* d = m_pDataManager;
    const int mode = d->getMode();
    if (item == nullptr) {
        if (m_bScanningAdditional)
            d->setCurrentChannelInfo(d->getCurrRemoconID(), d->getCurrSubChannel(), d->getCurrDispSubChannel(), 0, 0,
                                     0, d->getCurrStationIndex(), 0, QString(""), 1);
        else
            d->setCurrentChannelInfo(0, 1, 1, 0, 0, 0, 0, 0, QString(""), 1);
        return;
    }
    int remoconID = item->RemoconID;
    int subChannel = item->SubChannel;
    int dispSubChannel = item->DispSubChannel;
    int stationIndex;
    if (fromItem) {
        stationIndex = m_pOzbDBManager->getStationIndex(mode, remoconID, dispSubChannel);
    } else {
        remoconID = d->getCurrRemoconID() >= 1 ? d->getCurrRemoconID() : item->RemoconID;
        subChannel = d->getCurrSubChannel() >= 1 ? d->getCurrSubChannel() : item->SubChannel;
        dispSubChannel = d->getCurrDispSubChannel() >= 1 ? d->getCurrDispSubChannel() : item->DispSubChannel;
        stationIndex = m_pOzbDBManager->getStationIndex(mode, remoconID, dispSubChannel);
        if (stationIndex < 0)
            stationIndex = m_pOzbDBManager->getStationIndex(mode, remoconID, 1);
    }
    d->setCurrentChannelInfo(remoconID, subChannel, dispSubChannel, item->ServiceID, item->ChannelNumber,
                             item->ThreedigitNumber, stationIndex, item->NetworkID, item->TSName,
                             m_pOzbDBManager->getStationCountForRemoconID(mode, remoconID));
}

// ---------------------------------------------------------------------------
// Service start and stop

void ISDBtAppEngine::startAV(bool resetUIRemoconID)
{
    LOG_I("[%s] resetUIRemoconID(%d)", __func__, resetUIRemoconID);
    const int mode = m_pDataManager->getMode();
    if (resetUIRemoconID)
        m_pDataManager->clearUIRemoconID(mode);
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
            selectFirstStation();
    } else {
        LOG_I("[%s] already selected channel. skip selectChannelByRemoconID()", __func__);
    }
    m_bForceSetChannelWhenFirstStartService = false;
    if (!m_bStationLogosFetched)
        getAllStationInfo();
    setStartServiceDone(true);
}

void ISDBtAppEngine::AppReqStartStopPlay(int start)
{
    if (start != 0) {
        m_bServiceStopRequested = false;
        if (!m_bStartServiceDone)
            startService(false);
        else
            LOG_W("[%s] already started service", __func__);
        return;
    }
    m_bServiceStopRequested = true;
    if (m_bStartServiceDone)
        stopService();
    else
        LOG_W("[%s] already stopped service", __func__);
}

// ---------------------------------------------------------------------------
// Home list

void ISDBtAppEngine::execHomeList()
{
    homeListRestore();
}

void ISDBtAppEngine::homeListBackup()
{
    if (m_pPlayer->setChLogEpgDb_OpenClose(0) != 0)
        return;
    m_pOzbDBManager->dbCopy(true);
    const int r = m_pPlayer->setChLogEpgDb_OpenClose(1);
    LOG_I("=======> setChLogEpgDb_OpenClose(1) returns %d", r);
    m_pPlayer->setMode(1);
}

void ISDBtAppEngine::homeListRestore()
{
    if (!m_bEnableHomeList) {
        LOG_W("=======> m_bEnableHomeList is FALSE!!! ignore this request~~~!");
        return;
    }
    m_bEnableHomeList = false;
    stopAV(false);
    const int r = m_pPlayer->setChLogEpgDb_OpenClose(0);
    LOG_I("=======> setChLogEpgDb_OpenClose(0) returns %d", r);
    if (r == 0) {
        m_pOzbDBManager->dbCopy(false);
        const int reopened = m_pPlayer->setChLogEpgDb_OpenClose(1);
        LOG_I("=======> setChLogEpgDb_OpenClose(1) returns %d", reopened);
    }
    startAV(true);
    m_pEnableHomeListTimer->start();
}

void ISDBtAppEngine::enableHomeListTimerHandler()
{
    m_bEnableHomeList = true;
}

// ---------------------------------------------------------------------------
// Channel-information clock

void ISDBtAppEngine::channelInfoUpdateTimerHandler()
{
    if (m_pDataManager->getCurrChannelListCnt() < 1) {
        m_bClockSynced = false;
        if (++m_nClockSeconds > kLastSecondOfDay) {
            m_nClockSeconds = 0;
            ++m_nClockDate;
        }
    } else {
        m_pPlayer->getChannelInfo(m_pDataManager->getMode(), m_pDataManager->getCurrChannelNumber(),
                                  m_pDataManager->getCurrServiceID());
        refreshBilingualWhileUpdatable();
        int date = 0, hour = 0, minute = 0, second = 0;
        m_pPlayer->getCurrentDateTime(&date, &hour, &minute, &second);
        m_nClockDate = date;
        m_nClockSeconds = hour * 3600 + minute * 60 + second;
        m_bClockSynced = true;
    }
    if (m_nClockDate <= kOldestDate)
        return;
    m_pDataManager->setCurrentDataTime(m_nClockDate, m_nClockSeconds);
    if (++m_nClockLogCount >= 10) {
        m_nClockLogCount = 0;
        LOG_I("===== [%d(%d)(%d)(%d)][(%d)%s %d:%d:%d] =====", m_bClockSynced, m_pDataManager->getMode(),
              m_pDataManager->getCurrChannelNumber(), m_pDataManager->getCurrServiceID(), m_nClockDate,
              m_pDataManager->getCurrStrDate().toLocal8Bit().constData(), m_nClockSeconds / 3600,
              m_nClockSeconds / 60 % 60, m_nClockSeconds % 60);
    }
}
