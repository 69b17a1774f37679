#!/usr/bin/env python3
"""Writes a mono 3-bit IMA ADPCM WAV file (which ffmpeg cannot encode): a sine
coded block by block, each code three bits of a little-endian bit stream
after the 4-byte block header."""
import math
import struct
import sys

STEPS = [7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55, 60, 66,
         73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408, 449,
         494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066, 2272,
         2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871, 5358, 5894, 6484, 7132, 7845, 8630, 9493,
         10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767]
ADJUST = [-1, -1, 1, 2]
BLOCK = 256
SPB = 8 * (BLOCK - 4) // 3 + 1


def signal(t):
    return int(10000 * math.sin(t * 0.05) + 3000 * math.sin(t * 0.31))


data = b''
t = 0
for _ in range(40):
    first = signal(t)
    pred, index = first, 20
    t += 1
    bits = nbits = 0
    codes = bytearray()
    for _ in range(SPB - 1):
        step, d, code = STEPS[index], signal(t) - pred, 0
        t += 1
        if d < 0:
            code, d = 4, -d
        if d >= step:
            code, d = code | 2, d - step
        if d >= step >> 1:
            code |= 1
        diff = (step >> 2) + (step if code & 2 else 0) + (step >> 1 if code & 1 else 0)
        pred = max(-32768, min(32767, pred - diff if code & 4 else pred + diff))
        index = max(0, min(88, index + ADJUST[code & 3]))
        bits |= code << nbits
        nbits += 3
        while nbits >= 8:
            codes.append(bits & 255)
            bits >>= 8
            nbits -= 8
    if nbits:
        codes.append(bits & 255)
    data += struct.pack('<hBB', first, 20, 0) + bytes(codes[:BLOCK - 4]).ljust(BLOCK - 4, b'\0')

extra = struct.pack('<H', SPB)
fmt = struct.pack('<HHIIHHH', 0x11, 1, 8000, 8000 * BLOCK // SPB, BLOCK, 3, len(extra)) + extra
body = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(data)) + data
with open(sys.argv[1], 'wb') as f:
    f.write(b'RIFF' + struct.pack('<I', len(body)) + body)
