// The row classes: role numbers and names the QML reads, keys, copies from
// records.
#include "ChannelItem.h"
#include "EpgDayTimeItem.h"
#include "EpgItem.h"
#include "StationItem.h"

#include <gtest/gtest.h>

namespace {

struct RoleTable {
    ListItem* item;
    int first;
    QList<QByteArray> names;
};

TEST(RowItems, RoleNumbersAndNamesAreFixed)
{
    ChannelItem ch;
    StationItem st;
    EpgItem epg;
    EpgDayTimeItem day;
    const RoleTable tables[] = {
        {&ch, 257, {"_id", "ChannelNumber", "AudioPID", "VideoPID", "PMT_PID", "RemoconID", "ServiceType",
                    "ServiceID", "RegionID", "ThreedigitNumber", "BerAVG", "LOGO_ID", "NetworkID", "ServiceSegType",
                    "SubChannel", "DispSubChannel", "UserRemoconID", "Available", "RemoconSubIDRole", "TSName",
                    "ProgramName"}},
        {&st, 456, {"ChannelNumber", "RemoconID", "SubChannel", "DispSubChannel", "UserRemoconID", "ServiceSegType",
                    "ServiceID", "NetworkID", "OneSegSID", "FullSegSID", "RemoconSubIDRole", "TSName", "ProgramName",
                    "ProgramText", "ProgramExtItem", "ProgramExtText"}},
        {&epg, 356, {"_id", "ServiceID", "EventID", "StartMJD", "StartHH", "StartMM", "EndMJD", "EndHH", "EndMM",
                     "StartDate", "StartTime", "EndTime", "ProgramName", "EvtText", "EvtExtItem", "EvtExtText",
                     "TopIndexDate"}},
        {&day, 1256, {"DayTimeNumber", "DayTime", "DayTimeEpgIndex", "DayTimeText"}},
    };
    for (const RoleTable& t : tables) {
        const QHash<int, QByteArray> names = t.item->roleNames();
        EXPECT_EQ(names.size(), t.names.size());
        for (int i = 0; i < t.names.size(); ++i) {
            EXPECT_EQ(names.value(t.first + i), t.names[i]) << "role " << t.first + i;
            EXPECT_TRUE(t.item->data(t.first + i).isValid()) << "role " << t.first + i;
        }
        EXPECT_FALSE(t.item->data(t.first - 1).isValid());
        EXPECT_FALSE(t.item->data(t.first + t.names.size()).isValid());
        EXPECT_FALSE(t.item->data(999).isValid());
    }
}

std::shared_ptr<tagDbChannelItem> channelRecord()
{
    auto r = std::make_shared<tagDbChannelItem>();
    int v = 1;
    for (int32_t* f : {&r->_id, &r->ChannelNumber, &r->AudioPID, &r->VideoPID, &r->PMT_PID, &r->RemoconID,
                       &r->ServiceType, &r->ServiceID, &r->RegionID, &r->ThreedigitNumber, &r->BerAVG, &r->LOGO_ID,
                       &r->NetworkID, &r->ServiceSegType, &r->SubChannel, &r->DispSubChannel, &r->UserRemoconID,
                       &r->Available})
        *f = v++;
    r->TSName = "NHK";
    return r;
}

TEST(RowItems, ChannelRowCopiesTheRecordAndDerivesItsSortKey)
{
    auto r = channelRecord();
    r->RemoconID = 12;
    r->SubChannel = 3;
    r->ServiceSegType = 1;
    ChannelItem ch(r);
    for (int role = 257; role <= 274; ++role) {
        if (role != ChannelItem::RemoconIDRole && role != ChannelItem::SubChannelRole
            && role != ChannelItem::ServiceSegTypeRole) {
            EXPECT_EQ(ch.data(role).toInt(), role - 256) << "role " << role;
        }
    }
    EXPECT_EQ(ch.data(ChannelItem::RemoconSubIDRole).toInt(), 1231);
    EXPECT_EQ(ch.data(ChannelItem::TSNameRole).toString(), "NHK");
    EXPECT_EQ(ch.itemKey(), "1");
    EXPECT_EQ(ch.itemNumber(), 8u);

    // The programme name is not part of the record: a change of it alone
    // needs no update, and an update keeps it.
    ch.ProgramName = "News";
    EXPECT_FALSE(ch.checkNeedToUpdate(r));
    auto changed = std::make_shared<tagDbChannelItem>(*r);
    changed->DispSubChannel = 7;
    EXPECT_TRUE(ch.checkNeedToUpdate(changed));
    changed->DispSubChannel = r->DispSubChannel;
    changed->TSName = "NHK2";
    EXPECT_TRUE(ch.checkNeedToUpdate(changed));
    changed->SubChannel = 5;
    ch.updateData(changed);
    EXPECT_EQ(ch.RemoconSubID, 1251);
    EXPECT_EQ(ch.ProgramName, "News");
    EXPECT_TRUE(ch.checkNeedToUpdate(nullptr));

    ChannelItem blank(std::shared_ptr<tagDbChannelItem>(), nullptr);
    for (int role = 257; role <= 275; ++role)
        EXPECT_EQ(blank.data(role).toInt(), 0);
    EXPECT_TRUE(blank.data(ChannelItem::TSNameRole).toString().isEmpty());
    EXPECT_EQ(blank.itemKey(), "0");
    EXPECT_EQ(blank.itemNumber(), 0u);
    ch.updateData(nullptr);
    EXPECT_EQ(ch.ServiceID, 0);
    EXPECT_TRUE(ch.ProgramName.isEmpty());
}

TEST(RowItems, StationRowKeyAndSortKey)
{
    auto r = std::make_shared<tagDbStationlItem>();
    r->RemoconID = 3;
    r->DispSubChannel = 0;
    r->SubChannel = 2;
    r->ServiceSegType = 1;
    r->ServiceID = 0x5C8;
    r->OneSegSID = 0x5C8;
    StationItem st(r);
    EXPECT_EQ(st.itemKey(), "3_0");
    EXPECT_EQ(st.itemNumber(), 0x5C8u);
    EXPECT_EQ(st.data(StationItem::RemoconSubIDRole).toInt(), 321);
    st.ProgramName = "kept";
    r->FullSegSID = 0x5C0;
    st.updateData(r);
    EXPECT_EQ(st.ProgramName, "kept");
    EXPECT_EQ(st.data(StationItem::FullSegSIDRole).toInt(), 0x5C0);
    st.resetData();
    EXPECT_EQ(st.itemKey(), "0_0");
    EXPECT_TRUE(st.ProgramName.isEmpty());
}

TEST(RowItems, GuideRowsCopyTheirRecords)
{
    auto e = std::make_shared<tagDbEpgItem>();
    e->eventID = 77;
    e->_id = 4;
    e->TopIndexDate = 5;
    e->startTime = " 9:05";
    EpgItem item(e);
    EXPECT_EQ(item.data(EpgItem::TopIndexDateRole).toInt(), 1);
    EXPECT_EQ(item.data(EpgItem::StartTimeRole).toString(), " 9:05");
    EXPECT_EQ(item.itemNumber(), 77u);
    EXPECT_EQ(item.itemKey(), "4");
    item.updateData(nullptr);
    EXPECT_EQ(item.data(EpgItem::TopIndexDateRole).toInt(), 0);
    EXPECT_EQ(item.EventID, 0);

    EpgDayTimeItem empty;
    EXPECT_EQ(empty.data(EpgDayTimeItem::DayTimeNumberRole).toInt(), -1);
    auto d = std::make_shared<tagDbEpgDayTimeItem>();
    d->DayTimeNumber = 14;
    d->DayTime = 1;
    d->DayTimeEpgIndex = 6;
    d->DayTimeText = "14";
    EpgDayTimeItem hour(d);
    EXPECT_EQ(hour.itemKey(), "14");
    EXPECT_EQ(hour.itemNumber(), 14u);
    EXPECT_EQ(hour.data(EpgDayTimeItem::DayTimeEpgIndexRole).toInt(), 6);
    hour.resetData();
    EXPECT_EQ(hour.DayTimeNumber, -1);
}

}  // namespace
