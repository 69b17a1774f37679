#!/usr/bin/env python3
"""Checks the MP4 demuxer on one file against ffprobe.

  mp4_oracle.py --mediahost BIN --lib LIB --media FILE
                [--options BITS] [--info] [--seeks N] [--policy P] [--fragmented]
                [--self-check]

Frames: `mediahost info` and `dump` (open options from --options, the
adapter's MEDIAHOST_MP4_OPTIONS) are checked by compare_ffprobe.py against
ffprobe_view.py, which is ffprobe with edit lists ignored and decoding times
as packet times: every announced stream, every frame, its size, MD5, time and
(for video) key flag.

Seeks (--seeks N): N targets from a fixed seed, in both directions, one
after the end, and the key frames' reported times with a millisecond before
and after each and the frames after the last key frame (key_targets), under
the end-of-file policy P (op 4097), as key-frame seeks with video as the
base track. A model of the seek rule (SeekModel), run over
ffprobe's decoding times and key frames, says for each target the key frame
the seek must land on (or the code it must fail with: after the last key
frame, -2 under policy 1 and -27007 under any other policy but 2, and under
every policy in a fragmented file, --fragmented), and the next video frame
must be that frame: time, size and key flag. --self-check also moves one
landing of the dump to a neighbouring key frame and expects the check to
refuse it.
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


class Track:
    """One track as ffprobe lists it: decoding times in the track's time
    scale, sizes and key flags, in decoding order."""

    def __init__(self, stream, packets):
        self.scale = int(stream["time_base"].split("/")[1])
        self.dts = [int(p["dts"]) for p in packets]
        self.size = [int(p["size"]) for p in packets]
        self.key = [1 if "K" in p.get("flags", "") else 0 for p in packets]
        self.keys = [i for i, k in enumerate(self.key) if k]
        step = int(packets[-1].get("duration") or 0) or (self.dts[-1] - self.dts[-2] if len(self.dts) > 1 else 1)
        self.end = self.dts[-1] + step  # the time after the last sample

    def time(self, index):
        """Decoding time of a sample; past the last one, the track's end."""
        return self.dts[index] if index < len(self.dts) else self.end

    def ms(self, index):
        return self.time(index) * 1000 // self.scale


def tracks(media):
    out = subprocess.run([sys.executable, VIEW, "-v", "error", "-of", "json", "-show_packets", "-show_streams",
                          media], check=True, capture_output=True, text=True).stdout
    j = json.loads(out)
    found = {}
    for kind in ("video", "audio"):
        for st in j["streams"]:
            if st.get("codec_type") == kind:
                packets = [p for p in j["packets"] if p["stream_index"] == st["index"]]
                if packets:
                    found[kind] = Track(st, packets)
                break
    return found


class SeekModel:
    """Where a key-frame seek puts the video track, by the library's rule, in
    the whole milliseconds the packets report (decoding times cut down): a
    target before the time of the next frame to read seeks backwards, to the
    last key frame at or before it (the first key frame when none is);
    otherwise forwards, to the first key frame at or after it. A target after
    the last key frame follows the end-of-file policy (fragmented files always
    fail); under policy 2 a target before the second key frame (or any, with
    two key frames) takes the key frame at or before it either way."""

    def __init__(self, video, others, policy, fragmented):
        self.v, self.others, self.policy, self.fragmented = video, others, policy, fragmented
        self.cur = 0       # index of the next sample to read
        self.cur_ms = 0    # time of the sample read last (or sought to)
        self.next_ms = 0   # time of the sample after it

    def read(self):
        """One video frame: (time, size, key) or None at the end."""
        v = self.v
        if self.cur >= len(v.dts):
            return None
        i = self.cur
        self.cur_ms = v.ms(i)
        if not self.fragmented or i + 1 < len(v.dts):
            self.next_ms = v.ms(i + 1)
        self.cur += 1
        return v.ms(i), v.size[i], v.key[i]

    def seek(self, target):
        """("failed", code) or ("landed", ms)."""
        v = self.v
        if self.cur_ms < self.next_ms and target == self.next_ms:
            return "landed", target  # already there: nothing moves
        keys = [v.ms(k) for k in v.keys]
        at_or_before = max([0] + [i for i, k in enumerate(keys) if k <= target])
        if target < 1:
            entry = 0
        elif target > keys[-1]:
            if self.fragmented or self.policy not in (1, 2):
                return "failed", -27007
            if self.policy == 1:
                self.cur = len(v.dts)
                return "failed", -2
            entry = len(keys) - 1
        elif target < v.ms(self.cur):
            entry = at_or_before
        else:
            entry = min(i for i, k in enumerate(keys) if k >= target)
        if (0 < target <= keys[-1] and not self.fragmented and self.policy == 2 and len(keys) >= 2
                and (at_or_before == 0 or len(keys) == 2)):
            entry = at_or_before
        self.cur = v.keys[entry]
        self.cur_ms = v.ms(self.cur)
        self.next_ms = v.ms(self.cur + 1)
        # The other tracks follow to that time; one that cannot (the time
        # lies after its next-to-last sample) would make the seek fail or
        # end the file, which this model does not follow.
        for name, t in self.others.items():
            if self.cur_ms * t.scale > t.time(max(len(t.dts) - 2, 0)) * 1000:
                raise SystemExit(f"seek {target}: the {name} track ends before {self.cur_ms} ms (not modelled)")
        return "landed", self.cur_ms


def judge(lines, targets, model):
    """Differences between the dump of the seeks and the model."""
    problems = []
    i = 1  # the header
    first = model.read()
    if first is None or lines[i].split(",")[2:5] != [str(first[0]), str(first[1]), str(first[2])]:
        problems.append(f"first frame {lines[i]}, expected {first}")
    i += 1
    for t in targets:
        seek = lines[i].split(",")
        i += 1
        outcome, value = model.seek(t)
        got = seek[2]
        want = f"failed {value}" if outcome == "failed" else str(value)
        if got != want:
            problems.append(f"seek {t}: {got}, expected {want}")
        if outcome == "failed":
            if i < len(lines) and not lines[i].startswith("seek"):
                problems.append(f"seek {t}: a frame after a failed seek: {lines[i]}")
                i += 1
            continue
        frame = model.read()
        if i < len(lines) and not lines[i].startswith("seek"):
            kind, track, time_ms, size, key, md5 = lines[i].split(",")
            i += 1
            if frame is None or (int(time_ms), int(size), int(key)) != frame:
                problems.append(f"seek {t}: next frame at {time_ms} ms, {size} bytes, key {key}; expected {frame}")
        elif frame is not None:
            problems.append(f"seek {t}: no frame after the seek, expected {frame}")
    return problems


def wrong_landing(lines, video):
    """The dump with its first seek that landed inside the file moved to a
    neighbouring key frame, frame line included: a landing on a key frame,
    but not the one the rule picks."""
    out = list(lines)
    by_ms = {video.ms(k): k for k in video.keys}
    for n, line in enumerate(out):
        parts = line.split(",")
        if parts[0] != "seek" or parts[2].startswith("failed") or int(parts[2]) not in by_ms:
            continue
        at = video.keys.index(by_ms[int(parts[2])])
        other = video.keys[at + 1] if at + 1 < len(video.keys) else video.keys[at - 1]
        out[n] = f"seek,{parts[1]},{video.ms(other)}"
        frame = out[n + 1].split(",")
        frame[2:5] = [str(video.ms(other)), str(video.size[other]), "1"]
        out[n + 1] = ",".join(frame)
        return out
    raise SystemExit("self-check: no seek landed on a key frame")


def key_targets(video):
    """Targets at the key frames' reported times: each of them in turn
    (forwards from the key frame before), then each with a millisecond
    before and after it upwards (forwards to it, backwards to it from the
    frame after it) and downwards (backwards), and the frames after the last
    key frame, upwards and downwards."""
    keys = [video.ms(k) for k in video.keys]
    around = sorted({k + d for k in keys for d in (-1, 0, 1) if k + d >= 1})
    tail = sorted({video.ms(i) for i in range(video.keys[-1] + 1, len(video.dts))} |
                  {video.ms(len(video.dts) - 1) + 1})
    return keys + around + tail + tail[::-1] + around[::-1]


def check_seeks(a):
    if not int(a.options, 0) & 0x40:
        raise SystemExit("the seek check follows key-frame seeks (option 0x40)")
    found = tracks(a.media)
    video = found.pop("video")
    if len(video.keys) == len(video.dts):
        raise SystemExit("every video frame is a key frame: the seek check needs a sync table")
    rng = random.Random(1234)
    targets = sorted(rng.randrange(1, video.ms(len(video.dts) - 1)) for _ in range(a.seeks))
    targets = targets + targets[::-1] + [video.ms(len(video.dts) - 1) + 5000]
    targets += key_targets(video)
    extra = ["--kind", "video", "--frames", "1"]
    for t in targets:
        extra += ["--seek", str(t)]
    lines = run(a, "dump", extra, a.policy).splitlines()
    problems = judge(lines, targets, SeekModel(video, found, a.policy, a.fragmented))
    for p in problems[:20]:
        print(p)
    if problems:
        return 1
    if a.self_check:
        # A landing on the wrong key frame must not pass.
        caught = judge(wrong_landing(lines, video), targets, SeekModel(video, found, a.policy, a.fragmented))
        if not caught:
            print("self-check: a landing on the wrong key frame passed")
            return 1
        print(f"self-check: a wrong landing is caught ({caught[0]})")
    return 0


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
    ap.add_argument("--self-check", action="store_true", help="with --seeks: also show that a dump landing "
                    "on a key frame other than the one the rule picks fails the check")
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
