#pragma once
// Board paths and shell commands, redirected below a development root.
//
// On the board every fixed path (/home/root/isdbt/, /opt/data/DtvAppLog/,
// /dev/fb0, /proc/cmdline, ...) is used as it stands. When the environment
// variable HOLVIK_ROOT names a folder, the same paths lie below that folder and
// shell commands find $HOLVIK_ROOT/bin first on their search path, where the
// development tree keeps recording stand-ins for reboot, sync and amixer. No
// other code may build a board path or start a shell on its own.

#include <string>

namespace devroot {

// The development root, or an empty string on the board.
std::string root();

// The board path `boardPath` (absolute), moved below the development root when
// there is one. A trailing slash is kept.
std::string path(const std::string& boardPath);

// Runs `command` with "/bin/sh -c" and an empty environment (PATH only, under
// a development root) and waits for it. Returns false when the shell could
// not be started or reaped; otherwise true, with the shell's wait status in
// `*waitStatus` when it is given. `*spawnError`, when given, receives the
// result of starting the shell (0 when it started, an errno value otherwise).
bool runShell(const std::string& command, int* waitStatus = nullptr, int* spawnError = nullptr);

}  // namespace devroot
