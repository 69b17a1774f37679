// The Vorbis, Opus and FLAC components: their codec records and port rules,
// the Vorbis open hook's header search, the Opus refusal of more than two
// channels, and short ffmpeg-made streams decoded through the stand-in
// decoder libraries and compared with ffmpeg's own decode.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "omx_harness.h"

using namespace omxtest;

namespace {

// One codec record of any of the three shapes: words 0-4 are shared
// (size, version, port, channels); the rate sits in word 7 for Vorbis and
// in word 4 for the other two.
struct CodecRow {
    const char* name;
    uint32_t index;
    uint32_t size;
    unsigned rateWord;
    const char* tag;
};
const CodecRow kCodecs[] = {
    {kVorbisName, OMX_IndexParamAudioVorbis, sizeof(OMX_AUDIO_PARAM_VORBISTYPE), 7, "[OMXVORBISDEC:"},
    {kOpusName, OMX_IndexParamAudioOpus, sizeof(OMX_AUDIO_PARAM_OPUSTYPE), 4, "[OMXOPUSDEC:"},
    {kFlacName, OMX_IndexParamAudioFlac, sizeof(OMX_AUDIO_PARAM_FLACTYPE), 4, "[OMXFLACDEC:"},
};

std::vector<uint32_t> codecRecord(const CodecRow& row, uint32_t port, uint32_t channels,
                                  uint32_t rate)
{
    std::vector<uint32_t> w(row.size / 4, 0);
    setHeader(w.data(), row.size);
    w[2] = port;
    w[3] = channels;
    w[row.rateWord] = rate;
    return w;
}

OMX_AUDIO_PARAM_PCMMODETYPE pcmRecord(uint32_t port, uint32_t rate = 48000)
{
    OMX_AUDIO_PARAM_PCMMODETYPE r;
    setHeader(&r, sizeof r);
    r.nPortIndex = port;
    r.nChannels = 2;
    r.nSamplingRate = rate;
    r.nBitPerSample = 16;
    return r;
}

TEST(CodecAdapters, CodecRecordsAndPortRules)
{
    registerComponents();
    for (const CodecRow& row : kCodecs) {
        SCOPED_TRACE(row.name);
        Client c;
        ASSERT_EQ(c.create(row.name), OMX_ErrorNone);
        // Defaults: input port, two channels.
        std::vector<uint32_t> rec = codecRecord(row, 0, 0, 0);
        ASSERT_EQ(c.get(row.index, rec.data()), 0u);
        EXPECT_EQ(rec[3], 2u);
        EXPECT_EQ(rec[row.rateWord], row.index == OMX_IndexParamAudioOpus ? 48000u : 44100u);

        rec = codecRecord(row, 0, 1, 32000);
        if (row.index == OMX_IndexParamAudioFlac)
            rec[5] = 0xCAFE; // the client's word comes back as it was
        ASSERT_EQ(c.set(row.index, rec.data()), 0u);
        std::vector<uint32_t> back = codecRecord(row, 0, 0, 0);
        ASSERT_EQ(c.get(row.index, back.data()), 0u);
        EXPECT_EQ(back, rec);
        EXPECT_EQ(c.priv()->inFormat.channels, 1);
        EXPECT_EQ(c.priv()->inFormat.sample_rate, 32000);
        EXPECT_EQ(c.priv()->outFormat.sample_rate, 32000);

        // Ports: codec records live on the input port, PCM records on the output port.
        rec = codecRecord(row, 1, 2, 44100);
        EXPECT_EQ(c.set(row.index, rec.data()), 0x8000101Bu);
        EXPECT_EQ(c.get(row.index, rec.data()), 0x8000101Bu);
        OMX_AUDIO_PARAM_PCMMODETYPE pcm = pcmRecord(0);
        EXPECT_EQ(c.get(OMX_IndexParamAudioPcm, &pcm), 0x8000101Bu);
        EXPECT_EQ(c.set(OMX_IndexParamAudioPcm, &pcm), 0x8000101Bu);
        pcm = pcmRecord(2);
        EXPECT_EQ(c.get(OMX_IndexParamAudioPcm, &pcm), 0x8000101Bu);
        EXPECT_EQ(c.set(OMX_IndexParamAudioPcm, &pcm), 0x8000101Bu);
        rec = codecRecord(row, 0, 2, 44100);
        rec[0] = row.size + 4;
        EXPECT_EQ(c.set(row.index, rec.data()), 0x80001005u);
        EXPECT_EQ(c.get(row.index, rec.data()), 0x80001005u);
        EXPECT_EQ(c.set(row.index, nullptr), 0x80001005u);
        EXPECT_EQ(c.get(row.index, nullptr), 0x80001005u);

        // The output PCM record and the sampling-rate limit.
        const uint32_t max = c.priv()->nMaxSampleRate;
        pcm = pcmRecord(1, max + 1);
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(c.set(OMX_IndexParamAudioPcm, &pcm), 0x80001019u);
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(std::string("\33[31m") + row.tag + "E] This system doesn't support over " +
                           std::to_string(max) + "Hz sampling rate!"),
                  std::string::npos)
            << out;
        pcm = pcmRecord(1, max);
        EXPECT_EQ(c.set(OMX_IndexParamAudioPcm, &pcm), 0u);
        OMX_AUDIO_PARAM_PCMMODETYPE got = pcmRecord(1, 0);
        ASSERT_EQ(c.get(OMX_IndexParamAudioPcm, &got), 0u);
        EXPECT_EQ(got.nSamplingRate, max);
    }
}

TEST(CodecAdapters, VorbisNamesEveryParameterRequest)
{
    registerComponents();
    Client c;
    ASSERT_EQ(c.create(kVorbisName), OMX_ErrorNone);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(c.get(OMX_IndexParamAudioVorbis, nullptr), 0x80001005u);
    OMX_AUDIO_PARAM_PCMMODETYPE pcm = pcmRecord(1);
    EXPECT_EQ(c.set(OMX_IndexParamAudioPcm, &pcm), 0u);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[OMXVORBISDEC:I] omx_vorbisdec_component_GetParameter nParamIndex "
                       "[0x400001b]"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("[OMXVORBISDEC:I] omx_vorbisdec_component_SetParameter nParamIndex "
                       "[0x4000002]"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("[OMXVORBISDEC:I] @@@@ :: nChannels = 2, nBitPerSample = 16, "
                       "nSamplingRate = 48000"),
              std::string::npos)
        << out;
}

TEST(CodecAdapters, ManyChannelsFollowTheDownmixFlag)
{
    registerComponents();
    struct Case {
        const CodecRow* row;
        uint32_t downmix, wantOut;
        bool multichannel;
    };
    const Case cases[] = {{&kCodecs[2], 0, 6, true},
                          {&kCodecs[2], 1, 2, false},
                          {&kCodecs[0], 0, 6, true},
                          {&kCodecs[0], 1, 2, false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.row->name << " down-mix " << k.downmix);
        Client c;
        ASSERT_EQ(c.create(k.row->name), OMX_ErrorNone);
        ASSERT_EQ(c.setStream(6, 48000, 16, 0, 0, k.downmix), 0u);
        std::vector<uint32_t> rec = codecRecord(*k.row, 0, 6, 48000);
        ::testing::internal::CaptureStdout();
        ASSERT_EQ(c.set(k.row->index, rec.data()), 0u);
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.find(std::string(k.row->tag) + "I] multichannel out") != std::string::npos,
                  k.multichannel)
            << out;
        OMX_AUDIO_PARAM_PCMMODETYPE pcm = pcmRecord(1, 0);
        ASSERT_EQ(c.get(OMX_IndexParamAudioPcm, &pcm), 0u);
        EXPECT_EQ(pcm.nChannels, k.wantOut);
    }
}

// More than two channels: an OpenMAX error, and the component keeps what it had.
TEST(CodecAdapters, OpusRefusesMoreThanTwoChannelsAndStoresNothing)
{
    registerComponents();
    Client c;
    ASSERT_EQ(c.create(kOpusName), OMX_ErrorNone);
    const CodecRow& row = kCodecs[1];
    std::vector<uint32_t> good = codecRecord(row, 0, 2, 48000);
    ASSERT_EQ(c.set(row.index, good.data()), 0u);
    for (uint32_t channels : {3u, 6u, 255u}) {
        std::vector<uint32_t> many = codecRecord(row, 0, channels, 24000);
        EXPECT_EQ(c.set(row.index, many.data()), 0x80001019u) << channels;
        std::vector<uint32_t> back = codecRecord(row, 0, 0, 0);
        ASSERT_EQ(c.get(row.index, back.data()), 0u);
        EXPECT_EQ(back, good);
        EXPECT_EQ(c.priv()->inFormat.channels, 2);
        EXPECT_EQ(c.priv()->inFormat.sample_rate, 48000);
        EXPECT_EQ(c.priv()->outFormat.channels, 2);
    }
    std::vector<uint32_t> mono = codecRecord(row, 0, 1, 48000);
    EXPECT_EQ(c.set(row.index, mono.data()), 0u);
}

#ifdef OMX_CODEC_STANDINS

// Xiph lacing of the three Vorbis headers, as containers carry them.
std::vector<uint8_t> xiphLaced(const std::vector<std::vector<uint8_t>>& headers)
{
    std::vector<uint8_t> out{2};
    for (int i = 0; i < 2; ++i) {
        size_t n = headers[i].size();
        for (; n >= 255; n -= 255)
            out.push_back(255);
        out.push_back(static_cast<uint8_t>(n));
    }
    for (int i = 0; i < 3; ++i)
        out.insert(out.end(), headers[i].begin(), headers[i].end());
    return out;
}

struct Comparison {
    size_t compared = 0;
    int maxDiff = 0;
};

Comparison compare(const std::vector<int16_t>& ours, const std::vector<int16_t>& ref)
{
    Comparison c;
    c.compared = std::min(ours.size(), ref.size());
    for (size_t i = 0; i < c.compared; ++i)
        c.maxDiff = std::max(c.maxDiff, std::abs(int(ours[i]) - int(ref[i])));
    return c;
}

// Feeds extra data as a codec-config buffer, then every packet, the last
// one flagged EOS.
void decodeStream(Client& c, const std::vector<uint8_t>& extra,
                  const std::vector<std::vector<uint8_t>>& packets)
{
    c.start(3, 65536, 3, 65536);
    if (!extra.empty())
        c.feed(extra, OMX_BUFFERFLAG_CODECCONFIG);
    for (size_t i = 0; i < packets.size(); ++i)
        c.feed(packets[i], i + 1 == packets.size() ? OMX_BUFFERFLAG_EOS : 0);
}

const char* kSource = "-f lavfi -i sine=f=330:r=44100:d=0.6 -f lavfi "
                      "-i sine=f=550:r=44100:d=0.6 -filter_complex \"[0][1]amerge=inputs=2\" ";

TEST(CodecAdapterDecode, VorbisStreamDecodesLikeFfmpeg)
{
    registerComponents();
    TempDir dir;
    const std::string ogg = dir.file("v.ogg"), ref = dir.file("v.s16");
    ASSERT_TRUE(ffmpeg(std::string(kSource) + "-c:a libvorbis -q:a 4 " + ogg));
    ASSERT_TRUE(ffmpeg("-i " + ogg + " -f s16le " + ref));
    std::vector<std::vector<uint8_t>> packets = oggPackets(readFile(ogg));
    ASSERT_GT(packets.size(), 4u);
    const std::vector<uint8_t> extra =
        xiphLaced({packets[0], packets[1], packets[2]});
    packets.erase(packets.begin(), packets.begin() + 3);

    Client c;
    ASSERT_EQ(c.create(kVorbisName), OMX_ErrorNone);
    decodeStream(c, extra, packets);
    EXPECT_EQ(c.errors(), 0u);
    EXPECT_TRUE(c.endOfStream);
    // The open hook skipped the lacing preamble.
    EXPECT_EQ(c.priv()->init.common.extra[0], 0x01);
    EXPECT_EQ(std::memcmp(c.priv()->init.common.extra + 1, "vorbis", 6), 0);
    EXPECT_NE(c.priv()->init.calloc_fn, nullptr);
    OMX_AUDIO_PARAM_PCMMODETYPE pcm = pcmRecord(1, 0);
    ASSERT_EQ(c.get(OMX_IndexParamAudioPcm, &pcm), 0u);
    EXPECT_EQ(pcm.nChannels, 2u);
    EXPECT_EQ(pcm.nSamplingRate, 44100u);

    const std::vector<int16_t> ours = toS16(c.pcm), theirs = toS16(readFile(ref));
    const Comparison cmp = compare(ours, theirs);
    EXPECT_GT(cmp.compared, 2u * 44100 / 2);
    EXPECT_LE(std::abs(long(ours.size()) - long(theirs.size())), 2 * 2048);
    EXPECT_LE(cmp.maxDiff, 4);
}

TEST(CodecAdapterDecode, VorbisHeadersAfterAPreambleOrMissing)
{
    registerComponents();
    TempDir dir;
    const std::string ogg = dir.file("v.ogg");
    ASSERT_TRUE(ffmpeg(std::string(kSource) + "-t 0.2 -c:a libvorbis " + ogg));
    std::vector<std::vector<uint8_t>> packets = oggPackets(readFile(ogg));
    ASSERT_GT(packets.size(), 4u);
    std::vector<uint8_t> headers;
    for (int i = 0; i < 3; ++i)
        headers.insert(headers.end(), packets[i].begin(), packets[i].end());
    packets.erase(packets.begin(), packets.begin() + 3);
    {
        std::vector<uint8_t> extra(30, 0x55);
        extra.insert(extra.end(), headers.begin(), headers.end());
        Client c;
        ASSERT_EQ(c.create(kVorbisName), OMX_ErrorNone);
        decodeStream(c, extra, packets);
        EXPECT_EQ(c.errors(), 0u);
        EXPECT_EQ(c.priv()->init.common.extra, c.priv()->extraData + 30);
        EXPECT_EQ(c.priv()->init.common.extra_size, int32_t(headers.size()));
        EXPECT_FALSE(c.pcm.empty());
    }
    {
        // Without an identification header the decoder is given nothing.
        std::vector<uint8_t> extra(headers.begin() + 1, headers.end());
        Client c;
        ASSERT_EQ(c.create(kVorbisName), OMX_ErrorNone);
        decodeStream(c, extra, packets);
        EXPECT_EQ(c.priv()->init.common.extra_size, 0);
        EXPECT_EQ(c.errors(), 1u);
        EXPECT_TRUE(c.pcm.empty());
    }
}

TEST(CodecAdapterDecode, OpusStreamDecodesLikeFfmpeg)
{
    registerComponents();
    TempDir dir;
    const std::string ogg = dir.file("o.ogg"), ref = dir.file("o.s16");
    ASSERT_TRUE(ffmpeg(std::string(kSource) + "-ar 48000 -c:a libopus -b:a 96k " + ogg));
    ASSERT_TRUE(ffmpeg("-c:a libopus -i " + ogg + " -f s16le " + ref));
    std::vector<std::vector<uint8_t>> packets = oggPackets(readFile(ogg));
    ASSERT_GT(packets.size(), 3u);
    const std::vector<uint8_t> head = packets[0];
    packets.erase(packets.begin(), packets.begin() + 2); // OpusHead, OpusTags

    Client c;
    ASSERT_EQ(c.create(kOpusName), OMX_ErrorNone);
    decodeStream(c, head, packets);
    EXPECT_EQ(c.errors(), 0u);
    EXPECT_TRUE(c.endOfStream);
    EXPECT_EQ(c.priv()->init.common.extra_size, int32_t(head.size()));
    OMX_AUDIO_PARAM_PCMMODETYPE pcm = pcmRecord(1, 0);
    ASSERT_EQ(c.get(OMX_IndexParamAudioPcm, &pcm), 0u);
    EXPECT_EQ(pcm.nSamplingRate, 48000u);

    const std::vector<int16_t> ours = toS16(c.pcm), theirs = toS16(readFile(ref));
    const Comparison cmp = compare(ours, theirs);
    EXPECT_GT(cmp.compared, 2u * 48000 / 2);
    // ffmpeg also trims the end to the stream's last granule position.
    EXPECT_LE(std::abs(long(ours.size()) - long(theirs.size())), 2 * 960);
    EXPECT_LE(cmp.maxDiff, 2);
}

TEST(CodecAdapterDecode, FlacStreamDecodesLikeFfmpeg)
{
    registerComponents();
    TempDir dir;
    for (int channels : {2, 6}) {
        SCOPED_TRACE(channels);
        const std::string ogg = dir.file("f.ogg"), ref = dir.file("f.s16");
        ASSERT_TRUE(ffmpeg(std::string(kSource) + "-ac " + std::to_string(channels) +
                           " -c:a flac " + ogg));
        ASSERT_TRUE(ffmpeg("-i " + ogg + " -f s16le " + ref));
        std::vector<std::vector<uint8_t>> packets = oggPackets(readFile(ogg));
        ASSERT_GT(packets.size(), 2u);
        // Ogg's first FLAC packet: 0x7F "FLAC", version, header count, then
        // "fLaC" and the stream information block.
        ASSERT_GE(packets[0].size(), 9u + 42u);
        const std::vector<uint8_t> extra(packets[0].begin() + 9, packets[0].end());
        std::vector<std::vector<uint8_t>> frames;
        for (size_t i = 1; i < packets.size(); ++i)
            if (packets[i].size() > 1 && packets[i][0] == 0xFF)
                frames.push_back(packets[i]);

        Client c;
        ASSERT_EQ(c.create(kFlacName), OMX_ErrorNone);
        ASSERT_EQ(c.setStream(channels, 44100, 16, 0, 0, 0), 0u);
        decodeStream(c, extra, frames);
        EXPECT_EQ(c.errors(), 0u);
        EXPECT_TRUE(c.endOfStream);
        EXPECT_TRUE(c.pcm == readFile(ref));
        OMX_AUDIO_PARAM_FLACTYPE rec;
        setHeader(&rec, sizeof rec);
        ASSERT_EQ(c.get(OMX_IndexParamAudioFlac, &rec), 0u);
        EXPECT_EQ(rec.nChannels, uint32_t(channels));
        EXPECT_EQ(rec.nSampleRate, 44100u);
    }
}

TEST(CodecAdapterDecode, DamagedPacketsAreDroppedAndDecodingGoesOn)
{
    registerComponents();
    TempDir dir;
    const std::string ogg = dir.file("f.ogg");
    ASSERT_TRUE(ffmpeg(std::string(kSource) + "-c:a flac " + ogg));
    std::vector<std::vector<uint8_t>> packets = oggPackets(readFile(ogg));
    ASSERT_GT(packets.size(), 4u);
    const std::vector<uint8_t> extra(packets[0].begin() + 9, packets[0].end());
    std::vector<std::vector<uint8_t>> frames;
    for (size_t i = 1; i < packets.size(); ++i)
        if (packets[i].size() > 1 && packets[i][0] == 0xFF)
            frames.push_back(packets[i]);
    frames[1].resize(frames[1].size() / 2); // cut short
    Client c;
    ASSERT_EQ(c.create(kFlacName), OMX_ErrorNone);
    decodeStream(c, extra, frames);
    EXPECT_EQ(c.errors(), 1u);
    EXPECT_EQ(c.priv()->nDecodeErrors, 1u);
    EXPECT_TRUE(c.endOfStream);
    EXPECT_FALSE(c.pcm.empty());
}

#endif

} // namespace
