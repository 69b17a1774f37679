// Channel databases, channel records and their sub-channel numbering.
#include "KvrOzbFSegDBManager.h"

#include "ChannelItem.h"
#include "KelpAppLog.h"
#include "DevRoot.h"
#include "EpgDayTimeItem.h"
#include "EpgItem.h"
#include "ISDBtDataManager.h"
#include "ISDBtUtil.h"
#include "StationItem.h"

#include <QMutexLocker>
#include <QSortFilterProxyModel>

#include <malloc.h>
#include <sqlite3.h>

KvrOzbFSegDBManager* KvrOzbFSegDBManager::m_pInstance = nullptr;

KvrOzbFSegDBManager* KvrOzbFSegDBManager::getInstance()
{
    static QMutex s_mutex;
    QMutexLocker lock(&s_mutex);
    if (!m_pInstance)
        m_pInstance = new KvrOzbFSegDBManager(nullptr);
    return m_pInstance;
}

KvrOzbFSegDBManager::KvrOzbFSegDBManager(QObject* parent) : QObject(parent)
{
    LOG_I("[%s]==================== KvrOzbFSegDBManager Start - sqlite3(%s)====================",
            "KvrOzbFSegDBManager", sqlite3_libversion());
    m_channelDir = QString::fromStdString(devroot::path("/opt/data/kvrozb_data"));
    m_guideDir = QString::fromStdString(devroot::path("/ramdisk/kvrozb_data"));
    m_pDataManager = ISDBtDataManager::getInstance();

    for (int mode = 0; mode < 2; ++mode) {
        m_pChListModel[mode] = new ListModel(new ChannelItem());
        m_pChProxyModel[mode] = new QSortFilterProxyModel();
        m_pChProxyModel[mode]->setSourceModel(m_pChListModel[mode]);
        m_pChProxyModel[mode]->setDynamicSortFilter(true);

        m_pStationListModel[mode] = new ListModel(new StationItem());
        m_pStationProxyModel[mode] = new QSortFilterProxyModel();
        m_pStationProxyModel[mode]->setSourceModel(m_pStationListModel[mode]);
        m_pStationProxyModel[mode]->setDynamicSortFilter(true);

        m_pEpgListModel[mode] = new ListModel(new EpgItem());
        m_pEpgProxyModel[mode] = new QSortFilterProxyModel();
        m_pEpgProxyModel[mode]->setSourceModel(m_pEpgListModel[mode]);
        m_pEpgProxyModel[mode]->setDynamicSortFilter(true);
    }
    // Filter and sort set-up of the channel and station proxies.
    for (int mode = 0; mode < 2; ++mode) {
        setDynamicSortFilterForChList(mode, true, false);
        setDynamicSortFilterForStationList(mode, true, false);
    }
    m_pEpgDayListModel = new ListModel(new EpgDayTimeItem());
    for (auto& model : m_pEpgDayTimeListModel)
        model = new ListModel(new EpgDayTimeItem());

    m_pChannels.clear();
    updateChannels.clear();
    m_Epgs.clear();
    m_CurrEpgItem.reset();
}

KvrOzbFSegDBManager::~KvrOzbFSegDBManager()
{
    release();
    // Proxies go before their sources so that they never see a dead model.
    for (int mode = 0; mode < 2; ++mode) {
        delete m_pChProxyModel[mode];
        delete m_pStationProxyModel[mode];
        delete m_pEpgProxyModel[mode];
        delete m_pChListModel[mode];
        delete m_pStationListModel[mode];
        delete m_pEpgListModel[mode];
    }
    delete m_pEpgDayListModel;
    for (auto* model : m_pEpgDayTimeListModel)
        delete model;
    if (m_pInstance == this)
        m_pInstance = nullptr;
}

sqlite3** KvrOzbFSegDBManager::handle(int modeType, int dbType)
{
    if (modeType == MODE_HOME && dbType == DB_CHANNEL) return &m_pSqliteHomeDB;
    if (modeType == MODE_DRIVE && dbType == DB_CHANNEL) return &m_pSqliteDriveDB;
    if (modeType == MODE_HOME && dbType == DB_EPG) return &m_pSqliteHomeEpgDB;
    if (modeType == MODE_DRIVE && dbType == DB_EPG) return &m_pSqliteDriveEpgDB;
    return nullptr;
}

QMutex* KvrOzbFSegDBManager::dbMutex(int modeType, int dbType)
{
    if (modeType == MODE_HOME && dbType == DB_CHANNEL) return &homeDbMutex;
    if (modeType == MODE_DRIVE && dbType == DB_CHANNEL) return &driveDbMutex;
    if (modeType == MODE_HOME && dbType == DB_EPG) return &homeEpgDbMutex;
    if (modeType == MODE_DRIVE && dbType == DB_EPG) return &driveEpgDbMutex;
    return nullptr;
}

static int dbErrorCode(int modeType, int dbType)
{
    if (dbType == KvrOzbFSegDBManager::DB_CHANNEL)
        return modeType == 0 ? -1 : -2;
    return modeType == 0 ? -4 : -8;
}

bool KvrOzbFSegDBManager::checkMode(int modeType, const char* caller)
{
    if (validMode(modeType))
        return true;
    LOG_I("[%s] modeType is invalid ", caller);
    return false;
}

int KvrOzbFSegDBManager::init()
{
    const QByteArray dataPath = qgetenv("OZB_DATA_PATH");
    if (!dataPath.isEmpty())
        m_channelDir = QString::fromLocal8Bit(dataPath);
    LOG_I("[%s]==================== KvrOzbFSegDBManager init (%s)(%s)====================", "init",
            qPrintable(m_channelDir), qPrintable(m_guideDir));

    static const char* const names[2][2] = {{"HOME/CHANNEL", "HOME/EPG"}, {"DRIVE/CHANNEL", "DRIVE/EPG"}};
    int channelResult[2] = {0, 0};
    for (int mode = 0; mode < 2; ++mode) {
        for (int dbType = 0; dbType < 2; ++dbType) {
            const int rc = openDatabase(mode, dbType);
            if (rc == 0)
                LOG_I("[%s] DB(%s) open success !!! ", "init", names[mode][dbType]);
            else
                LOG_H("[%s] DB(%s) open fail !!! ", "init", names[mode][dbType]);
            if (dbType == DB_CHANNEL)
                channelResult[mode] = rc;
        }
    }
    // The guide databases appear only once the broadcast engine has written a
    // guide, so only the channel database of the list in use decides.
    const int mode = m_pDataManager->getMode();
    if (validMode(mode))
        return channelResult[mode];
    return channelResult[0] != 0 ? channelResult[0] : channelResult[1];
}

int KvrOzbFSegDBManager::openDatabase(int modeType, int dbType)
{
    sqlite3** h = handle(modeType, dbType);
    if (!h)
        return 0;
    QMutexLocker lock(dbMutex(modeType, dbType));
    if (*h) {
        // Reopening replaces the old handle instead of leaking it.
        sqlite3_close_v2(*h);
        *h = nullptr;
    }
    static const char* const files[2][2] = {{"/ISDBT0.db", "/ISDBTEPG0.db"}, {"/ISDBT1.db", "/ISDBTEPG1.db"}};
    const QString path = (dbType == DB_CHANNEL ? m_channelDir : m_guideDir) + files[modeType][dbType];
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), h, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX,
                                   nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(*h, 500);
        return 0;
    }
    LOG_H("[%s] %s is not exist. (%d)", "openDatabase", files[modeType][dbType], rc);
    sqlite3_close_v2(*h);
    *h = nullptr;
    return dbErrorCode(modeType, dbType);
}

int KvrOzbFSegDBManager::closeDatabase(int modeType, int dbType)
{
    sqlite3** h = handle(modeType, dbType);
    if (!h || !*h)
        return 0;
    const int rc = sqlite3_close_v2(*h);
    if (rc == SQLITE_OK) {
        *h = nullptr;
        return 0;
    }
    static const char* const names[2][2] = {{"m_pSqliteHomeDB", "m_pSqliteHomeEpgDB"},
                                            {"m_pSqliteDriveDB", "m_pSqliteDriveEpgDB"}};
    LOG_H("[%s] %s close fail(%d)", "closeDatabase", names[modeType][dbType], rc);
    return dbErrorCode(modeType, dbType);
}

void KvrOzbFSegDBManager::release()
{
    static const int order[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    static const char* const names[4] = {"HOME/CHANNEL", "HOME/EPG", "DRIVE/CHANNEL", "DRIVE/EPG"};
    for (int i = 0; i < 4; ++i) {
        QMutexLocker lock(dbMutex(order[i][0], order[i][1]));
        if (closeDatabase(order[i][0], order[i][1]) == 0)
            LOG_I("[%s] DB(%s) close success !!! ", "release", names[i]);
        else
            LOG_H("[%s] DB(%s) close fail !!! ", "release", names[i]);
    }
}

bool KvrOzbFSegDBManager::prepare(sqlite3* db, const QString& sql, sqlite3_stmt** stmt)
{
    *stmt = nullptr;
    if (!db) {
        LOG_H("sqlite3_prepare_v2 error_code=%d, %s", SQLITE_MISUSE, "database is not open");
        return false;
    }
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db, text.constData(), text.size(), stmt, nullptr);
    if (rc != SQLITE_OK) {
        LOG_H("sqlite3_prepare_v2 error_code=%d, %s", rc, sqlite3_errmsg(db));
        sqlite3_finalize(*stmt);
        *stmt = nullptr;
        return false;
    }
    return true;
}

QString KvrOzbFSegDBManager::channelSelect() const
{
    return QString("SELECT %1, %2, %3, %4, %5, %6, %7, %8, %9, %10, %11, %12, %13, %14")
               .arg("_id", "channelNumber", "remoconID", "serviceID", "LOGO_ID", "TSName", "serviceType",
                    "regionID", "audioPID")
               .arg("videoPID", "PMT_PID", "threedigitNumber", "berAVG", "networkID")
        + QString(" FROM %1").arg("channels");
}

static QString columnText(sqlite3_stmt* stmt, int col)
{
    const unsigned char* text = sqlite3_column_text(stmt, col);
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt, col))
                : QString();
}

void KvrOzbFSegDBManager::readChannelRows(int modeType, const QString& sql, QList<ChannelRecord>* target,
                                          bool keepOtherTypes)
{
    QMutexLocker dbLock(dbMutex(modeType, DB_CHANNEL));
    QMutexLocker listLock(&channelListMutex);
    target->clear();
    malloc_trim(0);

    sqlite3_stmt* stmt = nullptr;
    if (!prepare(*handle(modeType, DB_CHANNEL), sql, &stmt))
        return;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        auto r = std::make_shared<tagDbChannelItem>();
        r->_id = sqlite3_column_int(stmt, 0);
        r->ChannelNumber = sqlite3_column_int(stmt, 1);
        r->RemoconID = sqlite3_column_int(stmt, 2);
        r->ServiceID = sqlite3_column_int(stmt, 3);
        r->LOGO_ID = sqlite3_column_int(stmt, 4);
        r->TSName = columnText(stmt, 5);
        r->ServiceType = sqlite3_column_int(stmt, 6);
        r->RegionID = sqlite3_column_int(stmt, 7);
        r->AudioPID = sqlite3_column_int(stmt, 8);
        r->VideoPID = sqlite3_column_int(stmt, 9);
        r->PMT_PID = sqlite3_column_int(stmt, 10);
        r->ThreedigitNumber = sqlite3_column_int(stmt, 11);
        r->BerAVG = sqlite3_column_int(stmt, 12);
        r->NetworkID = sqlite3_column_int(stmt, 13);
        r->SubChannel = 0;
        r->DispSubChannel = 0;
        r->UserRemoconID = m_pDataManager->getUIRemoconID(modeType, r->RemoconID);
        r->Available = 1;
        if (r->ServiceType == 1) {
            r->ServiceSegType = 0;
        } else if (r->ServiceType == 0xC0 && r->PMT_PID >= 0x1FC8 && r->PMT_PID <= 0x1FCF) {
            r->ServiceSegType = 1;
        } else if (keepOtherTypes) {
            r->ServiceSegType = -1;
        } else {
            continue;
        }
        target->append(r);
    }
    sqlite3_finalize(stmt);
}

void KvrOzbFSegDBManager::getChannelsFromDB(int modeType, bool makeList, int remoconID)
{
    QString sql = channelSelect();
    if (remoconID > 0)
        sql += QString(" WHERE remoconID=%1").arg(remoconID);
    sql += QString(" ORDER BY %1 ASC, %2 DESC, %3 ASC").arg("remoconID", "serviceType", "threedigitNumber");
    LOG_I("[%s] [%s][%s] R(%d) ", "getChannelsFromDB", modeName(modeType), remoconID < 1 ? "ALL" : "UPDATE",
            remoconID);
    LOG_I("[%s] strSQL : %s", "getChannelsFromDB", qPrintable(sql));
    if (!checkMode(modeType, "getChannelsFromDB"))
        return;
    readChannelRows(modeType, sql, remoconID < 1 ? &m_pChannels : &updateChannels, false);
    if (makeList)
        makeChannelList(modeType, remoconID);
}

void KvrOzbFSegDBManager::getChannelsOfChNumFromDB(int modeType, int channelNumber)
{
    LOG_I("[%s] [%s] channelNumber[%d]", "getChannelsOfChNumFromDB", modeName(modeType), channelNumber);
    if (channelNumber < 0) {
        LOG_I("[%s] channelNumber is invalid !!! ", "getChannelsOfChNumFromDB");
        return;
    }
    if (!checkMode(modeType, "getChannelsOfChNumFromDB"))
        return;
    if (!m_pChListModel[modeType] || !m_pStationListModel[modeType]) {
        LOG_I("[%s] pChListModel or pStationListModel is nullptr !!! ", "getChannelsOfChNumFromDB");
        return;
    }
    const QString sql = channelSelect() + QString(" WHERE channelNumber=%1").arg(channelNumber);
    LOG_I("[%s] strSQL : %s", "getChannelsOfChNumFromDB", qPrintable(sql));
    readChannelRows(modeType, sql, &chNumChannels, true);
}

void KvrOzbFSegDBManager::makeSubChannelIndex(QList<ChannelRecord>* list)
{
    if (!list) {
        LOG_I("[%s] pChannelList is nullptr. return!!", "makeSubChannelIndex");
        return;
    }
    int prevKey = 0;
    int fullCount = 0, fullDisp = 0, oneCount = 0, oneDisp = 0, allowance = 1;
    for (int i = 0; i < list->size(); ++i) {
        auto r = std::make_shared<tagDbChannelItem>(*list->at(i));
        // A group is a run of one key; the list starts after key 0.
        if (r->RemoconID != prevKey) {
            LOG_I("[%s] [%d] remoconID(%d) / check =====", "makeSubChannelIndex", i, r->RemoconID);
            fullCount = fullDisp = oneCount = oneDisp = 0;
            allowance = 1;
            prevKey = r->RemoconID;
        }
        // A service is judged against the services of its key numbered so far.
        enum { Plain, Duplicate, Incomplete } verdict = Plain;
        for (const ChannelRecord& j : *list) {
            if (j->_id == r->_id || j->RemoconID != r->RemoconID || j->SubChannel == 0)
                continue;
            if (r->AudioPID == 0 || r->VideoPID == 0) {
                verdict = Incomplete;
                break;
            }
            if (j->AudioPID != 0 && j->VideoPID != 0 && r->AudioPID == j->AudioPID && r->VideoPID == j->VideoPID) {
                verdict = Duplicate;
                break;
            }
        }
        if (verdict == Duplicate)
            r->Available = 0;
        bool number = verdict != Incomplete;
        if (verdict == Incomplete) {
            if (r->ServiceSegType == 0 && allowance > 0)
                number = true;
            else if (r->ServiceSegType == 0 || r->ServiceSegType == 1)
                r->Available = 0;
        }
        if (number) {
            if (r->ServiceSegType == 0) {
                r->SubChannel = ++fullCount;
                if (r->Available == 1)
                    r->DispSubChannel = ++fullDisp;
                if (allowance > 0)
                    --allowance;
            } else if (r->ServiceSegType == 1) {
                r->SubChannel = ++oneCount;
                allowance = oneCount;
                if (r->Available == 1)
                    r->DispSubChannel = ++oneDisp;
            }
        }
        (*list)[i] = r;
    }
}

int KvrOzbFSegDBManager::getRemoconIdForChannelIdFromDB(int modeType, int channelNumber, int serviceID)
{
    if (!checkMode(modeType, "getRemoconIdForChannelIdFromDB"))
        return -1;
    QString sql = QString("SELECT %1").arg("remoconID") + QString(" FROM %1").arg("channels");
    if (channelNumber >= 0)
        sql += QString(" WHERE channelNumber=%1").arg(channelNumber);
    else if (serviceID > 0)
        sql += QString(" WHERE serviceID=%1").arg(serviceID);
    QMutexLocker lock(dbMutex(modeType, DB_CHANNEL));
    LOG_I("[%s] strSQL : %s", "getRemoconIdForChannelIdFromDB", qPrintable(sql));
    sqlite3_stmt* stmt = nullptr;
    if (!prepare(*handle(modeType, DB_CHANNEL), sql, &stmt))
        return -1;
    int result = -1;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        result = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    return result;
}

static void runLogged(const char* who, const QString& cmd)
{
    if (sutil::RunCmd(cmd.toUtf8().constData()))
        LOG_I("[%s] RunCmd(%s) Success", who, qPrintable(cmd));
    else
        LOG_H("[%s] RunCmd(%s) Fail", who, qPrintable(cmd));
}

void KvrOzbFSegDBManager::dbCopy(bool toHome)
{
    const QString home = m_channelDir + "/ISDBT0.db";
    const QString drive = m_channelDir + "/ISDBT1.db";
    if (toHome) {
        runLogged("dbCopy", QString("cp %1 %2").arg(drive, home));
        return;
    }
    runLogged("dbCopy", QString("cp %1 %2").arg(home, drive));
    runLogged("dbCopy", QString("rm -rf %1").arg(m_guideDir));
    runLogged("dbCopy", QString("mkdir %2").arg(m_guideDir));
}

void KvrOzbFSegDBManager::reset()
{
    resetListModel();
    runLogged("reset", QString("rm -rf %1").arg(m_channelDir));
    runLogged("reset", QString("mkdir %1").arg(m_channelDir));
    runLogged("reset", QString("rm -rf %1").arg(m_guideDir));
    runLogged("reset", QString("mkdir %1").arg(m_guideDir));
    runLogged("reset", QString("sync"));
}

void KvrOzbFSegDBManager::resetListModel()
{
    {
        QMutexLocker lock(&epgListMutex);
        m_Epgs.clear();
        m_CurrEpgItem.reset();
    }
    {
        // The job thread looks rows up under this mutex.
        QMutexLocker lock(&channelListMutex);
        m_pChannels.clear();
        updateChannels.clear();
        for (int mode = 0; mode < 2; ++mode) {
            setDynamicSortFilterForChList(mode, false, false);
            setDynamicSortFilterForStationList(mode, false, false);
            clearChannelAndStationModels(mode);
        }
    }
    for (int mode = 0; mode < 2; ++mode)
        m_pEpgListModel[mode]->clear();
    resetEpgDayTimeListModel();
}

void KvrOzbFSegDBManager::debugChannels(QList<ChannelRecord>* list)
{
    if (!list)
        return;
    LOG_I("[%s] ==== pChannelList size [%d] ====", "debugChannels", list->size());
    for (int i = 0; i < list->size(); ++i) {
        const tagDbChannelItem& r = *list->at(i);
        LOG_I("[%s] m_pChannels [%d] (%d)(%s)R(%d_%d(%d))C(%d)S(%d) [%s]", "debugChannels", i, r._id,
                segName(r.ServiceSegType), r.RemoconID, r.SubChannel, r.DispSubChannel, r.ChannelNumber,
                r.ServiceID, qPrintable(r.TSName));
    }
}
