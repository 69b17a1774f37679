#!/usr/bin/env python3
"""Makes the Ogg demuxer's test media in OUT_DIR with ffmpeg (Theora, Vorbis,
FLAC, Opus, many streams, a chained file) and ogmmerge (OGM from an AVI that
ffmpeg writes). Short copies go to OUT_DIR/seeds for the mutation runs.

  make_ogg_media.py OUT_DIR
"""
import os
import shutil
import subprocess
import sys

out = sys.argv[1]
seeds = os.path.join(out, "seeds")
# Seeds an earlier version of this maker left would be fed to the fuzz target too.
shutil.rmtree(seeds, ignore_errors=True)
os.makedirs(seeds, exist_ok=True)


def ffmpeg(path, *args):
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", *args, path], check=True)


def video(size="160x120", rate=25):
    return ["-f", "lavfi", "-i", f"testsrc=size={size}:rate={rate}"]


def sine(freq, rate):
    return ["-f", "lavfi", "-i", f"sine=frequency={freq}:sample_rate={rate}"]


# Seeds are short whole files within the fuzz target's input cap, so that
# the last pages are read from the first run on; `seed` is True for a short
# copy made the same way, or the arguments of a smaller one. They are the
# same bytes every run (no random serial numbers): the faults the fuzz
# harness injects, and so what the seeds reach, follow from their bytes.
SEED_CAP = 16384
BITEXACT = ["-fflags", "+bitexact"]


def media(name, seconds, *args, seed=False):
    ffmpeg(os.path.join(out, name), *args, "-t", str(seconds))
    if seed:
        ffmpeg(os.path.join(seeds, name), *(args if seed is True else seed), *BITEXACT, "-t", "0.6")


def ogm(name, seconds, *args, seed=False):
    runs = [(out, seconds, args)]
    if seed:
        runs.append((seeds, 0.6, [*(args if seed is True else seed), *BITEXACT]))
    for folder, t, a in runs:
        avi = os.path.join(folder, name + ".avi")
        ffmpeg(avi, *a, "-t", str(t))
        subprocess.run(["ogmmerge", "-q", "-o", os.path.join(folder, name), avi], check=True,
                       stdout=subprocess.DEVNULL)
        os.remove(avi)


media("theora_vorbis2.ogg", 6, *video(), *sine(440, 44100), *sine(660, 22050), "-map", "0", "-map", "1",
      "-map", "2", "-c:v", "libtheora", "-g", "12", "-q:v", "5", "-c:a", "libvorbis",
      seed=[*video("32x24", 10), *sine(440, 8000), *sine(660, 8000), "-map", "0", "-map", "1", "-map", "2",
            "-c:v", "libtheora", "-g", "4", "-q:v", "1", "-c:a", "libvorbis"])
media("theora.ogg", 4, *video("176x144", 15), "-c:v", "libtheora", "-g", "15", "-q:v", "4")
# Theora alone, a key frame every 4 s (0, 4000, 8000 ms): a frame every
# 66.67 ms, every third one exactly on a millisecond, and a last GOP that
# seeks past the last key frame land in.
media("theora_gop.ogg", 10, "-f", "lavfi", "-i", "testsrc2=size=256x192:rate=15", "-c:v", "libtheora",
      "-g", "60")
# The same with audio, which leads its seeks: targets in the audio's last
# page put the video's probes past its last page.
media("theora_gop_vorbis.ogg", 10, "-f", "lavfi", "-i", "testsrc2=size=256x192:rate=15", *sine(440, 44100),
      "-c:v", "libtheora", "-g", "60", "-c:a", "libvorbis")
# Key frames larger than a page: packets over pages that end no packet.
media("theora_large.ogg", 2, "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25", *sine(440, 48000),
      "-c:v", "libtheora", "-b:v", "16M", "-g", "12", "-c:a", "libvorbis", "-ac", "2")
media("vorbis.ogg", 8, *sine(440, 44100), "-ac", "2", "-c:a", "libvorbis", seed=True)
media("flac.ogg", 4, *sine(440, 44100), "-c:a", "flac", seed=True)
media("opus.ogg", 2, *sine(440, 48000), "-c:a", "libopus")
ten = []
for i in range(10):
    ten += sine(200 + 50 * i, 8000)
maps = []
for i in range(10):
    maps += ["-map", str(i)]
media("ten_vorbis.ogg", 0.5, *ten, *maps, "-c:a", "libvorbis")
# Two links, the second with other serial numbers.
ffmpeg(os.path.join(out, "link1.ogg"), *sine(440, 44100), "-c:a", "libvorbis", "-t", "2")
ffmpeg(os.path.join(out, "link2.ogg"), *sine(880, 44100), "-c:a", "libvorbis", "-serial_offset", "1000",
       "-t", "2")
with open(os.path.join(out, "chained.ogg"), "wb") as f:
    for name in ("link1.ogg", "link2.ogg"):
        with open(os.path.join(out, name), "rb") as part:
            shutil.copyfileobj(part, f)
ogm("xvid_mp3.ogm", 8, *video(), *sine(440, 44100), "-c:v", "mpeg4", "-vtag", "XVID", "-g", "12",
    "-c:a", "libmp3lame", "-ac", "2",
    seed=[*video("32x24", 10), *sine(440, 8000), "-c:v", "mpeg4", "-vtag", "XVID", "-g", "4",
          "-c:a", "libmp3lame", "-b:a", "8k"])
ogm("xvid.ogm", 3, *video("176x144", 15), "-c:v", "mpeg4", "-vtag", "XVID", "-g", "10")
for name in sorted(os.listdir(seeds)):
    size = os.path.getsize(os.path.join(seeds, name))
    if size > SEED_CAP:
        raise SystemExit(f"seed {name} has {size} bytes, more than the fuzz target's {SEED_CAP}")
