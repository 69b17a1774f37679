#include "AppStartup.h"

#include "DevRoot.h"
#include "ISDBtUtil.h"
#include "KelpAppLog.h"

#include <QString>
#include <QStringList>

#include <execinfo.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

int GetAppID(int& argc, char** argv)
{
    for (int i = 0; i < argc; ++i) {
        if (!argv[i])
            continue;
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (!arg.toUpper().contains("--ID="))
            continue;
        const QStringList parts = arg.split("=", Qt::KeepEmptyParts);
        const int id = static_cast<int>(parts.at(1).toUInt(nullptr, 10));
        if (parts.size() == 2)
            LOG_I("getAppID : %d", id);
        return id;
    }
    LOG_I("getAppID Invaild");
    return -1;
}

void CheckLockFile(const char* path, bool swapFile)
{
    if (!path)
        return;
    const std::string stem = swapFile ? std::string(".") + path : std::string(path);
    const std::string name = stem + (swapFile ? ".swp" : ".lock");
    if (access(name.c_str(), F_OK) != 0)
        return;

    LOG_H("........................%s exists!!!!!!!!!!!!!!!!!", name.c_str());
    if (remove(name.c_str()) != 0) {
        LOG_H("........................Fail to delete %s!!!!!!!", name.c_str());
        return;
    }
    // The stem is quoted when it must be, the ".*" stays a pattern.
    const std::string cmd = "rm -Rf " + sutil::ShellArg(stem) + ".*";
    LOG_H("........................%s~~~~", cmd.c_str());
    devroot::runShell(cmd);
    devroot::runShell("sync");
}

QString AppFontPath()
{
    QString dir = QString::fromStdString(devroot::path(startup::kFontDir));
    if (const char* env = getenv("OZB_FONT_PATH"))
        dir = QString::fromLocal8Bit(env) + "/";
    return QString("%1%2").arg(dir, startup::kFontFile);
}

void CheckLogoDir()
{
    const std::string dir = devroot::path(startup::kLogoDir);
    if (!sutil::DirectoryExists(dir.c_str()))
        sutil::CheckDirectory(dir);
}

namespace {

void writeAll(const char* text, size_t len)
{
    while (len > 0) {
        const ssize_t n = write(STDOUT_FILENO, text, len);
        if (n <= 0)
            return;
        text += n;
        len -= static_cast<size_t>(n);
    }
}

// Decimal text of `value` into `out` (at least 12 bytes) without the C
// library, which a signal handler must not call. Returns the length.
size_t formatInt(int value, char* out)
{
    char digits[12];
    size_t n = 0;
    unsigned int v = value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    size_t len = 0;
    if (value < 0)
        out[len++] = '-';
    while (n > 0)
        out[len++] = digits[--n];
    return len;
}

}  // namespace

void Sighandler(int signo)
{
    void* frames[100];
    const int count = backtrace(frames, 100);

    char line[80];
    size_t len = 0;
    auto put = [&](const char* s) {
        while (*s && len < sizeof line)
            line[len++] = *s++;
    };
    put("sig[");
    len += formatInt(signo, line + len);
    put("] backtrace() returned ");
    len += formatInt(count, line + len);
    put(" addresses\n");
    writeAll(line, len);
    backtrace_symbols_fd(frames, count, STDOUT_FILENO);

    // Returning would run the faulting instruction again: end the process
    // with the original signal instead, so that its parent sees the crash.
    signal(signo, SIG_DFL);
    raise(signo);
}

void InstallCrashHandler()
{
    // backtrace() loads its unwinder on first use, which allocates: do that
    // now rather than inside the handler.
    void* warmUp[1];
    backtrace(warmUp, 1);
    signal(SIGABRT, Sighandler);
    signal(SIGSEGV, Sighandler);
}
