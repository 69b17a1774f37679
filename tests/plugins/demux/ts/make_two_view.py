#!/usr/bin/env python3
"""Makes a two-view transport stream that ffmpeg cannot write.

  make_two_view.py OUTDIR

two_view.ts: an H.264 base view (PID 0x1011, made by ffmpeg) and a dependent
view (stream type 0x20, PID 0x1012) of hand-made NAL units: a subset SPS of
the same picture size, then one coded slice extension per picture. The file
stores the views in alternating runs (base, dependent, base, ...) of RUN
packets each, every run opening with PAT and PMT and its PES spread over the
run between null packets, so that each run covers more than one 128 KiB block.
Beside it:
  two_view_base.bin / two_view_dep.bin   the pictures of each view, back to back
  two_view.txt                           one line per picture:
                                         "pts base_size dep_size"
                                         then one line "map" and the expected
                                         view of every 128 KiB block (1 base,
                                         0 dependent)
"""
import os
import subprocess
import sys
import tempfile

PMT_PID, BASE_PID, DEP_PID = 0x100, 0x1011, 0x1012
PICTURES_PER_RUN = 25
RUN = 1500  # packets per run: about two 128 KiB blocks
BLOCK = 0x20000
PTS0 = 90000


def crc32(data):
    crc = 0xFFFFFFFF
    for b in data:
        crc ^= b << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) & 0xFFFFFFFF if crc & 0x80000000 else (crc << 1) & 0xFFFFFFFF
    return crc


def section(table_id, ext, body):
    n = 5 + len(body) + 4
    head = bytes([table_id, 0xB0 | (n >> 8), n & 0xFF, ext >> 8, ext & 0xFF, 0xC1, 0, 0])
    s = head + body
    return s + crc32(s).to_bytes(4, "big")


def pat():
    return section(0, 1, bytes([0, 1, 0xE0 | (PMT_PID >> 8), PMT_PID & 0xFF]))


def pmt():
    body = bytes([0xE0 | (BASE_PID >> 8), BASE_PID & 0xFF, 0xF0, 0])
    for st, pid in ((0x1B, BASE_PID), (0x20, DEP_PID)):
        body += bytes([st, 0xE0 | (pid >> 8), pid & 0xFF, 0xF0, 0])
    return section(2, 1, body)


class Muxer:
    def __init__(self):
        self.cc = {}

    def packet(self, pid, payload, start):
        cc = self.cc.get(pid, 0)
        self.cc[pid] = (cc + 1) & 15
        head = bytes([0x47, (0x40 if start else 0) | (pid >> 8), pid & 0xFF])
        if len(payload) >= 184:
            return head + bytes([0x10 | cc]) + payload[:184]
        stuff = 184 - len(payload)
        if stuff == 1:
            af = bytes([0])
        else:
            af = bytes([stuff - 1, 0]) + b"\xFF" * (stuff - 2)
        return head + bytes([0x30 | cc]) + af + payload

    def table(self, pid, sec):
        return self.packet(pid, b"\x00" + sec, True)

    def pes(self, pid, data, pts):
        ts = bytes([0x21 | ((pts >> 29) & 0x0E), (pts >> 22) & 0xFF, 0x01 | ((pts >> 14) & 0xFE),
                    (pts >> 7) & 0xFF, 0x01 | ((pts << 1) & 0xFE)])
        length = 3 + 5 + len(data)
        head = b"\x00\x00\x01\xE0" + (length if length < 65536 else 0).to_bytes(2, "big")
        body = head + bytes([0x80, 0x80, 5]) + ts + data
        out = []
        for i in range(0, len(body), 184):
            out.append(self.packet(pid, body[i:i + 184], i == 0))
        return out


def null_packet():
    return bytes([0x47, 0x1F, 0xFF, 0x10]) + b"\xFF" * 184


def access_units(es):
    """Splits an Annex B stream into pictures (one slice each)."""
    starts = []
    i = 0
    while True:
        i = es.find(b"\x00\x00\x01", i)
        if i < 0:
            break
        starts.append(i - 1 if i > 0 and es[i - 1] == 0 else i)
        i += 3
    starts.append(len(es))
    units, cur = [], b""
    for a, b in zip(starts, starts[1:]):
        nal = es[a:b]
        cur += nal
        t = nal[nal.index(b"\x01") + 1] & 31
        if t in (1, 5):
            units.append(cur)
            cur = b""
    return units


class Bits:
    def __init__(self):
        self.bits = []

    def u(self, n, v):
        self.bits += [(v >> (n - 1 - i)) & 1 for i in range(n)]

    def ue(self, v):
        v += 1
        n = v.bit_length()
        self.u(n - 1, 0)
        self.u(n, v)

    def rbsp(self):
        bits = self.bits + [1]
        bits += [0] * (-len(bits) % 8)
        raw = bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))
        out, zeros = bytearray(), 0
        for b in raw:
            if zeros >= 2 and b <= 3:
                out.append(3)
                zeros = 0
            out.append(b)
            zeros = zeros + 1 if b == 0 else 0
        return bytes(out)


def subset_sps(width, height):
    b = Bits()
    b.u(8, 118)  # profile
    b.u(8, 0)
    b.u(8, 30)   # level
    b.ue(0)      # sps id
    b.ue(1)      # 4:2:0
    b.ue(0)
    b.ue(0)
    b.u(1, 0)
    b.u(1, 0)    # no scaling matrices
    b.ue(0)      # log2_max_frame_num - 4
    b.ue(0)      # poc type 0
    b.ue(0)
    b.ue(1)      # max_num_ref_frames
    b.u(1, 0)
    b.ue(width // 16 - 1)
    b.ue(height // 16 - 1)
    b.u(1, 1)    # frame_mbs_only
    b.u(1, 1)
    b.u(1, 0)    # no cropping
    b.u(1, 0)    # no VUI
    b.u(1, 1)    # bit_equal_to_one
    b.ue(1)      # two views
    b.ue(0)
    b.ue(1)
    for _ in range(2):  # anchor and non-anchor references of view 1
        b.ue(1)
        b.ue(0)
        b.ue(0)
    b.ue(0)      # one level
    b.u(8, 30)
    b.ue(0)
    b.u(3, 0)
    b.ue(0)
    b.ue(0)
    b.ue(1)
    b.u(1, 0)    # no MVC VUI
    return b"\x00\x00\x00\x01\x0F" + b.rbsp()


def dependent_picture(index, width, height):
    # a coded slice extension: its header bytes and a body that differs per
    # picture (no start code can appear: every body byte is at least 4)
    body = bytes(4 + (index * 7 + k * 13) % 250 for k in range(300 + (index * 37) % 900))
    nal = b"\x00\x00\x00\x01\x14\x40\x00\x47" + body
    if index == 0:
        nal = subset_sps(width, height) + nal
    return nal


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    width, height = 320, 240
    with tempfile.TemporaryDirectory() as tmp:
        es_path = os.path.join(tmp, "base.h264")
        subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi",
                        "-i", "testsrc=size=%dx%d:rate=25" % (width, height), "-t", "4", "-c:v", "libx264",
                        "-g", "12", "-bf", "0", "-f", "h264", es_path], check=True)
        base = access_units(open(es_path, "rb").read())
    dep = [dependent_picture(i, width, height) for i in range(len(base))]
    mux = Muxer()
    data = bytearray()
    views = []  # view of each stream packet start offset
    for first in range(0, len(base), PICTURES_PER_RUN):
        for view, pid, pics in ((1, BASE_PID, base), (0, DEP_PID, dep)):
            stream = []
            for i in range(first, min(first + PICTURES_PER_RUN, len(pics))):
                stream += mux.pes(pid, pics[i], PTS0 + i * 3600)
            assert len(stream) + 2 <= RUN
            run = [mux.table(0, pat()), mux.table(PMT_PID, pmt())]
            nulls = RUN - 2 - len(stream)
            for k, p in enumerate(stream):
                run.append(p)
                # spread the null packets evenly between the stream packets
                extra = nulls * (k + 1) // len(stream) - nulls * k // len(stream)
                run += [null_packet()] * extra
            for p in run:
                if (p[1] & 0x1F) == pid >> 8 and p[2] == pid & 0xFF:
                    views.append((len(data), view))
                data += p
    open(os.path.join(out, "two_view.ts"), "wb").write(data)
    open(os.path.join(out, "two_view_base.bin"), "wb").write(b"".join(base))
    open(os.path.join(out, "two_view_dep.bin"), "wb").write(b"".join(dep))
    # expected map: the view of the first stream packet at or after each
    # block start; blocks without one take the mark before
    marks, k, mark = [], 0, 0
    for b in range(len(data) // BLOCK + 1):
        while k < len(views) and views[k][0] < b * BLOCK:
            k += 1
        if k < len(views) and views[k][0] < (b + 1) * BLOCK:
            mark = views[k][1]
        marks.append(mark)
    with open(os.path.join(out, "two_view.txt"), "w") as f:
        for i in range(len(base)):
            f.write("%d %d %d\n" % (PTS0 + i * 3600, len(base[i]), len(dep[i])))
        f.write("map " + "".join(map(str, marks)) + "\n")


if __name__ == "__main__":
    main()
