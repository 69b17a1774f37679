// Scenario text parser, the built-in default scenario and small shared helpers.
#include "BroadcastSim.h"

#include "DevRoot.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bsim {
namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// Decimal or 0x-hexadecimal, optionally signed, fitting an int.
bool toInt(const std::string& s, int* out) {
    if (s.empty()) return false;
    size_t i = 0;
    bool neg = false;
    if (s[0] == '-' || s[0] == '+') {
        neg = s[0] == '-';
        i = 1;
    }
    int base = 10;
    if (s.size() > i + 1 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        int d;
        char c = s[i];
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v * base + d;
        if (v > INT_MAX) return false;
    }
    *out = static_cast<int>(neg ? -v : v);
    return true;
}

bool toFloat(const std::string& s, float* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || end != s.c_str() + s.size() || v < -1000 || v > 1000) return false;
    *out = static_cast<float>(v);
    return true;
}

// "H:MM" or "HH:MM" with hours up to maxHour.
bool toClock(const std::string& s, int maxHour, int* h, int* m) {
    size_t colon = s.find(':');
    if (colon == std::string::npos) return false;
    if (!toInt(s.substr(0, colon), h) || !toInt(s.substr(colon + 1), m)) return false;
    return *h >= 0 && *h <= maxHour && *m >= 0 && *m <= 59;
}

int packLanguage(const std::string& s) {
    if (s.size() != 3) return -1;
    int v = 0;
    for (char c : s) {
        if (c < 'a' || c > 'z') return -1;
        v = (v << 8) | c;
    }
    return v;
}

std::vector<std::string> splitBar(const std::string& s) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : s) {
        if (c == '|') {
            parts.push_back(trim(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(trim(cur));
    return parts;
}

// Splits the first `n` blank-separated words off a line; the rest (trimmed) is
// returned in *rest.
bool words(std::istringstream& in, size_t n, std::vector<std::string>* out, std::string* rest) {
    out->clear();
    std::string w;
    while (out->size() < n && in >> w) out->push_back(w);
    if (out->size() < n) return false;
    if (rest) {
        std::string r;
        std::getline(in, r);
        *rest = trim(r);
    }
    return true;
}

bool parseKeyValues(std::istringstream& in, SignalPoint* p, Timing* t, std::string* bad) {
    std::string w;
    while (in >> w) {
        size_t eq = w.find('=');
        if (eq == std::string::npos) {
            *bad = w;
            return false;
        }
        std::string k = w.substr(0, eq), v = w.substr(eq + 1);
        int n = 0;
        bool ok;
        if (p && k == "cnr") {
            ok = toFloat(v, &p->cnr);
        } else {
            ok = toInt(v, &n);
            int* slot = nullptr;
            if (p) {
                if (k == "tot") slot = &p->cnrTot;
                else if (k == "oneseg") slot = &p->cnrOneSeg;
                else if (k == "b0") slot = &p->branch[0];
                else if (k == "b1") slot = &p->branch[1];
                else if (k == "b2") slot = &p->branch[2];
                else if (k == "b3") slot = &p->branch[3];
                else if (k == "errA") slot = &p->errA;
                else if (k == "totA") slot = &p->totA;
                else if (k == "errB") slot = &p->errB;
                else if (k == "totB") slot = &p->totB;
                else if (k == "2ts") slot = &p->twoTs;
                else if (k == "ch") {
                    slot = &p->channel;
                    if (ok && (n < 14 || n > 69)) ok = false;
                }
            } else {
                if (k == "prepare") slot = &t->prepareMs;
                else if (k == "scan_step") slot = &t->scanStepMs;
                else if (k == "tune") slot = &t->tuneMs;
                else if (k == "handover") slot = &t->handoverMs;
                else if (k == "epg_refresh") slot = &t->epgRefreshMs;
                else if (k == "background") slot = &t->backgroundMs;
                // Delays stay below an hour so that a scenario cannot stall a run.
                if (ok && (n < 0 || n > 3600000)) ok = false;
            }
            if (!slot) ok = false;
            if (ok) *slot = n;
        }
        if (!ok) {
            *bad = w;
            return false;
        }
    }
    return true;
}

}  // namespace

bool parseScenario(const std::string& text, Scenario* out, std::string* error) {
    Scenario sc;
    sc.stations.clear();
    std::istringstream lines(text);
    std::string line;
    int lineNo = 0;
    auto err = [&](const std::string& msg) {
        if (error) *error = "line " + std::to_string(lineNo) + ": " + msg;
        return false;
    };
    while (std::getline(lines, line)) {
        ++lineNo;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        line = trim(line);
        if (line.empty()) continue;
        std::istringstream in(line);
        std::string key;
        in >> key;
        std::vector<std::string> w;
        std::string rest;
        Station* st = sc.stations.empty() ? nullptr : &sc.stations.back();
        Service* sv = st && !st->services.empty() ? &st->services.back() : nullptr;
        if (key == "clock") {
            if (!words(in, 1, &w, &rest)) return err("clock needs 'system' or a time");
            if (w[0] == "system" && rest.empty()) {
                sc.clockFromSystem = true;
                continue;
            }
            std::istringstream r(rest);
            std::vector<std::string> t;
            if (!toInt(w[0], &sc.clockMJD) || sc.clockMJD < 15079 || sc.clockMJD > 99999 ||
                !words(r, 3, &t, nullptr) || !toInt(t[0], &sc.clockHour) ||
                !toInt(t[1], &sc.clockMinute) || !toInt(t[2], &sc.clockSecond) ||
                sc.clockHour < 0 || sc.clockHour > 23 || sc.clockMinute < 0 ||
                sc.clockMinute > 59 || sc.clockSecond < 0 || sc.clockSecond > 59)
                return err("bad clock");
            sc.clockFromSystem = false;
        } else if (key == "timing") {
            std::string bad;
            if (!parseKeyValues(in, nullptr, &sc.timing, &bad)) return err("bad timing " + bad);
        } else if (key == "temperature" || key == "antenna_pin") {
            int v;
            if (!words(in, 1, &w, &rest) || !rest.empty() || !toInt(w[0], &v))
                return err("bad " + key);
            (key == "temperature" ? sc.temperature : sc.antennaPin) = v;
        } else if (key == "station") {
            Station s;
            if (!words(in, 2, &w, &s.name) || !toInt(w[0], &s.channel) ||
                !toInt(w[1], &s.networkID) || s.channel < 14 || s.channel > 69 ||
                s.networkID < 0 || s.networkID > 0xFFFF)
                return err("bad station");
            for (const Station& o : sc.stations)
                if (o.channel == s.channel) return err("channel used twice");
            sc.stations.push_back(s);
        } else if (key == "logo") {
            if (!st) return err("logo outside a station");
            if (!words(in, 2, &w, &rest) || !rest.empty() || !toInt(w[0], &st->logoWidth) ||
                !toInt(w[1], &st->logoHeight) || st->logoWidth < 0 || st->logoHeight < 0 ||
                st->logoWidth > 1024 || st->logoHeight > 1024)
                return err("bad logo");
        } else if (key == "relay") {
            if (!st) return err("relay outside a station");
            std::string aff;
            if (!words(in, 1, &w, &aff) || !toInt(w[0], &st->relayChannel) ||
                st->relayChannel < 14 || st->relayChannel > 69 ||
                (!aff.empty() && (!toInt(aff, &st->affiliates) || st->affiliates < 0)))
                return err("bad relay");
        } else if (key == "service") {
            if (!st) return err("service outside a station");
            Service s;
            int* ints[] = {&s.serviceID, &s.remoconID, &s.threeDigit, &s.audioPID, &s.videoPID,
                           &s.pmtPID};
            if (!words(in, 7, &w, &s.name)) return err("service needs 7 fields and a name");
            if (w[0] == "fseg") s.segType = 0;
            else if (w[0] == "1seg") s.segType = 1;
            else return err("service type must be fseg or 1seg");
            for (int i = 0; i < 6; ++i)
                if (!toInt(w[i + 1], ints[i]) || *ints[i] < 0 || *ints[i] > 0xFFFF)
                    return err("bad service field " + w[i + 1]);
            st->services.push_back(s);
        } else if (key == "audiomode") {
            if (!sv) return err("audiomode outside a service");
            if (!words(in, 1, &w, &rest) || !rest.empty() || !toInt(w[0], &sv->audioMode))
                return err("bad audiomode");
        } else if (key == "audio") {
            if (!sv) return err("audio outside a service");
            if (sv->audio.size() >= 3) return err("at most three audio components");
            AudioComponent a;
            if (!words(in, 2, &w, &rest)) return err("audio needs two languages");
            a.mainCode = packLanguage(w[0]);
            a.subCode = w[1] == "-" ? 0 : packLanguage(w[1]);
            if (a.mainCode < 0 || a.subCode < 0) return err("languages are three small letters");
            std::vector<std::string> texts = splitBar(rest);
            if (texts.size() > 2) return err("audio has two texts");
            a.mainText = texts[0];
            if (texts.size() > 1) a.subText = texts[1];
            sv->audio.push_back(a);
        } else if (key == "event") {
            if (!sv) return err("event outside a service");
            GuideEventSpec e;
            if (!words(in, 3, &w, &rest)) return err("event needs day, start and duration");
            e.relativeDay = w[0][0] == '+';
            if (!toInt(e.relativeDay ? w[0].substr(1) : w[0], &e.day) || e.day < 0 ||
                (e.relativeDay ? e.day > 30 : (e.day < 15079 || e.day > 99999)))
                return err("bad event day");
            if (!toClock(w[1], 23, &e.hour, &e.minute) ||
                !toClock(w[2], 99, &e.durationHours, &e.durationMinutes))
                return err("bad event time");
            std::vector<std::string> texts = splitBar(rest);
            if (texts.size() > 4) return err("event has at most four texts");
            std::string* dst[] = {&e.name, &e.text, &e.extItem, &e.extText};
            for (size_t i = 0; i < texts.size(); ++i) *dst[i] = texts[i];
            sv->events.push_back(e);
        } else if (key == "signal") {
            SignalPoint p;
            std::string bad;
            if (!words(in, 1, &w, &rest) || !toInt(w[0], &p.atMs) || p.atMs < 0)
                return err("bad signal time");
            std::istringstream r(rest);
            if (!parseKeyValues(r, &p, nullptr, &bad)) return err("bad signal value " + bad);
            for (const SignalPoint& o : sc.signal)
                if (o.channel == p.channel && o.atMs >= p.atMs)
                    return err("signal points must rise in time");
            sc.signal.push_back(p);
        } else {
            return err("unknown directive " + key);
        }
    }
    *out = sc;
    return true;
}

bool loadScenarioFile(const std::string& path, Scenario* out, std::string* error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    std::ostringstream all;
    all << f.rdbuf();
    return parseScenario(all.str(), out, error);
}

const SignalPoint* signalAt(const Scenario& scenario, int channel, long long ms) {
    bool own = false;
    for (const SignalPoint& s : scenario.signal) own = own || s.channel == channel;
    const SignalPoint* p = nullptr;
    for (const SignalPoint& s : scenario.signal)
        if (s.channel == (own ? channel : 0) && s.atMs <= ms) p = &s;
    return p;
}

Scenario defaultScenario() {
    static const char* kText = R"(
# Four stations around one city; one of them is relayed on a second channel.
clock system
timing prepare=300 scan_step=40 tune=150 handover=800 epg_refresh=30000
station 20 0x7f10 TV Aurora
  logo 60 36
  relay 34 1
  service fseg 0xe100 1 11 0x111 0x112 0x101 TV Aurora HD
    audio por - Portugues
  service 1seg 0xe118 1 19 0x181 0x182 0x1fc8 TV Aurora 1Seg
station 24 0x7f20 Rede Horizonte
  logo 60 36
  service fseg 0xe200 4 41 0x211 0x212 0x201 Horizonte HD
    audio por - Portugues
    audio eng - English
  service fseg 0xe201 4 42 0x221 0x222 0x202 Horizonte Noticias
  service 1seg 0xe218 4 49 0x281 0x282 0x1fc8 Horizonte 1Seg
station 27 0x7f30 Canal Vale
  logo 48 32
  service fseg 0xe300 5 51 0x311 0x312 0x301 Canal Vale
    audiomode 2
    audio por eng Portugues | English
  service 1seg 0xe318 5 59 0x381 0x382 0x1fc9 Canal Vale 1Seg
station 32 0x7f40 TV Educativa
  logo 64 36
  service fseg 0xe400 9 91 0x411 0x412 0x401 TV Educativa
  service 1seg 0xe418 9 99 0x481 0x482 0x1fc8 Educativa 1Seg
signal 0 cnr=24.5 tot=2450 oneseg=2610 b0=2440 b1=2390 b2=2510 b3=2470 errA=0 totA=1000 errB=0 totB=1000
)";
    Scenario sc;
    std::string error;
    parseScenario(kText, &sc, &error);
    // Three days of programmes for every service, starting at midnight of the
    // clock's date, so that something is on air whenever the program runs.
    static const char* kShows[] = {"Jornal da Manha", "Desenhos", "Culinaria", "Esporte Total",
                                   "Novela das Seis", "Jornal Nacional", "Filme da Noite",
                                   "Documentario", "Musica ao Vivo", "Previsao do Tempo"};
    int salt = 0;
    for (Station& st : sc.stations)
        for (Service& sv : st.services) {
            ++salt;
            for (int day = 0; day < 3; ++day) {
                int minute = 0, n = 0;
                while (minute < 24 * 60) {
                    GuideEventSpec e;
                    e.day = day;
                    e.hour = minute / 60;
                    e.minute = minute % 60;
                    int len = ((n + salt) % 3 == 0) ? 30 : 60;
                    e.durationHours = len / 60;
                    e.durationMinutes = len % 60;
                    e.name = kShows[(n + salt + day) % 10];
                    e.text = e.name + " - " + sv.name;
                    e.extItem = "Elenco";
                    e.extText = "Apresentacao da equipe de " + st.name;
                    sv.events.push_back(e);
                    minute += len;
                    ++n;
                }
            }
        }
    return sc;
}

uint32_t logoPixel(int networkID, int x, int y) {
    // A diagonal colour ramp keyed by the network, fully opaque: B, G, R, A
    // from the lowest byte up.
    uint32_t b = static_cast<uint32_t>((networkID * 37 + x * 5) & 0xFF);
    uint32_t g = static_cast<uint32_t>((networkID * 11 + y * 7) & 0xFF);
    uint32_t r = static_cast<uint32_t>((networkID + x + y) & 0xFF);
    return b | (g << 8) | (r << 16) | (0xFFu << 24);
}

int channelFrequencyKHz(int channel) { return 473143 + 6000 * (channel - 14); }

std::string channelDirectory() {
    const char* env = std::getenv("OZB_DATA_PATH");
    if (env && *env) return env;
    return devroot::path("/opt/data/kvrozb_data");
}

std::string guideDirectory() { return devroot::path("/ramdisk/kvrozb_data"); }
std::string captionDevicePath() { return devroot::path("/dev/ccfb"); }
std::string pmapPath() { return devroot::path("/proc/pmap"); }

}  // namespace bsim
