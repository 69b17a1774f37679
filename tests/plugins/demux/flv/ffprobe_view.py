#!/usr/bin/env python3
"""Stands in for ffprobe in compare_ffprobe.py for FLV files: reads the
packets as the container holds them (-fflags +nofillin+noparse, so no parser
re-cuts them and no time is made up) and gives each packet its decoding time
as its time, since an FLV tag's timestamp is the decoding time."""
import json
import subprocess
import sys

args = sys.argv[1:]
out = subprocess.run(["ffprobe", "-fflags", "+nofillin+noparse"] + args, check=True,
                     capture_output=True, text=True).stdout
j = json.loads(out)
for p in j.get("packets", []):
    if "dts_time" in p:
        p["pts_time"] = p["dts_time"]
sys.stdout.write(json.dumps(j))
