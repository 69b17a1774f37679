// The key gate's decision, in the order the engine's states take precedence.

#include "KeyGate.h"

namespace keygate {

namespace {

constexpr int kPlayerScanning = 3;
constexpr int kPlayerHandover = 5;
constexpr int kReleased = 1;
constexpr int kPreparing = 2;
constexpr int kNone = 0;

Verdict refuse(const char* line)
{
    Verdict v;
    v.lines[0] = line;
    return v;
}

Verdict pass(const char* line, const char* second = nullptr)
{
    Verdict v;
    v.pass = true;
    v.lines[0] = line;
    v.lines[1] = second;
    return v;
}

bool oneOf(int key, const int* keys, int n)
{
    for (int i = 0; i < n; ++i)
        if (keys[i] == key)
            return true;
    return false;
}

}  // namespace

Verdict decide(const State& s, int key)
{
    if (s.inProcessing || s.copyingLog)
        return refuse("[%s] - In processing power off or ant short or factory reset or copying logs. return!!");
    if (s.ozbState == kPreparing)
        return refuse("[%s] - OzbState::None or OzbState::Preparing.. return!!");
    if (s.ozbState == kReleased || (s.ozbState == kNone && !s.powerOn)) {
        if (key != KeyPower)
            return refuse("[%s] - OzbState::Released. return!!");
        return pass("[%s] - OzbState::Released. send only Power keyEvent",
                    s.powerOn ? nullptr : "[%s] - need to Power. send only Power keyEvent");
    }
    if (!s.powerOn) {
        if (key != KeyPower)
            return refuse("[%s] - Power is off. return!!");
        return pass("[%s] - need to Power. send only Power keyEvent");
    }
    if (s.playerState == kPlayerScanning) {
        static const int allowed[] = {KeyBack, KeyAllScan, KeyScan, KeyPower};
        if (!oneOf(key, allowed, 4))
            return refuse("[%s] - player is scanning. return!!");
        return pass("[%s] - player is scanning. allow key for scan and power");
    }
    if (s.playerState == kPlayerHandover) {
        static const int allowed[] = {KeyChUp, KeyChDn, KeySearch, KeyPower};
        if (!(key >= KeyNum1 && key <= KeyNum12) && !oneOf(key, allowed, 4))
            return refuse("[%s] - player is inHandover. return!!");
        return pass("[%s] - player is inHandover. allow key for stationSearch and power and changing ch");
    }
    if (s.factoryMode) {
        static const int allowed[] = {KeyVolUp, KeyVolDn, KeyBack, KeyOk, KeyUp, KeyDn, KeyLeft, KeyRight, KeyPower};
        if (!oneOf(key, allowed, 9))
            return refuse("[%s] - FACTORY MODE(only some key). return!!");
        return pass("[%s] - FACTORY MODE(send some key)");
    }
    Verdict v;
    if (!s.initialized) {
        if (key != KeyOk && key != KeyPower)
            v = refuse("[%s] - InitScan is not complete. return!!");
        else
            v = pass("[%s] - need to initScan. send only OK/POWER keyEvent");
    } else {
        v = pass(nullptr);
    }
    v.offerFactoryEntry = !s.initialized || (s.factoryResult == 1 && s.onLiveScreen);
    return v;
}

}  // namespace keygate
