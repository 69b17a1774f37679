#pragma once
// The steps of the program's start that come before the Qt application:
// application identity, stale lock files of the settings files, the station
// logo directory and the crash handler.

#include <QString>

namespace startup {

// Board locations used at start.
constexpr const char* kSettingsFile = "/home/root/isdbt/settings.ini";
constexpr const char* kFactoryFile = "/home/root/isdbt/factory.ini";
constexpr const char* kLogoDir = "/home/root/isdbt/logo/";
constexpr const char* kFontDir = "/app/share/isdbt/font/";
constexpr const char* kFontFile = "DroidSansFallback_OzB.ttf";

}  // namespace startup

// The application identity of the first argument holding "--ID=" (any case),
// -1 when there is none.
int GetAppID(int& argc, char** argv);

// Removes a stale lock file ("<path>.lock") or, with `swapFile`, swap file
// ("." + path + ".swp", relative to the working directory) of `path`, and
// then every leftover "<stem>.*" file.
void CheckLockFile(const char* path, bool swapFile);

// The application font: in the directory named by OZB_FONT_PATH when it is
// set, in the board's font directory otherwise.
QString AppFontPath();

// Creates the station logo directory when it is missing.
void CheckLogoDir();

// Crash handler for SIGABRT and SIGSEGV: writes a backtrace to standard
// output, then ends the process with the same signal.
void Sighandler(int signo);

// Installs Sighandler for SIGABRT and SIGSEGV.
void InstallCrashHandler();
