#ifndef HOLVIK_KVROZBFSEGDBMANAGER_H
#define HOLVIK_KVROZBFSEGDBMANAGER_H

#include "DbRecords.h"
#include "ListModel.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class QSortFilterProxyModel;
class ChannelItem;
class StationItem;
class EpgItem;
class ISDBtDataManager;
struct sqlite3;
struct sqlite3_stmt;

// Read-only access to the channel and programme-guide databases that the
// broadcast engine writes, and the list models built from them. Mode 0 is
// the home list, mode 1 the drive list.
class KvrOzbFSegDBManager : public QObject
{
    Q_OBJECT
public:
    enum { MODE_HOME = 0, MODE_DRIVE = 1 };
    enum { DB_CHANNEL = 0, DB_EPG = 1 };

    static KvrOzbFSegDBManager* getInstance();

    explicit KvrOzbFSegDBManager(QObject* parent = nullptr);
    ~KvrOzbFSegDBManager() override;

    // --- databases and channel records ---
    int init();
    int openDatabase(int modeType, int dbType);
    int closeDatabase(int modeType, int dbType);
    void release();
    void getChannelsFromDB(int modeType, bool makeList, int remoconID);
    void getChannelsOfChNumFromDB(int modeType, int channelNumber);
    void makeSubChannelIndex(QList<ChannelRecord>* pChannelList);
    int getRemoconIdForChannelIdFromDB(int modeType, int channelNumber, int serviceID);
    void dbCopy(bool toHome);
    void reset();
    void resetListModel();
    void debugChannels(QList<ChannelRecord>* pChannelList);

    QString channelDirectory() const { return m_channelDir; }
    QString guideDirectory() const { return m_guideDir; }

    // --- channel and station lists ---
    void setDynamicSortFilterForChList(int modeType, bool enable, bool setSource);
    void setDynamicSortFilterForStationList(int modeType, bool enable, bool setSource);
    void makeChannelList(int modeType, int remoconID);
    void removeAddChannel(int modeType, bool add, int channelNumber);
    void setRefreshStaionProxyModel();
    void setCurrStationProgramName(QString name);

    ListModel* getChannelListModel(int modeType);
    QSortFilterProxyModel* getChannelProxyModel(int modeType);
    ListModel* getStationListModel(int modeType);
    QSortFilterProxyModel* getStationProxyModel(int modeType);
    int getChannelListCount(int modeType);
    void clearChannelModel(int modeType);
    int getStationListCount(int modeType);
    int getProxyModelStationListCount(int modeType);

    ChannelItem* getChannelItem(int modeType, int remoconID, int dispSubChannel, int serviceSegType,
                                bool needAvailable);
    ChannelItem* getChannelItemSidChNum(int modeType, int serviceID, int channelNumber, bool needAvailable);
    ChannelItem* getChannelItemAvailable(int modeType, int remoconID, int audioPID, int videoPID,
                                         int serviceSegType);
    ChannelItem* getChannelItem(int modeType, int serviceID, bool needAvailable);
    ChannelItem* getChannelItemDispSub(int modeType, int remoconID, int dispSubChannel, bool needAvailable);
    ChannelItem* getChannelItemByID(int modeType, int id);
    int getServiceID(int modeType, int remoconID, int subChannel, int serviceSegType);
    int getDbIdFromChannelItem(int modeType, int remoconID, int dispSubChannel, int serviceSegType);
    int getChannelListCountForRemoconID(int modeType, int remoconID);
    StationItem* getStationItemByRemoconID(int modeType, int remoconID, int dispSubChannel);
    StationItem* getStationItemByIndex(int modeType, int row);
    StationItem* getStationItemByProxyIndex(int modeType, int proxyRow);
    StationItem* getStationItemFromProxyModelByRemoconID(int modeType, int remoconID, int dispSubChannel);
    int getStationIndex(int modeType, int remoconID, int dispSubChannel);
    int getStationCountForRemoconID(int modeType, int remoconID);
    int getStationProxyCountForRemoconID(int modeType, int remoconID);
    int getSationNetworkID(int modeType, int channelNumber);
    int getChannelIDFromStation(int modeType, int remoconID, int dispSubChannel, int segType);

    // --- programme guide ---
    ListModel* getEpgListModel(int modeType);
    QSortFilterProxyModel* getEpgProxyModel(int modeType);
    void setDynamicSortFilterForEpgList(int modeType, bool enable, bool resetSource);
    int getEpgListCount(int modeType);
    void setCurrentEpgItem(tagDbEpgItem* item);
    bool checkGetCurrentEpgItem(int serviceID, bool force);
    bool checkNeedToMakeEpgList(int channelNumber, int serviceID);
    EpgItem* getEpgIndexByProxyIndex(int modeType, int proxyRow);
    EpgItem* getEpgIndexByIndex(int modeType, int row);
    void resetEpgDayTimeListModel();
    void clearEpgModel(int modeType);
    ListModel* getEpgDayListModel() { return m_pEpgDayListModel; }
    ListModel* getEpgDayTimeListModel(int dayNumber);
    QString getProgramNameFromDB(int modeType, int segType, int channelNumber, int serviceID);
    bool getCurrentEpgItem(int modeType, int channelNumber, int serviceID);
    int getEpgCountFormDB(int modeType, int segType, int channelNumber, int serviceID);
    void getEpgPresentFollowing(int modeType, int channelNumber, int serviceID);
    void getEpgItemsFromDB(int modeType, int segType, int channelNumber, int serviceID, bool force,
                           std::atomic<bool>& cancel);
    void makeEpgList(int modeType);
    void addEpgDayListModel(int dayNumber, QString text, int epgIndex);
    void addEpgDayTimeListModel(int dayNumber, int hour, int epgIndex);
    QList<tagDbEpgItem> getCurrentEpgs(int modeType, int channelNumber, int serviceID);

    // Rows the guide list shows after a refill for this service: the events
    // after the current one, plus the current event itself when it is known
    // for the service (it is put first in the list).
    int getEpgExpectedListCount(int dbCount, int serviceID);
    tagDbEpgItem currentEpgItem();

    // Debug dumps (log only).
    void debugChannelItem(tagDbChannelItem* item, bool detail);
    void debugChListModel(ListModel* model, bool detail);
    void debugChListModelRemoconID(ListModel* model, int remoconID, bool detail);
    void debugStationListModel(ListModel* model, bool detail);
    void debugStationListProxyModel();
    void debugEpgItem(tagDbEpgItem* item, int index);
    void debugEpgListModel(ListModel* model, bool detail);

    // The guide cache; the engine reads its length and service directly.
    QList<EpgRecord> m_Epgs;
    int m_EpgsServiceID = 0;
    int m_EpgsChannelNumber = 0;

signals:
    void beginChListModelUpdate();
    void endChListModelUpdate();
    void beginStationListModelUpdate();
    void endStationListModelUpdate();
    void beginEpgListModelUpdate();
    void endEpgListModelUpdate();
    void notifyStationDataChanged(int index);
    void notifyChannelListChanged();

private:
    static bool validMode(int modeType) { return modeType == MODE_HOME || modeType == MODE_DRIVE; }
    // validMode, with the log line of a refused mode for `caller`.
    static bool checkMode(int modeType, const char* caller);
    static const char* modeName(int modeType) { return modeType ? "DRIVE" : "HOME"; }
    static const char* segName(int segType) { return segType == 1 ? "1Seg" : "FSeg"; }

    sqlite3** handle(int modeType, int dbType);
    QMutex* dbMutex(int modeType, int dbType);
    bool prepare(sqlite3* db, const QString& sql, sqlite3_stmt** stmt);
    void readChannelRows(int modeType, const QString& sql, QList<ChannelRecord>* target, bool keepOtherTypes);
    QString channelSelect() const;

    void makeOrJoinStation(ListModel* stationModel, const tagDbChannelItem& r);
    void rebuildStationsFromChannels(ListModel* chModel, ListModel* stationModel);
    void updateCounts(int modeType);
    void clearChannelAndStationModels(int modeType);

    bool broadcastClock(int* mjd, int* hh, int* mm) const;
    static void fillEpgRecord(tagDbEpgItem* rec, sqlite3_stmt* stmt, int serviceID);
    static QString formatTime(int hh, int mm);
    QString epgTable(const char* prefix, int channelNumber, int serviceID) const;
    QString afterCurrentCondition(const tagDbEpgItem& curr) const;
    bool channelRowForService(int serviceID, int* remoconID, int* dispSubChannel);

    // Programme fields of channel and station rows are changed only on the
    // thread that owns the models; the guide readers on the job thread hand
    // their results over.
    void runOnModelThread(std::function<void()> fn);
    void applyCurrentProgram(int modeType, int serviceID, QString name, QString text, QString extItem,
                             QString extText);
    void applyProgramName(int modeType, int serviceID, QString name);

    ISDBtDataManager* m_pDataManager = nullptr;

    sqlite3* m_pSqliteHomeDB = nullptr;
    sqlite3* m_pSqliteDriveDB = nullptr;
    sqlite3* m_pSqliteHomeEpgDB = nullptr;
    sqlite3* m_pSqliteDriveEpgDB = nullptr;
    QMutex homeDbMutex;
    QMutex driveDbMutex;
    QMutex homeEpgDbMutex;
    QMutex driveEpgDbMutex;
    QMutex channelListMutex;
    QMutex epgListMutex;  // also guards m_CurrEpgItem

    ListModel* m_pChListModel[2] = {nullptr, nullptr};
    QSortFilterProxyModel* m_pChProxyModel[2] = {nullptr, nullptr};
    ListModel* m_pStationListModel[2] = {nullptr, nullptr};
    QSortFilterProxyModel* m_pStationProxyModel[2] = {nullptr, nullptr};
    ListModel* m_pEpgListModel[2] = {nullptr, nullptr};
    QSortFilterProxyModel* m_pEpgProxyModel[2] = {nullptr, nullptr};
    ListModel* m_pEpgDayListModel = nullptr;
    ListModel* m_pEpgDayTimeListModel[8] = {};

    QList<ChannelRecord> m_pChannels;
    QList<ChannelRecord> updateChannels;
    QList<ChannelRecord> chNumChannels;

    tagDbEpgItem m_CurrEpgItem;

    QString m_channelDir;
    QString m_guideDir;

    static KvrOzbFSegDBManager* m_pInstance;
};

#endif
