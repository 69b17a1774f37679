#!/usr/bin/env python3
"""Checks the AVI demuxer through the media host against ffprobe.

  avi_oracle.py --mediahost M --lib L --media FILE [--flags F]
                [--oracle-media FILE] [--seeks N --rule key|frame]
                [--compare ARGS...]

Frames: `mediahost info` and `mediahost dump` with MEDIAHOST_AVI_FLAGS=F,
then compare_ffprobe.py with ffprobe reading the container's own packets
(no parser, no filled-in time stamps): every announced stream, every
frame, sizes, MD5s and times.

Seeks (--seeks N): N targets forward across the file, then N backward,
then the key frames' reported times with a millisecond before and after each
and the frames after the last key frame, both ways (key_targets); after each
seek the next video frame must carry the landed time, and the
landing must be the one the rule gives over ffprobe's video packets:
"key" the first key frame at or after a forward target (a target after
the current time), the last one at or
before a backward target (the start before the first key frame after frame
0); "frame" the first frame at or after a forward target, the frame that
holds a backward target.
"""
import argparse
import csv
import json
import os
import subprocess
import sys
import tempfile
import shlex

# The 32-bit media host runs under the emulator where the machine cannot run it.
EMULATOR = shlex.split(os.environ.get("HOLVIK_EMULATOR", ""))

HERE = os.path.dirname(os.path.abspath(__file__))
SUPPORT = os.path.join(HERE, "..", "..", "..", "support")
FFPROBE = os.path.join(HERE, "ffprobe_container.sh")


def run_host(a, command, extra, out_path):
    env = dict(os.environ, MEDIAHOST_AVI_FLAGS=a.flags)
    with open(out_path, "w") as out:
        r = subprocess.run(EMULATOR + [a.mediahost, command, a.lib, a.media] + extra, stdout=out, stderr=subprocess.PIPE,
                           text=True, env=env)
    if r.returncode != 0:
        sys.exit(f"mediahost {command} failed ({r.returncode}): {r.stderr}")


def video_packets(media):
    out = subprocess.run([FFPROBE, "-v", "error", "-of", "json", "-select_streams", "v:0", "-show_packets", media],
                         check=True, capture_output=True, text=True).stdout
    packets = [p for p in json.loads(out).get("packets", []) if int(p.get("size", 0)) > 0]
    # Our times are whole milliseconds cut down, as the library gives them.
    return [(int(float(p["dts_time"]) * 1000 + 1e-6), "K" in p.get("flags", "")) for p in packets]


def expected(rule, frames, target, back):
    times = [t for t, _ in frames]
    if rule == "frame":
        if back:
            cand = [t for t in times if t <= target]
            return cand[-1] if cand else times[0]
        cand = [t for t in times if t >= target]
        return cand[0] if cand else None
    keys = [t for t, k in frames if k]
    first_key_after_0 = next((t for t, k in frames[1:] if k), 0)
    if back:
        if target < first_key_after_0:
            return 0
        cand = [t for t in keys if t <= target]
        return cand[-1] if cand else keys[0]
    cand = [t for t in keys if t >= target]
    return cand[0] if cand else None


def key_targets(frames):
    """Targets at the key frames' reported times: each of them in turn
    (forwards from the key frame before), then each with a millisecond
    before and after it upwards (forwards to it, backwards to it from the
    frame after it) and downwards (backwards), and the frames after the last
    key frame, upwards and downwards."""
    keys = [t for t, k in frames if k]
    last_key = max(i for i, (_, k) in enumerate(frames) if k)
    around = sorted({t + d for t in keys for d in (-1, 0, 1) if t + d >= 1})
    tail = sorted({t for t, _ in frames[last_key + 1:]} | {frames[-1][0] + 1})
    return keys + around + tail + tail[::-1] + around[::-1]


def check_seeks(a, work):
    frames = video_packets(a.media)
    end = frames[-1][0]
    forward = [int(end * (i + 1) / (a.seeks + 2)) for i in range(a.seeks)]
    targets = forward + [t - 7 for t in reversed(forward)] + key_targets(frames)
    extra = ["--kind", "video", "--frames", "1"]
    for t in targets:
        extra += ["--seek", f"{t}:0"]
    path = os.path.join(work, "seeks.csv")
    run_host(a, "dump", extra, path)
    rows = list(csv.reader(open(path)))[1:]
    results = []
    for n, r in enumerate(rows):
        if r[0] == "seek":
            frame = rows[n + 1] if n + 1 < len(rows) and rows[n + 1][0] != "seek" else None
            results.append((r, frame))
    ok = len(results) == len(targets)
    if not ok:
        print(f"{len(results)} seek lines for {len(targets)} seeks")
    current = 0  # time of the last video frame read
    for t, (seek, frame) in zip(targets, results):
        # A target before the current time is a backward seek.
        back = t < current
        want = expected(a.rule, frames, t, back)
        got = None if seek[2].startswith("failed") else int(seek[2])
        if frame is not None:
            current = int(frame[2])
        if got != want:
            print(f"seek {t} ({'back' if back else 'forward'}): landed {seek[2]}, want {want}")
            ok = False
        elif got is not None and (frame is None or int(frame[2]) != got):
            print(f"seek {t}: next frame {frame}, want time {got}")
            ok = False
    if ok:
        print(f"{len(targets)} seeks land where the rule '{a.rule}' says")
    return ok


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--mediahost", required=True)
    ap.add_argument("--lib", required=True)
    ap.add_argument("--media", required=True)
    ap.add_argument("--flags", default="0")
    ap.add_argument("--oracle-media")
    ap.add_argument("--no-frames", action="store_true")
    ap.add_argument("--seeks", type=int, default=0)
    ap.add_argument("--rule", choices=("key", "frame"), default="key")
    ap.add_argument("--compare", nargs=argparse.REMAINDER, default=[])
    a = ap.parse_args()
    ok = True
    with tempfile.TemporaryDirectory(prefix="avi_oracle_") as work:
        if not a.no_frames:
            info, dump = os.path.join(work, "info.txt"), os.path.join(work, "dump.csv")
            run_host(a, "info", [], info)
            run_host(a, "dump", [], dump)
            r = subprocess.run([sys.executable, os.path.join(SUPPORT, "compare_ffprobe.py"), "--media",
                                a.oracle_media or a.media, "--info", info, "--dump", dump, "--ffprobe", FFPROBE]
                               + a.compare)
            ok &= r.returncode == 0
        if a.seeks:
            ok &= check_seeks(a, work)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
