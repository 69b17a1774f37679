// "OMX.KVR.pcmdec" through the OpenMAX core: creation by name, roles, the PCM
// records of both ports and their limits, the init record its open hook
// fills, and WAV streams decoded through the base's loop against the library
// called directly and against ffmpeg.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kvr_pcmdec.h"
#include "omx_harness.h"

using namespace omxtest;

namespace {

class PcmAdapter : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerComponents();
        ASSERT_EQ(client.create(kPcmName), OMX_ErrorNone);
    }
    OMX_AUDIO_PARAM_PCMMODETYPE pcm(uint32_t port, uint32_t channels = 2, uint32_t rate = 48000,
                                    uint32_t bits = 16)
    {
        OMX_AUDIO_PARAM_PCMMODETYPE r;
        setHeader(&r, sizeof r);
        r.nPortIndex = port;
        r.nChannels = channels;
        r.nSamplingRate = rate;
        r.nBitPerSample = bits;
        return r;
    }
    Client client;
};

TEST(AudioAdapterCreation, EachNameBuildsItsComponentAndAnotherNameIsRefused)
{
    registerComponents();
    struct Row {
        const char* name;
        const char* library;
        const char* tag;
    };
    const Row rows[] = {{kPcmName, OMX_PCM_ADAPTER, "[OMXWAVDEC:E]"},
#ifdef OMX_VORBIS_ADAPTER
                        {kVorbisName, OMX_VORBIS_ADAPTER, "[OMXVORBISDEC:E]"},
                        {kOpusName, OMX_OPUS_ADAPTER, "[OMXOPUSDEC:E] In OMX_ComponentInit"},
                        {kFlacName, OMX_FLAC_ADAPTER, "[OMXFLACDEC:E]"}
#endif
    };
    const size_t count = sizeof rows / sizeof rows[0];
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        {
            Client c;
            ASSERT_EQ(c.create(r.name), OMX_ErrorNone);
            char name[OMX_MAX_STRINGNAME_SIZE];
            OMX_VERSIONTYPE v1, v2;
            ASSERT_EQ(c.component()->GetComponentVersion(c.component(), name, &v1, &v2, nullptr),
                      OMX_ErrorNone);
            EXPECT_STREQ(name, r.name);
            EXPECT_NE(c.priv()->decoderEntry, nullptr);
        }
        // The library of this component asked to build the next one's name.
        const char* other = (&r == &rows[count - 1]) ? "OMX.KVR.aacdec" : (&r)[1].name;
        ASSERT_EQ(ozb_omx_core_RegisterComponent("OMX.KVR.other", r.library, "OMX_ComponentInit",
                                                 OZB_OMX_INIT_COMPONENT_AND_NAME),
                  OMX_ErrorNone);
        ASSERT_EQ(ozb_omx_core_RegisterComponent(other, r.library, "OMX_ComponentInit",
                                                 OZB_OMX_INIT_COMPONENT_AND_NAME),
                  OMX_ErrorNone);
        ::testing::internal::CaptureStdout();
        OMX_HANDLETYPE h = reinterpret_cast<OMX_HANDLETYPE>(1);
        EXPECT_EQ(code(OMX_GetHandle(&h, const_cast<char*>(other), nullptr, nullptr)),
                  0x80001002u);
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(h, nullptr);
        EXPECT_NE(out.find(std::string("\33[31m") + r.tag), std::string::npos) << out;
        EXPECT_NE(out.find(std::string("OMX_ErrorInvalidComponentName ") + other),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("\n\33[0m\n"), std::string::npos) << out;
        registerComponents();
    }
    // A name the core does not know at all.
    OMX_HANDLETYPE h = nullptr;
    EXPECT_EQ(code(OMX_GetHandle(&h, const_cast<char*>("OMX.KVR.mp3dec"), nullptr, nullptr)),
              0x80001002u);
}

// Run by its own ctest entry with no search path for the decoder libraries.
TEST(AudioAdapterCreation, MissingDecoderLibraryIsInsufficientResources)
{
    if (!std::getenv("OMX_DECODERS_ABSENT"))
        GTEST_SKIP() << "the decoder libraries can be found in this run";
    registerComponents();
    for (const char* name : {kPcmName,
#ifdef OMX_VORBIS_ADAPTER
                             kVorbisName, kOpusName, kFlacName
#endif
         }) {
        OMX_HANDLETYPE h = reinterpret_cast<OMX_HANDLETYPE>(1);
        EXPECT_EQ(code(OMX_GetHandle(&h, const_cast<char*>(name), nullptr, nullptr)),
                  0x80001000u)
            << name;
        EXPECT_EQ(h, nullptr);
    }
}

TEST(AudioAdapterCreation, RolesPortsAndBaseFieldsFollowEachComponent)
{
    registerComponents();
    struct Row {
        const char* name;
        const char* role;
        const char* mime;
        uint32_t coding, bufferSize, kind;
    };
    const Row rows[] = {
        {kPcmName, "audio_decoder.pcm_dec", "audio/x-pcm", 2, 131072, 16},
#ifdef OMX_VORBIS_ADAPTER
        {kVorbisName, "audio_decoder.vorbis", "audio/vorbis", 24, 8192, 18},
        {kOpusName, "audio_decoder.opus", "audio/x-opus", 0x7F000006, 16384, 25},
        {kFlacName, "audio_decoder.flac", "audio/flac", 28, 65536, 11},
#endif
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Client c;
        ASSERT_EQ(c.create(r.name), OMX_ErrorNone);
        OMX_PARAM_COMPONENTROLETYPE role;
        setHeader(&role, sizeof role);
        ASSERT_EQ(c.get(OMX_IndexParamStandardComponentRole, &role), 0u);
        EXPECT_STREQ(reinterpret_cast<char*>(role.cRole), r.role);
        EXPECT_EQ(c.set(OMX_IndexParamStandardComponentRole, &role), 0u);
        std::strcpy(reinterpret_cast<char*>(role.cRole), "audio_decoder.mp3");
        EXPECT_EQ(c.set(OMX_IndexParamStandardComponentRole, &role), 0x80001005u);
        role.nSize = 100;
        EXPECT_EQ(c.get(OMX_IndexParamStandardComponentRole, &role), 0x80001005u);
        EXPECT_EQ(c.get(OMX_IndexParamStandardComponentRole, nullptr), 0x80001005u);
        EXPECT_EQ(c.set(OMX_IndexParamStandardComponentRole, nullptr), 0x80001005u);

        OMX_PARAM_PORTDEFINITIONTYPE def;
        setHeader(&def, sizeof def);
        def.nPortIndex = 0;
        ASSERT_EQ(c.get(OMX_IndexParamPortDefinition, &def), 0u);
        EXPECT_STREQ(def.format.audio.cMIMEType, r.mime);
        EXPECT_EQ(def.format.audio.eEncoding, r.coding);
        EXPECT_EQ(def.nBufferSize, r.bufferSize);
        EXPECT_EQ(c.priv()->nDecoderKind, r.kind);
        EXPECT_EQ(c.priv()->nOutputSampleBytes, 2u);
        EXPECT_EQ(c.priv()->nDecodeErrors, 0u);
        EXPECT_NE(c.priv()->portSettingsHook, nullptr);
        // Only the PCM component decodes through its own hook.
        EXPECT_EQ(c.priv()->decodeHook != nullptr, r.kind == 16);
        EXPECT_EQ(c.priv()->openHook != nullptr, r.kind != 11);
        // Indices no one answers come from the base.
        OMX_PORT_PARAM_TYPE ports;
        setHeader(&ports, sizeof ports);
        ASSERT_EQ(c.get(OMX_IndexParamAudioInit, &ports), 0u);
        EXPECT_EQ(ports.nPorts, 2u);
        EXPECT_EQ(c.get(OMX_IndexParamVideoInit, &ports), 0x8000101Au);
    }
}

TEST_F(PcmAdapter, PcmRecordsOfBothPortsWithTheirLimits)
{
    OMX_AUDIO_PARAM_PCMMODETYPE r = pcm(0);
    ASSERT_EQ(client.get(OMX_IndexParamAudioPcm, &r), 0u);
    EXPECT_EQ(r.nChannels, 2u);
    EXPECT_EQ(r.nSamplingRate, 44100u);

    const uint32_t max = client.priv()->nMaxSampleRate;
    r = pcm(1, 2, max + 1);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(client.set(OMX_IndexParamAudioPcm, &r), 0x80001019u);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[OMXWAVDEC:E] This system doesn't support over " + std::to_string(max) +
                       "Hz sampling rate!"),
              std::string::npos)
        << out;

    r = pcm(1, 2, max, 24);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(client.set(OMX_IndexParamAudioPcm, &r), 0u);
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\33[32m[OMXWAVDEC:I] @@@@ :: nChannels = 2, nBitPerSample = 24, "
                       "nSamplingRate = " +
                       std::to_string(max)),
              std::string::npos)
        << out;
    OMX_AUDIO_PARAM_PCMMODETYPE back = pcm(1, 0, 0);
    ASSERT_EQ(client.get(OMX_IndexParamAudioPcm, &back), 0u);
    EXPECT_EQ(back.nSamplingRate, max);
    EXPECT_EQ(back.nBitPerSample, 24u);

    // Ports beyond the two.
    r = pcm(2);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(client.get(OMX_IndexParamAudioPcm, &r), 0x8000101Bu);
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[OMXWAVDEC:E] omx_wavdec_component_GetParameter port index error"),
              std::string::npos)
        << out;
    EXPECT_EQ(client.set(OMX_IndexParamAudioPcm, &r), 0x8000101Bu);
    EXPECT_EQ(client.get(OMX_IndexParamAudioPcm, nullptr), 0x80001005u);
    EXPECT_EQ(client.set(OMX_IndexParamAudioPcm, nullptr), 0x80001005u);
    r = pcm(0);
    r.nSize = 100;
    EXPECT_EQ(client.set(OMX_IndexParamAudioPcm, &r), 0x80001005u);
    EXPECT_EQ(client.get(OMX_IndexParamAudioPcm, &r), 0x80001005u);
}

TEST_F(PcmAdapter, InputChannelRuleFollowsTheDownmixFlag)
{
    struct Case {
        uint32_t channels, downmix, wantOut;
        bool multichannel;
    };
    const Case cases[] = {{6, 1, 2, false}, {6, 0, 6, true}, {1, 0, 2, false}, {2, 1, 2, false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.channels << " channels, down-mix " << k.downmix);
        Client c;
        ASSERT_EQ(c.create(kPcmName), OMX_ErrorNone);
        ASSERT_EQ(c.setStream(k.channels, 48000, 16, 2 * k.channels, 0, k.downmix), 0u);
        OMX_AUDIO_PARAM_PCMMODETYPE r = pcm(0, k.channels);
        ::testing::internal::CaptureStdout();
        ASSERT_EQ(c.set(OMX_IndexParamAudioPcm, &r), 0u);
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.find("multichannel out") != std::string::npos, k.multichannel) << out;
        OMX_AUDIO_PARAM_PCMMODETYPE back = pcm(1, 0, 0);
        ASSERT_EQ(c.get(OMX_IndexParamAudioPcm, &back), 0u);
        EXPECT_EQ(back.nChannels, k.wantOut);
        back = pcm(0, 0, 0);
        ASSERT_EQ(c.get(OMX_IndexParamAudioPcm, &back), 0u);
        EXPECT_EQ(back.nChannels, k.channels);
    }
}

TEST_F(PcmAdapter, ParametersOfAnEnabledPortWaitForTheLoadedState)
{
    client.start(2, 4096, 2, 65536);
    OMX_AUDIO_PARAM_PCMMODETYPE r = pcm(0);
    EXPECT_EQ(client.set(OMX_IndexParamAudioPcm, &r), 0x80001018u);
    client.stop();
    EXPECT_EQ(client.set(OMX_IndexParamAudioPcm, &r), 0u);
}

// The PCM library's entry, loaded by name as the base loads it.
KvrEntryFn pcmEntry()
{
    static KvrEntryFn entry = [] {
        void* library = dlopen("libkvrpcmdec.so", RTLD_NOW | RTLD_LOCAL);
        return library ? reinterpret_cast<KvrEntryFn>(dlsym(library, "KVR_WAV_DEC")) : nullptr;
    }();
    return entry;
}

// The library called directly, as the component's open hook sets it up.
std::vector<uint8_t> decodeDirectly(const Wav& wav)
{
    const KvrEntryFn KVR_WAV_DEC = pcmEntry();
    if (!KVR_WAV_DEC)
        return {};
    KvrWavDecInput inFormat{};
    inFormat.sample_rate = static_cast<int32_t>(wav.rate);
    inFormat.channels = wav.channels;
    inFormat.bits = wav.bits;
    KvrWavDecOutput outFormat{};
    outFormat.interleaved = 1;
    outFormat.bits = 16;
    KvrWavDecInit init{};
    init.in_format = &inFormat;
    init.out_format = &outFormat;
    init.downmix = 1;
    init.alloc = malloc;
    init.release = free;
    init.copy = memcpy;
    init.fill = memset;
    init.format = KVR_WAV_FMT_PCM;
    init.block_align = wav.blockAlign;
    void* slot = nullptr;
    std::vector<uint8_t> pcm;
    if (KVR_WAV_DEC(KVR_WAV_DEC_OPEN, &slot, &init, nullptr) != 0)
        return pcm;
    std::vector<uint8_t> buffer(2048 * 8 * 4);
    KvrWavDecInput in = inFormat;
    in.data = wav.data.data();
    in.length = static_cast<int32_t>(wav.data.size());
    while (in.length > 0) {
        KvrWavDecOutput out = outFormat;
        out.buffer[0] = buffer.data();
        if (KVR_WAV_DEC(KVR_WAV_DEC_DECODE, &slot, &in, &out) != 0)
            break;
        const size_t bytes = static_cast<size_t>(out.frames) * out.channels * 2;
        pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + bytes);
    }
    KVR_WAV_DEC(KVR_WAV_DEC_CLOSE, &slot, nullptr, nullptr);
    return pcm;
}

// Feeds the data in `chunk`-byte input buffers, the last one flagged EOS.
void feedChunks(Client& c, const std::vector<uint8_t>& data, size_t chunk)
{
    for (size_t pos = 0; pos < data.size(); pos += chunk) {
        const size_t n = std::min(chunk, data.size() - pos);
        const bool last = pos + n == data.size();
        c.feed(data.data() + pos, n, last ? OMX_BUFFERFLAG_EOS : 0);
    }
}

TEST(PcmAdapterDecode, WavStreamsMatchTheLibraryAndFfmpeg)
{
    registerComponents();
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    struct Case {
        const char* name;
        const char* codec;
        int channels;
        size_t chunk;
        bool ffmpegSame; // ffmpeg's 16-bit decode is ours sample for sample
    };
    const Case cases[] = {
        {"s16_stereo", "pcm_s16le", 2, 3001, true},
        {"u8_mono", "pcm_u8", 1, 4096, true},
        {"s24_stereo", "pcm_s24le", 2, 1000, true},
        {"s16_6ch_downmixed", "pcm_s16le", 6, 7777, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const std::string wavPath = dir.file(std::string(k.name) + ".wav");
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=440:r=44100:d=0.5 -f lavfi "
                           "-i anoisesrc=r=44100:d=0.5:a=0.3:seed=3 -filter_complex "
                           "\"[0][1]amix=inputs=2,volume=1.5\" -ac " +
                           std::to_string(k.channels) + " -c:a " + k.codec + " " + wavPath));
        Wav wav;
        ASSERT_TRUE(parseWav(readFile(wavPath), &wav));

        Client c;
        ASSERT_EQ(c.create(kPcmName), OMX_ErrorNone);
        ASSERT_EQ(c.setStream(wav.channels, wav.rate, wav.bits, wav.blockAlign), 0u);
        c.start(2, 131072, 3, 65536);
        feedChunks(c, wav.data, k.chunk);
        EXPECT_TRUE(c.endOfStream);
        EXPECT_EQ(c.errors(), 0u);
        EXPECT_FALSE(c.overran);

        // What the open hook gave the library.
        const KvrWavDecInit& init = c.priv()->init.common;
        EXPECT_EQ(init.format, KVR_WAV_FMT_PCM);
        EXPECT_EQ(init.downmix, 1);
        EXPECT_EQ(init.extra_size, 0);
        EXPECT_EQ(init.block_align, wav.blockAlign);
        EXPECT_EQ(init.big_endian, 0);
        EXPECT_EQ(init.layout, KVR_LPCM_PLAIN);
        OMX_AUDIO_PARAM_PCMMODETYPE out;
        setHeader(&out, sizeof out);
        out.nPortIndex = 1;
        ASSERT_EQ(c.get(OMX_IndexParamAudioPcm, &out), 0u);
        EXPECT_EQ(out.nChannels, std::min<uint32_t>(wav.channels, 2));
        EXPECT_EQ(out.nSamplingRate, wav.rate);

        const std::vector<uint8_t> direct = decodeDirectly(wav);
        ASSERT_FALSE(direct.empty());
        EXPECT_EQ(c.pcm.size(), direct.size());
        EXPECT_TRUE(c.pcm == direct);
        if (k.ffmpegSame) {
            const std::string ref = dir.file(std::string(k.name) + ".s16");
            ASSERT_TRUE(ffmpeg("-i " + wavPath + " -f s16le " + ref));
            const std::vector<uint8_t> expected = readFile(ref);
            // The library decodes whole groups of four frames.
            const size_t frameBytes = 2u * wav.channels;
            ASSERT_LE(c.pcm.size(), expected.size());
            EXPECT_LT(expected.size() - c.pcm.size(), 4 * frameBytes);
            EXPECT_TRUE(std::equal(c.pcm.begin(), c.pcm.end(), expected.begin()));
        }
    }
}

TEST(PcmAdapterDecode, StreamKindChoosesTheByteOrderAndLayout)
{
    registerComponents();
    struct Case {
        uint32_t kind;
        int32_t bigEndian, layout;
    };
    const Case cases[] = {{0, 0, KVR_LPCM_PLAIN}, {4096, 1, KVR_LPCM_DVD}, {8192, 1, KVR_LPCM_BD}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.kind);
        Client c;
        ASSERT_EQ(c.create(kPcmName), OMX_ErrorNone);
        ASSERT_EQ(c.setStream(2, 48000, 16, 4, k.kind), 0u);
        c.start(2, 4096, 2, 65536);
        std::vector<uint8_t> data(4 * 64, 0);
        if (k.kind == 8192)
            data[0] = 0xA0, data[1] = 0x06, data[3] = 0x20; // BD header: 48 kHz stereo
        c.feed(data);
        EXPECT_TRUE(c.priv()->bDecoderOpen);
        EXPECT_EQ(c.priv()->init.common.big_endian, k.bigEndian);
        EXPECT_EQ(c.priv()->init.common.layout, k.layout);
    }
}

// Each call of the library may write up to 2048 frames: the room left in an
// output buffer is measured against that, whatever the last call wrote.
TEST(PcmAdapterDecode, OutputRoomIsMeasuredAgainstTheLargestCall)
{
    registerComponents();
    std::vector<uint8_t> data(4 * 6000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 + i / 5);
    Wav wav;
    wav.channels = 2;
    wav.rate = 48000;
    wav.bits = 16;
    wav.blockAlign = 4;
    wav.data = data;
    const std::vector<uint8_t> direct = decodeDirectly(wav);

    // A short call (100 frames) first, then calls of 2048 frames, into buffers
    // with room for 2098 frames.
    {
        Client c;
        ASSERT_EQ(c.create(kPcmName), OMX_ErrorNone);
        ASSERT_EQ(c.setStream(2, 48000, 16, 4), 0u);
        c.start(3, 131072, 1, 2098 * 4);
        ::testing::internal::CaptureStdout();
        c.queueInputs({std::vector<uint8_t>(data.begin(), data.begin() + 400),
                       std::vector<uint8_t>(data.begin() + 400, data.end())});
        c.pump();
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("\33[35m[OMXWAVDEC:W]input frame will be split due to memory "
                           "shortage on the outbuffer"),
                  std::string::npos)
            << out;
        EXPECT_FALSE(c.overran);
        EXPECT_EQ(c.errors(), 0u);
        for (uint32_t size : c.outputSizes)
            EXPECT_LE(size, 2098u * 4);
        EXPECT_TRUE(c.pcm == direct);
    }
    // Room for less than one call: nothing is written, the input is dropped
    // with an error.
    {
        Client c;
        ASSERT_EQ(c.create(kPcmName), OMX_ErrorNone);
        ASSERT_EQ(c.setStream(2, 48000, 16, 4), 0u);
        c.start(2, 131072, 1, 1000 * 4);
        ::testing::internal::CaptureStdout();
        c.feed(data);
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("input frame will be split"), std::string::npos);
        EXPECT_TRUE(c.pcm.empty());
        EXPECT_EQ(c.errors(), 1u);
        EXPECT_EQ(c.priv()->nDecodeErrors, 1u);
    }
}

TEST(PcmAdapterDecode, EachStreamOpensTheDecoderAgainAfterLoaded)
{
    registerComponents();
    std::vector<uint8_t> data(4 * 3000 + 6); // a tail shorter than one call can use
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 13 + i / 7);
    Client c;
    ASSERT_EQ(c.create(kPcmName), OMX_ErrorNone);
    std::vector<uint8_t> first;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(c.setStream(2, 48000, 16, 4), 0u);
        c.pcm.clear();
        c.endOfStream = false;
        c.start(2, 131072, 2, 65536);
        EXPECT_FALSE(c.priv()->bDecoderOpen); // opened by the first decode only
        feedChunks(c, data, 5000);
        EXPECT_TRUE(c.endOfStream);
        EXPECT_EQ(c.errors(), 0u);
        EXPECT_EQ(c.pcm.size(), 4u * 3000);
        c.stop();
        EXPECT_FALSE(c.priv()->bDecoderOpen);
        EXPECT_EQ(c.priv()->decoderHandle, nullptr);
        if (round == 0)
            first = c.pcm;
        else
            EXPECT_TRUE(c.pcm == first);
    }
}

TEST(PcmAdapterDecode, DecoderFailuresAreReportedAndTheDecoderClosesAtLoaded)
{
    registerComponents();
    // 12 channels cannot be down-mixed: op 0 fails.
    {
        Client c;
        ASSERT_EQ(c.create(kPcmName), OMX_ErrorNone);
        ASSERT_EQ(c.setStream(12, 48000, 16, 24), 0u);
        c.start(2, 4096, 2, 65536);
        c.feed(std::vector<uint8_t>(24 * 16, 1));
        EXPECT_EQ(c.errors(), 1u);
        EXPECT_FALSE(c.priv()->bDecoderOpen);
        c.feed(std::vector<uint8_t>(24 * 16, 1));
        EXPECT_TRUE(c.pcm.empty());
    }
    // An 8-bit big-endian stream fails at op 1: logged, the input dropped.
    {
        Client c;
        ASSERT_EQ(c.create(kPcmName), OMX_ErrorNone);
        ASSERT_EQ(c.setStream(2, 48000, 8, 2, OMX_AUDIODEC_PCM_KIND_DVD), 0u);
        c.start(2, 4096, 2, 65536);
        ::testing::internal::CaptureStdout();
        c.feed(std::vector<uint8_t>(256, 1));
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("[OMXWAVDEC:E]In DecodeWav error -3"), std::string::npos) << out;
        EXPECT_EQ(c.errors(), 1u);
        // Back to Loaded: op 3 closes the decoder; a new stream opens again.
        c.stop();
        EXPECT_FALSE(c.priv()->bDecoderOpen);
        EXPECT_EQ(c.priv()->decoderHandle, nullptr);
    }
}

} // namespace
