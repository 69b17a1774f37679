#!/usr/bin/env python3
"""Stands in for ffprobe in compare_ffprobe.py: runs ffprobe and keeps only
the streams listed in TS_ORACLE_STREAMS (comma-separated indices), reading
TS_ORACLE_MEDIA instead of the given file when set (for packet sizes that
ffprobe cannot read, compared against the same content in 188-byte packets)."""
import json
import os
import subprocess
import sys

args = sys.argv[1:]
if os.environ.get("TS_ORACLE_MEDIA"):
    args[-1] = os.environ["TS_ORACLE_MEDIA"]
out = subprocess.run(["ffprobe"] + args, check=True, capture_output=True, text=True).stdout
keep = os.environ.get("TS_ORACLE_STREAMS")
if keep:
    wanted = {int(x) for x in keep.split(",")}
    j = json.loads(out)
    for what, key in (("streams", "index"), ("packets", "stream_index")):
        if what in j:
            j[what] = [e for e in j[what] if e.get(key) in wanted]
    out = json.dumps(j)
sys.stdout.write(out)
