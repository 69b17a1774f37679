// Fuzz target: requests to one of the four audio decoder components, created
// through the OpenMAX core, with parameters and buffers read from the input,
// decode inputs included. Aborts when a request answers something other than
// 0 or an OpenMAX error, when an output buffer comes back fuller than its
// room, or when a component keeps a buffer it was asked to give back.
//
// Input: component byte (0 PCM, 1 Vorbis, 2 Opus, 3 FLAC), then requests,
// each an operation byte and its arguments (little-endian):
//   0 stream ch rate32 bits align16 kind(0/1/2) downmix
//   1 set PCM port ch rate32 bits sizeDelta   2 get PCM port
//   3 set codec port ch rate32 sizeDelta      4 get codec port
//   5 role which                              6 start outSize16 (x4 bytes)
//   7 feed flags len16 data[len]              8 stop
//   9 other index set?                        10 port definition port count size32
// (op 9's index byte picks one of the indices the interface defines).

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "omx_audiodec_component.h"
#include "omx_core.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    bool more() const { return n > 0; }
    uint8_t byte()
    {
        if (!n)
            return 0;
        --n;
        return *p++;
    }
    uint16_t u16()
    {
        const uint16_t low = byte();
        return static_cast<uint16_t>(low | byte() << 8);
    }
    uint32_t u32()
    {
        const uint32_t low = u16();
        return low | static_cast<uint32_t>(u16()) << 16;
    }
};

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "audio component fuzz: %s\n", what);
        std::abort();
    }
}

void checkResult(OMX_ERRORTYPE e, const char* what)
{
    const auto r = static_cast<uint32_t>(e);
    check(r == 0 || (r >= 0x80001000u && r <= 0x8000101Bu), what);
}

const char* const kNames[] = {"OMX.KVR.pcmdec", "OMX.KVR.vorbisdec", "OMX.KVR.opusdec",
                              "OMX.KVR.flacdec"};
const char* const kLibraries[] = {OMX_PCM_ADAPTER, OMX_VORBIS_ADAPTER, OMX_OPUS_ADAPTER,
                                  OMX_FLAC_ADAPTER};
// The decoder libraries the components load by name.
const char* const kDecoderLibraries[] = {"libkvrpcmdec.so", "libkvrvorbisdec.so", "libkvropusdec.so",
                                         "libkvrflacdec.so"};
const char* const kRoles[] = {"audio_decoder.pcm_dec", "audio_decoder.vorbis",
                              "audio_decoder.opus", "audio_decoder.flac"};
const uint32_t kCodecIndex[] = {OMX_IndexParamAudioPcm, OMX_IndexParamAudioVorbis,
                                OMX_IndexParamAudioOpus, OMX_IndexParamAudioFlac};
// Every index a client can name: the components answer the ones they do
// not serve with an error.
const OMX_INDEXTYPE kIndices[] = {OMX_IndexParamAudioInit,   OMX_IndexParamImageInit,
                                  OMX_IndexParamVideoInit,   OMX_IndexParamOtherInit,
                                  OMX_IndexParamStandardComponentRole, OMX_IndexParamPortDefinition,
                                  OMX_IndexParamAudioPcm,    OMX_IndexParamAudioVorbis,
                                  OMX_IndexParamAudioFlac,   OMX_IndexParamAudioOpus,
                                  OMX_IndexVendorStartUnused, OMX_IndexVendorAudioDecStream};
const uint32_t kCodecSize[] = {sizeof(OMX_AUDIO_PARAM_PCMMODETYPE),
                               sizeof(OMX_AUDIO_PARAM_VORBISTYPE),
                               sizeof(OMX_AUDIO_PARAM_OPUSTYPE), sizeof(OMX_AUDIO_PARAM_FLACTYPE)};

struct Client {
    OMX_COMPONENTTYPE* c = nullptr;
    std::vector<OMX_BUFFERHEADERTYPE*> inputs, outputs, freeInputs, done;
    uint32_t outSize = 0;
    bool started = false;
};

OMX_ERRORTYPE onEvent(OMX_HANDLETYPE, OMX_PTR, OMX_EVENTTYPE, OMX_U32, OMX_U32, OMX_PTR)
{
    return OMX_ErrorNone;
}
OMX_ERRORTYPE onEmpty(OMX_HANDLETYPE, OMX_PTR app, OMX_BUFFERHEADERTYPE* b)
{
    static_cast<Client*>(app)->freeInputs.push_back(b);
    return OMX_ErrorNone;
}
OMX_ERRORTYPE onFill(OMX_HANDLETYPE, OMX_PTR app, OMX_BUFFERHEADERTYPE* b)
{
    check(b->nFilledLen <= b->nAllocLen - b->nOffset, "output fuller than its room");
    static_cast<Client*>(app)->done.push_back(b);
    return OMX_ErrorNone;
}

void pump(Client& cl)
{
    for (int rounds = 0; !cl.done.empty() && rounds < 10000; ++rounds) {
        OMX_BUFFERHEADERTYPE* b = cl.done.front();
        cl.done.erase(cl.done.begin());
        if (cl.started)
            checkResult(cl.c->FillThisBuffer(cl.c, b), "fill");
    }
}

void stop(Client& cl)
{
    OMX_COMPONENTTYPE* c = cl.c;
    OMX_STATETYPE state;
    c->GetState(c, &state);
    cl.started = false;
    if (state == OMX_StateExecuting)
        checkResult(c->SendCommand(c, OMX_CommandStateSet, OMX_StateIdle, nullptr), "idle");
    c->GetState(c, &state);
    if (state == OMX_StateIdle)
        checkResult(c->SendCommand(c, OMX_CommandStateSet, OMX_StateLoaded, nullptr), "loaded");
    check(cl.freeInputs.size() == cl.inputs.size(), "an input buffer was kept");
    for (OMX_BUFFERHEADERTYPE* b : cl.inputs)
        checkResult(c->FreeBuffer(c, OMX_AUDIODEC_INPUT_PORT, b), "free input");
    for (OMX_BUFFERHEADERTYPE* b : cl.outputs)
        checkResult(c->FreeBuffer(c, OMX_AUDIODEC_OUTPUT_PORT, b), "free output");
    cl.inputs.clear();
    cl.outputs.clear();
    cl.freeInputs.clear();
    cl.done.clear();
}

void start(Client& cl, uint32_t outSize)
{
    OMX_COMPONENTTYPE* c = cl.c;
    if (c->SendCommand(c, OMX_CommandStateSet, OMX_StateIdle, nullptr) != OMX_ErrorNone)
        return;
    for (int i = 0; i < 2; ++i) {
        OMX_BUFFERHEADERTYPE* b = nullptr;
        if (c->AllocateBuffer(c, &b, OMX_AUDIODEC_INPUT_PORT, nullptr, 65536) == OMX_ErrorNone) {
            cl.inputs.push_back(b);
            cl.freeInputs.push_back(b);
        }
        b = nullptr;
        if (c->AllocateBuffer(c, &b, OMX_AUDIODEC_OUTPUT_PORT, nullptr, outSize) == OMX_ErrorNone)
            cl.outputs.push_back(b);
    }
    checkResult(c->SendCommand(c, OMX_CommandStateSet, OMX_StateExecuting, nullptr), "executing");
    cl.started = true;
    for (OMX_BUFFERHEADERTYPE* b : cl.outputs)
        checkResult(c->FillThisBuffer(c, b), "fill");
    pump(cl);
}

void run(Reader& in)
{
    const unsigned which = in.byte() % 4;
    static bool registered = false;
    if (!registered) {
        // The core unloads a component's library with its last handle; a
        // library unloaded under coverage instrumentation leaves the
        // fuzzer counting into unmapped memory. Held here, it stays.
        for (const char* library : kLibraries)
            check(dlopen(library, RTLD_NOW | RTLD_NODELETE) != nullptr, "load a component library");
        for (const char* library : kDecoderLibraries)
            check(dlopen(library, RTLD_NOW | RTLD_NODELETE) != nullptr, "load a decoder library");
        OMX_Init();
        for (unsigned i = 0; i < 4; ++i)
            ozb_omx_core_RegisterComponent(kNames[i], kLibraries[i], "OMX_ComponentInit",
                                           OZB_OMX_INIT_COMPONENT_AND_NAME);
        registered = true;
    }
    static OMX_CALLBACKTYPE callbacks = {onEvent, onEmpty, onFill};
    Client cl;
    OMX_HANDLETYPE h = nullptr;
    check(OMX_GetHandle(&h, const_cast<char*>(kNames[which]), &cl, &callbacks) == OMX_ErrorNone,
          "create");
    cl.c = static_cast<OMX_COMPONENTTYPE*>(h);
    OMX_COMPONENTTYPE* c = cl.c;
    std::vector<uint8_t> record(256);

    for (int steps = 0; in.more() && steps < 512; ++steps) {
        std::memset(record.data(), 0, record.size());
        const uint8_t op = in.byte() % 11;
        switch (op) {
        case 0: {
            OMX_AUDIODEC_STREAMTYPE s;
            setHeader(&s, sizeof s);
            s.nChannels = in.byte();
            s.nSampleRate = in.u32();
            s.nBitsPerSample = in.byte();
            s.nBlockAlign = in.u16();
            const uint8_t kind = in.byte() % 3;
            s.nPcmKind = kind == 1 ? OMX_AUDIODEC_PCM_KIND_DVD : kind == 2 ? OMX_AUDIODEC_PCM_KIND_BD : 0u;
            s.bDownmix = in.byte() & 1;
            checkResult(c->SetParameter(c, OMX_IndexVendorAudioDecStream, &s), "stream");
            break;
        }
        case 1:
        case 3: {
            const bool pcm = op == 1;
            const uint32_t index = pcm ? uint32_t(OMX_IndexParamAudioPcm) : kCodecIndex[which];
            const uint32_t size = pcm ? sizeof(OMX_AUDIO_PARAM_PCMMODETYPE) : kCodecSize[which];
            setHeader(record.data(), size);
            auto* w = reinterpret_cast<uint32_t*>(record.data());
            w[2] = in.byte() % 4;
            w[3] = in.byte();
            const uint32_t rate = in.u32();
            if (index == OMX_IndexParamAudioPcm)
                w[8] = rate;
            else if (index == OMX_IndexParamAudioVorbis)
                w[7] = rate;
            else
                w[4] = rate;
            const int8_t delta = static_cast<int8_t>(in.byte());
            if (delta % 5 == 0)
                w[0] = size + delta;
            checkResult(c->SetParameter(c, static_cast<OMX_INDEXTYPE>(index), record.data()),
                        "set record");
            break;
        }
        case 2:
        case 4: {
            const bool pcm = op == 2;
            const uint32_t index = pcm ? uint32_t(OMX_IndexParamAudioPcm) : kCodecIndex[which];
            const uint32_t size = pcm ? sizeof(OMX_AUDIO_PARAM_PCMMODETYPE) : kCodecSize[which];
            setHeader(record.data(), size);
            reinterpret_cast<uint32_t*>(record.data())[2] = in.byte() % 4;
            checkResult(c->GetParameter(c, static_cast<OMX_INDEXTYPE>(index), record.data()),
                        "get record");
            break;
        }
        case 5: {
            OMX_PARAM_COMPONENTROLETYPE role;
            setHeader(&role, sizeof role);
            std::strcpy(reinterpret_cast<char*>(role.cRole), kRoles[in.byte() % 4]);
            checkResult(c->SetParameter(c, OMX_IndexParamStandardComponentRole, &role), "role");
            checkResult(c->GetParameter(c, OMX_IndexParamStandardComponentRole, &role), "role");
            break;
        }
        case 6: {
            const uint32_t size = (in.u16() % 20000u + 1) * 4;
            if (!cl.started && cl.inputs.empty())
                start(cl, size);
            break;
        }
        case 7: {
            const uint8_t flags = in.byte();
            size_t len = in.u16();
            if (len > in.n)
                len = in.n;
            if (cl.started && !cl.freeInputs.empty()) {
                OMX_BUFFERHEADERTYPE* b = cl.freeInputs.back();
                cl.freeInputs.pop_back();
                std::memcpy(b->pBuffer, in.p, len);
                b->nOffset = 0;
                b->nFilledLen = static_cast<OMX_U32>(len);
                b->nFlags = (flags & 1 ? OMX_BUFFERFLAG_EOS : 0u) |
                            (flags & 2 ? OMX_BUFFERFLAG_CODECCONFIG : 0u);
                checkResult(c->EmptyThisBuffer(c, b), "empty");
                pump(cl);
                check(!cl.freeInputs.empty(), "input buffers kept");
            }
            in.p += len;
            in.n -= len;
            break;
        }
        case 8:
            stop(cl);
            break;
        case 9: {
            const OMX_INDEXTYPE index = kIndices[in.byte() % (sizeof kIndices / sizeof kIndices[0])];
            setHeader(record.data(), in.byte());
            const bool set = in.byte() & 1;
            checkResult(set ? c->SetParameter(c, index, record.data())
                            : c->GetParameter(c, index, record.data()),
                        "other index");
            break;
        }
        case 10: {
            OMX_PARAM_PORTDEFINITIONTYPE def;
            setHeader(&def, sizeof def);
            def.nPortIndex = in.byte() % 3;
            checkResult(c->GetParameter(c, OMX_IndexParamPortDefinition, &def), "get port");
            def.nBufferCountActual = in.byte();
            def.nBufferSize = in.u32();
            checkResult(c->SetParameter(c, OMX_IndexParamPortDefinition, &def), "set port");
            break;
        }
        }
    }
    stop(cl);
    check(OMX_FreeHandle(h) == OMX_ErrorNone, "free handle");
}

} // namespace

// The base finds the decoder libraries by file name through the loader's
// search path, which the loader reads once at start: a run started without
// it (a bare fuzzer run) starts itself again with it.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    const char* path = std::getenv("LD_LIBRARY_PATH");
    if (path && std::strstr(path, OMX_DECODER_PATH))
        return 0;
    std::string wanted = OMX_DECODER_PATH;
    if (path && *path)
        wanted += std::string(":") + path;
    setenv("LD_LIBRARY_PATH", wanted.c_str(), 1);
    execv("/proc/self/exe", *argv);
    return 0; // not restarted: components whose library is missing fail to build
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The components print their messages on standard output; keep them
    // out of the driver's report.
    static int quiet = open("/dev/null", O_WRONLY);
    std::fflush(stdout);
    const int saved = dup(1);
    dup2(quiet, 1);
    Reader in{data, size};
    run(in);
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return 0;
}
