// The steps of the program's start before Qt: application identity, stale
// lock files, logo directory and the crash handler.

#include "AppStartup.h"
#include "StdoutCapture.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

using holvik_test::readFile;
using holvik_test::StdoutCapture;
using holvik_test::TestDevRoot;
using holvik_test::writeFile;
namespace fs = std::filesystem;

TEST(GetAppID, TakesTheIdFromTheFirstMatchingArgument)
{
    struct Case {
        std::vector<std::string> args;
        int want;
        bool logged;  // the "getAppID : %d" line
    };
    const Case cases[] = {
        {{"prog", "--id=7"}, 7, true},
        {{"prog", "--ID="}, 0, true},
        {{"prog", "--ID=a=b"}, 0, false},
        {{"prog", "--ID=12=3"}, 12, false},
        {{"prog", "--Id=x"}, 0, true},
        {{"prog", "-v", "--ID=3", "--ID=4"}, 3, true},
        {{"prog", "-v"}, -1, false},
        {{}, -1, false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> storage = c.args;
        std::vector<char*> argv;
        for (std::string& s : storage)
            argv.push_back(&s[0]);
        argv.push_back(nullptr);
        int argc = static_cast<int>(storage.size());
        StdoutCapture cap;
        EXPECT_EQ(GetAppID(argc, argv.data()), c.want);
        const std::string out = cap.take();
        EXPECT_EQ(out.find("getAppID : ") != std::string::npos, c.logged) << out;
        EXPECT_EQ(out.find("getAppID Invaild") != std::string::npos, c.want == -1) << out;
    }
}

TEST(CheckLockFile, RemovesAStaleLockAndItsLeftovers)
{
    TestDevRoot root;
    const std::string settings = root.path(startup::kSettingsFile);
    writeFile(settings, "[General]\n");
    writeFile(settings + ".lock", "");
    writeFile(settings + ".tmp", "");
    writeFile(root.path("/home/root/isdbt/factory.ini.bak"), "");

    StdoutCapture cap;
    CheckLockFile(settings.c_str(), false);
    const std::string out = cap.take();
    EXPECT_FALSE(fs::exists(settings + ".lock"));
    EXPECT_FALSE(fs::exists(settings + ".tmp"));
    EXPECT_TRUE(fs::exists(settings)) << "the settings file itself stays";
    EXPECT_TRUE(fs::exists(root.path("/home/root/isdbt/factory.ini.bak")));
    EXPECT_NE(out.find("rm -Rf " + settings + ".*~~~~"), std::string::npos) << out;
    EXPECT_EQ(root.recordedCommands(), std::vector<std::string>{"sync"});

    // Nothing stale: nothing runs.
    root.clearRecordedCommands();
    writeFile(settings + ".tmp", "");
    CheckLockFile(settings.c_str(), false);
    EXPECT_TRUE(fs::exists(settings + ".tmp"));
    EXPECT_TRUE(root.recordedCommands().empty());
}

TEST(CheckLockFile, SwapFileNameIsTheDotPrefixedPathBelowTheWorkingDirectory)
{
    TestDevRoot root;
    const std::string cwd = fs::current_path();
    const std::string work = root.root() + "/work";
    fs::create_directories(work);
    ASSERT_EQ(chdir(work.c_str()), 0);

    const std::string path = "/home/root/isdbt/factory.ini";
    writeFile(work + path + ".swp", "");
    writeFile(work + path + ".old", "");
    writeFile(root.path(path) + ".swp", "not the one");
    CheckLockFile(path.c_str(), true);
    EXPECT_FALSE(fs::exists(work + path + ".swp"));
    EXPECT_FALSE(fs::exists(work + path + ".old"));
    EXPECT_TRUE(fs::exists(root.path(path) + ".swp"));
    EXPECT_EQ(root.recordedCommands(), std::vector<std::string>{"sync"});
    ASSERT_EQ(chdir(cwd.c_str()), 0);
}

TEST(CheckLockFile, PathWithBlanksRemovesNothingOutsideItsStem)
{
    TestDevRoot root;
    // Unquoted, "rm -Rf <root>/a b/settings.ini.*" would remove "<root>/a".
    const std::string dir = root.root() + "/a b";
    writeFile(root.root() + "/a", "bystander");
    writeFile(dir + "/settings.ini.lock", "");
    writeFile(dir + "/settings.ini.x", "");
    CheckLockFile((dir + "/settings.ini").c_str(), false);
    EXPECT_FALSE(fs::exists(dir + "/settings.ini.x"));
    EXPECT_EQ(readFile(root.root() + "/a"), "bystander");
}

TEST(AppFontPath, FromTheEnvironmentOrTheFontDirectoryBelowTheRoot)
{
    TestDevRoot root;
    unsetenv("OZB_FONT_PATH");
    EXPECT_EQ(AppFontPath().toStdString(), root.path("/app/share/isdbt/font/DroidSansFallback_OzB.ttf"));
    EXPECT_TRUE(fs::exists(AppFontPath().toStdString())) << "the setup script places the font";
    setenv("OZB_FONT_PATH", "/some/fonts", 1);
    EXPECT_EQ(AppFontPath(), "/some/fonts/DroidSansFallback_OzB.ttf");
    unsetenv("OZB_FONT_PATH");
}

TEST(CheckLogoDir, CreatesTheLogoDirectoryBelowTheRoot)
{
    TestDevRoot root;
    fs::remove_all(root.path("/home/root"));
    CheckLogoDir();
    EXPECT_TRUE(fs::is_directory(root.path(startup::kLogoDir)));
    CheckLogoDir();  // already there: nothing to do
    EXPECT_TRUE(fs::is_directory(root.path(startup::kLogoDir)));
}

namespace {

// Runs `crash` in a child with the crash handler installed; returns the
// child's wait status and its standard output.
int runCrashingChild(void (*crash)(), std::string* out)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return -1;
    fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        InstallCrashHandler();
        crash();
        _exit(0);
    }
    close(pipeFds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buf, sizeof buf)) > 0)
        out->append(buf, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

void touchUnmappedPage()
{
    // A page that exists but may not be read: a real fault, not a raised
    // signal, so that returning from the handler would fault again.
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 1;
}

void callAbort()
{
    abort();
}

}  // namespace

TEST(CrashHandler, PrintsABacktraceAndEndsWithTheOriginalSignal)
{
    struct Case {
        void (*crash)();
        int signo;
    };
    const Case cases[] = {{touchUnmappedPage, SIGSEGV}, {callAbort, SIGABRT}};
    for (const Case& c : cases) {
        std::string out;
        const int status = runCrashingChild(c.crash, &out);
        ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status << "\n" << out;
        EXPECT_EQ(WTERMSIG(status), c.signo) << out;
        const std::string head = "sig[" + std::to_string(c.signo) + "] backtrace() returned ";
        ASSERT_NE(out.find(head), std::string::npos) << out;
        // One symbol line per frame, each with its address.
        const int frames = std::stoi(out.substr(out.find(head) + head.size()));
        EXPECT_GT(frames, 1);
        const std::string symbols = out.substr(out.find('\n', out.find(head)) + 1);
        EXPECT_EQ(std::count(symbols.begin(), symbols.end(), '\n'), frames) << out;
        EXPECT_NE(symbols.find("[0x"), std::string::npos) << out;
    }
}
