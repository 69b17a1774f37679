#pragma once
// Writers (and a reader) of the channel and programme-guide databases in the
// layout the broadcast engine keeps on the board. The engine stand-in uses
// them after a scan and on guide refreshes; tests use them to make fixture
// databases for the application's read-only database code.
//
// Every write runs in one transaction in SQLite's default rollback-journal
// mode, so a reader that opens the file read-only always sees either the old
// or the new content and never needs write access to the folder.

#include <string>
#include <vector>

namespace bsim {

// One row of table `channels`.
struct ChannelRow {
    int id = 0;              // _id, the engine's channel-table id (setChannel takes it)
    int channelNumber = 0;   // physical (RF) channel
    int remoconID = 0;
    int serviceID = 0;
    int logoID = 0;
    std::string tsName;      // UTF-8
    int serviceType = 1;     // 1 full-segment TV, 0xC0 one-segment
    int regionID = 0;
    int audioPID = 0;
    int videoPID = 0;
    int pmtPID = 0;
    int threeDigitNumber = 0;
    int berAVG = 0;
    int networkID = 0;
};

// One row of a guide table.
struct GuideRow {
    int id = 0;
    int eventID = 0;
    int startMJD = 0;
    int startHH = 0;
    int startMM = 0;
    int durationHH = 0;
    int durationMM = 0;
    std::string name;     // EvtName
    std::string text;     // EvtText
    std::string extItem;  // ExtEvtItem
    std::string extText;  // ExtEvtText
};

struct GuideTable {
    std::string name;  // see guideTableName()
    std::vector<GuideRow> rows;
};

// "EPG_PF_" (present/following, every service) or "EPG_Sche_" (schedule,
// full-segment services) + channel + "_0x" + service ID in lower-case hex.
std::string guideTableName(bool schedule, int channelNumber, int serviceID);

// Replaces the whole table `channels` of the database at `path` (created
// when missing) with `rows`. False with a message in *error on failure.
bool writeChannelDatabase(const std::string& path, const std::vector<ChannelRow>& rows,
                          std::string* error = nullptr);

// Reads table `channels` back in _id order. False when the file or the table
// cannot be read.
bool readChannelDatabase(const std::string& path, std::vector<ChannelRow>* rows,
                         std::string* error = nullptr);

// Writes guide tables into the database at `path` (created when missing).
// Each listed table is dropped and written anew; with `replaceAll` every other
// table of the file is dropped too.
bool writeGuideDatabase(const std::string& path, const std::vector<GuideTable>& tables,
                        bool replaceAll, std::string* error = nullptr);

}  // namespace bsim
