#!/usr/bin/env python3
"""Stands in for ffprobe in compare_ffprobe.py for Ogg files: reads the
packets as the pages hold them (-fflags +nofillin+noparse, so no parser
re-cuts them and no time is made up)."""
import subprocess
import sys

sys.stdout.write(subprocess.run(["ffprobe", "-fflags", "+nofillin+noparse"] + sys.argv[1:], check=True,
                                capture_output=True, text=True).stdout)
