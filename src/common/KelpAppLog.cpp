#include "KelpAppLog.h"

#include "SaveLogHandler.h"

#include <sys/time.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace {
std::atomic<int64_t> s_logStartTime{0};

int64_t wallClockMs()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<int64_t>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
}
}  // namespace

void setLogStartTime()
{
    s_logStartTime = wallClockMs();
}

int64_t getSystemTime()
{
    return wallClockMs() - s_logStartTime;
}

void kelp_app_log(int level, const char* colour, const char* file, int line, const char* tag, const char* format,
                  ...)
{
    if ((level & kLogLevelMask) == 0)
        return;
    if (!colour)
        colour = "";
    if (!file)
        file = "";
    if (!tag)
        tag = "";

    char message[1024];
    message[0] = '\0';
    if (format) {
        va_list args;
        va_start(args, format);
        vsnprintf(message, sizeof message, format, args);
        va_end(args);
    }

    // A highlight line keeps its red background through the message.
    const char* reset = level == LOG_LEVEL_HIGHLIGHT ? "" : "\033[0m";
    printf("%s[isdbt]%s[%llu] %s %s\033[33m (%s:%d)\033[0m\n", colour, tag,
           static_cast<unsigned long long>(getSystemTime()), reset, message, file, line);

    char fileLine[1088];
    snprintf(fileLine, sizeof fileLine, "[isdbt] %s [%llu] %s\n", tag,
             static_cast<unsigned long long>(getSystemTime()), message);
    SaveLogHandler::getInstance()->pushMessage(std::string(fileLine));
}

void kelp_app_log_init()
{
    // Console lines go out whole, also into a pipe: a crash ends the process
    // without flushing the C library's buffers.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    setLogStartTime();
    SaveLogHandler* handler = SaveLogHandler::getInstance();
    handler->init();
    handler->createThread();
    handler->start();
}

void kelp_app_log_save_start()
{
    SaveLogHandler* handler = SaveLogHandler::getInstance();
    if (!handler->isRunning())
        handler->start();
}

void kelp_app_log_save_stop()
{
    SaveLogHandler::getInstance()->stop();
}

void kelp_app_log_deinit()
{
    SaveLogHandler::getInstance()->stop();
}

int kelp_app_log_copy_log_files_to_usb()
{
    return SaveLogHandler::getInstance()->copyToUsb();
}
