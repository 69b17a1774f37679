// The broadcast engine stand-in: one worker thread per engine object runs a
// timed queue of jobs; every listener call is made from that thread.
#include "ISDBTPlayer.h"

#include "BroadcastDb.h"
#include "BroadcastSim.h"
#include "DevRoot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// $HOLVIK_BROADCAST_CLOCK_RATE, 1 when unset or not a number from 1 to 100.
double rateFromEnvironment() {
    const char* text = std::getenv("HOLVIK_BROADCAST_CLOCK_RATE");
    if (!text || !*text) return 1.0;
    char* end = nullptr;
    const double rate = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(rate >= 1.0 && rate <= 100.0)) {
        std::fprintf(stderr, "[broadcast] HOLVIK_BROADCAST_CLOCK_RATE=%s: not 1 to 100; using 1\n", text);
        return 1.0;
    }
    return rate;
}

// What the signal profiles and the broadcast time take as "now" (see
// bsim::freezeClock): the steady clock, run `rate` times faster from the
// moment the stand-in first asked for it.
struct SimClock {
    std::mutex m;
    bool frozen = false;
    Clock::time_point at;
    const Clock::time_point origin = Clock::now();
    const double rate = rateFromEnvironment();

    Clock::time_point running() const {
        return origin + std::chrono::duration_cast<Clock::duration>((Clock::now() - origin) * rate);
    }
};
SimClock& simClock() {
    static SimClock c;
    return c;
}
Clock::time_point simNow() {
    SimClock& c = simClock();
    std::lock_guard<std::mutex> lk(c.m);
    return c.frozen ? c.at : c.running();
}

enum Group { kMisc, kScan, kTune, kHandover, kCaption, kGroups };

constexpr size_t kMaxCalls = 20000;
constexpr int kLogoBytes = 32768;

// Worker thread with a timed job queue. Shared between the engine object and
// the test controls, so a control never touches a destroyed engine.
class Core {
public:
    using Fn = std::function<void()>;

    Core() : thread_([this] { run(); }) {}
    ~Core() { shutdown(); }

    void shutdown() {
        {
            std::lock_guard<std::mutex> lk(m_);
            if (quit_) return;
            quit_ = true;
            jobs_.clear();
        }
        cv_.notify_all();
        if (thread_.joinable()) {
            if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
            else thread_.join();
        }
    }

    // Queues fn after delayMs of the simulated clock's rate. A job of a group
    // that is cancelled before it runs is dropped; background jobs do not
    // keep waitIdle() waiting.
    void post(int group, int delayMs, Fn fn, bool background = false) {
        const auto delay = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double, std::milli>(delayMs / simClock().rate));
        std::lock_guard<std::mutex> lk(m_);
        if (quit_) return;
        jobs_.push_back(Job{Clock::now() + delay, ++seq_, group, gen_[group], background,
                            std::move(fn)});
        cv_.notify_all();
    }

    // The generation of a group; a job keeps the one it was posted with.
    uint64_t generation(int group) {
        std::lock_guard<std::mutex> lk(m_);
        return gen_[group];
    }

    bool current(int group, uint64_t gen) {
        std::lock_guard<std::mutex> lk(m_);
        return gen_[group] == gen;
    }

    void cancel(int group) {
        std::lock_guard<std::mutex> lk(m_);
        ++gen_[group];
        jobs_.erase(std::remove_if(jobs_.begin(), jobs_.end(),
                                   [group](const Job& j) { return j.group == group; }),
                    jobs_.end());
        cv_.notify_all();
    }

    bool waitIdle(int timeoutMs) {
        std::unique_lock<std::mutex> lk(m_);
        return cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [this] {
            if (busy_) return false;
            for (const Job& j : jobs_)
                if (!j.background) return false;
            return true;
        });
    }

    std::thread::id id() const { return thread_.get_id(); }

    void setListener(dtv::ISDBTPlayer::Listener l) {
        std::lock_guard<std::mutex> lk(m_);
        listener_ = l;
    }

    bool hasListener() {
        std::lock_guard<std::mutex> lk(m_);
        return listener_ != nullptr && !quit_;
    }

    // Calls the listener; only ever called from the worker thread.
    void deliver(int msg, int ext1, int ext2, std::vector<int> record = {}) {
        dtv::ISDBTPlayer::Listener l;
        {
            std::lock_guard<std::mutex> lk(m_);
            l = listener_;
        }
        if (l) l(msg, ext1, ext2, record.empty() ? nullptr : record.data());
    }

private:
    struct Job {
        Clock::time_point due;
        uint64_t seq;
        int group;
        uint64_t gen;
        bool background;
        Fn fn;
    };

    void run() {
        std::unique_lock<std::mutex> lk(m_);
        while (!quit_) {
            if (jobs_.empty()) {
                cv_.wait(lk);
                continue;
            }
            auto next = std::min_element(jobs_.begin(), jobs_.end(), [](const Job& a, const Job& b) {
                return a.due != b.due ? a.due < b.due : a.seq < b.seq;
            });
            if (next->due > Clock::now()) {
                // A copy: the job may be cancelled (and freed) while we wait.
                const Clock::time_point due = next->due;
                cv_.wait_until(lk, due);
                continue;
            }
            Job job = std::move(*next);
            jobs_.erase(next);
            if (job.gen != gen_[job.group]) continue;
            busy_ = true;
            lk.unlock();
            job.fn();
            lk.lock();
            busy_ = false;
            cv_.notify_all();
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Job> jobs_;
    uint64_t seq_ = 0;
    uint64_t gen_[kGroups] = {};
    bool busy_ = false;
    bool quit_ = false;
    dtv::ISDBTPlayer::Listener listener_ = nullptr;
    std::thread thread_;
};

// Process-wide state of the stand-in: call log, forced results, scenario and
// the live engine.
struct Global {
    std::mutex m;
    std::deque<std::string> calls;
    std::map<std::string, int> results;
    bool haveScenario = false;
    bsim::Scenario scenario;
    std::shared_ptr<Core> live;
    std::function<void(const bsim::Scenario&)> onScenario;
};

Global& global() {
    static Global* g = new Global;  // outlives every engine, never destroyed
    return *g;
}

// Records the call and tells whether a test forced its result.
bool record(const char* name, std::initializer_list<long long> args, int* forced) {
    std::string line = name;
    line += '(';
    bool first = true;
    for (long long a : args) {
        if (!first) line += ',';
        line += std::to_string(a);
        first = false;
    }
    line += ')';
    Global& g = global();
    std::lock_guard<std::mutex> lk(g.m);
    g.calls.push_back(line);
    if (g.calls.size() > kMaxCalls) g.calls.pop_front();
    auto it = g.results.find(name);
    if (it == g.results.end()) return false;
    *forced = it->second;
    return true;
}

#define RECORD(...)                                          \
    do {                                                     \
        int forced_;                                         \
        if (record(__func__, {__VA_ARGS__}, &forced_)) return forced_; \
    } while (0)

bsim::Scenario startScenario() {
    Global& g = global();
    {
        std::lock_guard<std::mutex> lk(g.m);
        if (g.haveScenario) return g.scenario;
    }
    bsim::Scenario sc;
    const char* file = std::getenv("HOLVIK_BROADCAST_SCENARIO");
    if (file && *file) {
        std::string error;
        if (bsim::loadScenarioFile(file, &sc, &error)) return sc;
        std::fprintf(stderr, "[broadcast] scenario %s: %s; using the default\n", file,
                     error.c_str());
    }
    return bsim::defaultScenario();
}

// UTF-8 to UTF-16 (a malformed byte becomes U+FFFD).
std::u16string utf16(const std::string& s) {
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t more;
        if (c < 0x80) { cp = c; more = 0; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; more = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; more = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; more = 3; }
        else { out += u'\uFFFD'; ++i; continue; }
        bool ok = i + more < s.size();
        for (size_t k = 1; ok && k <= more; ++k) {
            const unsigned char n = static_cast<unsigned char>(s[i + k]);
            if ((n & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (n & 0x3F);
        }
        if (!ok || cp > 0x10FFFF) { out += u'\uFFFD'; ++i; continue; }
        i += more + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

// Copies at most `cap` units and returns the text's own length in bytes.
int putText(const std::string& text, unsigned short* buf, int cap) {
    std::u16string u = utf16(text);
    if (buf) {
        size_t n = std::min(u.size(), static_cast<size_t>(cap));
        for (size_t i = 0; i < n; ++i) buf[i] = u[i];
    }
    return static_cast<int>(u.size() * 2);
}

template <typename T>
void put(T* p, T v) {
    if (p) *p = v;
}

// Writes a B,G,R,A caption into the caption plane, alternating between its
// two halves as the board's engine does; *phy receives its address.
bool placeCaption(const uint8_t* bgra, size_t size, unsigned* phy) {
    static std::atomic<unsigned> toggle{0};
    if (size == 0 || size > bsim::kCaptionSize / 2) return false;
    *phy = bsim::kCaptionBase + ((toggle++ & 1) ? bsim::kCaptionSize / 2 : 0);
    int fd = ::open(bsim::captionDevicePath().c_str(), O_RDWR);
    if (fd < 0) return false;
    bool ok = pwrite(fd, bgra, size, *phy) == static_cast<ssize_t>(size);
    ::close(fd);
    return ok;
}

// A 960 x 540 caption: a translucent box near the bottom with rows of white
// blocks standing in for text; `n` varies the blocks.
std::vector<uint8_t> sampleCaption(int n) {
    const int w = 960, h = 540;
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4, 0);
    for (int y = 430; y < 510; ++y)
        for (int x = 160; x < 800; ++x) {
            uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
            p[3] = 160;
            const int row = (y - 440) / 30, col = (x - 176) / 22;
            const bool glyph = y >= 440 && (y - 440) % 30 < 22 && x >= 176 && (x - 176) % 22 < 18 &&
                               row < 2 && ((col * 7 + row * 3 + n) % 5) != 0;
            if (glyph) p[0] = p[1] = p[2] = p[3] = 255;
        }
    return px;
}

}  // namespace

namespace dtv {

struct ISDBTPlayer::Impl {
    std::shared_ptr<Core> core = std::make_shared<Core>();
    std::mutex m;  // guards everything below
    bsim::Scenario sc;
    long long clockBase = 0;  // broadcast seconds since MJD 0 at clockStart
    Clock::time_point clockStart = simNow();
    bool prepared = false;
    int mode = 0;
    bool scanning = false;
    bool dbOpen = true;
    std::vector<bsim::ChannelRow> rows[2];
    bool haveCurrent = false;  // a service was tuned (kept over stop for handover)
    bsim::ChannelRow current;
    bool playing = false;
    Clock::time_point tuneTime = simNow();  // the profiles' time base; a handover keeps it
    int handover = 0;  // 0 none, 1 station search, 2 two-stream
    unsigned backMode = 1, backKind = 0;

    std::string channelDb(int m) const {
        return bsim::channelDirectory() + "/ISDBT" + std::to_string(m) + ".db";
    }
    std::string guideDb(int m) const {
        return bsim::guideDirectory() + "/ISDBTEPG" + std::to_string(m) + ".db";
    }

    void setClock() {
        if (sc.clockFromSystem) {
            time_t now = std::time(nullptr);
            struct tm tm;
            localtime_r(&now, &tm);
            long long local = static_cast<long long>(now) + tm.tm_gmtoff;
            clockBase = local + 40587LL * 86400;
        } else {
            clockBase = sc.clockMJD * 86400LL + sc.clockHour * 3600 + sc.clockMinute * 60 +
                        sc.clockSecond;
        }
        clockStart = simNow();
    }

    long long nowSeconds() const {
        return clockBase +
               std::chrono::duration_cast<std::chrono::seconds>(simNow() - clockStart).count();
    }
    int clockDate() const { return static_cast<int>(clockBase / 86400); }

    // The scenario station and service of a (channel, service ID), the channel
    // being the station's own or its relay.
    bool find(int channel, int serviceID, const bsim::Station** st, const bsim::Service** sv) const {
        for (const bsim::Station& s : sc.stations) {
            if (s.channel != channel && s.relayChannel != channel) continue;
            for (const bsim::Service& v : s.services)
                if (v.serviceID == serviceID) {
                    *st = &s;
                    *sv = &v;
                    return true;
                }
        }
        return false;
    }

    static bsim::ChannelRow makeRow(int id, int channel, const bsim::Station& st,
                                    const bsim::Service& sv) {
        bsim::ChannelRow r;
        r.id = id;
        r.channelNumber = channel;
        r.remoconID = sv.remoconID;
        r.serviceID = sv.serviceID;
        r.logoID = st.logoWidth > 0 ? 1 : 0;
        r.tsName = sv.name;
        r.serviceType = sv.segType == 1 ? 0xC0 : 1;
        r.audioPID = sv.audioPID;
        r.videoPID = sv.videoPID;
        r.pmtPID = sv.pmtPID;
        r.threeDigitNumber = sv.threeDigit;
        r.networkID = st.networkID;
        return r;
    }

    // Adds the services of `st` received on `channel` that the list lacks.
    static void addStation(std::vector<bsim::ChannelRow>* rows, int channel,
                           const bsim::Station& st) {
        int next = 1;
        for (const bsim::ChannelRow& r : *rows) next = std::max(next, r.id + 1);
        for (const bsim::Service& sv : st.services) {
            bool have = false;
            for (const bsim::ChannelRow& r : *rows)
                have = have || (r.channelNumber == channel && r.serviceID == sv.serviceID);
            if (!have) rows->push_back(makeRow(next++, channel, st, sv));
        }
    }

    std::vector<bsim::GuideTable> guideTables(const bsim::ChannelRow& row) const {
        const bsim::Station* st;
        const bsim::Service* sv;
        std::vector<bsim::GuideTable> tables;
        if (!find(row.channelNumber, row.serviceID, &st, &sv)) return tables;
        bsim::GuideTable t;
        int id = 0;
        for (const bsim::GuideEventSpec& e : sv->events) {
            bsim::GuideRow g;
            g.id = ++id;
            g.eventID = 0x100 + id;
            g.startMJD = e.relativeDay ? clockDate() + e.day : e.day;
            g.startHH = e.hour;
            g.startMM = e.minute;
            g.durationHH = e.durationHours;
            g.durationMM = e.durationMinutes;
            g.name = e.name;
            g.text = e.text;
            g.extItem = e.extItem;
            g.extText = e.extText;
            t.rows.push_back(g);
        }
        t.name = bsim::guideTableName(false, row.channelNumber, row.serviceID);
        tables.push_back(t);
        if (row.serviceType == 1) {
            t.name = bsim::guideTableName(true, row.channelNumber, row.serviceID);
            tables.push_back(t);
        }
        return tables;
    }

    // Called with m held.
    void writeChannels(int m) {
        std::error_code ec;
        fs::create_directories(bsim::channelDirectory(), ec);
        std::string error;
        if (!bsim::writeChannelDatabase(channelDb(m), rows[m], &error))
            std::fprintf(stderr, "[broadcast] %s\n", error.c_str());
    }

    // Called with m held. One service, or every service of the list.
    void writeGuide(int m, const bsim::ChannelRow* only) {
        if (!dbOpen) return;
        std::error_code ec;
        fs::create_directories(bsim::guideDirectory(), ec);
        std::vector<bsim::GuideTable> tables;
        for (const bsim::ChannelRow& r : rows[m]) {
            if (only && (r.channelNumber != only->channelNumber || r.serviceID != only->serviceID))
                continue;
            for (bsim::GuideTable& t : guideTables(r)) tables.push_back(std::move(t));
        }
        std::string error;
        if (!bsim::writeGuideDatabase(guideDb(m), tables, only == nullptr, &error))
            std::fprintf(stderr, "[broadcast] %s\n", error.c_str());
    }

    // The record of event 48 for the current service.
    std::vector<int> avRecord() const {
        int mainID = current.serviceID, subID = 0;
        int seg = current.serviceType == 0xC0 ? 1 : 0;
        if (seg == 1) {
            subID = current.serviceID;
            for (const bsim::ChannelRow& r : rows[mode])
                if (r.channelNumber == current.channelNumber && r.remoconID == current.remoconID &&
                    r.serviceType == 1) {
                    mainID = r.serviceID;
                    break;
                }
        }
        return {current.channelNumber, current.networkID, mainID, subID, 0, 0, seg};
    }

    // Audio/video start of the current service after delayMs, then its
    // guide, then the background search.
    void postTuneEvents(int delayMs) {
        const int seg = current.serviceType == 0xC0 ? 1 : 0;
        const int sid = current.serviceID;
        std::vector<int> rec = avRecord();
        Core& c = *core;
        c.post(kTune, delayMs, [this, rec] {
            {
                std::lock_guard<std::mutex> lk(m);
                handover = 0;
            }
            core->deliver(48, 0, 0, rec);
        });
        c.post(kTune, delayMs + 30, [this, seg, sid] { core->deliver(6, seg, sid); });
        c.post(kTune, delayMs + 60, [this, seg, sid] { core->deliver(10, seg, sid); });
        c.post(kTune, delayMs + 200, [this, sid] {
            {
                std::lock_guard<std::mutex> lk(m);
                bsim::ChannelRow row = current;
                writeGuide(mode, &row);
            }
            core->deliver(30, sid, 0x4E);
        });
        scheduleBackgroundSearch(delayMs + 300, core->generation(kTune), false);
        schedulePeriodicGuide(core->generation(kTune));
    }

    // CNR of `channel` now by the scenario's profile; 0 while not received.
    float cnrOf(int channel) const {
        const long long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(simNow() - tuneTime).count();
        const bsim::SignalPoint* p = bsim::signalAt(sc, channel, ms);
        return p ? p->cnr : 0.0f;
    }

    // The other channel of the current service's station (its relay, or the
    // main transmitter when the relay plays) when that one is received
    // better than the current channel; -1 otherwise.
    int betterChannel() const {
        const bsim::Station* st;
        const bsim::Service* sv;
        if (!haveCurrent || !find(current.channelNumber, current.serviceID, &st, &sv)) return -1;
        const int target = current.channelNumber == st->channel ? st->relayChannel : st->channel;
        if (target < 14 || target == current.channelNumber) return -1;
        return cnrOf(target) > cnrOf(current.channelNumber) ? target : -1;
    }

    // What a search would report now: the relay and the affiliated stations
    // (unless the search is for relays only) when they are received better.
    void betterStations(int* relay, int* affiliates) const {
        *relay = *affiliates = 0;
        const bsim::Station* st;
        const bsim::Service* sv;
        if (betterChannel() < 0 || !find(current.channelNumber, current.serviceID, &st, &sv)) return;
        *relay = 1;
        *affiliates = backKind == 0 ? st->affiliates : 0;
    }

    // The background search: while a service plays and no handover runs, it
    // reports every `background` ms the stations received better than the
    // current channel, and once with zeros when there are none any more.
    void scheduleBackgroundSearch(int delayMs, uint64_t gen, bool reported) {
        if (sc.timing.backgroundMs <= 0) return;
        core->post(kTune, delayMs, [this, gen, reported] {
            int relay = 0, aff = 0;
            {
                std::lock_guard<std::mutex> lk(m);
                if (playing && handover == 0 && backMode != 0) betterStations(&relay, &aff);
            }
            const bool found = relay > 0 || aff > 0;
            if (found || reported) core->deliver(60, relay, aff);
            std::lock_guard<std::mutex> lk(m);
            if (core->current(kTune, gen)) scheduleBackgroundSearch(sc.timing.backgroundMs, gen, found);
        }, true);
    }

    void schedulePeriodicGuide(uint64_t gen) {
        const int every = sc.timing.epgRefreshMs;
        if (every <= 0) return;
        core->post(kTune, every, [this, gen] {
            int sid;
            {
                std::lock_guard<std::mutex> lk(m);
                if (!playing) return;
                bsim::ChannelRow row = current;
                writeGuide(mode, &row);
                sid = current.serviceID;
            }
            core->deliver(30, sid, 0x50);
            if (core->current(kTune, gen)) {
                std::lock_guard<std::mutex> lk(m);
                schedulePeriodicGuide(gen);
            }
        }, true);
    }

    // Moves the current service to the channel betterChannel() found,
    // adding the station's services there to the channel list. Called with m
    // held; false when no channel is received better.
    bool moveToBetterChannel() {
        const int target = betterChannel();
        const bsim::Station* st;
        const bsim::Service* sv;
        if (target < 0 || !find(current.channelNumber, current.serviceID, &st, &sv)) return false;
        addStation(&rows[mode], target, *st);
        writeChannels(mode);
        writeGuide(mode, nullptr);
        for (const bsim::ChannelRow& r : rows[mode])
            if (r.channelNumber == target && r.serviceID == current.serviceID) current = r;
        playing = true;
        return true;
    }

    // The station search: every `handover` ms it looks for a channel received
    // better and hands over to the first it finds; it runs until then or
    // until it is stopped.
    void scheduleStationSearch(int searchType, uint64_t gen, bool retry) {
        core->post(kHandover, sc.timing.handoverMs, [this, searchType, gen] {
            int channel, sid;
            {
                std::lock_guard<std::mutex> l(m);
                if (!core->current(kHandover, gen)) return;
                if (!moveToBetterChannel()) {
                    scheduleStationSearch(searchType, gen, true);
                    return;
                }
                channel = current.channelNumber;
                sid = current.serviceID;
            }
            core->deliver(32, searchType, channel);
            std::lock_guard<std::mutex> l(m);
            core->cancel(kTune);
            postTuneEvents(sc.timing.tuneMs);
            core->post(kTune, sc.timing.tuneMs + 100, [this, sid] { core->deliver(3, 0, sid); });
        }, retry);
    }

    // While captions play, one caption of the current service every 4 s.
    void scheduleCaption(int delayMs, int n) {
        core->post(kCaption, delayMs, [this, n] {
            int seg = 0, sid = 0;
            {
                std::lock_guard<std::mutex> lk(m);
                if (playing) {
                    seg = current.serviceType == 0xC0 ? 1 : 0;
                    sid = current.serviceID;
                }
            }
            if (sid != 0) {
                std::vector<uint8_t> px = sampleCaption(n);
                unsigned phy = 0;
                if (placeCaption(px.data(), px.size(), &phy))
                    core->deliver(9, seg, sid, {0, static_cast<int>(px.size()), static_cast<int>(phy)});
            }
            scheduleCaption(4000, n + 1);
        }, true);
    }

    // Reception of the current service by the scenario's profile.
    int signal(float* cnr, int* values) {
        std::lock_guard<std::mutex> lk(m);
        if (!prepared) return -1;
        put(cnr, 0.0f);
        if (!values) return 0;
        for (int i = 0; i < 14; ++i) values[i] = 0;
        if (!playing) return 0;
        const long long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(simNow() - tuneTime).count();
        const bsim::SignalPoint* p = bsim::signalAt(sc, current.channelNumber, ms);
        if (p) {
            put(cnr, p->cnr);
            values[0] = p->twoTs;
            values[1] = p->cnrTot;
            values[2] = p->cnrOneSeg;
            values[3] = p->branch[3];
            values[4] = p->branch[2];
            values[5] = p->branch[1];
            values[6] = p->branch[0];
            values[7] = p->errA;
            values[8] = p->totA;
            values[9] = p->errB;
            values[10] = p->totB;
        }
        values[13] = bsim::channelFrequencyKHz(current.channelNumber);
        return 0;
    }

    void setupCaptionPlane() {
        if (devroot::root().empty()) return;  // the board has the real device
        std::error_code ec;
        fs::create_directories(fs::path(bsim::pmapPath()).parent_path(), ec);
        fs::create_directories(fs::path(bsim::captionDevicePath()).parent_path(), ec);
        if (!fs::exists(bsim::pmapPath())) {
            FILE* f = std::fopen(bsim::pmapPath().c_str(), "w");
            if (f) {
                std::fprintf(f, "0x%08x 0x%08x overlay0\n0x%08x 0x%08x overlay1\n",
                             bsim::kCaptionBase - bsim::kCaptionSize, bsim::kCaptionSize,
                             bsim::kCaptionBase, bsim::kCaptionSize);
                std::fclose(f);
            }
        }
        int fd = ::open(bsim::captionDevicePath().c_str(), O_RDWR | O_CREAT, 0644);
        if (fd < 0) return;
        struct stat sb;
        const off_t want = static_cast<off_t>(bsim::kCaptionBase) + bsim::kCaptionSize;
        if (fstat(fd, &sb) == 0 && sb.st_size < want && ftruncate(fd, want) != 0)
            std::fprintf(stderr, "[broadcast] cannot size the caption plane\n");
        ::close(fd);
    }
};

ISDBTPlayer::ISDBTPlayer() : d(new Impl) {
    d->sc = startScenario();
    d->setClock();
    d->setupCaptionPlane();
    for (int m = 0; m < 2; ++m) bsim::readChannelDatabase(d->channelDb(m), &d->rows[m]);
    Global& g = global();
    std::lock_guard<std::mutex> lk(g.m);
    g.live = d->core;
    Impl* impl = d;
    g.onScenario = [impl](const bsim::Scenario& sc) {
        std::lock_guard<std::mutex> l(impl->m);
        impl->sc = sc;
        impl->setClock();
    };
}

ISDBTPlayer::~ISDBTPlayer() {
    {
        Global& g = global();
        std::lock_guard<std::mutex> lk(g.m);
        if (g.live == d->core) {
            g.live.reset();
            g.onScenario = nullptr;
        }
    }
    d->core->shutdown();
    delete d;
}

int ISDBTPlayer::setListener(Listener listener) {
    RECORD(listener != nullptr);
    d->core->setListener(listener);
    return 0;
}

int ISDBTPlayer::prepare(unsigned int value) {
    RECORD(value);
    std::lock_guard<std::mutex> lk(d->m);
    d->prepared = true;
    for (int m = 0; m < 2; ++m) {
        // The engine keeps its channel databases in place from the first
        // start on, empty until a scan fills them.
        if (!fs::exists(d->channelDb(m))) d->writeChannels(m);
        bsim::readChannelDatabase(d->channelDb(m), &d->rows[m]);
        // So are its guide databases, anew after every boot (the folder is
        // a RAM disk): the application opens them once, when prepared.
        if (!fs::exists(d->guideDb(m))) d->writeGuide(m, nullptr);
    }
    d->core->post(kMisc, d->sc.timing.prepareMs, [this, value] {
        {
            std::lock_guard<std::mutex> l(d->m);
            if (!d->rows[d->mode].empty()) d->writeGuide(d->mode, nullptr);
        }
        d->core->deliver(1, static_cast<int>(value), 0);
    });
    return 0;
}

int ISDBTPlayer::search(int type, int arg2, int arg3, int arg4, int arg5) {
    RECORD(type, arg2, arg3, arg4, arg5);
    std::lock_guard<std::mutex> lk(d->m);
    if (!d->prepared || d->scanning) return -1;
    d->scanning = true;
    d->playing = false;
    d->core->cancel(kScan);
    const int step = d->sc.timing.scanStepMs;
    const int first = 14, last = 69, count = last - first + 1;
    for (int i = 0; i < count; ++i) {
        int ch = first + i;
        bool found = false;
        for (const bsim::Station& s : d->sc.stations) found = found || s.channel == ch;
        int percent = (i + 1) * 100 / count;
        d->core->post(kScan, step * (i + 1),
                      [this, percent, ch, found] { d->core->deliver(5, percent, found ? ch : -1); });
    }
    d->core->post(kScan, step * (count + 1), [this, type] {
        {
            std::lock_guard<std::mutex> l(d->m);
            std::vector<bsim::ChannelRow>& rows = d->rows[d->mode];
            if (type == 0) rows.clear();
            std::vector<bsim::Station> stations = d->sc.stations;
            std::sort(stations.begin(), stations.end(),
                      [](const bsim::Station& a, const bsim::Station& b) { return a.channel < b.channel; });
            for (const bsim::Station& s : stations) Impl::addStation(&rows, s.channel, s);
            d->writeChannels(d->mode);
            d->writeGuide(d->mode, nullptr);
            d->scanning = false;
            d->haveCurrent = false;
        }
        d->core->deliver(2, 0, 0);
    });
    return 0;
}

int ISDBTPlayer::searchCancel() {
    RECORD();
    std::lock_guard<std::mutex> lk(d->m);
    d->core->cancel(kScan);
    // A cancelled search ends like a finished one, with what it had found.
    if (d->scanning) d->core->post(kScan, 0, [this] { d->core->deliver(2, 0, 0); });
    d->scanning = false;
    return 0;
}

int ISDBTPlayer::setChannel(int fullSegID, int oneSegID, int arg3, int arg4, int audioMode,
                            int arg6, int arg7, int arg8, int arg9, int segType) {
    RECORD(fullSegID, oneSegID, arg3, arg4, audioMode, arg6, arg7, arg8, arg9, segType);
    std::lock_guard<std::mutex> lk(d->m);
    if (!d->prepared || d->scanning) return -1;
    int id = segType == 1 ? oneSegID : fullSegID;
    if (id < 1) id = segType == 1 ? fullSegID : oneSegID;
    const bsim::ChannelRow* row = nullptr;
    for (const bsim::ChannelRow& r : d->rows[d->mode])
        if (r.id == id) row = &r;
    if (!row) return -1;
    d->core->cancel(kTune);
    d->core->cancel(kHandover);
    d->handover = 0;
    d->current = *row;
    d->haveCurrent = true;
    d->playing = true;
    d->tuneTime = simNow();
    d->postTuneEvents(d->sc.timing.tuneMs);
    return 0;
}

int ISDBTPlayer::setChannel_ForMassProductionTestOf2Ts(int fullSegID, int oneSegID, int arg3,
                                                       int arg4, int arg5, int arg6, int arg7,
                                                       int arg8, int arg9, int segType) {
    RECORD(fullSegID, oneSegID, arg3, arg4, arg5, arg6, arg7, arg8, arg9, segType);
    std::lock_guard<std::mutex> lk(d->m);
    if (!d->prepared) return -1;
    int id = segType == 1 ? oneSegID : fullSegID;
    for (const bsim::ChannelRow& r : d->rows[d->mode])
        if (r.id == id) {
            d->core->cancel(kTune);
            d->current = r;
            d->haveCurrent = true;
            d->playing = true;
            d->tuneTime = simNow();
            d->postTuneEvents(d->sc.timing.tuneMs);
            return 0;
        }
    return -1;
}

int ISDBTPlayer::stop() {
    RECORD();
    std::lock_guard<std::mutex> lk(d->m);
    d->core->cancel(kTune);
    d->core->cancel(kHandover);
    d->handover = 0;
    d->playing = false;
    return 0;
}

int ISDBTPlayer::release() {
    RECORD();
    std::lock_guard<std::mutex> lk(d->m);
    for (int g = 0; g < kGroups; ++g) d->core->cancel(g);
    d->prepared = d->scanning = d->playing = d->haveCurrent = false;
    d->handover = 0;
    return 0;
}

int ISDBTPlayer::setPresetMode(int mode) {
    RECORD(mode);
    if (mode != 0 && mode != 1) return -1;
    std::lock_guard<std::mutex> lk(d->m);
    d->core->cancel(kTune);
    d->mode = mode;
    d->playing = d->haveCurrent = false;
    return 0;
}

int ISDBTPlayer::startHandover(int arg, int searchType) {
    RECORD(arg, searchType);
    std::lock_guard<std::mutex> lk(d->m);
    if (!d->prepared || !d->haveCurrent || d->handover) return -1;
    d->handover = 1;
    d->core->cancel(kHandover);
    d->scheduleStationSearch(searchType, d->core->generation(kHandover), false);
    return 0;
}

int ISDBTPlayer::startHandover2TS() {
    RECORD();
    std::lock_guard<std::mutex> lk(d->m);
    if (!d->prepared || !d->haveCurrent || d->handover) return -1;
    d->handover = 2;
    d->core->cancel(kHandover);
    // The comparison: what the second stream receives against the current
    // channel; a handover only to a channel received better, else -1.
    const int t = d->sc.timing.handoverMs;
    uint64_t gen = d->core->generation(kHandover);
    d->core->post(kHandover, 0, [this] { d->core->deliver(61, 1, 0); });
    d->core->post(kHandover, t / 2, [this] {
        int relay, aff;
        {
            std::lock_guard<std::mutex> l(d->m);
            d->betterStations(&relay, &aff);
        }
        d->core->deliver(60, relay, aff);
    });
    d->core->post(kHandover, t, [this, gen] {
        int sid = -1;
        {
            std::lock_guard<std::mutex> l(d->m);
            if (!d->core->current(kHandover, gen)) return;
            if (d->moveToBetterChannel()) sid = d->current.serviceID;
            else d->handover = 0;
        }
        d->core->deliver(62, sid >= 0 ? 0 : -1, 0);
        if (sid >= 0) {
            std::lock_guard<std::mutex> l(d->m);
            d->core->cancel(kTune);
            d->postTuneEvents(20);
            d->core->post(kTune, 120, [this, sid] { d->core->deliver(3, 0, sid); });
        }
        d->core->post(kMisc, 150, [this] { d->core->deliver(61, 0, 0); });
    });
    return 0;
}

int ISDBTPlayer::stopHandover() {
    RECORD();
    std::lock_guard<std::mutex> lk(d->m);
    if (d->handover != 1) return -2;
    d->handover = 0;
    d->core->cancel(kHandover);
    return 0;
}

int ISDBTPlayer::stopHandover2TS() {
    RECORD();
    std::lock_guard<std::mutex> lk(d->m);
    if (d->handover != 2) return -2;
    d->handover = 0;
    d->core->cancel(kHandover);
    return 0;
}

int ISDBTPlayer::setAudio(int index) { RECORD(index); return index >= 0 && index < 3 ? 0 : -1; }
int ISDBTPlayer::setAudioDualMono(int n) { RECORD(n); return 0; }
int ISDBTPlayer::setDualChannel(int n) { RECORD(n); return 0; }
int ISDBTPlayer::setSubtitle(int n) { RECORD(n); return 0; }
int ISDBTPlayer::playSubtitle(int on) {
    RECORD(on);
    std::lock_guard<std::mutex> lk(d->m);
    d->core->cancel(kCaption);
    if (on) d->scheduleCaption(1000, 0);
    return 0;
}
int ISDBTPlayer::setSuperImpose(int n) { RECORD(n); return 0; }
int ISDBTPlayer::playSuperimpose(int on) { RECORD(on); return 0; }
int ISDBTPlayer::setAudioMuteOnOff(int on) { RECORD(on); return 0; }
int ISDBTPlayer::setVideoPauseOnOff(int on) { RECORD(on); return 0; }
int ISDBTPlayer::changeZoomOnOff() { RECORD(); return 0; }
int ISDBTPlayer::setScreenMode(unsigned int mode) { RECORD(mode); return 0; }
int ISDBTPlayer::setScreenScale(unsigned int percent) { RECORD(percent); return 0; }
int ISDBTPlayer::setVideoDelay(unsigned int ms) { RECORD(ms); return 0; }
int ISDBTPlayer::setHDMIMode(unsigned int mode) { RECORD(mode); return 0; }

int ISDBTPlayer::setBackSearchInfo2TS(unsigned int mode, unsigned int kind) {
    RECORD(mode, kind);
    std::lock_guard<std::mutex> lk(d->m);
    d->backMode = mode;
    d->backKind = kind;
    return 0;
}

int ISDBTPlayer::getChannelInfo(
    int channelNumber, int serviceID, int* networkID, int* o2, int* o3, int* o4,
    unsigned short* serviceName, int* serviceNameLen, int* totalAudioPID, int* o8, int* o9,
    int* audioMode, int* o11, int* main0, int* sub0, unsigned short* mainText0,
    unsigned int* mainLen0, unsigned short* subText0, unsigned int* subLen0, int* main1,
    int* sub1, unsigned short* mainText1, unsigned int* mainLen1, unsigned short* subText1,
    unsigned int* subLen1, int* main2, int* sub2, unsigned short* mainText2,
    unsigned int* mainLen2, unsigned short* subText2, unsigned int* subLen2, int* o30, int* o31,
    int* o32, int* startDate, int* startHour, int* startMinute, int* startSecond, int* o37,
    int* o38, int* o39, unsigned short* programName, int* programNameLen, int* logoWidth,
    int* logoHeight, unsigned char* logoPixels, unsigned short* programText,
    int* programTextLen, int* o47) {
    RECORD(channelNumber, serviceID);
    std::lock_guard<std::mutex> lk(d->m);
    const bsim::Station* st;
    const bsim::Service* sv;
    if (!d->prepared || !d->find(channelNumber, serviceID, &st, &sv)) return -1;
    put(networkID, st->networkID);
    put(o2, channelNumber);
    put(o3, serviceID);
    put(o4, sv->remoconID);
    put(serviceNameLen, putText(sv->name, serviceName, 256));
    std::vector<bsim::AudioComponent> audio = sv->audio;
    if (audio.empty()) {
        bsim::AudioComponent a;
        a.mainCode = ('p' << 16) | ('o' << 8) | 'r';
        audio.push_back(a);
    }
    put(totalAudioPID, static_cast<int>(audio.size()));
    put(o8, sv->audioPID);
    put(o9, sv->videoPID);
    put(audioMode, sv->audioMode);
    put(o11, 0);
    int* mains[] = {main0, main1, main2};
    int* subs[] = {sub0, sub1, sub2};
    unsigned short* mainTexts[] = {mainText0, mainText1, mainText2};
    unsigned short* subTexts[] = {subText0, subText1, subText2};
    unsigned int* mainLens[] = {mainLen0, mainLen1, mainLen2};
    unsigned int* subLens[] = {subLen0, subLen1, subLen2};
    for (size_t i = 0; i < audio.size() && i < 3; ++i) {
        put(mains[i], audio[i].mainCode);
        put(subs[i], audio[i].subCode);
        put(mainLens[i], static_cast<unsigned>(putText(audio[i].mainText, mainTexts[i], 33)));
        put(subLens[i], static_cast<unsigned>(putText(audio[i].subText, subTexts[i], 33)));
    }
    put(o30, 0);
    put(o31, 0);
    put(o32, 0);
    // The programme on air by the broadcast clock.
    const long long now = d->nowSeconds();
    for (const bsim::GuideEventSpec& e : sv->events) {
        long long mjd = e.relativeDay ? d->clockDate() + e.day : e.day;
        long long start = mjd * 86400 + e.hour * 3600 + e.minute * 60;
        long long end = start + e.durationHours * 3600 + e.durationMinutes * 60;
        if (start <= now && now < end) {
            put(startDate, static_cast<int>(mjd));
            put(startHour, e.hour);
            put(startMinute, e.minute);
            put(startSecond, 0);
            put(programNameLen, putText(e.name, programName, 256));
            put(programTextLen, putText(e.text, programText, 256));
            break;
        }
    }
    put(o37, 0);
    put(o38, 0);
    put(o39, 0);
    put(logoWidth, st->logoWidth);
    put(logoHeight, st->logoHeight);
    if (logoPixels && st->logoWidth > 0 && st->logoHeight > 0) {
        // The buffer holds 32768 bytes; a larger logo is cut there but its
        // real size is reported.
        int n = 0;
        for (int y = 0; y < st->logoHeight && n + 4 <= kLogoBytes; ++y)
            for (int x = 0; x < st->logoWidth && n + 4 <= kLogoBytes; ++x) {
                uint32_t p = bsim::logoPixel(st->networkID, x, y);
                for (int k = 0; k < 4; ++k) logoPixels[n++] = static_cast<unsigned char>(p >> (8 * k));
            }
    }
    put(o47, 0);
    return 0;
}

int ISDBTPlayer::getSignalStrength(float* cnr, int* values) {
    RECORD();
    return d->signal(cnr, values);
}

int ISDBTPlayer::getSignalStrength_ForMassProductionTestOf2Ts(float* cnr, int* values) {
    RECORD();
    int r = d->signal(cnr, values);
    if (r == 0 && values) values[0] = 1;
    return r;
}

int ISDBTPlayer::getCurrentDateTime(int* mjd, int* hour, int* minute, int* second, int* o5,
                                    int* o6, int* o7) {
    RECORD();
    std::lock_guard<std::mutex> lk(d->m);
    if (!d->prepared) return -1;
    long long now = d->nowSeconds();
    int s = static_cast<int>(now % 86400);
    put(mjd, static_cast<int>(now / 86400));
    put(hour, s / 3600);
    put(minute, s % 3600 / 60);
    put(second, s % 60);
    put(o5, 0);
    put(o6, 0);
    put(o7, 0);
    return 0;
}

int ISDBTPlayer::getApTemperature() {
    RECORD();
    std::lock_guard<std::mutex> lk(d->m);
    return d->sc.temperature;
}

int ISDBTPlayer::getAntenaOpenCheckPinState() {
    RECORD();
    std::lock_guard<std::mutex> lk(d->m);
    return d->sc.antennaPin;
}

int ISDBTPlayer::setChLogEpgDb_OpenClose(unsigned int open) {
    RECORD(open);
    std::lock_guard<std::mutex> lk(d->m);
    d->dbOpen = open != 0;
    if (d->dbOpen) {
        // The application may have replaced the channel files meanwhile.
        for (int m = 0; m < 2; ++m) bsim::readChannelDatabase(d->channelDb(m), &d->rows[m]);
    }
    return 0;
}

int ISDBTPlayer::copyLogFilesToUsb() { RECORD(); return 0; }

}  // namespace dtv

namespace bsim {

void setScenario(const Scenario& scenario) {
    Global& g = global();
    std::lock_guard<std::mutex> lk(g.m);
    g.scenario = scenario;
    g.haveScenario = true;
    if (g.onScenario) g.onScenario(scenario);
}

void resetScenario() {
    Global& g = global();
    std::lock_guard<std::mutex> lk(g.m);
    g.haveScenario = false;
}

static std::shared_ptr<Core> liveCore() {
    Global& g = global();
    std::lock_guard<std::mutex> lk(g.m);
    return g.live;
}

bool injectEvent(int msg, int ext1, int ext2, const std::vector<int>& record, int delayMs) {
    std::shared_ptr<Core> core = liveCore();
    if (!core || !core->hasListener()) return false;
    Core* c = core.get();
    core->post(kMisc, delayMs, [c, msg, ext1, ext2, record] { c->deliver(msg, ext1, ext2, record); });
    return true;
}

bool injectCaption(int chIdx, int serviceID, int width, int height,
                   const std::vector<uint8_t>& bgra) {
    const size_t size = static_cast<size_t>(width) * height * 4;
    if (width <= 0 || height <= 0 || bgra.size() < size) return false;
    std::shared_ptr<Core> core = liveCore();
    if (!core || !core->hasListener()) return false;
    unsigned phy = 0;
    if (!placeCaption(bgra.data(), size, &phy)) return false;
    Core* c = core.get();
    const int isize = static_cast<int>(size);
    core->post(kMisc, 0, [c, chIdx, serviceID, isize, phy] {
        c->deliver(9, chIdx, serviceID, {0, isize, static_cast<int>(phy)});
    });
    return true;
}

bool waitIdle(int timeoutMs) {
    std::shared_ptr<Core> core = liveCore();
    return !core || core->waitIdle(timeoutMs);
}

void freezeClock() {
    SimClock& c = simClock();
    std::lock_guard<std::mutex> lk(c.m);
    if (!c.frozen)
        c.at = c.running();
    c.frozen = true;
}

void advanceClock(std::chrono::milliseconds step) {
    SimClock& c = simClock();
    std::lock_guard<std::mutex> lk(c.m);
    c.at += step;
}

void releaseClock() {
    SimClock& c = simClock();
    std::lock_guard<std::mutex> lk(c.m);
    c.frozen = false;
}

std::vector<std::string> calls() {
    Global& g = global();
    std::lock_guard<std::mutex> lk(g.m);
    return std::vector<std::string>(g.calls.begin(), g.calls.end());
}

void clearCalls() {
    Global& g = global();
    std::lock_guard<std::mutex> lk(g.m);
    g.calls.clear();
}

void setResult(const std::string& name, int value) {
    Global& g = global();
    std::lock_guard<std::mutex> lk(g.m);
    g.results[name] = value;
}

void clearResults() {
    Global& g = global();
    std::lock_guard<std::mutex> lk(g.m);
    g.results.clear();
}

std::thread::id engineThread() {
    std::shared_ptr<Core> core = liveCore();
    return core ? core->id() : std::thread::id();
}

}  // namespace bsim
