// Damaged database files: every read of the database manager must end
// cleanly, whatever bytes the files hold; and well-formed files with extreme
// values give the lists and guide a sound reading of them.
#include "ChannelItem.h"
#include "DbInputs.h"
#include "DbManagerFixture.h"
#include "EpgItem.h"
#include "ListsFixtures.h"
#include "StationItem.h"

#include <QDir>
#include <QFile>
#include <QSortFilterProxyModel>

#include <climits>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>

namespace {

std::string mutate(std::string bytes, std::mt19937& rng)
{
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < edits && !bytes.empty(); ++i) {
        const size_t at = rng() % bytes.size();
        switch (rng() % 3) {
        case 0: bytes[at] = static_cast<char>(rng()); break;          // change a byte
        case 1: bytes[at] = static_cast<char>(bytes[at] ^ 0x80); break;  // flip a high bit
        default: bytes.resize(at); break;                             // cut the file
        }
    }
    return bytes;
}

TEST(DbMutation, DamagedFilesAreReadWithoutFault)
{
    const std::string channels = dbinputs::validChannelFile();
    const std::string guide = dbinputs::validGuideFile();
    dbinputs::readAll(channels, guide);
    dbinputs::readAll("", "");
    dbinputs::readAll("not a database", std::string(4096, '\0'));
    std::mt19937 rng(20261210);
    for (int round = 0; round < 150; ++round)
        dbinputs::readAll(mutate(channels, rng), mutate(guide, rng));
}

// Extreme numbers in well-formed tables (the outside engine writes them):
// rows are kept with their values as read, nothing unusable is shown or
// tuned, and the guide picks and orders events by the clock as for any other.
class DbHostile : public fixtures::DbManagerFixture
{
};

TEST_F(DbHostile, HostileValuesInWellFormedTablesAreKeptAsReadAndOnlyUsableRowsShown)
{
    const int big = INT_MAX, small = INT_MIN;
    fixtures::writeChannels(dataDir->path() + "/ISDBT0.db",
                            {{1, 27, big, 0x5c38, 1, 0x110, 0x111, 0x1F0, "big key"},
                             {2, 27, small, 0x5cb8, 0xC0, 0, 0, 0x1FC8, ""},
                             {3, big, 1, big, 1, big, big, small, std::string(3000, 'x')},
                             {4, -1, 0, -5, 1, 1, 1, 1, "zero key"}});
    db = std::make_unique<KvrOzbFSegDBManager>();
    const QString guide = db->guideDirectory() + "/ISDBTEPG0.db";
    QDir().mkpath(db->guideDirectory());
    QFile::remove(guide);
    const std::vector<fixtures::Event> events = {
        {1, 10, big, big, big, big, big, "huge"},
        {2, 11, small, small, small, small, small, "tiny"},
        {3, 12, 60000, 10, 0, -3, -50, "negative duration"},
        {4, 13, 59999, 25, 75, 0, 0, "bad clock"},
    };
    fixtures::writeGuide(guide, fixtures::guideTable(false, 27, 0x5c38), events);
    fixtures::writeGuide(guide, fixtures::guideTable(true, 27, 0x5c38), events);
    settings->setCurrServiceID(0x5c38);
    settings->setCurrChannelNumber(27);
    settings->setCurrentDataTime(60000, 10 * 3600 + 30 * 60);
    watch({db->getChannelListModel(0), db->getChannelProxyModel(0), db->getStationListModel(0),
           db->getStationProxyModel(0), db->getEpgListModel(0), db->getEpgProxyModel(0), db->getEpgDayListModel()});

    db->init();
    db->getChannelsFromDB(0, true, 0);

    // Every service is kept, numbered 1/1 in its own key, values as read.
    struct Row {
        int id, channel, key, sid, seg, nameLength;
    };
    const Row expected[] = {
        {1, 27, big, 0x5c38, 0, 7}, {2, 27, small, 0x5cb8, 1, 0}, {3, big, 1, big, 0, 3000}, {4, -1, 0, -5, 0, 8}};
    ListModel* channels = db->getChannelListModel(0);
    ASSERT_EQ(channels->rowCount(), 4);
    for (const Row& r : expected) {
        ChannelItem* c = db->getChannelItemByID(0, r.id);
        ASSERT_NE(c, nullptr) << r.id;
        EXPECT_EQ(c->ChannelNumber, r.channel) << r.id;
        EXPECT_EQ(c->RemoconID, r.key) << r.id;
        EXPECT_EQ(c->ServiceID, r.sid) << r.id;
        EXPECT_EQ(c->ServiceSegType, r.seg) << r.id;
        EXPECT_EQ(c->TSName.size(), r.nameLength) << r.id;
        EXPECT_EQ(c->SubChannel, 1) << r.id;
        EXPECT_EQ(c->DispSubChannel, 1) << r.id;
        EXPECT_EQ(c->Available, 1) << r.id;
    }
    EXPECT_EQ(db->getChannelProxyModel(0)->rowCount(), 4);

    // One station per key; full-seg reception shows only the stations with a
    // usable (positive) full-seg service id, and a key below 1 has no index.
    QStringList keys;
    ListModel* stations = db->getStationListModel(0);
    for (int r = 0; r < stations->rowCount(); ++r)
        keys << stations->findbyRow(r)->itemKey();
    keys.sort();
    EXPECT_EQ(keys, QStringList({"-2147483648_1", "0_1", "1_1", "2147483647_1"}));
    QSortFilterProxyModel* shown = db->getStationProxyModel(0);
    QList<int> shownKeys;
    for (int r = 0; r < shown->rowCount(); ++r)
        shownKeys << db->getStationItemByProxyIndex(0, r)->RemoconID;
    std::sort(shownKeys.begin(), shownKeys.end());
    EXPECT_EQ(shownKeys, QList<int>({1, big}));
    EXPECT_EQ(db->getStationIndex(0, 0, 1), -1);
    EXPECT_EQ(db->getStationIndex(0, small, 1), -1);

    // On air: the latest start on the clock's date at or before now, so
    // neither the far-past nor the far-future start nor yesterday's event.
    EXPECT_TRUE(db->getCurrentEpgItem(0, 27, 0x5c38));
    EXPECT_EQ(db->currentEpgItem().eventID, 12);
    // It ends before it starts, so it is no programme on air now.
    EXPECT_EQ(db->getProgramNameFromDB(0, 0, 27, 0x5c38), "");

    // The guide: the event on air, then the one that follows it; the events
    // that started earlier are not listed.
    EXPECT_EQ(db->getEpgCountFormDB(0, 0, 27, 0x5c38), 1);
    std::atomic<bool> cancel{false};
    db->getEpgItemsFromDB(0, 0, 27, 0x5c38, true, cancel);
    db->makeEpgList(0);
    ListModel* guideList = db->getEpgListModel(0);
    ASSERT_EQ(guideList->rowCount(), 2);
    EXPECT_EQ(guideList->get(0, EpgItem::EventIDRole).toInt(), 12);
    EXPECT_EQ(guideList->get(1, EpgItem::EventIDRole).toInt(), 10);
    EXPECT_EQ(guideList->get(1, EpgItem::StartMJDRole).toInt(), big) << "kept as read";
    EXPECT_EQ(db->getEpgDayListModel()->rowCount(), 2);

    // The present/following table read whole, in start order.
    QList<int> order;
    for (const tagDbEpgItem& e : db->getCurrentEpgs(0, 27, 0x5c38))
        order << e.eventID;
    EXPECT_EQ(order, QList<int>({11, 13, 12, 10}));
}

}  // namespace
