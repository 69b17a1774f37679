#!/usr/bin/env python3
"""Builds APE files from the header layout, for tests and benchmarks.

No APE encoder exists on the build machine; the demuxer never decodes, so
the frames are deterministic filler of varying length (offsets that are not
multiples of 4 exercise the frame alignment).

  make_ape.py OUT [--version V] [--frames N] [--rate R] [--channels C]
              [--bits B] [--level L] [--final-blocks N] [--blocks-per-frame N]
              [--id3 BYTES] [--tag] [--peak] [--seek-elements] [--wav-header]
              [--frame-bytes N] [--seed S]
  make_ape.py --standard DIR     writes the set of files the tests use, each
                                 with a .layout file (frame offsets and sizes)
  make_ape.py --faults DIR       writes files that break the header's
                                 promises, and expected.txt (name, open result)
"""
import argparse
import os
import random
import struct

OLD_FLAGS = {"8bit": 0x01, "peak": 0x04, "24bit": 0x08, "seek_elements": 0x10, "no_wav_header": 0x20}


def blocks_per_frame_old(version, level):
    if version > 3949:
        return 294912
    if version >= 3900:
        return 73728
    if version >= 3800 and level >= 4000:
        return 73728
    return 9216


def wav_header(channels, rate, bits):
    block = channels * bits // 8
    return (b"RIFF" + struct.pack("<I", 36) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * block, block, bits) +
            b"data" + struct.pack("<I", 0))


def id3_tag(size):
    """An ID3v2 tag of `size` bytes in total (header included)."""
    body = size - 10
    syncsafe = bytes([(body >> 21) & 0x7F, (body >> 14) & 0x7F, (body >> 7) & 0x7F, body & 0x7F])
    return b"ID3\x03\x00\x00" + syncsafe + b"\x00" * body


def ape_tag(items):
    """APEv2 tag with a header and a footer; items are (key, value) pairs."""
    data = b"".join(struct.pack("<II", len(v), 0) + k.encode() + b"\x00" + v for k, v in items)
    size = len(data) + 32

    def block(is_header):
        flags = 0x80000000 | (0x20000000 if is_header else 0)  # has header; this is the header
        return b"APETAGEX" + struct.pack("<IIII", 2000, size, len(items), flags) + b"\x00" * 8

    return block(True) + data + block(False)


def frames_for(n, rng, frame_bytes):
    return [rng.randbytes(frame_bytes + rng.randrange(0, 97)) for _ in range(n)]


def build(version=3990, frames=12, rate=44100, channels=2, bits=16, level=2000, final_blocks=None,
          blocks_per_frame=None, id3=0, tag=False, peak=False, seek_elements=False, wav=False,
          wav_after_table=False, frame_bytes=700, seed=1, layout=None):
    """The file's bytes; `layout`, when given, receives what a reader needs
    to check the frames: offsets are from the start of the file. Old headers
    store the WAV header before the seek table, or after it with the flag
    0x20 (`wav_after_table`)."""
    rng = random.Random(seed)
    payload = frames_for(frames, rng, frame_bytes)
    wavh = wav_header(channels, rate, bits) if wav else b""
    if version >= 3980:
        bpf = blocks_per_frame or (73728 * 4 if version >= 3950 else 73728)
        final = final_blocks if final_blocks is not None else bpf // 3
        seek_len = 4 * frames
        desc_len, head_len = 52, 24
        data_start = desc_len + head_len + seek_len + len(wavh)
        offsets, pos = [], data_start
        for f in payload:
            offsets.append(pos)
            pos += len(f)
        frame_data = pos - data_start
        descriptor = (b"MAC " + struct.pack("<HHIIIIIII", version, 0, desc_len, head_len, seek_len, len(wavh),
                                          frame_data & 0xFFFFFFFF, frame_data >> 32, 0) + b"\x00" * 16)
        header = struct.pack("<HHIIIHHI", level, 0, bpf, final, frames, bits, channels, rate)
        body = descriptor + header + b"".join(struct.pack("<I", o) for o in offsets) + wavh + b"".join(payload)
    else:
        bpf = blocks_per_frame_old(version, level)
        final = final_blocks if final_blocks is not None else bpf // 3
        flags = (OLD_FLAGS["peak"] if peak else 0) | (OLD_FLAGS["seek_elements"] if seek_elements else 0)
        flags |= OLD_FLAGS["no_wav_header"] if wav_after_table or not wav else 0
        if bits == 8:
            flags |= OLD_FLAGS["8bit"]
        elif bits == 24:
            flags |= OLD_FLAGS["24bit"]
        head = b"MAC " + struct.pack("<HHHHIIIII", version, level, flags, channels, rate, len(wavh), 0, frames, final)
        if peak:
            head += struct.pack("<I", 0x7FFF)
        if seek_elements:
            head += struct.pack("<I", frames)
        data_start = len(head) + len(wavh) + 4 * frames
        offsets, pos = [], data_start
        for f in payload:
            offsets.append(pos)
            pos += len(f)
        table = b"".join(struct.pack("<I", o) for o in offsets)
        body = head + (table + wavh if wav_after_table else wavh + table) + b"".join(payload)
    out = (id3_tag(id3) if id3 else b"") + body
    if layout is not None:
        layout.update(id3=id3, data_start=data_start, rate=rate, channels=channels, bits=bits,
                      blocks_per_frame=bpf, final_blocks=final, total_frames=frames,
                      frames=[(id3 + o, len(f)) for o, f in zip(offsets, payload)])
    if tag:
        out += ape_tag([("Artist", b"Holvik Test Artist"), ("Title", b"T" * 300), ("Year", b"2026"),
                        ("Comment", b"generated"), ("Unknown Key", b"ignored")])
    return out


# The files the tests and the comparer use: both header generations, with
# and without ID3v2 and APE tags.
STANDARD = {
    "new_plain.ape": dict(version=3990, frames=12),
    "new_id3_tag.ape": dict(version=3990, frames=9, id3=1034, tag=True, rate=48000, channels=1),
    "new_wav_24bit.ape": dict(version=3980, frames=7, wav=True, bits=24, rate=96000, seed=5),
    "old_3970.ape": dict(version=3970, frames=10, seed=2),
    "old_3950_tag.ape": dict(version=3950, frames=8, tag=True, peak=True, seek_elements=True, seed=3),
    "old_3900_wav_id3.ape": dict(version=3900, frames=6, wav=True, id3=200, rate=22050, channels=1, seed=4),
    "old_3960_wav_after_table.ape": dict(version=3960, frames=5, wav=True, wav_after_table=True, seed=9),
    # more frames than a 4500-entry seek table holds
    "new_5000_frames.ape": dict(version=3990, frames=5000, frame_bytes=3, seed=6),
    # frames larger than the first frame buffer
    "new_big_frames.ape": dict(version=3990, frames=3, frame_bytes=250001, seed=8),
    "old_4600_frames.ape": dict(version=3900, frames=4600, frame_bytes=2, seed=7, rate=8000, channels=1),
}


def write_layout(path, layout):
    with open(path, "w") as f:
        for k in ("id3", "data_start", "rate", "channels", "bits", "blocks_per_frame", "final_blocks",
                  "total_frames"):
            f.write(f"{k} {layout[k]}\n")
        for off, length in layout["frames"]:
            f.write(f"frame {off} {length}\n")


def patched(data, offset, fmt, value):
    data = bytearray(data)
    struct.pack_into(fmt, data, offset, value)
    return bytes(data)


def fault_files():
    """Files that break the header's promises, with the open result wanted."""
    new = build(version=3990, frames=6)
    old = build(version=3970, frames=6)
    tagged = build(version=3990, frames=4, tag=True)
    tag_at = len(tagged) - len(ape_tag([("Artist", b"Holvik Test Artist"), ("Title", b"T" * 300),
                                        ("Year", b"2026"), ("Comment", b"generated"),
                                        ("Unknown Key", b"ignored")]))
    items_at = tag_at + 32
    footer_at = len(tagged) - 32
    files = {
        # descriptor generation: descriptor length, header length, seek table length, WAV header length
        "bad_descriptor_length.ape": (patched(new, 8, "<I", 0x7FFFFFF0), -2),
        "bad_header_length.ape": (patched(new, 12, "<I", 8), -2),
        "bad_seek_table_length.ape": (patched(new, 16, "<I", 0x40000000), -2),
        "short_seek_table.ape": (patched(new, 16, "<I", 8), -2),
        "bad_wav_length.ape": (patched(new, 20, "<I", 0xFFFFFF00), -2),
        "level_5000.ape": (patched(new, 52, "<H", 5000), -4),
        "falling_table.ape": (patched(new, 76 + 8, "<I", 60), -2),
        "frame_past_end.ape": (patched(new, 76 + 20, "<I", 0x7FFFFF00), -2),
        "no_frames_with_table.ape": (patched(new, 52 + 12, "<I", 0), 0),
        "zero_blocks_per_frame.ape": (patched(new, 52 + 4, "<I", 0), 0),
        "zero_total_blocks.ape": (build(version=3990, frames=1, final_blocks=0), 0),
        "zero_rate.ape": (patched(new, 52 + 20, "<I", 0), 0),
        # old generation: WAV header length past the buffer, frame count past the buffer
        "old_bad_wav_length.ape": (patched(patched(old, 8, "<H", 0), 16, "<I", 0x7FFFFFF0), -2),
        "old_huge_frame_count.ape": (patched(old, 24, "<I", 0x3FFFFFFF), -2),
        "old_falling_table.ape": (patched(old, 32 + 12, "<I", 40), -2),
        "not_ape.ape": (b"MAD " + new[4:], -2),
        "tiny.ape": (b"MAC ", -2),
        "empty.ape": (b"", -2),
        "id3_past_end.ape": (id3_tag(20)[:6] + bytes([0x7F, 0x7F, 0x7F, 0x7F]) + b"MAC ", -2),
        # tags that lie about their sizes: the file still opens
        "tag_size_past_file.ape": (patched(tagged, footer_at + 12, "<I", 0x7FFFFFF0), 0),
        "tag_value_past_block.ape": (patched(tagged, items_at, "<I", 0x10000), 0),
        "tag_key_unterminated.ape": (tagged[:items_at + 8] + b"A" * (footer_at - items_at - 8) + tagged[footer_at:], 0),
        "tag_count_huge.ape": (patched(tagged, footer_at + 16, "<I", 0xFFFFFFFF), 0),
    }
    return files


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out", nargs="?")
    ap.add_argument("--standard")
    ap.add_argument("--faults")
    ap.add_argument("--version", type=int, default=3990)
    ap.add_argument("--frames", type=int, default=12)
    ap.add_argument("--rate", type=int, default=44100)
    ap.add_argument("--channels", type=int, default=2)
    ap.add_argument("--bits", type=int, default=16)
    ap.add_argument("--level", type=int, default=2000)
    ap.add_argument("--final-blocks", type=int)
    ap.add_argument("--blocks-per-frame", type=int)
    ap.add_argument("--id3", type=int, default=0)
    ap.add_argument("--tag", action="store_true")
    ap.add_argument("--peak", action="store_true")
    ap.add_argument("--seek-elements", action="store_true")
    ap.add_argument("--wav-header", action="store_true")
    ap.add_argument("--frame-bytes", type=int, default=700)
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    if a.standard:
        os.makedirs(a.standard, exist_ok=True)
        for name, kw in STANDARD.items():
            layout = {}
            with open(os.path.join(a.standard, name), "wb") as f:
                f.write(build(layout=layout, **kw))
            write_layout(os.path.join(a.standard, name[:-4] + ".layout"), layout)
        return
    if a.faults:
        os.makedirs(a.faults, exist_ok=True)
        with open(os.path.join(a.faults, "expected.txt"), "w") as index:
            for name, (data, code) in sorted(fault_files().items()):
                with open(os.path.join(a.faults, name), "wb") as f:
                    f.write(data)
                index.write(f"{name} {code}\n")
        return
    if not a.out:
        ap.error("give OUT or --standard DIR")
    data = build(version=a.version, frames=a.frames, rate=a.rate, channels=a.channels, bits=a.bits, level=a.level,
                 final_blocks=a.final_blocks, blocks_per_frame=a.blocks_per_frame, id3=a.id3, tag=a.tag,
                 peak=a.peak, seek_elements=a.seek_elements, wav=a.wav_header, frame_bytes=a.frame_bytes,
                 seed=a.seed)
    with open(a.out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
