#!/usr/bin/env python3
"""Makes the FLV demuxer's test media in OUT_DIR: files written by ffmpeg,
files rewritten from them for what ffmpeg cannot write, and tiny hand-built
files (VP6 and VP6 with alpha tags). Seeds for the mutation runs go to
OUT_DIR/seeds.

  make_flv_media.py OUT_DIR
"""
import os
import shutil
import struct
import subprocess
import sys

out = sys.argv[1]
# Seeds an earlier version of this maker left would be fed to the fuzz target too.
shutil.rmtree(os.path.join(out, "seeds"), ignore_errors=True)
os.makedirs(os.path.join(out, "seeds"), exist_ok=True)


def ffmpeg(name, *args):
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", *args,
                    os.path.join(out, name)], check=True)


def lavfi_video(size, rate):
    return ["-f", "lavfi", "-i", f"testsrc=size={size}:rate={rate}"]


def lavfi_audio(rate):
    return ["-f", "lavfi", "-i", f"sine=frequency=440:sample_rate={rate}"]


ffmpeg("h264_aac.flv", *lavfi_video("320x240", 25), *lavfi_audio(44100), "-t", "6",
       "-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", "25", "-c:a", "aac", "-b:a", "64k")
ffmpeg("h264_aac_index.flv", *lavfi_video("320x240", 25), *lavfi_audio(44100), "-t", "6",
       "-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", "25", "-c:a", "aac", "-b:a", "64k",
       "-flvflags", "add_keyframe_index")
# Time stamps starting at 5 s, as a cut from a longer recording has them.
ffmpeg("h264_aac_offset.flv", *lavfi_video("320x240", 25), *lavfi_audio(44100), "-t", "4",
       "-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", "25", "-c:a", "aac", "-b:a", "64k",
       "-flvflags", "add_keyframe_index", "-output_ts_offset", "5")
# Time stamps from an hour on, the audio first and the first key frame 23 ms
# later; the sequence-header tags are timed 0. With and without the index.
for name, extra in (("h264_aac_hour.flv", []), ("h264_aac_hour_index.flv", ["-flvflags", "add_keyframe_index"])):
    ffmpeg(name, *lavfi_video("320x240", 25), *lavfi_audio(44100), "-t", "4",
           "-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", "25", "-bf", "0", "-c:a", "aac", "-b:a", "64k",
           *extra, "-output_ts_offset", "3600")
ffmpeg("h263_mp3.flv", *lavfi_video("176x144", 15), *lavfi_audio(22050), "-t", "4",
       "-c:v", "flv1", "-g", "15", "-c:a", "libmp3lame", "-ar", "22050")
ffmpeg("h263_adpcm.flv", *lavfi_video("176x144", 15), *lavfi_audio(22050), "-t", "3",
       "-c:v", "flv1", "-c:a", "adpcm_swf", "-ar", "22050")
ffmpeg("h263_speex.flv", *lavfi_video("176x144", 15), *lavfi_audio(16000), "-t", "3",
       "-c:v", "flv1", "-c:a", "libspeex", "-ar", "16000")
ffmpeg("screen.flv", *lavfi_video("160x120", 10), "-t", "2", "-c:v", "flashsv")
ffmpeg("audio_only.flv", *lavfi_audio(44100), "-t", "4", "-c:a", "libmp3lame")
ffmpeg("aac_only.flv", *lavfi_audio(48000), "-t", "3", "-c:a", "aac", "-ac", "2")
ffmpeg("h264_yuv444.flv", *lavfi_video("352x288", 25), "-t", "2", "-c:v", "libx264",
       "-pix_fmt", "yuv444p", "-g", "10")
ffmpeg("h264_interlaced.flv", *lavfi_video("320x240", 25), "-t", "2", "-c:v", "libx264",
       "-pix_fmt", "yuv420p", "-flags", "+ildct+ilme", "-x264opts", "tff=1")


def read(name):
    with open(os.path.join(out, name), "rb") as f:
        return f.read()


def write(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def tags(data):
    """(offset, type, size, timestamp) of every tag of a well-formed file."""
    pos = struct.unpack(">I", data[5:9])[0] + 4
    found = []
    while pos + 11 <= len(data):
        size = int.from_bytes(data[pos + 1:pos + 4], "big")
        ts = int.from_bytes(data[pos + 4:pos + 7], "big") | data[pos + 7] << 24
        found.append((pos, data[pos], size, ts))
        pos += 11 + size + 4
    return found


def tag(kind, ts, payload):
    head = bytes([kind]) + len(payload).to_bytes(3, "big") + (ts & 0xFFFFFF).to_bytes(3, "big")
    head += bytes([ts >> 24 & 0xFF]) + b"\0\0\0"
    return head + payload + struct.pack(">I", len(payload) + 11)


# The signature 1000 bytes into the file; DataOffset stays an absolute
# offset, so the header's own DataOffset is moved with it.
base = read("h263_mp3.flv")
offset = struct.unpack(">I", base[5:9])[0]
moved = bytearray(b"\x55" * 1000 + base)
moved[1005:1009] = struct.pack(">I", offset + 1000)
write("signature_at_1000.flv", bytes(moved))

def bad_prev_size(base):
    """A wrong PreviousTagSize after the tenth video tag: that tag is dropped."""
    video = [t for t in tags(base) if t[1] == 9]
    pos, _, size, _ = video[10]
    bad = bytearray(base)
    bad[pos + 11 + size:pos + 15 + size] = struct.pack(">I", size + 12)
    return bytes(bad)


write("bad_prev_size.flv", bad_prev_size(read("h263_mp3.flv")))


def vp6_payload(alpha, key, rows, cols, adjust=0x08):
    """A VP6 frame as an FLV tag body after the codec byte: adjustments,
    (alpha offset), the frame header of a key frame, some bytes of data."""
    frame_type = 1 if key else 2
    codec = 5 if alpha else 4
    body = bytes([frame_type << 4 | codec, adjust])
    if alpha:
        body += (20).to_bytes(3, "big")
    # frame mode 0/1, quantizer 6 bits, marker 0, version 5 bits (6), profile 3, interlace 0
    bits = ("0" if key else "1") + "000101" + "0" + "00110" + "11" + "0"
    if key:
        bits += format(rows, "08b") + format(cols, "08b") + format(rows, "08b") + format(cols, "08b")
    bits += "0" * (-len(bits) % 8)
    body += int(bits, 2).to_bytes(len(bits) // 8, "big") + bytes(range(40))
    return body


def vp6_file(alpha):
    head = b"FLV\x01\x01" + struct.pack(">I", 9) + struct.pack(">I", 0)
    body = b""
    for i in range(30):
        body += tag(9, i * 40, vp6_payload(alpha, i % 10 == 0, 15, 20))
    return head + body


write("vp6.flv", vp6_file(False))
write("vp6a.flv", vp6_file(True))

# Seeds: the same shapes as short whole files within the fuzz target's input
# cap, so that the last tags (and the index in the metadata) are read from
# the first run on.
SEED_CAP = 16384
ffmpeg("seeds/h264_aac.flv", *lavfi_video("64x48", 10), *lavfi_audio(8000), "-t", "1",
       "-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", "5", "-c:a", "aac", "-b:a", "12k")
ffmpeg("seeds/h264_aac_index.flv", *lavfi_video("64x48", 10), *lavfi_audio(8000), "-t", "1",
       "-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", "5", "-c:a", "aac", "-b:a", "12k",
       "-flvflags", "add_keyframe_index")
# Fifteen video tags: bad_prev_size breaks the eleventh.
ffmpeg("seeds/h263_mp3.flv", *lavfi_video("64x48", 10), *lavfi_audio(11025), "-t", "1.5",
       "-c:v", "flv1", "-g", "5", "-c:a", "libmp3lame", "-b:a", "8k")
ffmpeg("seeds/aac_only.flv", *lavfi_audio(8000), "-t", "1", "-c:a", "aac", "-b:a", "12k")
ffmpeg("seeds/screen.flv", *lavfi_video("32x24", 5), "-t", "1", "-c:v", "flashsv")
shutil.copy(os.path.join(out, "vp6.flv"), os.path.join(out, "seeds", "vp6.flv"))
write(os.path.join("seeds", "bad_prev_size.flv"), bad_prev_size(read(os.path.join("seeds", "h263_mp3.flv"))))
for name in sorted(os.listdir(os.path.join(out, "seeds"))):
    size = os.path.getsize(os.path.join(out, "seeds", name))
    if size > SEED_CAP:
        raise SystemExit(f"seed {name} has {size} bytes, more than the fuzz target's {SEED_CAP}")

# Seeds of the AMF0 target: script-tag payloads as ffmpeg writes them, with
# and without the key-frame index, and a few hand-made values.
amf = os.path.join(out, "amf_seeds")
os.makedirs(amf, exist_ok=True)
for name in ("h264_aac.flv", "h264_aac_index.flv", "h263_mp3.flv"):
    data = read(name)
    for pos, kind, size, _ in tags(data):
        if kind == 18:
            write(os.path.join("amf_seeds", name + ".amf"), data[pos + 11:pos + 11 + size])
            break


def amf_string(s):
    return struct.pack(">H", len(s)) + s.encode()


def amf_number(v):
    return b"\x00" + struct.pack(">d", v)


nested = b"\x02" + amf_string("onMetaData") + b"\x08" + struct.pack(">I", 3)
nested += amf_string("Width") + amf_number(640)
nested += amf_string("keyframes") + b"\x03"
nested += amf_string("times") + b"\x0a" + struct.pack(">I", 3) + amf_number(0) + amf_number(1) + amf_number(2)
nested += amf_string("filepositions") + b"\x0a" + struct.pack(">I", 2) + amf_number(13) + amf_number(500)
nested += b"\x00\x00\x09"
nested += amf_string("misc") + b"\x0a" + struct.pack(">I", 2) + b"\x01\x01" + b"\x0b" + bytes(10)
nested += b"\x00\x00\x09"
write(os.path.join("amf_seeds", "nested.amf"), nested)

# Seeds of the codec-header target: a selector byte, then the bytes the
# parser sees (see flv_codec_fuzz.cpp).
codec = os.path.join(out, "codec_seeds")
os.makedirs(codec, exist_ok=True)
data = read("h264_aac.flv")
for pos, kind, size, _ in tags(data):
    if kind == 9 and data[pos + 11] & 15 == 7 and data[pos + 12] == 0:
        write(os.path.join("codec_seeds", "avcc.bin"), b"\x03" + data[pos + 16:pos + 11 + size])
        break
data = read("h264_yuv444.flv")
for pos, kind, size, _ in tags(data):
    if kind == 9 and data[pos + 11] & 15 == 7 and data[pos + 12] == 0:
        write(os.path.join("codec_seeds", "avcc444.bin"), b"\x03" + data[pos + 16:pos + 11 + size])
        break
write(os.path.join("codec_seeds", "asc.bin"), b"\x01\x12\x10\x56\xe5")
write(os.path.join("codec_seeds", "mp3.bin"), b"\x00\x12\xff\xfb\x90\x64" + bytes(8))
write(os.path.join("codec_seeds", "h263.bin"), b"\x02\x02\x12\x00\x00\x80\x02" + bytes(10))
write(os.path.join("codec_seeds", "vp6.bin"), b"\x02\x04" + vp6_payload(False, True, 15, 20)[1:])
write(os.path.join("codec_seeds", "vp6a.bin"), b"\x02\x05" + vp6_payload(True, True, 15, 20)[1:])
