// Under a development root the board paths move below it and the commands
// that would touch the machine only reach the recording stand-ins.

#include "DevRoot.h"
#include "ISDBtUtil.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

using holvik_test::readFile;
using holvik_test::TestDevRoot;

TEST(DevRootSafety, RebootSyncAndMixerOnlyReachTheRecorder)
{
    TestDevRoot root;
    const pid_t self = getpid();
    // What a factory reset and the volume control end with, through both
    // ways the program runs commands.
    EXPECT_EQ(sutil::RunCmd("sync; reboot -f"), 1);
    int status = -1;
    EXPECT_TRUE(devroot::runShell("amixer sset kvrvol 128", &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(devroot::runShell("reboot", &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(root.recordedCommands(),
              (std::vector<std::string>{"sync", "reboot -f", "amixer sset kvrvol 128", "reboot"}));
    EXPECT_EQ(getpid(), self);
    // Each name resolves to the stand-in, whatever the machine has.
    const std::string where = root.root() + "/where.txt";
    ASSERT_TRUE(devroot::runShell("for c in reboot sync amixer; do command -v $c; done > " + where));
    EXPECT_EQ(readFile(where), root.root() + "/bin/reboot\n" + root.root() + "/bin/sync\n" + root.root() +
                                   "/bin/amixer\n");
}

TEST(DevRootSafety, BoardPathsMoveBelowTheRoot)
{
    const char* saved = getenv("HOLVIK_ROOT");
    const std::string keep = saved ? saved : "";
    struct Case {
        const char* root;  // nullptr: unset
        const char* board;
        const char* want;
    };
    const Case cases[] = {
        {nullptr, "/opt/data/DtvAppLog/", "/opt/data/DtvAppLog/"},
        {"", "/dev/fb0", "/dev/fb0"},
        {"/tmp/r", "/opt/data/DtvAppLog/", "/tmp/r/opt/data/DtvAppLog/"},
        {"/tmp/r//", "/dev/fb0", "/tmp/r/dev/fb0"},
        {"/tmp/r", "relative", "/tmp/r/relative"},
    };
    for (const Case& c : cases) {
        if (c.root)
            setenv("HOLVIK_ROOT", c.root, 1);
        else
            unsetenv("HOLVIK_ROOT");
        EXPECT_EQ(devroot::path(c.board), c.want) << (c.root ? c.root : "(unset)") << " " << c.board;
    }
    if (saved)
        setenv("HOLVIK_ROOT", keep.c_str(), 1);
    else
        unsetenv("HOLVIK_ROOT");
}
