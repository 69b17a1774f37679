#!/usr/bin/env python3
"""Checks the Matroska demuxer on one file against ffprobe.

  mkv_oracle.py --mediahost BIN --lib LIB --media FILE [--info] [--no-frames]
                [--seeks N] [--past-end] [--op OP] [--flags F] [--index]
                [--each-audio] [--intact FILE] [--compare ARGS...]

Frames: `mediahost dump` against ffprobe's packets through
compare_ffprobe.py. Our times count from the file's start timecode, and
ffprobe moves the frames of a track with a codec delay (Opus) earlier by that
delay, so ffprobe is asked through mkv_ffprobe_view.py, which shifts each
stream's times by its delay minus the start; frames timed before the start
read as 0, as the library delivers them.

--index runs op 3002 after open (files without Cues).

--intact FILE: the media is a damaged copy of FILE; see check_damaged.

--each-audio selects every audio track in turn (only one is delivered at a
time) and compares the frames of all of them.

--info also compares the streams' fields (CodecPrivate size against
extradata among them) and the duration, within 100 ms.

Seeks: N absolute targets drawn from a fixed seed, sought one after another
on the video track. A target at or after the current time must land on the
first video key frame at or after it, one before it on the last key frame at
or before it; the first video frame read afterwards carries that time.

--past-end puts among them targets past the last video key frame: just past
it and far beyond the end of the file. Those seeks fail and leave the
demuxer where it was, so the seeks after them still land on ffprobe's key
frames.

Where the first video key frame comes after the start (the audio starts
first), the seeks end with one back to the last key frame and one backward
below the first: that one starts over from the start (it answers 0) and the
first video frame read is the first key frame.
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import mkv_media  # noqa: E402
import shlex

# The 32-bit media host runs under the emulator where the machine cannot run it.
EMULATOR = shlex.split(os.environ.get("HOLVIK_EMULATOR", ""))

COMPARER = os.path.join(HERE, "..", "..", "..", "support", "compare_ffprobe.py")
VIEW = os.path.join(HERE, "mkv_ffprobe_view.py")


def env_for(a):
    env = dict(os.environ)
    env["MEDIAHOST_MKV_FLAGS"] = a.flags
    env["MEDIAHOST_MKV_OP"] = a.op
    if a.index:
        env["MEDIAHOST_MKV_INDEX"] = "1"
    return env


def run(a, command, extra, work, name=None):
    out = os.path.join(work, (name or command) + ".txt")
    with open(out, "w") as f:
        p = subprocess.run(EMULATOR + [a.mediahost, command, a.lib, a.media] + extra, stdout=f, stderr=subprocess.PIPE,
                           text=True, env=env_for(a))
    if p.returncode != 0:
        sys.exit(f"mediahost {command} failed ({p.returncode}): {p.stderr[-2000:]}")
    return out


def shifts(a):
    start, delays = mkv_media.time_origin(a.media)
    return ",".join(f"{i}={d - start}" for i, d in enumerate(delays))


def ffprobe_env(a):
    env = dict(os.environ)
    env["MKV_ORACLE_SHIFTS"] = shifts(a)
    return env


def check_duration(a, info, dump):
    """Our duration (the latest frame end, from the start timecode) against
    the container's, within a frame or two; and never before a frame that
    the dump delivered."""
    start, _ = mkv_media.time_origin(a.media)
    theirs = float(subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
                                   a.media], check=True, capture_output=True, text=True).stdout) * 1000.0
    latest = max((int(r.split(",")[2]) for r in open(dump).read().splitlines()[1:]), default=0)
    for line in open(info).read().splitlines():
        for field in line.split(",")[2:]:
            key, _, value = field.partition("=")
            if key != "duration_ms":
                continue
            if abs(int(value) + start - theirs) > 100:
                print(f"info: duration {value} ms from the start at {start} ms, ffprobe {theirs:.0f} ms")
                return False
            if int(value) < latest:
                print(f"info: duration {value} ms ends before the frame delivered at {latest} ms")
                return False
    return True


def audio_tracks(info):
    return [line.split(",")[1] for line in open(info).read().splitlines() if line.startswith("audio,")]


def dump_every_audio(a, work, info):
    """One audio track is delivered at a time: the first dump has the
    default selection, each further audio track is selected in a dump of
    its own, and its frames join the first dump, so that every announced
    stream is compared, every frame of it."""
    first = run(a, "dump", [], work)
    lines = open(first).read().splitlines()
    for n, track in enumerate(audio_tracks(info)[1:]):
        other = run(a, "dump", ["--select", f"audio:{track}"], work, f"dump_audio{n}")
        lines += [r for r in open(other).read().splitlines()[1:] if r.startswith(f"audio,{track},")]
    merged = os.path.join(work, "dump_merged.txt")
    with open(merged, "w") as f:
        f.write("\n".join(lines) + "\n")
    return merged


def check_frames(a, work):
    info = run(a, "info", [], work) if a.info or a.each_audio else None
    dump = dump_every_audio(a, work, info) if a.each_audio else run(a, "dump", [], work)
    args = ["--media", a.media, "--ffprobe", VIEW, "--dump", dump]
    duration_ok = True
    if a.info:
        args += ["--info", info]
        duration_ok = check_duration(a, info, dump)
    # Attachments are files carried beside the streams, not streams the
    # library lists.
    r = subprocess.run([sys.executable, COMPARER, "--unlisted", "attachment"] + args + a.compare,
                       capture_output=True, text=True,
                       env=ffprobe_env(a))
    print(r.stdout, end="")
    print(r.stderr, end="", file=sys.stderr)
    return r.returncode == 0 and duration_ok


def check_seeks(a, work):
    probe = json.loads(subprocess.run([VIEW, "-v", "error", "-of", "json", "-show_packets", "-show_streams", a.media],
                                      check=True, capture_output=True, text=True, env=ffprobe_env(a)).stdout)
    video = [s["index"] for s in probe["streams"] if s.get("codec_type") == "video"][0]
    keys = sorted(round(float(p["pts_time"]) * 1000.0) for p in probe["packets"]
                  if p["stream_index"] == video and "K" in p.get("flags", "") and "pts_time" in p)
    rng = random.Random(11)
    targets = [rng.randint(1, keys[-1]) for _ in range(a.seeks)]
    if a.past_end:
        targets.insert(2 * len(targets) // 3, keys[-1] + 600000)
        targets.insert(len(targets) // 3, keys[-1] + 1)
    if keys[0] > 1:
        targets += [keys[-1], keys[0] // 2]
    extra = ["--kind", "video", "--frames", "1"]
    for t in targets:
        extra += ["--seek", str(t)]
    rows = [r.split(",") for r in open(run(a, "dump", extra, work)).read().splitlines()[1:]]
    results = []
    for n, r in enumerate(rows):
        if r[0] == "seek":
            frame = rows[n + 1] if n + 1 < len(rows) and rows[n + 1][0] != "seek" else None
            results.append((r, frame))
    ok = len(results) == len(targets)
    if not ok:
        print(f"{len(results)} seek lines for {len(targets)} seeks")
    current = int(rows[0][2]) if rows and rows[0][0] == "video" else 0
    second_key = keys[1] if len(keys) > 1 else 0
    for t, (seek, frame) in zip(targets, results):
        if t == current:
            t = current + 100
        first_frame = None
        if t >= current:
            want = min((k for k in keys if k >= t), default=None)
        elif (t < second_key and second_key < 1000) or t < keys[0]:
            want, first_frame = 0, keys[0]
        else:
            want = max(k for k in keys if k <= t)
        if want is None:
            if not seek[2].startswith("failed"):
                print(f"seek {t} from {current}: landed {seek[2]}, want a failure past the last key frame")
                ok = False
            continue
        if seek[2].startswith("failed") or abs(int(seek[2]) - want) > 1:
            print(f"seek {t} from {current}: {seek[2]}, want {want}")
            ok = False
            continue
        want_frame = want if first_frame is None else first_frame
        if frame is None or abs(int(frame[2]) - want_frame) > 1 or frame[4] != "1":
            print(f"seek {t} from {current}: next frame {frame}, want the key frame at {want_frame}")
            ok = False
        current = int(frame[2]) if frame else want_frame
    if ok:
        print(f"{len(targets)} seeks land where ffprobe's key frames say")
    return ok


def check_damaged(a, work):
    """A damaged copy of an intact file (--intact) is read to its end with
    success, and every frame of every cluster that the damage left alone
    comes through: parsing finds the next cluster after each damaged stretch.
    Of the intact file's frames, ours are at least as many as ffprobe reads."""
    import collections
    import hashlib
    damaged, intact = open(a.media, "rb").read(), open(a.intact, "rb").read()
    frames = [r.split(",") for r in open(run(a, "dump", [], work)).read().splitlines()[1:]]
    got = collections.Counter(r[5] for r in frames)
    whole, needed = collections.Counter(), collections.Counter()
    for start, end, payloads in mkv_media.clusters(a.intact):
        for data in payloads:
            digest = hashlib.md5(data).hexdigest()
            whole[digest] += 1
            if damaged[start:end] == intact[start:end]:
                needed[digest] += 1
    missing = needed - got
    ok = not missing
    if missing:
        print(f"{sum(missing.values())} of {sum(needed.values())} frames of clusters the damage left alone are missing")
    probe = json.loads(subprocess.run(["ffprobe", "-v", "error", "-of", "json", "-show_packets", "-show_data_hash",
                                       "MD5", a.media], check=True, capture_output=True, text=True).stdout)
    theirs = sum(whole[p["data_hash"].split(":")[1]] > 0 for p in probe["packets"])
    ours = sum(c for digest, c in got.items() if whole[digest])
    print(f"damaged copy: {len(frames)} frames, {ours} of them intact; ffprobe {len(probe['packets'])}, "
          f"{theirs} intact")
    if ours < theirs:
        ok = False
    return ok


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--mediahost", required=True)
    ap.add_argument("--lib", required=True)
    ap.add_argument("--media", required=True)
    ap.add_argument("--flags", default="0")
    ap.add_argument("--op", default="0")
    ap.add_argument("--info", action="store_true")
    ap.add_argument("--index", action="store_true")
    ap.add_argument("--each-audio", action="store_true")
    ap.add_argument("--no-frames", action="store_true")
    ap.add_argument("--seeks", type=int, default=0)
    ap.add_argument("--past-end", action="store_true")
    ap.add_argument("--intact")
    ap.add_argument("--compare", nargs=argparse.REMAINDER, default=[])
    a = ap.parse_args()
    work = tempfile.mkdtemp(prefix="mkv_oracle_")
    try:
        ok = True
        if a.intact:
            ok &= check_damaged(a, work)
        elif not a.no_frames:
            ok &= check_frames(a, work)
        if a.seeks:
            ok &= check_seeks(a, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
