#include "TestDevRoot.h"

#include "DevRoot.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace holvik_test {

namespace {

[[noreturn]] void fail(const std::string& what)
{
    fprintf(stderr, "TestDevRoot: %s\n", what.c_str());
    abort();
}

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

TestDevRoot::TestDevRoot()
{
    const char* prev = getenv("HOLVIK_ROOT");
    m_hadPrevious = prev != nullptr;
    if (prev)
        m_previous = prev;

    std::string base = prev && *prev ? prev : fs::temp_directory_path().string();
    fs::create_directories(base);
    std::string tmpl = base + "/t-XXXXXX";
    if (!mkdtemp(&tmpl[0]))
        fail("cannot create a directory below " + base);
    m_root = fs::canonical(tmpl).string();

    int status = 0;
    const std::string cmd = "/bin/sh " + quote(HOLVIK_SETUP_SCRIPT) + " " + quote(m_root);
    if (!devroot::runShell(cmd, &status) || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail("setup script failed for " + m_root);
    for (const char* standIn : {"reboot", "sync", "amixer"}) {
        if (access((m_root + "/bin/" + standIn).c_str(), X_OK) != 0)
            fail(std::string("stand-in missing: ") + standIn);
    }
    setenv("HOLVIK_ROOT", m_root.c_str(), 1);
    // An engine under test must never reach this machine's system bus: unless
    // the test chose a private bus, the launcher link finds no bus at all.
    if (getenv("DBUS_SYSTEM_BUS_ADDRESS") == nullptr) {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + m_root + "/no-system-bus").c_str(), 1);
        m_setBusAddress = true;
    }
    // Belt and braces: the runner must find the stand-in, not the machine's.
    const std::string probe = m_root + "/which-reboot.txt";
    if (!devroot::runShell("command -v reboot > " + quote(probe), &status))
        fail("cannot run the shell");
    if (readFile(probe) != m_root + "/bin/reboot\n")
        fail("reboot does not resolve to the stand-in below " + m_root);
    fs::remove(probe);
}

TestDevRoot::~TestDevRoot()
{
    if (m_setBusAddress)
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (m_hadPrevious)
        setenv("HOLVIK_ROOT", m_previous.c_str(), 1);
    else
        unsetenv("HOLVIK_ROOT");
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

std::vector<std::string> TestDevRoot::recordedCommands() const
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(m_root + "/recorded-commands.log"));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void TestDevRoot::clearRecordedCommands() const
{
    std::error_code ec;
    fs::remove(m_root + "/recorded-commands.log", ec);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace holvik_test
