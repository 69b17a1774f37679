#!/usr/bin/env python3
"""Checks the transport-stream demuxer on one file against ffprobe.

  ts_oracle.py --mediahost BIN --lib LIB --media FILE [--flags F]
               [--program N] [--streams I,J] [--oracle-media FILE] [--kind K]
               [--info] [--frame-rate] [--seeks N] [--each-audio]
               [--compare ARGS...]

Frames: `mediahost dump` is run with MEDIAHOST_TS_FLAGS=F; our frame times
are relative to the first time stamp of the program (((pts - first) mod 2^33)
/ 90), so they are shifted by ffprobe's first packet time before the dump is
handed to compare_ffprobe.py, which reads ffprobe's packets unparsed (as the
container holds them). --kind compares the frames of one kind only.
--program selects that program (op 4) before reading; --streams limits
ffprobe's view to those stream indices; --oracle-media asks ffprobe about
another file with the same content (packet sizes ffprobe cannot read).

--each-audio: the default selection is read, then each further audio track
of the program is selected (op 4) and read in a run of its own; the frames
of every audio track are compared.

--frame-rate: the video's frame_rate_milli must be ffprobe's r_frame_rate
(for streams whose headers carry no rate, where the demuxer probes it).

Seeks, forward (flags 0x21) and backward (0x11): N targets (4 N with
HOLVIK_TEST_TIER=long) drawn from a fixed seed, one after another; then
each key frame's time and the milliseconds just before and after it,
forward from the start and backward from the last key frame. Key frames
are ffprobe's, at the times the demuxer reports for them (whole
milliseconds, truncated); a seek must land on the first at or after the
target (forward) or the last at or before it (backward), and the first
video frame read after it must carry that time. Forward targets past the
last key frame must fail with end of file.
"""
import argparse
import json
import os
import random
import shlex
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
COMPARER = os.path.join(HERE, "..", "..", "..", "support", "compare_ffprobe.py")


VIEW = os.path.join(HERE, "ffprobe_view.py")
# A 32-bit media host runs under the emulator where the machine cannot run it.
EMULATOR = shlex.split(os.environ.get("HOLVIK_EMULATOR", ""))


def oracle_env(a):
    env = dict(os.environ)
    if a.streams:
        env["TS_ORACLE_STREAMS"] = a.streams
    if a.oracle_media:
        env["TS_ORACLE_MEDIA"] = a.oracle_media
    return env


def ffprobe_packets(a, unparsed=False):
    raw = ["-fflags", "+nofillin+noparse"] if unparsed else []
    out = subprocess.run([sys.executable, VIEW, "-v", "error", "-of", "json"] + raw + ["-show_packets",
                          "-show_streams", a.media], check=True, capture_output=True, text=True,
                         env=oracle_env(a)).stdout
    j = json.loads(out)
    return j.get("streams", []), j.get("packets", [])


def compare(a, args):
    cmd = [sys.executable, COMPARER, "--media", a.media, "--ffprobe", VIEW, "--unparsed"] + args + a.compare
    return subprocess.run(cmd, capture_output=True, text=True, env=oracle_env(a))


def run_dump(a, extra, kind=None):
    env = dict(os.environ)
    env["MEDIAHOST_TS_FLAGS"] = a.flags
    if a.program:
        env["MEDIAHOST_TS_PROGRAM"] = a.program
    cmd = EMULATOR + [a.mediahost, "dump", a.lib, a.media] + extra
    if kind:
        cmd += ["--kind", kind]
    p = subprocess.run(cmd, capture_output=True, text=True, env=env)
    if p.returncode != 0:
        print(p.stdout[-2000:])
        print(p.stderr[-2000:])
        sys.exit(f"mediahost dump failed with {p.returncode}")
    return p.stdout.splitlines()


def first_time_ms(streams, packets):
    kinds = {s["index"]: s.get("codec_type") for s in streams}
    times = [float(p["pts_time"]) for p in packets
             if kinds.get(p["stream_index"]) in ("video", "audio") and "pts_time" in p]
    return min(times) * 1000.0 if times else 0.0


def run_info(a):
    """The media host's info of the file, under the run's flags and program."""
    env = dict(os.environ)
    env["MEDIAHOST_TS_FLAGS"] = a.flags
    if a.program:
        env["MEDIAHOST_TS_PROGRAM"] = a.program
    return subprocess.run(EMULATOR + [a.mediahost, "info", a.lib, a.media], capture_output=True, text=True, env=env)


def audio_tracks(a):
    p = run_info(a)
    if p.returncode != 0:
        sys.exit(f"mediahost info failed with {p.returncode}: {p.stderr[-2000:]}")
    return [line.split(",")[1] for line in p.stdout.splitlines() if line.startswith("audio,")]


def dump_every_audio(a, kind):
    """One audio track is read at a time: the first dump has the default
    selection, each further audio track is selected (op 4) in a dump of its
    own, and its frames join the first dump, so that every audio track is
    compared, every frame of it."""
    lines = run_dump(a, [], kind)
    for track in audio_tracks(a)[1:]:
        other = run_dump(a, ["--select", f"audio:{track}"], kind)
        picked = [r for r in other[1:] if r.startswith(f"audio,{track},")]
        if not picked:
            sys.exit(f"audio track {track}: no frames once selected")
        lines += picked
    return lines


def check_frames(a, streams, packets):
    lines = dump_every_audio(a, a.kind) if a.each_audio else run_dump(a, [], a.kind)
    first = first_time_ms(streams, packets)
    with tempfile.NamedTemporaryFile("w", suffix=".csv", delete=False) as f:
        f.write(lines[0] + "\n")
        for line in lines[1:]:
            kind, track, t, rest = line.split(",", 3)
            f.write(f"{kind},{track},{int(t) + first:.3f},{rest}\n".replace(".000,", ","))
        name = f.name
    # The comparer reads integer times: round the shifted time.
    fixed = []
    with open(name) as f:
        for n, line in enumerate(f):
            if n == 0:
                fixed.append(line)
                continue
            kind, track, t, rest = line.split(",", 3)
            fixed.append(f"{kind},{track},{int(round(float(t)))},{rest}")
    with open(name, "w") as f:
        f.writelines(fixed)
    r = compare(a, ["--dump", name, "--time-tolerance-ms", "1.5"])
    os.unlink(name)
    print(r.stdout, end="")
    print(r.stderr, end="", file=sys.stderr)
    return r.returncode == 0


def check_info(a):
    p = run_info(a)
    if p.returncode != 0:
        print(p.stderr)
        return False
    p_out = p.stdout
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
        f.write(p.stdout)
        name = f.name
    r = compare(a, ["--info", name])
    os.unlink(name)
    print(r.stdout, end="")
    ok = r.returncode == 0
    # The program's duration: from the first time stamp of the program to the
    # last one of any of its streams, as the container's own packets carry them.
    streams, packets = ffprobe_packets(a, unparsed=True)
    kinds = {s["index"]: s.get("codec_type") for s in streams}
    times = [float(k["pts_time"]) * 1000.0 for k in packets
             if kinds.get(k["stream_index"]) in ("video", "audio") and "pts_time" in k]
    want = max(times) - min(times)
    for line in p_out.splitlines():
        for field in line.split(",")[2:]:
            key, _, value = field.partition("=")
            if key == "program_duration_ms" and abs(int(value) - want) > 2:
                print(f"info: program duration {value} ms, packet list {want:.1f} ms")
                ok = False
    print(r.stderr, end="", file=sys.stderr)
    return ok


def check_frame_rate(a, streams):
    env = dict(os.environ)
    env["MEDIAHOST_TS_FLAGS"] = a.flags
    p = subprocess.run(EMULATOR + [a.mediahost, "info", a.lib, a.media], capture_output=True, text=True, env=env)
    ours = None
    for line in p.stdout.splitlines():
        fields = dict(f.split("=", 1) for f in line.split(",")[2:] if "=" in f)
        if line.startswith("video,") and "frame_rate_milli" in fields:
            ours = int(fields["frame_rate_milli"])
            break
    video = [s for s in streams if s.get("codec_type") == "video"]
    if ours is None or not video:
        print(f"no video frame rate: {p.stdout}{p.stderr}")
        return False
    num, den = (int(x) for x in video[0]["r_frame_rate"].split("/"))
    want = num * 1000.0 / den if den else 0.0
    if abs(ours - want) > 1:
        print(f"frame rate {ours / 1000.0} per second, ffprobe {video[0]['r_frame_rate']}")
        return False
    print(f"frame rate {ours / 1000.0} per second as ffprobe's {video[0]['r_frame_rate']}")
    return True


def reported_key_times(a, streams, packets):
    """The times the demuxer itself reports for ffprobe's video key frames
    (whole milliseconds, truncated), and its video frames' times in file
    order: each key frame is the frame of the media host's dump within the
    frame check's tolerance of ffprobe's time. None when a key frame has no
    such frame."""
    video = [s["index"] for s in streams if s.get("codec_type") == "video"]
    first = first_time_ms(streams, packets)
    keys = sorted(float(p["pts_time"]) * 1000.0 - first for p in packets
                  if p["stream_index"] == video[0] and "K" in p.get("flags", "") and "pts_time" in p)
    ours = [int(r.split(",")[2]) for r in run_dump(a, [], "video")[1:] if r.startswith("video,")]
    reported = []
    for k in keys:
        near = min(ours, key=lambda t: abs(t - k), default=None)
        if near is None or abs(near - k) > 1.5:
            print(f"no frame of the dump at ffprobe's key frame {k:.3f} ms")
            return None, None
        reported.append(near)
    return reported, ours


def run_seeks(a, steps):
    """Runs the seeks (target, flags) of `steps` in one dump, a video frame
    read after each; gives per seek its line and the frame read after it
    (None when there is none)."""
    extra = ["--frames", "1"]
    for t, flags in steps:
        extra += ["--seek", f"{t}:{flags}"]
    rows = [r.split(",") for r in run_dump(a, extra, "video")[1:]]
    results = []
    for n, r in enumerate(rows):
        if r[0] == "seek":
            frame = rows[n + 1] if n + 1 < len(rows) and rows[n + 1][0] != "seek" else None
            results.append((r, frame))
    return results


def check_seeks(a, streams, packets):
    if not any(s.get("codec_type") == "video" for s in streams):
        print("no video stream to seek on")
        return False
    keys, order = reported_key_times(a, streams, packets)
    if not keys or len(order) < 2:
        print("no key frames to seek to")
        return False
    last = max(order)
    rng = random.Random(7)
    ok = True
    count = 0
    for flags, forward in ((0x21, True), (0x11, False)):
        def wanted(t):
            """Where a seek to t lands and the time of the frame read next;
            None when it must fail (forward past the last key frame)."""
            if forward:
                later = [k for k in keys if k >= t]
                return (min(later), min(later)) if later else None
            before = [k for k in keys if k <= t]
            # No key frame before the target: the start of the file,
            # reported as 0, and its first picture comes next.
            return (max(before), max(before)) if before else (0, order[0])
        # Steps: (target, flags, checked); the unchecked ones place the
        # reader for the next.
        steps = []
        # Random targets, one seek after another.
        while len(steps) < a.seeks:
            t = rng.randint(1, last - 1)
            if wanted(t) is not None:
                steps.append((t, flags, True))
        # Each key frame's own time and the milliseconds just before and
        # after it: forward from the start, where a byte estimate can land
        # between an open GOP's key frame and the pictures that show before
        # it; backward from the last key frame.
        near = sorted({k + d for k in keys for d in (-1, 0, 1) if 1 <= k + d < last})
        for t in near:
            if forward and wanted(t) is None:
                continue
            steps += [(0, 0x21, False) if forward else (keys[-1], 0x21, False), (t, flags, True)]
        # Forward from the start past the last key frame: the seek fails.
        if forward:
            for t in sorted({keys[-1] + 1, last}):
                if t > keys[-1]:
                    steps += [(0, 0x21, False), (t, flags, True)]
        results = run_seeks(a, [(t, f) for t, f, _ in steps])
        if len(results) != len(steps):
            print(f"{len(results)} seek lines for {len(steps)} seeks")
            ok = False
        for (t, _, checked), (seek, frame) in zip(steps, results):
            if not checked:
                continue
            count += 1
            want = wanted(t)
            if want is None:
                if seek[2] != "failed -2001":
                    print(f"seek {t} flags {flags:#x}: {seek[2]}, want failed -2001")
                    ok = False
                continue
            if seek[2].startswith("failed"):
                print(f"seek {t} flags {flags:#x}: {seek[2]}, want {want[0]}")
                ok = False
                continue
            if int(seek[2]) != want[0]:
                print(f"seek {t} flags {flags:#x}: landed {seek[2]}, want {want[0]}")
                ok = False
            if frame is None or frame[0] != "video" or int(frame[2]) != want[1]:
                print(f"seek {t} flags {flags:#x}: next frame {frame}, want time {want[1]}")
                ok = False
    if ok:
        print(f"{count} seeks land where ffprobe's key frames say")
    return ok


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--mediahost", required=True)
    ap.add_argument("--lib", required=True)
    ap.add_argument("--media", required=True)
    ap.add_argument("--flags", default="0")
    ap.add_argument("--info", action="store_true")
    ap.add_argument("--frame-rate", action="store_true")
    ap.add_argument("--no-frames", action="store_true")
    ap.add_argument("--kind")
    ap.add_argument("--program")
    ap.add_argument("--streams")
    ap.add_argument("--oracle-media")
    ap.add_argument("--seeks", type=int, default=0)
    ap.add_argument("--each-audio", action="store_true")
    ap.add_argument("--compare", nargs=argparse.REMAINDER, default=[])
    a = ap.parse_args()
    # The deeper round on demand: four times the seeks.
    if os.environ.get("HOLVIK_TEST_TIER") == "long":
        a.seeks *= 4
    streams, packets = ffprobe_packets(a)
    ok = True
    if not a.no_frames:
        ok &= check_frames(a, streams, packets)
    if a.info:
        ok &= check_info(a)
    if a.frame_rate:
        ok &= check_frame_rate(a, streams)
    if a.seeks:
        ok &= check_seeks(a, streams, packets)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
