#!/bin/sh
# Prepares a development root: the board's directories, the application font
# and recording stand-ins for the commands that would touch the machine.
#
#   scripts/devroot-setup.sh ROOT
#
# The program takes every board path below ROOT when HOLVIK_ROOT=ROOT, and
# its shell commands find ROOT/bin first on their search path. The stand-ins
# there for reboot, sync and amixer only append their command line to
# ROOT/recorded-commands.log. Running the script again keeps what is there.
set -eu

if [ $# -ne 1 ] || [ -z "$1" ]; then
  echo "usage: $0 ROOT" >&2
  exit 2
fi
mkdir -p "$1"
root=$(cd "$1" && pwd)
case "$root" in
  /) echo "$0: the development root cannot be /" >&2; exit 2 ;;
esac

mkdir -p \
  "$root/bin" \
  "$root/home/root/isdbt/logo" \
  "$root/opt/data/DtvAppLog" \
  "$root/run/media" \
  "$root/app/share/isdbt/font"

for cmd in reboot sync amixer; do
  cat > "$root/bin/$cmd" <<'STANDIN'
#!/bin/sh
# Recording stand-in: a development run never reboots, flushes or re-mixes
# the machine it runs on; it only notes the command line.
here=$(cd "$(dirname "$0")/.." && pwd)
echo "$(basename "$0")${*:+ $*}" >> "$here/recorded-commands.log"
STANDIN
  chmod 755 "$root/bin/$cmd"
done

font_src=/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf
font_dst="$root/app/share/isdbt/font/DroidSansFallback_OzB.ttf"
if [ ! -f "$font_src" ]; then
  echo "$0: $font_src is missing (Debian package fonts-droid-fallback)" >&2
  exit 1
fi
if ! cmp -s "$font_src" "$font_dst"; then
  cp "$font_src" "$font_dst"
fi
