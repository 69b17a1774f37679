#!/usr/bin/env python3
"""Checks the media host's output for a file against ffprobe's view of it.

  compare_ffprobe.py --media FILE [--dump DUMP.csv] [--info INFO.txt]
                     [--time-tolerance-ms MS] [--size-delta N]
                     [--size-tolerance N] [--last-size-free] [--no-md5]
                     [--no-key] [--map TRACK=INDEX]... [--ffprobe PATH]
                     [--unparsed] [--parsed-ffprobe PATH] [--unlisted KIND]...

--dump: output of `mediahost dump` (only the frames before the first seek
line are compared). Per stream: frame count, and per frame the size (ours
minus --size-delta), the MD5 of the payload, the time within the tolerance
and the key flag (where ours is not -1: a library that gives no key flag).
--size-tolerance allows sizes to
differ by that many bytes (containers whose frames are padded differently);
--last-size-free leaves out the size of each stream's last frame (where
ffprobe takes the last packet up to the end of the file, tags included).

A dump fails when it holds no frame, when a track has fewer or more frames
than ffprobe's packets, and when an ffprobe stream of a kind that we announce
(a kind in --info, or in the dump without --info) has no frames in the dump:
a demuxer that lists a stream but delivers nothing of it does not pass.

Frames that ffprobe's packet list leaves untimed (no pts, no dts: packets
that share a page or a PES header with others) are checked all the same: against
the time that a parsed reading gives the same packet (--parsed-ffprobe: a tool
that lists the packets with ffmpeg's parsers and time fill-in; the packet
found by its MD5), else against the timed packets around it: the time lies
within the times of the nearest timed packets before and after it (within the
tolerance), and where those two are in order our times do not go backwards
between them. A stream without any time to check against fails.

--info: output of `mediahost info`; every key=value field whose key is also
a field of ffprobe's -show_streams entry is compared (numerically where both
sides are numbers). Every stream that ffprobe lists must be in the info,
except streams whose kind or codec --unlisted names (what the library does
not describe, such as attachments): an info that leaves out a stream fails.

--unparsed: ffprobe lists the packets with -fflags +nofillin+noparse, so they
are the container's own (for containers whose packets ffmpeg's parsers re-cut
into frames of their own, such as the transport stream) with the times the
container carries; the stream fields still come from a parsed reading.

Our streams are matched to ffprobe's by kind (codec_type) in order of
appearance unless --map names the ffprobe stream index of a track.
Exit status 0 when everything agrees, 1 with the differences listed.
"""
import argparse
import csv
import json
import subprocess
import sys
from collections import OrderedDict

MAX_REPORTED = 20


def ffprobe(tool, media, what, unparsed=False):
    cmd = [tool, "-v", "error", "-of", "json"]
    if unparsed:
        cmd += ["-fflags", "+nofillin+noparse"]
    if what == "packets":
        cmd += ["-show_packets", "-show_data_hash", "MD5"]
    else:
        cmd += ["-show_streams"]
    out = subprocess.run(cmd + [media], check=True, capture_output=True, text=True).stdout
    return json.loads(out).get(what, [])


def packets_by_stream(packets):
    by = OrderedDict()
    for p in packets:
        by.setdefault(p["stream_index"], []).append(p)
    return by


def packet_ms(p):
    t = number(p.get("pts_time"))
    if t is None:
        t = number(p.get("dts_time"))
    return None if t is None else t * 1000.0


def parsed_times(pk, parsed):
    """The time of each of PK (an untimed one included) as the parsed packet
    with the same payload has it; None where no parsed packet matches. The
    parsed list is walked in order, so repeated payloads match in turn."""
    out = [None] * len(pk)
    cursor = 0
    for n, p in enumerate(pk):
        h = p.get("data_hash")
        if h is None:
            continue
        for m in range(cursor, min(len(parsed), cursor + 16)):
            q = parsed[m]
            if q.get("data_hash") == h and q.get("size") == p.get("size"):
                out[n] = packet_ms(q)
                cursor = m + 1
                break
    return out


def check_untimed(label, frames, times, tol):
    """Our times of the frames whose ffprobe time is None in TIMES: within the
    timed neighbours, not going backwards between neighbours in order."""
    problems = []
    count = min(len(frames), len(times))
    timed = [n for n in range(count) if times[n] is not None]
    if len(timed) < count and not timed:
        return [f"{label}: {count} frames and no ffprobe time to check any of them against"]
    before = None
    after_at = 0
    for n in range(count):
        if times[n] is not None:
            before = n
            continue
        while after_at < len(timed) and timed[after_at] < n:
            after_at += 1
        after = timed[after_at] if after_at < len(timed) else None
        bounds = [times[i] for i in (before, after) if i is not None]
        lo, hi = min(bounds), max(bounds)
        ours = frames[n]["time"]
        if ours < lo - tol or ours > hi + tol:
            problems.append(f"{label} frame {n}: time {ours} ms (ffprobe untimed) outside its timed neighbours "
                            f"{lo:.3f}..{hi:.3f} ms")
        elif before is not None and after is not None and times[before] <= times[after]:
            prev = frames[n - 1]["time"]
            if ours < prev or ours > frames[after]["time"]:
                problems.append(f"{label} frame {n}: time {ours} ms (ffprobe untimed) out of order between "
                                f"{prev} ms and {frames[after]['time']} ms")
    return problems


def number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


def read_dump(path):
    tracks = OrderedDict()
    with open(path, newline="") as f:
        rows = csv.reader(f)
        header = next(rows, None)
        if header != ["kind", "track", "time_ms", "size", "key", "md5"]:
            raise SystemExit(f"{path}: not a mediahost dump (header {header})")
        for row in rows:
            if row and row[0] == "seek":
                break
            kind, track, time_ms, size, key, md5 = row
            tracks.setdefault((kind, track), []).append(
                {"time": int(time_ms), "size": int(size), "key": int(key), "md5": md5})
    return tracks


def read_info(path):
    streams = OrderedDict()
    with open(path) as f:
        for line in f:
            parts = line.rstrip("\n").split(",")
            if len(parts) < 2:
                continue
            fields = dict(p.split("=", 1) for p in parts[2:] if "=" in p)
            streams[(parts[0], parts[1])] = fields
    return streams


def match(ours, theirs_by_index, kinds_of, explicit):
    """Maps each (kind, track) of ours to an ffprobe stream index."""
    mapping = {}
    used = set()
    for key in ours:
        if key[1] in explicit:
            mapping[key] = explicit[key[1]]
            used.add(explicit[key[1]])
    for key in ours:
        if key in mapping:
            continue
        for index in theirs_by_index:
            if index not in used and kinds_of.get(index) == key[0]:
                mapping[key] = index
                used.add(index)
                break
    return mapping


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--media", required=True)
    ap.add_argument("--dump")
    ap.add_argument("--info")
    ap.add_argument("--time-tolerance-ms", type=float, default=1.0)
    ap.add_argument("--size-delta", type=int, default=0)
    ap.add_argument("--size-tolerance", type=int, default=0)
    ap.add_argument("--last-size-free", action="store_true")
    ap.add_argument("--no-md5", action="store_true")
    ap.add_argument("--no-key", action="store_true")
    ap.add_argument("--map", action="append", default=[])
    ap.add_argument("--ffprobe", default="ffprobe")
    ap.add_argument("--unparsed", action="store_true")
    ap.add_argument("--parsed-ffprobe")
    ap.add_argument("--unlisted", action="append", default=[])
    a = ap.parse_args()
    if not a.dump and not a.info:
        ap.error("give --dump, --info or both")
    explicit = {}
    for m in a.map:
        track, index = m.split("=", 1)
        explicit[track] = int(index)

    streams = ffprobe(a.ffprobe, a.media, "streams")
    kinds_of = {s["index"]: s.get("codec_type") for s in streams}
    problems = []

    announced = set()
    if a.info:
        ours = read_info(a.info)
        announced = {k[0] for k in ours}
        by_index = {s["index"]: s for s in streams}
        mapping = match(ours, by_index, kinds_of, explicit)
        for key, fields in ours.items():
            if key not in mapping:
                problems.append(f"info: ffprobe has no {key[0]} stream for track {key[1]}")
                continue
            theirs = by_index[mapping[key]]
            for name, value in fields.items():
                if name not in theirs:
                    continue
                mine_n, theirs_n = number(value), number(theirs[name])
                same = (mine_n == theirs_n) if mine_n is not None and theirs_n is not None \
                    else str(value) == str(theirs[name])
                if not same:
                    problems.append(f"info: track {key[1]} {name}: ours {value}, ffprobe {theirs[name]}")
        listed = set(mapping.values())
        for s in streams:
            if s["index"] not in listed and not {s.get("codec_type"), s.get("codec_name")} & set(a.unlisted):
                problems.append(f"info: ffprobe stream {s['index']} ({s.get('codec_type')}, "
                                f"{s.get('codec_name')}) is missing")

    if a.dump:
        ours = read_dump(a.dump)
        if not ours:
            problems.append("dump: no frames")
        if not a.info:
            announced = {k[0] for k in ours}
        packets = ffprobe(a.ffprobe, a.media, "packets", a.unparsed)
        theirs = packets_by_stream(packets)
        parsed = None
        if any(packet_ms(p) is None for p in packets):
            if a.parsed_ffprobe:
                parsed = packets_by_stream(ffprobe(a.parsed_ffprobe, a.media, "packets"))
            elif a.unparsed:
                parsed = packets_by_stream(ffprobe(a.ffprobe, a.media, "packets"))
        mapping = match(ours, theirs, kinds_of, explicit)
        for key, frames in ours.items():
            if key not in mapping:
                problems.append(f"dump: ffprobe has no {key[0]} stream for track {key[1]}")
                continue
            pk = theirs.get(mapping[key], [])
            label = f"{key[0]} track {key[1]} (ffprobe stream {mapping[key]})"
            if len(frames) != len(pk):
                problems.append(f"{label}: {len(frames)} frames, ffprobe {len(pk)} packets")
            times = [packet_ms(p) for p in pk]
            if parsed is not None and None in times:
                for n, t in enumerate(parsed_times(pk, parsed.get(mapping[key], []))):
                    if times[n] is None:
                        times[n] = t
            for n, (f, p) in enumerate(zip(frames, pk)):
                last = n == len(frames) - 1 and len(frames) == len(pk)
                if abs(f["size"] - a.size_delta - int(p["size"])) > a.size_tolerance and not (last and a.last_size_free):
                    problems.append(f"{label} frame {n}: size {f['size']} - {a.size_delta}, ffprobe {p['size']}")
                if not a.no_md5 and "data_hash" in p and f["md5"] != p["data_hash"].split(":", 1)[-1]:
                    problems.append(f"{label} frame {n}: md5 differs")
                t = times[n]
                if t is not None and abs(f["time"] - t) > a.time_tolerance_ms:
                    untimed = " (parsed)" if packet_ms(p) is None else ""
                    problems.append(f"{label} frame {n}: time {f['time']} ms, ffprobe{untimed} {t:.3f} ms")
                if not a.no_key and f["key"] != -1 and f["key"] != (1 if "K" in p.get("flags", "") else 0):
                    problems.append(f"{label} frame {n}: key {f['key']}, ffprobe flags {p.get('flags')}")
            problems += check_untimed(label, frames, times, a.time_tolerance_ms)
        for index in theirs:
            if index not in mapping.values() and kinds_of.get(index) in announced:
                problems.append(f"dump: ffprobe stream {index} ({kinds_of.get(index)}) has no frames in the dump")

    for p in problems[:MAX_REPORTED]:
        print(p)
    if len(problems) > MAX_REPORTED:
        print(f"... and {len(problems) - MAX_REPORTED} more")
    if problems:
        return 1
    print("agrees with ffprobe")
    return 0


if __name__ == "__main__":
    sys.exit(main())
