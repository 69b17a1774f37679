#!/usr/bin/env python3
"""Makes the transport-stream test media.

  make_ts_media.py OUTDIR [--big MB]

Generated with ffmpeg: one file per codec pairing the demuxer must handle.
Built from those by rewriting packets (what ffmpeg cannot write): 204- and
208-byte packets, damaged packets and continuity gaps, PMT only on the
one-segment PID, PMT sections whose header is split across packets, H.264
whose sequence parameter set carries no timing.
--big writes big.ts of about MB megabytes for the benchmark.
"""
import os
import shutil
import subprocess
import sys

SRC_V = ["-f", "lavfi", "-i", "testsrc=size=320x240:rate=25"]
SRC_A = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000"]
ONE = ["-pes_payload_size", "0"]

FFMPEG = {
    "h264_aac": SRC_V + SRC_A + ["-t", "4", "-c:v", "libx264", "-g", "12", "-bf", "2", "-c:a", "aac"] + ONE,
    "mpeg2_mp2": SRC_V + SRC_A + ["-t", "4", "-c:v", "mpeg2video", "-g", "12", "-c:a", "mp2"] + ONE,
    "hevc_ac3": SRC_V + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t", "3",
                         "-c:v", "libx265", "-x265-params", "log-level=none:keyint=12", "-c:a", "ac3",
                         "-ac", "6"] + ONE,
    "mpeg4_mp3": SRC_V + ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", "4",
                          "-c:v", "mpeg4", "-g", "12", "-c:a", "libmp3lame"] + ONE,
    "h264_eac3_private": SRC_V + SRC_A + ["-t", "3", "-c:v", "libx264", "-g", "12", "-c:a", "eac3",
                                          "-mpegts_flags", "system_b"] + ONE,
    "h264_latm": SRC_V + SRC_A + ["-t", "3", "-c:v", "libx264", "-g", "12", "-c:a", "aac",
                                  "-mpegts_flags", "latm"] + ONE,
    "h264_dts": SRC_V + SRC_A + ["-t", "3", "-c:v", "libx264", "-g", "12", "-c:a", "dca",
                                 "-strict", "-2"] + ONE,
    "m2ts_lpcm": SRC_V + SRC_A + ["-t", "3", "-c:v", "libx264", "-g", "12", "-c:a", "pcm_bluray",
                                  "-mpegts_m2ts_mode", "1"] + ONE,
    "pts_wrap": SRC_V + SRC_A + ["-t", "4", "-c:v", "mpeg2video", "-g", "12", "-c:a", "mp2",
                                 "-output_ts_offset", "95442"] + ONE,
    "h264_interlaced": SRC_V + SRC_A + ["-t", "3", "-c:v", "libx264", "-g", "12", "-flags",
                                        "+ildct+ilme", "-x264opts", "interlaced=1", "-c:a", "aac"] + ONE,
    "h264_aac_packed": SRC_V + SRC_A + ["-t", "3", "-c:v", "libx264", "-g", "12", "-c:a", "aac"],
    # No frame rate in the headers (x265 without VUI timing; ffmpeg's MPEG-4
    # Part 2 has no fixed VOP rate): the demuxer probes it from time stamps.
    "hevc_untimed": SRC_V + ["-t", "3", "-c:v", "libx265", "-x265-params",
                             "log-level=none:keyint=12:vui-timing-info=0:vui-hrd-info=0"] + ONE,
    "mpeg4_bframes": SRC_V + ["-t", "3", "-c:v", "mpeg4", "-g", "12", "-bf", "2"] + ONE,
    # Open GOPs: the pictures that follow a key frame in the file but show
    # before it. A zooming picture spends its bytes unevenly, so that byte
    # estimates land between a key frame and those pictures. One thread: the
    # same bytes on every machine.
    "hevc_open_gop": ["-f", "lavfi", "-i", "mandelbrot=size=128x96:rate=30000/1001", "-t", "6.2",
                      "-c:v", "libx265", "-x265-params",
                      "log-level=none:keyint=48:bframes=4:open-gop=1:pools=1:frame-threads=1"] + ONE,
    "h264_open_gop": ["-f", "lavfi", "-i", "mandelbrot=size=160x120:rate=25", "-t", "4", "-c:v", "libx264",
                      "-threads", "1", "-x264-params", "keyint=48:bframes=4:open-gop=1"] + ONE,
    "mpeg2_open_gop": ["-f", "lavfi", "-i", "mandelbrot=size=320x240:rate=25", "-t", "4", "-c:v",
                       "mpeg2video", "-threads", "1", "-g", "24", "-bf", "2"] + ONE,
    # Only unbounded video PES, over several MiB: the end-of-data search bisects it.
    "mpeg2_video_only": ["-f", "lavfi", "-i", "testsrc=size=640x480:rate=25", "-t", "4",
                         "-c:v", "mpeg2video", "-b:v", "8M", "-minrate", "8M", "-maxrate", "8M",
                         "-bufsize", "2M", "-g", "12"],
    # Three audio tracks of different codecs and rates beside the video.
    "three_audio": SRC_V + SRC_A + ["-f", "lavfi", "-i", "sine=frequency=880:sample_rate=44100",
                                    "-f", "lavfi", "-i", "sine=frequency=660:sample_rate=48000",
                                    "-t", "3", "-map", "0:v", "-map", "1:a", "-map", "2:a", "-map", "3:a",
                                    "-c:v", "libx264", "-g", "12", "-c:a:0", "aac", "-c:a:1", "mp2",
                                    "-c:a:2", "ac3"] + ONE,
    "multi_program": SRC_V + SRC_A + ["-f", "lavfi", "-i", "testsrc2=size=176x144:rate=30",
                                      "-f", "lavfi", "-i", "sine=frequency=880:sample_rate=44100",
                                      "-t", "3", "-map", "0:v", "-map", "1:a", "-map", "2:v", "-map", "3:a",
                                      "-c:v", "mpeg2video", "-g", "12", "-c:a", "mp2",
                                      "-program", "program_num=1:title=one:st=0:st=1",
                                      "-program", "program_num=2:title=two:st=2:st=3"] + ONE,
}


def ffmpeg(out, args):
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"] + args + [out],
                   check=True)


def packets(data, size=188):
    return [bytearray(data[i:i + size]) for i in range(0, len(data) - size + 1, size)]


def pid_of(p):
    return ((p[1] & 0x1F) << 8) | p[2]


def set_pid(p, pid):
    p[1] = (p[1] & 0xE0) | (pid >> 8)
    p[2] = pid & 0xFF


def crc32(data):
    crc = 0xFFFFFFFF
    for b in data:
        crc ^= b << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else crc << 1
            crc &= 0xFFFFFFFF
    return crc


def pmt_pid(pkts):
    """The PMT PID named by the first PAT."""
    for p in pkts:
        if pid_of(p) == 0 and p[1] & 0x40:
            s = p[5:]
            n = ((s[1] & 0x0F) << 8) | s[2]
            entries = s[8:3 + n - 4]
            for i in range(0, len(entries), 4):
                if (entries[i] << 8 | entries[i + 1]) != 0:
                    return ((entries[i + 2] & 0x1F) << 8) | entries[i + 3]
    raise SystemExit("no PAT")


def trailer(src, dst, extra):
    data = open(src, "rb").read()
    with open(dst, "wb") as f:
        for i, p in enumerate(packets(data)):
            f.write(p + bytes((i + k) & 0xFF for k in range(extra)))


def damaged(src, dst):
    """Stray bytes, a packet with transport_error_indicator, dropped video
    packets (continuity gaps) and a cut last packet."""
    pkts = packets(open(src, "rb").read())
    out = bytearray()
    video_seen = 0
    for i, p in enumerate(pkts):
        pid = pid_of(p)
        if pid == 0x100:
            video_seen += 1
            if video_seen in (40, 41, 200):
                continue  # a lost packet: continuity gap
        if i == 300:
            out += b"\x00\x47\x13"  # stray bytes between packets
        if i == 500:
            bad = bytearray(p)
            bad[1] |= 0x80  # transport_error_indicator: the packet is skipped by resync
            out += bad
            continue
        out += p
    out += pkts[-1][:100]
    open(dst, "wb").write(out)


def onesegment(src, dst):
    pkts = packets(open(src, "rb").read())
    pmt = pmt_pid(pkts)
    with open(dst, "wb") as f:
        for p in pkts:
            if pid_of(p) == 0:
                continue
            if pid_of(p) == pmt:
                set_pid(p, 0x1FC8)
            f.write(p)


def split_sections(src, dst):
    """Every PMT is rewritten as two packets: the first ends after the
    table_id, so the section header continues in the next packet."""
    pkts = packets(open(src, "rb").read())
    pmt = pmt_pid(pkts)
    cc = 0
    out = bytearray()
    for p in pkts:
        if pid_of(p) != pmt:
            out += p
            continue
        sec = p[5:]
        n = ((sec[1] & 0x0F) << 8) | sec[2]
        section = bytes(sec[:3 + n])
        assert crc32(section) == 0
        first = bytearray(b"\x47" + bytes([0x40 | (pmt >> 8), pmt & 0xFF, 0x10 | cc]))
        first += bytes([182]) + b"\xFF" * 182 + section[:1]
        cc = (cc + 1) & 15
        second = bytearray(b"\x47" + bytes([pmt >> 8, pmt & 0xFF, 0x10 | cc]))
        body = section[1:]
        second += body + b"\xFF" * (184 - len(body))
        cc = (cc + 1) & 15
        assert len(first) == 188 and len(second) == 188
        out += first + second
    open(dst, "wb").write(out)


class Bits:
    """The RBSP of a NAL unit as a string of '0' and '1' with a read position."""

    def __init__(self, rbsp):
        self.s = "".join(f"{b:08b}" for b in rbsp)
        self.at = 0

    def u(self, n):
        v = int(self.s[self.at:self.at + n], 2) if n else 0
        self.at += n
        return v

    def ue(self):
        zeros = 0
        while self.s[self.at + zeros] == "0":
            zeros += 1
        self.at += zeros + 1
        return (1 << zeros) - 1 + self.u(zeros)

    def se(self):
        v = self.ue()
        return (v + 1) // 2 if v & 1 else -(v // 2)


def unescape(nal):
    out, zeros = bytearray(), 0
    for b in nal:
        if zeros >= 2 and b == 3:
            zeros = 0
            continue
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return out


def escape(rbsp):
    out, zeros = bytearray(), 0
    for b in rbsp:
        if zeros >= 2 and b <= 3:
            out.append(3)
            zeros = 0
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return out


def sps_without_timing(nal):
    """An H.264 SPS NAL unit with its VUI timing information taken out."""
    r = Bits(unescape(nal[1:]))
    profile = r.u(8)
    r.u(16)
    r.ue()
    if profile in (100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135):
        if r.ue() == 3:
            r.u(1)
        r.ue()
        r.ue()
        r.u(1)
        assert r.u(1) == 0, "scaling lists are not expected from x264"
    r.ue()
    poc = r.ue()
    if poc == 0:
        r.ue()
    assert poc != 1, "picture order type 1 is not expected from x264"
    r.ue()
    r.u(1)
    r.ue()
    r.ue()
    if r.u(1) == 0:
        r.u(1)
    r.u(1)
    if r.u(1):
        for _ in range(4):
            r.ue()
    if r.u(1) == 0:
        return nal
    if r.u(1) and r.u(8) == 255:
        r.u(32)
    if r.u(1):
        r.u(1)
    if r.u(1):
        r.u(4)
        if r.u(1):
            r.u(24)
    if r.u(1):
        r.ue()
        r.ue()
    flag = r.at
    if r.u(1) == 0:
        return nal
    bits = r.s[:flag] + "0" + r.s[flag + 1 + 65:]
    # The RBSP's stop bit and trailing zeros come along; realign to bytes.
    bits = bits.rstrip("0")
    bits += "0" * (-len(bits) % 8)
    rbsp = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
    return nal[:1] + escape(rbsp)


def h264_untimed(dst):
    """H.264 whose SPS has no timing information, in a transport stream."""
    es = dst + ".h264"
    ffmpeg(es, SRC_V + ["-t", "3", "-c:v", "libx264", "-g", "12", "-bf", "0", "-f", "h264"])
    data = open(es, "rb").read()
    starts = [i for i in range(len(data) - 3) if data[i:i + 3] == b"\0\0\1"]
    out = bytearray()
    for n, at in enumerate(starts):
        end = starts[n + 1] if n + 1 < len(starts) else len(data)
        nal = data[at + 3:end]
        trail = len(nal) - len(nal.rstrip(b"\0"))  # the next start code's leading zero
        nal = nal[:len(nal) - trail]
        if nal and nal[0] & 0x1F == 7:
            nal = sps_without_timing(nal)
        out += b"\0\0\1" + nal + b"\0" * trail
    open(es, "wb").write(out)
    ffmpeg(dst, ["-r", "25", "-f", "h264", "-i", es, "-c", "copy"] + ONE)
    os.unlink(es)


# The fuzz target's input cap, and what the packet-size probe needs to read.
SEED_CAP = 20480
SEED_MIN = 19200


def fit_seed(path, packet):
    """Cuts a seed to as many whole packets as the fuzz target's cap holds."""
    data = open(path, "rb").read()
    open(path, "wb").write(data[:SEED_CAP // packet * packet])


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    if "--big" in sys.argv:
        mb = int(sys.argv[sys.argv.index("--big") + 1])
        seconds = max(4, mb * 8 // 40)  # about 40 Mbit/s
        ffmpeg(os.path.join(out, "big.ts"), SRC_V[:3] + ["testsrc=size=1280x720:rate=25"] + SRC_A +
               ["-t", str(seconds), "-c:v", "mpeg2video", "-b:v", "40M", "-minrate", "40M",
                "-maxrate", "40M", "-bufsize", "8M", "-g", "12", "-c:a", "mp2"])
        return
    for name, args in FFMPEG.items():
        ffmpeg(os.path.join(out, name + ".ts"), args)
    # Small seeds for the mutation test, each within the fuzz target's 20 KiB
    # input cap and above the 19,200 bytes that the packet-size probe reads:
    # a second and a half of video cut to whole packets.
    seeds = os.path.join(out, "seeds")
    # Seeds an earlier version of this maker left would be fed to the fuzz target too.
    shutil.rmtree(seeds, ignore_errors=True)
    os.makedirs(seeds, exist_ok=True)
    ffmpeg(os.path.join(seeds, "mpeg2_mp2.ts"),
           ["-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i",
            "sine=sample_rate=16000", "-t", "1.5", "-c:v", "mpeg2video", "-g", "5", "-c:a", "mp2",
            "-b:a", "32k"] + ONE)
    ffmpeg(os.path.join(seeds, "h264_aac.ts"),
           ["-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i",
            "sine=sample_rate=16000", "-t", "1.5", "-c:v", "libx264", "-g", "5", "-c:a", "aac",
            "-b:a", "24k"] + ONE)
    ffmpeg(os.path.join(seeds, "hevc_ac3.ts"),
           ["-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i",
            "sine=sample_rate=48000", "-t", "1.5", "-c:v", "libx265", "-x265-params",
            "log-level=none:keyint=5", "-c:a", "ac3", "-b:a", "64k"] + ONE)
    trailer(os.path.join(seeds, "mpeg2_mp2.ts"), os.path.join(seeds, "packets204.ts"), 16)
    onesegment(os.path.join(seeds, "h264_aac.ts"), os.path.join(seeds, "onesegment.ts"))
    for name in ("mpeg2_mp2.ts", "h264_aac.ts", "hevc_ac3.ts", "onesegment.ts", "packets204.ts"):
        fit_seed(os.path.join(seeds, name), 204 if name == "packets204.ts" else 188)
    for name in sorted(os.listdir(seeds)):
        size = os.path.getsize(os.path.join(seeds, name))
        if not SEED_MIN <= size <= SEED_CAP:
            raise SystemExit(f"seed {name} has {size} bytes, not within {SEED_MIN}..{SEED_CAP}")
    base = os.path.join(out, "mpeg2_mp2.ts")
    trailer(base, os.path.join(out, "packets204.ts"), 16)
    trailer(base, os.path.join(out, "packets208.ts"), 20)
    damaged(base, os.path.join(out, "damaged.ts"))
    onesegment(base, os.path.join(out, "onesegment.ts"))
    split_sections(base, os.path.join(out, "split_sections.ts"))
    h264_untimed(os.path.join(out, "h264_untimed.ts"))
    # The two-view file has a script of its own.
    subprocess.run([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                 "make_two_view.py"), out], check=True)


if __name__ == "__main__":
    main()
