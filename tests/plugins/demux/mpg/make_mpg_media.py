#!/usr/bin/env python3
"""Makes the program-stream test media.

  make_mpg_media.py OUTDIR [--big MB]

Generated with ffmpeg: one file per codec pairing the demuxer must handle
(MPEG-2 with MP2, AC-3, LPCM and DTS in DVD VOB files, MPEG-1 with MP2 in an
MPEG-1 program stream, H.264 and MPEG-4 in a program stream, two audio
streams, B-pictures, a time offset, a wrap of the presentation clock, DVD
navigation packs, ffmpeg's PAL DVD target, MPEG-1 at 60 frames/s), and the
elementary video streams that ffmpeg copies out of four of them. Sub-pictures are made with spumux from PNG
images drawn here; spu_expect.txt lists, per unit, the display times and the
visible rectangle of its image (start_ms end_ms left top width height).
seeds/ holds short, small files for the mutation run; unit_seeds/ sub-picture
units and header work buffers taken from the files made here. --big writes big.vob of
about MB megabytes for the benchmark (noisy pictures, so that the video
bytes are coded picture data rather than stuffing).
"""
import os
import shutil
import struct
import subprocess
import sys
import zlib

V = ["-f", "lavfi", "-i", "testsrc=size=320x240:rate=25"]
A = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000"]
VA = V + A + ["-t", "3", "-g", "12", "-bf", "2"]

FILES = {
    "mpeg2_mp2.vob": VA + ["-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob"],
    "mpeg2_ac3.vob": VA + ["-c:v", "mpeg2video", "-c:a", "ac3", "-ac", "2", "-f", "vob"],
    "mpeg2_lpcm.vob": VA + ["-c:v", "mpeg2video", "-c:a", "pcm_s16be", "-ac", "2", "-f", "vob"],
    "mpeg2_dts.vob": VA + ["-c:v", "mpeg2video", "-c:a", "dca", "-strict", "-2", "-f", "vob"],
    "mpeg1_mp2.mpg": VA + ["-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"],
    "h264_mp2.vob": VA + ["-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "mp2", "-f", "vob"],
    "mpeg4_mp2.vob": VA + ["-c:v", "mpeg4", "-c:a", "mp2", "-f", "vob"],
    "two_audio.vob": V + A + ["-f", "lavfi", "-i", "sine=frequency=880:sample_rate=48000", "-t", "3",
                              "-map", "0:v", "-map", "1:a", "-map", "2:a", "-g", "12", "-c:v", "mpeg2video",
                              "-c:a:0", "ac3", "-c:a:1", "mp2", "-f", "vob"],
    "offset.vob": VA + ["-c:v", "mpeg2video", "-c:a", "mp2", "-output_ts_offset", "30", "-f", "vob"],
    # Its 33-bit presentation clock wraps 3.7 s in (2^33 ticks are 95443.7 s).
    "wrap.vob": V + A + ["-t", "8", "-g", "12", "-bf", "2", "-c:v", "mpeg2video", "-c:a", "mp2",
                         "-output_ts_offset", "95440", "-f", "vob"],
    "video_only.mpg": V + ["-t", "2", "-g", "12", "-c:v", "mpeg2video", "-f", "vob"],
    # The DVD muxer writes a navigation pack (PCI and DSI) before every GOP.
    "dvd_nav.vob": VA + ["-c:v", "mpeg2video", "-c:a", "ac3", "-ac", "2", "-f", "dvd"],
    # A PAL DVD file as ffmpeg's DVD target writes it (720x576, GOPs of 15
    # pictures), and MPEG-1 at 60 frames/s. Packets run ahead of their times,
    # so the share of the file that a seek estimates for a time in the last
    # GOP lies past the last key frame.
    "pal_dvd.vob": V + A + ["-t", "3", "-target", "pal-dvd"],
    "mpeg1_60fps.mpg": ["-f", "lavfi", "-i", "testsrc=size=320x240:rate=60"] + A +
                       ["-t", "3", "-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"],
}

# Seeds for the mutation and fuzz runs: whole files within the fuzz target's
# 8 KiB input cap, so their last pack is read from the first run on.
SEED_CAP = 8192
SEED_V = ["-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=0.24"]
SEED_OUT = ["-g", "6", "-q:v", "20"]
SEEDS = {
    "seed_ac3.vob": SEED_V + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=0.24"] + SEED_OUT +
                    ["-bf", "2", "-c:v", "mpeg2video", "-c:a", "ac3", "-b:a", "64k", "-f", "vob"],
    "seed_mpeg1.mpg": SEED_V + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=32000:duration=0.24"] +
                      SEED_OUT + ["-c:v", "mpeg1video", "-c:a", "mp2", "-b:a", "32k", "-f", "mpeg"],
    "seed_h264.vob": SEED_V + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=0.03"] +
                     SEED_OUT + ["-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", "40", "-c:a", "pcm_s16be",
                                 "-ac", "1", "-f", "vob"],
}


def ffmpeg(out, args):
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "fatal", "-y"] + args + [out], check=True)


def png(path, w, h, pixels):
    """An RGBA PNG; `pixels` is a bytearray of w*h*4 bytes."""
    raw = b"".join(b"\x00" + bytes(pixels[y * w * 4:(y + 1) * w * 4]) for y in range(h))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def image(w, h, inside):
    """Pixels where inside(x, y) is opaque red, the rest transparent; the
    visible rectangle (left, top, width, height)."""
    px = bytearray(w * h * 4)
    xs, ys = [], []
    for y in range(h):
        for x in range(w):
            if inside(x, y):
                px[(y * w + x) * 4:(y * w + x) * 4 + 4] = b"\xff\x00\x00\xff"
                xs.append(x)
                ys.append(y)
    return px, (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)


# Sub-pictures: a small box (one PES), a striped field whose unit spans many
# PES packets, and a box near the bottom right.
SPUS = [
    ("box.png", 500, 1200, lambda x, y: 200 <= x <= 300 and 100 <= y <= 120),
    ("stripes.png", 1600, 2400, lambda x, y: 40 <= x < 680 and 40 <= y < 440 and ((x + y) // 8) % 2 == 0),
    ("corner.png", 2800, 3300, lambda x, y: 600 <= x <= 650 and 400 <= y <= 461),
]


def make_subpictures(out, seeds):
    base = os.path.join(out, "spu_base.mpg")
    ffmpeg(base, ["-f", "lavfi", "-i", "testsrc=size=720x480:rate=25", "-f", "lavfi", "-i",
                  "sine=frequency=440:sample_rate=48000", "-t", "4", "-g", "12", "-c:v", "mpeg2video",
                  "-c:a", "ac3", "-f", "dvd"])
    lines = []
    for name, start, end, inside in SPUS:
        px, (left, top, width, height) = image(720, 480, inside)
        png(os.path.join(out, name), 720, 480, px)
        lines.append(f"{start} {end} {left} {top} {width} {height}")
    # spumux reads times as hh:mm:ss.cc.
    xml = ["<subpictures><stream>"] + [
        f'<spu start="{t(s)}" end="{t(e)}" image="{os.path.join(out, n)}"/>' for n, s, e, _ in SPUS] + [
        "</stream></subpictures>"]
    with open(os.path.join(out, "subs.xml"), "w") as f:
        f.write("\n".join(xml) + "\n")
    with open(base, "rb") as src, open(os.path.join(out, "subpictures.vob"), "wb") as dst:
        subprocess.run(["spumux", "-s", "0", os.path.join(out, "subs.xml")], stdin=src, stdout=dst,
                       stderr=subprocess.DEVNULL, check=True)
    with open(os.path.join(out, "spu_expect.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    os.unlink(base)
    # A short seed with one sub-picture.
    seed_base = os.path.join(out, "seed_base.mpg")
    ffmpeg(seed_base, ["-f", "lavfi", "-i", "testsrc=size=720x480:rate=25", "-t", "0.6", "-g", "6",
                       "-c:v", "mpeg2video", "-b:v", "200k", "-f", "dvd"])
    with open(os.path.join(out, "seed.xml"), "w") as f:
        f.write(f'<subpictures><stream><spu start="00:00:00.10" end="00:00:00.40" '
                f'image="{os.path.join(out, "box.png")}"/></stream></subpictures>\n')
    spu = subprocess.run(["spumux", "-s", "0", os.path.join(out, "seed.xml")], stdin=open(seed_base, "rb"),
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True).stdout
    os.unlink(seed_base)
    # Within the fuzz target's input cap: the first pack, the one with the
    # sequence header and those of the sub-picture, dropping the other video.
    packs = [spu[i:i + 2048] for i in range(0, len(spu), 2048)]
    header = next(i for i, p in enumerate(packs) if b"\x00\x00\x01\xb3" in p)
    kept = b"".join(p for i, p in enumerate(packs) if i in (0, header) or b"\x00\x00\x01\xbd" in p)
    with open(os.path.join(seeds, "seed_spu.vob"), "wb") as dst:
        dst.write(kept)


def pes_payloads(data, stream_id, sub_id=None):
    """(PTS present, payload) of every PES of `stream_id` in an MPEG-2 program
    stream; for private stream 1 the payload after the sub-stream id."""
    out = []
    i = data.find(b"\x00\x00\x01\xba")
    while 0 <= i < len(data) - 6:
        code = data[i + 3]
        if code == 0xBA:
            i += 14 + (data[i + 13] & 7)
            continue
        if data[i:i + 3] != b"\x00\x00\x01" or code < 0xBB:
            i = data.find(b"\x00\x00\x01", i + 1)
            continue
        length = data[i + 4] << 8 | data[i + 5]
        body = data[i + 6:i + 6 + length]
        if code == stream_id and code != 0xBE and code != 0xBF:
            payload = body[3 + body[2]:]
            if sub_id is None:
                out.append((bool(body[1] & 0x80), payload))
            elif payload and payload[0] == sub_id:
                out.append((bool(body[1] & 0x80), payload[1:]))
        i += 6 + length
    return out


def make_unit_seeds(out, seeds):
    """Sub-picture units of spumux's file, and the header work buffers of the
    generated files, for the sub-picture and header fuzz targets."""
    units_dir = os.path.join(seeds, "units")
    os.makedirs(units_dir, exist_ok=True)
    with open(os.path.join(out, "subpictures.vob"), "rb") as f:
        packets = pes_payloads(f.read(), 0xBD, 0x20)
    units, current = [], b""
    for starts, payload in packets:
        if starts and current:
            units.append(current)
            current = b""
        current += payload
    units.append(current)
    for n, unit in enumerate(u for u in units if len(u) < 8192):
        with open(os.path.join(units_dir, f"unit{n}.bin"), "wb") as f:
            f.write(unit)
    headers_dir = os.path.join(seeds, "headers")
    os.makedirs(headers_dir, exist_ok=True)
    wanted = [("mpeg2_mp2.vob", b"\x00\x00\x01\xb3"), ("h264_mp2.vob", b"\x00\x00\x01\x67"),
              ("mpeg4_mp2.vob", b"\x00\x00\x01\xb0"), ("mpeg2_mp2.vob", b"\xff\xfd"),
              ("mpeg2_ac3.vob", b"\x0b\x77"), ("mpeg2_dts.vob", b"\x7f\xfe\x80\x01"),
              ("mpeg2_lpcm.vob", b"\x00\x00\x01\xbd")]
    for n, (name, code) in enumerate(wanted):
        with open(os.path.join(out, name), "rb") as f:
            data = f.read()
        at = data.find(code)
        if code == b"\x00\x00\x01\xbd":
            at += 9 + data[at + 8]  # the LPCM sub-stream id and its header
        with open(os.path.join(headers_dir, f"header{n}.bin"), "wb") as f:
            f.write(data[at:at + 104])


def t(ms):
    return f"00:00:{ms // 1000:02d}.{ms % 1000 // 10:02d}"


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    if len(sys.argv) == 4 and sys.argv[2] == "--big":
        seconds = max(1, int(sys.argv[3]) * 10 // 11)  # about 7.4 Mbit/s in all
        ffmpeg(os.path.join(out, "big.vob"),
               ["-f", "lavfi", "-i", "testsrc2=size=720x576:rate=25,noise=alls=12:allf=t", "-f", "lavfi",
                "-i", "sine=frequency=440:sample_rate=48000", "-t", str(seconds), "-g", "12", "-bf", "2",
                "-c:v", "mpeg2video", "-b:v", "7M", "-maxrate", "9M", "-bufsize", "1835k",
                "-c:a", "ac3", "-b:a", "192k", "-f", "vob"])
        return 0
    for name, args in FILES.items():
        ffmpeg(os.path.join(out, name), args)
    # The elementary video streams as ffmpeg copies them out.
    for source, es, fmt in (("mpeg2_mp2.vob", "mpeg2_mp2.m2v", "mpeg2video"),
                            ("mpeg1_mp2.mpg", "mpeg1_mp2.m1v", "mpeg1video"),
                            ("mpeg4_mp2.vob", "mpeg4_mp2.m4v", "m4v"),
                            ("h264_mp2.vob", "h264_mp2.h264", "h264")):
        ffmpeg(os.path.join(out, es), ["-i", os.path.join(out, source), "-map", "0:v", "-c", "copy", "-f", fmt])
    seeds = os.path.join(out, "seeds")
    # Seeds an earlier version of this maker left would be fed to the fuzz target too.
    shutil.rmtree(seeds, ignore_errors=True)
    os.makedirs(seeds, exist_ok=True)
    for name, args in SEEDS.items():
        ffmpeg(os.path.join(seeds, name), args)
    make_subpictures(out, seeds)
    for name in sorted(os.listdir(seeds)):
        size = os.path.getsize(os.path.join(seeds, name))
        if size > SEED_CAP:
            raise SystemExit(f"seed {name} has {size} bytes, more than the fuzz target's {SEED_CAP}")
    make_unit_seeds(out, os.path.join(out, "unit_seeds"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
