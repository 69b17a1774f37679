#include "MicomHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace micomtest {

namespace {

void check(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::vector<std::string> envFor(const TempRoot& root)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "HOLVIK_ROOT=", 12) != 0)
            env.emplace_back(*e);
    }
    env.push_back("HOLVIK_ROOT=" + root.dir());
    return env;
}

std::vector<char*> cstrs(std::vector<std::string>& v)
{
    std::vector<char*> out;
    for (auto& s : v)
        out.push_back(&s[0]);
    out.push_back(nullptr);
    return out;
}

pid_t spawn(const std::string& exe, const std::vector<std::string>& args, std::vector<std::string> env,
            int outFd)
{
    std::vector<std::string> argv = {exe};
    argv.insert(argv.end(), args.begin(), args.end());
    auto av = cstrs(argv);
    auto ev = cstrs(env);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (outFd >= 0) {
        posix_spawn_file_actions_adddup2(&fa, outFd, 1);
        posix_spawn_file_actions_adddup2(&fa, outFd, 2);
    }
    pid_t pid = -1;
    int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, av.data(), ev.data());
    posix_spawn_file_actions_destroy(&fa);
    errno = rc;
    check(rc == 0, "spawn " + exe);
    return pid;
}

}  // namespace

TempRoot::TempRoot()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/holvik-micom-XXXXXX";
    check(mkdtemp(&tmpl[0]) != nullptr, "mkdtemp");
    dir_ = tmpl;
    makeDirs(dir_ + "/dev");
    makeDirs(dir_ + "/home/root");
    makeDirs(dir_ + "/etc");
    makeDirs(dir_ + "/run/media/sda1/update");
    writeFile(dir_ + "/dev/fb0", std::vector<uint8_t>(kFbBytes, 0));
}

TempRoot::~TempRoot()
{
    const std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", dir_.c_str());
}

void TempRoot::activate() const
{
    setenv("HOLVIK_ROOT", dir_.c_str(), 1);
}

namespace {

// Waits until `done` holds, re-checking on every change in `dir` (files made
// or written there), for at most `seconds`.
bool waitInFolder(const std::string& dir, double seconds, const std::function<bool()>& done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0 || inotify_add_watch(fd, dir.c_str(), IN_MODIFY | IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO) < 0)
        throw std::runtime_error("cannot watch " + dir);
    bool held = false;
    while (!(held = done())) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, int(left.count())) > 0) {
            char events[4096];
            while (read(fd, events, sizeof events) > 0) {
            }
        }
    }
    close(fd);
    return held;
}

}  // namespace

Sim::Sim(const TempRoot& root, const std::vector<std::string>& options)
    : log_(root.dir() + "/sim.log"),
      fw_(root.dir() + "/sim.firmware"),
      state_(root.dir() + "/sim.state"),
      link_(root.dir() + "/dev/ttyS1")
{
    std::vector<std::string> args = {"--link", link_, "--log", log_, "--firmware", fw_, "--state", state_};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    pid_ = spawn(HOLVIK_MICOMSIM, args, env, -1);
    // Ready once the link and the state file exist.
    auto ready = [&] {
        struct stat st;
        return lstat(link_.c_str(), &st) == 0 && exists(state_);
    };
    if (waitInFolder(link_.substr(0, link_.rfind('/')), 10.0, ready))
        return;
    stop();
    throw std::runtime_error("simulated microcontroller did not start");
}

Sim::~Sim()
{
    stop();
}

void Sim::stop()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

void Sim::release()
{
    if (pid_ > 0)
        kill(pid_, SIGUSR1);
}

bool Sim::waitForFrames(size_t n, double seconds) const
{
    // The simulator appends a line per frame to its log.
    return waitInFolder(log_.substr(0, log_.rfind('/')), seconds, [&] { return frames().size() >= n; });
}

std::vector<Frame> Sim::frames() const
{
    std::vector<Frame> out;
    std::ifstream in(log_);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 3, "bad") == 0)
            continue;
        std::istringstream ls(line);
        Frame f;
        ls >> f.ms;
        std::string rest;
        std::getline(ls, rest);
        f.bytes = unhex(rest);
        out.push_back(f);
    }
    return out;
}

std::vector<std::string> Sim::badLines() const
{
    std::vector<std::string> out;
    std::ifstream in(log_);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 3, "bad") == 0)
            out.push_back(line);
    return out;
}

std::vector<uint8_t> Sim::firmware() const
{
    return readFile(fw_);
}

int Sim::stateValue(const std::string& wanted) const
{
    std::ifstream in(state_);
    std::string key;
    int v = -1;
    while (in >> key >> v)
        if (key == wanted)
            return v;
    return -1;
}

int Sim::mode() const
{
    return stateValue("mode");
}

int Sim::recovery() const
{
    return stateValue("recovery");
}

ToolRun runTool(const std::string& exe, const std::vector<std::string>& args, const TempRoot& root)
{
    pid_t pid;
    int fd;
    const auto t0 = std::chrono::steady_clock::now();
    startTool(exe, args, root, &pid, &fd);
    ToolRun r;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            r.out.append(buf, static_cast<size_t>(n));
    close(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

void startTool(const std::string& exe, const std::vector<std::string>& args, const TempRoot& root,
               pid_t* pid, int* outFd)
{
    int p[2];
    check(pipe2(p, O_CLOEXEC) == 0, "pipe");
    *pid = spawn(exe, args, envFor(root), p[1]);
    close(p[1]);
    *outFd = p[0];
}

std::vector<uint8_t> readFile(const std::string& path)
{
    // One read of the whole file: screens are over a megabyte, and byte-wise
    // stream iteration is slow under the sanitizers.
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return {};
    std::vector<uint8_t> v(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(v.data()), static_cast<std::streamsize>(v.size()));
    v.resize(static_cast<size_t>(in.gcount()));
    return v;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

void makeDirs(const std::string& dir)
{
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            const std::string part = dir.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                check(false, "mkdir " + part);
        }
    }
}

static void put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

std::vector<uint8_t> makeBmp(int w, int h, uint32_t (*pixel)(int x, int y))
{
    const size_t row = size_t(w) * 3 + (w & 3);
    std::vector<uint8_t> v(54 + row * h, 0);
    v[0] = 'B';
    v[1] = 'M';
    put32(v, 2, static_cast<uint32_t>(v.size()));
    put32(v, 10, 54);
    put32(v, 14, 40);
    put32(v, 18, static_cast<uint32_t>(w));
    put32(v, 22, static_cast<uint32_t>(h));
    v[26] = 1;
    v[28] = 24;
    put32(v, 34, static_cast<uint32_t>(row * h));
    for (int y = 0; y < h; ++y) {
        // Rows are stored bottom-up; padding bytes get a value that must
        // never reach the screen.
        uint8_t* p = v.data() + 54 + size_t(h - 1 - y) * row;
        for (int x = 0; x < w; ++x) {
            const uint32_t c = pixel(x, y);
            p[x * 3 + 0] = static_cast<uint8_t>(c);
            p[x * 3 + 1] = static_cast<uint8_t>(c >> 8);
            p[x * 3 + 2] = static_cast<uint8_t>(c >> 16);
        }
        for (size_t k = size_t(w) * 3; k < row; ++k)
            p[k] = 0xAB;
    }
    return v;
}

uint32_t patternPixel(int x, int y)
{
    return static_cast<uint32_t>((x * 7 + 1) & 0xFF) | static_cast<uint32_t>((y * 13 + 2) & 0xFF) << 8 |
           static_cast<uint32_t>((x + y) & 0xFF) << 16 | 0x808080u;
}

std::vector<uint8_t> expectedScreen(int w, int h, uint32_t (*pixel)(int x, int y))
{
    std::vector<uint8_t> s(kFbBytes, 0);
    const int x0 = (int(kXres) - w) / 2, y0 = (int(kYres) - h) / 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = pixel(x, y);
            uint8_t* d = s.data() + (size_t(y0 + y) * kXres + size_t(x0 + x)) * 4;
            d[0] = static_cast<uint8_t>(c);
            d[1] = static_cast<uint8_t>(c >> 8);
            d[2] = static_cast<uint8_t>(c >> 16);
        }
    return s;
}

void putPicture(const TempRoot& root, const std::string& boardPath, int width)
{
    const std::string p = root.at(boardPath);
    makeDirs(p.substr(0, p.rfind('/')));
    writeFile(p, makeBmp(width, 10, patternPixel));
}

bool screenShows(const TempRoot& root, int width)
{
    return readFile(root.at("/dev/fb0")) == expectedScreen(width, 10, patternPixel);
}

std::string hex(const std::vector<uint8_t>& bytes)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}

std::vector<uint8_t> unhex(const std::string& text)
{
    std::vector<uint8_t> out;
    std::istringstream in(text);
    std::string tok;
    while (in >> tok)
        out.push_back(static_cast<uint8_t>(std::stoul(tok, nullptr, 16)));
    return out;
}

}  // namespace micomtest
