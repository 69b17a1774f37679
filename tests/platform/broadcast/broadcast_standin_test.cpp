// The broadcast engine stand-in: scenario parsing, scan and database writing,
// tuning, both handover paths, channel information limits, signal profile,
// injection and the call log. Every listener call must come from the
// engine's own thread.
#include "BroadcastDb.h"
#include "BroadcastSim.h"
#include "ISDBTPlayer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct Event {
    int msg, ext1, ext2;
    std::vector<int> record;
    std::thread::id thread;
};

std::mutex gMutex;
std::condition_variable gCv;
std::vector<Event> gEvents;

int listener(int msg, int ext1, int ext2, void* obj) {
    Event e{msg, ext1, ext2, {}, std::this_thread::get_id()};
    if (obj) {
        const int* r = static_cast<const int*>(obj);
        size_t n = msg == 9 ? 3 : msg == 48 ? 7 : msg == 63 ? 18 : 4;
        e.record.assign(r, r + n);
    }
    std::lock_guard<std::mutex> lk(gMutex);
    gEvents.push_back(e);
    gCv.notify_all();
    return 0;
}

const char* kScenario = R"(
clock 60000 10 15 30
timing prepare=5 scan_step=1 tune=5 handover=20 epg_refresh=0
station 20 0x7f10 Aurora
  logo 100 100
  relay 34 2
  service fseg 0xe100 1 11 0x111 0x112 0x101 Aurora HD
    audiomode 2
    audio por eng Portugues | English
    event +0 10:00 1:00 Morning News | Headlines of the day
    event +0 11:00 0:30 Cartoons
  service 1seg 0xe118 1 19 0x181 0x182 0x1fc8 Aurora 1Seg
station 27 0x7f30 Vale
  logo 8 4
  service fseg 0xe300 5 51 0x311 0x312 0x301 Vale
    event +0 10:00 2:00 AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA
signal 0 cnr=25.5 tot=2550 oneseg=2600 b0=1 b1=2 b2=3 b3=4 errA=0 totA=100 errB=0 totB=100
signal 1000 cnr=3.0 tot=300 errA=40 totA=100 errB=60 totB=100 2ts=1
signal 0 ch=34 cnr=20.0 tot=2000 errA=0 totA=100 errB=0 totB=100
)";

class StandIn : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("bsim-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        setenv("HOLVIK_ROOT", root_.c_str(), 1);
        unsetenv("OZB_DATA_PATH");
        unsetenv("HOLVIK_BROADCAST_SCENARIO");
        bsim::Scenario sc;
        std::string error;
        ASSERT_TRUE(bsim::parseScenario(kScenario, &sc, &error)) << error;
        bsim::setScenario(sc);
        bsim::clearCalls();
        bsim::clearResults();
        std::lock_guard<std::mutex> lk(gMutex);
        gEvents.clear();
    }
    void TearDown() override {
        bsim::resetScenario();
        bsim::clearResults();
        bsim::releaseClock();
        fs::remove_all(root_);
    }

    // Waits for the count-th event with code msg (1 = first) for which
    // `match` holds, and returns it (msg -1 when none came).
    Event waitFor(int msg, int count = 1,
                  const std::function<bool(const Event&)>& match = nullptr) {
        std::unique_lock<std::mutex> lk(gMutex);
        Event found{-1, 0, 0, {}, {}};
        gCv.wait_for(lk, std::chrono::seconds(5), [&] {
            int n = 0;
            for (const Event& e : gEvents)
                if (e.msg == msg && (!match || match(e)) && ++n == count) {
                    found = e;
                    return true;
                }
            return false;
        });
        return found;
    }

    // Waits for the count-th periodic guide refresh of the tuned service.
    bool waitForGuideRefresh(int count) {
        return waitFor(30, count, [](const Event& e) { return e.ext2 == 0x50; }).msg == 30;
    }

    int count(int msg) {
        std::lock_guard<std::mutex> lk(gMutex);
        int n = 0;
        for (const Event& e : gEvents) n += e.msg == msg ? 1 : 0;
        return n;
    }

    std::vector<Event> events() {
        std::lock_guard<std::mutex> lk(gMutex);
        return gEvents;
    }
    void clearEvents() {
        std::lock_guard<std::mutex> lk(gMutex);
        gEvents.clear();
    }

    // A prepared engine that has scanned once.
    void prepareAndScan(dtv::ISDBTPlayer& p) {
        ASSERT_EQ(p.setListener(listener), 0);
        ASSERT_EQ(p.prepare(0x1234), 0);
        ASSERT_EQ(waitFor(1).ext1, 0x1234);
        ASSERT_EQ(p.search(0, 0, 0, 0, 0), 0);
        ASSERT_EQ(waitFor(2).msg, 2);
        ASSERT_TRUE(bsim::waitIdle());
    }

    int rowId(int channel, int serviceID) {
        std::vector<bsim::ChannelRow> rows;
        bsim::readChannelDatabase(bsim::channelDirectory() + "/ISDBT0.db", &rows);
        for (const auto& r : rows)
            if (r.channelNumber == channel && r.serviceID == serviceID) return r.id;
        return -1;
    }

    fs::path root_;
};

TEST(ScenarioParser, RejectsBadLinesWithTheirNumber) {
    const struct {
        const char* text;
        const char* expect;
    } cases[] = {
        {"bogus 1", "line 1: unknown directive"},
        {"\nstation 13 1 Low", "line 2: bad station"},
        {"station 20 0x10000 Big", "bad station"},
        {"station 20 1 A\nstation 20 2 B", "channel used twice"},
        {"service fseg 1 1 1 1 1 1 X", "outside a station"},
        {"station 20 1 A\nservice hd 1 1 1 1 1 1 X", "fseg or 1seg"},
        {"station 20 1 A\nservice fseg 1 1 1 1 1", "7 fields"},
        {"station 20 1 A\nservice fseg 99999999999 1 1 1 1 1 X", "bad service field"},
        {"station 20 1 A\nservice fseg 1 1 1 1 1 1 X\naudio PO - x", "three small letters"},
        {"station 20 1 A\nservice fseg 1 1 1 1 1 1 X\nevent +0 25:00 1:00 N", "bad event time"},
        {"station 20 1 A\nservice fseg 1 1 1 1 1 1 X\nevent 12 10:00 1:00 N", "bad event day"},
        {"signal 10 cnr=1\nsignal 5 cnr=2", "rise in time"},
        {"signal 10 ch=34 cnr=1\nsignal 5 ch=34 cnr=2", "rise in time"},
        {"signal 0 ch=13 cnr=1", "bad signal value"},
        {"signal 0 cnr=abc", "bad signal value"},
        {"timing tune=-1", "bad timing"},
        {"clock 60000 24 0 0", "bad clock"},
    };
    for (const auto& c : cases) {
        bsim::Scenario sc;
        std::string error;
        EXPECT_FALSE(bsim::parseScenario(c.text, &sc, &error)) << c.text;
        EXPECT_NE(error.find(c.expect), std::string::npos) << c.text << " -> " << error;
    }
}

TEST(ScenarioParser, ReadsEveryDirective) {
    bsim::Scenario sc;
    std::string error;
    ASSERT_TRUE(bsim::parseScenario(kScenario, &sc, &error)) << error;
    ASSERT_EQ(sc.stations.size(), 2u);
    const bsim::Station& st = sc.stations[0];
    EXPECT_EQ(st.channel, 20);
    EXPECT_EQ(st.networkID, 0x7f10);
    EXPECT_EQ(st.name, "Aurora");
    EXPECT_EQ(st.relayChannel, 34);
    EXPECT_EQ(st.affiliates, 2);
    ASSERT_EQ(st.services.size(), 2u);
    const bsim::Service& hd = st.services[0];
    EXPECT_EQ(hd.segType, 0);
    EXPECT_EQ(hd.serviceID, 0xe100);
    EXPECT_EQ(hd.threeDigit, 11);  // decimal, not octal
    EXPECT_EQ(hd.audioMode, 2);
    ASSERT_EQ(hd.audio.size(), 1u);
    EXPECT_EQ(hd.audio[0].mainCode, ('p' << 16) | ('o' << 8) | 'r');
    EXPECT_EQ(hd.audio[0].subText, "English");
    ASSERT_EQ(hd.events.size(), 2u);
    EXPECT_EQ(hd.events[0].text, "Headlines of the day");
    EXPECT_EQ(st.services[1].segType, 1);
    EXPECT_FALSE(sc.clockFromSystem);
    EXPECT_EQ(sc.timing.scanStepMs, 1);
    ASSERT_EQ(sc.signal.size(), 3u);
    EXPECT_FLOAT_EQ(sc.signal[1].cnr, 3.0f);
    EXPECT_EQ(sc.signal[1].twoTs, 1);
    EXPECT_EQ(sc.signal[1].channel, 0);
    EXPECT_EQ(sc.signal[2].channel, 34);

    // The sample scenarios beside the stand-in parse.
    for (const auto& entry : fs::directory_iterator(HOLVIK_SCENARIO_DIR)) {
        bsim::Scenario file;
        EXPECT_TRUE(bsim::loadScenarioFile(entry.path().string(), &file, &error))
            << entry.path() << ": " << error;
        EXPECT_FALSE(file.stations.empty()) << entry.path();
    }

    bsim::Scenario def = bsim::defaultScenario();
    EXPECT_GE(def.stations.size(), 3u);
    EXPECT_FALSE(def.stations[0].services[0].events.empty());
}

TEST(ScenarioParser, AChannelWithAProfileOfItsOwnIgnoresTheCommonOne) {
    bsim::Scenario sc;
    std::string error;
    ASSERT_TRUE(bsim::parseScenario("signal 0 cnr=20\nsignal 500 cnr=5\n"
                                    "signal 300 ch=34 cnr=30\n",
                                    &sc, &error))
        << error;
    const struct {
        int channel, ms;
        float cnr;  // -1: not received
    } cases[] = {
        {20, 0, 20}, {20, 499, 20}, {20, 500, 5}, {27, 9999, 5},  // the common profile
        {34, 0, -1}, {34, 299, -1}, {34, 300, 30}, {34, 9999, 30},  // its own, from 300 ms on
    };
    for (const auto& c : cases) {
        const bsim::SignalPoint* p = bsim::signalAt(sc, c.channel, c.ms);
        EXPECT_EQ(p ? p->cnr : -1.0f, c.cnr) << c.channel << " at " << c.ms;
    }
}

// What an accepted scenario must hold, whatever text it came from.
std::string brokenRule(const bsim::Scenario& sc) {
    auto in16 = [](int v) { return v >= 0 && v <= 0xFFFF; };
    for (size_t i = 0; i < sc.stations.size(); ++i) {
        const bsim::Station& st = sc.stations[i];
        if (st.channel < 14 || st.channel > 69 || !in16(st.networkID)) return "station out of range";
        for (size_t j = 0; j < i; ++j)
            if (sc.stations[j].channel == st.channel) return "channel used twice";
        if (st.relayChannel != -1 && (st.relayChannel < 14 || st.relayChannel > 69)) return "relay";
        for (const bsim::Service& sv : st.services) {
            if (sv.segType != 0 && sv.segType != 1) return "service type";
            for (int v : {sv.serviceID, sv.remoconID, sv.threeDigit, sv.audioPID, sv.videoPID, sv.pmtPID})
                if (!in16(v)) return "service field";
            if (sv.audio.size() > 3) return "audio components";
        }
    }
    if (!sc.clockFromSystem && (sc.clockHour < 0 || sc.clockHour > 23 || sc.clockMinute < 0 ||
                                sc.clockMinute > 59 || sc.clockSecond < 0 || sc.clockSecond > 59))
        return "clock";
    for (size_t i = 0; i < sc.signal.size(); ++i) {
        if (sc.signal[i].atMs < 0) return "signal time";
        for (size_t j = 0; j < i; ++j)
            if (sc.signal[j].channel == sc.signal[i].channel && sc.signal[j].atMs >= sc.signal[i].atMs)
                return "signal points out of order";
    }
    return "";
}

TEST(ScenarioParser, MutatedInputIsAcceptedSoundOrRefusedAtItsFirstBadLine) {
    std::mt19937 rng(1234);
    std::string base = kScenario;
    int accepted = 0, refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string s = base;
        int edits = 1 + rng() % 8;
        for (int i = 0; i < edits; ++i) {
            size_t at = rng() % s.size();
            switch (rng() % 3) {
                case 0: s[at] = static_cast<char>(rng()); break;
                case 1: s.erase(at, 1 + rng() % 16); break;
                default: s.insert(at, 1, "0123456789x-+|:= \n#"[rng() % 19]); break;
            }
            if (s.empty()) s = "x";
        }
        // A refused text leaves the caller's scenario as it was.
        bsim::Scenario sc;
        sc.temperature = -999;
        std::string error;
        if (bsim::parseScenario(s, &sc, &error)) {
            ++accepted;
            ASSERT_EQ(brokenRule(sc), "") << s;
            continue;
        }
        ++refused;
        ASSERT_EQ(sc.temperature, -999) << s;
        // "line N: why", N the first line that cannot be read: the lines
        // before it parse, and it fails again on its own number.
        int lineNo = 0;
        size_t why = 0;
        ASSERT_EQ(sscanf(error.c_str(), "line %d: %zn", &lineNo, &why), 1) << error;
        ASSERT_GT(why, 0u) << error;
        ASSERT_LT(why, error.size()) << "a reason follows the number: " << error;
        std::istringstream lines(s);
        std::string line, before;
        int total = 0;
        while (std::getline(lines, line)) {
            if (++total < lineNo) before += line + "\n";
            if (total == lineNo) break;
        }
        ASSERT_EQ(total, lineNo) << "the line exists: " << error;
        bsim::Scenario head;
        std::string headError;
        ASSERT_TRUE(bsim::parseScenario(before, &head, &headError)) << error << " / " << headError;
        ASSERT_FALSE(bsim::parseScenario(before + line + "\n", &head, &headError)) << error;
        ASSERT_EQ(headError, error);
    }
    // The mutations reach both outcomes.
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
}

TEST_F(StandIn, ScanWritesReadableDatabasesAndReportsEachChannel) {
    dtv::ISDBTPlayer p;
    EXPECT_EQ(p.search(0, 0, 0, 0, 0), -1);  // not prepared
    prepareAndScan(p);

    std::vector<Event> ev = events();
    int progress = 0, found = 0;
    for (const Event& e : ev) {
        EXPECT_EQ(e.thread, bsim::engineThread()) << "event " << e.msg;
        if (e.msg != 5) continue;
        ++progress;
        if (e.ext2 >= 0) {
            ++found;
            EXPECT_TRUE(e.ext2 == 20 || e.ext2 == 27);
        }
    }
    EXPECT_EQ(progress, 56);  // UHF 14..69
    EXPECT_EQ(found, 2);
    EXPECT_EQ(waitFor(5, 56).ext1, 100);
    EXPECT_EQ(waitFor(2).ext1, 0);

    // Read the files the way the application does: read-only, no write access needed.
    const std::string chPath = bsim::channelDirectory() + "/ISDBT0.db";
    EXPECT_EQ(chPath, (root_ / "opt/data/kvrozb_data/ISDBT0.db").string());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(chPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT _id, channelNumber, remoconID, serviceID, LOGO_ID, TSName,"
                                 " serviceType, regionID, audioPID, videoPID, PMT_PID,"
                                 " threedigitNumber, berAVG, networkID FROM channels"
                                 " ORDER BY remoconID ASC, serviceType DESC, threedigitNumber ASC",
                                 -1, &st, nullptr),
              SQLITE_OK);
    std::vector<std::pair<int, int>> order;  // (serviceType, serviceID)
    while (sqlite3_step(st) == SQLITE_ROW)
        order.emplace_back(sqlite3_column_int(st, 6), sqlite3_column_int(st, 3));
    sqlite3_finalize(st);
    sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "delete");
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
    std::vector<std::pair<int, int>> want = {{0xC0, 0xe118}, {1, 0xe100}, {1, 0xe300}};
    EXPECT_EQ(order, want);

    std::vector<bsim::ChannelRow> rows;
    ASSERT_TRUE(bsim::readChannelDatabase(chPath, &rows));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].pmtPID, 0x1fc8);
    EXPECT_EQ(rows[1].networkID, 0x7f10);
    EXPECT_EQ(rows[1].tsName, "Aurora 1Seg");

    // Guide: present/following tables for every service, schedules for full-segment ones.
    const std::string epg = bsim::guideDirectory() + "/ISDBTEPG0.db";
    ASSERT_EQ(sqlite3_open_v2(epg.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name", -1,
                       &st, nullptr);
    std::vector<std::string> tables;
    while (sqlite3_step(st) == SQLITE_ROW)
        tables.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    EXPECT_EQ(tables, (std::vector<std::string>{"EPG_PF_20_0xe100", "EPG_PF_20_0xe118",
                                                "EPG_PF_27_0xe300", "EPG_Sche_20_0xe100",
                                                "EPG_Sche_27_0xe300"}));
    sqlite3_prepare_v2(db,
                       "SELECT _id, EventID, Start_MJD, Start_HH, Start_MM, Duration_HH,"
                       " Duration_MM, EvtName, EvtText, ExtEvtItem, ExtEvtText FROM EPG_PF_20_0xe100"
                       " ORDER BY Start_MJD ASC, Start_HH ASC, Start_MM ASC",
                       -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 2), 60000);
    EXPECT_EQ(sqlite3_column_int(st, 3), 10);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 7)), "Morning News");
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
}

TEST_F(StandIn, ScanRewritesDamagedDatabasesThatAReaderKeepsOpen) {
    const std::string chPath = bsim::channelDirectory() + "/ISDBT0.db";
    const std::string epgPath = bsim::guideDirectory() + "/ISDBTEPG0.db";
    for (const std::string& path : {chPath, epgPath}) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << std::string(8192, '\x5a');
    }
    // The application opens the channel database once and keeps it.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(chPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    auto rowCount = [&] {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM channels", -1, &st, nullptr) != SQLITE_OK)
            return -1;
        const int n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
        sqlite3_finalize(st);
        return n;
    };
    EXPECT_EQ(rowCount(), -1);

    dtv::ISDBTPlayer p;
    prepareAndScan(p);
    EXPECT_EQ(rowCount(), 3);
    sqlite3_close_v2(db);
    std::vector<bsim::ChannelRow> rows;
    EXPECT_TRUE(bsim::readChannelDatabase(chPath, &rows));
    EXPECT_EQ(rows.size(), 3u);
    ASSERT_EQ(sqlite3_open_v2(epgPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM sqlite_master", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 5) << "the guide's tables";
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
}

TEST_F(StandIn, CancelledScanWritesNothingAndAdditionalScanKeepsIds) {
    dtv::ISDBTPlayer p;
    p.setListener(listener);
    p.prepare(1);
    waitFor(1);
    bsim::Scenario sc = bsim::defaultScenario();
    sc.timing.scanStepMs = 50;
    bsim::setScenario(sc);
    ASSERT_EQ(p.search(0, 0, 0, 0, 0), 0);
    EXPECT_EQ(p.search(0, 0, 0, 0, 0), -1);  // already scanning
    EXPECT_EQ(p.searchCancel(), 0);
    ASSERT_TRUE(bsim::waitIdle());
    // The cancelled search ends with one completion; the databases, there
    // since prepare, stay empty.
    int completions = 0;
    for (const Event& e : events()) completions += e.msg == 2 ? 1 : 0;
    EXPECT_EQ(completions, 1);
    std::vector<bsim::ChannelRow> rows;
    EXPECT_TRUE(bsim::readChannelDatabase(bsim::channelDirectory() + "/ISDBT0.db", &rows));
    EXPECT_TRUE(rows.empty());
    clearEvents();

    std::string error;
    ASSERT_TRUE(bsim::parseScenario(kScenario, &sc, &error));
    bsim::setScenario(sc);
    ASSERT_EQ(p.search(0, 0, 0, 0, 0), 0);
    waitFor(2);
    int before = rowId(27, 0xe300);
    sc.stations.push_back(sc.stations[1]);
    sc.stations.back().channel = 40;
    sc.stations.back().services[0].serviceID = 0xe900;
    bsim::setScenario(sc);
    ASSERT_EQ(p.search(1, 0, 0, 0, 0), 0);
    waitFor(2, 2);
    EXPECT_EQ(rowId(27, 0xe300), before);
    EXPECT_EQ(rowId(40, 0xe900), 4);
}

TEST_F(StandIn, TuneDeliversAvStartThenVideoThenGuide) {
    bsim::freezeClock();
    dtv::ISDBTPlayer p;
    prepareAndScan(p);
    clearEvents();
    const int oneSeg = rowId(20, 0xe118), full = rowId(20, 0xe100);
    EXPECT_EQ(p.setChannel(full, 999, 0, 0, 0, 0, 0, 0, 0, 0), 0);  // full-segment id taken
    ASSERT_TRUE(bsim::waitIdle());
    clearEvents();
    ASSERT_EQ(p.setChannel(full, oneSeg, 0, 0, 1, 0, 0, 0, 0, 1), 0);
    ASSERT_TRUE(bsim::waitIdle());
    std::vector<Event> ev = events();
    ASSERT_GE(ev.size(), 4u);
    EXPECT_EQ(ev[0].msg, 48);
    EXPECT_EQ(ev[0].record, (std::vector<int>{20, 0x7f10, 0xe100, 0xe118, 0, 0, 1}));
    EXPECT_EQ(ev[1].msg, 6);
    EXPECT_EQ(ev[1].ext1, 1);
    EXPECT_EQ(ev[1].ext2, 0xe118);
    EXPECT_EQ(ev[2].msg, 10);
    EXPECT_EQ(ev[3].msg, 30);
    EXPECT_EQ(ev[3].ext1, 0xe118);
    // Background search on by default: once the main transmitter fades below
    // the relay, the relay and the affiliated stations are reported.
    bsim::advanceClock(std::chrono::milliseconds(1000));
    Event relay = waitFor(60);
    EXPECT_EQ(relay.ext1, 1);
    EXPECT_EQ(relay.ext2, 2);

    EXPECT_EQ(p.setChannel(555, 556, 0, 0, 0, 0, 0, 0, 0, 0), -1);
    std::vector<std::string> calls = bsim::calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "setChannel(555,556,0,0,0,0,0,0,0,0)");
}

TEST_F(StandIn, StationSearchHandoverMovesToTheRelayOnceItIsReceivedBetter) {
    bsim::freezeClock();
    dtv::ISDBTPlayer p;
    prepareAndScan(p);
    ASSERT_EQ(p.setChannel(rowId(20, 0xe100), 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    ASSERT_TRUE(bsim::waitIdle());
    clearEvents();
    ASSERT_EQ(p.stop(), 0);
    ASSERT_EQ(p.startHandover(0, 1), 0);
    EXPECT_EQ(p.startHandover(0, 1), -1);  // already running
    // The main transmitter (25.5 dB) is better than the relay (20 dB): the
    // search goes on without a handover...
    ASSERT_TRUE(bsim::waitIdle());
    EXPECT_EQ(count(32), 0);
    EXPECT_EQ(count(48), 0);
    // ... until the main transmitter fades (3 dB).
    bsim::advanceClock(std::chrono::milliseconds(1000));
    ASSERT_EQ(waitFor(32).msg, 32);
    ASSERT_TRUE(bsim::waitIdle());
    std::vector<Event> ev = events();
    ASSERT_GE(ev.size(), 2u);
    EXPECT_EQ(ev[0].msg, 32);
    EXPECT_EQ(ev[0].ext1, 1);
    EXPECT_EQ(ev[0].ext2, 34);
    EXPECT_EQ(ev[1].msg, 48);
    EXPECT_EQ(ev[1].record[0], 34);
    EXPECT_EQ(waitFor(3).ext2, 0xe100);
    EXPECT_GT(rowId(34, 0xe100), 0);  // the relay's services joined the list
    EXPECT_EQ(p.stopHandover(), -2);  // over
    // The handover kept the profiles' time: the relay plays on at 20 dB.
    float cnr = 0;
    int v[257] = {};
    ASSERT_EQ(p.getSignalStrength(&cnr, v), 0);
    EXPECT_FLOAT_EQ(cnr, 20.0f);
    EXPECT_EQ(v[13], bsim::channelFrequencyKHz(34));

    // A station without relay: the search runs until it is stopped.
    ASSERT_EQ(p.setChannel(rowId(27, 0xe300), 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    ASSERT_TRUE(bsim::waitIdle());
    clearEvents();
    ASSERT_EQ(p.startHandover(0, 0), 0);
    ASSERT_TRUE(bsim::waitIdle());
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(p.stopHandover2TS(), -2);
    EXPECT_EQ(p.stopHandover(), 0);
}

TEST_F(StandIn, TwoStreamHandoverGoesOnlyToAStationReceivedBetter) {
    bsim::freezeClock();
    dtv::ISDBTPlayer p;
    prepareAndScan(p);
    ASSERT_EQ(p.setBackSearchInfo2TS(0, 0), 0);
    const struct {
        int channel, serviceID, afterMs;
        std::vector<int> codes;
        std::vector<int> found;  // relay, affiliates of event 60
        int result, playing;
    } cases[] = {
        // The main transmitter (25.5 dB) against the relay (20 dB): no handover.
        {20, 0xe100, 0, {61, 60, 62, 61}, {0, 0}, -1, 20},
        // Faded to 3 dB: over to the relay.
        {20, 0xe100, 1000, {61, 60, 62, 48, 6, 10, 61}, {1, 2}, 0, 34},
        // No relay at all.
        {27, 0xe300, 1000, {61, 60, 62, 61}, {0, 0}, -1, 27},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(p.setChannel(rowId(c.channel, c.serviceID), 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
        ASSERT_TRUE(bsim::waitIdle());
        bsim::advanceClock(std::chrono::milliseconds(c.afterMs));
        clearEvents();
        ASSERT_EQ(p.startHandover2TS(), 0);
        ASSERT_TRUE(bsim::waitIdle());
        std::vector<int> codes, found;
        int result = 99;
        for (const Event& e : events()) {
            if (e.msg == 30 || e.msg == 3) continue;
            codes.push_back(e.msg);
            if (e.msg == 62) result = e.ext1;
            if (e.msg == 60) found = {e.ext1, e.ext2};
        }
        EXPECT_EQ(codes, c.codes) << c.channel << " after " << c.afterMs;
        EXPECT_EQ(found, c.found) << c.channel << " after " << c.afterMs;
        EXPECT_EQ(result, c.result);
        int v[257] = {};
        float cnr;
        if (c.result == -1) {
            // Not played any more: the program tunes its channel again.
            ASSERT_EQ(p.setChannel(rowId(c.channel, c.serviceID), 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
        }
        ASSERT_EQ(p.getSignalStrength(&cnr, v), 0);
        EXPECT_EQ(v[13], bsim::channelFrequencyKHz(c.playing));
    }
}

TEST_F(StandIn, BackgroundSearchReportsTheRelayOnlyWhileItIsReceivedBetter) {
    bsim::freezeClock();
    bsim::Scenario sc;
    std::string error;
    ASSERT_TRUE(bsim::parseScenario(
        std::string(kScenario) +
            "timing prepare=5 scan_step=1 tune=5 handover=20 epg_refresh=40 background=5\n",
        &sc, &error))
        << error;
    bsim::setScenario(sc);
    dtv::ISDBTPlayer p;
    prepareAndScan(p);
    ASSERT_EQ(p.setChannel(rowId(20, 0xe100), 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    // The main transmitter is better: some reports' time passes without one.
    ASSERT_TRUE(waitForGuideRefresh(3));
    EXPECT_EQ(count(60), 0);

    // It fades: the relay and its affiliates, again and again while so.
    bsim::advanceClock(std::chrono::milliseconds(1000));
    auto found = [](int relay, int affiliates) {
        return [=](const Event& e) { return e.ext1 == relay && e.ext2 == affiliates; };
    };
    ASSERT_EQ(waitFor(60, 3, found(1, 2)).msg, 60);
    // A search for relays only.
    ASSERT_EQ(p.setBackSearchInfo2TS(2, 1), 0);
    ASSERT_EQ(waitFor(60, 1, found(1, 0)).msg, 60);
    // Off: one report that nothing is found, then silence.
    ASSERT_EQ(p.setBackSearchInfo2TS(0, 1), 0);
    ASSERT_EQ(waitFor(60, 1, found(0, 0)).msg, 60);
    clearEvents();
    ASSERT_TRUE(waitForGuideRefresh(3));
    EXPECT_EQ(count(60), 0);
}

TEST_F(StandIn, ChannelInfoNeverWritesPastItsBuffers) {
    dtv::ISDBTPlayer p;
    prepareAndScan(p);
    // Each buffer is followed by a canary that must stay untouched.
    struct Out {
        int ints[47];
        unsigned short name[256 + 8], prog[256 + 8], text[256 + 8];
        unsigned short mt[3][33 + 8], st[3][33 + 8];
        unsigned ml[3], sl[3];
        unsigned char logo[32768 + 64];
    };
    auto out = std::make_unique<Out>();
    std::memset(out.get(), 0xAB, sizeof(Out));
    int* i = out->ints;
    auto call = [&](int ch, int sid) {
        return p.getChannelInfo(ch, sid, &i[0], &i[1], &i[2], &i[3], out->name, &i[5], &i[6],
                                &i[7], &i[8], &i[9], &i[10], &i[11], &i[12], out->mt[0], &out->ml[0],
                                out->st[0], &out->sl[0], &i[13], &i[14], out->mt[1], &out->ml[1],
                                out->st[1], &out->sl[1], &i[15], &i[16], out->mt[2], &out->ml[2],
                                out->st[2], &out->sl[2], &i[17], &i[18], &i[19], &i[20], &i[21],
                                &i[22], &i[23], &i[24], &i[25], &i[26], out->prog, &i[27], &i[28],
                                &i[29], out->logo, out->text, &i[30], &i[31]);
    };
    ASSERT_EQ(call(20, 0xe100), 0);
    EXPECT_EQ(i[0], 0x7f10);
    EXPECT_EQ(i[6], 1);   // one audio component
    EXPECT_EQ(i[9], 2);   // audio mode
    EXPECT_EQ(out->ml[0], 2 * 9u);  // "Portugues"
    EXPECT_EQ(out->mt[0][0], 'P');
    EXPECT_EQ(i[20], 60000);
    EXPECT_EQ(i[21], 10);
    EXPECT_EQ(i[27], 2 * 12);  // "Morning News"
    EXPECT_EQ(out->prog[0], 'M');
    EXPECT_EQ(i[28], 100);
    EXPECT_EQ(i[29], 100);
    // 100 x 100 x 4 bytes do not fit: the copy stops at the buffer's end.
    uint32_t first = bsim::logoPixel(0x7f10, 0, 0);
    EXPECT_EQ(out->logo[0], first & 0xFF);
    EXPECT_EQ(out->logo[3], 0xFF);
    for (int k = 32768; k < 32768 + 64; ++k) ASSERT_EQ(out->logo[k], 0xAB) << k;

    // A programme name longer than 256 units: its own length, 256 units copied.
    ASSERT_EQ(call(27, 0xe300), 0);
    EXPECT_GT(i[27], 2 * 256);
    EXPECT_EQ(out->prog[255], 'A');
    for (int k = 256; k < 264; ++k) ASSERT_EQ(out->prog[k], 0xABAB);

    EXPECT_EQ(call(21, 0xe100), -1);
}

TEST_F(StandIn, SignalFollowsTheProfileAfterEachTune) {
    bsim::freezeClock();  // the profile steps when the test says so
    dtv::ISDBTPlayer p;
    float cnr = -1;
    int v[257] = {};
    EXPECT_EQ(p.getSignalStrength(&cnr, v), -1);  // not prepared
    prepareAndScan(p);
    EXPECT_EQ(p.getSignalStrength(&cnr, v), 0);
    EXPECT_EQ(cnr, 0.0f);  // nothing tuned
    ASSERT_EQ(p.setChannel(rowId(27, 0xe300), 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(p.getSignalStrength(&cnr, v), 0);
    EXPECT_FLOAT_EQ(cnr, 25.5f);
    EXPECT_EQ(v[1], 2550);
    EXPECT_EQ(v[6], 1);  // branch 0 sits at index 6
    EXPECT_EQ(v[3], 4);
    EXPECT_EQ(v[13], bsim::channelFrequencyKHz(27));
    bsim::advanceClock(std::chrono::milliseconds(999));
    ASSERT_EQ(p.getSignalStrength(&cnr, v), 0);
    EXPECT_FLOAT_EQ(cnr, 25.5f);
    bsim::advanceClock(std::chrono::milliseconds(101));
    ASSERT_EQ(p.getSignalStrength(&cnr, v), 0);
    EXPECT_FLOAT_EQ(cnr, 3.0f);
    EXPECT_EQ(v[7], 40);
    EXPECT_EQ(v[9], 60);
    EXPECT_EQ(v[0], 1);

    int mjd, h, m, s, a, b, c;
    ASSERT_EQ(p.getCurrentDateTime(&mjd, &h, &m, &s, &a, &b, &c), 0);
    EXPECT_EQ(mjd, 60000);
    EXPECT_EQ(h, 10);
    EXPECT_EQ(m, 15);
    EXPECT_GE(s, 30);
}

TEST_F(StandIn, InjectedEventsAndCaptionsComeFromTheEngineThread) {
    EXPECT_FALSE(bsim::injectEvent(100, 1, 0));  // no engine
    dtv::ISDBTPlayer p;
    EXPECT_FALSE(bsim::injectEvent(100, 1, 0));  // no listener
    p.setListener(listener);
    ASSERT_TRUE(bsim::injectEvent(33, 1, 0, {0xe100, 1, 0, 2}));
    std::vector<uint8_t> px(720 * 480 * 4);
    for (size_t k = 0; k < px.size(); ++k) px[k] = static_cast<uint8_t>(k * 7);
    ASSERT_TRUE(bsim::injectCaption(0, 0xe100, 720, 480, px));
    ASSERT_TRUE(bsim::waitIdle());
    Event ews = waitFor(33);
    EXPECT_EQ(ews.record, (std::vector<int>{0xe100, 1, 0, 2}));
    EXPECT_EQ(ews.thread, bsim::engineThread());
    EXPECT_NE(ews.thread, std::this_thread::get_id());
    Event cap = waitFor(9);
    ASSERT_EQ(cap.record.size(), 3u);
    EXPECT_EQ(cap.record[1], 720 * 480 * 4);
    const unsigned phy = static_cast<unsigned>(cap.record[2]);
    EXPECT_GE(phy, bsim::kCaptionBase);
    EXPECT_LE(phy + cap.record[1], bsim::kCaptionBase + bsim::kCaptionSize);

    // The plane file holds the bitmap at its physical address, and the
    // region list names it.
    std::ifstream plane(bsim::captionDevicePath(), std::ios::binary);
    plane.seekg(phy + 1000);
    char got[16];
    plane.read(got, 16);
    EXPECT_EQ(0, std::memcmp(got, px.data() + 1000, 16));
    std::ifstream pmap(bsim::pmapPath());
    std::string all((std::istreambuf_iterator<char>(pmap)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("0x01000000 0x00800000 overlay1"), std::string::npos);
}

TEST_F(StandIn, CaptionsFollowTheServiceWhileSubtitlesPlay) {
    dtv::ISDBTPlayer p;
    prepareAndScan(p);
    ASSERT_EQ(p.setChannel(0, rowId(20, 0xe118), 0, 0, 0, 0, 0, 0, 0, 1), 0);
    ASSERT_EQ(p.setSubtitle(1), 0);
    ASSERT_EQ(p.playSubtitle(1), 0);
    Event cap = waitFor(9);
    ASSERT_EQ(cap.msg, 9);
    EXPECT_EQ(cap.ext1, 1);
    EXPECT_EQ(cap.ext2, 0xe118);
    ASSERT_EQ(cap.record.size(), 3u);
    EXPECT_EQ(cap.record[1], 960 * 540 * 4);
    EXPECT_EQ(p.playSubtitle(0), 0);
    ASSERT_TRUE(bsim::waitIdle());
    clearEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    for (const Event& e : events()) EXPECT_NE(e.msg, 9);
}

TEST_F(StandIn, ForcedResultsReplaceTheWork) {
    dtv::ISDBTPlayer p;
    p.setListener(listener);
    bsim::setResult("prepare", -3);
    bsim::setResult("setVideoPauseOnOff", 5);
    EXPECT_EQ(p.prepare(0), -3);
    EXPECT_EQ(p.setAudioMuteOnOff(1), 0);
    EXPECT_EQ(p.setVideoPauseOnOff(1), 5);
    ASSERT_TRUE(bsim::waitIdle());
    EXPECT_TRUE(events().empty());  // a failed prepare sends nothing
    EXPECT_EQ(bsim::calls(), (std::vector<std::string>{"setListener(1)", "prepare(0)",
                                                       "setAudioMuteOnOff(1)",
                                                       "setVideoPauseOnOff(1)"}));
}

}  // namespace
