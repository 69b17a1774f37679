// Channel and station list models, their proxies and the lookups on them.
#include "KvrOzbFSegDBManager.h"

#include "ChannelItem.h"
#include "KelpAppLog.h"
#include "ISDBtDataManager.h"
#include "StationItem.h"

#include <QMutexLocker>
#include <QRegularExpression>
#include <QSortFilterProxyModel>

static inline ChannelItem* channelAt(ListModel* model, int row)
{
    return static_cast<ChannelItem*>(model->findbyRow(row));
}

// The first channel row of the model, from the top, that `match` accepts,
// with its row in `foundRow`; null when none does.
template <typename Match>
static ChannelItem* findChannelRow(ListModel* model, Match match, int* foundRow = nullptr)
{
    for (int row = 0; row < model->rowCount(); ++row) {
        ChannelItem* ch = channelAt(model, row);
        if (ch && match(*ch)) {
            if (foundRow)
                *foundRow = row;
            return ch;
        }
    }
    return nullptr;
}

static inline StationItem* stationAt(ListModel* model, int row)
{
    return static_cast<StationItem*>(model->findbyRow(row));
}

void KvrOzbFSegDBManager::setDynamicSortFilterForChList(int modeType, bool enable, bool setSource)
{
    if (!validMode(modeType) || !m_pChListModel[modeType] || !m_pChProxyModel[modeType])
        return;
    QSortFilterProxyModel* proxy = m_pChProxyModel[modeType];
    if (!enable) {
        emit beginChListModelUpdate();
        proxy->setDynamicSortFilter(false);
        proxy->invalidate();
        return;
    }
    if (setSource)
        proxy->setSourceModel(m_pChListModel[modeType]);
    proxy->setFilterRole(ChannelItem::AvailableRole);
    proxy->setFilterRegularExpression(
        QRegularExpression("^1$", QRegularExpression::CaseInsensitiveOption));
    proxy->setSortRole(ChannelItem::RemoconSubIDRole);
    proxy->sort(0, Qt::AscendingOrder);
    proxy->setDynamicSortFilter(true);
    emit endChListModelUpdate();
}

void KvrOzbFSegDBManager::setDynamicSortFilterForStationList(int modeType, bool enable, bool setSource)
{
    if (!validMode(modeType) || !m_pStationListModel[modeType] || !m_pStationProxyModel[modeType])
        return;
    QSortFilterProxyModel* proxy = m_pStationProxyModel[modeType];
    if (!enable) {
        emit beginStationListModelUpdate();
        proxy->setDynamicSortFilter(false);
        proxy->invalidate();
        return;
    }
    if (setSource)
        proxy->setSourceModel(m_pStationListModel[modeType]);
    // Show the stations that have a service of the segment being received.
    const bool oneSeg = m_pDataManager->getSegMode() == 1 || m_pDataManager->getCurrSegType() == 1;
    proxy->setFilterRole(oneSeg ? StationItem::OneSegSIDRole : StationItem::FullSegSIDRole);
    proxy->setFilterRegularExpression(QRegularExpression("^([1-9]+[0-9]*)$"));
    proxy->setSortRole(StationItem::RemoconSubIDRole);
    proxy->sort(0, Qt::AscendingOrder);
    proxy->setDynamicSortFilter(true);
    emit endStationListModelUpdate();
}

void KvrOzbFSegDBManager::makeOrJoinStation(ListModel* stationModel, const tagDbChannelItem& r)
{
    if (r.Available == 0 || r.DispSubChannel == 0)
        return;
    const QString key = StationItem::makeKey(r.RemoconID, r.DispSubChannel);
    const int row = stationModel->getIndexFromItem(key);
    if (row >= 0) {
        StationItem* station = stationAt(stationModel, row);
        if (r.ServiceSegType == 0)
            station->FullSegSID = r.ServiceID;
        else
            station->OneSegSID = r.ServiceID;
        stationModel->setDataChange(row, station);
        return;
    }
    auto s = std::make_shared<tagDbStationlItem>();
    s->ChannelNumber = r.ChannelNumber;
    s->RemoconID = r.RemoconID;
    s->SubChannel = r.SubChannel;
    s->DispSubChannel = r.DispSubChannel;
    s->UserRemoconID = r.UserRemoconID;
    s->ServiceSegType = r.ServiceSegType;
    s->ServiceID = r.ServiceID;
    s->NetworkID = r.NetworkID;
    s->TSName = r.TSName;
    if (r.ServiceSegType == 0)
        s->FullSegSID = r.ServiceID;
    else
        s->OneSegSID = r.ServiceID;
    stationModel->appendRow(new StationItem(s));
}

void KvrOzbFSegDBManager::rebuildStationsFromChannels(ListModel* chModel, ListModel* stationModel)
{
    stationModel->clear();
    for (int row = 0; row < chModel->rowCount(); ++row) {
        ChannelItem* ch = channelAt(chModel, row);
        const tagDbChannelItem& r = *ch;
        makeOrJoinStation(stationModel, r);
        if (!ch->ProgramName.isEmpty() && r.Available != 0 && r.DispSubChannel != 0) {
            const int sRow = stationModel->getIndexFromItem(StationItem::makeKey(r.RemoconID, r.DispSubChannel));
            if (sRow >= 0) {
                stationAt(stationModel, sRow)->ProgramName = ch->ProgramName;
                emit notifyStationDataChanged(sRow);
            }
        }
    }
}

void KvrOzbFSegDBManager::clearChannelAndStationModels(int modeType)
{
    m_pChListModel[modeType]->clear();
    m_pStationListModel[modeType]->clear();
}

void KvrOzbFSegDBManager::updateCounts(int modeType)
{
    m_pDataManager->setCurrChannelListCnt(m_pChListModel[modeType]->rowCount());
    m_pDataManager->setCurrStationListCnt(m_pStationListModel[modeType]->rowCount());
}

void KvrOzbFSegDBManager::makeChannelList(int modeType, int remoconID)
{
    LOG_I("[%s] START [%s][%s]", "makeChannelList", modeName(modeType), remoconID < 1 ? "ALL" : "UPDATE");
    if (!validMode(modeType) || !m_pChListModel[modeType] || !m_pStationListModel[modeType]) {
        LOG_I("[%s] pListModel or pStationListModel is nullptr !!! ", "makeChannelList");
        return;
    }
    ListModel* chModel = m_pChListModel[modeType];
    ListModel* stModel = m_pStationListModel[modeType];
    {
        QMutexLocker lock(&channelListMutex);
        QList<ChannelRecord>& source = remoconID < 1 ? m_pChannels : updateChannels;
        bool rebuilt = false;
        if (source.isEmpty()) {
            if (remoconID == 0) {
                LOG_I("[%s] m_pChannels is empty ", "makeChannelList");
                setDynamicSortFilterForChList(modeType, false, false);
                setDynamicSortFilterForStationList(modeType, false, false);
                clearChannelAndStationModels(modeType);
                rebuilt = true;
            }
        } else {
            makeSubChannelIndex(&source);
            if (remoconID < 1) {
                LOG_I("[%s] size(%d) of all", "makeChannelList", source.size());
                setDynamicSortFilterForChList(modeType, false, false);
                setDynamicSortFilterForStationList(modeType, false, false);
                clearChannelAndStationModels(modeType);
                for (const ChannelRecord& r : source) {
                    ChannelItem* existing = static_cast<ChannelItem*>(chModel->find(unsigned(r->ServiceID)));
                    if (existing) {
                        if (existing->checkNeedToUpdate(r)) {
                            LOG_H("[%s] update - R(%d_%d) S(%d)", "makeChannelList", r->RemoconID, r->SubChannel,
                                    r->ServiceID);
                            existing->updateData(r);
                        }
                    } else {
                        chModel->appendRow(new ChannelItem(r));
                    }
                    makeOrJoinStation(stModel, *r);
                }
                rebuilt = true;
            } else {
                LOG_I("[%s] size(%d) of remoconID(%d)", "makeChannelList", source.size(), remoconID);
                bool changed = false;
                auto firstChange = [&]() {
                    if (!changed) {
                        changed = true;
                        setDynamicSortFilterForChList(modeType, false, false);
                        setDynamicSortFilterForStationList(modeType, false, false);
                    }
                };
                for (int row = chModel->rowCount() - 1; row >= 0; --row) {
                    ChannelItem* ch = channelAt(chModel, row);
                    if (ch->RemoconID != remoconID)
                        continue;
                    bool inSource = false;
                    for (const ChannelRecord& r : source)
                        inSource = inSource || r->ServiceID == ch->ServiceID;
                    if (!inSource) {
                        firstChange();
                        LOG_H("[%s] remove(channel) - (%d) R(%d_%d(%d)) S(%d)", "makeChannelList", row,
                                ch->RemoconID, ch->SubChannel, ch->RemoconSubID, ch->ServiceID);
                        chModel->removeRow(row);
                    }
                }
                for (const ChannelRecord& r : source) {
                    ChannelItem* existing = static_cast<ChannelItem*>(chModel->find(unsigned(r->ServiceID)));
                    if (existing) {
                        if (existing->checkNeedToUpdate(r)) {
                            firstChange();
                            existing->updateData(r);
                            LOG_H("[%s] update(channel) - R(%d_%d(%d)(%d)) S(%d)", "makeChannelList",
                                    existing->RemoconID, existing->SubChannel, existing->DispSubChannel,
                                    existing->RemoconSubID, existing->ServiceID);
                        }
                    } else {
                        firstChange();
                        LOG_H("[%s] add(channel) - R(%d_%d) S(%d) avail(%d)", "makeChannelList", r->RemoconID,
                                r->SubChannel, r->ServiceID, r->Available);
                        chModel->appendRow(new ChannelItem(r));
                    }
                }
                if (changed) {
                    debugChListModelRemoconID(chModel, remoconID, false);
                    rebuildStationsFromChannels(chModel, stModel);
                    emit notifyChannelListChanged();
                    rebuilt = true;
                }
            }
        }
        if (rebuilt) {
            setDynamicSortFilterForChList(modeType, true, true);
            setDynamicSortFilterForStationList(modeType, true, true);
            debugStationListModel(stModel, false);
        }
        source.clear();
    }
    updateCounts(modeType);
    LOG_I("[%s] END", "makeChannelList");
}

void KvrOzbFSegDBManager::removeAddChannel(int modeType, bool add, int channelNumber)
{
    LOG_I("[%s] [%s] [%s]channelNumber[%d]", "removeAddChannel", modeName(modeType), add ? "Add" : "Remove",
            channelNumber);
    if (channelNumber < 0) {
        LOG_I("[%s] channelNumber is invalid !!! ", "removeAddChannel");
        return;
    }
    if (!validMode(modeType) || !m_pChListModel[modeType] || !m_pStationListModel[modeType]) {
        LOG_I("[%s] pChListModel or pStationListModel is nullptr !!! ", "removeAddChannel");
        return;
    }
    ListModel* chModel = m_pChListModel[modeType];
    ListModel* stModel = m_pStationListModel[modeType];
    if (!add && (chModel->rowCount() <= 1 || stModel->rowCount() <= 1)) {
        LOG_H("[%s] remove(channelNumber : %d) - BUT, pChListModel size(%d) or pStationListModel size(%d) <= 1, "
                "DO NOT REMOVE !!! ",
                "removeAddChannel", channelNumber, chModel->rowCount(), stModel->rowCount());
        return;
    }
    QMutexLocker lock(&channelListMutex);
    setDynamicSortFilterForChList(modeType, false, false);
    setDynamicSortFilterForStationList(modeType, false, false);
    if (add)
        LOG_I("[%s] check channelNumber(%d) in current channelList", "removeAddChannel", channelNumber);

    for (int row = chModel->rowCount() - 1; row >= 0; --row) {
        ChannelItem* ch = channelAt(chModel, row);
        if (ch->ChannelNumber == channelNumber) {
            LOG_H("[%s] remove(channel) - (%d) R(%d_%d(%d)) S(%d)", "removeAddChannel", row, ch->RemoconID,
                    ch->SubChannel, ch->RemoconSubID, ch->ServiceID);
            chModel->removeRow(row);
        }
    }
    for (int row = stModel->rowCount() - 1; row >= 0; --row) {
        StationItem* st = stationAt(stModel, row);
        if (st->ChannelNumber == channelNumber) {
            LOG_H("[%s] remove(station) - (%d) R(%d_%d(%d)) S(%d)", "removeAddChannel", row, st->RemoconID,
                    st->SubChannel, st->RemoconSubID, st->ServiceID);
            stModel->removeRow(row);
        }
    }
    if (add) {
        LOG_I("[%s] size(%d) of channelNumber(%d)", "removeAddChannel", chNumChannels.size(), channelNumber);
        if (chNumChannels.isEmpty()) {
            LOG_I("[%s] m_pChannels is empty ", "removeAddChannel");
        } else {
            makeSubChannelIndex(&chNumChannels);
            debugChannels(&chNumChannels);
            for (const ChannelRecord& r : chNumChannels) {
                if (chModel->find(unsigned(r->ServiceID)))
                    continue;
                LOG_H("[%s] add(channel) - R(%d_%d) S(%d) avail(%d) segType(%d)", "removeAddChannel",
                        r->RemoconID, r->SubChannel, r->ServiceID, r->Available, r->ServiceSegType);
                chModel->appendRow(new ChannelItem(r));
                makeOrJoinStation(stModel, *r);
            }
        }
    }
    setDynamicSortFilterForChList(modeType, true, true);
    setDynamicSortFilterForStationList(modeType, true, true);
    debugStationListModel(stModel, false);
}

void KvrOzbFSegDBManager::setRefreshStaionProxyModel()
{
    LOG_I("[%s] segMode(%d), currSegType(%d)", "setRefreshStaionProxyModel", m_pDataManager->getSegMode(),
            m_pDataManager->getCurrSegType());
    const int mode = m_pDataManager->getMode();
    setDynamicSortFilterForStationList(mode, false, false);
    setDynamicSortFilterForStationList(mode, true, true);
}

void KvrOzbFSegDBManager::setCurrStationProgramName(QString name)
{
    const int serviceID = m_pDataManager->getCurrServiceID();
    if (name.isEmpty() || serviceID <= 0)
        return;
    const int mode = m_pDataManager->getMode();
    ChannelItem* ch = getChannelItem(mode, serviceID, false);
    if (!ch)
        return;
    ch->ProgramName = name;
    if (ch->RemoconID <= 0) {
        LOG_I("[%s] remoconID(%d) or subCh(%d) is invalid!!", "setCurrStationProgramName", ch->RemoconID,
                ch->DispSubChannel);
        return;
    }
    ListModel* stModel = getStationListModel(mode);
    if (!stModel)
        return;
    const QString key = StationItem::makeKey(ch->RemoconID, qMax(ch->DispSubChannel, 1));
    const int row = stModel->getIndexFromItem(key);
    if (row < 0) {
        LOG_I("[%s] stationItem is not exist!!", "setCurrStationProgramName");
        return;
    }
    StationItem* st = stationAt(stModel, row);
    if (st->ProgramName != name) {
        LOG_I("[%s] (%d)(%s)%s", "setCurrStationProgramName", row, qPrintable(key), qPrintable(name));
        st->ProgramName = name;
        emit notifyStationDataChanged(row);
    }
}

ListModel* KvrOzbFSegDBManager::getChannelListModel(int modeType)
{
    return checkMode(modeType, "getChannelListModel") ? m_pChListModel[modeType] : nullptr;
}

QSortFilterProxyModel* KvrOzbFSegDBManager::getChannelProxyModel(int modeType)
{
    return checkMode(modeType, "getChannelProxyModel") ? m_pChProxyModel[modeType] : nullptr;
}

ListModel* KvrOzbFSegDBManager::getStationListModel(int modeType)
{
    return checkMode(modeType, "getStationListModel") ? m_pStationListModel[modeType] : nullptr;
}

QSortFilterProxyModel* KvrOzbFSegDBManager::getStationProxyModel(int modeType)
{
    return checkMode(modeType, "getStationProxyModel") ? m_pStationProxyModel[modeType] : nullptr;
}

int KvrOzbFSegDBManager::getChannelListCount(int modeType)
{
    ListModel* model = getChannelListModel(modeType);
    return model ? model->rowCount() : 0;
}

void KvrOzbFSegDBManager::clearChannelModel(int modeType)
{
    if (!validMode(modeType))
        return;
    QMutexLocker lock(&channelListMutex);
    m_pChListModel[modeType]->clear();
}

int KvrOzbFSegDBManager::getStationListCount(int modeType)
{
    return validMode(modeType) ? m_pStationListModel[modeType]->rowCount() : 0;
}

int KvrOzbFSegDBManager::getProxyModelStationListCount(int modeType)
{
    return validMode(modeType) && m_pStationProxyModel[modeType] ? m_pStationProxyModel[modeType]->rowCount() : 0;
}

ChannelItem* KvrOzbFSegDBManager::getChannelItem(int modeType, int remoconID, int dispSubChannel,
                                                 int serviceSegType, bool needAvailable)
{
    if (!validMode(modeType))
        return nullptr;
    ChannelItem* ch = findChannelRow(m_pChListModel[modeType], [&](const ChannelItem& c) {
        return c.RemoconID == remoconID && c.DispSubChannel == dispSubChannel && c.ServiceSegType == serviceSegType
            && (!needAvailable || c.Available != 0);
    });
    if (ch)
        LOG_I("[%s] FOUND -> (%s)R(%d_%d(%d))C(%d)S(%d)", "getChannelItem", segName(ch->ServiceSegType),
              ch->RemoconID, ch->SubChannel, ch->DispSubChannel, ch->ChannelNumber, ch->ServiceID);
    return ch;
}

ChannelItem* KvrOzbFSegDBManager::getChannelItemSidChNum(int modeType, int serviceID, int channelNumber,
                                                         bool needAvailable)
{
    if (!validMode(modeType))
        return nullptr;
    ChannelItem* ch = findChannelRow(m_pChListModel[modeType], [&](const ChannelItem& c) {
        return c.ServiceID == serviceID && c.ChannelNumber == channelNumber && (!needAvailable || c.Available != 0);
    });
    if (ch)
        LOG_I("[%s] FOUND -> (%s)R(%d_%d)C(%d)S(%d)avail(%d)", "getChannelItemSidChNum",
              segName(ch->ServiceSegType), ch->RemoconID, ch->SubChannel, ch->ChannelNumber, ch->ServiceID,
              ch->Available);
    return ch;
}

ChannelItem* KvrOzbFSegDBManager::getChannelItemAvailable(int modeType, int remoconID, int audioPID, int videoPID,
                                                          int serviceSegType)
{
    if (!validMode(modeType))
        return nullptr;
    ChannelItem* ch = findChannelRow(m_pChListModel[modeType], [&](const ChannelItem& c) {
        return c.RemoconID == remoconID && c.AudioPID == audioPID && c.VideoPID == videoPID
            && c.ServiceSegType == serviceSegType && c.Available == 1;
    });
    if (ch)
        LOG_I("[%s] FOUND -> (%s)R(%d_%d)C(%d)S(%d)", "getChannelItemAvailable", segName(ch->ServiceSegType),
              ch->RemoconID, ch->SubChannel, ch->ChannelNumber, ch->ServiceID);
    return ch;
}

ChannelItem* KvrOzbFSegDBManager::getChannelItem(int modeType, int serviceID, bool needAvailable)
{
    if (!validMode(modeType))
        return nullptr;
    ChannelItem* ch =
        findChannelRow(m_pChListModel[modeType], [&](const ChannelItem& c) { return c.ServiceID == serviceID; });
    if (!ch)
        return nullptr;
    if (needAvailable && ch->Available == 0) {
        // A hidden duplicate: answer with the visible twin of the same programme.
        return getChannelItemAvailable(modeType, ch->RemoconID, ch->AudioPID, ch->VideoPID, ch->ServiceSegType);
    }
    LOG_I("[%s] FOUND -> (%s)R(%d_%d)C(%d)S(%d)avail(%d)", "getChannelItem", segName(ch->ServiceSegType),
          ch->RemoconID, ch->SubChannel, ch->ChannelNumber, ch->ServiceID, ch->Available);
    return ch;
}

ChannelItem* KvrOzbFSegDBManager::getChannelItemDispSub(int modeType, int remoconID, int dispSubChannel,
                                                        bool needAvailable)
{
    if (!validMode(modeType))
        return nullptr;
    ListModel* model = m_pChListModel[modeType];
    for (int row = 0; row < model->rowCount(); ++row) {
        ChannelItem* ch = channelAt(model, row);
        if (!ch) {
            LOG_I("[%s] pItem is nullprt !!! ", "getChannelItemDispSub");
            continue;
        }
        if (ch->RemoconID == remoconID && ch->DispSubChannel == dispSubChannel
            && (!needAvailable || ch->Available != 0)) {
            LOG_I("[%s] FOUND -> (%d)(%s)R(%d_%d)C(%d)S(%d)", "getChannelItemDispSub", row,
                    segName(ch->ServiceSegType), ch->RemoconID, ch->SubChannel, ch->ChannelNumber, ch->ServiceID);
            return ch;
        }
    }
    return nullptr;
}

ChannelItem* KvrOzbFSegDBManager::getChannelItemByID(int modeType, int id)
{
    if (!validMode(modeType))
        return nullptr;
    ChannelItem* ch = findChannelRow(m_pChListModel[modeType], [&](const ChannelItem& c) { return c._id == id; });
    if (ch)
        LOG_I("[%s] FOUND -> (%s)R(%d_%d)C(%d)S(%d)avail(%d)", "getChannelItemByID", segName(ch->ServiceSegType),
              ch->RemoconID, ch->SubChannel, ch->ChannelNumber, ch->ServiceID, ch->Available);
    return ch;
}

int KvrOzbFSegDBManager::getServiceID(int modeType, int remoconID, int subChannel, int serviceSegType)
{
    if (!validMode(modeType))
        return -1;
    int row = -1;
    ChannelItem* ch = findChannelRow(
        m_pChListModel[modeType],
        [&](const ChannelItem& c) {
            return c.Available != 0 && c.RemoconID == remoconID && c.SubChannel == subChannel
                && c.ServiceSegType == serviceSegType;
        },
        &row);
    if (!ch)
        return -1;
    LOG_I("[%s] FOUND -> [%d]getRemoconID(%d), channelNumber(%d), serviceID(%d)", "getServiceID", row, ch->RemoconID,
          ch->ChannelNumber, ch->ServiceID);
    return ch->ServiceID;
}

int KvrOzbFSegDBManager::getDbIdFromChannelItem(int modeType, int remoconID, int dispSubChannel,
                                                int serviceSegType)
{
    ChannelItem* ch = getChannelItem(modeType, remoconID, dispSubChannel, serviceSegType, true);
    return ch ? ch->_id : -1;
}

int KvrOzbFSegDBManager::getChannelListCountForRemoconID(int modeType, int remoconID)
{
    if (!validMode(modeType))
        return 0;
    ListModel* model = m_pChListModel[modeType];
    int count = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        ChannelItem* ch = channelAt(model, row);
        if (ch->RemoconID == remoconID && ch->Available != 0)
            ++count;
    }
    return count;
}

StationItem* KvrOzbFSegDBManager::getStationItemByRemoconID(int modeType, int remoconID, int dispSubChannel)
{
    if (!validMode(modeType) || remoconID < 1)
        return nullptr;
    StationItem* st = static_cast<StationItem*>(
        m_pStationListModel[modeType]->find(StationItem::makeKey(remoconID, dispSubChannel)));
    if (st)
        LOG_I("[%s] [%s]FOUND -> R(%d_%d) (%s)", "getStationItemByRemoconID", modeName(modeType), st->RemoconID,
                st->SubChannel, qPrintable(st->TSName));
    return st;
}

StationItem* KvrOzbFSegDBManager::getStationItemByIndex(int modeType, int row)
{
    if (!validMode(modeType))
        return nullptr;
    StationItem* st = stationAt(m_pStationListModel[modeType], row);
    if (st)
        LOG_I("[%s] [%s]FOUND -> [%d] R(%d_%d) (%s)", "getStationItemByIndex", modeName(modeType), row,
                st->RemoconID, st->SubChannel, qPrintable(st->TSName));
    return st;
}

StationItem* KvrOzbFSegDBManager::getStationItemByProxyIndex(int modeType, int proxyRow)
{
    if (!validMode(modeType) || proxyRow < 0 || !m_pStationProxyModel[modeType])
        return nullptr;
    QSortFilterProxyModel* proxy = m_pStationProxyModel[modeType];
    const QModelIndex source = proxy->mapToSource(proxy->index(proxyRow, 0));
    if (!source.isValid())
        return nullptr;
    return stationAt(m_pStationListModel[modeType], source.row());
}

StationItem* KvrOzbFSegDBManager::getStationItemFromProxyModelByRemoconID(int modeType, int remoconID,
                                                                          int dispSubChannel)
{
    if (!validMode(modeType) || !m_pStationProxyModel[modeType])
        return nullptr;
    QSortFilterProxyModel* proxy = m_pStationProxyModel[modeType];
    for (int row = 0; row < proxy->rowCount(); ++row) {
        StationItem* st = getStationItemByProxyIndex(modeType, row);
        if (st && st->RemoconID == remoconID && st->DispSubChannel == dispSubChannel) {
            LOG_I("[%s] [%s]FOUND -> R(%d_%d) (%s)", "getStationItemFromProxyModelByRemoconID",
                    modeName(modeType), st->RemoconID, st->SubChannel, qPrintable(st->TSName));
            return st;
        }
    }
    return nullptr;
}

int KvrOzbFSegDBManager::getStationIndex(int modeType, int remoconID, int dispSubChannel)
{
    if (!validMode(modeType) || remoconID < 1 || !m_pStationProxyModel[modeType])
        return -1;
    ListModel* model = m_pStationListModel[modeType];
    QSortFilterProxyModel* proxy = m_pStationProxyModel[modeType];
    auto proxyRowOf = [&](int dispSub) {
        const int row = model->getIndexFromItem(StationItem::makeKey(remoconID, dispSub));
        if (row < 0)
            return -1;
        return proxy->mapFromSource(model->index(row, 0)).row();
    };
    int index = proxyRowOf(dispSubChannel);
    LOG_I("[%s] [%s] R(%d_%d), index(%d)", "getStationIndex", modeName(modeType), remoconID, dispSubChannel, index);
    if (index < 0 && dispSubChannel != 1) {
        index = proxyRowOf(1);
        LOG_I("[%s] [%s] R(%d_%d), index(%d)", "getStationIndex", modeName(modeType), remoconID, 1, index);
    }
    return index;
}

int KvrOzbFSegDBManager::getStationCountForRemoconID(int modeType, int remoconID)
{
    if (!validMode(modeType))
        return 0;
    ListModel* model = m_pStationListModel[modeType];
    int count = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        count += stationAt(model, row)->RemoconID == remoconID ? 1 : 0;
    return count;
}

int KvrOzbFSegDBManager::getStationProxyCountForRemoconID(int modeType, int remoconID)
{
    if (!validMode(modeType) || !m_pStationProxyModel[modeType])
        return 0;
    int count = 0;
    for (int row = 0; row < m_pStationProxyModel[modeType]->rowCount(); ++row) {
        StationItem* st = getStationItemByProxyIndex(modeType, row);
        count += st && st->RemoconID == remoconID ? 1 : 0;
    }
    return count;
}

int KvrOzbFSegDBManager::getSationNetworkID(int modeType, int channelNumber)
{
    if (!validMode(modeType))
        return 0;
    ListModel* model = m_pStationListModel[modeType];
    for (int row = 0; row < model->rowCount(); ++row) {
        StationItem* st = stationAt(model, row);
        if (st->ChannelNumber == channelNumber)
            return st->NetworkID;
    }
    return 0;
}

int KvrOzbFSegDBManager::getChannelIDFromStation(int modeType, int remoconID, int dispSubChannel, int segType)
{
    if (!validMode(modeType) || remoconID < 1 || dispSubChannel < 1)
        return -1;
    StationItem* st = static_cast<StationItem*>(
        m_pStationListModel[modeType]->find(StationItem::makeKey(remoconID, dispSubChannel)));
    if (!st)
        return -1;
    const int serviceID = segType == 1 ? st->OneSegSID : st->FullSegSID;
    if (serviceID <= 0)
        return -1;
    ChannelItem* ch = getChannelItem(modeType, serviceID, false);
    if (!ch)
        return -1;
    LOG_I("[%s] [%s][%s] serviceID(%d) id(%d)", "getChannelIDFromStation", modeName(modeType), segName(segType),
            serviceID, ch->_id);
    return ch->_id;
}

void KvrOzbFSegDBManager::debugChannelItem(tagDbChannelItem* item, bool detail)
{
    if (!item)
        return;
    if (!detail) {
        LOG_I("[%s] (%d)(%s)R(%d_%d(%d))C(%d)S(%d)avail(%d) [%s]", "debugChannelItem", item->_id,
                segName(item->ServiceSegType), item->RemoconID, item->SubChannel, item->DispSubChannel,
                item->ChannelNumber, item->ServiceID, item->Available, qPrintable(item->TSName));
        return;
    }
    LOG_I("[%s] _id : %d", "debugChannelItem", item->_id);
    LOG_I("[%s] ChannelNumber : %d", "debugChannelItem", item->ChannelNumber);
    LOG_I("[%s] AudioPID : %d", "debugChannelItem", item->AudioPID);
    LOG_I("[%s] VideoPID : %d", "debugChannelItem", item->VideoPID);
    LOG_I("[%s] PMT_PID : %d", "debugChannelItem", item->PMT_PID);
    LOG_I("[%s] RemoconID : %d", "debugChannelItem", item->RemoconID);
    LOG_I("[%s] ServiceType : %d", "debugChannelItem", item->ServiceType);
    LOG_I("[%s] ServiceID : %d", "debugChannelItem", item->ServiceID);
    LOG_I("[%s] RegionID : %d", "debugChannelItem", item->RegionID);
    LOG_I("[%s] ThreedigitNumber : %d", "debugChannelItem", item->ThreedigitNumber);
    LOG_I("[%s] BerAVG : %d", "debugChannelItem", item->BerAVG);
    LOG_I("[%s] LOGO_ID : %d", "debugChannelItem", item->LOGO_ID);
    LOG_I("[%s] NetworkID : %d", "debugChannelItem", item->NetworkID);
    LOG_I("[%s] ServiceSegType : %d", "debugChannelItem", item->ServiceSegType);
    LOG_I("[%s] SubChannel : %d", "debugChannelItem", item->SubChannel);
    LOG_I("[%s] DispSubChannel : %d", "debugChannelItem", item->DispSubChannel);
    LOG_I("[%s] UserRemoconID : %d", "debugChannelItem", item->UserRemoconID);
    LOG_I("[%s] Available : %d", "debugChannelItem", item->Available);
    LOG_I("[%s] TSName : %s", "debugChannelItem", qPrintable(item->TSName));
}

void KvrOzbFSegDBManager::debugChListModel(ListModel* model, bool detail)
{
    debugChListModelRemoconID(model, -1, detail);
}

void KvrOzbFSegDBManager::debugChListModelRemoconID(ListModel* model, int remoconID, bool detail)
{
    if (!model)
        return;
    int count = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        ChannelItem* ch = channelAt(model, row);
        if (remoconID >= 0 && ch->RemoconID != remoconID)
            continue;
        ++count;
        if (detail) {
            LOG_I("[%s] ch list [%d] ServiceID : %d", "debugChListModel", row, ch->ServiceID);
            LOG_I("[%s] ch list [%d] RemoconSubIDRole : %d", "debugChListModel", row, ch->RemoconSubID);
            LOG_I("[%s] ch list [%d] TSName : %s", "debugChListModel", row, qPrintable(ch->TSName));
        } else {
            LOG_I("[%s] [%d] (%s)R(%d_%d(%d))C(%d)S(%d)avail(%d) [%s]", "debugChListModel", row,
                    segName(ch->ServiceSegType), ch->RemoconID, ch->SubChannel, ch->DispSubChannel,
                    ch->ChannelNumber, ch->ServiceID, ch->Available, qPrintable(ch->TSName));
        }
    }
    LOG_I("[%s] count(%d)", "debugChListModel", count);
}

void KvrOzbFSegDBManager::debugStationListModel(ListModel* model, bool detail)
{
    if (!model)
        return;
    for (int row = 0; row < model->rowCount(); ++row) {
        StationItem* st = stationAt(model, row);
        if (detail) {
            LOG_I("[%s] station list [%d] OneSegSID : %d", "debugStationListModel", row, st->OneSegSID);
            LOG_I("[%s] station list [%d] FullSegSID : %d", "debugStationListModel", row, st->FullSegSID);
            LOG_I("[%s] station list [%d] TSName : %s", "debugStationListModel", row, qPrintable(st->TSName));
        } else {
            LOG_I("[%s] [%d] R(%d_%d) C(%d) 1seg(%d) fseg(%d) [%s]", "debugStationListModel", row, st->RemoconID,
                    st->DispSubChannel, st->ChannelNumber, st->OneSegSID, st->FullSegSID, qPrintable(st->TSName));
        }
    }
}

void KvrOzbFSegDBManager::debugStationListProxyModel()
{
    const int mode = m_pDataManager->getMode();
    if (!validMode(mode))
        return;
    for (int row = 0; row < m_pStationProxyModel[mode]->rowCount(); ++row) {
        StationItem* st = getStationItemByProxyIndex(mode, row);
        if (st)
            LOG_I("[%s] [%d] R(%d_%d) [%s]", "debugStationListProxyModel", row, st->RemoconID, st->DispSubChannel,
                    qPrintable(st->TSName));
    }
}
