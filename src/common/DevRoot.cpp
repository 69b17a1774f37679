#include "DevRoot.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

namespace devroot {

std::string root()
{
    const char* r = std::getenv("HOLVIK_ROOT");
    if (!r || !*r)
        return std::string();
    std::string s(r);
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

std::string path(const std::string& boardPath)
{
    const std::string r = root();
    if (r.empty())
        return boardPath;
    if (!boardPath.empty() && boardPath.front() == '/')
        return r + boardPath;
    return r + "/" + boardPath;
}

bool runShell(const std::string& command, int* waitStatus, int* spawnError)
{
    // The shell's own default search path when the environment is empty;
    // under a development root our stand-ins come first.
    static const char kDefaultPath[] = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
    const std::string r = root();
    std::string pathVar;
    char* envp[2] = {nullptr, nullptr};
    if (!r.empty()) {
        pathVar = "PATH=" + r + "/bin:" + kDefaultPath;
        envp[0] = &pathVar[0];
    }
    char sh[] = "/bin/sh";
    char dashC[] = "-c";
    std::string cmd = command;
    char* argv[] = {sh, dashC, &cmd[0], nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, envp);
    if (spawnError)
        *spawnError = rc;
    if (rc != 0)
        return false;
    int status = 0;
    pid_t w;
    do {
        w = waitpid(pid, &status, 0);
    } while (w < 0 && errno == EINTR);
    if (w != pid)
        return false;
    if (waitStatus)
        *waitStatus = status;
    return true;
}

}  // namespace devroot
