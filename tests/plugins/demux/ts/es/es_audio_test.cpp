// Audio header parsing over hand-built frames: MPEG audio with frames cut
// between payloads, AC-3 / E-AC-3 with TrueHD interleaving, AAC in ADTS and
// LATM, DTS and LPCM, and the failure codes.
#include <gtest/gtest.h>

#include <vector>

#include "es_audio_samples.h"
#include "es_test_context.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Result {
  int32_t ok;
  int32_t error;
  int32_t line;
};

Result parse(uint32_t codec, const Bytes& bytes, AudioHeaderInfo& info) {
  Bytes copy(bytes);  // exactly sized, so over-reads show under the sanitizer
  EsTestContext ctx{};
  ctx.payload = copy.empty() ? nullptr : copy.data();
  ctx.length = int32_t(copy.size());
  Result r;
  r.ok = TSD_ParseAudioHeader(&ctx, codec, &info);
  r.error = ctx.lastError;
  r.line = ctx.errorLine;
  return r;
}

TEST(AudioHeader, FailureCodesAndDispatch) {
  AudioHeaderInfo a{};
  Bytes mp3 = mpegAudioFrame(3, 1, 9, 0, 0, 0, 417);
  Result r = parse(0xFFFF0004u, Bytes(mp3.begin(), mp3.begin() + 3), a);
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(r.error, -4001);
  EXPECT_EQ(r.line, 31);
  r = parse(0x12345678u, Bytes(4, 0), a);  // short payload is checked first, then the identifier
  EXPECT_EQ(r.error, -3002);
  EXPECT_EQ(r.line, 104);
  // Refused families: stream_type 0x0F in families 3 and 4, MPEG audio in 4 and 5.
  for (uint32_t codec : {0x3000Fu, 0x4000Fu, 0x40003u, 0x50003u, 0x50004u, 0xFFFF0087u}) {
    AudioHeaderInfo b{};
    EXPECT_EQ(parse(codec, adtsFrame(4, 2), b).error, -3002) << std::hex << codec;
  }
  Bytes noise(200, 0x42);
  for (uint32_t codec : {0xFFFF0003u, 0xFFFF000Fu, 0xFFFF0011u, 0xFFFF0081u, 0xFFFF0084u,
                         0xFFFF0082u}) {
    AudioHeaderInfo b{};
    r = parse(codec, noise, b);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.error, -3004) << std::hex << codec;
    EXPECT_EQ(r.line, 110);
  }
}

TEST(AudioHeader, MpegAudioHeadersAndFrameLengths) {
  struct Case {
    const char* name;
    uint32_t version, layer, br, sr, pad, mode;
    uint32_t tag, rate, kbps, channels, length;
  } cases[] = {
      {"MPEG-1 L3 128k 44.1k", 3, 1, 9, 0, 0, 0, 0x55, 44100, 128, 2, 417},
      {"MPEG-1 L3 padded", 3, 1, 9, 0, 1, 3, 0x55, 44100, 128, 1, 418},
      {"MPEG-2 L3 64k 22.05k", 2, 1, 8, 0, 0, 1, 0x55, 22050, 64, 2, 208},
      {"MPEG-2.5 L3 8k 8k", 0, 1, 1, 2, 0, 3, 0x55, 8000, 8, 1, 72},
      {"MPEG-1 L2 192k 48k", 3, 2, 10, 1, 0, 2, 0x50, 48000, 192, 2, 576},
      {"MPEG-2 L2 160k 24k", 2, 2, 14, 1, 0, 0, 0x50, 24000, 160, 2, 960},
      {"MPEG-1 L1 448k 32k", 3, 3, 14, 2, 1, 0, 0xCC01, 32000, 448, 2, 676},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes two = concat({mpegAudioFrame(c.version, c.layer, c.br, c.sr, c.pad, c.mode, c.length),
                        mpegAudioFrame(c.version, c.layer, c.br, c.sr, c.pad, c.mode, c.length)});
    AudioHeaderInfo a{};
    ASSERT_EQ(parse(0xFFFF0003u, two, a).ok, 1);
    EXPECT_EQ(a.formatTag, c.tag);
    EXPECT_EQ(a.sampleRate, c.rate);
    EXPECT_EQ(a.bitRate, c.kbps);
    EXPECT_EQ(a.channelCount, c.channels);
    EXPECT_EQ(a.bitsPerSample, 16u);
    // Two whole frames: the walk ends exactly at the end.
    EXPECT_EQ(a.frameLength, c.length);
    EXPECT_EQ(a.frameBytesSeen, c.length);
  }
  // Free format, bad bit rate, reserved version, layer or rate are no headers.
  for (Bytes bad : {mpegAudioFrame(3, 1, 0, 0, 0, 0, 64), mpegAudioFrame(3, 1, 15, 0, 0, 0, 64),
                    mpegAudioFrame(1, 1, 9, 0, 0, 0, 64), mpegAudioFrame(3, 0, 9, 0, 0, 0, 64),
                    mpegAudioFrame(3, 1, 9, 3, 0, 0, 64)}) {
    AudioHeaderInfo a{};
    EXPECT_EQ(parse(0xFFFF0004u, bad, a).error, -3004);
  }
}

TEST(AudioHeader, MpegAudioFrameCutBetweenPayloads) {
  // Frames of 417 bytes; payloads cut at 500, 150, then the rest.
  Bytes frame = mpegAudioFrame(3, 1, 9, 0, 0, 0, 417);
  Bytes stream = concat({frame, frame, frame});
  AudioHeaderInfo a{};
  ASSERT_EQ(parse(0xFFFF0004u, Bytes(stream.begin(), stream.begin() + 500), a).ok, 1);
  EXPECT_EQ(a.frameLength, 417u);
  EXPECT_EQ(a.frameBytesSeen, 83u);
  // The next payload is shorter than the missing 334 bytes.
  Result r = parse(0xFFFF0004u, Bytes(stream.begin() + 500, stream.begin() + 650), a);
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(r.error, -3004);
  EXPECT_EQ(a.frameBytesSeen, 233u);
  // The rest: 184 bytes skipped, then the third frame at the start.
  a.sampleRate = 0;
  ASSERT_EQ(parse(0xFFFF0004u, Bytes(stream.begin() + 650, stream.end()), a).ok, 1);
  EXPECT_EQ(a.sampleRate, 44100u);
  EXPECT_EQ(a.frameBytesSeen, 417u);
  // A payload that only finishes the cut frame fails and keeps the count.
  AudioHeaderInfo b{};
  ASSERT_EQ(parse(0xFFFF0004u, Bytes(stream.begin(), stream.begin() + 400), b).ok, 1);
  EXPECT_EQ(parse(0xFFFF0004u, Bytes(stream.begin() + 400, stream.begin() + 419), b).ok, 0);
  EXPECT_EQ(b.frameBytesSeen, 417u);
}

TEST(AudioHeader, Ac3FramesAndChannels) {
  struct Case {
    uint32_t fscod, frmsizecod, acmod, lfeon;
    uint32_t rate, kbps, channels, length;
  } cases[] = {
      {0, 12, 2, 0, 48000, 96, 2, 384}, {1, 13, 2, 0, 44100, 96, 2, 418},
      {1, 12, 2, 0, 44100, 96, 2, 416}, {2, 36, 7, 1, 32000, 640, 6, 3840},
      {0, 0, 0, 1, 48000, 32, 3, 128},  {0, 30, 1, 0, 48000, 448, 1, 1792},
      {0, 37, 5, 0, 48000, 640, 4, 2560},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frmsizecod);
    Bytes frame = ac3Frame(c.fscod, c.frmsizecod, c.acmod, c.lfeon, c.length);
    AudioHeaderInfo a{};
    ASSERT_EQ(parse(0x20081u, concat({frame, frame}), a).ok, 1);
    EXPECT_EQ(a.formatTag, 0x2000u);
    EXPECT_EQ(a.sampleRate, c.rate);
    EXPECT_EQ(a.bitRate, c.kbps);
    EXPECT_EQ(a.channelCount, c.channels);
    EXPECT_EQ(a.frameLength, c.length);
    EXPECT_EQ(a.frameBytesSeen, c.length);
    EXPECT_EQ(a.interleaved, 0u);
  }
  // Reserved sampling rate and frame size codes are no frames.
  for (Bytes bad : {ac3Frame(3, 12, 2, 0, 384), ac3Frame(0, 38, 2, 0, 384)}) {
    AudioHeaderInfo a{};
    EXPECT_EQ(parse(0xFFFF0081u, bad, a).error, -3004);
  }
}

TEST(AudioHeader, Ac3CutFramesAndShortRest) {
  Bytes frame = ac3Frame(0, 12, 2, 0, 384);
  Bytes stream = concat({frame, frame});
  AudioHeaderInfo a{};
  ASSERT_EQ(parse(0xFFFF0081u, Bytes(stream.begin(), stream.begin() + 300), a).ok, 1);
  EXPECT_EQ(a.frameBytesSeen, 300u);
  // 84 bytes finish the frame, leaving 5: too few for a header.
  EXPECT_EQ(parse(0xFFFF0081u, Bytes(stream.begin() + 300, stream.begin() + 389), a).ok, 0);
  EXPECT_EQ(a.frameBytesSeen, 384u + 5u);
  EXPECT_EQ(a.interleaved, 0u);
}

TEST(AudioHeader, Ac3InterleavedWithTrueHd) {
  Bytes frame = ac3Frame(0, 12, 5, 1, 384);
  Bytes truehd = {0x12, 0x34, 0x56, 0x78, 0xF8, 0x72, 0x6F, 0xBA, 0x00, 0x11, 0x22, 0x33};
  truehd.resize(100, 0x77);
  AudioHeaderInfo a{};
  // Frame, a separating byte run that holds a major sync, another frame.
  ASSERT_EQ(parse(0x20083u, concat({frame, truehd, frame}), a).ok, 1);
  EXPECT_EQ(a.interleaved, 1u);
  EXPECT_EQ(a.subKind, 3u);
  EXPECT_EQ(a.channelCount, 5u);
  // From now on a payload is described from its first frame only.
  Bytes other = ac3Frame(0, 14, 2, 0, 448);
  ASSERT_EQ(parse(0x20083u, concat({other, frame}), a).ok, 1);
  EXPECT_EQ(a.channelCount, 2u);
  EXPECT_EQ(a.frameLength, 448u);
}

TEST(AudioHeader, Eac3Frames) {
  struct Case {
    const char* name;
    Eac3 e;
    uint32_t rate, channels, kbps;
  };
  std::vector<Case> cases;
  cases.push_back({"independent 48k stereo", Eac3{}, 48000, 2, 0});
  {
    Eac3 e;
    e.fscod = 3;
    e.fscod2 = 1;
    e.acmod = 1;
    cases.push_back({"reduced rate 22.05k mono", e, 22050, 1, 0});
  }
  {
    Eac3 e;
    e.fscod = 3;
    e.fscod2 = 3;
    cases.push_back({"reserved reduced rate", e, 0, 2, 0});
  }
  {
    Eac3 e;
    e.strmtyp = 2;
    e.acmod = 7;
    e.lfeon = 1;
    e.numblkscod = 1;
    e.blkid = 1;
    e.frmsizecod = 28;
    cases.push_back({"strmtyp 2 with frame size code", e, 48000, 6, 384});
  }
  {
    Eac3 e;  // every block carries a mixing configuration flag
    e.acmod = 0;
    e.lfeon = 1;
    e.numblkscod = 2;
    e.mixdef = 2;
    cases.push_back({"dual mono metadata", e, 48000, 3, 0});
  }
  {
    Eac3 e;
    e.strmtyp = 2;
    e.numblkscod = 3;  // blkid is implied
    e.acmod = 0;
    e.frmsizecod = 10;
    cases.push_back({"six blocks, dual mono", e, 48000, 2, 80});
  }
  {
    Eac3 e;
    e.strmtyp = 1;
    e.numblkscod = 0;
    e.mixdef = 1;
    e.acmod = 6;
    cases.push_back({"dependent substream", e, 48000, 4, 0});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AudioHeaderInfo a{};
    a.frameLength = 7;
    a.interleaved = 1;
    ASSERT_EQ(parse(0xFFFF0084u, concat({Bytes{0x00, 0x0B}, eac3Frame(c.e)}), a).ok, 1);
    EXPECT_EQ(a.formatTag, 0x2000u);
    EXPECT_EQ(a.subKind, 4u);
    EXPECT_EQ(a.sampleRate, c.rate);
    EXPECT_EQ(a.channelCount, c.channels);
    EXPECT_EQ(a.bitRate, c.kbps);
    EXPECT_EQ(a.frameLength, 7u);  // walk state untouched
    EXPECT_EQ(a.interleaved, 1u);
  }
  // An AC-3 frame with bsid 16 is an E-AC-3 frame to the walker.
  AudioHeaderInfo a{};
  a.interleaved = 1;
  ASSERT_EQ(parse(0xFFFF0081u, eac3Frame(Eac3{}), a).ok, 1);
  EXPECT_EQ(a.subKind, 4u);
  EXPECT_EQ(a.interleaved, 0u);
  // An AC-3 frame given as E-AC-3 goes to the walker.
  AudioHeaderInfo b{};
  ASSERT_EQ(parse(0x10087u, concat({ac3Frame(0, 12, 7, 1, 384), ac3Frame(0, 12, 7, 1, 384)}), b).ok, 1);
  EXPECT_EQ(b.subKind, 0u);
  EXPECT_EQ(b.channelCount, 6u);
  EXPECT_EQ(b.frameLength, 384u);
  // Fewer than 7 bytes are not looked at.
  AudioHeaderInfo c{};
  EXPECT_EQ(parse(0xFFFF0084u, Bytes{0x0B, 0x77, 0, 0, 0, 0}, c).error, -3004);
}

TEST(AudioHeader, AdtsHeaders) {
  AudioHeaderInfo a{};
  ASSERT_EQ(parse(0xFFFF000Fu, adtsFrame(3, 6), a).ok, 1);
  EXPECT_EQ(a.formatTag, 0xAAC0u);
  EXPECT_EQ(a.sampleRate, 48000u);
  EXPECT_EQ(a.channelCount, 6u);
  EXPECT_EQ(a.bitsPerSample, 16u);
  // Sampling indices 13 and 15 are passed over; the next header is taken.
  Bytes bytes = concat({adtsFrame(13, 2, 20), adtsFrame(15, 2, 20), adtsFrame(12, 7, 40)});
  AudioHeaderInfo b{};
  ASSERT_EQ(parse(0x5000Fu, bytes, b).ok, 1);
  EXPECT_EQ(b.sampleRate, 7350u);
  EXPECT_EQ(b.channelCount, 8u);
  AudioHeaderInfo c{};
  Bytes shortFrame = adtsFrame(4, 2);
  shortFrame.resize(13);
  EXPECT_EQ(parse(0xFFFF000Fu, shortFrame, c).error, -3004);
}

TEST(AudioHeader, LatmStreamMuxConfig) {
  auto asc = [](auto write) {
    BitWriter w;
    write(w);
    size_t bits = w.data().size() * 8;
    return std::make_pair(w.data(), bits);
  };
  struct Case {
    const char* name;
    Bytes frame;
    uint32_t rate, channels;
  };
  std::vector<Case> cases;
  {
    Bytes lc = {0x12, 0x10};  // AAC LC, 44.1 kHz, stereo
    cases.push_back({"AAC LC", loasFrame(lc, 16), 44100, 2});
  }
  {
    auto a = asc([](BitWriter& w) { writeAsc(w, 2, 15, 1, 44100); w.put(0, 3); });
    cases.push_back({"explicit rate", loasFrame(a.first, a.second), 44100, 1});
  }
  {
    // Explicit SBR: core index 6 (24 kHz), extension index 3 (48 kHz).
    auto a = asc([](BitWriter& w) { writeAsc(w, 5, 6, 2); w.put(3, 4).put(2, 5).put(0, 3); });
    cases.push_back({"explicit SBR keeps the core rate", loasFrame(a.first, a.second), 24000, 2});
  }
  {
    // Configuration 0 with a program config element: front pair + front
    // single, back pair, one LFE.
    auto a = asc([](BitWriter& w) {
      writeAsc(w, 2, 3, 0);
      w.put(0, 1).put(0, 1).put(0, 1);
      w.put(0, 4).put(1, 2).put(3, 4).put(2, 4).put(0, 4).put(1, 4).put(1, 2).put(0, 3).put(0, 4);
      w.put(0, 1).put(0, 1).put(0, 1);
      w.put(1, 1).put(0, 4).put(0, 1).put(1, 4);  // front: pair, single
      w.put(1, 1).put(2, 4);                      // back: pair
      w.put(3, 4);                                // LFE
      w.put(0, 8);
    });
    cases.push_back({"program config element", loasFrame(a.first, a.second), 48000, 6});
  }
  {
    auto a = asc([](BitWriter& w) { writeAsc(w, 2, 4, 2); w.put(0, 3); });
    cases.push_back({"version 1 with ascLen", loasFrame(a.first, a.second, 0, 1), 44100, 2});
  }
  {
    auto a = asc([](BitWriter& w) { writeAsc(w, 42, 8, 1); });
    cases.push_back({"escaped object type", loasFrame(a.first, a.second), 16000, 1});
  }
  {
    Bytes lc = {0x11, 0x90};  // AAC LC, 48 kHz, stereo
    Bytes skipped = loasFrame(Bytes{}, 0, 1);
    Bytes versionA = loasFrame(lc, 16, 0, 1, 1);
    cases.push_back({"same mux and version A skipped", concat({skipped, versionA, loasFrame({0x13, 0x88}, 16)}),
                     22050, 1});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AudioHeaderInfo a{};
    a.formatTag = 0x1234;
    a.bitsPerSample = 99;
    ASSERT_EQ(parse(0xFFFF0011u, c.frame, a).ok, 1);
    EXPECT_EQ(a.sampleRate, c.rate);
    EXPECT_EQ(a.channelCount, c.channels);
    EXPECT_EQ(a.formatTag, 0x1234u);  // left to the caller
    EXPECT_EQ(a.bitsPerSample, 99u);
  }
  // An ascLen that reaches beyond the payload fails.
  Bytes lc = {0x12, 0x10};
  AudioHeaderInfo a{};
  Result r = parse(0x20011u, loasFrame(lc, 16, 0, 1, 0, 200), a);
  EXPECT_EQ(r.error, -3004);
  EXPECT_EQ(r.line, 110);
}

TEST(AudioHeader, DtsCoreHeader) {
  AudioHeaderInfo a{};
  ASSERT_EQ(parse(0xFFFF0082u, concat({Bytes{1, 2, 3}, dtsFrame(9, 13, 15, 5, 1)}), a).ok, 1);
  EXPECT_EQ(a.formatTag, 0x2001u);
  EXPECT_EQ(a.sampleRate, 48000u);
  EXPECT_EQ(a.channelCount, 5u);
  EXPECT_EQ(a.bitsPerSample, 24u);  // read behind the header CRC
  EXPECT_EQ(a.bitRate, 768u);
  ASSERT_EQ(parse(0x200A2u, dtsFrame(2, 8, 22, 0, 0), a).ok, 1);
  EXPECT_EQ(a.sampleRate, 44100u);
  EXPECT_EQ(a.bitsPerSample, 16u);
  EXPECT_EQ(a.bitRate, 1411u);
  // A reserved sampling code, channel arrangement or width: success,
  // nothing written.
  for (Bytes odd : {dtsFrame(2, 4, 15, 0, 0), dtsFrame(16, 13, 15, 0, 0), dtsFrame(2, 13, 15, 4, 0)}) {
    AudioHeaderInfo b{};
    b.sampleRate = 1;
    ASSERT_EQ(parse(0xFFFF0085u, odd, b).ok, 1);
    EXPECT_EQ(b.sampleRate, 1u);
    EXPECT_EQ(b.formatTag, 0u);
  }
  // The open, variable and lossless rate codes give bit rate 0.
  AudioHeaderInfo c{};
  c.bitRate = 5;
  ASSERT_EQ(parse(0xFFFF0086u, dtsFrame(2, 13, 30, 0, 0), c).ok, 1);
  EXPECT_EQ(c.sampleRate, 48000u);
  EXPECT_EQ(c.channelCount, 2u);
  EXPECT_EQ(c.bitRate, 0u);
  AudioHeaderInfo d{};
  Bytes shortFrame = dtsFrame(2, 13, 15, 0, 0);
  shortFrame.resize(13);
  EXPECT_EQ(parse(0xFFFF0082u, shortFrame, d).error, -3004);
}

TEST(AudioHeader, LpcmHeaders) {
  AudioHeaderInfo a{};
  ASSERT_EQ(parse(0x20080u, Bytes{0x00, 0x08, 0x14, 0x40, 0, 0, 0, 0}, a).ok, 1);
  EXPECT_EQ(a.formatTag, 1u);
  EXPECT_EQ(a.subKind, 9u);
  EXPECT_EQ(a.sampleRate, 96000u);
  EXPECT_EQ(a.channelCount, 2u);  // mono is carried as two channels
  EXPECT_EQ(a.bitsPerSample, 16u);
  ASSERT_EQ(parse(0x20080u, Bytes{0x00, 0x04, 0xB5, 0xC0}, a).ok, 1);
  EXPECT_EQ(a.sampleRate, 192000u);
  EXPECT_EQ(a.channelCount, 8u);
  EXPECT_EQ(a.bitsPerSample, 24u);
  Result r = parse(0x20080u, Bytes{0x00, 0x09, 0x31, 0x40, 0, 0, 0, 0}, a);
  EXPECT_EQ(r.error, -3004);

  AudioHeaderInfo d{};
  ASSERT_EQ(parse(0xFFFF0083u, Bytes{0xA0, 0x01, 0x80, 0x11}, d).ok, 1);
  EXPECT_EQ(d.subKind, 10u);
  EXPECT_EQ(d.bitsPerSample, 16u);
  EXPECT_EQ(d.sampleRate, 48000u);
  EXPECT_EQ(d.channelCount, 2u);
  ASSERT_EQ(parse(0x50083u, Bytes{0, 0, 0, 0x4D}, d).ok, 1);
  EXPECT_EQ(d.bitsPerSample, 0u);
  EXPECT_EQ(d.sampleRate, 44100u);
  EXPECT_EQ(d.channelCount, 0u);
}

// Headers cut at every length are read inside the payload: what lies beyond
// reads as zero bits.
TEST(AudioHeader, TruncatedHeadersReadZerosPastTheEnd) {
  Eac3 dependent;
  dependent.strmtyp = 2;
  dependent.acmod = 7;
  dependent.lfeon = 1;
  dependent.numblkscod = 1;
  struct Sample {
    uint32_t codec;
    Bytes bytes;
  } samples[] = {
      {0xFFFF0004u, mpegAudioFrame(3, 1, 9, 0, 0, 0, 417)},
      {0xFFFF0081u, ac3Frame(0, 12, 7, 1, 384)},
      {0xFFFF0084u, eac3Frame(Eac3{}, 64)},
      {0xFFFF0084u, eac3Frame(dependent, 64)},
      {0xFFFF000Fu, adtsFrame(3, 6, 20)},
      {0xFFFF0011u, loasFrame({0x11, 0x90}, 16, 0, 1)},
      {0xFFFF0082u, dtsFrame(9, 13, 15, 5, 1)},
      {0x20080u, Bytes{0x00, 0x04, 0xB5, 0xC0}},
      {0xFFFF0083u, Bytes{0, 0, 0, 0x01}},
  };
  for (const Sample& s : samples) {
    for (size_t len = 0; len <= s.bytes.size(); len++) {
      AudioHeaderInfo a{};
      Result r = parse(s.codec, Bytes(s.bytes.begin(), s.bytes.begin() + len), a);
      if (r.ok == 0) {
        EXPECT_NE(r.error, 0) << std::hex << s.codec << std::dec << " cut at " << len;
      }
    }
  }
  // PCMR 6 (24 bits) straddles the end of a 14-byte payload: its first bit
  // is there, the other two read as 0, and code 4 has no sample width.
  Bytes dts = dtsFrame(2, 13, 15, 6, 1);
  AudioHeaderInfo whole{};
  ASSERT_EQ(parse(0xFFFF0082u, dts, whole).ok, 1);
  EXPECT_EQ(whole.bitsPerSample, 24u);
  dts.resize(14);
  AudioHeaderInfo cut{};
  ASSERT_EQ(parse(0xFFFF0082u, dts, cut).ok, 1);
  EXPECT_EQ(cut.bitsPerSample, 0u);
  EXPECT_EQ(cut.sampleRate, 0u);
}

}  // namespace
