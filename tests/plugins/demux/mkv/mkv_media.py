#!/usr/bin/env python3
"""Matroska test media: files made with ffmpeg, and files re-muxed from them
by a small EBML reader and writer for what ffmpeg cannot write (lacing,
BlockGroups, header stripping, zlib, SeekHead chains, many tracks, negative
block times, damage).

  mkv_media.py OUTDIR        writes every fixture into OUTDIR
"""
import os
import shutil
import struct
import subprocess
import sys
import zlib

SEGMENT, SEEKHEAD, INFO, TRACKS, CLUSTER, CUES = 0x18538067, 0x114D9B74, 0x1549A966, 0x1654AE6B, 0x1F43B675, 0x1C53BB6B
TRACK_ENTRY, TIMECODE, SIMPLEBLOCK, BLOCKGROUP, BLOCK = 0xAE, 0xE7, 0xA3, 0xA0, 0xA1


# ---- reading ----

def read_vint(b, p, keep_marker=False):
    first = b[p]
    n = 1
    while n <= 8 and not first & (0x80 >> (n - 1)):
        n += 1
    v = first if keep_marker else first & (0xFF >> n)
    for i in range(1, n):
        v = v << 8 | b[p + i]
    return v, n


def elements(b, p, end):
    """(id, payload start, payload end) of each child in b[p:end]."""
    while p < end:
        eid, n = read_vint(b, p, True)
        size, m = read_vint(b, p + n)
        if size == (1 << (7 * m)) - 1:
            size = end - (p + n + m)
        start = p + n + m
        yield eid, start, min(start + size, end)
        p = start + size


def elements_at(b, p, end):
    """(element start, id, payload start, payload end) of each child in b[p:end]."""
    while p < end:
        eid, n = read_vint(b, p, True)
        size, m = read_vint(b, p + n)
        start = p + n + m
        if size == (1 << (7 * m)) - 1:
            size = end - start
        yield p, eid, start, min(start + size, end)
        p = start + size


def block_frames(b, s, e):
    """The frames of the Block or SimpleBlock payload b[s:e], lace by lace."""
    _, n = read_vint(b, s)
    p = s + n + 2
    lacing = (b[p] >> 1) & 3
    p += 1
    if not lacing:
        return [b[p:e]]
    count = b[p] + 1
    p += 1
    sizes = []
    if lacing == 1:
        for _ in range(count - 1):
            size = 0
            while True:
                size += b[p]
                p += 1
                if b[p - 1] != 255:
                    break
            sizes.append(size)
    elif lacing == 3:
        first, m = read_vint(b, p)
        p += m
        sizes.append(first)
        for _ in range(count - 2):
            raw, m = read_vint(b, p)
            p += m
            sizes.append(sizes[-1] + raw - ((1 << (7 * m - 1)) - 1))
    else:
        sizes = [(e - p) // count] * (count - 1)
    sizes.append(e - p - sum(sizes))
    frames = []
    for size in sizes:
        frames.append(b[p:p + size])
        p += size
    return frames


def clusters(path):
    """(start, end, frames) of every cluster: its byte range in the file and
    the payloads of its frames, laced ones split."""
    b = open(path, "rb").read()
    out = []
    for eid, s, e in elements(b, 0, len(b)):
        if eid != SEGMENT:
            continue
        for at, cid, cs, ce in elements_at(b, s, e):
            if cid != CLUSTER:
                continue
            frames = []
            for kid, ks, ke in elements(b, cs, ce):
                if kid == SIMPLEBLOCK:
                    frames += block_frames(b, ks, ke)
                elif kid == BLOCKGROUP:
                    for gid, gs, ge in elements(b, ks, ke):
                        if gid == BLOCK:
                            frames += block_frames(b, gs, ge)
            out.append((at, ce, frames))
    return out


def uint(b, s, e):
    v = 0
    for x in b[s:e]:
        v = v << 8 | x
    return v


def parse(path):
    """Tracks (raw TrackEntry payloads with number, type, codec, codec delay)
    and frames (track, time in ms, key, data) in file order."""
    b = open(path, "rb").read()
    tracks, frames = [], []
    for eid, s, e in elements(b, 0, len(b)):
        if eid != SEGMENT:
            continue
        for cid, cs, ce in elements(b, s, e):
            if cid == TRACKS:
                for tid, ts, te in elements(b, cs, ce):
                    if tid != TRACK_ENTRY:
                        continue
                    t = {"raw": b[ts:te], "delay": 0}
                    for fid, fs, fe in elements(b, ts, te):
                        if fid == 0xD7:
                            t["number"] = uint(b, fs, fe)
                        elif fid == 0x83:
                            t["type"] = uint(b, fs, fe)
                        elif fid == 0x86:
                            t["codec"] = b[fs:fe].decode()
                        elif fid == 0x56AA:
                            t["delay"] = uint(b, fs, fe)
                    tracks.append(t)
            elif cid == CLUSTER:
                tc = 0
                for kid, ks, ke in elements(b, cs, ce):
                    if kid == TIMECODE:
                        tc = uint(b, ks, ke)
                    elif kid in (SIMPLEBLOCK, BLOCKGROUP):
                        key = True
                        bs, be = ks, ke
                        if kid == BLOCKGROUP:
                            for gid, gs, ge in elements(b, ks, ke):
                                if gid == BLOCK:
                                    bs, be = gs, ge
                                elif gid == 0xFB:
                                    key = False
                        track, n = read_vint(b, bs)
                        rel = struct.unpack(">h", b[bs + n:bs + n + 2])[0]
                        flags = b[bs + n + 2]
                        if kid == SIMPLEBLOCK:
                            key = bool(flags & 0x80)
                        frames.append({"track": track, "time": tc + rel, "tc": tc, "rel": rel, "key": key,
                                       "data": b[bs + n + 3:be]})
    return tracks, frames


def segment_times(path):
    """The TimecodeScale (ns per tick), the Cues' times and every cluster's
    Timecode, in ticks and file order."""
    b = open(path, "rb").read()
    scale, cues, clusters_tc = 1000000, [], []
    for eid, s, e in elements(b, 0, len(b)):
        if eid != SEGMENT:
            continue
        for cid, cs, ce in elements(b, s, e):
            if cid == INFO:
                for iid, i_s, i_e in elements(b, cs, ce):
                    if iid == 0x2AD7B1:
                        scale = uint(b, i_s, i_e)
            elif cid == CUES:
                for pid, ps, pe in elements(b, cs, ce):
                    for qid, qs, qe in elements(b, ps, pe):
                        if pid == 0xBB and qid == 0xB3:
                            cues.append(uint(b, qs, qe))
            elif cid == CLUSTER:
                for kid, ks, ke in elements(b, cs, ce):
                    if kid == TIMECODE:
                        clusters_tc.append(uint(b, ks, ke))
                        break
    return scale, cues, clusters_tc


def time_origin(path):
    """The start timecode (ms) and each track's codec delay in ms as ffmpeg
    rounds it, in track order: ffprobe's time of a frame plus its track's
    delay, minus the start, is the library's time."""
    tracks, frames = parse(path)
    scale = segment_times(path)[0]
    start = (frames[0]["tc"] + max(0, frames[0]["rel"])) * scale / 1e6 if frames else 0
    return start, [int(t["delay"] / 1e6 + 0.5) for t in tracks]


def seek_points(path, indexed=False):
    """The times (ms from the start timecode, as the library truncates them)
    of the points a seek starts from: the Cues, or without them, once op 3002
    has indexed the file, every cluster but the last."""
    scale, cues, clusters_tc = segment_times(path)
    tracks, frames = parse(path)
    start = frames[0]["tc"] + max(0, frames[0]["rel"]) if frames else 0
    ticks = cues if cues else clusters_tc[:-1] if indexed else []
    return [max(0, t - start) * scale // 1000000 for t in ticks]


# ---- writing ----

def id_bytes(eid):
    n = (eid.bit_length() + 7) // 8
    return eid.to_bytes(n, "big")


def size_bytes(n, width=None):
    w = width or next(w for w in range(1, 9) if n < (1 << (7 * w)) - 1)
    return ((1 << (7 * w)) | n).to_bytes(w, "big")[-w:] if w < 8 else (b"\x01" + n.to_bytes(7, "big"))


def el(eid, payload, width=None):
    return id_bytes(eid) + size_bytes(len(payload), width) + payload


def u(eid, v):
    return el(eid, v.to_bytes(max(1, (v.bit_length() + 7) // 8), "big"))


def f64(eid, v):
    return el(eid, struct.pack(">d", v))


def s(eid, text):
    return el(eid, text.encode())


def ebml_header(doc="matroska"):
    return el(0x1A45DFA3, u(0x4286, 1) + u(0x42F7, 1) + u(0x42F2, 4) + u(0x42F3, 8) + s(0x4282, doc) +
              u(0x4287, 4) + u(0x4285, 2))


def xiph_sizes(sizes):
    out = b""
    for n in sizes[:-1]:
        out += b"\xff" * (n // 255) + bytes([n % 255])
    return out


def svint(v, width):
    bias = (1 << (7 * width - 1)) - 1
    return ((1 << (7 * width)) | (v + bias)).to_bytes(width, "big")


def ebml_sizes(sizes):
    out = size_bytes(sizes[0])
    for a, b in zip(sizes, sizes[1:-1]):
        out += svint(b - a, 2)
    return out


def block_payload(track, rel, flags, frames, lacing=0):
    head = size_bytes(track) + struct.pack(">h", rel)
    if len(frames) == 1 and not lacing:
        return head + bytes([flags]) + frames[0]
    sizes = [len(x) for x in frames]
    if lacing == 1:
        lace = xiph_sizes(sizes)
    elif lacing == 3:
        lace = ebml_sizes(sizes)
    else:
        assert len(set(sizes)) == 1
        lace = b""
    return head + bytes([flags | (lacing << 1), len(frames) - 1]) + lace + b"".join(frames)


def build(tracks, frames, *, lace=None, lace_track=None, lace_count=4, groups=False, cues=True, seekhead="plain",
          cluster_ms=1000, strip=None, rel_bias=0, title=None, extra_tracks=0, doc="matroska", default_duration=None):
    """A Matroska file from parsed tracks and frames. lace: 1 Xiph, 2 fixed,
    3 EBML, applied to lace_track; strip: (track, header bytes) for header
    stripping; rel_bias: every cluster timecode is rel_bias ms later than its
    first block, so blocks carry negative relative times."""
    track_payload = b""
    for t in tracks:
        raw = t["raw"]
        if strip and t["number"] == strip[0]:
            enc = el(0x6240, u(0x5031, 0) + u(0x5032, 1) + u(0x5033, 0) +
                     el(0x5034, u(0x4254, 3) + el(0x4255, strip[1])))
            raw += el(0x6D80, enc)
        if default_duration and t["number"] == lace_track:
            raw += u(0x23E383, default_duration)
        track_payload += el(TRACK_ENTRY, raw)
    for i in range(extra_tracks):
        track_payload += el(TRACK_ENTRY, u(0xD7, 100 + i) + u(0x73C5, 5000 + i) + u(0x83, 0x11) + s(0x86, "S_TEXT/UTF8"))
    info = u(0x2AD7B1, 1000000) + s(0x4D80, "holvik-tests") + s(0x5741, "holvik-tests")
    if title:
        info += s(0x7BA9, title)
    last = max(fr["time"] for fr in frames)
    info += f64(0x4489, float(last + 40))

    # Group frames into blocks.
    blocks = []
    pending = []
    for fr in frames:
        if lace and fr["track"] == lace_track:
            pending.append(fr)
            if len(pending) == lace_count:
                blocks.append(pending)
                pending = []
        else:
            blocks.append([fr])
    if pending:
        blocks.append(pending)
    blocks.sort(key=lambda blk: (blk[0]["time"]))

    clusters = []  # (timecode, [payload bytes], first key video time or None)
    cur = None
    for blk in blocks:
        t0 = blk[0]["time"]
        if cur is None or t0 - cur[0] + rel_bias >= cluster_ms or t0 - cur[0] + rel_bias > 30000:
            cur = [t0 + rel_bias, [], None]
            clusters.append(cur)
        track = blk[0]["track"]
        data = [fr["data"] for fr in blk]
        if strip and track == strip[0]:
            assert all(d.startswith(strip[1]) for d in data)
            data = [d[len(strip[1]):] for d in data]
        rel = t0 - cur[0]
        key = blk[0]["key"]
        if cur[2] is None and key and tracks[track - 1].get("type") == 1:
            cur[2] = t0
        if groups:
            body = el(BLOCK, block_payload(track, rel, 0, data, lace if len(blk) > 1 else 0))
            if not key:
                body += el(0xFB, struct.pack(">b", -40))
            cur[1].append(el(BLOCKGROUP, body))
        else:
            cur[1].append(el(SIMPLEBLOCK, block_payload(track, rel, 0x80 if key else 0, data,
                                                        lace if len(blk) > 1 else 0)))

    video = next((t["number"] for t in tracks if t.get("type") == 1), tracks[0]["number"])
    head_parts = [el(INFO, info), el(TRACKS, track_payload)]
    # SeekHead sized for fixed-width positions so it can be written before the
    # positions are known.
    def seek_entry(eid, pos):
        return el(0x4DBB, el(0x53AB, id_bytes(eid)) + el(0x53AC, pos.to_bytes(8, "big")))

    cluster_bytes = [el(CLUSTER, u(TIMECODE, c[0]) + b"".join(c[1])) for c in clusters]

    def cue_bytes(base):
        out = b""
        pos = base
        for c, raw in zip(clusters, cluster_bytes):
            if c[2] is not None:
                out += el(0xBB, u(0xB3, c[2]) + el(0xB7, u(0xF7, video) + u(0xF1, pos)))
            pos += len(raw)
        return el(CUES, out)

    n_seek = 4 if seekhead != "none" else 0
    seek_len = len(el(SEEKHEAD, b"".join(seek_entry(INFO, 0) for _ in range(n_seek)))) if n_seek else 0
    head = b"".join(head_parts)
    first_cluster = seek_len + len(head)
    body = b"".join(cluster_bytes)
    tail = b""
    cues_pos = first_cluster + len(body)
    if cues:
        tail = cue_bytes(first_cluster)
    seek = b""
    if n_seek:
        entries = [seek_entry(INFO, seek_len), seek_entry(TRACKS, seek_len + len(head_parts[0]))]
        if seekhead == "plain":
            entries += [seek_entry(CLUSTER, first_cluster)]
            entries += [seek_entry(CUES, cues_pos) if cues else seek_entry(0x10FFFFFF, 0)]
        else:
            # A second SeekHead after the cues names the Cues; "loop" makes it
            # point back at the first.
            second_pos = cues_pos + len(tail)
            entries += [seek_entry(CLUSTER, first_cluster), seek_entry(SEEKHEAD, second_pos)]
            back = [seek_entry(CUES, cues_pos)]
            if seekhead == "loop":
                back.append(seek_entry(SEEKHEAD, 0))
            tail += el(SEEKHEAD, b"".join(back))
        seek = el(SEEKHEAD, b"".join(entries))
        assert len(seek) == seek_len
    segment = seek + head + body + tail
    return ebml_header(doc) + el(SEGMENT, segment, 8)


def ffmpeg(out, *args):
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y"] + list(args) + [out], check=True)


SRC_V = ["-f", "lavfi", "-i", "testsrc=size=320x240:rate=25"]
SRC_A = ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000"]


def make_all(out):
    os.makedirs(out, exist_ok=True)
    j = lambda name: os.path.join(out, name)
    ffmpeg(j("h264_aac.mkv"), *SRC_V, *SRC_A, "-t", "6", "-c:v", "libx264", "-g", "25", "-bf", "2", "-c:a", "aac",
           "-b:a", "64k")
    ffmpeg(j("hevc_ac3.mkv"), *SRC_V, *SRC_A, "-t", "5", "-c:v", "libx265", "-x265-params", "log-level=error:keyint=25",
           "-c:a", "ac3", "-b:a", "96k")
    ffmpeg(j("vp8_vorbis.webm"), *SRC_V, *SRC_A, "-t", "5", "-c:v", "libvpx", "-b:v", "300k", "-g", "30",
           "-c:a", "libvorbis")
    ffmpeg(j("vp9_opus.webm"), *SRC_V, *SRC_A, "-t", "5", "-c:v", "libvpx-vp9", "-b:v", "300k", "-g", "30",
           "-c:a", "libopus")
    # VP9 with an alpha plane: every frame carries it in a BlockAddition.
    ffmpeg(j("vp9_alpha.webm"), "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25,format=yuva420p", *SRC_A,
           "-t", "3", "-c:v", "libvpx-vp9", "-pix_fmt", "yuva420p", "-b:v", "200k", "-g", "25", "-c:a", "libopus")
    # Clusters of at most 100 ms: many cue points, seeks that cross many
    # clusters.
    ffmpeg(j("small_clusters.mkv"), *SRC_V, *SRC_A, "-t", "10", "-c:v", "libx264", "-g", "25", "-bf", "2",
           "-c:a", "aac", "-b:a", "64k", "-cluster_size_limit", "2048", "-cluster_time_limit", "100")
    ffmpeg(j("cues_front.mkv"), *SRC_V, *SRC_A, "-t", "4", "-c:v", "libx264", "-g", "25", "-c:a", "aac",
           "-cues_to_front", "1")
    srt = j("subs.srt")
    with open(srt, "w") as f:
        f.write("1\n00:00:00,500 --> 00:00:01,500\nHello\n\n2\n00:00:02,000 --> 00:00:03,000\nWorld\n\n"
                "3\n00:00:03,200 --> 00:00:03,900\nAgain\n")
    ffmpeg(j("subtitles.mkv"), *SRC_V, *SRC_A, "-i", srt, "-map", "0", "-map", "1", "-map", "2", "-t", "4",
           "-c:v", "libx264", "-g", "25", "-c:a", "aac", "-c:s", "srt")
    os.unlink(srt)
    # A 32x32 picture beside FLAC frames many times its size, growing with
    # the noise they carry.
    ffmpeg(j("tiny_video_flac.mkv"), "-f", "lavfi", "-i", "testsrc=size=32x32:rate=25", "-f", "lavfi", "-i",
           "aevalsrc=exprs=(random(0)*2-1)*min(1\\,t/3):s=48000", "-t", "4", "-c:v", "libx264", "-g", "25",
           "-c:a", "flac")
    ffmpeg(j("audio_only.mka"), *SRC_A, "-t", "5", "-c:a", "flac")
    # Title, an attachment and chapters.
    meta = j("chapters.txt")
    with open(meta, "w") as f:
        f.write(";FFMETADATA1\ntitle=Holvik title\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=2000\ntitle=One\n"
                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=2000\nEND=4000\ntitle=Two\n")
    ffmpeg(j("title_attachment_chapters.mkv"), *SRC_V, *SRC_A, "-i", meta, "-map", "0", "-map", "1",
           "-map_metadata", "2", "-map_chapters", "2", "-t", "4", "-attach", meta, "-metadata:s:t",
           "mimetype=text/plain", "-c:v", "libx264", "-g", "25", "-c:a", "aac")
    os.unlink(meta)
    # Compatibility-mode tracks.
    ffmpeg(j("vfw_acm.mkv"), *SRC_V, *SRC_A, "-t", "3", "-c:v", "msmpeg4v2", "-c:a", "adpcm_ms")
    ffmpeg(j("alac.mka"), *SRC_A, "-t", "3", "-c:a", "alac")
    # Two audio tracks of different codecs beside the video.
    ffmpeg(j("two_audio.mkv"), *SRC_V, *SRC_A, "-f", "lavfi", "-i", "sine=frequency=880:sample_rate=44100",
           "-map", "0", "-map", "1", "-map", "2", "-t", "4", "-c:v", "libx264", "-g", "25", "-c:a:0", "aac",
           "-c:a:1", "ac3", "-b:a:1", "96k")
    # Re-muxed by mkvmerge: its lacing of AC-3 and Vorbis, and a
    # compatibility-mode video track from an AVI source.
    for name, src, args in (("mkvmerge_ac3.mkv", "src.mkv", ["-c:v", "libx264", "-g", "25", "-c:a", "ac3"]),
                            ("mkvmerge_vorbis.mkv", "src.webm", ["-c:v", "libvpx", "-g", "25", "-c:a", "libvorbis"]),
                            ("mkvmerge_vfw.mkv", "src.avi", ["-c:v", "msmpeg4v2", "-c:a", "mp3", "-ar", "22050"])):
        ffmpeg(j(src), *SRC_V, *SRC_A, "-t", "3", *args)
        subprocess.run(["mkvmerge", "-q", "-o", j(name), j(src)], check=True)
        os.unlink(j(src))
    # A cue point on every video frame and clusters of five blocks: the cue
    # points do not lead to key frames, and a seek searches linearly.
    ffmpeg(j("src_cues.mkv"), *SRC_V, *SRC_A, "-t", "6", "-c:v", "libx264", "-g", "25", "-bf", "2", "-c:a", "aac",
           "-b:a", "64k")
    subprocess.run(["mkvmerge", "-q", "-o", j("cue_every_frame.mkv"), "--cluster-length", "5", "--cues", "0:all",
                    j("src_cues.mkv")], check=True)
    os.unlink(j("src_cues.mkv"))
    # From a pipe: unknown segment size, no cues.
    with open(j("pipe.mkv"), "wb") as f:
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error"] + SRC_V + SRC_A +
                       ["-t", "4", "-c:v", "libx264", "-g", "25", "-c:a", "aac", "-f", "matroska", "pipe:1"],
                       check=True, stdout=f)
    # Sources for the re-muxed files.
    ffmpeg(j("src_ac3.mkv"), *SRC_V, "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", "4",
           "-c:v", "libx264", "-g", "25", "-bf", "0", "-c:a", "ac3", "-b:a", "96k")
    tracks, frames = parse(j("src_ac3.mkv"))
    audio = next(t["number"] for t in tracks if t["type"] == 2)
    dd = int(1536 * 1e9 / 44100)
    for name, lace in (("xiph_lacing.mkv", 1), ("ebml_lacing.mkv", 3)):
        open(j(name), "wb").write(build(tracks, frames, lace=lace, lace_track=audio, lace_count=5,
                                        default_duration=dd))
    # Laced blocks that start before the start timecode: their frames run on
    # from the block's own time.
    open(j("laced_negative_times.mkv"), "wb").write(build(tracks, frames, lace=1, lace_track=audio, lace_count=5,
                                                          default_duration=dd, rel_bias=300))
    ffmpeg(j("src_ac3_48k.mkv"), *SRC_V, *SRC_A, "-t", "4", "-c:v", "libx264", "-g", "25", "-bf", "0",
           "-c:a", "ac3", "-b:a", "96k")
    t48, f48 = parse(j("src_ac3_48k.mkv"))
    a48 = next(t["number"] for t in t48 if t["type"] == 2)
    open(j("fixed_lacing.mkv"), "wb").write(build(t48, f48, lace=2, lace_track=a48, lace_count=6,
                                                  default_duration=32000000))
    open(j("blockgroups.mkv"), "wb").write(build(tracks, frames, groups=True))
    open(j("no_cues.mkv"), "wb").write(build(tracks, frames, cues=False))
    open(j("header_strip.mkv"), "wb").write(build(tracks, frames, strip=(audio, b"\x0b\x77")))
    open(j("seekhead_chain.mkv"), "wb").write(build(tracks, frames, seekhead="chain"))
    open(j("seekhead_loop.mkv"), "wb").write(build(tracks, frames, seekhead="loop"))
    open(j("many_tracks.mkv"), "wb").write(build(tracks, frames, extra_tracks=130))
    open(j("negative_times.mkv"), "wb").write(build(tracks, frames, rel_bias=300))
    # zlib: every audio frame compressed, delivered as stored.
    zt = [dict(t) for t in tracks]
    for t in zt:
        if t["number"] == audio:
            t["raw"] = t["raw"] + el(0x6D80, el(0x6240, el(0x5034, u(0x4254, 0))))
    zf = [dict(fr, data=zlib.compress(fr["data"])) if fr["track"] == audio else fr for fr in frames]
    open(j("zlib.mkv"), "wb").write(build(zt, zf))
    # The header of a cluster in the middle overwritten with garbage.
    data = bytearray(open(j("no_cues.mkv"), "rb").read())
    mid = data.find(b"\x1f\x43\xb6\x75", len(data) // 2)
    data[mid:mid + 64] = bytes((i * 37 + 11) & 0xFF for i in range(64))
    open(j("damaged.mkv"), "wb").write(bytes(data))
    # Times between the milliseconds: mkvmerge's time scale of 10 us over
    # 30000/1001 frames per second, and its sample-exact scale of an
    # audio-only Vorbis file (unlaced, so that every frame has its own time).
    ffmpeg(j("src_ntsc.mp4"), "-f", "lavfi", "-i", "testsrc=size=160x120:rate=30000/1001", *SRC_A, "-t", "6",
           "-c:v", "libx264", "-g", "25", "-bf", "2", "-c:a", "aac", "-b:a", "64k")
    subprocess.run(["mkvmerge", "-q", "-o", j("fine_time_scale.mkv"), "--timestamp-scale", "10000",
                    j("src_ntsc.mp4")], check=True)
    os.unlink(j("src_ntsc.mp4"))
    ffmpeg(j("src_vorbis.mka"), *SRC_A, "-t", "8", "-c:a", "libvorbis")
    subprocess.run(["mkvmerge", "-q", "-o", j("vorbis.mka"), "--disable-lacing", j("src_vorbis.mka")], check=True)
    os.unlink(j("src_vorbis.mka"))
    # mkvmerge's clusters of 200 ms around H.264 with B-frames and MP3, and a
    # copy with two 20,000-byte stretches early in the file swapped: damage
    # inside clusters, with whole clusters moved among it.
    ffmpeg(j("src_clusters.mkv"), *SRC_V, *SRC_A, "-t", "15", "-c:v", "libx264", "-g", "25", "-bf", "2",
           "-c:a", "libmp3lame", "-b:a", "64k")
    subprocess.run(["mkvmerge", "-q", "-o", j("clusters_200ms.mkv"), "--cluster-length", "200ms",
                    j("src_clusters.mkv")], check=True)
    os.unlink(j("src_clusters.mkv"))
    # mkvmerge without Cues, the audio ending first: the last block is a
    # B-frame, shown before the frame stored ahead of it.
    ffmpeg(j("src_no_cues.mkv"), *SRC_V, "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=14.8",
           "-t", "15", "-c:v", "libx264", "-g", "25", "-bf", "2", "-c:a", "libmp3lame", "-b:a", "64k")
    subprocess.run(["mkvmerge", "-q", "-o", j("mkvmerge_no_cues.mkv"), "--no-cues", j("src_no_cues.mkv")], check=True)
    os.unlink(j("src_no_cues.mkv"))
    data = bytearray(open(j("clusters_200ms.mkv"), "rb").read())
    first, second, n = 30000, 60000, 20000
    data[first:first + n], data[second:second + n] = data[second:second + n], data[first:first + n]
    open(j("clusters_200ms_swapped.mkv"), "wb").write(bytes(data))
    # Two video tracks and no Cues: the index comes from the cluster scan.
    ffmpeg(j("src_two_video.mkv"), *SRC_V, "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-map", "0",
           "-map", "1", "-t", "4", "-c:v", "libx264", "-g", "25", "-bf", "0")
    t2, f2 = parse(j("src_two_video.mkv"))
    open(j("two_video_no_cues.mkv"), "wb").write(build(t2, f2, cues=False))
    os.unlink(j("src_two_video.mkv"))
    os.unlink(j("src_ac3.mkv"))
    os.unlink(j("src_ac3_48k.mkv"))
    make_seeds(j("seeds"))


# The fuzz target's input cap: every seed is a whole file within it, so the
# cues and the end of the file are read from the first run on.
SEED_CAP = 16384


def make_seeds(seeds):
    """Small whole files for the mutation and fuzz runs: a second of 64x48
    video in clusters of 200 ms, re-built laced, in block groups, with a
    looping SeekHead and compressed, and as ffmpeg and mkvmerge write it.
    The same bytes every run (no random UIDs): the faults the fuzz harness
    injects, and so what the seeds reach, follow from their bytes."""
    # Seeds an earlier version of this maker left would be fed to the fuzz target too.
    shutil.rmtree(seeds, ignore_errors=True)
    os.makedirs(seeds, exist_ok=True)
    s = lambda name: os.path.join(seeds, name)
    tiny_v = ["-f", "lavfi", "-i", "testsrc=size=64x48:rate=25"]
    ffmpeg(s("src.mkv"), *tiny_v, "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", "1",
           "-c:v", "libx264", "-g", "10", "-bf", "0", "-crf", "45", "-c:a", "ac3", "-b:a", "32k",
           "-fflags", "+bitexact")
    tracks, frames = parse(s("src.mkv"))
    os.unlink(s("src.mkv"))
    audio = next(t["number"] for t in tracks if t["type"] == 2)
    dd = int(1536 * 1e9 / 44100)
    for name, lace in (("xiph_lacing.mkv", 1), ("ebml_lacing.mkv", 3)):
        open(s(name), "wb").write(build(tracks, frames, lace=lace, lace_track=audio, lace_count=3,
                                        default_duration=dd, cluster_ms=200))
    open(s("blockgroups.mkv"), "wb").write(build(tracks, frames, groups=True, cluster_ms=200))
    open(s("seekhead_loop.mkv"), "wb").write(build(tracks, frames, seekhead="loop", cluster_ms=200))
    zt = [dict(t) for t in tracks]
    for t in zt:
        if t["number"] == audio:
            t["raw"] = t["raw"] + el(0x6D80, el(0x6240, el(0x5034, u(0x4254, 0))))
    zf = [dict(fr, data=zlib.compress(fr["data"])) if fr["track"] == audio else fr for fr in frames]
    open(s("zlib.mkv"), "wb").write(build(zt, zf, cluster_ms=200))
    ffmpeg(s("vp9_opus.webm"), *tiny_v, "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t", "0.6",
           "-c:v", "libvpx-vp9", "-b:v", "20k", "-g", "5", "-c:a", "libopus", "-b:a", "8k",
           "-cluster_time_limit", "200", "-fflags", "+bitexact")
    ffmpeg(s("src.webm"), *tiny_v, "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050", "-t", "0.6",
           "-c:v", "libvpx", "-b:v", "20k", "-g", "5", "-c:a", "libvorbis", "-ac", "1", "-b:a", "32k",
           "-fflags", "+bitexact")
    subprocess.run(["mkvmerge", "-q", "--deterministic", "1", "-o", s("mkvmerge_vorbis.mkv"), s("src.webm")],
                   check=True)
    os.unlink(s("src.webm"))
    for name in sorted(os.listdir(seeds)):
        size = os.path.getsize(s(name))
        if size > SEED_CAP:
            raise SystemExit(f"seed {name} has {size} bytes, more than the fuzz target's {SEED_CAP}")


if __name__ == "__main__":
    make_all(sys.argv[1])
