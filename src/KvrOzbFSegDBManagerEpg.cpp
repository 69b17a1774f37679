// Programme guide side of the database manager: the event on air, the guide
// cache of one service and the guide, day and hour list models.
#include "KvrOzbFSegDBManager.h"

#include "ChannelItem.h"
#include "EpgDayTimeItem.h"
#include "EpgItem.h"
#include "ISDBtDataManager.h"
#include "ISDBtUtil.h"
#include "KelpAppLog.h"
#include "StationItem.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QSortFilterProxyModel>
#include <QThread>

#include <QHash>

#include <malloc.h>
#include <sqlite3.h>

static const char* const kPrefixPF = "EPG_PF_";
static const char* const kPrefixSchedule = "EPG_Sche_";

static const char* prefixForSeg(int segType)
{
    if (segType == 1)
        return kPrefixPF;
    if (segType == 0)
        return kPrefixSchedule;
    return nullptr;
}

static QString fullColumnList()
{
    return QString("SELECT %1, %2, %3, %4, %5, %6, %7, %8, %9, %10, %11")
        .arg("_id", "EventID", "Start_MJD", "Start_HH", "Start_MM", "Duration_HH", "Duration_MM", "EvtName", "EvtText")
        .arg("ExtEvtItem", "ExtEvtText");
}

// Minutes since MJD 0: lets a programme that crosses midnight compare with
// the clock like any other.
static qint64 absMinutes(int mjd, int hh, int mm)
{
    return qint64(mjd) * 1440 + qint64(hh) * 60 + mm;
}

bool KvrOzbFSegDBManager::broadcastClock(int* mjd, int* hh, int* mm) const
{
    const int day = m_pDataManager->m_nCurrMJD;
    const int secs = m_pDataManager->m_nCurrSecondsOfDay;
    *mjd = day;
    *hh = secs >= 0 ? secs / 3600 : -1;
    *mm = secs >= 0 ? (secs % 3600) / 60 : -1;
    return day >= 0 && secs >= 0;
}

QString KvrOzbFSegDBManager::formatTime(int hh, int mm)
{
    return QString("%1:%2").arg(hh, 2, 10, QLatin1Char(' ')).arg(mm, 2, 10, QLatin1Char('0'));
}

static QString stmtText(sqlite3_stmt* stmt, int col)
{
    const unsigned char* text = sqlite3_column_text(stmt, col);
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt, col))
                : QString();
}

static void computeEnd(tagDbEpgItem* rec, int durHH, int durMM)
{
    // 64-bit: the table's values come from outside and may be anything.
    qint64 seconds = qint64(rec->startHH) * 3600 + qint64(rec->startMM) * 60 + qint64(durHH) * 3600
        + qint64(durMM) * 60;
    if (seconds > 86399) {
        seconds -= 86400;
        rec->endMJD = static_cast<int32_t>(qint64(rec->startMJD) + 1);
    } else {
        rec->endMJD = rec->startMJD;
    }
    const qint64 endHH = (seconds / 3600) % 24;
    rec->endHH = static_cast<int32_t>(endHH);
    rec->endMM = static_cast<int32_t>((seconds - endHH * 3600) / 60);
}

void KvrOzbFSegDBManager::fillEpgRecord(tagDbEpgItem* rec, sqlite3_stmt* stmt, int serviceID)
{
    rec->reset();
    rec->_id = sqlite3_column_int(stmt, 0);
    rec->serviceID = serviceID;
    rec->eventID = sqlite3_column_int(stmt, 1);
    rec->startMJD = sqlite3_column_int(stmt, 2);
    rec->startHH = sqlite3_column_int(stmt, 3);
    rec->startMM = sqlite3_column_int(stmt, 4);
    computeEnd(rec, sqlite3_column_int(stmt, 5), sqlite3_column_int(stmt, 6));
    rec->startDate = sutil::GetDateString(rec->startMJD);
    rec->startTime = formatTime(rec->startHH, rec->startMM);
    rec->endTime = formatTime(rec->endHH, rec->endMM);
    rec->programName = stmtText(stmt, 7);
    rec->evtText = stmtText(stmt, 8);
    rec->evtExtItem = stmtText(stmt, 9);
    rec->evtExtText = stmtText(stmt, 10);
    rec->TopIndexDate = 0;
}

QString KvrOzbFSegDBManager::epgTable(const char* prefix, int channelNumber, int serviceID) const
{
    return QString(" FROM %1%2_0x%3").arg(QString::fromLatin1(prefix)).arg(channelNumber).arg(QString::number(serviceID, 16));
}

QString KvrOzbFSegDBManager::afterCurrentCondition(const tagDbEpgItem& c) const
{
    if (c.startMJD < 0 || c.startHH < 0 || c.startMM < 0)
        return QString();
    return QString(" WHERE ( Start_MJD = %1 AND Start_HH = %2 AND Start_MM > %3 ) OR ( Start_MJD = %4 AND "
                   "Start_HH > %5 ) OR ( Start_MJD > %6)")
        .arg(c.startMJD)
        .arg(c.startHH)
        .arg(c.startMM)
        .arg(c.startMJD)
        .arg(c.startHH)
        .arg(c.startMJD);
}

// Events started by the clock: on an earlier date, or today up to now. The
// latest of them comes first.
static QString startedByNow(int mjd, int hh, int mm)
{
    return QString(" WHERE ( Start_MJD < %1 ) OR ( Start_MJD = %2 AND Start_HH < %3 ) OR ( Start_MJD = %4 AND "
                   "Start_HH = %5 AND Start_MM <= %6 )")
               .arg(mjd)
               .arg(mjd)
               .arg(hh)
               .arg(mjd)
               .arg(hh)
               .arg(mm)
        + QString(" ORDER BY %1 DESC, %2 DESC, %3 DESC").arg("Start_MJD", "Start_HH", "Start_MM") + " LIMIT 1";
}

void KvrOzbFSegDBManager::runOnModelThread(std::function<void()> fn)
{
    if (QThread::currentThread() == thread())
        fn();
    else
        QMetaObject::invokeMethod(this, fn, Qt::QueuedConnection);
}

bool KvrOzbFSegDBManager::channelRowForService(int serviceID, int* remoconID, int* dispSubChannel)
{
    // Read from the job thread while the model thread may rebuild the rows:
    // the list mutex keeps the rows alive for the look-up.
    QMutexLocker lock(&channelListMutex);
    ChannelItem* ch = getChannelItem(m_pDataManager->getMode(), serviceID, false);
    if (!ch)
        return false;
    *remoconID = ch->RemoconID;
    *dispSubChannel = ch->DispSubChannel;
    return true;
}

void KvrOzbFSegDBManager::applyCurrentProgram(int modeType, int serviceID, QString name, QString text,
                                              QString extItem, QString extText)
{
    runOnModelThread([=]() {
        ChannelItem* ch = getChannelItem(m_pDataManager->getMode(), serviceID, false);
        if (!ch)
            return;
        ch->ProgramName = name;
        ListModel* stModel = validMode(modeType) ? m_pStationListModel[modeType] : nullptr;
        if (!stModel)
            return;
        const QString key = StationItem::makeKey(ch->RemoconID, ch->DispSubChannel);
        const int row = stModel->getIndexFromItem(key);
        if (row < 0)
            return;
        StationItem* st = static_cast<StationItem*>(stModel->findbyRow(row));
        st->ProgramName = name;
        st->ProgramText = text;
        st->ProgramExtItem = extItem;
        st->ProgramExtText = extText;
        emit notifyStationDataChanged(row);
    });
}

void KvrOzbFSegDBManager::applyProgramName(int modeType, int serviceID, QString name)
{
    runOnModelThread([=]() {
        ChannelItem* ch = getChannelItem(m_pDataManager->getMode(), serviceID, false);
        if (!ch) {
            LOG_I("[%s] remoconID(%d) or subCh(%d) is invalid!!", "getProgramNameFromDB", 0, 0);
            return;
        }
        ch->ProgramName = name;
        if (ch->RemoconID < 1 || ch->DispSubChannel < 1) {
            LOG_I("[%s] remoconID(%d) or subCh(%d) is invalid!!", "getProgramNameFromDB", ch->RemoconID,
                  ch->DispSubChannel);
            return;
        }
        ListModel* stModel = validMode(modeType) ? m_pStationListModel[modeType] : nullptr;
        const int row = stModel ? stModel->getIndexFromItem(StationItem::makeKey(ch->RemoconID, ch->DispSubChannel))
                                : -1;
        if (row < 0) {
            LOG_I("[%s] stationItem is not exist!!", "getProgramNameFromDB");
            return;
        }
        StationItem* st = static_cast<StationItem*>(stModel->findbyRow(row));
        if (st->ProgramName != name) {
            st->ProgramName = name;
            emit notifyStationDataChanged(row);
        }
    });
}

ListModel* KvrOzbFSegDBManager::getEpgListModel(int modeType)
{
    return checkMode(modeType, "getEpgListModel") ? m_pEpgListModel[modeType] : nullptr;
}

QSortFilterProxyModel* KvrOzbFSegDBManager::getEpgProxyModel(int modeType)
{
    return checkMode(modeType, "getEpgProxyModel") ? m_pEpgProxyModel[modeType] : nullptr;
}

void KvrOzbFSegDBManager::setDynamicSortFilterForEpgList(int modeType, bool enable, bool resetSource)
{
    if (!validMode(modeType) || !m_pEpgListModel[modeType] || !m_pEpgProxyModel[modeType])
        return;
    QSortFilterProxyModel* proxy = m_pEpgProxyModel[modeType];
    if (!enable) {
        emit beginEpgListModelUpdate();
        proxy->setDynamicSortFilter(false);
        proxy->invalidate();
        return;
    }
    if (resetSource)
        proxy->setSourceModel(m_pEpgListModel[modeType]);
    proxy->setDynamicSortFilter(true);
    emit endEpgListModelUpdate();
}

int KvrOzbFSegDBManager::getEpgListCount(int modeType)
{
    if (!checkMode(modeType, "getEpgListCount"))
        return 0;
    return m_pEpgListModel[modeType]->rowCount();
}

void KvrOzbFSegDBManager::setCurrentEpgItem(tagDbEpgItem* item)
{
    if (!item)
        return;
    QMutexLocker lock(&epgListMutex);
    m_CurrEpgItem = *item;
    m_CurrEpgItem.TopIndexDate = 0;
}

bool KvrOzbFSegDBManager::checkGetCurrentEpgItem(int serviceID, bool force)
{
    QMutexLocker lock(&epgListMutex);
    if (m_CurrEpgItem.serviceID != serviceID || m_CurrEpgItem.startMJD < 0 || m_CurrEpgItem.startHH < 0
        || m_CurrEpgItem.startMM < 0)
        return true;
    return force;
}

bool KvrOzbFSegDBManager::checkNeedToMakeEpgList(int channelNumber, int serviceID)
{
    return channelNumber == m_pDataManager->getCurrChannelNumber() && serviceID == m_pDataManager->getCurrServiceID();
}

tagDbEpgItem KvrOzbFSegDBManager::currentEpgItem()
{
    QMutexLocker lock(&epgListMutex);
    return m_CurrEpgItem;
}

int KvrOzbFSegDBManager::getEpgExpectedListCount(int dbCount, int serviceID)
{
    QMutexLocker lock(&epgListMutex);
    return dbCount + (m_CurrEpgItem.serviceID == serviceID ? 1 : 0);
}

EpgItem* KvrOzbFSegDBManager::getEpgIndexByProxyIndex(int modeType, int proxyRow)
{
    if (!validMode(modeType) || proxyRow < 0 || !m_pEpgProxyModel[modeType] || !m_pEpgListModel[modeType])
        return nullptr;
    QSortFilterProxyModel* proxy = m_pEpgProxyModel[modeType];
    const QModelIndex source = proxy->mapToSource(proxy->index(proxyRow, 0));
    if (!source.isValid())
        return nullptr;
    return static_cast<EpgItem*>(m_pEpgListModel[modeType]->findbyRow(source.row()));
}

EpgItem* KvrOzbFSegDBManager::getEpgIndexByIndex(int modeType, int row)
{
    if (!validMode(modeType) || !m_pEpgListModel[modeType])
        return nullptr;
    return static_cast<EpgItem*>(m_pEpgListModel[modeType]->findbyRow(row));
}

void KvrOzbFSegDBManager::resetEpgDayTimeListModel()
{
    LOG_I("[%s]", "resetEpgDayTimeListModel");
    m_pEpgDayListModel->clear();
    for (auto* model : m_pEpgDayTimeListModel)
        model->clear();
}

void KvrOzbFSegDBManager::clearEpgModel(int modeType)
{
    if (validMode(modeType))
        m_pEpgListModel[modeType]->clear();
    resetEpgDayTimeListModel();
}

ListModel* KvrOzbFSegDBManager::getEpgDayTimeListModel(int dayNumber)
{
    if (dayNumber < 0 || dayNumber > 7) {
        LOG_I("[%s] dayNumber is invalid !!", "getEpgDayTimeListModel");
        return nullptr;
    }
    return m_pEpgDayTimeListModel[dayNumber];
}

void KvrOzbFSegDBManager::addEpgDayListModel(int dayNumber, QString text, int epgIndex)
{
    auto rec = std::make_shared<tagDbEpgDayTimeItem>();
    rec->DayTimeNumber = dayNumber;
    rec->DayTime = 0;
    rec->DayTimeEpgIndex = epgIndex;
    rec->DayTimeText = text;
    m_pEpgDayListModel->appendRow(new EpgDayTimeItem(rec));
}

void KvrOzbFSegDBManager::addEpgDayTimeListModel(int dayNumber, int hour, int epgIndex)
{
    ListModel* model = getEpgDayTimeListModel(dayNumber);
    if (!model)
        return;
    auto rec = std::make_shared<tagDbEpgDayTimeItem>();
    rec->DayTimeNumber = hour;
    rec->DayTime = 1;
    rec->DayTimeEpgIndex = epgIndex;
    rec->DayTimeText = QString::number(hour);
    model->appendRow(new EpgDayTimeItem(rec));
}

bool KvrOzbFSegDBManager::getCurrentEpgItem(int modeType, int channelNumber, int serviceID)
{
    int remoconID = 0, dispSub = 0;
    if (!channelRowForService(serviceID, &remoconID, &dispSub))
        return false;
    int mjd, hh, mm;
    broadcastClock(&mjd, &hh, &mm);
    const QString sql = fullColumnList() + epgTable(kPrefixPF, channelNumber, serviceID) + startedByNow(mjd, hh, mm);
    LOG_I("[%s] strSQL : %s", "getCurrentEpgItem", qPrintable(sql));
    if (!checkMode(modeType, "getCurrentEpgItem"))
        return false;
    QMutexLocker dbLock(dbMutex(modeType, DB_EPG));
    sqlite3_stmt* stmt = nullptr;
    if (!prepare(*handle(modeType, DB_EPG), sql, &stmt))
        return false;
    tagDbEpgItem rec;
    bool found = false;
    if (sqlite3_step(stmt) == SQLITE_ROW) {
        fillEpgRecord(&rec, stmt, serviceID);
        // An event from an earlier date counts only while it is still on air.
        found = rec.startMJD == mjd
            || absMinutes(mjd, hh, mm) < absMinutes(rec.startMJD, rec.startHH, rec.startMM)
                    + qint64(sqlite3_column_int(stmt, 5)) * 60 + sqlite3_column_int(stmt, 6);
    }
    sqlite3_finalize(stmt);
    if (!found) {
        LOG_I("[%s]  finished executing", "getCurrentEpgItem");
        return false;
    }
    if (!rec.programName.isEmpty())
        applyCurrentProgram(modeType, serviceID, rec.programName, rec.evtText, rec.evtExtItem, rec.evtExtText);

    const int current = m_pDataManager->getCurrServiceID();
    if (serviceID != current) {
        LOG_I("[%s] serviceID(%d) is not current(%d)", "getCurrentEpgItem", serviceID, current);
        return false;
    }
    QMutexLocker lock(&epgListMutex);
    if (m_CurrEpgItem.serviceID == serviceID && m_CurrEpgItem.startMJD == rec.startMJD
        && m_CurrEpgItem.startHH == rec.startHH && m_CurrEpgItem.startMM == rec.startMM) {
        LOG_I("[%s] m_CurrEpgItem is not changed", "getCurrentEpgItem");
        return false;
    }
    m_CurrEpgItem = rec;
    LOG_I("[%s] m_CurrEpgItem S(%d)(%d/%d:%d)", "getCurrentEpgItem", serviceID, rec.startMJD, rec.startHH,
          rec.startMM);
    return true;
}

QString KvrOzbFSegDBManager::getProgramNameFromDB(int modeType, int segType, int channelNumber, int serviceID)
{
    QString name;
    const char* prefix = prefixForSeg(segType);
    if (!prefix) {
        LOG_I("[%s] segType is invalid ", "getProgramNameFromDB");
        return name;
    }
    int mjd, hh, mm;
    broadcastClock(&mjd, &hh, &mm);
    const QString sql = QString("SELECT %1, %2, %3, %4, %5, %6")
                            .arg("EvtName", "Start_MJD", "Start_HH", "Start_MM", "Duration_HH", "Duration_MM")
        + epgTable(prefix, channelNumber, serviceID) + startedByNow(mjd, hh, mm);
    LOG_I("[%s] strSQL : %s", "getProgramNameFromDB", qPrintable(sql));
    if (!checkMode(modeType, "getProgramNameFromDB"))
        return name;
    {
        QMutexLocker dbLock(dbMutex(modeType, DB_EPG));
        sqlite3_stmt* stmt = nullptr;
        if (prepare(*handle(modeType, DB_EPG), sql, &stmt)) {
            if (sqlite3_step(stmt) == SQLITE_ROW) {
                const qint64 start = absMinutes(sqlite3_column_int(stmt, 1), sqlite3_column_int(stmt, 2),
                                                sqlite3_column_int(stmt, 3));
                const qint64 end = start + qint64(sqlite3_column_int(stmt, 4)) * 60 + sqlite3_column_int(stmt, 5);
                const qint64 now = absMinutes(mjd, hh, mm);
                if (start <= now && now < end)
                    name = stmtText(stmt, 0);
            }
            sqlite3_finalize(stmt);
        }
    }
    LOG_I("[%s] (%d)(%d) programName: %s", "getProgramNameFromDB", channelNumber, serviceID, qPrintable(name));
    if (!name.isEmpty())
        applyProgramName(modeType, serviceID, name);
    return name;
}

int KvrOzbFSegDBManager::getEpgCountFormDB(int modeType, int segType, int channelNumber, int serviceID)
{
    const bool updated = getCurrentEpgItem(modeType, channelNumber, serviceID);
    LOG_I("[%s] current epg item is updated ? (%d) ", "getEpgCountFormDB", updated);
    const char* prefix = prefixForSeg(segType);
    if (!prefix) {
        LOG_I("[%s] segType is invalid ", "getEpgCountFormDB");
        return 0;
    }
    const QString sql = QString("SELECT count(distinct _id)") + epgTable(prefix, channelNumber, serviceID)
        + afterCurrentCondition(currentEpgItem());
    if (!checkMode(modeType, "getEpgCountFormDB"))
        return 0;
    LOG_I("[%s] [%s][%d](%d)", "getEpgCountFormDB", modeName(modeType), segType, serviceID);
    LOG_I("[%s] strSQL : %s", "getEpgCountFormDB", qPrintable(sql));
    QMutexLocker dbLock(dbMutex(modeType, DB_EPG));
    sqlite3_stmt* stmt = nullptr;
    if (!prepare(*handle(modeType, DB_EPG), sql, &stmt))
        return 0;
    int count = 0;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        count = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    return count;
}

void KvrOzbFSegDBManager::getEpgPresentFollowing(int modeType, int channelNumber, int serviceID)
{
    if (getCurrentEpgItem(modeType, channelNumber, serviceID))
        LOG_I("[%s] C(%d)S(%d) currentEpg updated", "getEpgPresentFollowing", channelNumber, serviceID);
}

void KvrOzbFSegDBManager::getEpgItemsFromDB(int modeType, int segType, int channelNumber, int serviceID, bool force,
                                            std::atomic<bool>& cancel)
{
    const bool changed = getCurrentEpgItem(modeType, channelNumber, serviceID);
    {
        QMutexLocker lock(&epgListMutex);
        if (!m_Epgs.isEmpty() && !changed && !force)
            return;
    }
    LOG_I("[%s]", "getEpgItemsFromDB");
    const char* prefix = prefixForSeg(segType);
    if (!prefix) {
        LOG_I("[%s] segType is invalid ", "getEpgItemsFromDB");
        return;
    }
    const tagDbEpgItem current = currentEpgItem();
    const QString sql = fullColumnList() + epgTable(prefix, channelNumber, serviceID)
        + afterCurrentCondition(current)
        + QString(" ORDER BY %1 ASC, %2 ASC, %3 ASC").arg("Start_MJD", "Start_HH", "Start_MM");
    if (!checkMode(modeType, "getEpgItemsFromDB"))
        return;
    LOG_I("[%s] [%s][%s](%d)(%d) ", "getEpgItemsFromDB", modeName(modeType), segName(segType), channelNumber,
          serviceID);
    LOG_I("[%s] strSQL : %s", "getEpgItemsFromDB", qPrintable(sql));
    int count = 0;
    {
        QMutexLocker dbLock(dbMutex(modeType, DB_EPG));
        QMutexLocker listLock(&epgListMutex);
        m_Epgs.clear();
        malloc_trim(0);
        sqlite3_stmt* stmt = nullptr;
        if (prepare(*handle(modeType, DB_EPG), sql, &stmt)) {
            if (m_CurrEpgItem.serviceID == serviceID) {
                auto first = std::make_shared<tagDbEpgItem>(m_CurrEpgItem);
                first->TopIndexDate = 0;
                m_Epgs.append(first);
            }
            while (sqlite3_step(stmt) == SQLITE_ROW && !cancel.load()) {
                auto rec = std::make_shared<tagDbEpgItem>();
                fillEpgRecord(rec.get(), stmt, serviceID);
                if (rec->eventID == m_CurrEpgItem.eventID)
                    continue;
                m_Epgs.append(rec);
            }
            sqlite3_finalize(stmt);
        }
        count = m_Epgs.size();
        if (m_EpgsServiceID == serviceID && m_EpgsChannelNumber == channelNumber) {
            LOG_I("[%s] m_Epgs[S(%d)C(%d)] count is %d", "getEpgItemsFromDB", serviceID, channelNumber, count);
        } else {
            LOG_I("[%s] m_Epgs[S(%d -> %d)C(%d -> %d)] count is %d", "getEpgItemsFromDB", m_EpgsServiceID, serviceID,
                  m_EpgsChannelNumber, channelNumber, count);
            m_EpgsServiceID = serviceID;
            m_EpgsChannelNumber = channelNumber;
        }
    }
}

void KvrOzbFSegDBManager::makeEpgList(int modeType)
{
    LOG_H("[%s] START [%s]", "makeEpgList", modeType ? "DRIVE" : "HOME");
    if (!validMode(modeType) || !m_pEpgListModel[modeType])
        return;
    ListModel* model = m_pEpgListModel[modeType];
    QMutexLocker lock(&epgListMutex);
    const int current = m_pDataManager->getCurrServiceID();
    if (m_EpgsServiceID != current || m_Epgs.isEmpty()) {
        clearEpgModel(modeType);
        LOG_I("[%s] m_pEpgs is not exist(%d) or differnt serviceID(%d != %d). clearEpgModel ", "makeEpgList",
              m_Epgs.size(), current, m_EpgsServiceID);
    } else {
        model->clear();
        resetEpgDayTimeListModel();
        int firstMJD = 0;
        int day = 0;
        // The list was just emptied: a repeated event ID can only meet a row
        // of this pass, so rows are looked up here, and added in one batch.
        QList<ListItem*> rows;
        QHash<unsigned, EpgItem*> byEventID;
        rows.reserve(m_Epgs.size());
        for (int i = 0; i < m_Epgs.size(); ++i) {
            const EpgRecord& rec = m_Epgs.at(i);
            if (i == 0) {
                rec->TopIndexDate = 1;
                firstMJD = rec->startMJD;
                day = 0;
                addEpgDayListModel(0, rec->startDate, 0);
                addEpgDayTimeListModel(0, rec->startHH, 0);
            } else {
                const EpgRecord& prev = m_Epgs.at(i - 1);
                if (rec->startDate == prev->startDate) {
                    rec->TopIndexDate = 0;
                    if (rec->startHH != prev->startHH)
                        addEpgDayTimeListModel(day, rec->startHH, i);
                } else {
                    rec->TopIndexDate = 1;
                    day = sutil::SaturateToInt(int64_t(rec->startMJD) - firstMJD);
                    addEpgDayListModel(day, rec->startDate, i);
                    addEpgDayTimeListModel(day, rec->startHH, i);
                }
            }
            EpgItem*& row = byEventID[unsigned(rec->eventID)];
            if (row) {
                row->updateData(rec);
            } else {
                row = new EpgItem(rec);
                rows.append(row);
            }
        }
        model->appendRows(rows);
    }
    LOG_H("[%s] END rowCount(%d)", "makeEpgList", model->rowCount());
}

QList<tagDbEpgItem> KvrOzbFSegDBManager::getCurrentEpgs(int modeType, int channelNumber, int serviceID)
{
    QList<tagDbEpgItem> result;
    const QString sql = fullColumnList() + epgTable(kPrefixPF, channelNumber, serviceID)
        + QString(" ORDER BY %1 ASC, %2 ASC, %3 ASC").arg("Start_MJD", "Start_HH", "Start_MM");
    LOG_I("[%s] strSQL : %s", "getCurrentEpgs", qPrintable(sql));
    if (!checkMode(modeType, "getCurrentEpgs"))
        return result;
    QMutexLocker dbLock(dbMutex(modeType, DB_EPG));
    sqlite3_stmt* stmt = nullptr;
    if (!prepare(*handle(modeType, DB_EPG), sql, &stmt))
        return result;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        tagDbEpgItem rec;
        fillEpgRecord(&rec, stmt, serviceID);
        result.append(rec);
    }
    sqlite3_finalize(stmt);
    return result;
}

void KvrOzbFSegDBManager::debugEpgItem(tagDbEpgItem* item, int index)
{
    if (!item)
        return;
    LOG_I("[%s] [%d] S(%d) E(%d) %s %s-%s [%s]", "debugEpgItem", index, item->serviceID, item->eventID,
          qPrintable(item->startDate), qPrintable(item->startTime), qPrintable(item->endTime),
          qPrintable(item->programName));
}

void KvrOzbFSegDBManager::debugEpgListModel(ListModel* model, bool detail)
{
    if (!model)
        return;
    const int current = m_pDataManager->getCurrServiceID();
    for (int row = 0; row < model->rowCount(); ++row) {
        EpgItem* e = static_cast<EpgItem*>(model->findbyRow(row));
        if (detail) {
            LOG_I("[%s] epg list [%d] EventID : %d", "debugEpgListModel", row, e->EventID);
            LOG_I("[%s] epg list [%d] startDate : %s", "debugEpgListModel", row, qPrintable(e->StartDate));
            LOG_I("[%s] epg list [%d] startTime : %s", "debugEpgListModel", row, qPrintable(e->StartTime));
            LOG_I("[%s] epg list [%d] endTime : %s", "debugEpgListModel", row, qPrintable(e->EndTime));
            LOG_I("[%s] epg list [%d] programName : %s", "debugEpgListModel", row, qPrintable(e->ProgramName));
        } else {
            LOG_I("[%s] [%d] S(%d/%d) E(%d) %s %s-%s [%s]", "debugEpgListModel", row, e->ServiceID, current,
                  e->EventID, qPrintable(e->StartDate), qPrintable(e->StartTime), qPrintable(e->EndTime),
                  qPrintable(e->ProgramName));
        }
    }
}
