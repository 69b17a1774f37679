// Where the renderer finds its font. The path is composed once per process,
// so every case runs in a child process of its own; this process never
// starts the renderer.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "font_test_support.h"
#include "kvr_font.h"
#include "kvr_fontFT.h"

using fonttest::LogCapture;
using fonttest::TempDir;

namespace {

// Runs `body` in a forked child and returns what it reported: an empty
// string when every check held.
std::string inChild(const std::function<std::string()>& body)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "pipe failed";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string report = body();
        ssize_t ignored = write(fds[1], report.data(), report.size());
        (void)ignored;
        _exit(0);
    }
    close(fds[1]);
    std::string report;
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        report.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        report += "child ended abnormally";
    return report;
}

#define CHECK_IN_CHILD(cond)                                                  \
    do {                                                                      \
        if (!(cond))                                                          \
            report += "line " + std::to_string(__LINE__) + ": " #cond "\n";   \
    } while (0)

// A folder whose absolute path is exactly `length` characters long.
std::string dirOfLength(const TempDir& base, size_t length)
{
    std::string dir = base.path() + "/";
    dir.append(length - dir.size(), 'd');
    return dir;
}

TEST(FontPath, WithoutTheVariableTheBoardFolderBelowTheDevelopmentRootIsUsed)
{
    TempDir root, emptyRoot;
    ASSERT_TRUE(fonttest::installFont(root.path() + "/kvrozb/font"));
    EXPECT_EQ("", inChild([&] {
        std::string report;
        unsetenv("OZB_FONT_PATH");
        setenv("HOLVIK_ROOT", root.path().c_str(), 1);
        CHECK_IN_CHILD(kvr_font_init() == 0);
        CHECK_IN_CHILD(kvr_font_setFontSize(0, 24, 24, 4, 6) == 0);
        CHECK_IN_CHILD(kvr_font_close() == 0);
        return report;
    }));
    EXPECT_EQ("", inChild([&] {
        std::string report;
        unsetenv("OZB_FONT_PATH");
        setenv("HOLVIK_ROOT", emptyRoot.path().c_str(), 1);
        LogCapture log;
        CHECK_IN_CHILD(kvr_font_init() == -1);
        CHECK_IN_CHILD(log.contains(4, "Error kvr_fontFT_init(-1)\n"));
        return report;
    }));
}

TEST(FontPath, TheVariableNamesTheFolderUpToTheLengthThePathBufferHolds)
{
    TempDir base;
    ASSERT_LT(base.path().size() + 2, 101u);
    const std::string fits = dirOfLength(base, 101);  // 101 + 26 = 127 characters
    const std::string tooLong = dirOfLength(base, 102);
    ASSERT_TRUE(fonttest::installFont(fits));
    ASSERT_TRUE(fonttest::installFont(tooLong));
    struct Case {
        std::string dir;
        int32_t result;
    } const cases[] = {{fits, 0}, {tooLong, -1}, {base.path(), -1}};
    for (const Case& k : cases) {
        EXPECT_EQ("", inChild([&] {
            std::string report;
            setenv("OZB_FONT_PATH", k.dir.c_str(), 1);
            CHECK_IN_CHILD(kvr_fontFT_init() == k.result);
            if (k.result == 0)
                CHECK_IN_CHILD(kvr_fontFT_close() == 0);
            return report;
        })) << k.dir.size() << " characters: " << k.dir;
    }
}

TEST(FontPath, AComposedPathIsKeptAnEmptyOneIsComposedAgain)
{
    TempDir good, empty, base;
    ASSERT_TRUE(fonttest::installFont(good.path()));
    const std::string tooLong = dirOfLength(base, 102);
    EXPECT_EQ("", inChild([&] {
        std::string report;
        setenv("OZB_FONT_PATH", good.path().c_str(), 1);
        CHECK_IN_CHILD(kvr_fontFT_init() == 0);
        CHECK_IN_CHILD(kvr_fontFT_close() == 0);
        setenv("OZB_FONT_PATH", empty.path().c_str(), 1);
        CHECK_IN_CHILD(kvr_fontFT_init() == 0);  // still the first folder
        CHECK_IN_CHILD(kvr_fontFT_close() == 0);
        return report;
    }));
    EXPECT_EQ("", inChild([&] {
        std::string report;
        setenv("OZB_FONT_PATH", tooLong.c_str(), 1);
        CHECK_IN_CHILD(kvr_fontFT_init() == -1);
        setenv("OZB_FONT_PATH", good.path().c_str(), 1);
        CHECK_IN_CHILD(kvr_fontFT_init() == 0);
        CHECK_IN_CHILD(kvr_fontFT_close() == 0);
        return report;
    }));
}

TEST(FontPath, WithoutAFontEveryCallFailsCleanly)
{
    TempDir empty;
    EXPECT_EQ("", inChild([&] {
        std::string report;
        setenv("OZB_FONT_PATH", empty.path().c_str(), 1);
        CHECK_IN_CHILD(kvr_font_init() == -1);
        uint32_t pixels[64 * 64] = {};
        kvr_font_setDestBuf(pixels);
        kvr_font_setDestRegion(64, 64, 64);
        CHECK_IN_CHILD(kvr_font_setFontSize(0, 24, 24, 4, 6) == -1);
        CHECK_IN_CHILD(kvr_font_displayChar(0, 0, 0x3042, 0, 0) == -4);
        const uint16_t text[] = {0x3042, 0};
        CHECK_IN_CHILD(kvr_font_DisplayString(text, 0, 0, 30) == -4);
        uint32_t w = 0, h = 0;
        CHECK_IN_CHILD(kvr_FontFT_getRealFontSize(0x3042, &w, &h) == -1);
        CHECK_IN_CHILD(kvr_font_close() == -1);
        return report;
    }));
}

}  // namespace
