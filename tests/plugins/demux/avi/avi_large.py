#!/usr/bin/env python3
"""The large-file tier of the AVI demuxer: an OpenDML file over 1 GiB made
by ffmpeg (raw video, so several RIFF parts with standard indexes) and a
copy cut at 90 %, both compared frame by frame with ffprobe (the whole file in
all three reader modes, the cut copy with the shared reader and single-handle
mode) and sought by key frames, then deleted.

  avi_large.py --mediahost M --lib L

Runs only when HOLVIK_LARGE_TESTS is set and the disk has room; otherwise
exits 77 (skipped).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SKIPPED = 77


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mediahost", required=True)
    ap.add_argument("--lib", required=True)
    a = ap.parse_args()
    if not os.environ.get("HOLVIK_LARGE_TESTS"):
        print("large tier skipped: set HOLVIK_LARGE_TESTS=1 to run it")
        return SKIPPED
    with tempfile.TemporaryDirectory(prefix="avi_large_") as work:
        if shutil.disk_usage(work).free < 4 * (1 << 30):
            print("large tier skipped: the disk is short")
            return SKIPPED
        subprocess.run([sys.executable, os.path.join(HERE, "make_avi_media.py"), "--large", work], check=True)
        ok = True
        for name in ("odml_large.avi", "odml_large_truncated.avi"):
            # Separate readers end each kind at its duration, which for the
            # cut copy is an estimate: only the whole file reads that way.
            for flags in ("0", "0x8", "0x1") if name == "odml_large.avi" else ("0", "0x8"):
                r = subprocess.run([sys.executable, os.path.join(HERE, "avi_oracle.py"), "--mediahost", a.mediahost,
                                    "--lib", a.lib, "--media", os.path.join(work, name), "--flags", flags])
                ok &= r.returncode == 0
            r = subprocess.run([sys.executable, os.path.join(HERE, "avi_oracle.py"), "--mediahost", a.mediahost,
                                "--lib", a.lib, "--media", os.path.join(work, name), "--no-frames", "--seeks", "6"])
            ok &= r.returncode == 0
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
