#pragma once
// The engine's key gate: which remote-control key may reach the QML in the
// application's present state. A plain function of that state, so that every
// state can be tried without a player, a view or a launcher.

namespace keygate {

// Launcher key codes the gate names.
enum Key {
    KeyNum1 = 0,
    KeyNum12 = 11,
    KeyVolUp = 12,
    KeyVolDn = 13,
    KeyChUp = 14,
    KeyChDn = 15,
    KeySearch = 19,
    KeyBack = 21,
    KeyOk = 22,
    KeyAllScan = 23,
    KeyScan = 25,
    KeyUp = 27,
    KeyDn = 28,
    KeyLeft = 29,
    KeyRight = 30,
    KeyPower = 35,
};

// What the gate looks at.
struct State {
    bool inProcessing = false;  // power-off, factory reset, HDMI or delay change, antenna short
    bool copyingLog = false;
    int ozbState = 3;           // engine state: 0 None, 1 Released, 2 Preparing, 3 Prepared
    bool powerOn = true;
    int playerState = 0;        // player wrapper state: 3 scanning, 5 handover
    bool factoryMode = false;
    bool initialized = true;    // the first channel scan has been completed
    int factoryResult = 0;      // the factory record's test result
    bool onLiveScreen = false;  // the current screen is the live-TV one
};

struct Verdict {
    bool pass = false;
    // The log lines of the decision, in order (a "%s" for the caller's
    // name); the second may be null. Refusals are highlighted.
    const char* lines[2] = {nullptr, nullptr};
    // The key is offered to the factory-mode entry before the verdict is
    // applied: a box that has not been set up yet, or one whose factory test
    // asked for it, can be put into factory mode with keys the view refuses.
    bool offerFactoryEntry = false;
};

Verdict decide(const State& state, int key);

}  // namespace keygate
