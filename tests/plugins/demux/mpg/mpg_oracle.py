#!/usr/bin/env python3
"""Checks the program-stream demuxer on one file against ffprobe.

  mpg_oracle.py --mediahost BIN --lib LIB --media FILE [--info] [--kind K]
                [--subpictures [--two-readers]] [--seeks N] [--compare ARGS...]

Frames (direct mode): every PES payload of every listed stream against
ffprobe's per-PES packets (-fflags +nofillin+noparse). Our times start at the
smaller of the first video and first audio presentation time (each the
smallest time of its stream, 0 for an absent kind), so they are shifted back by
that time before the comparison.

Key flags (direct mode): ffprobe's unparsed PES packets carry no key flag
(ffmpeg sets one only through its parsers, which re-cut the payloads), so
each video frame's key flag is checked against its payload instead: a key
frame holds a sequence start or an intra picture. A PES packet without a
time of its own carries the time of the packet of its kind before it (not
ffprobe's interpolated time): it is checked for exactly that, and against the
timed packets around it.

--subpictures gathers sub-picture stream 0x20 and compares only it: in
direct mode every PES payload against the per-PES packets, with
--two-readers every whole unit against the units ffprobe's parser puts
together. Sub-picture times start at the first video time.

Info: the stream fields against ffprobe's, and the duration against the
presentation times ffprobe reads: the span from the first to the last time
of the audio stream with the smallest id (of the video stream with the
smallest id in a file without audio), whole milliseconds, rounded up to the
next second from half a second. ffprobe reads times across a wrap of the
33-bit clock as counting on.

Seeks: key frames are the PES payloads that ffprobe shows holding a
sequence start or an intra picture, at the time the library reports for
them. The targets are N drawn from a fixed seed (4 N with
HOLVIK_TEST_TIER=long) and each key frame's time, a millisecond before it
and a millisecond after it. A seek runs forward when its target lies after
the last video frame delivered, else backward; each is checked both ways:

- forward (flags 0x1001) after a seek to the start: it lands on the first
  key frame in file order at or after the target;
- backward (flags 0x1002), once after a forward seek to the key frame after
  the target and once from the end of the file after reading every frame
  (targets in the last GOP included): it lands on the last key frame at or
  before the target, or, before the first key frame, on that frame with the
  target's time.

The frame read next must be that key frame (time and MD5).
"""
import argparse
import hashlib
import json
import os
import random
import re
import subprocess
import sys
import tempfile
import shlex

# The 32-bit media host runs under the emulator where the machine cannot run it.
EMULATOR = shlex.split(os.environ.get("HOLVIK_EMULATOR", ""))

HERE = os.path.dirname(os.path.abspath(__file__))
COMPARER = os.path.join(HERE, "..", "..", "..", "support", "compare_ffprobe.py")
NOPARSE = os.path.join(HERE, "ffprobe_noparse.py")
DIAGNOSTIC = re.compile(r"\x1b\[31m \$\$\$\$ \w+ \d+ end_of_file \x1b\[0m\n")


def lift(packets):
    """ffprobe gives the times before a wrap of the 33-bit clock as negative;
    the library counts on past the wrap instead. Lifted by the whole circle,
    ffprobe's times lie on the library's scale, where whole milliseconds of
    each time come out the same (the frame comparison allows for the one
    millisecond they may differ; a seek lands on a key frame's exact time)."""
    if any(int(p["pts"]) < 0 for p in packets if p.get("pts") not in (None, "N/A")):
        for p in packets:
            if p.get("pts") not in (None, "N/A"):
                p["pts"] = str(int(p["pts"]) + (1 << 33))
    return packets


def probe(media, noparse=True):
    tool = [sys.executable, NOPARSE] if noparse else ["ffprobe"]
    out = subprocess.run(tool + ["-v", "error", "-of", "json", "-show_packets", "-show_streams", media],
                         check=True, capture_output=True, text=True).stdout
    j = json.loads(out)
    return j.get("streams", []), j.get("packets", [])


def base_ms(streams, packets, kinds=("video", "audio")):
    """Our time origin: min(first video, first audio) in whole milliseconds."""
    firsts = []
    for kind in kinds:
        index = [s["index"] for s in streams if s.get("codec_type") == kind]
        if not index:
            firsts.append(0)
            continue
        pts = [int(p["pts"]) for p in packets if p["stream_index"] == index[0] and p.get("pts") not in (None, "N/A")]
        firsts.append(min(pts) // 90 if pts else 0)
    return min(firsts)


def run(a, args):
    env = dict(os.environ)
    if a.subpictures:
        env["MEDIAHOST_MPG_SUBPICTURE"] = "0x20"
        env["MEDIAHOST_MPG_MODE"] = "1" if a.two_readers else "0"
    p = subprocess.run(EMULATOR + [a.mediahost] + args, capture_output=True, text=True, env=env)
    if p.returncode != 0:
        print(p.stdout[-2000:])
        print(p.stderr[-2000:])
        sys.exit(f"mediahost {args[0]} failed with {p.returncode}")
    # The library's diagnostics share standard output; each comes whole, at
    # any place between the bytes of the rows.
    return DIAGNOSTIC.sub("", p.stdout)


def compare(a, extra):
    tool = "ffprobe" if a.two_readers else NOPARSE
    cmd = [sys.executable, COMPARER, "--media", a.media, "--ffprobe", tool] + extra + a.compare
    r = subprocess.run(cmd, capture_output=True, text=True)
    print(r.stdout, end="")
    print(r.stderr, end="", file=sys.stderr)
    return r.returncode == 0


def check_frames(a, streams, packets, work):
    args = ["dump", a.lib, a.media]
    if a.kind or a.subpictures:
        args += ["--kind", "subtitle" if a.subpictures else a.kind]
    lines = run(a, args).splitlines()
    base = base_ms(streams, packets, ("video",) if a.subpictures else ("video", "audio"))
    name = os.path.join(work, "dump.csv")
    with open(name, "w") as f:
        f.write(lines[0] + "\n")
        for line in lines[1:]:
            kind, track, t, rest = line.split(",", 3)
            f.write(f"{kind},{track},{int(t) + base},{rest}\n")
    ok = compare(a, ["--dump", name, "--time-tolerance-ms", "1.5", "--no-key"])
    if not a.two_readers:
        ok = check_carried_times(streams, packets, lines) and ok
    if not a.subpictures:
        ok = check_keys(a, lines) and ok
    return ok


def check_carried_times(streams, packets, lines):
    """Each frame whose PES ffprobe shows without a time has the time of the
    frame of its kind before it. Our tracks and ffprobe's streams of a kind
    pair up in order of appearance, as the comparer pairs them."""
    kinds = {s["index"]: s.get("codec_type") for s in streams}
    theirs = {}
    for p in packets:
        theirs.setdefault(p["stream_index"], []).append(p)
    unpaired = {}
    for index in theirs:
        unpaired.setdefault(kinds.get(index), []).append(index)
    stream_of, count, last, problems = {}, {}, {}, []
    for line in lines[1:]:
        kind, track, t = line.split(",")[:3]
        key = (kind, track)
        if key not in stream_of:
            free = unpaired.get(kind, [])
            stream_of[key] = free.pop(0) if free else None
        n = count.get(key, 0)
        count[key] = n + 1
        pk = theirs.get(stream_of[key], [])
        if n < len(pk) and pk[n].get("pts") in (None, "N/A") and kind in last and int(t) != last[kind]:
            problems.append(f"{kind} track {track} frame {n}: time {t} ms, but its PES has no time: "
                            f"the {kind} time before it is {last[kind]} ms")
        last[kind] = int(t)
    for p in problems[:20]:
        print(p)
    return not problems


def check_keys(a, lines):
    """Each video frame's key flag against its PES payload (ffprobe's packet
    in the same place; the counts are the comparer's to check)."""
    j = json.loads(subprocess.run([sys.executable, NOPARSE, "-v", "error", "-of", "json", "-show_packets",
                                   "-show_data", "-show_streams", a.media], check=True, capture_output=True,
                                  text=True).stdout)
    video = [s for s in j.get("streams", []) if s.get("codec_type") == "video"]
    ours = {}
    for line in lines[1:]:
        row = line.split(",")
        if row[0] == "video":
            ours.setdefault(row[1], []).append(int(row[4]))
    problems = []
    for track, stream in zip(sorted(ours, key=int), video):
        payloads = [pes_data(p) for p in j.get("packets", []) if p["stream_index"] == stream["index"]]
        for n, (key, data) in enumerate(zip(ours[track], payloads)):
            want = 1 if holds_key(stream["codec_name"], data) else 0
            if key != want:
                problems.append(f"video track {track} frame {n}: key {key}, payload {'holds' if want else 'lacks'} "
                                f"a sequence start or intra picture")
    for p in problems[:20]:
        print(p)
    return not problems


def check_info(a, streams, packets, work):
    name = os.path.join(work, "info.txt")
    text = run(a, ["info", a.lib, a.media])
    with open(name, "w") as f:
        f.write(text)
    # The library describes the video and audio streams only: neither the DVD
    # navigation packets nor the sub-picture streams (read by their id).
    ok = compare(a, ["--info", name, "--unlisted", "dvd_nav_packet", "--unlisted", "subtitle"])
    return check_duration(streams, packets, text) and ok


def rounded_duration(ms):
    return ms - ms % 1000 + 1000 if ms % 1000 > 499 else ms


def check_duration(streams, packets, info):
    """The info's duration against the time span ffprobe reads for the
    stream the library times the file by."""
    ours = {int(v) for v in re.findall(r"duration_ms=(-?\d+)", info)}
    if len(ours) != 1:
        print(f"info: one duration wanted, found {sorted(ours)}")
        return False
    ours = ours.pop()
    for kind in ("audio", "video"):
        # Stream ids as the library keeps them: the PES stream id, or the
        # private stream's sub-stream id.
        listed = sorted((int(s["id"], 16) & 0xFF, s["index"]) for s in streams
                        if s.get("codec_type") == kind and s.get("id"))
        times = [int(p["pts"]) for p in packets
                 if listed and p["stream_index"] == listed[0][1] and p.get("pts") not in (None, "N/A")]
        if len(times) < 2:
            continue
        # The library counts whole milliseconds of each end: a millisecond
        # either way.
        span = (max(times) - min(times)) // 90
        wanted = {rounded_duration(ms) for ms in (span - 1, span, span + 1)}
        if ours not in wanted:
            print(f"info: duration {ours} ms, ffprobe's {kind} times span {span} ms: want {min(wanted)}")
            return False
        print(f"duration {ours} ms agrees with ffprobe's {kind} times")
        return True
    print("info: ffprobe shows no stream with times to check the duration against")
    return False


def starts(data):
    """(code byte, following bytes) of every 00 00 01 start code in data."""
    i = data.find(b"\x00\x00\x01")
    while 0 <= i and i + 3 < len(data):
        yield data[i + 3], data[i + 4:i + 6]
        i = data.find(b"\x00\x00\x01", i + 3)


def holds_key(codec, data):
    """A PES payload that holds a sequence start or an intra picture, by the
    video standards' own syntax."""
    for code, after in starts(data):
        if codec in ("mpeg1video", "mpeg2video"):
            if code == 0xB3 or (code == 0 and len(after) == 2 and (after[1] >> 3) & 7 == 1):
                return True
        elif codec == "mpeg4":
            if code == 0xB0 or (code == 0xB6 and after and after[0] < 0x40):
                return True
        elif codec == "h264" and code & 0x1D == 5:
            return True
    return False


def pes_data(p):
    """The payload bytes of a packet from ffprobe's -show_data hex dump."""
    out = bytearray()
    for line in p.get("data", "").splitlines():
        hexpart = line.split(":", 1)[1][:40] if ":" in line else ""
        out += bytes.fromhex(hexpart.replace(" ", ""))
    return bytes(out)


def video_keys(a):
    """(time, MD5) of every video key frame in file order, with the time the
    library reports for it, and the time of the last video PES in the file."""
    j = json.loads(subprocess.run([sys.executable, NOPARSE, "-v", "error", "-of", "json", "-show_packets",
                                   "-show_data", "-show_streams", a.media], check=True, capture_output=True,
                                  text=True).stdout)
    streams, packets = j.get("streams", []), lift(j.get("packets", []))
    video = [s for s in streams if s.get("codec_type") == "video"]
    if not video:
        return [], None
    base = base_ms(streams, packets)
    # Direct mode delivers PES payloads: a key frame is a payload holding a
    # sequence start or an intra picture, at the time of its PES (the last
    # time given when the PES has none), in whole milliseconds as the library
    # counts them.
    keys, last = [], None
    for p in packets:
        if p["stream_index"] != video[0]["index"]:
            continue
        if p.get("pts") not in (None, "N/A"):
            last = int(p["pts"]) // 90 - base
        data = pes_data(p)
        if last is not None and holds_key(video[0]["codec_name"], data):
            keys.append((last, hashlib.md5(data).hexdigest()))
    return keys, last


def seek_results(a, args):
    """(seek row, next row or None) of each seek that is not one to the
    start, from a dump with the given seeks."""
    rows = [r.split(",") for r in run(a, ["dump", a.lib, a.media, "--kind", "video"] + args).splitlines()[1:] if r]
    return [(r, rows[n + 1] if n + 1 < len(rows) and rows[n + 1][0] != "seek" else None)
            for n, r in enumerate(rows) if r[0] == "seek" and r[1] != "0"]


def check_landings(how, targets, results, want):
    """Each seek landed where want(target) says: (time, MD5) of the frame."""
    ok = len(results) == len(targets)
    if not ok:
        print(f"{how}: {len(targets)} seeks asked, {len(results)} answered")
    for t, (seek, frame) in zip(targets, results):
        time, md5 = want(t)
        if (seek[2].startswith("failed") or int(seek[2]) != time or frame is None or int(frame[2]) != time or
                frame[5] != md5):
            print(f"{how} seek {t}: {seek[2]}, next frame {frame}, want the key frame {md5} at {time}")
            ok = False
    if ok:
        print(f"{len(targets)} {how} seeks land where they should")
    return ok


def check_seeks(a, work):
    keys, tail = video_keys(a)
    if not keys:
        print("no video key frame to seek to")
        return False
    times = [k[0] for k in keys]
    first, last = min(times), max(times)
    rng = random.Random(11)
    n = a.seeks * (4 if os.environ.get("HOLVIK_TEST_TIER") == "long" else 1)
    at_keys = sorted({k + d for k in times for d in (-1, 0, 1)})

    def forward(t):
        return next(k for k in keys if k[0] >= t)

    def backward(t):
        before = [k for k in keys if k[0] <= t]
        return before[-1] if before else (t, keys[0][1])

    # Forward, each after a seek to the start, which delivers the first key
    # frame: a target before it runs backward.
    ahead = [rng.randint(first + 1, last) for _ in range(n)] + [t for t in at_keys if first <= t <= last]
    args = ["--frames", "1"]
    for t in ahead:
        args += ["--seek", "0:0", "--seek", f"{t}:{0x1001}"]
    ok = check_landings("forward", ahead, seek_results(a, args), forward)
    # Backward from the key frame after the target.
    back = [rng.randint(1, last - 1) for _ in range(n)] + [t for t in at_keys if 0 < t < last]
    args = ["--frames", "1"]
    for t in back:
        args += ["--seek", "0:0", "--seek", f"{forward(t + 1)[0]}:{0x1001}", "--seek", f"{t}:{0x1002}"]
    pairs = seek_results(a, args)
    ok &= check_landings("forward (before a backward seek)", back, pairs[0::2], lambda t: forward(t + 1))
    ok &= check_landings("backward", back, pairs[1::2], backward)
    # Backward from the end: every frame is read after each seek. Times
    # after the last key frame, up to that of the last video PES, lie in the
    # last GOP.
    last_gop = [rng.randint(last, tail) for _ in range(n)] if tail > last else []
    from_end = [rng.randint(1, tail) for _ in range(n)] + last_gop + [t for t in at_keys if 0 < t <= tail] + [tail]
    args = []
    for t in from_end:
        args += ["--seek", f"{t}:{0x1002}"]
    ok &= check_landings("backward from the end", from_end, seek_results(a, args), backward)
    return ok


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--mediahost", required=True)
    ap.add_argument("--lib", required=True)
    ap.add_argument("--media", required=True)
    ap.add_argument("--info", action="store_true")
    ap.add_argument("--no-frames", action="store_true")
    ap.add_argument("--kind")
    ap.add_argument("--subpictures", action="store_true")
    ap.add_argument("--two-readers", action="store_true")
    ap.add_argument("--seeks", type=int, default=0)
    ap.add_argument("--compare", nargs=argparse.REMAINDER, default=[])
    a = ap.parse_args()
    streams, packets = probe(a.media)
    ok = True
    with tempfile.TemporaryDirectory(prefix="mpg-oracle-") as work:
        if not a.no_frames:
            ok &= check_frames(a, streams, packets, work)
        if a.info:
            ok &= check_info(a, streams, packets, work)
        if a.seeks:
            ok &= check_seeks(a, work)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
