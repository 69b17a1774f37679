#!/usr/bin/env python3
"""Self-test of compare_ffprobe.py: a dump built from ffprobe's own packets
agrees, and each kind of difference is caught.

  test_compare_ffprobe.py MEDIA WORKDIR
"""
import json
import os
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
media, work = sys.argv[1], sys.argv[2]
os.makedirs(work, exist_ok=True)

probe = json.loads(subprocess.run(
    ["ffprobe", "-v", "error", "-of", "json", "-show_packets", "-show_data_hash", "MD5", "-show_streams", media],
    check=True, capture_output=True, text=True).stdout)
streams = probe["streams"]
# Our track ids are unrelated to ffprobe's indexes (a TS demuxer uses PIDs).
track = {s["index"]: 256 + 16 * s["index"] for s in streams}


def frames():
    rows = []
    for p in probe["packets"]:
        t = p.get("pts_time", p.get("dts_time"))
        rows.append([p["codec_type"], track[p["stream_index"]], round(float(t) * 1000), int(p["size"]),
                     1 if "K" in p["flags"] else 0, p["data_hash"].split(":", 1)[1]])
    return rows


def info():
    lines = []
    for s in streams:
        fields = [s["codec_type"], str(track[s["index"]]), "codec_name=" + s["codec_name"]]
        for k in ("sample_rate", "channels", "width", "height"):
            if k in s:
                fields.append(f"{k}={s[k]}")
        fields.append("our_own_field=1")
        lines.append(",".join(fields))
    return lines


def write(rows, info_lines, seek_tail=True):
    dump = os.path.join(work, "dump.csv")
    with open(dump, "w") as f:
        f.write("kind,track,time_ms,size,key,md5\n")
        for r in rows:
            f.write(",".join(str(x) for x in r) + "\n")
        if seek_tail:  # what follows a seek is not compared
            f.write("seek,0,0\n")
            f.write("audio,1,0,1,1,00\n")
    inf = os.path.join(work, "info.txt")
    with open(inf, "w") as f:
        f.write("\n".join(info_lines) + "\n")
    return dump, inf


# An ffprobe that leaves every video packet but every fourth one untimed, as a
# reading without parsers leaves the packets that share a page or a PES header.
UNTIMED = os.path.join(work, "ffprobe_untimed.py")
with open(UNTIMED, "w") as f:
    f.write("""import json, subprocess, sys
j = json.loads(subprocess.run(["ffprobe"] + sys.argv[1:], check=True, capture_output=True, text=True).stdout)
n = 0
for p in j.get("packets", []):
    if p["codec_type"] == "video":
        if n % 4:
            for k in ("pts", "pts_time", "dts", "dts_time"):
                p.pop(k, None)
        n += 1
print(json.dumps(j))
""")
UNTIMED_TOOL = os.path.join(work, "ffprobe_untimed")
with open(UNTIMED_TOOL, "w") as f:
    f.write(f"#!/bin/sh\nexec {sys.executable} {UNTIMED} \"$@\"\n")
os.chmod(UNTIMED_TOOL, 0o755)
UNTIMED_ONLY = ["--ffprobe", UNTIMED_TOOL]
UNTIMED_PARSED = UNTIMED_ONLY + ["--parsed-ffprobe", "ffprobe"]


def compare(rows, info_lines, *extra):
    dump, inf = write(rows, info_lines)
    r = subprocess.run([sys.executable, os.path.join(here, "compare_ffprobe.py"), "--media", media,
                        "--dump", dump, "--info", inf] + list(extra), capture_output=True, text=True)
    return r.returncode, r.stdout


def changed(index, column, value):
    rows = frames()
    rows[index][column] = value(rows[index][column])
    return rows


def video(k):
    """The row of the K-th video frame."""
    return [n for n, r in enumerate(frames()) if r[0] == "video"][k]


def swapped(a, b):
    """The times of rows A and B exchanged."""
    rows = frames()
    rows[a][2], rows[b][2] = rows[b][2], rows[a][2]
    return rows


def only(kind, rows):
    return [r for r in rows if r[0] == kind]


def short(kind, rows, keep):
    """Keeps the first KEEP frames of the track of KIND, every frame of the others."""
    out, seen = [], 0
    for r in rows:
        if r[0] == kind:
            seen += 1
            if seen > keep:
                continue
        out.append(r)
    return out


cases = [
    ("identical", frames(), info(), [], 0),
    ("size", changed(3, 3, lambda v: v + 1), info(), [], 1),
    ("size with delta", [r[:3] + [r[3] + 12] + r[4:] for r in frames()], info(), ["--size-delta", "12", "--no-md5"], 0),
    ("md5", changed(0, 5, lambda v: "0" * 32), info(), [], 1),
    ("md5 ignored", changed(0, 5, lambda v: "0" * 32), info(), ["--no-md5"], 0),
    ("time", changed(5, 2, lambda v: v + 5), info(), [], 1),
    ("time within tolerance", changed(5, 2, lambda v: v + 5), info(), ["--time-tolerance-ms", "6"], 0),
    ("key", changed(0, 4, lambda v: 1 - v), info(), [], 1),
    ("no key flag", changed(0, 4, lambda v: -1), info(), [], 0),
    ("missing frame", frames()[:-1], info(), [], 1),
    ("info field", frames(), [l.replace("channels=", "channels=9") for l in info()], [], 1),
    # A demuxer that delivers nothing, or nothing of a stream it announces,
    # or only the start of a track, must not pass.
    ("empty dump", [], info(), [], 1),
    ("announced video missing", only("audio", frames()), info(), [], 1),
    ("announced audio missing", only("video", frames()), info(), [], 1),
    ("only the audio announced", only("audio", frames()), [l for l in info() if l.startswith("audio")],
     ["--unlisted", "video"], 0),
    ("short video track", short("video", frames(), 3), info(), [], 1),
    ("short audio track", short("audio", frames(), 1), info(), [], 1),
    ("unparsed packets", frames(), info(), ["--unparsed"], 0),
    # Untimed frames: the parsed reading's time of the same packet, else the
    # timed neighbours; a host that times them 0 or out of order is caught.
    ("untimed frames, parsed times", frames(), info(), UNTIMED_PARSED, 0),
    ("untimed frames, neighbours", frames(), info(), UNTIMED_ONLY, 0),
    ("untimed frame timed 0, parsed times", changed(video(5), 2, lambda v: 0), info(), UNTIMED_PARSED, 1),
    ("untimed frame timed 0, neighbours", changed(video(5), 2, lambda v: 0), info(), UNTIMED_ONLY, 1),
    ("untimed frame off by 3 frames, parsed times", changed(video(5), 2, lambda v: v + 120), info(), UNTIMED_PARSED, 1),
    ("untimed frames swapped, neighbours", swapped(video(5), video(6)), info(), UNTIMED_ONLY, 1),
    ("untimed frame past the next timed one", changed(video(6), 2, lambda v: v + 100), info(), UNTIMED_ONLY, 1),
    # A key flag that ffprobe does not give, on a frame that is not the first.
    ("key on a delta frame", changed(video(6), 4, lambda v: 1), info(), [], 1),
    # An info that leaves out a stream ffprobe lists fails, unless the kind is
    # one the library does not describe.
    ("info without the audio stream", frames(), [l for l in info() if not l.startswith("audio")], [], 1),
    ("empty info", frames(), [], [], 1),
    ("info without an unlisted kind", frames(), [l for l in info() if not l.startswith("audio")],
     ["--unlisted", "audio"], 0),
]
failures = 0
for name, rows, lines, extra, want in cases:
    got, out = compare(rows, lines, *extra)
    print(f"{name}: exit {got}" + (f" ({out.splitlines()[0]})" if got and out else ""))
    if got != want:
        failures += 1
        print(f"FAIL {name}: exit {got}, wanted {want}\n{out}")
sys.exit(1 if failures else 0)
