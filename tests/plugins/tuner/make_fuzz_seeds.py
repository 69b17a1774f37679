#!/usr/bin/env python3
"""Writes the seed inputs of the tuner component's fuzz target into a folder.

An input is the chip byte (below 0xF0: the right chip) followed by requests,
each an operation byte and its arguments:
  0 open ts country | 1 close ts | 2 channel-set ts channel
  3 signal ts null-bits | 4 poke page-1 register value
  5 script status decoder first second | 6 fail reads of register (>= 0x80)
  7 emergency flag ts | 8 other index offset
"""
import os
import sys

SEEDS = {
    # Open, tune one stream to channel 5 with a lock, query, close.
    "one_stream": [0x00, 0, 0, 81, 5, 0, 0x5F, 0x5F, 2, 0, 5, 4, 0x61, 0x0C, 3, 0, 0, 1, 0],
    # Open, mode change only, two-stream tune, emergency flag, back, query.
    "two_stream": [0x00, 0, 0, 81, 2, 0, 0xFF, 5, 1, 0x5F, 0x5F, 2, 1, 7, 4, 0x95, 0x7F,
                   4, 0x99, 0x10, 7, 1, 2, 0, 0xFF, 3, 1, 0, 3, 0, 3],
    # Refused requests, a failing read, another chip answer on a later open.
    "failures": [0x00, 2, 2, 5, 2, 0, 40, 0, 0, 81, 6, 0x5C, 2, 0, 3, 6, 0x00, 3, 0, 0,
                 8, 0x0A, 8, 0x10, 1, 0],
    "wrong_chip": [0xF3, 0, 0, 81, 2, 0, 1, 3, 0, 0, 7, 0, 1, 0],
}


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, values in SEEDS.items():
        with open(os.path.join(folder, name + ".bin"), "wb") as f:
            f.write(bytes(values))


if __name__ == "__main__":
    main()
