#!/usr/bin/env python3
"""ffprobe as the Matroska demuxer counts time: runs ffprobe with the given
arguments and moves each stream's packet times by the shift that
MKV_ORACLE_SHIFTS gives ("INDEX=MS,..."), reading times before 0 as 0."""
import json
import os
import subprocess
import sys

shifts = {}
for part in filter(None, os.environ.get("MKV_ORACLE_SHIFTS", "").split(",")):
    index, ms = part.split("=", 1)
    shifts[int(index)] = float(ms)
p = subprocess.run(["ffprobe"] + sys.argv[1:], capture_output=True, text=True)
if p.returncode != 0 or "-show_packets" not in sys.argv:
    sys.stdout.write(p.stdout)
    sys.stderr.write(p.stderr)
    sys.exit(p.returncode)
data = json.loads(p.stdout)
for packet in data.get("packets", []):
    for field in ("pts_time", "dts_time"):
        if field in packet:
            ms = float(packet[field]) * 1000.0 + shifts.get(packet["stream_index"], 0.0)
            packet[field] = f"{max(0.0, ms) / 1000.0:.6f}"
json.dump(data, sys.stdout)
