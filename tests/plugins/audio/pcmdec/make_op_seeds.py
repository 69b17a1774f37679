#!/usr/bin/env python3
"""Seeds of the op-level fuzz target: a 16-byte parameter header (see
pcmdec_ops_fuzz.cpp), the extra data, then a short stream."""
import math
import os
import struct
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def header(fmt, flags, channels, bits_index, align, extra_size, rate_index, table=(1, 3, 2, 5, 6, 0, 0, 4)):
    return bytes([fmt, flags, channels, bits_index]) + struct.pack('<H', align) + bytes([extra_size, rate_index]) + bytes(table)


def tone(n, channels, width, big=False):
    b = bytearray()
    for i in range(n):
        for c in range(channels):
            v = int(20000 * math.sin(i * 0.07 * (c + 1)))
            raw = v.to_bytes(4, 'little', signed=True)[:width]
            b += raw[::-1] if big else raw
    return bytes(b)


ms_ext = struct.pack('<HH', 500, 7) + b''.join(struct.pack('<hh', a, b) for a, b in
                                               [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232)])
seeds = {
    'le16_6ch': header(0, 0x10, 6, 1, 0, 0, 5) + tone(64, 6, 2),
    'le16_mix': header(0, 0x18, 6, 1, 0, 0, 5) + tone(64, 6, 2),
    'le24_mix': header(0, 0x58, 6, 3, 0, 0, 5) + tone(64, 6, 3),
    'le8_planar': header(0, 0x00, 3, 0, 0, 0, 0) + bytes(range(256)),
    'be16': header(1, 0x10, 2, 1, 0, 0, 5) + tone(64, 2, 2, True),
    'dvd20': header(0, 0x11, 4, 2, 0, 0, 5) + tone(40, 4, 2, True) + bytes(40),
    'bd24': header(0, 0x16, 6, 3, 0, 0, 5) + bytes([0, 0xC0, 0x91, 0xC0]) + tone(32, 6, 3, True),
    'bd_special': header(0, 0x16, 2, 1, 0, 0, 5) + bytes([0xA0, 0x06, 0x31, 0x10]) + tone(32, 2, 2, True),
    'msadpcm': header(2, 0x10, 2, 4, 256, 32, 4) + ms_ext + bytes([0, 1, 0, 1, 0x20, 0, 0x20, 0]) + bytes(range(248)) * 2,
    'alaw': header(3, 0x10, 3, 0, 0, 0, 0) + bytes(range(256)),
    'ima': header(5, 0x10, 2, 4, 256, 2, 4) + struct.pack('<H', 505) + bytes(range(256)) * 2,
    'ima3': header(5, 0x00, 1, 5, 256, 0, 4) + bytes(range(256)),
    'qtima': header(6, 0x00, 2, 1, 0, 0, 4) + bytes([0x12, 0x34]) + bytes(range(32)) + bytes([0x80, 0x58]) + bytes(range(32)),
}
for name, data in seeds.items():
    with open(os.path.join(out, name + '.bin'), 'wb') as f:
        f.write(data)
