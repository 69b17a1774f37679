// The programme-guide side of the database manager: the event on air, the
// programme name now, the guide cache and the guide, day and hour lists.
#include "ChannelItem.h"
#include "EpgDayTimeItem.h"
#include "EpgItem.h"
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
#include <thread>

using fixtures::Event;

namespace {

const int MJD = 60000;
const int CH = 27;
const int SID = 0x5c38;       // full-seg service of key 1
const int SID_1SEG = 0x5cb8;  // one-seg service of key 1
const int CH2 = 28;
const int SID2 = 0x6000;      // full-seg service of key 2

int secs(int hh, int mm)
{
    return hh * 3600 + mm * 60;
}

class DbGuideTest : public fixtures::DbManagerFixture
{
protected:
    void SetUp() override
    {
        DbManagerFixture::SetUp();
        fixtures::writeChannels(dataDir->path() + "/ISDBT0.db",
                                {{1, CH, 1, SID, 1, 0x110, 0x111, 0x1F0, "Station one"},
                                 {2, CH, 1, SID_1SEG, 0xC0, 0x112, 0x113, 0x1FC8, "Station one 1seg"},
                                 {3, CH2, 2, SID2, 1, 0x120, 0x121, 0x1F0, "Station two"}});
        settings->setCurrServiceID(SID);
        settings->setCurrChannelNumber(CH);
        settings->setCurrentDataTime(MJD, secs(10, 30));
        db = std::make_unique<KvrOzbFSegDBManager>();
        guideDb = db->guideDirectory() + "/ISDBTEPG0.db";
        QFile::remove(guideDb);
        QList<QAbstractItemModel*> models{db->getEpgListModel(0), db->getEpgProxyModel(0), db->getEpgDayListModel()};
        for (int day = 0; day < 8; ++day)
            models << db->getEpgDayTimeListModel(day);
        watch(models);
    }
    void open()
    {
        db->init();
        db->getChannelsFromDB(0, true, 0);
    }
    void presentFollowing(int ch, int sid, const std::vector<Event>& events)
    {
        fixtures::writeGuide(guideDb, fixtures::guideTable(false, ch, sid), events);
    }
    void schedule(int ch, int sid, const std::vector<Event>& events)
    {
        fixtures::writeGuide(guideDb, fixtures::guideTable(true, ch, sid), events);
    }
    StationItem* station(int key) { return db->getStationItemByRemoconID(0, key, 1); }
    QList<QVariantList> rows(ListModel* model, QList<int> roles)
    {
        QList<QVariantList> out;
        for (int r = 0; r < model->rowCount(); ++r) {
            QVariantList row;
            for (int role : roles)
                row << model->data(model->index(r), role);
            out << row;
        }
        return out;
    }

    QString guideDb;
};

TEST_F(DbGuideTest, CurrentEventIsFoundAndShownInTheLists)
{
    presentFollowing(CH, SID, {{1, 100, MJD, 9, 5, 1, 0, "Morning"},
                               {2, 101, MJD, 10, 0, 1, 0, "News", "Today's news"},
                               {3, 102, MJD, 11, 0, 0, 45, "Drama"}});
    presentFollowing(CH2, SID2, {{1, 200, MJD, 10, 15, 2, 0, "Sports", "Live"}});
    open();
    QSignalSpy stationChanged(db.get(), &KvrOzbFSegDBManager::notifyStationDataChanged);

    EXPECT_TRUE(db->getCurrentEpgItem(0, CH, SID));
    tagDbEpgItem now = db->currentEpgItem();
    EXPECT_EQ(now.eventID, 101);
    EXPECT_EQ(now.programName, "News");
    EXPECT_EQ(now.startTime, "10:00");
    EXPECT_EQ(now.endTime, "11:00");
    EXPECT_EQ(now.endMJD, MJD);
    EXPECT_EQ(db->getChannelItem(0, SID, false)->ProgramName, "News");
    EXPECT_EQ(station(1)->ProgramName, "News");
    EXPECT_EQ(station(1)->ProgramText, "Today's news");
    EXPECT_EQ(station(1)->ProgramExtItem, "");
    EXPECT_EQ(station(1)->ProgramExtText, "ext");
    ASSERT_EQ(stationChanged.count(), 1);
    EXPECT_EQ(stationChanged[0][0].toInt(), db->getStationListModel(0)->getIndexFromItem(QString("1_1")));

    EXPECT_FALSE(db->getCurrentEpgItem(0, CH, SID)) << "the same event again is no change";

    // Another service: its rows get the programme, the current event stays.
    EXPECT_FALSE(db->getCurrentEpgItem(0, CH2, SID2));
    EXPECT_EQ(station(2)->ProgramName, "Sports");
    EXPECT_EQ(db->currentEpgItem().eventID, 101);

    // No channel row, no table, bad mode: nothing found.
    EXPECT_FALSE(db->getCurrentEpgItem(0, CH, 0x7777));
    EXPECT_FALSE(db->getCurrentEpgItem(0, CH, SID_1SEG));
    EXPECT_FALSE(db->getCurrentEpgItem(2, CH, SID));

    // The programme name now, from the schedule table of the full-seg service.
    schedule(CH, SID, {{1, 101, MJD, 10, 0, 1, 0, "News (schedule)"}});
    EXPECT_EQ(db->getProgramNameFromDB(0, 0, CH, SID), "News (schedule)");
    EXPECT_EQ(station(1)->ProgramName, "News (schedule)");
    EXPECT_EQ(db->getProgramNameFromDB(0, 2, CH, SID), "") << "segment type 2 is refused";
    EXPECT_EQ(db->getProgramNameFromDB(3, 0, CH, SID), "");
}

TEST_F(DbGuideTest, AProgrammeRunningAcrossMidnightIsOnAir)
{
    presentFollowing(CH, SID, {{1, 300, MJD - 1, 23, 30, 1, 30, "Late movie"}, {2, 301, MJD, 1, 0, 0, 30, "Night"}});
    open();
    struct Case {
        int hh, mm;
        const char* name;
    } cases[] = {
        {0, 15, "Late movie"},  // started yesterday, ends 01:00
        {0, 59, "Late movie"},
        {1, 10, "Night"},
        {1, 30, ""},  // today's last event has ended
    };
    for (const Case& c : cases) {
        settings->setCurrentDataTime(MJD, secs(c.hh, c.mm));
        EXPECT_EQ(db->getProgramNameFromDB(0, 1, CH, SID), c.name) << c.hh << ":" << c.mm;
    }
    // Once yesterday's programme has ended it is not the current event.
    settings->setCurrentDataTime(MJD, secs(0, 59));
    EXPECT_TRUE(db->getCurrentEpgItem(0, CH, SID));
    tagDbEpgItem now = db->currentEpgItem();
    EXPECT_EQ(now.programName, "Late movie");
    EXPECT_EQ(now.endMJD, MJD);
    EXPECT_EQ(now.endTime, " 1:00");
    settings->setCurrentDataTime(MJD + 1, secs(0, 10));
    presentFollowing(CH, SID, {{1, 300, MJD - 1, 23, 30, 1, 30, "Late movie"}});
    EXPECT_FALSE(db->getCurrentEpgItem(0, CH, SID));
}

TEST_F(DbGuideTest, EventTimesAreFormattedAndEndsCrossMidnight)
{
    presentFollowing(CH, SID, {{1, 1, MJD, 9, 5, 0, 30, "a"}, {2, 2, MJD, 23, 30, 1, 0, "b"}, {3, 3, MJD, 21, 30, 2, 29, "c"}});
    open();
    const QList<tagDbEpgItem> events = db->getCurrentEpgs(0, CH, SID);
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[0].startTime, " 9:05");
    EXPECT_EQ(events[0].endTime, " 9:35");
    EXPECT_EQ(events[1].startTime, "21:30");
    EXPECT_EQ(events[1].endTime, "23:59");
    EXPECT_EQ(events[2].endMJD, MJD + 1);
    EXPECT_EQ(events[2].endTime, " 0:30");
    EXPECT_EQ(events[2].serviceID, SID);
    EXPECT_TRUE(db->getCurrentEpgs(2, CH, SID).isEmpty());
    EXPECT_TRUE(db->getCurrentEpgs(0, CH2, SID2).isEmpty()) << "missing table";
}

TEST_F(DbGuideTest, GuideDayAndHourLists)
{
    presentFollowing(CH, SID, {{1, 10, MJD, 10, 0, 1, 0, "News"}});
    schedule(CH, SID,
             {
                 {1, 10, MJD, 10, 0, 1, 0, "News"},        // the event on air
                 {2, 11, MJD, 11, 0, 0, 30, "Eleven"},     // cache 1
                 {3, 12, MJD, 11, 30, 0, 30, "Half"},      // cache 2, same hour
                 {4, 13, MJD, 13, 0, 1, 0, "One pm"},      // cache 3, 12 o'clock has no event
                 {5, 14, MJD + 1, 6, 0, 0, 30, "Dawn"},    // cache 4, next day
                 {6, 15, MJD + 1, 6, 30, 0, 30, "Dawn 2"}, // cache 5
                 {7, 16, MJD + 9, 8, 0, 1, 0, "Far"},      // cache 6, day 9
             });
    open();
    EXPECT_EQ(db->getEpgCountFormDB(0, 0, CH, SID), 6);
    std::atomic<bool> cancel{false};
    db->getEpgItemsFromDB(0, 0, CH, SID, true, cancel);
    ASSERT_EQ(db->m_Epgs.size(), 7);
    EXPECT_EQ(db->m_Epgs[0]->eventID, 10) << "the event on air comes first";
    EXPECT_EQ(db->m_EpgsServiceID, SID);
    EXPECT_EQ(db->m_EpgsChannelNumber, CH);

    db->makeEpgList(0);
    ListModel* guide = db->getEpgListModel(0);
    EXPECT_EQ(rows(guide, {EpgItem::EventIDRole, EpgItem::TopIndexDateRole}),
              (QList<QVariantList>{{10, 1}, {11, 0}, {12, 0}, {13, 0}, {14, 1}, {15, 0}, {16, 1}}));
    EXPECT_EQ(db->getEpgListCount(0), db->getEpgExpectedListCount(6, SID))
        << "the current event plus the counted ones";
    EXPECT_EQ(db->getEpgProxyModel(0)->rowCount(), 7);
    EXPECT_EQ(db->getEpgIndexByProxyIndex(0, 4)->EventID, 14);
    EXPECT_EQ(db->getEpgIndexByIndex(0, 6)->EventID, 16);
    EXPECT_EQ(db->getEpgIndexByIndex(0, 7), nullptr);

    const QList<int> dayRoles{EpgDayTimeItem::DayTimeNumberRole, EpgDayTimeItem::DayTimeRole,
                              EpgDayTimeItem::DayTimeEpgIndexRole};
    EXPECT_EQ(rows(db->getEpgDayListModel(), dayRoles), (QList<QVariantList>{{0, 0, 0}, {1, 0, 4}, {9, 0, 6}}));
    EXPECT_EQ(rows(db->getEpgDayTimeListModel(0), dayRoles),
              (QList<QVariantList>{{10, 1, 0}, {11, 1, 1}, {13, 1, 3}}));
    EXPECT_EQ(rows(db->getEpgDayTimeListModel(1), dayRoles), (QList<QVariantList>{{6, 1, 4}}));
    EXPECT_EQ(db->getEpgDayTimeListModel(0)->findbyRow(2)->itemKey(), "13");
    for (int day = 2; day < 8; ++day)
        EXPECT_EQ(db->getEpgDayTimeListModel(day)->rowCount(), 0);
    EXPECT_EQ(db->getEpgDayTimeListModel(8), nullptr) << "day 9 has a day row but no hour list";

    // A cache of another service leaves every list empty.
    settings->setCurrServiceID(SID2);
    db->makeEpgList(0);
    EXPECT_EQ(guide->rowCount(), 0);
    EXPECT_EQ(db->getEpgDayListModel()->rowCount(), 0);
    EXPECT_EQ(db->getEpgDayTimeListModel(0)->rowCount(), 0);
}

TEST_F(DbGuideTest, DuplicateEventsMakeOneRowAndUnknownNowReadsTheWholeTable)
{
    settings->setCurrentDataTime(MJD, secs(5, 0));  // before every event: nothing on air
    schedule(CH, SID, {{1, 21, MJD, 8, 0, 1, 0, "First"}, {2, 22, MJD, 9, 0, 1, 0, "Second"},
                       {3, 21, MJD, 10, 0, 1, 0, "First again"}});
    open();
    EXPECT_EQ(db->getEpgCountFormDB(0, 0, CH, SID), 3);
    std::atomic<bool> cancel{false};
    db->getEpgItemsFromDB(0, 0, CH, SID, true, cancel);
    EXPECT_EQ(db->m_Epgs.size(), 3);
    db->makeEpgList(0);
    ListModel* guide = db->getEpgListModel(0);
    ASSERT_EQ(guide->rowCount(), 2);
    EXPECT_EQ(guide->data(guide->index(0), EpgItem::ProgramNameRole).toString(), "First again");
    EXPECT_EQ(rows(db->getEpgDayTimeListModel(0), {EpgDayTimeItem::DayTimeEpgIndexRole}),
              (QList<QVariantList>{{0}, {1}, {2}}));

    // Without a refill request a filled cache is kept.
    schedule(CH, SID, {{1, 30, MJD, 8, 0, 1, 0, "Other"}});
    db->getEpgItemsFromDB(0, 0, CH, SID, false, cancel);
    EXPECT_EQ(db->m_Epgs.size(), 3);
    // A failed read leaves the cache empty, and the lists follow.
    db->getEpgItemsFromDB(0, 0, CH2, SID2, true, cancel);
    EXPECT_EQ(db->m_Epgs.size(), 0);
    EXPECT_EQ(db->m_EpgsServiceID, SID2);
    db->getEpgItemsFromDB(0, 5, CH, SID, true, cancel);  // bad segment: cache kept
    EXPECT_EQ(db->m_EpgsServiceID, SID2);
}

TEST_F(DbGuideTest, ACancelledReadKeepsWhatWasRead)
{
    presentFollowing(CH, SID, {{1, 10, MJD, 10, 0, 1, 0, "News"}});
    schedule(CH, SID, {{1, 11, MJD, 11, 0, 1, 0, "a"}, {2, 12, MJD, 12, 0, 1, 0, "b"}});
    open();
    std::atomic<bool> cancel{true};
    db->getEpgItemsFromDB(0, 0, CH, SID, true, cancel);
    ASSERT_EQ(db->m_Epgs.size(), 1) << "only the event on air, no row of the read";
    EXPECT_EQ(db->m_Epgs[0]->eventID, 10);
}

TEST_F(DbGuideTest, ProgrammeFieldsReadOnAnotherThreadChangeOnTheModelThread)
{
    presentFollowing(CH, SID, {{1, 101, MJD, 10, 0, 1, 0, "News"}});
    open();
    QSignalSpy stationChanged(db.get(), &KvrOzbFSegDBManager::notifyStationDataChanged);
    bool result = false;
    std::thread worker([&] { result = db->getCurrentEpgItem(0, CH, SID); });
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(station(1)->ProgramName, "") << "not written from the reading thread";
    QCoreApplication::processEvents();
    EXPECT_EQ(station(1)->ProgramName, "News");
    EXPECT_EQ(stationChanged.count(), 1);

    // A rebuild between the read and the hand-over is harmless.
    settings->setCurrentDataTime(MJD, secs(10, 45));
    std::thread worker2([&] { db->getProgramNameFromDB(0, 1, CH, SID); });
    worker2.join();
    db->getChannelsFromDB(0, true, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(station(1)->ProgramName, "News");
}

TEST_F(DbGuideTest, GuideReadsRaceListRebuildsSafely)
{
    presentFollowing(CH, SID, {{1, 101, MJD, 10, 0, 1, 0, "News"}});
    presentFollowing(CH2, SID2, {{1, 201, MJD, 10, 0, 1, 0, "Sports"}});
    open();
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop.load()) {
            db->getCurrentEpgItem(0, CH, SID);
            db->getCurrentEpgItem(0, CH2, SID2);
            db->getProgramNameFromDB(0, 1, CH, SID);
        }
    });
    for (int i = 0; i < 60; ++i) {
        db->getChannelsFromDB(0, true, 0);
        if (i % 10 == 0)
            db->resetListModel();
        QCoreApplication::processEvents();
    }
    stop = true;
    reader.join();
    QCoreApplication::processEvents();
    // The rows stay usable: one more read fills the rebuilt rows again.
    EXPECT_FALSE(db->getCurrentEpgItem(0, CH2, SID2));
    EXPECT_EQ(station(2)->ProgramName, "Sports");
}

TEST_F(DbGuideTest, ModelAccessorsRefuseBadArguments)
{
    EXPECT_EQ(db->getEpgListModel(2), nullptr);
    EXPECT_EQ(db->getEpgProxyModel(-1), nullptr);
    EXPECT_EQ(db->getEpgListCount(2), 0);
    EXPECT_EQ(db->getEpgDayTimeListModel(-1), nullptr);
    EXPECT_EQ(db->getEpgIndexByProxyIndex(0, -1), nullptr);
    EXPECT_EQ(db->getEpgCountFormDB(0, 3, CH, SID), 0);
    EXPECT_TRUE(db->checkGetCurrentEpgItem(SID, false)) << "nothing known yet";
    EXPECT_TRUE(db->checkNeedToMakeEpgList(CH, SID));
    EXPECT_FALSE(db->checkNeedToMakeEpgList(CH, SID2));
    tagDbEpgItem item;
    item.serviceID = SID;
    item.startMJD = MJD;
    item.startHH = 10;
    item.startMM = 0;
    item.TopIndexDate = 1;
    db->setCurrentEpgItem(&item);
    EXPECT_FALSE(db->checkGetCurrentEpgItem(SID, false));
    EXPECT_TRUE(db->checkGetCurrentEpgItem(SID, true));
    EXPECT_EQ(db->currentEpgItem().TopIndexDate, 0);

    QSignalSpy begin(db.get(), &KvrOzbFSegDBManager::beginEpgListModelUpdate);
    QSignalSpy end(db.get(), &KvrOzbFSegDBManager::endEpgListModelUpdate);
    db->setDynamicSortFilterForEpgList(0, false, false);
    db->setDynamicSortFilterForEpgList(0, true, true);
    db->setDynamicSortFilterForEpgList(5, true, true);
    EXPECT_EQ(begin.count(), 1);
    EXPECT_EQ(end.count(), 1);
}

}  // namespace
