#ifndef HOLVIK_DBRECORDS_H
#define HOLVIK_DBRECORDS_H

#include <QString>

#include <cstdint>
#include <memory>
#include <tuple>

// Records read from the channel and guide databases. The database manager
// builds them and hands them to the row classes by shared pointer.

// One service of a channel list.
struct tagDbChannelItem {
    int32_t _id = 0;
    int32_t ChannelNumber = 0;
    int32_t AudioPID = 0;
    int32_t VideoPID = 0;
    int32_t PMT_PID = 0;
    int32_t RemoconID = 0;
    int32_t ServiceType = 0;
    int32_t ServiceID = 0;
    int32_t RegionID = 0;
    int32_t ThreedigitNumber = 0;
    int32_t BerAVG = 0;
    int32_t LOGO_ID = 0;
    int32_t NetworkID = 0;
    int32_t ServiceSegType = 0;  // 0 full-seg, 1 one-seg, -1 neither
    int32_t SubChannel = 0;      // per-key service number, 0 = not numbered
    int32_t DispSubChannel = 0;  // displayed sub-channel, 0 = none
    int32_t UserRemoconID = 0;
    int32_t Available = 0;       // 1 shown, 0 hidden
    QString TSName;

    // Every field, for comparing two records.
    auto fields() const
    {
        return std::tie(_id, ChannelNumber, AudioPID, VideoPID, PMT_PID, RemoconID, ServiceType, ServiceID,
                        RegionID, ThreedigitNumber, BerAVG, LOGO_ID, NetworkID, ServiceSegType, SubChannel,
                        DispSubChannel, UserRemoconID, Available, TSName);
    }
    bool operator==(const tagDbChannelItem& o) const { return fields() == o.fields(); }
    bool operator!=(const tagDbChannelItem& o) const { return !(*this == o); }
};

// One station: a remote key and displayed sub-channel, joining the full-seg
// and the one-seg service of the same programme.
struct tagDbStationlItem {
    int32_t ChannelNumber = 0;
    int32_t RemoconID = 0;
    int32_t SubChannel = 0;
    int32_t DispSubChannel = 0;
    int32_t UserRemoconID = 0;
    int32_t ServiceSegType = 0;
    int32_t ServiceID = 0;
    int32_t NetworkID = 0;
    int32_t OneSegSID = 0;
    int32_t FullSegSID = 0;
    QString TSName;
};

// One programme-guide event. The reset values mark an unknown event.
struct tagDbEpgItem {
    int32_t _id = 0;
    int32_t serviceID = 0;
    int32_t eventID = 0;
    int32_t startMJD = -1;
    int32_t startHH = -1;
    int32_t startMM = -1;
    int32_t endMJD = -1;
    int32_t endHH = -1;
    int32_t endMM = -1;
    QString startDate;
    QString startTime;
    QString endTime;
    QString programName;
    QString evtText;
    QString evtExtItem;
    QString evtExtText;
    int32_t TopIndexDate = 0;

    void reset() { *this = tagDbEpgItem(); }
};

// One row of the guide's day list or of one day's hour list.
struct tagDbEpgDayTimeItem {
    int32_t DayTimeNumber = -1;
    int32_t DayTime = 0;
    int32_t DayTimeEpgIndex = 0;
    QString DayTimeText;
};

// Sort key of the channel and station lists: remote key, then sub-channel,
// then segment type (key 3, sub-channel 2, one-seg gives 321). Computed in
// 64 bits: the numbers come from the database as they are.
inline int32_t remoconSubId(int32_t remoconID, int32_t subChannel, int32_t serviceSegType)
{
    return static_cast<int32_t>(int64_t(serviceSegType) + 10 * int64_t(subChannel) + 100 * int64_t(remoconID));
}

using ChannelRecord = std::shared_ptr<tagDbChannelItem>;
using StationRecord = std::shared_ptr<tagDbStationlItem>;
using EpgRecord = std::shared_ptr<tagDbEpgItem>;
using EpgDayTimeRecord = std::shared_ptr<tagDbEpgDayTimeItem>;

#endif
