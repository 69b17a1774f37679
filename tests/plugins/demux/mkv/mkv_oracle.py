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

Seeks: N absolute targets drawn from a fixed seed, then targets equal to the
reported (truncated) times of key frames and a millisecond either side, each
sought forward and backward, and backward seeks inside the last group of
pictures; sought one after another on the video track (the audio track of a
file without video). Where each lands is SeekRule's; the first frame read
afterwards carries that time.

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


class SeekRule:
    """Where a seek lands, by the library's rules over ffprobe's frames.

    Times handed out are truncated to whole milliseconds, while the frames
    lie at exact times (microseconds here); a time scale other than 1 ms puts
    them between the milliseconds. On a video file a seek to T at or after
    the current time lands on the first key frame at or after T, one before
    it on the last key frame reported at or before T; a file without video is
    sought by audio and lands on the first audio frame at or after T. A
    target equal to the current time is current + 100; a target of 0 or less
    starts over, and so does a backward one below the first key frame, or
    below the lowest time sought to while that lies under a second (it
    starts as the second seek point's). With fewer than two seek points any
    other seek fails."""

    def __init__(self, frames, video, points):
        self.video = video
        self.first = frames[0][0] // 1000 if frames else 0
        self.keys = sorted(us for us, key in frames if key or not video)
        self.lowest = points[1] if len(points) > 1 else 0
        self.seekable = len(points) > 1

    def landing(self, t, current):
        """(seek result, time of the first frame read after it), or None
        where the seek must fail."""
        if t <= 0:
            return 0, self.first
        if t == current:
            t = current + 100
        if t < current and ((t < self.lowest < 1000) or (self.video and t < self.keys[0] // 1000)):
            return 0, self.first
        if not self.seekable:
            return None
        if t >= current or not self.video:
            us = next((k for k in self.keys if k >= t * 1000), None)
        else:
            us = max(k for k in self.keys if k // 1000 <= t)
        if us is None:
            return None
        if 0 < us // 1000 < self.lowest:
            self.lowest = us // 1000
        return us // 1000, us // 1000


def lead_frames(a):
    """The frames of the track that seeks go by (the first video track, else
    the first audio track) in file order as (exact time in µs, key), and
    whether it is video."""
    probe = json.loads(subprocess.run([VIEW, "-v", "error", "-of", "json", "-show_packets", "-show_streams", a.media],
                                      check=True, capture_output=True, text=True, env=ffprobe_env(a)).stdout)
    kinds = [s["codec_type"] for s in probe["streams"]]
    video = "video" in kinds
    lead = probe["streams"][kinds.index("video" if video else "audio")]["index"]
    return [(round(float(p["pts_time"]) * 1e6), "K" in p.get("flags", "")) for p in probe["packets"]
            if p["stream_index"] == lead and "pts_time" in p], video


def edge_targets(keys, last_key):
    """Each key frame's reported time and the milliseconds either side of it
    (for up to 24 key frames spread over the file, the last two always among
    them), each sought forward from the start and backward from a key frame
    two further on; those in the last group of pictures are sought backward
    by the run that reads it whole."""
    chosen = sorted(set(keys[::max(1, len(keys) // 22)] + keys[-2:]))
    targets = []
    for i, k in enumerate(chosen):
        later = [x for x in keys if x > k + 1]
        for t in (k - 1, k, k + 1):
            if t < 1:
                continue
            targets += [0, t]
            if k < last_key and len(later) > 1:
                targets += [later[1], t]
    return targets


def check_run(a, work, rule, targets, frames, name):
    """Seeks one dump run through `targets`, reading `frames` frames of the
    lead kind after each, and checks every landing against the rule."""
    extra = ["--kind", "video" if rule.video else "audio", "--frames", str(frames)]
    for t in targets:
        extra += ["--seek", str(t)]
    rows = [r.split(",") for r in open(run(a, "dump", extra, work, name)).read().splitlines()[1:]]
    runs, before = [], []
    for r in rows:
        if r[0] == "seek":
            runs.append((r, []))
        elif runs:
            runs[-1][1].append(r)
        else:
            before.append(r)
    ok = len(runs) == len(targets)
    if not ok:
        print(f"{name}: {len(runs)} seek lines for {len(targets)} seeks")
    current = int(before[-1][2]) if before else 0
    wrong = []
    for t, (seek, after) in zip(targets, runs):
        want = rule.landing(t, current)
        if want is None:
            if not seek[2].startswith("failed"):
                wrong.append(f"seek {t} from {current}: landed {seek[2]}, want a failure")
            continue
        landed, first = want
        if seek[2].startswith("failed") or abs(int(seek[2]) - landed) > 1:
            wrong.append(f"seek {t} from {current}: {seek[2]}, want {landed}")
        elif not after or abs(int(after[0][2]) - first) > 1 or after[0][4] != "1":
            wrong.append(f"seek {t} from {current}: next frame {after[0] if after else None}, want the key frame at "
                         f"{first}")
        if not seek[2].startswith("failed"):
            # Where the library stands, right or wrong, for the next seek.
            current = int(after[-1][2]) if after else int(seek[2])
    for w in wrong[:20]:
        print(f"{name}: {w}")
    if len(wrong) > 20:
        print(f"{name}: ... {len(wrong) - 20} more")
    return ok and not wrong


def check_seeks(a, work):
    """Random targets, targets at and around the reported times of key
    frames in both directions, and backward targets inside the last group of
    pictures from its end."""
    frames, video = lead_frames(a)
    rule = SeekRule(frames, video, mkv_media.seek_points(a.media, a.index))
    keys = sorted({us // 1000 for us in rule.keys})
    rng = random.Random(11)
    targets = [rng.randint(1, keys[-1]) for _ in range(a.seeks)]
    if a.past_end:
        targets.insert(2 * len(targets) // 3, keys[-1] + 600000)
        targets.insert(len(targets) // 3, keys[-1] + 1)
    if keys[0] > 1:
        targets += [keys[-1], keys[0] // 2]
    targets += edge_targets(keys, keys[-1])
    ok = check_run(a, work, rule, targets, 1, "seeks")
    if video:
        # The last group of pictures read whole after each seek, so that the
        # current time lies past its targets: the seeks into it go backward.
        rule = SeekRule(frames, video, mkv_media.seek_points(a.media, a.index))
        last = max(us for us, key in frames if key)
        whole = len(frames) - [us for us, _ in frames].index(last)
        k, end = last // 1000, max(us for us, _ in frames) // 1000
        ok &= check_run(a, work, rule, [k - 1, k + 1, k, (k + end) // 2, k + 1, k - 1, k], whole, "last_gop")
    if ok:
        print(f"{len(targets)} seeks{' and the last group of pictures' if video else ''} land where ffprobe's frames "
              f"say")
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
