// Channel records, sub-channel numbering, the channel and station lists with
// their proxies, and the lookups, on channel databases written by the test.
#include "ChannelItem.h"
#include "ISDBtDataManager.h"
#include "KvrOzbFSegDBManager.h"
#include "DbManagerFixture.h"
#include "StationItem.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QSortFilterProxyModel>

#include <gtest/gtest.h>

#include <memory>

using fixtures::Channel;

namespace {

const int FULL = 1;
const int ONE = 0xC0;
const int PMT1 = 0x1FC8;

class DbChannelsTest : public fixtures::DbManagerFixture
{
protected:
    void SetUp() override
    {
        DbManagerFixture::SetUp();
        db = std::make_unique<KvrOzbFSegDBManager>();
        for (int mode = 0; mode < 2; ++mode)
            watch({db->getChannelListModel(mode), db->getChannelProxyModel(mode), db->getStationListModel(mode),
                   db->getStationProxyModel(mode)});
    }
    QString homeDb() const { return dataDir->path() + "/ISDBT0.db"; }
    void load(const std::vector<Channel>& rows, int mode = 0)
    {
        fixtures::writeChannels(dataDir->path() + (mode ? "/ISDBT1.db" : "/ISDBT0.db"), rows);
        db->init();
        db->getChannelsFromDB(mode, true, 0);
    }
    ChannelItem* byId(int id) { return db->getChannelItemByID(0, id); }
    QStringList proxyStations(int mode = 0)
    {
        QStringList keys;
        for (int row = 0; row < db->getProxyModelStationListCount(mode); ++row)
            keys << db->getStationItemByProxyIndex(mode, row)->itemKey();
        return keys;
    }
};

TEST_F(DbChannelsTest, SubChannelNumberingPerRemoteKey)
{
    load({
        // key 1: two one-seg and two full-seg services, all PIDs distinct
        {1, 13, 1, 0x101, FULL, 0x110, 0x111, 0x1F0, "F1", 11},
        {2, 13, 1, 0x102, FULL, 0x120, 0x121, 0x1F1, "F2", 12},
        {3, 13, 1, 0x181, ONE, 0x130, 0x131, PMT1, "1Seg-A", 13},
        {4, 13, 1, 0x182, ONE, 0x140, 0x141, PMT1 + 1, "1Seg-B", 14},
        // key 2: the second one-seg repeats the PIDs of the first
        {5, 14, 2, 0x201, ONE, 0x150, 0x151, PMT1, "A", 21},
        {6, 14, 2, 0x202, ONE, 0x150, 0x151, PMT1 + 1, "A dup", 22},
        // key 3: a lone full-seg service without video
        {7, 15, 3, 0x301, FULL, 0x160, 0, 0x1F0, "no video", 31},
        // key 4: two full-seg services, the second without audio
        {8, 16, 4, 0x401, FULL, 0x170, 0x171, 0x1F0, "F", 41},
        {9, 16, 4, 0x402, FULL, 0, 0x172, 0x1F1, "F no audio", 42},
        // key 5: a one-seg PMT outside the one-seg range, and a data service
        {10, 17, 5, 0x501, ONE, 0x180, 0x181, 0x1FD0, "bad pmt", 51},
        {11, 17, 5, 0x502, 0xC1, 0x180, 0x181, PMT1, "data", 52},
    });
    struct Expect {
        int id, sub, disp, avail, seg;
    } expected[] = {
        {3, 1, 1, 1, 1}, {4, 2, 2, 1, 1}, {1, 1, 1, 1, 0}, {2, 2, 2, 1, 0}, {5, 1, 1, 1, 1},
        {6, 2, 0, 0, 1}, {7, 1, 1, 1, 0}, {8, 1, 1, 1, 0}, {9, 0, 0, 0, 0},
    };
    for (const Expect& e : expected) {
        ChannelItem* ch = byId(e.id);
        ASSERT_NE(ch, nullptr) << "id " << e.id;
        EXPECT_EQ(ch->SubChannel, e.sub) << "id " << e.id;
        EXPECT_EQ(ch->DispSubChannel, e.disp) << "id " << e.id;
        EXPECT_EQ(ch->Available, e.avail) << "id " << e.id;
        EXPECT_EQ(ch->ServiceSegType, e.seg) << "id " << e.id;
    }
    EXPECT_EQ(byId(10), nullptr) << "one-seg PMT outside 0x1FC8..0x1FCF is dropped";
    EXPECT_EQ(byId(11), nullptr) << "other service types are dropped";
    EXPECT_EQ(db->getChannelListCount(0), 9);
    EXPECT_EQ(settings->getCurrChannelListCnt(), 9);

    // Hidden services make no station; the rest pair up by key and number.
    EXPECT_EQ(db->getStationListCount(0), 5);
    EXPECT_EQ(settings->getCurrStationListCnt(), 5);
}

TEST_F(DbChannelsTest, FullAndOneSegPairAndTheStationProxyFollowsTheSegment)
{
    load({
        {1, 20, 1, 0x1001, FULL, 0x110, 0x111, 0x1F0, "Both"},
        {2, 20, 1, 0x1081, ONE, 0x112, 0x113, PMT1, "Both 1seg"},
        {3, 21, 2, 0x2081, ONE, 0x120, 0x121, PMT1, "One only"},
        {4, 22, 3, 0x3001, FULL, 0x130, 0x131, 0x1F0, "Full only"},
        {5, 22, 3, 0x3002, FULL, 0x130, 0x131, 0x1F1, "Full dup"},
    });
    StationItem* both = db->getStationItemByRemoconID(0, 1, 1);
    ASSERT_NE(both, nullptr);
    EXPECT_EQ(both->FullSegSID, 0x1001);
    EXPECT_EQ(both->OneSegSID, 0x1081);

    // Full-seg reception in automatic mode: one-seg-only stations hidden.
    EXPECT_EQ(proxyStations(), (QStringList{"1_1", "3_1"}));
    settings->setCurrSegType(1);
    db->setRefreshStaionProxyModel();
    EXPECT_EQ(proxyStations(), (QStringList{"1_1", "2_1"}));
    settings->setCurrSegType(0);
    settings->setSegMode(1);
    db->setRefreshStaionProxyModel();
    EXPECT_EQ(proxyStations(), (QStringList{"1_1", "2_1"}));
    settings->setSegMode(4);
    db->setRefreshStaionProxyModel();

    // The channel proxy hides the duplicate and sorts by key, sub-channel, segment.
    QSortFilterProxyModel* chProxy = db->getChannelProxyModel(0);
    QList<int> ids;
    for (int row = 0; row < chProxy->rowCount(); ++row)
        ids << chProxy->index(row, 0).data(ChannelItem::IdRole).toInt();
    EXPECT_EQ(ids, (QList<int>{1, 2, 3, 4}));
    EXPECT_EQ(db->getStationCountForRemoconID(0, 3), 1);
}

TEST_F(DbChannelsTest, Lookups)
{
    load({
        {1, 20, 7, 0x701, FULL, 0x110, 0x111, 0x1F0, "Seven", 71, 0x7F01},
        {2, 20, 7, 0x702, FULL, 0x110, 0x111, 0x1F1, "Seven dup", 72, 0x7F01},
        {3, 20, 7, 0x781, ONE, 0x120, 0x121, PMT1, "Seven 1seg", 73, 0x7F01},
        {4, 25, 9, 0x901, FULL, 0x130, 0x131, 0x1F0, "Nine", 91, 0x7F09},
        {5, 25, 9, 0x902, FULL, 0x140, 0x141, 0x1F1, "Nine-2", 92, 0x7F09},
    });
    // Station 7_3 does not exist: the index falls back to 7_1.
    EXPECT_EQ(db->getStationIndex(0, 7, 3), db->getStationIndex(0, 7, 1));
    EXPECT_GE(db->getStationIndex(0, 7, 1), 0);
    EXPECT_EQ(db->getStationIndex(0, 0, 1), -1);
    EXPECT_EQ(db->getStationIndex(0, 8, 1), -1);

    // A hidden duplicate answers with its visible twin when asked for an
    // available service.
    ChannelItem* twin = db->getChannelItem(0, 0x702, true);
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin->ServiceID, 0x701);
    EXPECT_EQ(db->getChannelItem(0, 0x702, false)->ServiceID, 0x702);
    EXPECT_EQ(db->getChannelItem(0, 0x999, false), nullptr);

    struct IntCase {
        const char* what;
        int got, want;
    } cases[] = {
        {"key/disp/seg", db->getChannelItem(0, 7, 1, 1, true)->ServiceID, 0x781},
        {"sid/channel", db->getChannelItemSidChNum(0, 0x901, 25, true)->_id, 4},
        {"disp sub", db->getChannelItemDispSub(0, 9, 2, true)->ServiceID, 0x902},
        {"service id", db->getServiceID(0, 9, 2, 0), 0x902},
        {"service id missing", db->getServiceID(0, 9, 3, 0), -1},
        {"db id", db->getDbIdFromChannelItem(0, 7, 1, 0), 1},
        {"db id missing", db->getDbIdFromChannelItem(0, 7, 2, 0), -1},
        {"available of key", db->getChannelListCountForRemoconID(0, 7), 2},
        {"stations of key", db->getStationCountForRemoconID(0, 9), 2},
        {"shown stations of key", db->getStationProxyCountForRemoconID(0, 9), 2},
        {"network", db->getSationNetworkID(0, 25), 0x7F09},
        {"network missing", db->getSationNetworkID(0, 99), 0},
        {"channel id of one-seg", db->getChannelIDFromStation(0, 7, 1, 1), 3},
        {"channel id of full-seg", db->getChannelIDFromStation(0, 7, 1, 0), 1},
        {"channel id, no sub", db->getChannelIDFromStation(0, 7, 0, 0), -1},
        {"channel id, missing seg", db->getChannelIDFromStation(0, 9, 1, 1), -1},
    };
    for (const IntCase& c : cases)
        EXPECT_EQ(c.got, c.want) << c.what;
    EXPECT_EQ(db->getChannelItemSidChNum(0, 0x901, 26, false), nullptr);
    EXPECT_EQ(db->getChannelItem(0, 7, 2, 0, false), nullptr);

    StationItem* s = db->getStationItemFromProxyModelByRemoconID(0, 9, 2);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->ServiceID, 0x902);
    EXPECT_EQ(db->getStationItemByIndex(0, db->getStationListCount(0)), nullptr);
    EXPECT_EQ(db->getStationItemByProxyIndex(0, -1), nullptr);
    EXPECT_EQ(db->getStationItemByRemoconID(0, 0, 1), nullptr);

    // Invalid list modes answer null, 0 or -1.
    EXPECT_EQ(db->getChannelListModel(2), nullptr);
    EXPECT_EQ(db->getStationProxyModel(-1), nullptr);
    EXPECT_EQ(db->getChannelListCount(2), 0);
    EXPECT_EQ(db->getChannelItem(2, 0x701, false), nullptr);
    EXPECT_EQ(db->getStationIndex(2, 7, 1), -1);
    EXPECT_EQ(db->getRemoconIdForChannelIdFromDB(0, 25, -1), 9);
    EXPECT_EQ(db->getRemoconIdForChannelIdFromDB(0, -1, 0x702), 7);
    EXPECT_EQ(db->getRemoconIdForChannelIdFromDB(0, 99, -1), -1);
    EXPECT_EQ(db->getRemoconIdForChannelIdFromDB(2, 25, -1), -1);
}

TEST_F(DbChannelsTest, KeyUpdateChangesOnlyWhatChanged)
{
    std::vector<Channel> rows = {
        {1, 20, 1, 0x101, FULL, 0x110, 0x111, 0x1F0, "One"},
        {2, 21, 2, 0x201, FULL, 0x120, 0x121, 0x1F0, "Two"},
        {3, 21, 2, 0x202, FULL, 0x130, 0x131, 0x1F1, "Two-2"},
    };
    load(rows);
    QSignalSpy listChanged(db.get(), &KvrOzbFSegDBManager::notifyChannelListChanged);
    QSignalSpy proxyOff(db.get(), &KvrOzbFSegDBManager::beginStationListModelUpdate);

    // Nothing changed for key 2: proxies untouched, no list-changed signal.
    db->getChannelsFromDB(0, false, 2);
    db->makeChannelList(0, 2);
    EXPECT_EQ(listChanged.count(), 0);
    EXPECT_EQ(proxyOff.count(), 0);

    // Key 2 loses 0x202 and gains 0x203.
    rows[2] = {4, 21, 2, 0x203, FULL, 0x140, 0x141, 0x1F2, "Two-3"};
    fixtures::writeChannels(homeDb(), rows);
    db->getChannelsFromDB(0, false, 2);
    db->makeChannelList(0, 2);
    EXPECT_EQ(listChanged.count(), 1);
    EXPECT_EQ(db->getChannelItem(0, 0x202, false), nullptr);
    ASSERT_NE(db->getChannelItem(0, 0x203, false), nullptr);
    StationItem* st = db->getStationItemByRemoconID(0, 2, 2);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->FullSegSID, 0x203);
    EXPECT_EQ(db->getChannelListCount(0), 3);
    EXPECT_EQ(settings->getCurrChannelListCnt(), 3);
}

TEST_F(DbChannelsTest, RemoveAndAddOnePhysicalChannel)
{
    std::vector<Channel> rows = {
        {1, 20, 1, 0x101, FULL, 0x110, 0x111, 0x1F0, "One"},
        {2, 21, 2, 0x201, FULL, 0x120, 0x121, 0x1F0, "Two"},
        {3, 21, 2, 0x281, ONE, 0x122, 0x123, PMT1, "Two 1seg"},
    };
    load(rows);
    db->removeAddChannel(0, false, 21);
    EXPECT_EQ(db->getChannelListCount(0), 1);
    EXPECT_EQ(db->getStationListCount(0), 1);

    // The last station is never removed.
    db->removeAddChannel(0, false, 20);
    EXPECT_EQ(db->getChannelListCount(0), 1);

    db->getChannelsOfChNumFromDB(0, 21);
    db->removeAddChannel(0, true, 21);
    EXPECT_EQ(db->getChannelListCount(0), 3);
    StationItem* st = db->getStationItemByRemoconID(0, 2, 1);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->FullSegSID, 0x201);
    EXPECT_EQ(st->OneSegSID, 0x281);
    EXPECT_EQ(proxyStations(), (QStringList{"1_1", "2_1"}));
}

TEST_F(DbChannelsTest, InitReportsTheChannelDatabaseOfTheListInUse)
{
    // Only the home channel file exists; no guide file at all.
    fixtures::writeChannels(homeDb(), {{1, 20, 1, 0x101, FULL, 0x110, 0x111, 0x1F0, "One"}});
    settings->setMode(0);
    EXPECT_EQ(db->init(), 0) << "missing guide databases are not a failure";
    EXPECT_EQ(db->channelDirectory(), dataDir->path());
    EXPECT_TRUE(db->guideDirectory().endsWith("/ramdisk/kvrozb_data"));
    settings->setMode(1);
    EXPECT_EQ(db->init(), -2) << "the drive list's channel database is missing";
    QFile::remove(homeDb());
    settings->setMode(0);
    EXPECT_EQ(db->init(), -1);
    EXPECT_EQ(db->openDatabase(0, 1), -4);
    EXPECT_EQ(db->openDatabase(1, 1), -8);
    EXPECT_EQ(db->openDatabase(3, 0), 0);
    EXPECT_EQ(db->closeDatabase(0, 0), 0);

    // Reading from a closed database leaves the lists empty.
    db->getChannelsFromDB(0, true, 0);
    EXPECT_EQ(db->getChannelListCount(0), 0);
}

TEST_F(DbChannelsTest, HomeListBackupRestoreAndReset)
{
    fixtures::writeChannels(homeDb(), {{1, 20, 1, 0x101, FULL, 0x110, 0x111, 0x1F0, "Home"}});
    fixtures::writeChannels(dataDir->path() + "/ISDBT1.db", {{1, 30, 3, 0x301, FULL, 0x110, 0x111, 0x1F0, "Drive"}});
    db->init();
    const QString guideDir = db->guideDirectory();
    QDir().mkpath(guideDir);
    fixtures::writeGuide(guideDir + "/ISDBTEPG0.db", fixtures::guideTable(false, 20, 0x101), {});

    db->dbCopy(true);  // drive list over the home list; guides untouched
    EXPECT_EQ(db->getRemoconIdForChannelIdFromDB(0, -1, 0x301), 3) << "open handle reads the new file";
    EXPECT_TRUE(QFile::exists(guideDir + "/ISDBTEPG0.db"));

    fixtures::writeChannels(homeDb(), {{1, 20, 1, 0x101, FULL, 0x110, 0x111, 0x1F0, "Home"}});
    db->dbCopy(false);  // home list over the drive list; guides emptied
    EXPECT_FALSE(QFile::exists(guideDir + "/ISDBTEPG0.db"));
    EXPECT_TRUE(QDir(guideDir).exists());
    db->release();
    db->openDatabase(1, 0);
    EXPECT_EQ(db->getRemoconIdForChannelIdFromDB(1, -1, 0x101), 1);

    load({{1, 20, 1, 0x101, FULL, 0x110, 0x111, 0x1F0, "Home"}});
    ASSERT_EQ(db->getChannelListCount(0), 1);
    db->release();
    fixtures::devRoot().clearRecordedCommands();
    db->reset();
    EXPECT_EQ(db->getChannelListCount(0), 0);
    EXPECT_EQ(db->getStationListCount(0), 0);
    EXPECT_FALSE(QFile::exists(homeDb()));
    EXPECT_TRUE(QDir(dataDir->path()).exists());
    const auto commands = fixtures::devRoot().recordedCommands();
    EXPECT_NE(std::find_if(commands.begin(), commands.end(),
                           [](const std::string& c) { return c.find("sync") != std::string::npos; }),
              commands.end());
}

}  // namespace
