#!/usr/bin/env python3
"""Writes the seed inputs of the audio components' fuzz target into a folder.

Each seed picks a component, sets its stream and records, starts it and feeds
a short ffmpeg-made stream (codec-config buffer first where the codec has
one); see omx_audio_fuzz.cpp for the request encoding.
"""
import os
import struct
import subprocess
import sys
import tempfile

SOURCE = ["-f", "lavfi", "-i", "sine=f=440:r=48000:d=0.12"]


def ffmpeg(args, out):
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"]
                   + SOURCE + args + [out], check=True)
    with open(out, "rb") as f:
        return f.read()


def ogg_packets(data):
    packets, partial, pos = [], b"", 0
    while pos + 27 <= len(data) and data[pos:pos + 4] == b"OggS":
        nseg = data[pos + 26]
        lacing = data[pos + 27:pos + 27 + nseg]
        body = pos + 27 + nseg
        for lace in lacing:
            partial += data[body:body + lace]
            body += lace
            if lace < 255:
                packets.append(partial)
                partial = b""
        pos = body
    return packets


def stream(ch, rate, bits, align, kind=0, downmix=1):
    return bytes([0, ch]) + struct.pack("<I", rate) + bytes([bits]) + struct.pack("<H", align) \
        + bytes([kind, downmix])


def set_record(op, port, ch, rate):
    return bytes([op, port, ch]) + struct.pack("<I", rate) + bytes([1])


def start(out_words):
    return bytes([6]) + struct.pack("<H", out_words)


def feed(data, flags=0):
    return bytes([7, flags]) + struct.pack("<H", len(data)) + data


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    seeds = {}
    with tempfile.TemporaryDirectory() as tmp:
        raw = ffmpeg(["-ac", "2", "-f", "s16le"], os.path.join(tmp, "a.raw"))[:4000]
        body = bytes([0]) + stream(2, 48000, 16, 4) + set_record(1, 0, 2, 48000) + start(4096)
        for i in range(0, len(raw), 1500):
            body += feed(raw[i:i + 1500])
        seeds["pcm_s16"] = body + feed(b"", 1) + bytes([8])
        seeds["pcm_dvd24"] = bytes([0]) + stream(2, 48000, 24, 12, 1) + start(8192) \
            + feed(raw[:2400]) + bytes([2, 1, 2, 0])
        seeds["pcm_bd"] = bytes([0]) + stream(6, 48000, 16, 12, 2, 0) + start(20000) \
            + feed(b"\x00\x00\x91\x10" + raw[:2000]) + feed(raw[:3], 1)

        for name, comp, args in (("vorbis", 1, ["-c:a", "libvorbis"]),
                                 ("opus", 2, ["-c:a", "libopus"]),
                                 ("flac", 3, ["-c:a", "flac"])):
            packets = ogg_packets(ffmpeg(args, os.path.join(tmp, name + ".ogg")))
            if name == "vorbis":
                extra, audio = b"".join(packets[:3]), packets[3:]
            elif name == "opus":
                extra, audio = packets[0], packets[2:]
            else:
                extra = packets[0][9:]
                audio = [p for p in packets[1:] if p[:1] == b"\xff"]
            body = bytes([comp]) + set_record(3, 0, 2, 48000) + start(16384) + feed(extra, 2)
            for p in audio[:8]:
                body += feed(p)
            seeds[name] = body + feed(b"", 1) + bytes([8])

        for comp in range(4):
            seeds["params%d" % comp] = bytes([comp]) + set_record(1, 1, 2, 192001) \
                + set_record(1, 2, 2, 48000) + bytes([2, 2, 4, 1, 5, comp, 5, comp + 1]) \
                + set_record(3, 0, 6, 44100) + stream(6, 48000, 16, 12, 0, 0) \
                + set_record(3, 0, 6, 44100) + bytes([9, 0x17, 0, 0, 1, 136, 1]) \
                + bytes([10, 0, 4, 0, 0, 1, 0])
    for name, data in seeds.items():
        with open(os.path.join(folder, name + ".bin"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
