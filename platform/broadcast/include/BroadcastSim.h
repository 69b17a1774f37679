#pragma once
// Scenario and test controls of the broadcast engine stand-in.
//
// A scenario describes what the simulated antenna receives: stations on
// physical channels, their services, audio components, logos and guide
// events, and the reception profile after each tune. An engine takes, when
// it is constructed, the scenario set by setScenario(), else the file named
// by $HOLVIK_BROADCAST_SCENARIO (samples in platform/broadcast/scenarios/),
// else the built-in default.
//
// Scenario text, one directive a line ('#' starts a comment; names run to
// the end of the line; '|' separates the texts of audio and event lines):
//   clock system | clock <MJD> <HH> <MM> <SS>   broadcast time at engine start
//   timing prepare=<ms> scan_step=<ms> tune=<ms> handover=<ms> epg_refresh=<ms> background=<ms>
//   temperature <C>          antenna_pin <0|1>
//   station <channel 14..69> <networkID> <name>
//     logo <width> <height>                     station logo (pattern of logoPixel)
//     relay <channel> [<affiliates>]            where a handover may find the station
//     service <fseg|1seg> <serviceID> <remoconID> <threeDigit> <audioPID> <videoPID> <pmtPID> <name>
//       audiomode <n>
//       audio <main lang> <sub lang|-> <main text> | <sub text>
//       event <MJD|+days> <HH:MM> <H:MM duration> <name> | <text> | <ext item> | <ext text>
//   signal <at ms after tune> [ch=<channel>] cnr=<dB> tot= oneseg= b0= b1= b2= b3= errA= totA= errB= totB= 2ts=
// Numbers are decimal or 0x-hexadecimal.
//
// Reception. The signal lines without ch= make the profile of every channel
// that has no lines of its own; with ch= they make that channel's own
// profile (a relay that is received better or worse than its main
// transmitter). Times count from the last tune by the application: a
// handover moves to another channel but keeps the time, as a car keeps
// driving. Before a profile's first point a channel is not received.
// A handover, the background search included, goes only to a channel of the
// same station that is received better (a higher CNR) than the current one;
// the background search reports it every `background` ms while it is, and
// the two-stream comparison reports -1 (no handover) when it is not.

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <chrono>

namespace bsim {

struct AudioComponent {
    int mainCode = 0;  // ISO 639-2, three letters packed, first letter highest
    int subCode = 0;
    std::string mainText;
    std::string subText;
};

struct GuideEventSpec {
    bool relativeDay = true;  // day is an offset from the clock's date
    int day = 0;
    int hour = 0, minute = 0;
    int durationHours = 1, durationMinutes = 0;
    std::string name, text, extItem, extText;
};

struct Service {
    int segType = 0;  // 0 full-segment, 1 one-segment
    int serviceID = 0;
    int remoconID = 0;
    int threeDigit = 0;
    int audioPID = 0, videoPID = 0, pmtPID = 0;
    int audioMode = 1;
    std::string name;
    std::vector<AudioComponent> audio;
    std::vector<GuideEventSpec> events;
};

struct Station {
    int channel = 0;
    int networkID = 0;
    std::string name;
    int logoWidth = 0, logoHeight = 0;
    int relayChannel = -1;  // -1: a handover finds nothing
    int affiliates = 0;
    std::vector<Service> services;
};

// Reception from `atMs` after a tune until the next point. The values array
// of getSignalStrength gets: [0] 2ts, [1] tot, [2] oneseg, [3] b3, [4] b2,
// [5] b1, [6] b0, [7] errA, [8] totA, [9] errB, [10] totB, [13] frequency kHz.
struct SignalPoint {
    int channel = 0;  // 0: every channel without points of its own
    int atMs = 0;
    float cnr = 0;
    int twoTs = 0, cnrTot = 0, cnrOneSeg = 0;
    int branch[4] = {0, 0, 0, 0};
    int errA = 0, totA = 0, errB = 0, totB = 0;
};

struct Timing {
    int prepareMs = 300;
    int scanStepMs = 40;
    int tuneMs = 150;
    int handoverMs = 800;
    int epgRefreshMs = 30000;
    int backgroundMs = 2000;  // background search report period
};

struct Scenario {
    bool clockFromSystem = true;
    int clockMJD = 0, clockHour = 0, clockMinute = 0, clockSecond = 0;
    Timing timing;
    int temperature = 45;
    int antennaPin = 1;
    std::vector<Station> stations;
    std::vector<SignalPoint> signal;
};

// The point of `channel`'s profile in force `ms` after a tune; null while
// the channel is not received.
const SignalPoint* signalAt(const Scenario& scenario, int channel, long long ms);

Scenario defaultScenario();
bool parseScenario(const std::string& text, Scenario* out, std::string* error);
bool loadScenarioFile(const std::string& path, Scenario* out, std::string* error);

// The scenario of engines created from now on, and of the live one.
void setScenario(const Scenario& scenario);
// Back to the environment's file or the default.
void resetScenario();

// B,G,R,A pixel (x, y) of the logo of network `networkID`.
uint32_t logoPixel(int networkID, int x, int y);

// Physical channel -> centre frequency in kHz.
int channelFrequencyKHz(int channel);

// Board folders the engine writes to (below the development root).
std::string channelDirectory();  // $OZB_DATA_PATH, else /opt/data/kvrozb_data
std::string guideDirectory();    // /ramdisk/kvrozb_data
std::string captionDevicePath(); // /dev/ccfb
std::string pmapPath();          // /proc/pmap

// Caption plane region "overlay1" as listed in the pmap file.
constexpr unsigned kCaptionBase = 0x01000000;
constexpr unsigned kCaptionSize = 0x00800000;

// ---- test controls ----

// Delivers an event to the live engine's listener from the engine thread,
// after `delayMs`. The record is copied. False when no engine listens.
bool injectEvent(int msg, int ext1, int ext2, const std::vector<int>& record = {},
                 int delayMs = 0);

// Places a caption bitmap (B,G,R,A, width x height) in the caption plane and
// announces it with event 9. False when there is no engine or no plane.
bool injectCaption(int chIdx, int serviceID, int width, int height,
                   const std::vector<uint8_t>& bgra);

// Waits until every pending event of the live engine has been delivered
// (periodic guide refreshes do not count). False on timeout.
bool waitIdle(int timeoutMs = 5000);

// The clock of the signal profiles and of the broadcast time. Frozen, it
// stands still except by advanceClock(), so a test can step past a profile
// step without waiting for it; released, it is the steady clock again.
// $HOLVIK_BROADCAST_CLOCK_RATE (1 to 100, read once) makes the unfrozen clock
// and every delay of the engine run that many times faster, so a test of the
// whole program can play minutes of broadcast in seconds.
void freezeClock();
void advanceClock(std::chrono::milliseconds step);
void releaseClock();

// Every engine call the application made, oldest first, as "name(a,b,...)".
std::vector<std::string> calls();
void clearCalls();

// Makes method `name` return `value` (instead of doing its work) until
// clearResults(). Example: setResult("setAudioMuteOnOff", -1).
void setResult(const std::string& name, int value);
void clearResults();

// Id of the live engine's thread (a default id when there is none).
std::thread::id engineThread();

}  // namespace bsim
