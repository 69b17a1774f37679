// The real system calls behind the tuner's device access, and the switch to
// another table.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <ctime>

#include "tuner_internal.h"

namespace {

int sysOpen(const char* path, int flags)
{
    return ::open(path, flags);
}

int sysClose(int fd)
{
    return ::close(fd);
}

int sysIoctl(int fd, unsigned long request, void* arg)
{
    return ::ioctl(fd, request, arg);
}

long sysWrite(int fd, const void* data, unsigned long length)
{
    return ::write(fd, data, length);
}

void sysSleep(unsigned long us)
{
    timespec t{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
    while (nanosleep(&t, &t) != 0) {
    }
}

const tuner_syscalls kReal = {sysOpen, sysClose, sysIoctl, sysWrite, sysSleep};
tuner_syscalls g_calls = kReal;

} // namespace

namespace tuner {

const tuner_syscalls& sys()
{
    return g_calls;
}

} // namespace tuner

extern "C" void tuner_set_syscalls(const tuner_syscalls* calls)
{
    g_calls = calls ? *calls : kReal;
}
