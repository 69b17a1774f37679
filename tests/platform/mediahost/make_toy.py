#!/usr/bin/env python3
"""Writes a toy container file: make_toy.py OUT [FRAMES]."""
import struct
import sys

out = sys.argv[1]
frames = int(sys.argv[2]) if len(sys.argv) > 2 else 5
body = bytearray(b"TOY1" + struct.pack("<I", frames))
for n in range(frames):
    payload = bytes((n * 7 + k) & 0xFF for k in range(3 + n * 5))
    body += struct.pack("<IIB", len(payload), n * 40, 1 if n % 3 == 0 else 0) + payload
with open(out, "wb") as f:
    f.write(body)
