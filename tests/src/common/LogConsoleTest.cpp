// The log call: console format and level filter, and the writer thread of the
// process from kelp_app_log_init() on.

#include "KelpAppLog.h"
#include "SaveLogHandler.h"
#include "StdoutCapture.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using holvik_test::readFile;
using holvik_test::StdoutCapture;
using holvik_test::TestDevRoot;

namespace {

std::string logLine(int level, const char* colour, const char* tag, const char* message)
{
    StdoutCapture cap;
    kelp_app_log(level, colour, "Foo.cpp", 42, tag, "%s", message);
    return cap.take();
}

// Replaces every "[<digits>]" (the milliseconds) with "[N]".
std::string maskMillis(const std::string& text)
{
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = i + 1;
        if (text[i] == '[') {
            while (j < text.size() && isdigit(static_cast<unsigned char>(text[j])))
                ++j;
            if (j > i + 1 && j < text.size() && text[j] == ']') {
                out += "[N]";
                i = j + 1;
                continue;
            }
        }
        out += text[i];
        i = i + 1;
    }
    return out;
}

// Waits until the writer thread has written every line queued before this
// call and returns FILE's text without the marker lines this logs: the writer
// is one thread taking lines in order, so once a line logged now is in the
// file, so is everything queued before it.
std::string settled(const std::string& file)
{
    static int count = 0;
    const std::string marker = "settle-marker-" + std::to_string(++count);
    LOG_I("%s", marker.c_str());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::string text;
    while ((text = readFile(file)).find(marker + "\n") == std::string::npos) {
        if (std::chrono::steady_clock::now() > end)
            return "(" + marker + " never reached the file)\n" + text;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::string out;
    for (size_t at = 0, next; at < text.size(); at = next) {
        next = text.find('\n', at);
        next = next == std::string::npos ? text.size() : next + 1;
        const std::string line = text.substr(at, next - at);
        if (line.find("settle-marker-") == std::string::npos)
            out += line;
    }
    return out;
}

}  // namespace

// Runs first: nothing may reach the files before the log is started.
TEST(LogConsole, LinesBeforeInitOnlyReachTheConsole)
{
    TestDevRoot root;
    const std::string out = logLine(4, "\033[36m", "[I]", "early");
    EXPECT_NE(out.find("early"), std::string::npos);
    EXPECT_EQ(SaveLogHandler::getInstance()->pendingCount(), 0u);
    EXPECT_FALSE(SaveLogHandler::getInstance()->isRunning());
}

TEST(LogConsole, LineFormatPerLevel)
{
    struct Case {
        int level;
        const char* colour;
        const char* tag;
        const char* reset;  // after the milliseconds
    };
    const Case cases[] = {
        {1, "\033[34m", "[V]", "\033[0m"},
        {1, "\033[35m", "[Q]", "\033[0m"},
        {4, "\033[36m", "[I]", "\033[0m"},
        {8, "\033[31m", "[W]", "\033[0m"},
        {16, "\033[41m", "[H]", ""},  // the red background runs on through the message
    };
    for (const Case& c : cases) {
        const std::string out = logLine(c.level, c.colour, c.tag, "msg 1");
        const std::string want = std::string(c.colour) + "[isdbt]" + c.tag + "[N] " + c.reset +
                                 " msg 1\033[33m (Foo.cpp:42)\033[0m\n";
        EXPECT_EQ(maskMillis(out), want) << c.tag;
    }
}

TEST(LogConsole, LevelsWithoutAKnownBitAreDropped)
{
    for (int level : {0, 32, 64, 0x100})
        EXPECT_EQ(logLine(level, "\033[36m", "[I]", "gone"), "") << level;
    EXPECT_NE(logLine(2, "\033[36m", "[I]", "kept"), "");
    EXPECT_NE(logLine(32 | 4, "\033[36m", "[I]", "kept"), "");
}

TEST(LogConsole, LongMessagesAreCutTo1023Characters)
{
    const std::string message(2000, 'm');
    const std::string out = logLine(4, "\033[36m", "[I]", message.c_str());
    EXPECT_NE(out.find(" " + std::string(1023, 'm') + "\033[33m"), std::string::npos);
    EXPECT_EQ(out.find(std::string(1024, 'm')), std::string::npos);
}

TEST(LogConsole, MacrosPassTheirLevelTagAndBareFileName)
{
    StdoutCapture cap;
    LOG_W("[%s] %d", "fn", 7);
    const std::string out = cap.take();
    EXPECT_EQ(out.rfind("\033[31m[isdbt][W][", 0), 0u) << out;
    EXPECT_NE(out.find("[fn] 7\033[33m (LogConsoleTest.cpp:"), std::string::npos) << out;
}

TEST(LogWriter, LinesReachTheFileAndSavingStopsAndRestarts)
{
    TestDevRoot root;
    {
        StdoutCapture quiet;
        kelp_app_log_init();
    }
    const std::string file = root.path("/opt/data/DtvAppLog/AppLogFile_0.txt");
    LOG_I("[%s] first", "t");
    LOG_H("[%s] second", "t");
    kelp_app_log(0, "", "x", 1, "[I]", "never");
    std::string text = settled(file);
    EXPECT_EQ(maskMillis(text), "========== LogFileIndex : 0 ==========\n"
                                "[isdbt] [I] [N] [t] first\n"
                                "[isdbt] [H] [N] [t] second\n");

    // Power-off: saving stops, queued and new lines are dropped.
    kelp_app_log_save_stop();
    EXPECT_FALSE(SaveLogHandler::getInstance()->isRunning());
    LOG_I("while off");
    EXPECT_EQ(SaveLogHandler::getInstance()->pendingCount(), 0u);

    // Power-on: the same file goes on.
    kelp_app_log_save_start();
    LOG_I("back on");
    text = settled(file);
    EXPECT_EQ(text.find("while off"), std::string::npos);
    EXPECT_NE(text.find("] back on\n"), std::string::npos);

    // During the export the writer pauses and lines only reach the console
    // (here the export's own command lines); saving goes on afterwards.
    std::filesystem::create_directories(root.path("/run/media/sda1"));
    {
        StdoutCapture cap;
        EXPECT_EQ(kelp_app_log_copy_log_files_to_usb(), 0);
        EXPECT_NE(cap.take().find("[RunCmd] tar czf"), std::string::npos);
    }
    EXPECT_EQ(SaveLogHandler::getInstance()->pendingCount(), 0u);
    LOG_I("after export");
    text = settled(file);
    EXPECT_EQ(text.find("[RunCmd]"), std::string::npos) << text;
    EXPECT_NE(text.find("] after export\n"), std::string::npos) << text;

    // A burst from several threads: every line arrives, none twice.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 25; ++i)
                LOG_I("burst %d-%d", t, i);
        });
    for (auto& th : threads)
        th.join();
    text = settled(file);
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i) {
            const std::string line = "burst " + std::to_string(t) + "-" + std::to_string(i) + "\n";
            const auto at = text.find(line);
            EXPECT_NE(at, std::string::npos) << line;
            EXPECT_EQ(text.find(line, at + 1), std::string::npos) << line;
        }

    kelp_app_log_deinit();
    EXPECT_FALSE(SaveLogHandler::getInstance()->isRunning());
}
