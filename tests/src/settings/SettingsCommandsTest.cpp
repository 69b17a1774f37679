// The settings commands: every value of each command's range is applied and
// stored, every value outside it (the no-argument -1 among them) changes
// nothing; the toggling forms step to their next value.

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
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.command);
        // The store writes a key when its value changes: make sure it did.
        for (int v : {c.high, c.low})
            ASSERT_TRUE(invoke(rig.engine.get(), c.command, &v));
        bsim::clearCalls();
        for (int v = c.low; v <= c.high; ++v) {
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
    rig.engine->execVideoDelayChange(3);
    bsim::clearCalls();
    rig.engine->execVideoDelayChange(3);
    EXPECT_EQ(rig.playerCalls("stop("), 1);
    EXPECT_EQ(playerCalls("setVideoDelay(300)"), 1);
    EXPECT_EQ(rig.playerCalls("setChannel("), 1);
    EXPECT_TRUE(rig.engine->getStartServiceDone());
    EXPECT_FALSE(rig.engine->inProcessing());
    // The previews touch the player only.
    bsim::clearCalls();
    rig.engine->setVideoDelay(7);
    rig.engine->setVideoDelay(11);
    EXPECT_EQ(playerCalls("setVideoDelay(700)"), 1);
    EXPECT_EQ(rigCalls("setVideoDelay("), 1);
    EXPECT_EQ(rigCalls("stop("), 0);
    EXPECT_EQ(data()->getVideoDelay(), 3);
    rig.engine->setScreenScale(90);
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

TEST(SettingsCommands, TogglingFormsStepToTheirNextValue)
{
    EngineRig rig;
    ASSERT_TRUE(rig.waitForState(ISDBtAppEngine::Prepared));
    ISDBtAppEngine* e = rig.engine.get();
    const struct {
        const char* name;
        std::function<void(int)> set;
        std::function<void()> toggle;
        std::function<int()> current;
        const char* key;
        int from, next;
    } cases[] = {
        {"captions", [e](int v) { e->execSetSubtitle(v); }, [e] { e->execSetSubtitle(); },
         [] { return data()->getSubtitle(); }, "subtitle", 0, 1},
        {"captions", [e](int v) { e->execSetSubtitle(v); }, [e] { e->execSetSubtitle(); },
         [] { return data()->getSubtitle(); }, "subtitle", 1, 0},
        {"captions", [e](int v) { e->execSetSubtitle(v); }, [e] { e->execSetSubtitle(); },
         [] { return data()->getSubtitle(); }, "subtitle", 2, 0},
        {"superimpose", [e](int v) { e->execSetSuperImpose(v); }, [e] { e->execSetSuperImpose(); },
         [] { return data()->getSuperImpose(); }, "superImpose", 0, 1},
        {"superimpose", [e](int v) { e->execSetSuperImpose(v); }, [e] { e->execSetSuperImpose(); },
         [] { return data()->getSuperImpose(); }, "superImpose", 2, 0},
        {"bilingual", [e](int v) { e->execBilingualChange(v); }, [e] { e->execBilingualChange(); },
         [] { return data()->getBilingual(); }, "bilingual", 0, 1},
        {"bilingual", [e](int v) { e->execBilingualChange(v); }, [e] { e->execBilingualChange(); },
         [] { return data()->getBilingual(); }, "bilingual", 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " from " + std::to_string(c.from));
        c.set(c.from);
        ASSERT_EQ(c.current(), c.from);
        c.toggle();
        EXPECT_EQ(c.current(), c.next);
        EXPECT_EQ(storedValue(rig, c.key), c.next);
        c.set(3);
        EXPECT_EQ(c.current(), c.next);
    }

    // Volume steps stop at the ends.
    e->execAudioLevelChange(20);
    e->execChangeAudioLevel(true);
    EXPECT_EQ(data()->getAudioLevel(), 20);
    e->execChangeAudioLevel(false);
    EXPECT_EQ(data()->getAudioLevel(), 19);
    e->execAudioLevelChange(0);
    e->execChangeAudioLevel(false);
    EXPECT_EQ(data()->getAudioLevel(), 0);
    EXPECT_EQ(storedValue(rig, "audioLevel"), 0);

    // Banner mode 0 -> 1 -> 2 -> 0.
    data()->setShowChannelInfo(0);
    for (int want : {1, 2, 0}) {
        e->execChangeShowChannelInfo();
        EXPECT_EQ(data()->getShowChannelInfo(), want);
    }
}

}  // namespace
