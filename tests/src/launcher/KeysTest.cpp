// Remote keys: pairing of presses and releases with the 400 ms long press
// (the launcher side alone, with a recording engine), the key gate in every
// state (as a table), and keys and touches end to end through the engine,
// the hidden engineering and factory sequences among them.

#include "AppEngineIF.h"
#include "BroadcastSim.h"
#include "EngineRig.h"
#include "ISDBtDataManager.h"
#include "KeyGate.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QQuickView>
#include <QPoint>
#include <QSignalSpy>
#include <QString>

#include <algorithm>
#include <memory>
#include <vector>

using namespace launcher_test;

namespace {

// One call of AppKeyEvent: status, launcher code, and the event's Qt key and
// modifiers (key 0 when no event came).
struct KeyCall {
    int status;
    int key;
    int qtKey;
    Qt::KeyboardModifiers modifiers;
    bool operator==(const KeyCall& o) const
    {
        return status == o.status && key == o.key && qtKey == o.qtKey && modifiers == o.modifiers;
    }
};

std::ostream& operator<<(std::ostream& os, const KeyCall& c)
{
    return os << "{status " << c.status << ", key " << c.key << ", qt 0x" << std::hex << c.qtKey << std::dec
              << ", mods " << int(c.modifiers) << "}";
}

class RecordingEngine : public AppEngineIF
{
public:
    RecordingEngine() { initAppEngineIF(kAppId); }
    std::vector<KeyCall> calls;
    int curKey() const { return m_nCurKey; }

    void AppDebug(QString, bool) override {}
    void AppKeyEvent(int type, int key, int status, QKeyEvent* event) override
    {
        EXPECT_EQ(type, KeyFromRemocon);
        calls.push_back({status, key, event ? event->key() : 0, event ? event->modifiers() : Qt::NoModifier});
        if (event != nullptr) {
            EXPECT_EQ(event->type(), status == KeyReleased ? QEvent::KeyRelease : QEvent::KeyPress);
            EXPECT_FALSE(event->isAutoRepeat());
            EXPECT_EQ(event->count(), 1);
        }
        delete event;
    }
    void AppTouchPosition(int, int) override {}
    void AppSteeringKeyEvent(int) override {}
    void AppRequestAlive() override {}
    void AppResponsePowerMode(int) override {}
    void AppRequestPowerDownControl() override {}
    void AppRequestHPDControl(int) override {}
};

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;

TEST(KeyPairing, PressesAndReleasesPairOrCancel)
{
    guiApp();
    const struct {
        const char* name;
        std::vector<std::pair<int, int>> input;  // (action, key)
        std::vector<KeyCall> expected;
    } cases[] = {
        {"press and release", {{1, 22}, {2, 22}}, {{1, 22, Qt::Key_J, kNone}, {2, 22, Qt::Key_J, kNone}}},
        {"release of another key", {{1, 22}, {2, 23}}, {{1, 22, Qt::Key_J, kNone}, {4, 23, 0, kNone}}},
        {"repeated press is swallowed", {{1, 14}, {1, 14}, {2, 14}},
         {{1, 14, Qt::Key_PageUp, kNone}, {2, 14, Qt::Key_PageUp, kNone}}},
        {"a second key starts a new hold", {{1, 12}, {1, 13}, {2, 13}},
         {{1, 12, Qt::Key_BracketRight, kNone}, {1, 13, Qt::Key_BracketLeft, kNone},
          {2, 13, Qt::Key_BracketLeft, kNone}}},
        {"code without a Qt key", {{1, 26}, {2, 26}}, {{1, 26, 0, kNone}, {2, 26, 0, kNone}}},
        {"code above the table", {{1, 40}}, {{1, 40, 0, kNone}}},
        {"code above 62", {{1, 70}}, {{4, 70, 0, kNone}}},
        {"negative code", {{1, -3}}, {{4, -3, 0, kNone}}},
        {"-1 is no held key", {{1, -1}}, {{4, -1, 0, kNone}}},
        {"negative release while holding", {{1, 35}, {2, -2}}, {{1, 35, Qt::Key_P, kNone}, {4, -2, 0, kNone}}},
        {"unknown action", {{3, 22}}, {{4, 22, 0, kNone}}},
        {"first and last codes", {{1, 0}, {2, 0}, {1, 36}, {2, 36}},
         {{1, 0, Qt::Key_F1, kNone}, {2, 0, Qt::Key_F1, kNone}, {1, 36, Qt::Key_R, kNone},
          {2, 36, Qt::Key_R, kNone}}},
    };
    for (const auto& c : cases) {
        RecordingEngine e;
        for (const auto& in : c.input)
            e.onSendKeyReceive(in.first, in.second);
        EXPECT_EQ(e.calls, c.expected) << c.name;
    }
}

TEST(KeyPairing, EveryCodeOfTheTableMapsToItsKey)
{
    const int expected[37] = {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5, Qt::Key_F6, Qt::Key_F7,
                              Qt::Key_F8, Qt::Key_F9, Qt::Key_F10, Qt::Key_F11, Qt::Key_F12,
                              Qt::Key_BracketRight, Qt::Key_BracketLeft, Qt::Key_PageUp, Qt::Key_PageDown,
                              Qt::Key_Q, Qt::Key_A, Qt::Key_W, Qt::Key_F, Qt::Key_S, Qt::Key_D, Qt::Key_J,
                              Qt::Key_C, Qt::Key_E, Qt::Key_V, 0, Qt::Key_U, Qt::Key_M, Qt::Key_H, Qt::Key_K, 0,
                              Qt::Key_X, Qt::Key_Z, Qt::Key_O, Qt::Key_P, Qt::Key_R};
    for (int code = 0; code < 37; ++code)
        EXPECT_EQ(AppEngineIF::qtKeyOf(code), expected[code]) << "code " << code;
    for (int code : {-100, -1, 37, 62, 63, 1000})
        EXPECT_EQ(AppEngineIF::getKeyEvent(code, 1), nullptr) << "code " << code;
}

TEST(KeyPairing, AHeldKeyGivesOneLongPressThenAnOrdinaryRelease)
{
    guiApp();
    RecordingEngine e;
    e.onSendKeyReceive(1, 22);
    ASSERT_TRUE(waitUntil([&] { return e.calls.size() >= 2; }));
    e.onSendKeyReceive(2, 22);
    const std::vector<KeyCall> expected = {
        {1, 22, Qt::Key_J, kNone}, {3, 22, Qt::Key_J, Qt::ShiftModifier}, {2, 22, Qt::Key_J, kNone}};
    EXPECT_EQ(e.calls, expected);
    EXPECT_EQ(e.curKey(), -1);

    // A release before 400 ms: no long press (the timer is stopped).
    e.calls.clear();
    e.onSendKeyReceive(1, 21);
    e.onSendKeyReceive(2, 21);
    e.onSendKeyReceive(1, 20);
    ASSERT_TRUE(waitUntil([&] { return e.calls.size() >= 4; }));
    EXPECT_EQ(e.calls[3], (KeyCall{3, 20, Qt::Key_S, Qt::ShiftModifier}));
}

keygate::State prepared()
{
    return keygate::State();
}

TEST(KeyGate, EachStatePassesOnlyItsKeys)
{
    auto with = [](auto change) {
        keygate::State s = prepared();
        change(s);
        return s;
    };
    const std::vector<int> all = [] {
        std::vector<int> v;
        for (int k = 0; k <= 36; ++k)
            v.push_back(k);
        return v;
    }();
    const struct {
        const char* name;
        keygate::State state;
        std::vector<int> passing;
    } cases[] = {
        {"prepared", prepared(), all},
        {"in processing", with([](keygate::State& s) { s.inProcessing = true; }), {}},
        {"copying logs", with([](keygate::State& s) { s.copyingLog = true; }), {}},
        {"preparing", with([](keygate::State& s) { s.ozbState = 2; }), {}},
        {"released", with([](keygate::State& s) { s.ozbState = 1; s.powerOn = false; }), {35}},
        {"none, powered off", with([](keygate::State& s) { s.ozbState = 0; s.powerOn = false; }), {35}},
        {"none, powered on", with([](keygate::State& s) { s.ozbState = 0; }), all},
        {"prepared, powered off", with([](keygate::State& s) { s.powerOn = false; }), {35}},
        {"scanning", with([](keygate::State& s) { s.playerState = 3; }), {21, 23, 25, 35}},
        {"handover", with([](keygate::State& s) { s.playerState = 5; }),
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 15, 19, 35}},
        {"factory mode", with([](keygate::State& s) { s.factoryMode = true; }), {12, 13, 21, 22, 27, 28, 29, 30, 35}},
        {"before the first scan", with([](keygate::State& s) { s.initialized = false; }), {22, 35}},
        {"scanning before the first scan", with([](keygate::State& s) { s.playerState = 3; s.initialized = false; }),
         {21, 23, 25, 35}},
    };
    for (const auto& c : cases) {
        std::vector<int> passed;
        for (int k : all) {
            const keygate::Verdict v = keygate::decide(c.state, k);
            EXPECT_NE(v.lines[0] == nullptr && !v.pass, true) << c.name << ": a refusal says why";
            if (v.pass)
                passed.push_back(k);
        }
        EXPECT_EQ(passed, c.passing) << c.name;
    }
    // Powered off and released: POWER is let through with both reasons.
    const keygate::Verdict v = keygate::decide(with([](keygate::State& s) { s.ozbState = 1; s.powerOn = false; }), 35);
    EXPECT_STREQ(v.lines[0], "[%s] - OzbState::Released. send only Power keyEvent");
    EXPECT_STREQ(v.lines[1], "[%s] - need to Power. send only Power keyEvent");
}

// Where the factory-mode entry may begin: on a box not yet set up, or on the
// live-TV screen of a box whose factory test asked for it; never in a state
// the gate settles first.
TEST(KeyGate, OffersKeysToTheFactoryEntryOnlyWhereItMayBegin)
{
    auto with = [](auto change) {
        keygate::State s = prepared();
        change(s);
        return s;
    };
    const struct {
        const char* name;
        keygate::State state;
        bool offered;
    } cases[] = {
        {"set up", prepared(), false},
        {"before the first scan", with([](keygate::State& s) { s.initialized = false; }), true},
        {"test asked, live screen", with([](keygate::State& s) { s.factoryResult = 1; s.onLiveScreen = true; }), true},
        {"test asked, other screen", with([](keygate::State& s) { s.factoryResult = 1; }), false},
        {"test passed, live screen", with([](keygate::State& s) { s.factoryResult = 2; s.onLiveScreen = true; }),
         false},
        {"already in factory mode",
         with([](keygate::State& s) { s.initialized = false; s.factoryMode = true; }), false},
        {"scanning before the first scan",
         with([](keygate::State& s) { s.initialized = false; s.playerState = 3; }), false},
        {"released before the first scan",
         with([](keygate::State& s) { s.initialized = false; s.ozbState = 1; s.powerOn = false; }), false},
        {"in processing before the first scan",
         with([](keygate::State& s) { s.initialized = false; s.inProcessing = true; }), false},
    };
    for (const auto& c : cases) {
        // A key the view refuses there is offered as well as one it takes.
        for (int key : {keygate::KeyUp, keygate::KeyOk})
            EXPECT_EQ(keygate::decide(c.state, key).offerFactoryEntry, c.offered) << c.name << ", key " << key;
    }
}

TEST(EngineKeys, HeldKeyReachesTheViewAsPressLongPressAndRelease)
{
    EngineRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    rig.launcher->send("hold 22 1500");
    ASSERT_TRUE(rig.waitForKeys(3));
    const std::vector<SeenKey> expected = {{QEvent::KeyPress, Qt::Key_J, Qt::NoModifier},
                                           {QEvent::KeyPress, Qt::Key_J, Qt::ShiftModifier},
                                           {QEvent::KeyRelease, Qt::Key_J, Qt::NoModifier}};
    EXPECT_EQ(rig.view->keys, expected);
}

TEST(EngineKeys, GateFollowsTheEngineState)
{
    EngineOptions o;
    o.prepareMs = 0;  // stays Preparing until the test delivers the event
    EngineRig rig(o);
    ASSERT_TRUE(rig.launcher->ok());
    QSignalSpy cancels(rig.engine.get(), SIGNAL(sendKeyCancel()));

    // Preparing: nothing passes; a cancel still reaches the QML.
    rig.launcher->send("key 35");
    rig.launcher->send("press -5");
    ASSERT_TRUE(waitUntil([&] { return cancels.count() == 1; }));
    EXPECT_TRUE(rig.view->keys.empty());

    ASSERT_TRUE(waitUntil([] { return bsim::injectEvent(1, 0, 0); }));
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    rig.launcher->send("key 14");
    ASSERT_TRUE(rig.waitForKeys(2));
    EXPECT_EQ(rig.view->keys[0], (SeenKey{QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier}));

    // While a long operation runs, keys are refused.
    rig.view->keys.clear();
    rig.engine->setInProcessing(true);
    rig.launcher->send("key 22");
    rig.launcher->send("press 70");  // a cancel marks the end of the key before it
    ASSERT_TRUE(waitUntil([&] { return cancels.count() == 2; }));
    EXPECT_TRUE(rig.view->keys.empty());
    rig.engine->setInProcessing(false);
}

TEST(EngineKeys, BeforeTheFirstScanOnlyOkAndPowerPass)
{
    EngineOptions o;
    o.settings = "initialized=0\npowerOn=1\nmode=0\n";
    EngineRig rig(o);
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    // No scan yet: the launcher is told the power mode of a new box.
    EXPECT_GE(rig.launcher->waitForLine("call method_launcher_request_power_mode(1, 0)"), 0);
    EXPECT_EQ(rig.playerCalls("setChannel("), 0);
    rig.launcher->send("key 14");
    rig.launcher->send("key 22");
    ASSERT_TRUE(rig.waitForKeys(2));
    EXPECT_EQ(rig.view->keys[0], (SeenKey{QEvent::KeyPress, Qt::Key_J, Qt::NoModifier}));
    EXPECT_EQ(rig.view->keys.size(), 2u);
}

TEST(EngineKeys, LauncherKeysReachTheScreensWhileTheWindowIsInactive)
{
    EngineOptions o;
    o.keysToQml = true;
    EngineRig rig(o);
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    QQuickView* view = rig.engine->view();
    ASSERT_NE(view->activeFocusItem(), nullptr) << "the shown view takes the focus";

    // A window system gives the focus to another window: none of the
    // view's items has it any more.
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(view, &out);
    ASSERT_EQ(view->activeFocusItem(), nullptr);
    rig.launcher->send("key 16");
    ASSERT_TRUE(waitUntil([&] { return rig.engine->currentScreen() == QLatin1String("ISDBtStationListMain"); }))
        << "CH_LIST opens the station list";
    rig.launcher->send("key 21");
    EXPECT_TRUE(waitUntil([&] { return rig.engine->currentScreen() == QLatin1String("ISDBtPlayerMain"); }))
        << "BACK closes it";
}

TEST(EngineKeys, TouchOnTheLiveScreenIsAHundredMillisecondTap)
{
    EngineRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    // Each step waits for a key sent after its touch, which the launcher
    // delivers in order: the touch has been handled when the key is seen. A
    // late release must not make a long press, whose extra event would end
    // such a wait early.
    rig.engine->longPressTimer()->setInterval(60000);
    const SeenKey okRelease{QEvent::KeyRelease, Qt::Key_J, Qt::NoModifier};
    const SeenKey powerPress{QEvent::KeyPress, Qt::Key_P, Qt::NoModifier};

    // Elsewhere than the live-TV screen touches do nothing.
    rig.engine->setMainState("ISDBtSetupMain");
    rig.launcher->send("touch 100 50");
    rig.launcher->send("key 22");
    ASSERT_TRUE(rig.waitForKey(okRelease));
    EXPECT_EQ(rig.view->mousePresses, 0);

    rig.engine->setMainState("ISDBtPlayerMain");
    rig.launcher->send("touch 640 360");
    ASSERT_TRUE(waitUntil([&] { return rig.view->mouseReleases == 1; }));
    EXPECT_EQ(rig.view->mousePresses, 1);
    EXPECT_EQ(rig.view->lastMouse, QPointF(640, 360));

    // Powered off: no touch.
    rig.launcher->send("powerdown");
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Released));
    rig.launcher->send("touch 10 10");
    // POWER's press passes and powers on; its release meets Preparing.
    rig.launcher->send("key 35");
    ASSERT_TRUE(rig.waitForKey(powerPress));
    EXPECT_EQ(rig.view->mousePresses, 1);
    EXPECT_EQ(rig.view->mouseReleases, 1);
}

// The hidden sequences as the remote sends them (the entry's own timing and
// restarts are the settings tests' business).
const std::vector<int> kEngKeys = {27, 27, 27, 28, 28, 28, 29, 29, 30, 30, 22, 22, 22};
const std::vector<int> kFactoryKeys = {27, 27, 28, 28, 29, 30};
// The engineering touch sequence, in the launcher's panel coordinates.
const std::vector<QPoint> kEngTouches = {{10, 10},     {10, 10},     {1200, 10}, {1200, 10},
                                         {1200, 700},  {1200, 700},  {10, 700},  {10, 700},
                                         {640, 360},   {640, 360},   {640, 360}};

// The sequences are made of plain presses: a loaded machine that delivers a
// release late must not turn one into a long press.
void keepPressesShort(EngineRig& rig)
{
    rig.engine->longPressTimer()->setInterval(60000);
}

void sendKeys(EngineRig& rig, const std::vector<int>& keys)
{
    for (int key : keys)
        rig.launcher->send(QStringLiteral("key %1").arg(key));
}

void sendTouches(EngineRig& rig, const std::vector<QPoint>& touches, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i)
        rig.launcher->send(QStringLiteral("touch %1 %2").arg(touches[i].x()).arg(touches[i].y()));
}

TEST(EngineKeys, HiddenKeySequenceOpensEngineeringModeAndBackLeavesIt)
{
    EngineRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    keepPressesShort(rig);
    rig.engine->setMainState("ISDBtPlayerMain");
    QSignalSpy enter(rig.engine.get(), &ISDBtAppEngine::sendEnterEngMode);
    QSignalSpy exit(rig.engine.get(), &ISDBtAppEngine::sendExitEngMode);

    sendKeys(rig, kEngKeys);
    ASSERT_TRUE(waitUntil([&] { return enter.count() == 1; }));
    EXPECT_TRUE(rig.engine->getEngMode());
    // The sequence's keys are not swallowed: the view sees each press and release.
    ASSERT_TRUE(rig.waitForKeys(2 * kEngKeys.size()));

    sendKeys(rig, {21});
    ASSERT_TRUE(waitUntil([&] { return exit.count() == 1; }));
    EXPECT_FALSE(rig.engine->getEngMode());
    EXPECT_EQ(enter.count(), 1);
}

TEST(EngineKeys, HiddenTouchSequenceOpensEngineeringModeUnlessAKeyBreaksIt)
{
    EngineRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    rig.engine->setMainState("ISDBtPlayerMain");
    QSignalSpy enter(rig.engine.get(), &ISDBtAppEngine::sendEnterEngMode);

    // A key after the fourth step starts the touch sequence over.
    sendTouches(rig, kEngTouches, 0, 8);
    sendKeys(rig, {22});
    sendTouches(rig, kEngTouches, 8, kEngTouches.size());
    ASSERT_TRUE(rig.waitForKeys(2));
    ASSERT_TRUE(waitUntil([&] { return rig.view->mousePresses == static_cast<int>(kEngTouches.size()); }));
    EXPECT_EQ(enter.count(), 0);
    EXPECT_FALSE(rig.engine->getEngMode());

    sendTouches(rig, kEngTouches, 0, kEngTouches.size());
    ASSERT_TRUE(waitUntil([&] { return enter.count() == 1; }));
    EXPECT_TRUE(rig.engine->getEngMode());
}

TEST(EngineKeys, FactorySequenceBeforeTheFirstScanOpensFactoryMode)
{
    EngineOptions o;
    o.settings = "initialized=0\npowerOn=1\nmode=0\n";
    EngineRig rig(o);
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    keepPressesShort(rig);
    QSignalSpy enter(rig.engine.get(), &ISDBtAppEngine::sendEnterFactoryMode);

    // The direction keys are refused by the view before the first scan, yet
    // they make the sequence.
    sendKeys(rig, kFactoryKeys);
    ASSERT_TRUE(waitUntil([&] { return enter.count() == 1; }));
    EXPECT_TRUE(rig.engine->factoryMode());
    EXPECT_EQ(ISDBtDataManager::getInstance()->getSegMode(), 4);

    // Factory mode lets the direction keys through (the last key's release
    // already passes).
    sendKeys(rig, {27});
    const SeenKey up{QEvent::KeyPress, Qt::Key_U, Qt::NoModifier};
    EXPECT_TRUE(waitUntil([&] {
        return std::find(rig.view->keys.begin(), rig.view->keys.end(), up) != rig.view->keys.end();
    }));
}

TEST(EngineKeys, FactorySequenceAfterAnAskingTestWorksOnlyOnTheLiveScreen)
{
    EngineOptions o;
    o.factory = "result=1\n";
    EngineRig rig(o);
    ASSERT_TRUE(rig.launcher->ok());
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    keepPressesShort(rig);
    QSignalSpy enter(rig.engine.get(), &ISDBtAppEngine::sendEnterFactoryMode);

    rig.engine->setMainState("ISDBtSetupMain");
    sendKeys(rig, kFactoryKeys);
    ASSERT_TRUE(rig.waitForKeys(2 * kFactoryKeys.size()));
    EXPECT_EQ(enter.count(), 0);

    rig.engine->setMainState("ISDBtPlayerMain");
    sendKeys(rig, kFactoryKeys);
    ASSERT_TRUE(waitUntil([&] { return enter.count() == 1; }));
    EXPECT_TRUE(rig.engine->factoryMode());
}

}  // namespace
