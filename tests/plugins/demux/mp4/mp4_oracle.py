#!/usr/bin/env python3
"""Checks the MP4 demuxer on one file against ffprobe.

  mp4_oracle.py --mediahost BIN --lib LIB --media FILE
                [--options BITS] [--info] [--seeks N] [--policy P] [--fragmented]

Frames: `mediahost info` and `dump` (open options from --options, the
adapter's MEDIAHOST_MP4_OPTIONS) are checked by compare_ffprobe.py against
ffprobe_view.py, which is ffprobe with edit lists ignored and decoding times
as packet times: every announced stream, every frame, its size, MD5, time and
(for video) key flag.

Seeks (--seeks N): N targets from a fixed seed, in both directions, under the
end-of-file policy P (op 4097). Each must land on a video key frame of
ffprobe's, and the next video frame must carry that time with its key flag.
A target after the last key frame lands on it under policy 2, ends the video
(code -2) under policy 1 and fails with -27007 under any other policy (and
under every policy in a fragmented file, --fragmented).
"""
import argparse
import json
import os
import random
import subprocess
import sys
import tempfile
import shlex

# The 32-bit media host runs under the emulator where the machine cannot run it.
EMULATOR = shlex.split(os.environ.get("HOLVIK_EMULATOR", ""))

HERE = os.path.dirname(os.path.abspath(__file__))
COMPARER = os.path.join(HERE, "..", "..", "..", "support", "compare_ffprobe.py")
VIEW = os.path.join(HERE, "ffprobe_view.py")


def run(a, command, extra, policy=None):
    env = dict(os.environ)
    env["MEDIAHOST_MP4_OPTIONS"] = a.options
    if policy is not None:
        env["MEDIAHOST_MP4_EOF_POLICY"] = str(policy)
    p = subprocess.run(EMULATOR + [a.mediahost, command, a.lib, a.media] + extra, capture_output=True, text=True, env=env)
    if p.returncode != 0:
        print(p.stdout[-2000:])
        print(p.stderr[-2000:])
        sys.exit(f"mediahost {command} failed with {p.returncode}")
    return p.stdout


def key_times(media):
    out = subprocess.run([sys.executable, VIEW, "-v", "error", "-of", "json", "-show_packets", "-show_streams",
                          media], check=True, capture_output=True, text=True).stdout
    j = json.loads(out)
    video = [s["index"] for s in j["streams"] if s.get("codec_type") == "video"]
    keys = sorted(round(float(p["dts_time"]) * 1000) for p in j["packets"]
                  if p["stream_index"] == video[0] and "K" in p.get("flags", ""))
    last = max(float(p["dts_time"]) * 1000 for p in j["packets"] if p["stream_index"] == video[0])
    return keys, last


def check_seeks(a):
    keys, last = key_times(a.media)
    rng = random.Random(1234)
    targets = sorted(rng.randrange(1, int(last)) for _ in range(a.seeks))
    targets = targets + targets[::-1] + [int(last) + 5000]
    extra = ["--kind", "video", "--frames", "1"]
    for t in targets:
        extra += ["--seek", str(t)]
    lines = run(a, "dump", extra, a.policy).splitlines()
    problems = []
    i = 2  # header and the first frame
    for t in targets:
        seek = lines[i].split(",")
        i += 1
        beyond = t > keys[-1]
        if seek[2].startswith("failed"):
            code = int(seek[2].split()[1])
            want = -2 if a.policy == 1 and not a.fragmented else -27007
            if not beyond or (a.policy == 2 and not a.fragmented) or code != want:
                problems.append(f"seek {t}: {seek[2]}")
            continue
        landed = int(seek[2])
        if beyond and (a.policy != 2 or a.fragmented):
            problems.append(f"seek {t} beyond the last key frame landed at {landed}")
        if min(abs(landed - k) for k in keys) > 1:
            problems.append(f"seek {t} landed at {landed}, not on a key frame")
        if beyond and abs(landed - keys[-1]) > 1:
            problems.append(f"seek {t} beyond the end landed at {landed}, not on the last key frame")
        if i < len(lines) and not lines[i].startswith("seek"):
            kind, track, time_ms, size, key, md5 = lines[i].split(",")
            i += 1
            if int(time_ms) != landed or key != "1":
                problems.append(f"seek {t}: next frame at {time_ms} key {key}, landed {landed}")
    for p in problems[:20]:
        print(p)
    return 1 if problems else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--mediahost", required=True)
    ap.add_argument("--lib", required=True)
    ap.add_argument("--media", required=True)
    ap.add_argument("--options", default="0x60")
    ap.add_argument("--info", action="store_true")
    ap.add_argument("--seeks", type=int, default=0)
    ap.add_argument("--policy", type=int, default=0)
    ap.add_argument("--fragmented", action="store_true", help="fragmented files fail a seek beyond the "
                    "last key frame under every policy")
    ap.add_argument("--compare", nargs=argparse.REMAINDER, default=[])
    a = ap.parse_args()
    if a.seeks:
        return check_seeks(a)
    with tempfile.TemporaryDirectory(prefix="mp4_oracle_") as work:
        base = os.path.join(work, os.path.basename(a.media))
        args = []
        with open(base + ".dump.csv", "w") as f:
            f.write(run(a, "dump", []))
        args += ["--dump", base + ".dump.csv"]
        if a.info:
            with open(base + ".info.txt", "w") as f:
                f.write(run(a, "info", []))
            args += ["--info", base + ".info.txt"]
        r = subprocess.run([sys.executable, COMPARER, "--media", a.media, "--ffprobe", VIEW] + args + a.compare)
        return r.returncode


if __name__ == "__main__":
    sys.exit(main())
