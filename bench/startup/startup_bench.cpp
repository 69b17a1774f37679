// Time from starting Holvik_ISDB to its root window's first frame. Each run
// starts the program in a fresh development root (first start: the initial
// scan prompt) without a display, reads its console until the window reports
// its first frame, and stops it again.

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

const char kFirstFrame[] = "root window first frame";
const int kTimeoutMs = 30000;

// Starts the program with its console on a pipe; returns the child's id or -1.
pid_t startProgram(const std::string& root, int* readFd)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, root.c_str());

    std::vector<std::string> env = {"HOLVIK_ROOT=" + root, "QT_QPA_PLATFORM=offscreen",
                                    "QT_QUICK_BACKEND=software", "PATH=/usr/bin:/bin"};
    for (const char* keep : {"HOME", "XDG_RUNTIME_DIR", "ASAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* v = getenv(keep))
            env.push_back(std::string(keep) + "=" + v);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = HOLVIK_PROGRAM;
    char* argv[] = {program.data(), nullptr};

    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0)
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

// Reads the console until the first-frame line; false on end or time-out.
bool waitForFirstFrame(int fd)
{
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
        if (seen.find(kFirstFrame) != std::string::npos)
            return true;
        // Keep only a tail long enough to hold a split marker.
        if (seen.size() > 8192)
            seen.erase(0, seen.size() - sizeof kFirstFrame);
    }
    return false;
}

void stopProgram(pid_t pid, int fd)
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

void BM_StartToFirstFrame(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        holvik_test::TestDevRoot root;
        state.ResumeTiming();

        int fd = -1;
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = startProgram(root.root(), &fd);
        if (pid < 0) {
            state.SkipWithError("cannot start the program");
            break;
        }
        const bool shown = waitForFirstFrame(fd);
        const auto t1 = std::chrono::steady_clock::now();
        stopProgram(pid, fd);
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
