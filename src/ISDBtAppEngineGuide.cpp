// Keeps the programme-guide screens and the station list fed while they are
// shown: guide reloads on the job thread and their timer, single guide rows
// for QML, station rows, logos and programme names.

#include "ISDBtAppEngine.h"

#include "ChannelItem.h"
#include "DevRoot.h"
#include "EpgItem.h"
#include "ISDBtDataManager.h"
#include "ISDBtThread.h"
#include "ISDBtUtil.h"
#include "KelpAppLog.h"
#include "KvrOzbFSegDBManager.h"
#include "KvrOzbFSegPlayer.h"
#include "ListModel.h"
#include "StationItem.h"

#include <QSortFilterProxyModel>
#include <QTimer>

namespace {

const char kLogoDirectory[] = "/home/root/isdbt/logo/";

// Guide polling: quick while the list is still empty, relaxed once it has rows.
const int kEpgPollEmptyMs = 4000;
const int kEpgPollMs = 8000;

// Present/following event tables; schedule tables start above.
const int kLastPresentFollowingTable = 79;

bool isBlankDetail(const QString& text)
{
    return text.isEmpty() || text == QLatin1String(" ") || text == QLatin1String("\n");
}

}  // namespace

bool ISDBtAppEngine::isGuideScreen(const QString& screen)
{
    return screen == QLatin1String("ISDBtEpgListMain") || screen == QLatin1String("ISDBtEpgDetailMain")
        || screen == QLatin1String("ISDBtDaySettingMain");
}

void ISDBtAppEngine::execEnterEpgScreen()
{
    LOG_I("[%s]", __func__);
    AppReqEnterEpgScreen();
}

void ISDBtAppEngine::execExitEpgScreen()
{
    LOG_I("[%s]", __func__);
    AppReqExitEpgScreen();
}

void ISDBtAppEngine::AppReqEnterEpgScreen()
{
    stopSearch();
    requestEpgListUpdate();
    emit sendEnterEpgScreen();
}

void ISDBtAppEngine::AppReqExitEpgScreen()
{
    emit sendExitEpgScreen();
}

void ISDBtAppEngine::requestEpgListUpdate()
{
    const int channel = m_pDataManager->getCurrChannelNumber();
    const int service = m_pDataManager->getCurrServiceID();
    int refresh = -1;
    if (m_pDataManager->epgChannelNumber != channel || m_pDataManager->epgServiceID != service) {
        refresh = 1;
        LOG_I("[%s] channel(%d->%d) serviceID(%d->%d)", __func__, m_pDataManager->epgChannelNumber, channel,
              m_pDataManager->epgServiceID, service);
    }
    m_pDataManager->setEPGTable(channel, service);
    m_pJobThread->cancelJobs(ISDBtThread::EPGUpdateMode);
    m_pJobThread->request(ISDBtThread::EPGUpdateMode, m_pDataManager->getMode(), m_pDataManager->getCurrSegType(),
                          channel, service, nullptr, refresh);
}

void ISDBtAppEngine::setEpgListUpdate()
{
    LOG_I("[%s]", __func__);
    m_pOzbDBManager->makeEpgList(m_pDataManager->getMode());
    emit sendEndEpgRefresh();
}

void ISDBtAppEngine::epgUpdateTimerHandler()
{
    const int channel = m_pDataManager->getCurrChannelNumber();
    const int service = m_pDataManager->getCurrServiceID();
    m_pDataManager->setEPGTable(channel, service);
    m_pJobThread->cancelJobs(ISDBtThread::EPGUpdateMode);
    m_pJobThread->request(ISDBtThread::EPGUpdateMode, m_pDataManager->getMode(), m_pDataManager->getCurrSegType(),
                          channel, service, nullptr, -1);
    checkEpgTimer();
}

void ISDBtAppEngine::checkEpgTimer()
{
    if (!isGuideScreen(m_sCurrentScreen)) {
        if (m_pEpgUpdateTimer->isActive()) {
            LOG_I("[%s] m_pEpgUpdateTimer stop", __func__);
            m_pEpgUpdateTimer->stop();
        }
        return;
    }
    const int interval =
        m_pOzbDBManager->getEpgListCount(m_pDataManager->getMode()) < 1 ? kEpgPollEmptyMs : kEpgPollMs;
    if (m_pEpgUpdateTimer->interval() != interval) {
        if (m_pEpgUpdateTimer->isActive())
            m_pEpgUpdateTimer->stop();
        m_pEpgUpdateTimer->setInterval(interval);
    }
    if (!m_pEpgUpdateTimer->isActive()) {
        LOG_I("[%s] m_pEpgUpdateTimer start(%d)", __func__, interval);
        m_pEpgUpdateTimer->start();
    }
}

void ISDBtAppEngine::onSendEPGUpdateModeComplete(bool updated, int count)
{
    if (count <= 0 && !updated) {
        emit sendEndEpgRefresh();
        return;
    }
    const int mode = m_pDataManager->getMode();
    const int listCount = m_pOzbDBManager->getEpgListCount(mode);
    const int pending = m_pOzbDBManager->m_Epgs.size();
    LOG_I("[%s] currEpgListCnt(%d) updateEpgsCnt(%d)", __func__, listCount, pending);
    if (listCount <= 0 && pending <= 0)
        checkEpgTimer();
    if (count > 0) {
        emit sendStartEpgRefresh();
        return;
    }
    if (m_pDataManager->getCurrServiceID() == m_pOzbDBManager->m_EpgsServiceID && listCount != pending)
        emit sendStartEpgRefresh();
    else
        emit sendEndEpgRefresh();
}

void ISDBtAppEngine::onSendEPGGetModeComplete()
{
}

void ISDBtAppEngine::onSendCurrentEPGGetModeComplete()
{
    LOG_I("[%s]", __func__);
}

void ISDBtAppEngine::onSendEPGModeCanceled()
{
    LOG_I("[%s]", __func__);
}

void ISDBtAppEngine::onNotifyEpgUpdate(int serviceID, int tableID)
{
    const int currentService = m_pDataManager->getCurrServiceID();
    LOG_I("[%s] serviceID(%d) tableID(%d) / current [S(%d)C(%d)]", __func__, serviceID, tableID, currentService,
          m_pDataManager->getCurrChannelNumber());
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    ChannelItem* channel = presentFollowingChannel(serviceID, tableID);
    if (channel == nullptr)
        return;
    m_pJobThread->request(ISDBtThread::EPGGetMode, m_pDataManager->getMode(), channel->ServiceSegType,
                          channel->ChannelNumber, serviceID, nullptr, -1);
}

ChannelItem* ISDBtAppEngine::presentFollowingChannel(int serviceID, int tableID)
{
    if (!isGuideScreen(m_sCurrentScreen))
        return nullptr;
    ChannelItem* channel = m_pOzbDBManager->getChannelItem(m_pDataManager->getMode(), serviceID, false);
    if (channel == nullptr || channel->Available == 0 || serviceID != m_pDataManager->getCurrServiceID()
        || tableID > kLastPresentFollowingTable)
        return nullptr;
    return channel;
}

QString ISDBtAppEngine::getEpgDetailDataByProxyIndex(int row)
{
    EpgItem* item = m_pOzbDBManager->getEpgIndexByIndex(m_pDataManager->getMode(), row);
    if (item == nullptr)
        return QString();
    QString detail;
    for (const QString* part : {&item->EvtText, &item->EvtExtItem, &item->EvtExtText}) {
        if (isBlankDetail(*part))
            continue;
        if (!detail.isEmpty())
            detail += QLatin1Char('\n');
        detail += *part;
    }
    return detail;
}

int ISDBtAppEngine::getIntEpgDataByProxyIndex(int row, QString key)
{
    EpgItem* item = m_pOzbDBManager->getEpgIndexByIndex(m_pDataManager->getMode(), row);
    if (item == nullptr)
        return -1;
    if (key == QLatin1String("StartMJD"))
        return item->StartMJD;
    if (key == QLatin1String("StartHH"))
        return item->StartHH;
    if (key == QLatin1String("EventID"))
        return item->EventID;
    return -1;
}

QString ISDBtAppEngine::getStrEpgDataByProxyIndex(int row, QString key)
{
    EpgItem* item = m_pOzbDBManager->getEpgIndexByIndex(m_pDataManager->getMode(), row);
    if (item == nullptr || key != QLatin1String("StartDate"))
        return QString();
    return item->StartDate;
}

void ISDBtAppEngine::setJumpEpgIndex(int index)
{
    LOG_I("[%s] index(%d)", __func__, index);
    emit jumpEpgIndex(index);
}

void ISDBtAppEngine::setEpgScreenExited()
{
}

void ISDBtAppEngine::checkProgramNameStationList()
{
    const int mode = m_pDataManager->getMode();
    const int count = m_pOzbDBManager->getProxyModelStationListCount(mode);
    for (int row = 0; row < count; ++row) {
        StationItem* station = m_pOzbDBManager->getStationItemByProxyIndex(mode, row);
        if (station == nullptr)
            continue;
        m_pJobThread->request(ISDBtThread::CurrentChannelEPGStartIndexMode, mode, m_pDataManager->getCurrSegType(),
                              station->ChannelNumber, station->OneSegSID, nullptr, station->FullSegSID);
    }
}

void ISDBtAppEngine::onNotifyCurrStrTimeChanged(QString time)
{
    if (m_sCurrentScreen != QLatin1String("ISDBtStationListMain"))
        return;
    LOG_I("[%s] strTime(%s)", __func__, time.toLocal8Bit().constData());
    checkProgramNameStationList();
}

void ISDBtAppEngine::onNotifyCurrProgramNameChanged(QString name)
{
    if (name.isEmpty() || m_pDataManager->getCurrServiceID() < 1)
        return;
    m_pOzbDBManager->setCurrStationProgramName(name);
    if (isGuideScreen(m_sCurrentScreen))
        requestEpgListUpdate();
}

void ISDBtAppEngine::onNotifyCurrServiceIDChanged(int sid)
{
    if (sid != m_pDataManager->epgServiceID && isGuideScreen(m_sCurrentScreen))
        requestEpgListUpdate();
}

void ISDBtAppEngine::getAllStationInfo()
{
    LOG_I("[%s]", __func__);
    const int mode = m_pDataManager->getMode();
    ListModel* channels = m_pOzbDBManager->getChannelListModel(mode);
    QSortFilterProxyModel* proxy = m_pOzbDBManager->getChannelProxyModel(mode);
    if (channels != nullptr && proxy != nullptr) {
        for (int row = 0; row < proxy->rowCount(); ++row) {
            const QModelIndex source = proxy->mapToSource(proxy->index(row, 0));
            auto* channel = qobject_cast<ChannelItem*>(channels->getRowItem(source.row()));
            if (channel != nullptr && channel->ServiceSegType == 0)
                m_pPlayer->getStationlLogo(mode, channel->ChannelNumber, channel->ServiceID, true);
        }
    }
    m_bStationLogosFetched = true;
}

void ISDBtAppEngine::clearStationLogo()
{
    LOG_I("[%s]", __func__);
    sutil::RemoveAllFilesDirPath(devroot::path(kLogoDirectory));
    m_bStationLogosFetched = false;
}

void ISDBtAppEngine::onNotifyLogoImageCreated(int channelNumber, int networkID)
{
    LOG_I("[%s] channelNumber(%d) networkID(%d)", __func__, channelNumber, networkID);
    if (m_nOzbState == Prepared && networkID > 0)
        emit sendChannelLogoUpdated(channelNumber, networkID);
}

void ISDBtAppEngine::onNotifyStationDataChanged(int row)
{
    LOG_I("[%s] index(%d)", __func__, row);
    if (row < 0)
        return;
    ListModel* stations = m_pOzbDBManager->getStationListModel(m_pDataManager->getMode());
    if (stations == nullptr)
        return;
    ListItem* station = stations->getRowItem(row);
    if (station != nullptr)
        stations->setDataChange(row, station);
}

void ISDBtAppEngine::onNotifyChannelListChanged()
{
    emit sendChannelUpdateComplete();
}
