#!/usr/bin/env python3
"""Makes the MP4 demuxer's test media with ffmpeg, plus what ffmpeg cannot
write directly:

  make_mp4_media.py OUTDIR

- h264_aac.mp4: H.264 with B-frames and AAC, with title, artist, album,
  genre, track and date; h264_aac_faststart.mp4 the same with the movie box first
- frag.mp4 (frag_keyframe+empty_moov) and frag_base.mp4 (+default_base_moof)
- frag_moov.mp4: fragmented with the first samples in the movie box itself
- frag_interleave.mp4: fragments whose "traf" boxes hold several "trun" boxes
- ntsc.mp4 and frag_ntsc.mp4 (frag_keyframe+empty_moov): 30000/1001 frames a
  second with a key frame every 24, so that key frames lie between whole
  milliseconds (800.8 ms, 1601.6 ms, ...)
- intra.mp4: MPEG-4 video of intra frames only and AAC: no sync-sample
  table, so every sample is a sync sample
- text.mp4: H.264, AAC and a 3GPP timed-text track (English)
- pcm.mov: 16-bit PCM in MOV (read per chunk)
- amr.3gp: H.263 with AMR-NB in 3GP; the AMR frames are made here (ffmpeg has
  no AMR encoder) and muxed by ffmpeg
- co64.mp4: h264_aac.mp4 rewritten by `co64` (below): chunk offsets in "co64"
  and the "mdat" header with a 64-bit size
- seeds/: small files for the mutation test
"""
import os
import shutil
import random
import struct
import subprocess
import sys


def ffmpeg(*args):
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"] + list(args), check=True)


def boxes(data, start, end):
    """Yields (type, box start, header length, box end) of the boxes in data[start:end]."""
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        header = 8
        if size == 1:
            size = struct.unpack(">Q", data[pos + 8:pos + 16])[0]
            header = 16
        elif size == 0:
            size = end - pos
        if size < header:
            return
        yield kind, pos, header, pos + size
        pos += size


CONTAINERS = {b"moov", b"trak", b"mdia", b"minf", b"stbl"}


def rebuild(data, start, end, shift):
    """The boxes of data[start:end] with "stco" made "co64" and every chunk
    offset moved by `shift`."""
    out = b""
    for kind, pos, header, stop in boxes(data, start, end):
        if kind in CONTAINERS:
            body = rebuild(data, pos + header, stop, shift)
            out += struct.pack(">I4s", 8 + len(body), kind) + body
        elif kind == b"stco":
            vf, count = struct.unpack(">II", data[pos + 8:pos + 16])
            offsets = struct.unpack(">%dI" % count, data[pos + 16:pos + 16 + 4 * count])
            body = struct.pack(">II", vf, count) + b"".join(struct.pack(">Q", o + shift) for o in offsets)
            out += struct.pack(">I4s", 8 + len(body), b"co64") + body
        else:
            out += data[pos:stop]
    return out


def co64(src, dst):
    """Rewrites a file whose movie box follows its media data: "stco" becomes
    "co64" and the "mdat" header takes the 64-bit size form (8 bytes longer,
    so every chunk offset moves by 8)."""
    data = open(src, "rb").read()
    out = b""
    for kind, pos, header, stop in boxes(data, 0, len(data)):
        if kind == b"mdat":
            payload = data[pos + header:stop]
            out += struct.pack(">I4sQ", 1, b"mdat", 16 + len(payload)) + payload
        elif kind == b"moov":
            body = rebuild(data, pos + 8, stop, 8)
            out += struct.pack(">I4s", 8 + len(body), b"moov") + body
        else:
            out += data[pos:stop]
    open(dst, "wb").write(out)


# AMR-NB storage format: frame type in bits 3-6 of the header byte and the
# frame's size in bytes including that byte.
AMR_SIZES = {0: 13, 1: 14, 2: 16, 3: 18, 4: 20, 5: 21, 6: 27, 7: 32}


def amr_file(path, frames):
    rng = random.Random(7)
    out = bytearray(b"#!AMR\n")
    for n in range(frames):
        mode = 7 if n % 10 else 4
        out.append((mode << 3) | 0x04)
        out += bytes(rng.randrange(256) for _ in range(AMR_SIZES[mode] - 1))
    open(path, "wb").write(bytes(out))


# The fuzz target's input cap (MAX_LEN in CMakeLists.txt).
SEED_CAP = 16384


def main():
    out = sys.argv[1]
    # Seeds an earlier version of this maker left would be fed to the fuzz target too.
    shutil.rmtree(os.path.join(out, "seeds"), ignore_errors=True)
    os.makedirs(os.path.join(out, "seeds"), exist_ok=True)
    p = lambda name: os.path.join(out, name)
    video = ["-f", "lavfi", "-i", "testsrc=size=320x240:rate=25"]
    tone = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000"]
    meta = ["-metadata", "title=A Title", "-metadata", "artist=Some Artist", "-metadata", "album=The Album",
            "-metadata", "genre=Jazz", "-metadata", "track=3/12", "-metadata", "date=2020"]
    h264 = ["-c:v", "libx264", "-preset", "veryfast", "-bf", "2", "-g", "25", "-pix_fmt", "yuv420p"]
    ffmpeg(*video, *tone, "-t", "8", *h264, "-c:a", "aac", "-b:a", "64k", *meta, p("h264_aac.mp4"))
    ffmpeg("-i", p("h264_aac.mp4"), "-c", "copy", "-movflags", "+faststart", p("h264_aac_faststart.mp4"))
    ffmpeg(*video, *tone, "-t", "6", *h264, "-c:a", "aac", "-movflags", "frag_keyframe+empty_moov", p("frag.mp4"))
    ffmpeg(*video, *tone, "-t", "6", *h264, "-c:a", "aac", "-movflags", "frag_keyframe+empty_moov+default_base_moof",
           p("frag_base.mp4"))
    # The movie box holds the first fragment's samples (no empty_moov).
    ffmpeg(*video, *tone, "-t", "6", *h264, "-c:a", "aac", "-movflags", "+faststart+frag_keyframe", p("frag_moov.mp4"))
    # One "trun" per run of samples, several to a "traf".
    ffmpeg(*video, *tone, "-t", "4", *h264, "-c:a", "aac", "-movflags", "frag_keyframe+empty_moov",
           "-frag_interleave", "1", p("frag_interleave.mp4"))
    ntsc = ["-f", "lavfi", "-i", "testsrc=size=160x120:rate=30000/1001", *tone, "-t", "5", *h264, "-g", "24",
            "-c:a", "aac"]
    ffmpeg(*ntsc, p("ntsc.mp4"))
    ffmpeg(*ntsc, "-movflags", "frag_keyframe+empty_moov", p("frag_ntsc.mp4"))
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", *tone, "-t", "3", "-c:v", "mpeg4", "-g", "1",
           "-c:a", "aac", p("intra.mp4"))
    with open(p("text.srt"), "w") as f:
        f.write("1\n00:00:00,500 --> 00:00:01,500\nHello\n\n2\n00:00:02,000 --> 00:00:03,000\nWorld\n")
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", *tone, "-i", p("text.srt"), "-t", "4", *h264,
           "-c:a", "aac", "-c:s", "mov_text", "-metadata:s:s:0", "language=eng", p("text.mp4"))
    os.remove(p("text.srt"))
    ffmpeg(*tone, "-t", "3", "-ac", "2", "-c:a", "pcm_s16le", p("pcm.mov"))
    amr_file(p("tone.amr"), 250)
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=176x144:rate=10", "-i", p("tone.amr"), "-t", "5",
           "-c:v", "h263", "-g", "10", "-c:a", "copy", p("amr.3gp"))
    os.remove(p("tone.amr"))
    co64(p("h264_aac.mp4"), p("co64.mp4"))
    # Seeds: one second of each shape, small enough that every seed is a
    # whole file within the fuzz target's input cap (SEED_CAP): the movie box
    # after the media data and the last fragments are read from the first run.
    s_video = ["-f", "lavfi", "-i", "testsrc=size=64x48:rate=10"]
    s_tone = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=8000"]
    small = ["-t", "1"]
    s_h264 = h264 + ["-g", "5"]
    s_aac = ["-c:a", "aac", "-b:a", "12k", "-ac", "1"]
    ffmpeg(*s_video, *s_tone, *small, *s_h264, *s_aac, *meta, p("seeds/plain.mp4"))
    ffmpeg(*s_video, *s_tone, *small, *s_h264, *s_aac, "-movflags", "frag_keyframe+empty_moov", p("seeds/frag.mp4"))
    ffmpeg(*s_tone, "-t", "0.3", "-ac", "2", "-c:a", "pcm_s16le", p("seeds/pcm.mov"))
    co64(p("seeds/plain.mp4"), p("seeds/co64.mp4"))
    ffmpeg("-i", p("seeds/plain.mp4"), "-c", "copy", "-movflags", "+faststart", p("seeds/faststart.mp4"))
    ffmpeg(*s_video, *s_tone, *small, *s_h264, *s_aac, "-movflags", "frag_keyframe+empty_moov+default_base_moof",
           p("seeds/frag_base.mp4"))
    # Samples in the movie box and in fragments with several "trun" boxes.
    ffmpeg(*s_video, *s_tone, *small, *s_h264, "-g", "3", *s_aac, "-movflags", "+frag_keyframe",
           "-frag_interleave", "1", p("seeds/frag_moov.mp4"))
    amr_file(p("seeds/tone.amr"), 50)
    ffmpeg("-f", "lavfi", "-i", "testsrc=size=64x48:rate=5", "-i", p("seeds/tone.amr"), "-t", "1",
           "-c:v", "h263", "-s", "128x96", "-c:a", "copy", p("seeds/amr.3gp"))
    os.remove(p("seeds/tone.amr"))
    for name in sorted(os.listdir(p("seeds"))):
        size = os.path.getsize(p("seeds/" + name))
        if size > SEED_CAP:
            raise SystemExit(f"seed {name} has {size} bytes, more than the fuzz target's {SEED_CAP}")


if __name__ == "__main__":
    main()
