#!/usr/bin/env python3
"""Stands in for ffprobe in compare_ffprobe.py for MP4 files: packets as the
container holds them (edit lists ignored, no parser re-splitting them), with
the decoding time in place of the presentation time, since the demuxer's
packet times are decoding times."""
import json
import subprocess
import sys

args = sys.argv[1:]
cmd = ["ffprobe", "-ignore_editlist", "1", "-fflags", "+nofillin+noparse"] + args
out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
j = json.loads(out)
for p in j.get("packets", []):
    if "dts_time" in p:
        p["pts_time"] = p["dts_time"]
    else:
        p.pop("pts_time", None)
sys.stdout.write(json.dumps(j))
