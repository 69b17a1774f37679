// Time from starting Holvik_ISDB to its root window's first frame. Each run
// starts the program in a fresh development root (first start: the initial
// scan prompt) without a display, reads its console until Qt's render loop
// reports the first frame drawn, and stops it again. As in ./run.sh, a
// private message bus with the launcher stand-in on it stands for the board's
// system bus; they are started once and serve every run.

#include "TestDevRoot.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Qt's render-loop timing category prints this for every frame drawn.
const char kFirstFrame[] = "Frame rendered";
const int kTimeoutMs = 30000;

// Reads from fd until `marker` has been seen; false on end or time-out.
bool waitForMarker(int fd, const char* marker, std::string* seen = nullptr);

// posix_spawn with the console (stdout and stderr) on a new pipe, whose read
// end comes back in *readFd, and standard input on /dev/null.
pid_t spawnWithPipe(const std::vector<std::string>& args, const std::vector<std::string>* env,
                    const char* dir, int* readFd)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    if (dir != nullptr)
        posix_spawn_file_actions_addchdir_np(&actions, dir);
    std::vector<std::string> argStore = args;
    std::vector<char*> argv;
    for (std::string& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    std::vector<char*> envp;
    if (env != nullptr) {
        envStore = *env;
        for (std::string& e : envStore)
            envp.push_back(e.data());
        envp.push_back(nullptr);
    }
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), env != nullptr ? envp.data() : environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return -1;
    }
    *readFd = fds[0];
    return pid;
}

void stopChild(pid_t pid, int fd)
{
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        usleep(100 * 1000);
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(fd);
}

// The private bus and the launcher stand-in, for the whole benchmark.
class Launcher {
public:
    Launcher()
    {
        char dir[] = "/tmp/holvik-bench-bus-XXXXXX";
        if (mkdtemp(dir) == nullptr)
            return;
        m_dir = dir;
        m_busPid = spawnWithPipe({"dbus-daemon", "--config-file=" HOLVIK_BUS_CONFIG,
                                  "--address=unix:path=" + m_dir + "/bus", "--nofork", "--nopidfile",
                                  "--print-address"},
                                 nullptr, nullptr, &m_busFd);
        if (m_busPid < 0 || !waitForMarker(m_busFd, "unix:path="))
            return;
        m_address = "unix:path=" + m_dir + "/bus";
        std::vector<std::string> env = {"DBUS_SYSTEM_BUS_ADDRESS=" + m_address, "PATH=/usr/bin:/bin"};
        m_launcherPid = spawnWithPipe({HOLVIK_LAUNCHER_PROGRAM}, &env, nullptr, &m_launcherFd);
        m_ok = m_launcherPid >= 0 && waitForMarker(m_launcherFd, " ready\n");
    }
    ~Launcher()
    {
        if (m_launcherPid > 0)
            stopChild(m_launcherPid, m_launcherFd);
        if (m_busPid > 0)
            stopChild(m_busPid, m_busFd);
        if (!m_dir.empty()) {
            unlink((m_dir + "/bus").c_str());
            rmdir(m_dir.c_str());
        }
    }
    bool ok() const { return m_ok; }
    const std::string& address() const { return m_address; }

private:
    std::string m_dir, m_address;
    pid_t m_busPid = -1, m_launcherPid = -1;
    int m_busFd = -1, m_launcherFd = -1;
    bool m_ok = false;
};

// Starts the program with its console on a pipe; returns the child's id or -1.
pid_t startProgram(const std::string& root, const std::string& busAddress, int* readFd)
{
    std::vector<std::string> env = {"HOLVIK_ROOT=" + root, "QT_QPA_PLATFORM=offscreen",
                                    "QT_QUICK_BACKEND=software", "PATH=/usr/bin:/bin",
                                    "DBUS_SYSTEM_BUS_ADDRESS=" + busAddress,
                                    "QT_LOGGING_RULES=qt.scenegraph.time.renderloop=true"};
    for (const char* keep : {"HOME", "XDG_RUNTIME_DIR", "ASAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* v = getenv(keep))
            env.push_back(std::string(keep) + "=" + v);
    }
    return spawnWithPipe({HOLVIK_PROGRAM}, &env, root.c_str(), readFd);
}

bool waitForMarker(int fd, const char* marker, std::string* seenOut)
{
    const std::string kMarker = marker;
    std::string seen;
    char buf[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        seen.append(buf, static_cast<size_t>(n));
        if (seen.find(kMarker) != std::string::npos) {
            if (seenOut != nullptr)
                *seenOut = seen;
            return true;
        }
        // Keep only a tail long enough to hold a split marker.
        if (seen.size() > 8192)
            seen.erase(0, seen.size() - kMarker.size());
    }
    return false;
}

void BM_StartToFirstFrame(benchmark::State& state)
{
    static Launcher launcher;
    if (!launcher.ok()) {
        state.SkipWithError("the message bus or the launcher stand-in did not start");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        holvik_test::TestDevRoot root;
        state.ResumeTiming();

        int fd = -1;
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = startProgram(root.root(), launcher.address(), &fd);
        if (pid < 0) {
            state.SkipWithError("cannot start the program");
            break;
        }
        const bool shown = waitForMarker(fd, kFirstFrame);
        const auto t1 = std::chrono::steady_clock::now();
        stopChild(pid, fd);
        if (!shown) {
            state.SkipWithError("no first frame reported");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
}
BENCHMARK(BM_StartToFirstFrame)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
