// Test client of the audio decoder components; see omx_harness.h.

#include "omx_harness.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "temp_dir.h"

namespace omxtest {

const char* const kPcmName = "OMX.KVR.pcmdec";
const char* const kVorbisName = "OMX.KVR.vorbisdec";
const char* const kOpusName = "OMX.KVR.opusdec";
const char* const kFlacName = "OMX.KVR.flacdec";

void registerComponents()
{
    ASSERT_EQ(OMX_Init(), OMX_ErrorNone);
    const struct {
        const char* name;
        const char* library;
    } rows[] = {{kPcmName, OMX_PCM_ADAPTER},
#ifdef OMX_VORBIS_ADAPTER
                {kVorbisName, OMX_VORBIS_ADAPTER},
                {kOpusName, OMX_OPUS_ADAPTER},
                {kFlacName, OMX_FLAC_ADAPTER}
#endif
    };
    for (const auto& r : rows)
        ASSERT_EQ(ozb_omx_core_RegisterComponent(r.name, r.library, "OMX_ComponentInit",
                                                 OZB_OMX_INIT_COMPONENT_AND_NAME),
                  OMX_ErrorNone);
}

Client::~Client()
{
    if (c_) {
        stop();
        OMX_FreeHandle(c_);
    }
}

OMX_ERRORTYPE Client::create(const char* name)
{
    callbacks_.EventHandler = onEvent;
    callbacks_.EmptyBufferDone = onEmpty;
    callbacks_.FillBufferDone = onFill;
    OMX_HANDLETYPE h = nullptr;
    OMX_ERRORTYPE err = OMX_GetHandle(&h, const_cast<char*>(name), this, &callbacks_);
    c_ = static_cast<OMX_COMPONENTTYPE*>(h);
    return err;
}

uint32_t Client::set(uint32_t index, void* record)
{
    return code(c_->SetParameter(c_, static_cast<OMX_INDEXTYPE>(index), record));
}

uint32_t Client::get(uint32_t index, void* record)
{
    return code(c_->GetParameter(c_, static_cast<OMX_INDEXTYPE>(index), record));
}

uint32_t Client::setStream(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t blockAlign,
                           uint32_t pcmKind, uint32_t downmix)
{
    OMX_AUDIODEC_STREAMTYPE s;
    setHeader(&s, sizeof s);
    s.nPortIndex = OMX_AUDIODEC_INPUT_PORT;
    s.nChannels = channels;
    s.nSampleRate = rate;
    s.nBitsPerSample = bits;
    s.nBlockAlign = blockAlign;
    s.nPcmKind = pcmKind;
    s.bDownmix = downmix;
    return set(OMX_IndexVendorAudioDecStream, &s);
}

void Client::start(unsigned inputs, uint32_t inputSize, unsigned outputs, uint32_t outputSize)
{
    ASSERT_EQ(c_->SendCommand(c_, OMX_CommandStateSet, OMX_StateIdle, nullptr), OMX_ErrorNone);
    for (unsigned i = 0; i < inputs; ++i) {
        OMX_BUFFERHEADERTYPE* b = nullptr;
        ASSERT_EQ(c_->AllocateBuffer(c_, &b, OMX_AUDIODEC_INPUT_PORT, nullptr, inputSize),
                  OMX_ErrorNone);
        inputs_.push_back(b);
        freeInputs_.push_back(b);
    }
    for (unsigned i = 0; i < outputs; ++i) {
        OMX_BUFFERHEADERTYPE* b = nullptr;
        ASSERT_EQ(c_->AllocateBuffer(c_, &b, OMX_AUDIODEC_OUTPUT_PORT, nullptr, outputSize),
                  OMX_ErrorNone);
        outputs_.push_back(b);
    }
    ASSERT_EQ(c_->SendCommand(c_, OMX_CommandStateSet, OMX_StateExecuting, nullptr),
              OMX_ErrorNone);
    for (OMX_BUFFERHEADERTYPE* b : outputs_)
        ASSERT_EQ(c_->FillThisBuffer(c_, b), OMX_ErrorNone);
    pump();
}

void Client::feed(const uint8_t* data, size_t size, uint32_t flags)
{
    ASSERT_FALSE(freeInputs_.empty()) << "the component kept every input buffer";
    OMX_BUFFERHEADERTYPE* b = freeInputs_.back();
    freeInputs_.pop_back();
    ASSERT_LE(size, b->nAllocLen);
    if (size)
        std::memcpy(b->pBuffer, data, size);
    b->nOffset = 0;
    b->nFilledLen = static_cast<OMX_U32>(size);
    b->nFlags = flags;
    ASSERT_EQ(c_->EmptyThisBuffer(c_, b), OMX_ErrorNone);
    pump();
}

void Client::queueInputs(const std::vector<std::vector<uint8_t>>& data)
{
    for (const auto& d : data) {
        ASSERT_FALSE(freeInputs_.empty());
        OMX_BUFFERHEADERTYPE* b = freeInputs_.back();
        freeInputs_.pop_back();
        ASSERT_LE(d.size(), b->nAllocLen);
        std::memcpy(b->pBuffer, d.data(), d.size());
        b->nOffset = 0;
        b->nFilledLen = static_cast<OMX_U32>(d.size());
        b->nFlags = 0;
        ASSERT_EQ(c_->EmptyThisBuffer(c_, b), OMX_ErrorNone);
    }
}

void Client::pump()
{
    while (!doneOutputs_.empty()) {
        OMX_BUFFERHEADERTYPE* b = doneOutputs_.front();
        doneOutputs_.erase(doneOutputs_.begin());
        if (b->nFilledLen > b->nAllocLen - b->nOffset)
            overran = true;
        outputSizes.push_back(b->nFilledLen);
        pcm.insert(pcm.end(), b->pBuffer + b->nOffset, b->pBuffer + b->nOffset + b->nFilledLen);
        if (b->nFlags & OMX_BUFFERFLAG_EOS)
            endOfStream = true;
        OMX_STATETYPE state;
        c_->GetState(c_, &state);
        if (state == OMX_StateExecuting) {
            ASSERT_EQ(c_->FillThisBuffer(c_, b), OMX_ErrorNone);
        }
    }
}

void Client::stop()
{
    if (!c_)
        return;
    OMX_STATETYPE state;
    c_->GetState(c_, &state);
    if (state == OMX_StateExecuting)
        c_->SendCommand(c_, OMX_CommandStateSet, OMX_StateIdle, nullptr);
    c_->GetState(c_, &state);
    if (state == OMX_StateIdle)
        c_->SendCommand(c_, OMX_CommandStateSet, OMX_StateLoaded, nullptr);
    for (OMX_BUFFERHEADERTYPE* b : inputs_)
        c_->FreeBuffer(c_, OMX_AUDIODEC_INPUT_PORT, b);
    for (OMX_BUFFERHEADERTYPE* b : outputs_)
        c_->FreeBuffer(c_, OMX_AUDIODEC_OUTPUT_PORT, b);
    inputs_.clear();
    outputs_.clear();
    freeInputs_.clear();
    doneOutputs_.clear();
}

unsigned Client::errors() const
{
    unsigned n = 0;
    for (const Event& e : events)
        n += e.type == OMX_EventError;
    return n;
}

OMX_ERRORTYPE Client::onEvent(OMX_HANDLETYPE, OMX_PTR app, OMX_EVENTTYPE type, OMX_U32 d1,
                              OMX_U32 d2, OMX_PTR)
{
    static_cast<Client*>(app)->events.push_back({type, d1, d2});
    return OMX_ErrorNone;
}

OMX_ERRORTYPE Client::onEmpty(OMX_HANDLETYPE, OMX_PTR app, OMX_BUFFERHEADERTYPE* b)
{
    static_cast<Client*>(app)->freeInputs_.push_back(b);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE Client::onFill(OMX_HANDLETYPE, OMX_PTR app, OMX_BUFFERHEADERTYPE* b)
{
    auto* self = static_cast<Client*>(app);
    // Buffers handed back while stopping carry nothing to keep.
    for (OMX_BUFFERHEADERTYPE* known : self->outputs_)
        if (known == b)
            self->doneOutputs_.push_back(b);
    return OMX_ErrorNone;
}

TempDir::TempDir() : path_(testsupport::makeTempDir("omx-audio")) {}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f),
                                std::istreambuf_iterator<char>());
}

bool ffmpeg(const std::string& args)
{
    const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y " + args;
    const int status = std::system(cmd.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<int16_t> toS16(const std::vector<uint8_t>& bytes)
{
    std::vector<int16_t> v(bytes.size() / 2);
    if (!v.empty())
        std::memcpy(v.data(), bytes.data(), v.size() * 2);
    return v;
}

namespace {
uint32_t le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
} // namespace

bool parseWav(const std::vector<uint8_t>& f, Wav* wav)
{
    if (f.size() < 12 || std::memcmp(f.data(), "RIFF", 4) || std::memcmp(f.data() + 8, "WAVE", 4))
        return false;
    size_t pos = 12;
    bool haveFormat = false;
    while (pos + 8 <= f.size()) {
        const uint32_t size = le32(&f[pos + 4]);
        const size_t body = pos + 8;
        const size_t avail = f.size() - body;
        if (!std::memcmp(&f[pos], "fmt ", 4) && size >= 16 && avail >= 16) {
            wav->tag = le16(&f[body]);
            wav->channels = le16(&f[body + 2]);
            wav->rate = le32(&f[body + 4]);
            wav->blockAlign = le16(&f[body + 12]);
            wav->bits = le16(&f[body + 14]);
            haveFormat = true;
        } else if (!std::memcmp(&f[pos], "data", 4)) {
            const size_t n = size < avail ? size : avail;
            wav->data.assign(f.begin() + body, f.begin() + body + n);
            return haveFormat;
        }
        pos = body + size + (size & 1);
    }
    return false;
}

std::vector<std::vector<uint8_t>> oggPackets(const std::vector<uint8_t>& f)
{
    std::vector<std::vector<uint8_t>> packets;
    std::vector<uint8_t> partial;
    size_t pos = 0;
    uint32_t serial = 0;
    bool first = true;
    while (pos + 27 <= f.size() && !std::memcmp(&f[pos], "OggS", 4)) {
        const uint32_t pageSerial = le32(&f[pos + 14]);
        const uint8_t segments = f[pos + 26];
        if (pos + 27 + segments > f.size())
            break;
        const uint8_t* lacing = &f[pos + 27];
        size_t body = pos + 27 + segments;
        if (first) {
            serial = pageSerial;
            first = false;
        }
        const bool ours = pageSerial == serial;
        for (unsigned s = 0; s < segments; ++s) {
            if (body + lacing[s] > f.size())
                return packets;
            if (ours) {
                partial.insert(partial.end(), &f[body], &f[body] + lacing[s]);
                if (lacing[s] < 255) {
                    packets.push_back(partial);
                    partial.clear();
                }
            }
            body += lacing[s];
        }
        pos = body;
    }
    return packets;
}

} // namespace omxtest
