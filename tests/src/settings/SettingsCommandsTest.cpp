// The settings commands: every value of each command's range is applied and
// stored, every value outside it (the no-argument -1 among them) changes
// nothing. The picture and volume commands of the family belong to those
// features; their rows run wherever the engine has them.

#include "EngineRig.h"
#include "ISDBtDataManager.h"
#include "SettingsTestUtil.h"

#include <gtest/gtest.h>

#include <QMetaObject>

#include <functional>
#include <string>

using namespace launcher_test;
using settings_test::playerCalls;
using settings_test::storedValue;

namespace {

ISDBtDataManager* data()
{
    return ISDBtDataManager::getInstance();
}

struct RangeCase {
    const char* command;  // invokable name, called as QML would
    int low, high;
    const char* key;
    std::function<int()> current;
    // The broadcast engine call a value makes, "" when none.
    std::function<std::string(int)> playerCall;
    // Values tried inside the range: every `step`-th from `low` (and `high`).
    int step = 1;
};

// Calls `command` through the meta-object, with `value` or, when none is
// given, without an argument (the -1 form of QML).
int rigCalls(const std::string& prefix)
{
    int n = 0;
    for (const std::string& c : bsim::calls())
        if (c.compare(0, prefix.size(), prefix) == 0)
            ++n;
    return n;
}

bool invoke(ISDBtAppEngine* engine, const char* command, const int* value)
{
    if (value)
        return QMetaObject::invokeMethod(engine, command, Qt::DirectConnection, Q_ARG(int, *value));
    return QMetaObject::invokeMethod(engine, command, Qt::DirectConnection);
}

TEST(SettingsCommands, RangesAreStoredAndEverythingOutsideIsIgnored)
{
    EngineRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    const RangeCase cases[] = {
        {"execClockDisplayChange", 0, 2, "showTime", [] { return data()->getShowTime(); }, nullptr},
        {"execEventRelayChange", 0, 1, "EventRelay", [] { return data()->getEventRelay(); }, nullptr},
        {"execScreenRatioChange", 0, 2, "screenRatio", [] { return data()->getScreenRatio(); },
         [](int v) { return "setScreenMode(" + std::to_string(v) + ")"; }},
        {"execScreenScaleChange", 80, 100, "screenScale", [] { return data()->getScreenScale(); },
         [](int v) { return "setScreenScale(" + std::to_string(v) + ")"; }},
        {"execAudioLevelChange", 0, 20, "audioLevel", [] { return data()->getAudioLevel(); }, nullptr},
        {"execVideoDelayChange", 0, 10, "videoDelay", [] { return data()->getVideoDelay(); },
         [](int v) { return "setVideoDelay(" + std::to_string(100 * v) + ")"; }},
        {"execStationSearchOpChange", 0, 1, "stationSearchType", [] { return data()->getStationSearchType(); },
         nullptr},
        {"execAutoStationSearchChange", 0, 120, "stationSearchTime",
         [] { return data()->getStationSearchTime(); }, nullptr, 40},
        {"execBackgroundSearchChange", 0, 2, "backgroundSearch", [] { return data()->getBackgroundSearch(); },
         // Relay and affiliated stations: the search type the row above left.
         [](int v) { return "setBackSearchInfo2TS(" + std::to_string(v) + ",0)"; }},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.command);
        // The store writes a key when its value changes: make sure it did.
        for (int v : {c.high, c.low})
            ASSERT_TRUE(invoke(rig.engine.get(), c.command, &v));
        bsim::clearCalls();
        for (int v = c.low; v <= c.high; v = v < c.high && v + c.step > c.high ? c.high : v + c.step) {
            ASSERT_TRUE(invoke(rig.engine.get(), c.command, &v));
            EXPECT_EQ(c.current(), v);
            EXPECT_EQ(storedValue(rig, c.key), v);
            if (c.playerCall)
                EXPECT_EQ(playerCalls(c.playerCall(v)), 1) << v;
        }
        // Set a value inside, then try the ones around the range.
        const int kept = c.low;
        ASSERT_TRUE(invoke(rig.engine.get(), c.command, &kept));
        bsim::clearCalls();
        const int outside[] = {c.low - 1, c.high + 1, -1, 1000, INT32_MIN};
        for (int v : outside) {
            ASSERT_TRUE(invoke(rig.engine.get(), c.command, &v));
            EXPECT_EQ(c.current(), kept) << v;
            EXPECT_EQ(storedValue(rig, c.key), kept) << v;
        }
        // The no-argument form is -1 (execVideoDelayChange has none).
        if (std::string(c.command) != "execVideoDelayChange") {
            ASSERT_TRUE(invoke(rig.engine.get(), c.command, nullptr));
            EXPECT_EQ(c.current(), kept);
        }
        if (c.playerCall) {
            const std::string name = c.playerCall(0).substr(0, c.playerCall(0).find('(') + 1);
            EXPECT_EQ(rigCalls(name), 0);
        }
        EXPECT_EQ(rigCalls("stop("), 0);
    }
}

TEST(SettingsCommands, VideoDelayRestartsTheServiceEvenWithTheSameValue)
{
    EngineRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    ISDBtAppEngine* e = rig.engine.get();
    const int three = 3;
    ASSERT_TRUE(invoke(e, "execVideoDelayChange", &three));
    bsim::clearCalls();
    ASSERT_TRUE(invoke(e, "execVideoDelayChange", &three));
    EXPECT_EQ(rig.playerCalls("stop("), 1);
    EXPECT_EQ(playerCalls("setVideoDelay(300)"), 1);
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
    EXPECT_TRUE(e->getStartServiceDone());
    EXPECT_FALSE(rig.engine->inProcessing());
    // The previews: the delay touches the player only, the scale is stored.
    bsim::clearCalls();
    const int seven = 7, eleven = 11, ninety = 90;
    ASSERT_TRUE(invoke(e, "setVideoDelay", &seven));
    ASSERT_TRUE(invoke(e, "setVideoDelay", &eleven));
    EXPECT_EQ(playerCalls("setVideoDelay(700)"), 1);
    EXPECT_EQ(rigCalls("setVideoDelay("), 1);
    EXPECT_EQ(rigCalls("stop("), 0);
    EXPECT_EQ(data()->getVideoDelay(), 3);
    ASSERT_TRUE(invoke(e, "setScreenScale", &ninety));
    EXPECT_EQ(data()->getScreenScale(), 90);
}

TEST(SettingsCommands, AccOpStoresOnOrOffAndAsksTheLauncherToWriteIt)
{
    EngineRig rig;
    ASSERT_TRUE(rig.launcher->ok());
    const struct {
        bool noArgument;
        int value;
        int stored;
    } steps[] = {{false, 5, 1}, {true, 0, 0}, {false, 1, 1}, {false, -7, 0}};
    int from = 0;
    for (const auto& s : steps) {
        if (s.noArgument)
            ASSERT_TRUE(QMetaObject::invokeMethod(rig.engine.get(), "execAccOpChange", Qt::DirectConnection));
        else
            rig.engine->execAccOpChange(s.value);
        EXPECT_EQ(data()->getStartPower(), s.stored);
        EXPECT_EQ(storedValue(rig, "startPower"), s.stored);
        const QString line = QString("call method_launcher_request_power_mode(1, %1)").arg(s.stored);
        from = rig.launcher->waitForLine(line, from);
        ASSERT_GE(from, 0) << line.toStdString();
        ++from;
    }
}

}  // namespace
