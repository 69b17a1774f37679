// Picture settings, the display cable from the kernel command line, the HDMI
// resolution files, the HDMI mode change and the video-error watchdog.

#include "EngineFixture.h"
#include "ISDBtDataManager.h"
#include "StdoutCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using engine_test::Fixture;
using holvik_test::StdoutCapture;
using holvik_test::writeFile;

namespace {

const char kCmdline[] = "/proc/cmdline";
const char kSupported[] = "/sys/class/kvr_dispman/kvr_dispman/persist_supported_resolution";
const char kCurrent[] = "/sys/class/kvr_dispman/kvr_dispman/persist_hdmi_resolution";

int parse(const std::string& text)
{
    return ISDBtAppEngine::parseDispCable(text.data(), text.size());
}

TEST(Display, CableKindComesFromTheCommandLineTokenWhereverItStands)
{
    struct Case {
        const char* cmdline;
        int kind;
    } cases[] = {
        {"console=ttyS0 dispout_type=CVBS quiet", 1},
        {"console=ttyS0 dispout_type=DUAL", 0},
        {"console=ttyS0 dispout_type=HDMI", 2},
        {"dispout_type=CVBS console=ttyS0", 1},          // at the very start of the line
        {"console=ttyS0 root=/dev/mmcblk0p2", 2},        // no token
        {"x dispout_type=LCD1 dispout_type=CVBS", 1},    // an unknown value is skipped
        {"x mydispout_type=CVBS", 2},                    // only a whole token counts
        {"x dispout_type=CV", 2},                        // value cut by the end of the text
        {"", 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse(c.cmdline), c.kind) << c.cmdline;
}

TEST(Display, CableCheckReadsOnlyTheBytesItReadAndLogsTheCableItFound)
{
    Fixture f;
    // No file: kind 2.
    EXPECT_EQ(f.engine->checkDispCable(), 2);

    writeFile(f.root.path(kCmdline), "dispout_type=DUAL console=ttyS0\n");
    StdoutCapture dual;
    EXPECT_EQ(f.engine->checkDispCable(), 0);
    EXPECT_NE(dual.take().find("Detected Cable : DUAL"), std::string::npos);

    writeFile(f.root.path(kCmdline), "console=ttyS0\n");
    StdoutCapture none;
    EXPECT_EQ(f.engine->checkDispCable(), 2);
    EXPECT_NE(none.take().find("Detected Cable : HDMI"), std::string::npos);

    // The token straddles the 1024 bytes read: it is not there.
    std::string longLine(1024 - 16, 'a');
    longLine += " dispout_type=CVBS\n";
    writeFile(f.root.path(kCmdline), longLine);
    EXPECT_EQ(f.engine->checkDispCable(), 2);
    // Wholly within them it is.
    longLine = std::string(1024 - 19, 'a') + " dispout_type=CVBS";
    writeFile(f.root.path(kCmdline), longLine);
    EXPECT_EQ(f.engine->checkDispCable(), 1);
}

TEST(Display, SupportedResolutionLinesGiveTheirWellFormedTokens)
{
    Fixture f;
    struct Case {
        const char* line;
        std::vector<std::pair<int, const char*>> entries;
    } cases[] = {
        {"2:1920x1080@60p 5:1280x0720@60p", {{2, "1920X1080@60P"}, {5, "1280X0720@60P"}}},
        {"2:1920x1080@60p  5:1280x0720@60p", {{2, "1920X1080@60P"}, {5, "1280X0720@60P"}}},
        {"4:1280x0720@60p", {{4, "1280X0720@60P"}}},
        {"2:1920x1080@60p 1920x1080 3:a:b 5:1280x0720@60p", {{2, "1920X1080@60P"}, {5, "1280X0720@60P"}}},
        {"no colon here", {}},
        {"12:", {{12, ""}}},
        {"ab", {}},
    };
    for (const Case& c : cases) {
        f.engine->parsingSupportedResolutionFile(QString::fromLatin1(c.line));
        const auto& list = f.engine->hdmiList();
        ASSERT_EQ(list.size(), int(c.entries.size())) << c.line;
        for (int i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list.at(i).id, c.entries[i].first) << c.line;
            EXPECT_EQ(list.at(i).name.toStdString(), c.entries[i].second) << c.line;
        }
    }
}

TEST(Display, CurrentResolutionAlignsTheHdmiModeByListThenByBareId)
{
    Fixture f("HDMIMode=1\n");
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();
    writeFile(f.root.path(kSupported), "2:1920x1080@60p 4:1280x0720@60p 7:720x0480@60p\n");
    struct Case {
        const char* current;
        int mode;  // expected nHDMIMode afterwards
    } cases[] = {
        {"2\n", 0}, {"4\n", 1}, {"7\n", 1},  // 480P in the list: unknown name, then id 7 > 5: unchanged
        {"3\n", 0},                          // not listed, id <= 3
        {"5\n", 1},                          // not listed, 4..5
        {"2\n", 0}, {"9\n", 0},              // not listed, above 5: unchanged
        {"-1\n", 0},                         // negative as an int: unchanged
    };
    for (const Case& c : cases) {
        writeFile(f.root.path(kCurrent), c.current);
        f.engine->checkCurrentHdmiResolution();
        EXPECT_EQ(settings->getHDMIMode(), c.mode) << c.current;
    }
}

TEST(Display, AvailableResolutionLooksForTheModeTheChangeWouldSwitchTo)
{
    Fixture f("HDMIMode=0\n");
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();
    // Nothing read yet: nothing known against the change.
    EXPECT_TRUE(f.engine->checkAvailableHdmiResolution());

    writeFile(f.root.path(kSupported), "2:1920x1080@60p\n");
    f.engine->loadSupportedResolutionFile();
    EXPECT_FALSE(f.engine->checkAvailableHdmiResolution());  // 1080P -> 720P, not offered
    settings->setHDMIMode(1);
    EXPECT_TRUE(f.engine->checkAvailableHdmiResolution());   // 720P -> 1080P
    settings->setHDMIMode(2);
    EXPECT_TRUE(f.engine->checkAvailableHdmiResolution());   // 480P -> 1080P

    // A missing file keeps the list; a too short line empties it.
    std::remove(f.root.path(kSupported).c_str());
    f.engine->loadSupportedResolutionFile();
    EXPECT_EQ(f.engine->hdmiList().size(), 1);
    writeFile(f.root.path(kSupported), "2:\n");
    f.engine->loadSupportedResolutionFile();
    EXPECT_TRUE(f.engine->hdmiList().isEmpty());
    settings->setHDMIMode(0);
    EXPECT_TRUE(f.engine->checkAvailableHdmiResolution());
}

TEST(Display, HdmiModeChangeStoresTheNextModeAndReboots)
{
    Fixture f("HDMIMode=2\n");
    f.root.clearRecordedCommands();
    f.engine->changeHDMIMode();
    EXPECT_EQ(ISDBtDataManager::getInstance()->getHDMIMode(), 0);
    EXPECT_EQ(Fixture::playerCalls("setHDMIMode(0)").size(), 1u);
    EXPECT_EQ(f.recorded("reboot"), 1);
}

TEST(Display, PictureSettingsKeepTheirRanges)
{
    Fixture f;
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();
    f.engine->execScreenRatioChange(2);
    f.engine->execScreenRatioChange(3);
    f.engine->execScreenRatioChange(-1);
    EXPECT_EQ(settings->getScreenRatio(), 2);

    f.engine->execScreenScaleChange(80);
    EXPECT_EQ(settings->getScreenScale(), 80);
    f.engine->execScreenScaleChange(79);
    f.engine->execScreenScaleChange(101);
    EXPECT_EQ(settings->getScreenScale(), 80);
    f.engine->execScreenScaleChange(100);
    EXPECT_EQ(settings->getScreenScale(), 100);

    // The preview stores nothing.
    f.engine->setVideoDelay(5);
    EXPECT_EQ(settings->getVideoDelay(), 0);
    f.engine->execVideoDelayChange(11);
    f.engine->execVideoDelayChange(-1);
    EXPECT_EQ(settings->getVideoDelay(), 0);
    f.engine->execVideoDelayChange(10);
    EXPECT_EQ(settings->getVideoDelay(), 10);
    EXPECT_FALSE(f.engine->inProcessing());
}

TEST(Display, WatchdogRebootsOnAMemoryErrorOrSevenDecodeErrors)
{
    Fixture f;
    QTimer* timer = f.engine->timer("checkVideoErrTimer");
    ASSERT_NE(timer, nullptr);
    f.root.clearRecordedCommands();

    // Six decode errors: the window closes quietly.
    f.engine->startCheckVideoError();
    EXPECT_TRUE(timer->isActive());
    for (int i = 0; i < 6; ++i)
        f.engine->onNotiryEventVideoError(i % 2 ? 1 : 2);
    f.engine->onNotiryEventVideoError(3);  // counts nothing
    f.engine->checkVideoErrTimerHandler();
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(f.recorded("reboot"), 0);

    // A new window starts from zero; the seventh error reboots.
    f.engine->startCheckVideoError();
    EXPECT_EQ(f.engine->videoErrCount(), 0);
    for (int i = 0; i < 7; ++i)
        f.engine->onNotiryEventVideoError(1);
    f.engine->checkVideoErrTimerHandler();
    EXPECT_EQ(f.recorded("reboot"), 1);

    f.engine->startCheckVideoError();
    f.engine->onNotiryEventVideoError(9);
    for (int i = 0; i < 30; ++i)
        f.engine->onNotiryEventVideoError(2);
    EXPECT_EQ(f.engine->videoErrCount(), 20);
    EXPECT_EQ(f.engine->memVideoErrCount(), 1);
    f.engine->checkVideoErrTimerHandler();
    EXPECT_EQ(f.recorded("reboot"), 2);
}

}  // namespace
