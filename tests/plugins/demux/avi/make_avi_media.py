#!/usr/bin/env python3
"""Makes the AVI test media into OUTDIR.

  make_avi_media.py OUTDIR            ffmpeg files and the hand-built files
  make_avi_media.py --large OUTDIR    an OpenDML file over 1 GiB made by ffmpeg
                                      and a truncated copy (skipped, exit 0,
                                      when the disk is short)

The hand-built files are written by the small RIFF writer below: what
ffmpeg does not write (absolute idx1 offsets, "LIST rec ", garbage inside
movi, a 16-byte PCMWAVEFORMAT, WAVE_FORMAT_EXTENSIBLE, OpenDML super and
standard indexes with an AVIX part, a DivX tag, broken chunk sizes).
Their video frames are real MJPEG pictures taken from an ffmpeg file, so
ffprobe reads them too. seeds/ receives small whole files of the same
shapes for the mutation run and the fuzz target.
"""
import os
import shutil
import struct
import subprocess
import sys

FFMPEG = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"]


def ffmpeg(out, *args):
    subprocess.run(FFMPEG + list(args) + [out], check=True)


def make_ffmpeg_files(d):
    src = ["-f", "lavfi", "-i", "testsrc=size=176x144:rate=25", "-f", "lavfi"]
    ffmpeg(os.path.join(d, "mpeg4_mp3.avi"), *src, "-i", "sine=frequency=440:sample_rate=44100", "-t", "6",
           "-c:v", "mpeg4", "-bf", "2", "-g", "12", "-c:a", "libmp3lame", "-b:a", "64k")
    ffmpeg(os.path.join(d, "h264_ac3.avi"), *src, "-i", "sine=frequency=440:sample_rate=48000", "-t", "6",
           "-c:v", "libx264", "-g", "25", "-c:a", "ac3", "-b:a", "96k")
    ffmpeg(os.path.join(d, "mjpeg_pcm.avi"), "-f", "lavfi", "-i", "testsrc=size=96x64:rate=15", "-f", "lavfi",
           "-i", "sine=frequency=440:sample_rate=22050", "-t", "6", "-c:v", "mjpeg", "-q:v", "8",
           "-c:a", "pcm_s16le")
    # 30000/1001 frames a second: most frames, key frames among them, lie
    # between whole milliseconds.
    ffmpeg(os.path.join(d, "mpeg4_ntsc.avi"), "-f", "lavfi", "-i", "testsrc=size=96x64:rate=30000/1001", "-f", "lavfi",
           "-i", "sine=frequency=440:sample_rate=44100", "-t", "5", "-c:v", "mpeg4", "-g", "24",
           "-c:a", "libmp3lame", "-b:a", "64k")
    ffmpeg(os.path.join(d, "mpeg4_only.avi"), "-f", "lavfi", "-i", "testsrc=size=96x64:rate=25", "-t", "6",
           "-c:v", "mpeg4", "-g", "10")
    # Audio that ends half-way through a second.
    ffmpeg(os.path.join(d, "mjpeg_pcm_5500ms.avi"), "-f", "lavfi", "-i", "testsrc=size=96x64:rate=10", "-f", "lavfi",
           "-i", "sine=frequency=440:sample_rate=22050", "-t", "5.5", "-c:v", "mjpeg", "-q:v", "8",
           "-c:a", "pcm_s16le")
    # Variable-bit-rate MP3: neighbouring chunks differ in size.
    ffmpeg(os.path.join(d, "mjpeg_vbr_mp3.avi"), "-f", "lavfi", "-i", "testsrc=size=96x64:rate=10", "-f", "lavfi",
           "-i", "anoisesrc=sample_rate=44100:amplitude=0.3,volume='0.2+0.8*mod(t,1)':eval=frame", "-t", "2",
           "-c:v", "mjpeg", "-q:v", "8", "-c:a", "libmp3lame", "-q:a", "4")


# ---- a small RIFF writer ----

def chunk(fourcc, data):
    pad = b"\0" if len(data) & 1 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def lst(form, body):
    return b"LIST" + struct.pack("<I", len(body) + 4) + form + body


def fourcc_of(n, kind):
    return b"%02d" % n + kind


def read_chunks(path, ident):
    """The payloads of every `ident` chunk of an AVI file, in order."""
    data = open(path, "rb").read()
    movi = data.find(b"movi") + 4
    out = []
    p = movi
    while p + 8 <= len(data):
        cid, size = data[p:p + 4], struct.unpack("<I", data[p + 4:p + 8])[0]
        if cid == b"idx1":
            break
        if cid == b"LIST":
            p += 12
            continue
        if cid == ident and size:
            out.append(data[p + 8:p + 8 + size])
        p += 8 + size + (size & 1)
    return out


class Avi:
    """Two streams, video 00dc (MJPEG, 10 fps) and audio 01wb (PCM)."""

    def __init__(self, frames, audio, rate=10, width=96, height=64, audio_fmt=None, handler=b"MJPG",
                 compression=b"MJPG", sample_rate=8000, strh_size=56, audio_rate=None, scale=1):
        self.frames, self.audio = frames, audio
        # Frames last scale / rate seconds.
        self.scale = scale
        # (dwScale, dwRate, dwSampleSize) of the audio; PCM by default.
        self.audio_rate = audio_rate or (2, sample_rate * 2, 2)
        self.rate, self.width, self.height = rate, width, height
        self.sample_rate = sample_rate
        self.audio_fmt = audio_fmt if audio_fmt is not None else \
            struct.pack("<HHIIHHH", 1, 1, sample_rate, sample_rate * 2, 2, 16, 0)
        self.handler, self.compression, self.strh_size = handler, compression, strh_size

    def strh(self, kind, handler, scale, rate, length, size, sample_size):
        body = kind + handler + struct.pack("<IHHIIIIIIII", 0, 0, 0, 0, scale, rate, 0, length, size, 0xFFFFFFFF,
                                            sample_size) + struct.pack("<hhhh", 0, 0, self.width, self.height)
        return chunk(b"strh", body[:self.strh_size])

    def header(self, extra_video=b"", extra_audio=b"", streams=2, avih_flags=0x10):
        bmp = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, struct.unpack("<I", self.compression)[0],
                          self.width * self.height * 3, 0, 0, 0, 0)
        vstrl = lst(b"strl", self.strh(b"vids", self.handler, self.scale, self.rate, len(self.frames), 65536, 0) +
                    chunk(b"strf", bmp) + extra_video)
        astrl = b""
        if streams > 1:
            scale, rate, sample_size = self.audio_rate
            length = sum(len(a) for a in self.audio) // sample_size if sample_size else len(self.audio)
            astrl = lst(b"strl", self.strh(b"auds", b"\0\0\0\0", scale, rate, length, 8192, sample_size) +
                        chunk(b"strf", self.audio_fmt) + extra_audio)
        avih = struct.pack("<IIIIIIIIII", 1000000 * self.scale // self.rate, 0, 0, avih_flags, len(self.frames), 0, streams,
                           65536, self.width, self.height) + b"\0" * 16
        return lst(b"hdrl", chunk(b"avih", avih) + vstrl + astrl)

    def interleave(self):
        """(id, data, key) in file order: one audio chunk after each frame."""
        out = []
        for i, f in enumerate(self.frames):
            out.append((b"00dc", f, i % 5 == 0))
            if i < len(self.audio):
                out.append((b"01wb", self.audio[i], True))
        for a in self.audio[len(self.frames):]:
            out.append((b"01wb", a, True))
        return out


def write_idx1_avi(path, avi, absolute=False, rec=False, garbage=None, bad_size=None, info_list=False, kvrh=False,
                   leading=b"", streams=2, with_idx1=True, dd_chunk=False):
    """An AVI with one RIFF and an idx1 index (relative or absolute)."""
    hdrl = avi.header(streams=streams)
    riff_head = leading + b"RIFF" + b"\0\0\0\0" + b"AVI "
    pre = hdrl + (chunk(b"kvrh", b"\1\2\3\4") if kvrh else b"") + chunk(b"JUNK", b"\0" * 100)
    movi_start = len(riff_head) + len(pre) + 12  # after LIST size movi
    body = b""
    entries = []
    items = avi.interleave() if streams > 1 else [(b"00dc", f, i % 5 == 0) for i, f in enumerate(avi.frames)]
    for n, (cid, data, key) in enumerate(items):
        if rec and n % 4 == 0:
            group = items[n:n + 4]
            inner = b"".join(chunk(c, d) for c, d, _ in group)
            body += b"LIST" + struct.pack("<I", len(inner) + 4) + b"rec "
        if garbage is not None and n == garbage[0]:
            body += garbage[1]
        if info_list and n == 3:
            body += lst(b"INFO", chunk(b"ISFT", b"hand\0"))
        if dd_chunk and n == 2:
            body += chunk(b"00dd", b"\0" * 10)
        offset = movi_start + len(body)
        c = chunk(cid, data)
        if bad_size is not None and n == bad_size:
            c = c[:4] + struct.pack("<I", len(data) + 6) + c[8:]
        body += c
        rel = offset - (movi_start - 4)
        entries.append(struct.pack("<4sIII", cid, 0x10 if key else 0, offset if absolute else rel, len(data)))
    if rec:
        # rebuild: group LIST rec around every four chunks (simple form)
        body = b""
        entries = []
        for g in range(0, len(items), 4):
            group = items[g:g + 4]
            body += b"LIST" + struct.pack("<I", 4 + sum(8 + len(d) + (len(d) & 1) for _, d, _ in group)) + b"rec "
            for cid, data, key in group:
                offset = movi_start + len(body)
                body += chunk(cid, data)
                entries.append(struct.pack("<4sIII", cid, 0x10 if key else 0, offset - (movi_start - 4), len(data)))
    movi = b"LIST" + struct.pack("<I", len(body) + 4) + b"movi" + body
    idx1 = chunk(b"idx1", b"".join(entries)) if with_idx1 else b""
    riff_body = pre + movi + idx1
    data = leading + b"RIFF" + struct.pack("<I", len(riff_body) + 4) + b"AVI " + riff_body
    open(path, "wb").write(data)


def write_odml_avi(path, avi, parts=2, truncate=None, fields=False):
    """An OpenDML file: super indexes in the stream lists, one standard index
    per stream and RIFF part, the second part in "RIFF AVIX"; no idx1."""
    items = avi.interleave()
    per_part = (len(items) + parts - 1) // parts
    groups = [items[i:i + per_part] for i in range(0, len(items), per_part)]
    # Super index placeholders of a fixed size so positions can be patched.
    def super_index(cid, entries):
        body = struct.pack("<HBBI4s", 4, 0, 0, len(entries), cid) + b"\0" * 12
        for off, size, dur in entries:
            body += struct.pack("<QII", off, size, dur)
        body += b"\0" * (16 * (parts - len(entries)))
        return chunk(b"indx", body)

    def build(vsup, asup):
        hdrl = avi.header(extra_video=super_index(b"00dc", vsup), extra_audio=super_index(b"01wb", asup))
        out = bytearray()
        out += b"RIFF\0\0\0\0AVI " + hdrl + lst(b"odml", chunk(b"dmlh", struct.pack("<I", len(avi.frames))))
        vsup2, asup2 = [], []
        first_riff = True
        for gi, group in enumerate(groups):
            if not first_riff:
                riff_at = len(out)
                out += b"RIFF\0\0\0\0AVIX"
            movi_at = len(out)
            out += b"LIST\0\0\0\0movi"
            vent, aent = [], []
            for cid, data, key in group:
                at = len(out)
                out += chunk(cid, data)
                (vent if cid == b"00dc" else aent).append((at + 8, len(data), key))
            for cid, ents, sup in ((b"00dc", vent, vsup2), (b"01wb", aent, asup2)):
                base = movi_at
                # Field indexes (sub-type 1) carry a third word per entry.
                field = fields and cid == b"00dc"
                ix = struct.pack("<HBBI4sQI", 3 if field else 2, 1 if field else 0, 1, len(ents), cid, base, 0)
                for at, size, key in ents:
                    ix += struct.pack("<II", at - base, size | (0 if key else 0x80000000))
                    if field:
                        ix += struct.pack("<I", at - base + size // 2)
                ixid = b"ix" + cid[:2]
                sup.append((len(out), len(ix) + 8, len(ents)))
                out += chunk(ixid, ix)
            struct.pack_into("<I", out, movi_at + 4, len(out) - movi_at - 8)
            if first_riff:
                struct.pack_into("<I", out, 4, len(out) - 8)
                first_riff = False
            else:
                struct.pack_into("<I", out, riff_at + 4, len(out) - riff_at - 8)
        return bytes(out), vsup2, asup2

    blank = [(0, 0, 0)] * parts
    _, vsup, asup = build(blank, blank)
    data, vsup2, asup2 = build(vsup, asup)
    assert vsup2 == vsup and asup2 == asup
    if truncate is not None:
        data = data[:int(len(data) * truncate)]
    open(path, "wb").write(data)


def make_hand_built(d, media):
    frames = read_chunks(os.path.join(media, "mjpeg_pcm.avi"), b"00dc")[:40]
    audio = [bytes((i * 7 + j) & 0xFF for j in range(1600)) for i in range(40)]
    avi = Avi(frames, audio)
    write_idx1_avi(os.path.join(d, "idx1_relative.avi"), avi)
    write_idx1_avi(os.path.join(d, "idx1_absolute.avi"), avi, absolute=True)
    write_idx1_avi(os.path.join(d, "rec_lists.avi"), avi, rec=True)
    write_idx1_avi(os.path.join(d, "garbage_in_movi.avi"), avi, garbage=(9, b"\x55" * 3001), info_list=True)
    write_idx1_avi(os.path.join(d, "dd_chunk.avi"), avi, dd_chunk=True)
    write_idx1_avi(os.path.join(d, "no_index_garbage.avi"), avi, garbage=(9, b"\x55" * 3001), with_idx1=False)
    write_idx1_avi(os.path.join(d, "no_index.avi"), avi, with_idx1=False)
    write_idx1_avi(os.path.join(d, "bad_chunk_size.avi"), avi, bad_size=6)
    write_idx1_avi(os.path.join(d, "leading_garbage.avi"), avi, leading=b"\x11" * 100, kvrh=True)
    write_idx1_avi(os.path.join(d, "leading_garbage_2000.avi"), avi, leading=b"\x11" * 2000)
    pcm16 = Avi(frames, audio, audio_fmt=struct.pack("<HHIIHH", 1, 1, 8000, 16000, 2, 16))
    write_idx1_avi(os.path.join(d, "pcmwaveformat16.avi"), pcm16)
    guid = struct.pack("<I", 1) + b"\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71"
    ext = struct.pack("<HHIIHHH", 0xFFFE, 1, 8000, 16000, 2, 16, 22) + struct.pack("<HI", 16, 4) + guid
    write_idx1_avi(os.path.join(d, "extensible.avi"), Avi(frames, audio, audio_fmt=ext))
    write_idx1_avi(os.path.join(d, "divx.avi"), Avi(frames, audio, handler=b"divx", compression=b"DIVX"))
    write_idx1_avi(os.path.join(d, "short_strh.avi"), Avi(frames, audio, strh_size=48))
    write_odml_avi(os.path.join(d, "odml.avi"), avi)
    # The same frames at 30000/1001 a second (key frames at 166.8 ms,
    # 333.7 ms, ...) with audio chunks of about a frame's length.
    ntsc = Avi(frames, [a[:534] for a in audio], rate=30000, scale=1001)
    write_odml_avi(os.path.join(d, "odml_ntsc.avi"), ntsc)
    write_idx1_avi(os.path.join(d, "no_index_ntsc.avi"), ntsc, with_idx1=False)
    write_odml_avi(os.path.join(d, "odml_truncated.avi"), avi, parts=3, truncate=0.8)
    write_odml_avi(os.path.join(d, "odml_fields.avi"), avi, parts=3, fields=True)
    # ffmpeg writes an empty audio chunk where a looped input joins; its
    # OpenDML index lists it with size 0. ffmpeg's MP3 frames, one block per
    # chunk, of varying sizes, in a file small enough for every test run.
    mp3 = read_chunks(os.path.join(media, "mjpeg_vbr_mp3.avi"), b"01wb")[:40]
    mp3[12:12] = [b""]
    src = open(os.path.join(media, "mjpeg_vbr_mp3.avi"), "rb").read()
    strf = src.find(b"strf", src.find(b"auds"))
    mp3_fmt = src[strf + 8:strf + 8 + struct.unpack("<I", src[strf + 4:strf + 8])[0]]
    write_odml_avi(os.path.join(d, "odml_empty_audio.avi"),
                   Avi(frames, mp3, sample_rate=44100, audio_fmt=mp3_fmt, audio_rate=(1152, 44100, 0)))


# The fuzz target's input cap (MAX_LEN in CMakeLists.txt).
SEED_CAP = 16384


def make_seeds(media, seeds):
    """Whole files of twenty short chunks per stream, within the fuzz target's
    16 KiB input cap, so that the index at the end of each file (idx1, the
    OpenDML indexes of both RIFF parts) is read from the first run on. The
    demuxer never decodes a frame: the pictures are cut short."""
    # Seeds an earlier version of this maker left would be fed to the fuzz target too.
    shutil.rmtree(seeds, ignore_errors=True)
    os.makedirs(seeds, exist_ok=True)
    frames = [f[:300] for f in read_chunks(os.path.join(media, "mjpeg_pcm.avi"), b"00dc")[:20]]
    audio = [bytes((i * 7 + j) & 0xFF for j in range(100)) for i in range(20)]
    avi = Avi(frames, audio)
    s = lambda name: os.path.join(seeds, name)
    write_idx1_avi(s("idx1_relative.avi"), avi)
    write_idx1_avi(s("rec_lists.avi"), avi, rec=True)
    write_idx1_avi(s("no_index.avi"), avi, with_idx1=False)
    write_idx1_avi(s("bad_chunk_size.avi"), avi, bad_size=6)
    guid = struct.pack("<I", 1) + b"\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71"
    ext = struct.pack("<HHIIHHH", 0xFFFE, 1, 8000, 16000, 2, 16, 22) + struct.pack("<HI", 16, 4) + guid
    write_idx1_avi(s("extensible.avi"), Avi(frames, audio, audio_fmt=ext))
    write_idx1_avi(s("idx1_absolute.avi"), avi, absolute=True)
    write_idx1_avi(s("garbage_in_movi.avi"), avi, garbage=(9, b"\x55" * 301), info_list=True)
    write_idx1_avi(s("leading_garbage.avi"), avi, leading=b"\x11" * 100, kvrh=True)
    write_idx1_avi(s("pcmwaveformat16.avi"),
                   Avi(frames, audio, audio_fmt=struct.pack("<HHIIHH", 1, 1, 8000, 16000, 2, 16)))
    write_idx1_avi(s("short_strh.avi"), Avi(frames, audio, strh_size=48))
    write_idx1_avi(s("divx.avi"), Avi(frames, audio, handler=b"divx", compression=b"DIVX"))
    write_odml_avi(s("odml.avi"), avi)
    write_odml_avi(s("odml_fields.avi"), avi, parts=3, fields=True)
    for name in sorted(os.listdir(seeds)):
        size = os.path.getsize(s(name))
        if size > SEED_CAP:
            raise SystemExit(f"seed {name} has {size} bytes, more than the fuzz target's {SEED_CAP}")


def make_large(d):
    os.makedirs(d, exist_ok=True)
    free = shutil.disk_usage(d).free
    if free < 4 * (1 << 30):
        print("large tier skipped: the disk is short")
        return
    big = os.path.join(d, "odml_large.avi")
    ffmpeg(big, "-f", "lavfi", "-i", "testsrc=size=640x480:rate=25", "-f", "lavfi", "-i",
           "sine=frequency=440:sample_rate=48000", "-t", "55", "-c:v", "rawvideo", "-pix_fmt", "bgr24",
           "-c:a", "pcm_s16le")
    data_size = os.path.getsize(big)
    with open(big, "rb") as f, open(os.path.join(d, "odml_large_truncated.avi"), "wb") as out:
        remaining = data_size * 9 // 10
        while remaining > 0:
            block = f.read(min(remaining, 1 << 24))
            if not block:
                break
            out.write(block)
            remaining -= len(block)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--large":
        make_large(sys.argv[2])
        return
    d = sys.argv[1]
    os.makedirs(d, exist_ok=True)
    make_ffmpeg_files(d)
    make_hand_built(d, d)
    make_seeds(d, os.path.join(d, "seeds"))


if __name__ == "__main__":
    main()
