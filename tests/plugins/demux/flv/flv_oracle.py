#!/usr/bin/env python3
"""Checks the FLV demuxer on one file against ffprobe.

  flv_oracle.py --mediahost BIN --lib LIB --media FILE [--flags F] [--cache N]
                [--info] [--no-frames] [--seeks N] [--oracle-media FILE]
                [--compare ARGS...]

Frames: `mediahost dump` with MEDIAHOST_FLV_FLAGS=F and MEDIAHOST_FLV_CACHE=N;
our times are relative to the first timestamp, so they are shifted by
ffprobe's first packet time before compare_ffprobe.py sees them (every
announced stream, every frame). --oracle-media asks ffprobe about another
file with the same content (a file ffprobe cannot read as it stands).

Seeks: N targets drawn from a fixed seed, the key frames' times with a
millisecond before and after each, and the frames after the last key frame
(and one after the last frame) are sought forward (0x200) and backward
(0x100); a target after the last timestamp must fail, the others must land
on the first video key frame at or after the target (forward) or the last
at or before it (backward) -- audio tags for files without video -- and the
first frame read of that kind must carry the landed time. Where the first key frame comes after the first timestamp, one
target lies below it: forward it lands on the first key frame, backward it
goes back to the start (time 0) and the first frame read of that kind is the
first key frame.
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


def env_of(a):
    env = dict(os.environ)
    env["MEDIAHOST_FLV_FLAGS"] = a.flags
    env["MEDIAHOST_FLV_CACHE"] = a.cache
    return env


def oracle_media(a):
    return a.oracle_media or a.media


def ffprobe_packets(a):
    out = subprocess.run([sys.executable, VIEW, "-v", "error", "-of", "json", "-show_packets",
                          "-show_streams", oracle_media(a)], check=True, capture_output=True,
                         text=True).stdout
    j = json.loads(out)
    return j.get("streams", []), j.get("packets", [])


def run(a, command, extra=()):
    p = subprocess.run(EMULATOR + [a.mediahost, command, a.lib, a.media] + list(extra), capture_output=True,
                       text=True, env=env_of(a))
    if p.returncode != 0:
        print(p.stdout[-2000:])
        print(p.stderr[-2000:])
        sys.exit(f"mediahost {command} failed with {p.returncode}")
    return p.stdout


def compare(a, args):
    # Speex audio (sound format 11) is a stream the library does not take:
    # it lists no stream for it and delivers none of its tags.
    cmd = [sys.executable, COMPARER, "--media", oracle_media(a), "--ffprobe", VIEW, "--unlisted", "speex"]
    cmd += args + a.compare
    r = subprocess.run(cmd, capture_output=True, text=True)
    print(r.stdout, end="")
    print(r.stderr, end="", file=sys.stderr)
    return r.returncode == 0


def first_ms(streams, packets):
    kinds = {s["index"]: s.get("codec_type") for s in streams}
    times = [float(p["dts_time"]) * 1000.0 for p in packets
             if kinds.get(p["stream_index"]) in ("video", "audio") and "dts_time" in p]
    return round(min(times)) if times else 0


def check_frames(a, streams, packets):
    lines = run(a, "dump").splitlines()
    first = first_ms(streams, packets)
    with tempfile.TemporaryDirectory() as d:
        name = os.path.join(d, "dump.csv")
        with open(name, "w") as f:
            f.write(lines[0] + "\n")
            for line in lines[1:]:
                kind, track, t, rest = line.split(",", 3)
                f.write(f"{kind},{track},{int(t) + first},{rest}\n")
        args = ["--dump", name]
        if a.info:
            info = os.path.join(d, "info.txt")
            with open(info, "w") as f:
                f.write(run(a, "info"))
            args += ["--info", info]
        return compare(a, args)


def key_targets(keys, frames):
    """The key frames' times, a millisecond before and after each, and the
    frames after the last key frame with one after the last frame, each
    sought both ways."""
    around = sorted({k + d for k in keys for d in (-1, 0, 1) if k + d >= 1})
    tail = sorted({t for t in frames if t > keys[-1]} | {frames[-1] + 1}) if keys else []
    return around + tail


def check_seeks(a, streams, packets):
    kinds = {s["index"]: s.get("codec_type") for s in streams}
    has_video = "video" in kinds.values()
    kind = "video" if has_video else "audio"
    first = first_ms(streams, packets)
    if has_video:
        keys = sorted({round(float(p["dts_time"]) * 1000.0) - first for p in packets
                       if kinds[p["stream_index"]] == "video" and "K" in p.get("flags", "")})
    else:
        keys = sorted({round(float(p["dts_time"]) * 1000.0) - first for p in packets
                       if kinds[p["stream_index"]] == "audio"})
    last = max(round(float(p["dts_time"]) * 1000.0) - first for p in packets)
    frames = sorted({round(float(p["dts_time"]) * 1000.0) - first for p in packets
                     if kinds[p["stream_index"]] == kind})
    rng = random.Random(1234)
    targets = [rng.randint(1, last) for _ in range(a.seeks)]
    if keys and keys[0] > 1:
        targets.insert(len(targets) // 2, keys[0] // 2)
    targets += key_targets(keys, frames)
    steps = []
    for t in targets:
        steps += ["--seek", f"{t}:{0x200}", "--seek", f"{t}:{0x100}"]
    out = run(a, "dump", ["--kind", kind, "--frames", "1"] + steps).splitlines()
    seeks = [l for l in out if l.startswith("seek,")]
    problems = []
    for n, t in enumerate(targets):
        for m, forward in enumerate((True, False)):
            i = 2 * n + m
            line = seeks[i].split(",")
            if t > last:
                # After the last timestamp (without 0x10000 or 0x20000) the seek fails.
                if not line[2].startswith("failed"):
                    problems.append(f"seek {t}: landed {line[2]} after the last timestamp {last}")
                continue
            want = [k for k in keys if k >= t][:1] if forward else [k for k in keys if k <= t][-1:]
            rewound = not want and not forward
            if rewound:
                # Before the first key frame: back to the start, time 0.
                want = [0]
            if line[2].startswith("failed"):
                # Forward past the last key frame has nowhere to land.
                if not want:
                    continue
                problems.append(f"seek {t} {'forward' if forward else 'backward'}: {line[2]}")
                continue
            landed = int(line[2])
            if not want:
                problems.append(f"seek {t} forward: landed {landed} past the last key frame")
                continue
            if landed != want[0]:
                problems.append(f"seek {t} {'forward' if forward else 'backward'}: landed {landed}, "
                                f"key frame {want[0]}")
            idx = out.index(seeks[i])
            nxt = out[idx + 1] if idx + 1 < len(out) else ""
            first_frame = keys[0] if rewound else landed
            if not nxt.startswith(kind) or int(nxt.split(",")[2]) != first_frame:
                problems.append(f"seek {t}: next {kind} frame '{nxt}' is not at {first_frame}")
    for p in problems[:20]:
        print(p)
    if not problems:
        print(f"{len(targets) * 2} seeks land on ffprobe's key frames")
    return not problems


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mediahost", required=True)
    ap.add_argument("--lib", required=True)
    ap.add_argument("--media", required=True)
    ap.add_argument("--oracle-media")
    ap.add_argument("--flags", default="0")
    ap.add_argument("--cache", default="0")
    ap.add_argument("--info", action="store_true")
    ap.add_argument("--no-frames", action="store_true")
    ap.add_argument("--seeks", type=int, default=0)
    ap.add_argument("--compare", nargs=argparse.REMAINDER, default=[])
    a = ap.parse_args()
    streams, packets = ffprobe_packets(a)
    ok = True
    if not a.no_frames:
        ok = check_frames(a, streams, packets) and ok
    if a.seeks:
        ok = check_seeks(a, streams, packets) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
