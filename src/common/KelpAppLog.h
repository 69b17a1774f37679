#pragma once
// The application log: one call, kelp_app_log(), used from every thread.
//
// A call prints a coloured line on standard output at once and queues the same
// line without colours to the writer thread (SaveLogHandler), which appends it
// to the rotating files "AppLogFile_<n>.txt" under /opt/data/DtvAppLog/.
//
// Call sites use the macros below; they pass the level, colour escape and tag
// that belong together, and the caller's file name and line:
//     LOG_I("[%s] channel %d", __func__, ch);

#include <cstdint>

// Levels are bits; a call whose level has no bit in kLogLevelMask is dropped.
enum KelpLogLevel {
    LOG_LEVEL_VERBOSE = 1,    // "[V]" blue, "[Q]" magenta
    LOG_LEVEL_INFO = 4,       // "[I]" cyan
    LOG_LEVEL_WARNING = 8,    // "[W]" red
    LOG_LEVEL_HIGHLIGHT = 16, // "[H]" red background: errors and milestones
};
constexpr int kLogLevelMask = 0x1F;

#define KELP_COLOR_BLUE "\033[34m"
#define KELP_COLOR_MAGENTA "\033[35m"
#define KELP_COLOR_CYAN "\033[36m"
#define KELP_COLOR_RED "\033[31m"
#define KELP_COLOR_RED_BG "\033[41m"

// The log call. `file` is the caller's source file name without directory.
void kelp_app_log(int level, const char* colour, const char* file, int line, const char* tag,
                  const char* format, ...) __attribute__((format(printf, 6, 7)));

// First statement of main: start time, log directory, new log file, writer
// thread, saving on.
void kelp_app_log_init();
// Saving to the log files on (power-on) and off (power-off: queued lines are
// discarded).
void kelp_app_log_save_start();
void kelp_app_log_save_stop();
// Last step of main: saving off.
void kelp_app_log_deinit();
// Packs the log directory onto the USB stick as DtvAppLog.tgz: 0 on success,
// -1 when the stick is missing or the archive could not be written.
int kelp_app_log_copy_log_files_to_usb();

// The time base of the log lines: milliseconds of the wall clock since
// setLogStartTime().
void setLogStartTime();
int64_t getSystemTime();

namespace kelp_detail {
constexpr const char* baseName(const char* path)
{
    const char* base = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '/')
            base = p + 1;
    }
    return base;
}
}  // namespace kelp_detail

#define KELP_FILE_NAME (kelp_detail::baseName(__FILE__))

#define LOG_V(...) kelp_app_log(LOG_LEVEL_VERBOSE, KELP_COLOR_BLUE, KELP_FILE_NAME, __LINE__, "[V]", __VA_ARGS__)
#define LOG_Q(...) kelp_app_log(LOG_LEVEL_VERBOSE, KELP_COLOR_MAGENTA, KELP_FILE_NAME, __LINE__, "[Q]", __VA_ARGS__)
#define LOG_I(...) kelp_app_log(LOG_LEVEL_INFO, KELP_COLOR_CYAN, KELP_FILE_NAME, __LINE__, "[I]", __VA_ARGS__)
#define LOG_W(...) kelp_app_log(LOG_LEVEL_WARNING, KELP_COLOR_RED, KELP_FILE_NAME, __LINE__, "[W]", __VA_ARGS__)
#define LOG_H(...) kelp_app_log(LOG_LEVEL_HIGHLIGHT, KELP_COLOR_RED_BG, KELP_FILE_NAME, __LINE__, "[H]", __VA_ARGS__)
