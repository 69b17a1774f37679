#!/usr/bin/env python3
"""Checks the Ogg demuxer on one file against ffprobe.

  ogg_oracle.py --mediahost BIN --lib LIB --media FILE [--info]
                [--video-tolerance MS] [--audio-tolerance MS] [--first-free]
                [--headers N,N...] [--duration-tolerance MS] [--seeks N] [--chained]

Frames: `mediahost dump` (codec header packets stepped over by the adapter)
and `mediahost info` go to compare_ffprobe.py with ffprobe's packets as the
pages hold them: every announced stream, every frame, sizes, MD5s and times
within --audio-tolerance (default: two of the longest packets ffprobe
reports, one long Vorbis block); the video times are then checked on their
own, exactly: ffprobe's time stamp times the stream's time base, truncated to
the millisecond (a frame exactly on a millisecond must have it). Packets that
the pages leave untimed take the time of ffprobe's parsed reading (FLAC's:
their timed neighbours). --first-free leaves the first video frame's time to
--video-tolerance. --headers: the number of header
packets the library delivers in-band before the first audio frame, per audio
track. The file duration must agree with ffprobe's within
--duration-tolerance.

--chained: the audio streams of the links, read one after the other, are
ffprobe's one stream (the later links' headers included, as ffprobe has them).

Seeks: N absolute targets over the whole file, two in the audio's last page
(its middle and 1 ms before the end), every video key frame's time as the
library reports it (ffprobe's key frames, our times of those frames), 1 ms
before and 1 ms after each, and two in the last GOP; each forward (flags 0x1)
and backward (0x3). Video-led files (OGM, Theora alone) must land exactly on
the first key frame at or after the target (forward; past the last one, the
last one, policy 2) or the last one at or before it (backward; the first one
when there is none). Audio-led files must land on ffprobe's first
packet of one of the two pages around the target: the audio search ends on
the page whose time (its end) is nearest the target among those it probed,
and the seek starts right after that page; a target in the last page lands
on that page's first packet. Pages are ffprobe's packet positions, times
within the audio tolerance. The
first frame read after the seek carries the landed time; Theora video that
follows the audio starts at the last key frame at or before the audio's
landing. Every seek asked for
must be answered by its line, in order. --drop-seek-line N (a self-test)
takes the N-th answer out of the dump, which the check must then report.
"""
import argparse
import json
import math
import os
import random
import subprocess
import sys
import tempfile
import shlex
from fractions import Fraction

# The 32-bit media host runs under the emulator where the machine cannot run it.
EMULATOR = shlex.split(os.environ.get("HOLVIK_EMULATOR", ""))

HERE = os.path.dirname(os.path.abspath(__file__))
COMPARER = os.path.join(HERE, "..", "..", "..", "support", "compare_ffprobe.py")
VIEW = os.path.join(HERE, "ffprobe_view.py")


def probe(a):
    out = subprocess.run([sys.executable, VIEW, "-v", "error", "-of", "json", "-show_packets", "-show_streams",
                          "-show_format", a.media], check=True, capture_output=True, text=True).stdout
    j = json.loads(out)
    return j.get("streams", []), j.get("packets", []), j.get("format", {})


def run(a, command, extra=(), env=None):
    p = subprocess.run(EMULATOR + [a.mediahost, command, a.lib, a.media] + list(extra), capture_output=True, text=True,
                       env=dict(os.environ, **(env or {})))
    if p.returncode != 0:
        print(p.stdout[-2000:])
        print(p.stderr[-2000:])
        sys.exit(f"mediahost {command} failed with {p.returncode}")
    return p.stdout


def compare(a, args, streams):
    # A packet that the page leaves untimed gets the time of ffprobe's parsed
    # reading, except FLAC's: the FLAC mapping adds nothing per packet, so all
    # packets of a page carry the page's start time, and they are held to
    # their timed neighbours (this page's first packet and the next page's).
    if not any(s.get("codec_name") == "flac" for s in streams):
        args = ["--parsed-ffprobe", "ffprobe"] + args
    r = subprocess.run([sys.executable, COMPARER, "--media", a.media, "--ffprobe", VIEW] + args,
                       capture_output=True, text=True)
    print(r.stdout, end="")
    print(r.stderr, end="", file=sys.stderr)
    return r.returncode == 0


def ms(p, key="pts_time"):
    v = p.get(key)
    try:
        return float(v) * 1000.0
    except (TypeError, ValueError):
        return None


def audio_tolerance(a, streams, packets):
    if a.audio_tolerance is not None:
        return a.audio_tolerance
    kinds = {s["index"]: s.get("codec_type") for s in streams}
    d = [ms(p, "duration_time") for p in packets if kinds.get(p["stream_index"]) == "audio"]
    d = [x for x in d if x is not None]
    # Within a long block: two packet durations.
    return 2 * (max(d) if d else 30.0) + 1.0


def check_frames(a, streams, packets, d):
    """One comparison of every announced stream and every frame (times within
    the audio tolerance), then the video times on their own, exactly."""
    lines = run(a, "dump").splitlines()
    name = os.path.join(d, "dump.csv")
    with open(name, "w") as f:
        f.write("\n".join(lines) + "\n")
    args = ["--dump", name, "--time-tolerance-ms", str(max(audio_tolerance(a, streams, packets), a.video_tolerance))]
    if a.info:
        info = os.path.join(d, "info.txt")
        with open(info, "w") as f:
            f.write(run(a, "info"))
        args += ["--info", info]
    # Audio tracks follow the video track: the k-th audio stream of ffprobe.
    video = [l for l in lines[1:] if l.startswith("video,")]
    first = 1 if video else 0
    audio = [s["index"] for s in streams if s.get("codec_type") == "audio"]
    for k, index in enumerate(audio):
        args += ["--map", f"{k + first}={index}"]
    ok = compare(a, args, streams)
    kinds = {s["index"]: s.get("codec_type") for s in streams}
    theirs = [p for p in packets if kinds.get(p["stream_index"]) == "video"]
    parsed = parsed_video(a) if any(ms(p) is None for p in theirs) else theirs
    if len(parsed) != len(theirs):
        print(f"ffprobe's parsed reading has {len(parsed)} video packets, its unparsed one {len(theirs)}")
        return False
    base = video_time_base(streams)
    for n, (row, p) in enumerate(zip(video, theirs)):
        if a.first_free and n == 0:
            continue
        want = exact_ms(p, base)
        if want is None:
            want = exact_ms(parsed[n], base)
        if want is None:
            print(f"video frame {n}: no time from ffprobe, parsed or not")
            ok = False
            continue
        if int(row.split(",")[2]) != want:
            print(f"video frame {n}: time {row.split(',')[2]}, ffprobe {want} (its time truncated to the ms)")
            ok = False
    return ok


def video_time_base(streams):
    for s in streams:
        if s.get("codec_type") == "video":
            return Fraction(s["time_base"])
    return None


def exact_ms(p, base):
    """ffprobe's time of a packet in whole ms, truncated from its exact value
    (time stamp times time base): a frame exactly on a millisecond has it."""
    pts = p.get("pts")
    if pts is None or base is None:
        return None
    return math.floor(Fraction(int(pts)) * base * 1000)


def parsed_video(a):
    """ffprobe's packets of the first video stream with its time fill-in
    (one per page packet: no parser re-cuts Ogg video)."""
    out = subprocess.run(["ffprobe", "-v", "error", "-of", "json", "-show_packets", "-select_streams", "v:0",
                          a.media], check=True, capture_output=True, text=True).stdout
    return json.loads(out).get("packets", [])


def check_headers(a):
    counts = [int(x) for x in a.headers.split(",")]
    plain = [l for l in run(a, "dump").splitlines()[1:] if l.startswith("audio,")]
    every = [l for l in run(a, "dump", env={"MEDIAHOST_OGG_HEADERS": "1"}).splitlines()[1:]
             if l.startswith("audio,")]
    ok = True
    tracks = sorted({l.split(",")[1] for l in every}, key=int)
    for n, want in enumerate(counts):
        track = tracks[n] if n < len(tracks) else "missing"
        p = [l for l in plain if l.split(",")[1] == track]
        e = [l for l in every if l.split(",")[1] == track]
        if len(e) - len(p) != want or e[want:] != p:
            print(f"audio track {track}: {len(e) - len(p)} header packets before the frames, expected {want}")
            ok = False
    return ok


def check_chained(a, streams, packets, d):
    """A chained file: our audio streams, one per link, read one after the
    other are ffprobe's single stream; ffprobe keeps the first link's headers
    as codec data and hands on the later links' headers as packets."""
    lines = run(a, "dump", env={"MEDIAHOST_OGG_HEADERS": "1"}).splitlines()
    links = {}
    for line in lines[1:]:
        kind, track, rest = line.split(",", 2)
        links.setdefault(track, []).append(rest)
    rows = []
    for n, track in enumerate(sorted(links, key=int)):
        rows += [f"audio,0,{r}" for r in (links[track][3:] if n == 0 else links[track])]
    name = os.path.join(d, "chained.csv")
    with open(name, "w") as f:
        f.write(lines[0] + "\n" + "\n".join(rows) + "\n")
    return compare(a, ["--dump", name, "--time-tolerance-ms", str(audio_tolerance(a, streams, packets))], streams)


def check_duration(a, fmt):
    first = run(a, "info").splitlines()
    ours = None
    for line in first:
        for field in line.split(","):
            if field.startswith("file_duration_ms="):
                ours = int(field.split("=")[1])
    theirs = float(fmt.get("duration", "0")) * 1000.0
    if ours is None or abs(ours - theirs) > a.duration_tolerance:
        print(f"duration {ours} ms, ffprobe {theirs:.1f} ms")
        return False
    return True


def seek_dump(a, kind, steps):
    """The dump of one frame of `kind` after each seek step. --drop-seek-line N
    takes out the N-th seek line and its frame, as a host that answered that
    seek with nothing would leave it."""
    out = run(a, "dump", ["--kind", kind, "--frames", "1"] + steps).splitlines()
    if a.drop_seek_line:
        seeks = [i for i, l in enumerate(out) if l.startswith("seek,")]
        if a.drop_seek_line <= len(seeks):
            i = seeks[a.drop_seek_line - 1]
            end = seeks[a.drop_seek_line] if a.drop_seek_line < len(seeks) else len(out)
            del out[i:end]
    return out


def unanswered(out, seeks, asked):
    """A problem unless every seek asked for has its line, in order."""
    answered = [int(out[i].split(",")[1]) for i in seeks]
    if answered == asked:
        return []
    return [f"{len(answered)} seek lines for {len(asked)} seeks asked for: answered {answered[:12]}, "
            f"asked {asked[:12]}"]


def page_starts(packets, index):
    """ffprobe's times of the first timed packet of each page of stream
    `index` (a page is the packets of one position)."""
    starts, seen = [], set()
    for p in packets:
        if p["stream_index"] != index or p.get("pos") in seen:
            continue
        t = ms(p)
        if t is None:
            continue
        seen.add(p.get("pos"))
        starts.append(t)
    return sorted(starts)


def audio_end(packets, index):
    return max(ms(p) + (ms(p, "duration_time") or 0.0) for p in packets
               if p["stream_index"] == index and ms(p) is not None)


def pages_around(starts, target):
    """The starts of the page that holds `target` and of the next page (the
    page alone when it is the last one)."""
    below = [x for x in starts if x <= target]
    above = [x for x in starts if x > target]
    around = below[-1:] + above[:1]
    return around or starts[:1]


def our_key_times(a):
    """Our times of ffprobe's video key frames (our n-th video frame is its
    n-th video packet), or a problem."""
    rows = [l for l in run(a, "dump", ["--kind", "video"]).splitlines()[1:] if l.startswith("video,")]
    theirs = parsed_video(a)
    if len(rows) != len(theirs):
        return None, f"{len(rows)} video frames, ffprobe {len(theirs)}"
    return [int(r.split(",")[2]) for r, p in zip(rows, theirs) if "K" in p.get("flags", "")], None


def key_targets(keys, end):
    """Every key frame's time as we report it, 1 ms before and after it, and
    two targets after the last key frame (the last GOP), up to `end`."""
    targets = set()
    for k in keys:
        targets.update(x for x in (k - 1, k, k + 1) if 0 <= x <= end)
    if keys and keys[-1] < end:
        targets.update({(keys[-1] + end) // 2, end - 1})
    return sorted(targets)


def key_at_or_before(keys, t):
    """The last key frame at or before `t`; the first one when there is none."""
    below = [k for k in keys if k <= t]
    return below[-1] if below else keys[0]


def key_at_or_after(keys, t):
    """The first key frame at or after `t`; past the last one, the last one
    (policy 2)."""
    above = [k for k in keys if k >= t]
    return above[0] if above else keys[-1]


def check_seeks(a, streams, packets):
    kinds = {s["index"]: s.get("codec_type") for s in streams}
    info = run(a, "info")
    has_audio = "\naudio," in "\n" + info
    has_video = info.startswith("video")
    theora = "codec_name=theora" in info
    video_led = has_video and not (theora and has_audio)
    kind = "video" if video_led else "audio"
    first_audio = min((p["stream_index"] for p in packets if kinds.get(p["stream_index"]) == "audio"), default=None)
    keys = []
    if has_video:
        keys, problem = our_key_times(a)
        if problem or not keys:
            print(problem or "no key frames")
            return False
    ours = int(next(f for f in info.split(",") if f.startswith("file_duration_ms=")).split("=")[1].split()[0])
    duration = int(float(subprocess.run([sys.executable, VIEW, "-v", "error", "-of", "csv=p=0", "-show_entries",
                                         "format=duration", a.media], capture_output=True, text=True,
                                        check=True).stdout) * 1000)
    starts = [] if video_led else page_starts(packets, first_audio)
    rng = random.Random(4321)
    targets = [rng.randint(1, max(1, duration - 1)) for _ in range(a.seeks)]
    if not video_led and starts:
        end = int(audio_end(packets, first_audio))
        targets += [int(starts[-1] + end) // 2, end - 1]
    targets += key_targets(keys, ours)
    steps = []
    for t in targets:
        steps += ["--seek", f"{t}:1", "--seek", f"{t}:3"]
    asked = [t for t in targets for _ in range(2)]
    out = seek_dump(a, kind, steps)
    seeks = [i for i, l in enumerate(out) if l.startswith("seek,")]
    problems = unanswered(out, seeks, asked)
    if problems:
        print(problems[0])
        return False
    tol = audio_tolerance(a, streams, packets)
    for n, i in enumerate(seeks):
        t = targets[n // 2]
        backward = n % 2 == 1
        way = "backward" if backward else "forward"
        field = out[i].split(",")[2]
        if field.startswith("failed"):
            problems.append(f"seek {t} {way}: {field}")
            continue
        landed = int(field)
        if video_led:
            # On the key frame the rule names, exactly as we time it.
            want = key_at_or_before(keys, t) if backward else key_at_or_after(keys, t)
            if landed != want:
                problems.append(f"seek {t} {way}: landed {landed}, the key frame is at {want}")
        else:
            around = pages_around(starts, t)
            if not any(abs(landed - x) <= tol for x in around):
                problems.append(f"seek {t}: landed {landed}, not within {tol} ms of the start of a page around the "
                                f"target ({', '.join(f'{x:.0f}' for x in around)})")
        nxt = out[i + 1] if i + 1 < len(out) else ""
        if not nxt.startswith(kind) or int(nxt.split(",")[2]) != landed:
            problems.append(f"seek {t}: next {kind} frame '{nxt}' is not at {landed}")
    if theora and has_audio:
        # The Theora video follows the audio: its first frame after each
        # seek is the last key frame at or before the audio's landing.
        audio_out, landings = out, {}
        for n, i in enumerate(seeks):
            field = audio_out[i].split(",")[2]
            if not field.startswith("failed"):
                landings[n] = int(field)
        out = seek_dump(a, "video", steps)
        video_seeks = [i for i, l in enumerate(out) if l.startswith("seek,")]
        problems += unanswered(out, video_seeks, asked)
        for n, i in enumerate(video_seeks):
            if n not in landings:
                continue
            nxt = out[i + 1] if i + 1 < len(out) else ""
            got = int(nxt.split(",")[2]) if nxt.startswith("video") else None
            want = key_at_or_before(keys, landings[n])
            if got != want:
                problems.append(f"{out[i]}: next video frame '{nxt}', the key frame at or before the audio's "
                                f"landing {landings[n]} is at {want}")
    for p in problems[:20]:
        print(p)
    if not problems:
        print(f"{len(seeks)} seeks land on {'our key frames' if video_led else 'ffprobe packets'}")
    return not problems


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mediahost", required=True)
    ap.add_argument("--lib", required=True)
    ap.add_argument("--media", required=True)
    ap.add_argument("--info", action="store_true")
    ap.add_argument("--video-tolerance", type=float, default=1.0)
    ap.add_argument("--audio-tolerance", type=float)
    ap.add_argument("--first-free", action="store_true")
    ap.add_argument("--headers")
    ap.add_argument("--duration-tolerance", type=float, default=50.0)
    ap.add_argument("--no-frames", action="store_true")
    ap.add_argument("--chained", action="store_true")
    ap.add_argument("--seeks", type=int, default=0)
    ap.add_argument("--drop-seek-line", type=int, default=0)
    a = ap.parse_args()
    streams, packets, fmt = probe(a)
    ok = True
    with tempfile.TemporaryDirectory() as d:
        if a.chained:
            ok = check_chained(a, streams, packets, d) and ok
        elif not a.no_frames:
            ok = check_frames(a, streams, packets, d) and ok
            ok = check_duration(a, fmt) and ok
        if a.headers:
            ok = check_headers(a) and ok
        if a.seeks:
            ok = check_seeks(a, streams, packets) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
