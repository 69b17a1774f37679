#!/usr/bin/env python3
"""Runs `mediahost info` and `mediahost dump` on a file and checks both
against ffprobe with compare_ffprobe.py.

  mediahost_vs_ffprobe.py MEDIAHOST LIB MEDIA WORKDIR [comparer options...]
"""
import os
import shlex
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
mediahost, lib, media, work = sys.argv[1:5]
# A 32-bit media host runs under the emulator where the machine cannot run it.
emulator = shlex.split(os.environ.get("HOLVIK_EMULATOR", ""))
extra = sys.argv[5:]
os.makedirs(work, exist_ok=True)
base = os.path.join(work, os.path.basename(media))
for command, suffix in (("info", ".info.txt"), ("dump", ".dump.csv")):
    with open(base + suffix, "w") as out:
        r = subprocess.run(emulator + [mediahost, command, lib, media], stdout=out, stderr=subprocess.PIPE, text=True)
    if r.returncode != 0:
        sys.exit(f"mediahost {command} failed ({r.returncode}): {r.stderr}")
sys.exit(subprocess.run([sys.executable, os.path.join(here, "compare_ffprobe.py"), "--media", media,
                         "--info", base + ".info.txt", "--dump", base + ".dump.csv"] + extra).returncode)
