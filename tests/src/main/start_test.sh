#!/bin/sh
# Starts Holvik_ISDB in a fresh development root and checks its first steps:
# the log files, the stale lock cleanup, the logo directory, the font and the
# application identity. Stops the program once they are seen.
#   start_test.sh PROGRAM SETUP_SCRIPT
set -eu
program=$1
setup=$2

. "$(dirname "$0")/../support/program_run.sh"
new_devroot start
[ "$(env -i PATH="$root/bin:/usr/bin:/bin" sh -c 'command -v reboot')" = "$root/bin/reboot" ] || {
  echo "stand-ins not in place" >&2; exit 1; }

echo "[General]" > "$root/home/root/isdbt/settings.ini"
# Stale files of an earlier run, marked: the program's own settings writes
# may hold a lock file of the same name for a moment.
echo stale > "$root/home/root/isdbt/settings.ini.lock"
echo stale > "$root/home/root/isdbt/settings.ini.tmp"
rmdir "$root/home/root/isdbt/logo"
echo 998 > "$root/opt/data/DtvAppLog/AppIndexFile.txt"

HOLVIK_ROOT=$root "$program" --ID=5 > "$root/console.txt" 2>&1 &
pid=$!
log="$root/opt/data/DtvAppLog/AppLogFile_999.txt"
fail() { echo "FAIL: $*" >&2; echo "--- console" >&2; cat "$root/console.txt" >&2; echo "--- log" >&2; cat "$log" >&2 || true; exit 1; }

wait_for_line "$log" "Font Load" "the font line"

head -n 1 "$log" | grep -qx "========== LogFileIndex : 999 ==========" || fail "header of log file 999"
[ "$(cat "$root/opt/data/DtvAppLog/AppIndexFile.txt")" = 999 ] || fail "index file"
grep -q "isdbt App Start (TARGET) (APP.v0.1.94)" "$log" || fail "start line"
grep -q "getAppID : 5" "$log" || fail "application id"
grep -q "Font Load : $root/app/share/isdbt/font/DroidSansFallback_OzB.ttf : [0-9]" "$log" || fail "font not loaded"
! grep -qs stale "$root/home/root/isdbt/settings.ini.lock" || fail "lock file left"
! grep -qs stale "$root/home/root/isdbt/settings.ini.tmp" || fail "leftover not removed"
[ -e "$root/home/root/isdbt/settings.ini" ] || fail "settings file removed"
[ -d "$root/home/root/isdbt/logo" ] || fail "logo directory"
grep -qx sync "$root/recorded-commands.log" || fail "sync did not reach the stand-in"
grep -q "App Version is APP.v0.1.94" "$root/console.txt" || fail "banner"
echo "start-up steps seen"
