// The decoder against ffmpeg's own decode of the same file: WAV files through
// the media host's decode command, AIFF files (big-endian PCM, QuickTime IMA)
// and BD streams through the library's entry.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "pcmdec_driver.h"

using namespace pcmtest;

namespace {

// The shell command that starts the media host built beside this test: under
// $HOLVIK_EMULATOR where the machine cannot run its 32-bit programs.
std::string mediahostCommand() {
  const char* emulator = std::getenv("HOLVIK_EMULATOR");
  const std::string host = MEDIAHOST_PATH;
  return emulator && *emulator ? std::string(emulator) + " " + host : host;
}

const char* kSource =
    "-f lavfi -i sine=f=440:r=44100:d=1 -f lavfi -i anoisesrc=r=44100:d=1:a=0.3:seed=7 "
    "-filter_complex \"[0][1]amix=inputs=2,volume=1.8\"";

// The same mix at 48 kHz, for the BD and DVD streams.
const char* kSource48k =
    "-f lavfi -i sine=f=440:r=48000:d=0.5 -f lavfi -i anoisesrc=r=48000:d=0.5:a=0.3 "
    "-filter_complex \"[0][1]amix=inputs=2,volume=1.8\"";

const int kSteps[89] = {
      7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55, 60, 66,
      73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408, 449,
      494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066, 2272,
      2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871, 5358, 5894, 6484, 7132, 7845, 8630, 9493,
      10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

std::vector<int32_t> widen(const std::vector<int16_t>& v) { return std::vector<int32_t>(v.begin(), v.end()); }

struct WavCase {
  const char* name;
  const char* codec;
  int channels;
  const char* encoderArgs;
  int chunk;
};

// Sample for sample: linear PCM, G.711 and Microsoft ADPCM.
TEST(PcmDecOracle, WavFilesMatchFfmpegSampleForSample) {
  const WavCase cases[] = {
      {"u8_mono", "pcm_u8", 1, "", 4096},
      {"u8_stereo", "pcm_u8", 2, "", 999},
      {"s16_mono", "pcm_s16le", 1, "", 4096},
      {"s16_stereo", "pcm_s16le", 2, "", 1002},
      {"s16_6ch", "pcm_s16le", 6, "", 4096},
      {"s24_mono", "pcm_s24le", 1, "", 4096},
      {"s24_stereo", "pcm_s24le", 2, "", 1001},
      {"alaw_mono", "pcm_alaw", 1, "", 4096},
      {"alaw_3ch", "pcm_alaw", 3, "", 1000},
      {"mulaw_stereo", "pcm_mulaw", 2, "", 4096},
      {"mulaw_3ch", "pcm_mulaw", 3, "", 1000},
      {"ms_mono_256", "adpcm_ms", 1, "-block_size 256", 4096},
      {"ms_mono_1024", "adpcm_ms", 1, "-block_size 1024", 777},
      {"ms_stereo_512", "adpcm_ms", 2, "-block_size 512", 4096},
      {"ms_stereo_2048", "adpcm_ms", 2, "-block_size 2048", 4096},
      {"ms_stereo_4096", "adpcm_ms", 2, "-block_size 4096", 1000},
  };
  for (const WavCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string base = workDir() + "/" + c.name;
    ASSERT_TRUE(ffmpeg(std::string(kSource) + " -ac " + std::to_string(c.channels) + " -c:a " + c.codec +
                       " " + c.encoderArgs + " " + base + ".wav"));
    const bool wide = std::string(c.codec) == "pcm_s24le";
    ASSERT_TRUE(ffmpeg("-i " + base + ".wav -f " + (wide ? "s32le " : "s16le ") + base + ".ref"));
    std::string cmd = mediahostCommand() + " decode " + PCMDEC_PATH + " " + base + ".wav --chunk " +
                      std::to_string(c.chunk) + " > " + base + ".out";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    if (wide) {
      std::vector<int32_t> ours = readS32(base + ".out"), ref = readS32(base + ".ref");
      ASSERT_EQ(ours.size(), ref.size());
      // 32-bit output is the 24-bit value itself; ffmpeg scales it to the top.
      for (size_t i = 0; i < ours.size(); ++i) ASSERT_EQ(ours[i] * 256, ref[i]) << "sample " << i;
    } else {
      std::vector<int16_t> ours = readS16(base + ".out"), ref = readS16(base + ".ref");
      ASSERT_EQ(ours.size(), ref.size());
      for (size_t i = 0; i < ours.size(); ++i) ASSERT_EQ(ours[i], ref[i]) << "sample " << i;
    }
  }
}

// Every G.711 code, in a file built here, against ffmpeg.
TEST(PcmDecOracle, AllG711CodesMatchFfmpeg) {
  std::vector<uint8_t> codes(512);
  for (size_t i = 0; i < codes.size(); ++i) codes[i] = uint8_t(i * 7 + i / 256);  // each code twice, mixed order
  for (uint16_t tag : {uint16_t(6), uint16_t(7)}) {
    for (uint16_t channels : {uint16_t(1), uint16_t(2)}) {
      SCOPED_TRACE(testing::Message() << "tag " << tag << " channels " << channels);
      const std::string base = workDir() + "/g711_" + std::to_string(tag) + "_" + std::to_string(channels);
      writeFile(base + ".wav", makeWav(tag, channels, 8000, 8, channels, codes));
      ASSERT_TRUE(ffmpeg("-i " + base + ".wav -f s16le " + base + ".ref"));
      Decoder d;
      Params p;
      p.format = tag;
      p.channels = channels;
      p.rate = 8000;
      p.bits = 8;
      ASSERT_EQ(d.open(p), 0);
      std::vector<int32_t> ours;
      ASSERT_EQ(d.decodeAll(codes, 100, &ours), 0);
      EXPECT_EQ(ours, widen(readS16(base + ".ref")));
    }
  }
}

// IMA ADPCM exactly as written for this decoder: the shift-and-add
// difference, the first sample from the block header, the codes of each
// channel a little-endian bit stream (low nibble first for 4-bit codes) over
// the four-byte words that the channels take in turn.
std::vector<std::vector<int32_t>> referenceImaBlocks(const Wav& wav) {
  static const int adjust4[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
  static const int adjust3[4] = {-1, -1, 1, 2};
  const int ch = wav.channels, block = wav.blockAlign, bits = wav.bits;
  std::vector<std::vector<int32_t>> perChannel = std::vector<std::vector<int32_t>>(size_t(ch));
  for (size_t b = 0; b + size_t(block) <= wav.data.size(); b += size_t(block)) {
    const uint8_t* blk = wav.data.data() + b;
    for (int c = 0; c < ch; ++c) {
      int pred = int16_t(blk[4 * c] | blk[4 * c + 1] << 8), index = blk[4 * c + 2];
      perChannel[size_t(c)].push_back(pred);
      std::vector<uint8_t> stream;
      for (int word = c; 4 * ch + 4 * word + 4 <= block; word += ch)
        stream.insert(stream.end(), blk + 4 * ch + 4 * word, blk + 4 * ch + 4 * word + 4);
      for (size_t bit = 0; bit + size_t(bits) <= stream.size() * 8; bit += size_t(bits)) {
        unsigned window = stream[bit / 8] | (bit / 8 + 1 < stream.size() ? stream[bit / 8 + 1] << 8 : 0);
        int code = int(window >> (bit % 8)) & ((1 << bits) - 1);
        int step = kSteps[index], diff;
        bool negative;
        if (bits == 4) {
          diff = step >> 3;
          if (code & 4) diff += step;
          if (code & 2) diff += step >> 1;
          if (code & 1) diff += step >> 2;
          negative = code & 8;
          index += adjust4[code & 7];
        } else {
          diff = step >> 2;
          if (code & 2) diff += step;
          if (code & 1) diff += step >> 1;
          negative = code & 4;
          index += adjust3[code & 3];
        }
        pred = negative ? pred - diff : pred + diff;
        pred = pred > 32767 ? 32767 : pred < -32768 ? -32768 : pred;
        index = index < 0 ? 0 : index > 88 ? 88 : index;
        perChannel[size_t(c)].push_back(pred);
      }
    }
  }
  return perChannel;
}

TEST(PcmDecOracle, ImaWavMatchesReferenceExactlyAndFfmpegWithin40dB) {
  // ffmpeg writes 4-bit codes only; the 3-bit file is made by a script.
  struct Case {
    int channels, block, bits;
  } cases[] = {{1, 256, 4}, {1, 1024, 4}, {2, 512, 4}, {2, 2048, 4}, {1, 256, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << " channels, block " << c.block << ", " << c.bits << " bits");
    const std::string base = workDir() + "/ima_" + std::to_string(c.channels) + "_" + std::to_string(c.block) +
                             "_" + std::to_string(c.bits);
    if (c.bits == 4) {
      ASSERT_TRUE(ffmpeg(std::string(kSource) + " -ac " + std::to_string(c.channels) +
                         " -c:a adpcm_ima_wav -block_size " + std::to_string(c.block) + " " + base + ".wav"));
    } else {
      std::string cmd = std::string("python3 ") + PCMDEC_SOURCE_DIR + "/make_ima3_wav.py " + base + ".wav";
      ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    ASSERT_TRUE(ffmpeg("-i " + base + ".wav -f s16le " + base + ".ref"));
    Wav wav;
    ASSERT_TRUE(parseWav(readFile(base + ".wav"), &wav));
    Decoder d;
    Params p;
    p.format = KVR_WAV_FMT_IMAADPCM;
    p.channels = wav.channels;
    p.rate = int32_t(wav.rate);
    p.bits = wav.bits;
    p.blockAlign = wav.blockAlign;
    p.extra = wav.extra;
    ASSERT_EQ(d.open(p), 0);
    std::vector<int32_t> ours;
    ASSERT_EQ(d.decodeAll(wav.data, 3000, &ours), 0);
    ASSERT_EQ(wav.bits, c.bits);

    auto ref = referenceImaBlocks(wav);
    const size_t total = ref[0].size();
    // Whole groups of four frames come out; the rest waits for a next block.
    ASSERT_EQ(ours.size(), (total & ~size_t(3)) * size_t(c.channels));
    for (size_t i = 0; i < ours.size(); ++i)
      ASSERT_EQ(ours[i], ref[i % size_t(c.channels)][i / size_t(c.channels)]) << "sample " << i;

    // ffmpeg forms the difference in one step, (2 x magnitude + 1) x step
    // >> 3, which rounds once where the shift-and-add form drops the low bits
    // of every term; the two drift apart by a few units within a block.
    std::vector<int32_t> theirs = widen(readS16(base + ".ref"));
    ASSERT_GE(theirs.size(), ours.size());
    EXPECT_GE(snrDb(theirs, ours), 40.0);
  }
}

// QuickTime IMA: 34-byte packets in AIFF-C, the multiplying difference.
std::vector<int32_t> referenceQtIma(const Aiff& aiff) {
  std::vector<int32_t> out;
  static const int adjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
  const int ch = aiff.channels;
  for (size_t pos = 0; pos + 34 * size_t(ch) <= aiff.data.size(); pos += 34 * size_t(ch)) {
    std::vector<std::vector<int32_t>> chans = std::vector<std::vector<int32_t>>(size_t(ch));
    for (int c = 0; c < ch; ++c) {
      const uint8_t* p = aiff.data.data() + pos + 34 * size_t(c);
      int header = p[0] << 8 | p[1];
      int pred = int16_t(header & 0xFF80), index = header & 0x7F;
      if (index > 88) index = 88;
      for (int i = 0; i < 64; ++i) {
        int code = i & 1 ? p[2 + i / 2] >> 4 : p[2 + i / 2] & 15;
        int step = kSteps[index];
        int diff = (2 * (code & 7) + 1) * step / 8;
        pred = code & 8 ? pred - diff : pred + diff;
        pred = pred > 32767 ? 32767 : pred < -32768 ? -32768 : pred;
        index += adjust[code & 7];
        index = index < 0 ? 0 : index > 88 ? 88 : index;
        chans[size_t(c)].push_back(pred);
      }
    }
    for (int i = 0; i < 64; ++i)
      for (int c = 0; c < ch; ++c) out.push_back(chans[size_t(c)][size_t(i)]);
  }
  return out;
}

TEST(PcmDecOracle, QuickTimeImaMatchesReferenceAndFfmpeg) {
  for (int channels : {1, 2}) {
    SCOPED_TRACE(testing::Message() << channels << " channels");
    const std::string base = workDir() + "/qtima_" + std::to_string(channels);
    ASSERT_TRUE(ffmpeg(std::string(kSource) + " -ac " + std::to_string(channels) + " -c:a adpcm_ima_qt " +
                       base + ".aiff"));
    ASSERT_TRUE(ffmpeg("-i " + base + ".aiff -f s16le " + base + ".ref"));
    Aiff aiff;
    ASSERT_TRUE(parseAiff(readFile(base + ".aiff"), &aiff));
    ASSERT_EQ(aiff.compression, "ima4");
    Decoder d;
    Params p;
    p.format = KVR_WAV_FMT_IMAADPCM_QT;
    p.channels = aiff.channels;
    p.rate = int32_t(aiff.rate);
    p.bits = 16;
    ASSERT_EQ(d.open(p), 0);
    std::vector<int32_t> ours;
    ASSERT_EQ(d.decodeAll(aiff.data, 1000, &ours), 0);
    EXPECT_EQ(ours, referenceQtIma(aiff));
    // ffmpeg's decoder (the model its encoder follows) adds the shifted
    // steps instead of multiplying and carries the running predictor into the
    // next packet when the header agrees with it; the differences build up
    // over each 64-code packet, so the bound is looser than for WAVE blocks
    // (about 35 dB on this signal).
    std::vector<int32_t> theirs = widen(readS16(base + ".ref"));
    ASSERT_EQ(theirs.size(), ours.size());
    EXPECT_GE(snrDb(theirs, ours), 30.0);
  }
}

// Big-endian linear PCM from AIFF, by format code 8 and by the big-endian flag.
TEST(PcmDecOracle, BigEndianAiffMatchesFfmpeg) {
  struct Case {
    const char* codec;
    int channels;
    int32_t format, bigEndian;
  } cases[] = {{"pcm_s16be", 1, KVR_WAV_FMT_PCM_BE, 0},
               {"pcm_s16be", 2, KVR_WAV_FMT_PCM, 1},
               {"pcm_s24be", 2, KVR_WAV_FMT_PCM_BE, 0},
               {"pcm_s24be", 1, KVR_WAV_FMT_PCM, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.codec << " " << c.channels << " format " << c.format);
    const std::string base = workDir() + "/" + c.codec + "_" + std::to_string(c.channels);
    ASSERT_TRUE(ffmpeg(std::string(kSource) + " -ac " + std::to_string(c.channels) + " -c:a " + c.codec +
                       " " + base + ".aiff"));
    const bool wide = std::string(c.codec) == "pcm_s24be";
    ASSERT_TRUE(ffmpeg("-i " + base + ".aiff -f " + (wide ? "s32le " : "s16le ") + base + ".ref"));
    Aiff aiff;
    ASSERT_TRUE(parseAiff(readFile(base + ".aiff"), &aiff));
    Decoder d;
    Params p;
    p.format = c.format;
    p.bigEndian = c.bigEndian;
    p.channels = aiff.channels;
    p.rate = int32_t(aiff.rate);
    p.bits = aiff.bits;
    p.outBits = wide ? 32 : 16;
    ASSERT_EQ(d.open(p), 0);
    std::vector<int32_t> ours;
    ASSERT_EQ(d.decodeAll(aiff.data, 5000, &ours), 0);
    std::vector<int32_t> theirs = wide ? readS32(base + ".ref") : widen(readS16(base + ".ref"));
    if (wide)
      for (int32_t& v : ours) v *= 256;
    // Linear PCM is taken in groups of four frames.
    ASSERT_EQ(ours.size(), theirs.size() / size_t(4 * c.channels) * size_t(4 * c.channels));
    theirs.resize(ours.size());
    EXPECT_EQ(ours, theirs);
  }
}

// A real BD LPCM stream: its first two header bytes are the payload size, the
// channel assignment and rate code share byte 2, the depth code is the top of
// byte 3. The decoder follows the assignment and leaves the rate as given.
TEST(PcmDecOracle, RealBdStreamMatchesFfmpeg) {
  struct Case {
    const char* sampleFormat;
    int bits;
    uint8_t depthByte;
  } cases[] = {{"s16", 16, 0x40}, {"s32", 24, 0xC0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    const std::string base = workDir() + "/bd_" + std::to_string(c.bits);
    ASSERT_TRUE(ffmpeg(std::string(kSource48k) + " -ac 2 -sample_fmt " + c.sampleFormat +
                       " -c:a pcm_bluray " + base + ".m2ts"));
    ASSERT_TRUE(ffmpeg("-i " + base + ".m2ts -f " + (c.bits > 16 ? "s32le " : "s16le ") + base + ".ref"));
    auto packets = bdPayloads(readFile(base + ".m2ts"));
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets[0][2], 0x31);  // stereo (3), 48 kHz (1)
    EXPECT_EQ(packets[0][3], c.depthByte);
    Decoder d;
    Params p;
    p.bigEndian = 1;
    p.layout = KVR_LPCM_BD;
    p.channels = 2;
    p.rate = 48000;
    p.bits = c.bits;
    p.outBits = c.bits > 16 ? 32 : 16;
    ASSERT_EQ(d.open(p), 0);
    std::vector<int32_t> ours;
    ASSERT_EQ(d.decodePackets(packets, &ours), 0);
    EXPECT_EQ(d.lastRate, 48000);
    EXPECT_EQ(d.lastChannels, 2);
    std::vector<int32_t> theirs = c.bits > 16 ? readS32(base + ".ref") : widen(readS16(base + ".ref"));
    if (c.bits > 16)
      for (int32_t& v : ours) v *= 256;
    EXPECT_EQ(ours, theirs);
  }
}

// A real DVD stream in stereo, where the group layout of 24-bit samples (the
// upper two bytes of both frames, then their low bytes) is the one the
// decoder reads. With more channels the decoder keeps that layout: all
// upper parts first, then all low bytes.
TEST(PcmDecOracle, RealDvdStereoStreamMatchesFfmpeg) {
  struct Case {
    const char* sampleFormat;
    int bits;
  } cases[] = {{"s16", 16}, {"s32", 24}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    const std::string base = workDir() + "/dvd_" + std::to_string(c.bits);
    ASSERT_TRUE(ffmpeg(std::string(kSource48k) + " -ac 2 -sample_fmt " + c.sampleFormat +
                       " -c:a pcm_dvd -f vob " + base + ".vob"));
    ASSERT_TRUE(ffmpeg("-i " + base + ".vob -f s32le " + base + ".ref"));
    std::vector<uint8_t> data = dvdLpcmData(readFile(base + ".vob"));
    ASSERT_FALSE(data.empty());
    Decoder d;
    Params p;
    p.layout = KVR_LPCM_DVD;
    p.channels = 2;
    p.rate = 48000;
    p.bits = c.bits;
    p.outBits = 32;
    ASSERT_EQ(d.open(p), 0);
    std::vector<int32_t> ours;
    ASSERT_EQ(d.decodeAll(data, 3000, &ours), 0);
    std::vector<int32_t> theirs = readS32(base + ".ref");
    // 16-bit samples come out as they are, 24-bit ones unshifted.
    for (int32_t& v : ours) v *= c.bits == 16 ? 65536 : 256;
    ASSERT_EQ(ours.size(), theirs.size() / 8 * 8);
    theirs.resize(ours.size());
    EXPECT_EQ(ours, theirs);
  }
}

}  // namespace

namespace {

// The decode command reports the library's refusals as failures (status 2)
// and leaves nothing allocated (status 3 would say so).
TEST(PcmDecOracle, DecodeCommandReportsFailures) {
  const std::string base = workDir() + "/refused";
  ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=440:r=8000:d=0.1 -c:a pcm_s16le " + base + "_s16.wav"));
  ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=440:r=8000:d=0.1 -c:a pcm_f32le " + base + "_f32.wav"));
  struct Case {
    std::string file, options;
  } cases[] = {{base + "_s16.wav", "--fail-alloc 1"}, {base + "_f32.wav", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " " + c.options);
    std::string cmd = mediahostCommand() + " decode " + PCMDEC_PATH + " " + c.file + " " + c.options +
                      " > /dev/null 2>&1";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
  }
}

}  // namespace
