// Small hand-built files for what ffmpeg does not write: broken tables,
// items, fragments and sample descriptions, each read without a read outside
// its tables.
#include <cstring>
#include <functional>

#include "mp4_test_support.h"

using namespace mp4test;

namespace {

Bytes words(std::initializer_list<uint32_t> values) {
  Bytes b;
  for (uint32_t v : values) be32(b, v);
  return b;
}

// An iTunes item holding one "data" box of the given type and payload; a
// data size of 0 takes the true size.
Bytes item(const char* type, uint32_t dataType, const Bytes& payload, uint32_t dataSize = 0) {
  Bytes d;
  be32(d, dataSize ? dataSize : uint32_t(16 + payload.size()));
  tag(d, "data");
  be32(d, dataType);
  be32(d, 0);
  add(d, payload);
  return box(type, d);
}

Bytes itemsBox(const Bytes& items) {
  Bytes h = words({0});
  tag(h, "mdir");
  h.resize(h.size() + 13, 0);
  return box("udta", fullBox("meta", 0, cat({fullBox("hdlr", 0, h), box("ilst", items)})));
}

Bytes text(const char* s) { return Bytes(s, s + strlen(s)); }

// The "trak" box of a built movie.
Bytes trakOf(const Bytes& file) {
  for (size_t i = 4; i + 4 <= file.size(); ++i)
    if (!memcmp(&file[i], "trak", 4)) {
      uint32_t size = uint32_t(file[i - 4]) << 24 | file[i - 3] << 16 | file[i - 2] << 8 | file[i - 1];
      return Bytes(file.begin() + long(i) - 4, file.begin() + long(i) - 4 + size);
    }
  return {};
}

class Mp4Faults : public Mp4Test {
 protected:
  int readAll(int32_t kind, int* keys = nullptr, int32_t* end = nullptr) {
    Mp4Packet p{};
    int n = 0;
    int32_t r;
    while ((r = next(kind, &p)) == 0) {
      ++n;
      if (keys) *keys += p.key;
    }
    if (end) *end = r;
    return n;
  }
};

TEST_F(Mp4Faults, MiniMovieReadsEverySampleWithItsSyncFlags) {
  MiniMovie m;
  ASSERT_EQ(openFile(write("mini.mp4", m.build())), 0);
  EXPECT_EQ(info_.video_samples, 10);
  int keys = 0;
  EXPECT_EQ(readAll(0, &keys), 10);
  EXPECT_EQ(keys, 2);
}

TEST_F(Mp4Faults, VersionOneMovieHeaderCreationTimesOfEverySize) {
  // 64-bit creation times counted from 1904, up to the largest: the open
  // turns each into a calendar time without an overflow (the sanitizer build
  // stops at one) and reads the movie.
  for (uint64_t created : {uint64_t(0), uint64_t(2082844800), uint64_t(INT64_MAX), uint64_t(1) << 63, ~uint64_t(0)}) {
    SCOPED_TRACE(created);
    MiniMovie m;
    Bytes h;
    be64(h, created), be64(h, created), be32(h, m.timescale), be64(h, m.samples * m.delta);
    h.resize(h.size() + 80, 0);
    m.mvhd = fullBox("mvhd", 0x01000000, h);
    ASSERT_EQ(openFile(write("t.mp4", m.build())), 0);
    EXPECT_EQ(readAll(0), 10);
    closeFile();
  }
}

TEST_F(Mp4Faults, KeyFlagsFollowTheSyncTableOrItsAbsence) {
  // No sync-sample table: every sample is a sync sample. A table that names
  // no sample (empty, or only samples past the end) makes none a key.
  const struct {
    const char* name;
    Bytes stss;
    int keys;
  } cases[] = {
      {"no sync table", box("free", {}), 10},
      {"empty sync table", fullBox("stss", 0, words({0})), 0},
      {"sync table past the samples", fullBox("stss", 0, words({1, 40})), 0},
      {"two sync samples", fullBox("stss", 0, words({2, 1, 6})), 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MiniMovie m;
    m.stss = c.stss;
    ASSERT_EQ(openFile(write("t.mp4", m.build())), 0);
    int keys = 0;
    EXPECT_EQ(readAll(0, &keys), 10);
    EXPECT_EQ(keys, c.keys);
    closeFile();
  }
}

TEST_F(Mp4Faults, TablesThatEndEarlyOrPointPastTheirSamples) {
  struct Case {
    const char* name;
    std::function<void(MiniMovie&)> change;
    int samples;
    int keys;
  };
  const Case cases[] = {
      {"size table shorter than its count",
       [](MiniMovie& m) {
         Bytes s = words({0, 10, 100, 100, 100, 100});
         m.extraStbl = fullBox("stsz", 0, s);  // a second, shorter table replaces the first
       },
       4, 1},
      {"sync entries beyond the sample count", [](MiniMovie& m) { m.stss = fullBox("stss", 0, words({3, 1, 50, 4000})); }, 10, 1},
      {"sample-to-chunk run of 0 samples per chunk",
       [](MiniMovie& m) { m.stsc = fullBox("stsc", 0, words({2, 1, 1, 1, 3, 0, 1})); }, 2, 1},
      {"chunk offsets beyond the file",
       [](MiniMovie& m) {
         Bytes s = words({10});
         for (int i = 0; i < 10; ++i) be64(s, i < 3 ? 28 + 100 * i : 1000000 + 100 * i);
         m.chunkTable = fullBox("co64", 0, s);
       },
       3, 1},
      {"chunk table ending inside its box", [](MiniMovie& m) { m.chunkTable = fullBox("stco", 0, words({10, 28, 128})); }, 2, 1},
      {"time table ending early", [](MiniMovie& m) { m.extraStbl = fullBox("stts", 0, words({2, 3, 40})); }, 10, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MiniMovie m;
    c.change(m);
    ASSERT_EQ(openFile(write("t.mp4", m.build())), 0);
    int keys = 0;
    int32_t end = 0;
    EXPECT_EQ(readAll(0, &keys, &end), c.samples);
    EXPECT_EQ(keys, c.keys);
    EXPECT_EQ(end, MP4_END);
    Mp4SeekRequest s{300, 0};
    Mp4Packet p{};
    call(MP4_OP_SEEK, &s, &p);
    readAll(0);
    closeFile();
  }
}

TEST_F(Mp4Faults, AudioSpecificConfigIsReadWithinItsLengthAndTables) {
  struct Case {
    Bytes asc;
    int32_t rate, channels;
  };
  const Case cases[] = {
      {{0x11, 0x90}, 48000, 2},  // AAC LC, 48 kHz, 2 channels
      {{0x16, 0xF8}, 48000, 2},  // index 13 and configuration 15 name no table entry
      {{0x17, 0x08}, 48000, 1},  // index 14 keeps the rate
      {{0x17}, 48000, 2},        // cut before the channel configuration
      {{0x17, 0x80, 0x00}, 48000, 2},  // index 15 wants 24 more bits than there are
  };
  for (const Case& c : cases) {
    Bytes esds;
    esds.push_back(3), esds.push_back(uint8_t(23 + c.asc.size())), be16(esds, 1), esds.push_back(0);
    esds.push_back(4), esds.push_back(uint8_t(13 + 2 + c.asc.size())), esds.push_back(0x40), esds.push_back(0x15);
    esds.resize(esds.size() + 3, 0);
    be32(esds, 128000), be32(esds, 64000);
    esds.push_back(5), esds.push_back(uint8_t(c.asc.size()));
    add(esds, c.asc);
    Bytes e(6, 0);
    be16(e, 1);
    e.resize(e.size() + 8, 0);
    be16(e, 2), be16(e, 16), be32(e, 0), be32(e, 48000u << 16);
    add(e, fullBox("esds", 0, esds));
    MiniMovie m;
    m.video = false;
    m.stsd = fullBox("stsd", 0, cat({words({1}), box("mp4a", e)}));
    ASSERT_EQ(openFile(write("a.mp4", m.build())), 0);
    EXPECT_EQ(info_.sample_rate, c.rate);
    EXPECT_EQ(info_.channels, c.channels);
    EXPECT_EQ(info_.audio_format, 0xAAC0);
    EXPECT_EQ(info_.audio_max_bitrate, 128000);
    EXPECT_EQ(info_.audio_config_length, int32_t(c.asc.size()));
    EXPECT_EQ(readAll(MP4_KIND_AUDIO), 10);
    closeFile();
  }
}

TEST_F(Mp4Faults, ItemsAndTheirBrokenDataBoxes) {
  MiniMovie m;
  m.moovExtra = itemsBox(cat({
      item("\xA9nam", 1, text("Title")),
      item("\xA9" "ART", 1, text("lost"), 12),    // smaller than its header
      item("\xA9" "alb", 1, text("lost"), 400),   // larger than its item
      box("\xA9wrt", Bytes(3, 0)),                 // too short for a data box
      item("gnre", 0, {0, 80}),
      item("trkn", 0, {0, 0, 0, 3, 0, 12, 0, 0}),
      item("disk", 0, {0, 0, 0, 1, 0, 2}),
      item("cpil", 21, {1}),
      item("covr", 13, {1, 2, 3, 4, 5}),
      box("\xA9xyz", cat({Bytes{0, 18, 0x15, 0xC7}, text("+35.6895+139.6917/")})),
  }));
  ASSERT_EQ(openFile(write("items.mp4", m.build())), 0);
  EXPECT_STREQ(info_.title, "Title");
  EXPECT_EQ(info_.artist, nullptr);
  EXPECT_EQ(info_.album, nullptr);
  EXPECT_EQ(info_.writer, nullptr);
  EXPECT_STREQ(info_.genre, "Hard Rock");
  EXPECT_EQ(info_.genre_from_table, 1);
  EXPECT_STREQ(info_.track_number, "3/12");
  EXPECT_STREQ(info_.disc_number, "1/2");
  EXPECT_STREQ(info_.compilation, "1");
  EXPECT_EQ(info_.cover_length, 5);
  EXPECT_STREQ(info_.location, "+35.6895+139.6917");
  EXPECT_EQ(readAll(0), 10);
  closeFile();
  // A genre given as a number in a free-form "\xA9gen" item.
  MiniMovie n;
  n.moovExtra = itemsBox(item("\xA9gen", 0, {0, 8}));
  ASSERT_EQ(openFile(write("gen.mp4", n.build())), 0);
  EXPECT_STREQ(info_.genre, "7");
  EXPECT_EQ(info_.genre_from_table, 0);
}

TEST_F(Mp4Faults, GenreNumbersAndCompilationValues) {
  struct Case {
    Bytes genre;
    const char* name;
    uint8_t cpil;
    const char* cpilText;
  };
  const Case cases[] = {{{0, 1}, "Blues", 0, ""}, {{0, 0}, "Unknown", 7, "7"}, {{0, 81}, "Unknown", 255, "255"}};
  for (const Case& c : cases) {
    MiniMovie m;
    m.moovExtra = itemsBox(cat({item("gnre", 0, c.genre), item("cpil", 21, {c.cpil})}));
    ASSERT_EQ(openFile(write("g.mp4", m.build())), 0);
    EXPECT_STREQ(info_.genre, c.name);
    EXPECT_STREQ(info_.compilation, c.cpilText);
    closeFile();
  }
}

TEST_F(Mp4Faults, HandlersAndSampleDescriptionsDecideTheTracks) {
  Bytes mhlrUrl;
  tag(mhlrUrl, "mhlr");
  tag(mhlrUrl, "url ");
  mhlrUrl.resize(mhlrUrl.size() + 13, 0);
  {
    // A QuickTime handler outside the track keeps the track.
    MiniMovie m;
    m.moovExtra = box("udta", box("meta", fullBox("hdlr", 0, mhlrUrl)));
    ASSERT_EQ(openFile(write("h.mp4", m.build())), 0);
    EXPECT_EQ(info_.track_count, 1);
    EXPECT_EQ(readAll(0), 10);
    closeFile();
  }
  {
    // Inside the track it removes it.
    MiniMovie m;
    m.hdlr = fullBox("hdlr", 0, mhlrUrl);
    ASSERT_EQ(openFile(write("h.mp4", m.build())), 0);
    EXPECT_EQ(info_.track_count, 0);
    EXPECT_EQ(info_.seekable, 1);
    closeFile();
  }
  {
    // Two different descriptions leave the track without a kind.
    MiniMovie m;
    Bytes v(6, 0);
    be16(v, 1);
    v.resize(v.size() + 70, 0);
    m.stsd = fullBox("stsd", 0, cat({words({2}), box("avc1", v), box("hev1", v)}));
    ASSERT_EQ(openFile(write("d.mp4", m.build())), 0);
    EXPECT_EQ(info_.track_count, 1);
    EXPECT_EQ(info_.video_index, -1);
    closeFile();
  }
  {
    // An encrypted first entry has no handler: the list ends there and the
    // track keeps the kind its handler gave it.
    MiniMovie m;
    Bytes v(6, 0);
    be16(v, 1);
    v.resize(v.size() + 70, 0);
    m.stsd = fullBox("stsd", 0, cat({words({2}), box("encv", v), box("avc1", v)}));
    ASSERT_EQ(openFile(write("e.mp4", m.build())), 0);
    EXPECT_EQ(info_.video_index, 0);
    EXPECT_EQ(info_.video_codec, 0u);
    closeFile();
  }
  {
    // A palette whose indices run past its entries.
    MiniMovie m;
    Bytes v(6, 0);
    be16(v, 1);
    v.resize(v.size() + 16, 0);
    be16(v, 16), be16(v, 16);
    v.resize(v.size() + 46, 0);
    be16(v, 2), be16(v, 0);  // depth 2: four entries, read from the entry
    be32(v, 0), be16(v, 0), be16(v, 3);
    for (uint32_t idx : {0u, 1u, 9000u, 3u}) be16(v, idx), be16(v, 0xFF00), be16(v, 0x8000), be16(v, 0x1000);
    m.stsd = fullBox("stsd", 0, cat({words({1}), box("avc1", v)}));
    ASSERT_EQ(openFile(write("p.mp4", m.build())), 0);
    ASSERT_EQ(info_.video_config_length, 16);
    EXPECT_EQ(info_.video_config[0], 0xFF);
    EXPECT_EQ(info_.video_config[8], 0);  // index 2 never came
    EXPECT_EQ(info_.video_config[13], 0x80);
    closeFile();
  }
  {
    // A timed-text track with the packed language "eng".
    MiniMovie m;
    m.video = false;
    Bytes h = words({0});
    tag(h, "text");
    h.resize(h.size() + 13, 0);
    m.hdlr = fullBox("hdlr", 0, h);
    m.stsd = fullBox("stsd", 0, cat({words({1}), box("tx3g", Bytes(40, 0))}));
    ASSERT_EQ(openFile(write("s.mp4", m.build())), 0);
    EXPECT_EQ(info_.subtitle_count, 1);
    ASSERT_NE(info_.subtitle_language, nullptr);
    EXPECT_STREQ(info_.subtitle_language, "eng");
    EXPECT_EQ(readAll(MP4_KIND_SUBTITLE), 10);
    closeFile();
  }
}

TEST_F(Mp4Faults, MediaHeaderLanguageCodes) {
  // A timed-text track shows its language in the information record.
  auto languageOf = [&](uint32_t code) {
    MiniMovie m;
    m.video = false;
    m.language = code;
    Bytes h = words({0});
    tag(h, "text");
    h.resize(h.size() + 13, 0);
    m.hdlr = fullBox("hdlr", 0, h);
    m.stsd = fullBox("stsd", 0, cat({words({1}), box("tx3g", Bytes(40, 0))}));
    EXPECT_EQ(openFile(write("lang.mp4", m.build())), 0);
    std::string language = info_.subtitle_language ? info_.subtitle_language : "(none)";
    closeFile();
    return language;
  };
  struct Case {
    uint32_t code;
    const char* language;
  };
  // Macintosh codes, the unused run between them, packed letters and the
  // values that name no language.
  for (const Case& c : {Case{0, "eng"}, Case{1, "fra"}, Case{2, "ger"}, Case{3, "ita"}, Case{4, "dut"},
                        Case{5, "sve"}, Case{6, "spa"}, Case{7, "dan"}, Case{8, "por"}, Case{9, "nor"},
                        Case{10, "heb"}, Case{11, "jpn"}, Case{95, ""}, Case{127, ""}, Case{128, "wel"},
                        Case{138, "jav"}, Case{139, ""}, Case{1023, ""}, Case{0x7FFF, ""}, Case{0x15C7, "eng"},
                        Case{0x55C4, "und"}}) {
    EXPECT_EQ(languageOf(c.code), c.language) << "code " << c.code;
  }
  for (uint32_t code = 95; code < 128; ++code) EXPECT_EQ(languageOf(code), "") << "code " << code;
}

TEST_F(Mp4Faults, FilesTheOpenRefuses) {
  MiniMovie m;
  Bytes whole = m.build();
  // Media data without a movie box.
  Bytes noMoov = cat({box("ftyp", text("isom\0\0\0\0")), box("mdat", Bytes(100, 1))});
  EXPECT_EQ(openFile(write("n.mp4", noMoov)), MP4_ERR_FORMAT);
  EXPECT_EQ(slot_, nullptr);
  // A size table claiming 0x10000000 samples.
  m.extraStbl = fullBox("stsz", 0, words({0, 0x10000000}));
  EXPECT_EQ(openFile(write("z.mp4", m.build())), MP4_ERR_STSZ);
  EXPECT_EQ(slot_, nullptr);
  // A box whose end lies beyond the file ends the walk without an error.
  Bytes tail = whole;
  add(tail, words({0x7FFFFFF0}));
  tag(tail, "free");
  EXPECT_EQ(openFile(write("t.mp4", tail)), 0);
  closeFile();
  // A 17th track is refused; the first 16 stay.
  MiniMovie many;
  Bytes trak = trakOf(many.build());
  for (int i = 0; i < 16; ++i) add(many.moovExtra, trak);
  ASSERT_EQ(openFile(write("m.mp4", many.build())), 0);
  EXPECT_EQ(info_.track_count, 16);
}

TEST_F(Mp4Faults, TrimmedTracksEndAtTheFileAndKeepTheirLastKeyTime) {
  MiniMovie m;
  m.stss = fullBox("stss", 0, words({3, 1, 3, 9}));
  Bytes s = words({10});
  for (int i = 0; i < 10; ++i) be64(s, i < 5 ? 28 + 100 * i : 1000000 + 100 * i);
  m.chunkTable = fullBox("co64", 0, s);
  Mp4OpenRecord r = record(write("trim.mp4", m.build()));
  r.trim_audio = 1;
  r.trim_video = 1;
  ASSERT_EQ(call(MP4_OP_OPEN, &r, &info_), 0);
  EXPECT_EQ(info_.last_key_ms, 80);
  EXPECT_EQ(info_.video_key_samples, 2);
  int32_t end = 0;
  EXPECT_EQ(readAll(0, nullptr, &end), 5);
  EXPECT_EQ(end, MP4_END);
}

TEST_F(Mp4Faults, ShortPcmSamplesAreReadAChunkAtATime) {
  // 16-bit stereo "sowt" at 48 kHz, 1024 samples of one frame per chunk.
  MiniMovie m;
  m.video = false;
  m.samples = 4096;
  m.sampleSize = 4;
  m.timescale = 48000;
  m.delta = 1;
  Bytes e(6, 0);
  be16(e, 1);
  e.resize(e.size() + 8, 0);
  be16(e, 2), be16(e, 16), be32(e, 0), be32(e, 48000u << 16);
  m.stsd = fullBox("stsd", 0, cat({words({1}), box("sowt", e)}));
  m.stsc = fullBox("stsc", 0, words({1, 1, 1024, 1}));
  Bytes co = words({4});
  for (uint32_t i = 0; i < 4; ++i) be32(co, 28 + i * 4096);
  m.chunkTable = fullBox("stco", 0, co);
  Bytes sizes = words({4, 4096});
  m.extraStbl = fullBox("stsz", 0, sizes);  // one constant size replaces the table
  ASSERT_EQ(openFile(write("pcm.mov", m.build()), false), 0);
  EXPECT_EQ(info_.audio_format, 1);
  EXPECT_EQ(info_.channels, 2);
  Mp4Packet p{};
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(next(MP4_KIND_AUDIO, &p), 0);
    EXPECT_EQ(p.length, 4096);
    EXPECT_EQ(p.time_ms, i * 1024 * 1000 / 48000);
    EXPECT_EQ(p.offset_low, 28u + uint32_t(i) * 4096);
  }
  EXPECT_EQ(next(MP4_KIND_AUDIO, &p), MP4_END_AUDIO);
}

TEST_F(Mp4Faults, ShortSamplesWithAnEmptySampleToChunkTableGiveEmptyChunks) {
  MiniMovie m;
  m.video = false;
  m.timescale = 48000;
  m.delta = 1;
  m.stsc = fullBox("stsc", 0, words({0}));
  ASSERT_EQ(openFile(write("empty.mov", m.build())), 0);
  Mp4Packet p{};
  int n = 0;
  while (next(0, &p) == 0) {
    EXPECT_EQ(p.length, 0);
    ++n;
  }
  EXPECT_EQ(n, 10);  // one entry per chunk, none holding a sample
}

TEST_F(Mp4Faults, ZeroTimescalesGiveZeroDurationsAndRates) {
  MiniMovie m;
  m.timescale = 0;
  ASSERT_EQ(openFile(write("z.mp4", m.build())), 0);
  EXPECT_EQ(info_.duration_ms, 0);
  EXPECT_EQ(info_.frame_rate, 0);
  EXPECT_EQ(info_.video_avg_bitrate, 0);
  Mp4Packet p{};
  ASSERT_EQ(next(0, &p), 0);
  EXPECT_EQ(p.time_ms, 0);
  Mp4SeekRequest s{500, 0};
  call(MP4_OP_SEEK, &s, &p);
}

TEST_F(Mp4Faults, AligningANewTrackStaysInsideIt) {
  MiniMovie shortTrack;
  shortTrack.video = false;
  shortTrack.samples = 3;
  MiniMovie m;
  m.video = false;
  m.moovExtra = trakOf(shortTrack.build());
  ASSERT_EQ(openFile(write("two.mp4", m.build()), false), 0);
  EXPECT_EQ(info_.audio_count, 2);
  Mp4Packet p{};
  for (int i = 0; i < 8; ++i) ASSERT_EQ(next(MP4_KIND_AUDIO, &p), 0);
  Mp4SelectRequest sel{MP4_KIND_AUDIO, 0, 1, 0};
  Mp4Info out{};
  ASSERT_EQ(call(MP4_OP_SELECT, &sel, &out), 0);
  EXPECT_EQ(out.audio_index, 1);
  ASSERT_EQ(next(MP4_KIND_AUDIO, &p), 0);
  EXPECT_EQ(p.time_ms, 80);
  EXPECT_EQ(next(MP4_KIND_AUDIO, &p), MP4_END_AUDIO);
}

TEST_F(Mp4Faults, OneSampleTrackSeeks) {
  // A seek past the only sample (time 0) follows the end-of-file policy:
  // fail, end the track, or land on that sample.
  struct Case {
    int32_t policy;
    int32_t result;
  };
  for (const Case& c : {Case{0, MP4_ERR_SEEK}, Case{1, MP4_END_AUDIO}, Case{2, 0}}) {
    SCOPED_TRACE(c.policy);
    MiniMovie m;
    m.video = false;
    m.samples = 1;
    ASSERT_EQ(openFile(write("one.mp4", m.build())), 0);
    int32_t policy = c.policy;
    ASSERT_EQ(call(MP4_OP_EOF_POLICY, &policy, nullptr), 0);
    Mp4SeekRequest s{30, 0};
    Mp4Packet p{};
    EXPECT_EQ(call(MP4_OP_SEEK, &s, &p), c.result);
    if (c.result == 0) {
      EXPECT_EQ(p.kind, MP4_KIND_AUDIO);
      EXPECT_EQ(p.time_ms, 0);
      EXPECT_EQ(p.length, 100);
    }
    Mp4Packet q{};
    // Ended by policy 1; in place otherwise.
    EXPECT_EQ(next(0, &q), c.policy == 1 ? MP4_END : 0);
    Mp4SeekRequest zero{0, 0};
    EXPECT_EQ(call(MP4_OP_SEEK, &zero, &p), 0);
    EXPECT_EQ(readAll(0), 1);
    closeFile();
  }
}

TEST_F(Mp4Faults, KeySeekBeyondTheLastSyncSampleFollowsThePolicy) {
  struct Case {
    int32_t policy;
    int32_t result;
    int32_t landed;
  };
  for (const Case& c : {Case{0, MP4_ERR_SEEK, -1}, Case{1, MP4_END_VIDEO, -1}, Case{2, 0, 200}}) {
    MiniMovie m;  // sync samples at 0 and 200 ms, last sample at 360 ms
    ASSERT_EQ(openFile(write("k.mp4", m.build())), 0);
    int32_t policy = c.policy;
    ASSERT_EQ(call(MP4_OP_EOF_POLICY, &policy, nullptr), 0);
    Mp4Packet p{};
    ASSERT_EQ(next(0, &p), 0);
    Mp4SeekRequest s{300, 0};
    EXPECT_EQ(call(MP4_OP_SEEK, &s, &p), c.result);
    if (c.landed >= 0) {
      EXPECT_EQ(p.time_ms, c.landed);
      EXPECT_EQ(p.key, 1);
    }
    Mp4Packet q{};
    int32_t r = next(0, &q);
    if (c.policy == 1) {
      EXPECT_EQ(r, MP4_END);
    }
    if (c.policy == 0) {
      EXPECT_EQ(q.time_ms, 40);  // the track did not move
    }
    closeFile();
  }
}

// A fragmented movie: an empty movie box with track defaults, then
// fragments of `per` samples and an "mfra" box at the end.
Bytes fragmented(int fragments, int per, uint32_t trunCount = 0, bool mfra = true) {
  MiniMovie m;
  m.samples = 0;
  m.stss = fullBox("stss", 0, words({0}));
  Bytes trex = fullBox("trex", 0, words({1, 1, 40, 50, 0x01010000}));
  m.moovExtra = box("mvex", trex);
  Bytes file = m.build();
  for (int f = 0; f < fragments; ++f) {
    Bytes tfhd = fullBox("tfhd", 0x020000, words({1}));  // base is the moof
    Bytes trunBody = words({trunCount ? trunCount : uint32_t(per), 0, 0x02000000});
    Bytes trun = fullBox("trun", 0x000005, trunBody);  // data offset, first-sample flags
    Bytes moof = box("moof", cat({fullBox("mfhd", 0, words({uint32_t(f + 1)})), box("traf", cat({tfhd, trun}))}));
    uint32_t dataOffset = uint32_t(moof.size() + 8);
    size_t at = moof.size() - trun.size() + 16;  // the data offset word
    moof[at] = uint8_t(dataOffset >> 24), moof[at + 1] = uint8_t(dataOffset >> 16);
    moof[at + 2] = uint8_t(dataOffset >> 8), moof[at + 3] = uint8_t(dataOffset);
    Bytes data(size_t(per) * 50);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(f * 31 + i);
    add(file, cat({moof, box("mdat", data)}));
  }
  if (mfra) add(file, box("mfra", fullBox("mfro", 0, words({16}))));
  return file;
}

TEST_F(Mp4Faults, FragmentsReadToTheirEndWithOnlyTheFirstSampleKey) {
  ASSERT_EQ(openFile(write("f.mp4", fragmented(3, 5))), 0);
  EXPECT_EQ(info_.fragmented, 1);
  EXPECT_EQ(info_.video_key_samples, 3);
  Mp4Packet p{};
  int n = 0, keys = 0;
  int32_t r;
  while ((r = next(0, &p)) == 0) {
    EXPECT_EQ(p.time_ms, n * 40);  // times run on across fragments
    EXPECT_EQ(p.key, n % 5 == 0 ? 1 : 0);
    EXPECT_EQ(p.length, 50);
    ++n, keys += p.key;
  }
  EXPECT_EQ(r, MP4_END);  // "mfra" closes the file
  EXPECT_EQ(n, 15);
  closeFile();
  // 8193 samples in one fragment take a second table chunk.
  ASSERT_EQ(openFile(write("big.mp4", fragmented(1, 8193))), 0);
  int32_t end = 0;
  EXPECT_EQ(readAll(0, nullptr, &end), 8193);
  EXPECT_EQ(end, MP4_END);
}

TEST_F(Mp4Faults, FragmentSampleCountsAreBoundedByTheFile) {
  ASSERT_EQ(openFile(write("huge.mp4", fragmented(1, 4, 0xFFFFFFFFu))), 0);
  EXPECT_LT(mediahost::Host::get().allocStats().peakBytes, size_t(64) << 20);
  readAll(0);
}

}  // namespace
