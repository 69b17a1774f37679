#ifndef OMX_AUDIO_HARNESS_H
#define OMX_AUDIO_HARNESS_H
// Test client of the audio decoder components: creates them by name through
// the OpenMAX core, sets parameters, runs buffers through the base's loop and
// keeps what comes back; plus files, ffmpeg and a small Ogg packet reader.

#include <cstdint>
#include <string>
#include <vector>

#include "omx_audiodec_component.h"
#include "omx_core.h"

namespace omxtest {

extern const char* const kPcmName;
extern const char* const kVorbisName;
extern const char* const kOpusName;
extern const char* const kFlacName;

// Registers the four components with the core (after OMX_Init).
void registerComponents();

inline uint32_t code(OMX_ERRORTYPE e)
{
    return static_cast<uint32_t>(e);
}

struct Event {
    OMX_EVENTTYPE type;
    uint32_t data1, data2;
};

class Client {
public:
    Client() = default;
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // OMX_GetHandle with this client's callbacks.
    OMX_ERRORTYPE create(const char* name);
    OMX_COMPONENTTYPE* component() const { return c_; }
    omx_audiodec_component_PrivateType* priv() const
    {
        return static_cast<omx_audiodec_component_PrivateType*>(c_->pComponentPrivate);
    }
    uint32_t set(uint32_t index, void* record);
    uint32_t get(uint32_t index, void* record);
    // The base's stream record on the input port.
    uint32_t setStream(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t blockAlign,
                       uint32_t pcmKind = 0, uint32_t downmix = 1);

    // Idle with `inputs` input buffers and `outputs` output buffers of the
    // given sizes, then Executing with every output buffer queued.
    void start(unsigned inputs, uint32_t inputSize, unsigned outputs, uint32_t outputSize);
    // One input buffer with `flags`; the output that comes back is kept.
    void feed(const uint8_t* data, size_t size, uint32_t flags = 0);
    void feed(const std::vector<uint8_t>& data, uint32_t flags = 0)
    {
        feed(data.data(), data.size(), flags);
    }
    // Queues several inputs before any output buffer is given back.
    void queueInputs(const std::vector<std::vector<uint8_t>>& inputs);
    // Gives back to the component every output buffer it returned, keeping
    // their data, until none comes back.
    void pump();
    // Executing -> Idle -> Loaded, buffers freed.
    void stop();

    std::vector<uint8_t> pcm;
    std::vector<uint32_t> outputSizes; // nFilledLen of every output buffer
    bool overran = false;              // an output claimed more than its room
    bool endOfStream = false;
    std::vector<Event> events;
    unsigned errors() const;

private:
    static OMX_ERRORTYPE onEvent(OMX_HANDLETYPE, OMX_PTR, OMX_EVENTTYPE, OMX_U32, OMX_U32,
                                 OMX_PTR);
    static OMX_ERRORTYPE onEmpty(OMX_HANDLETYPE, OMX_PTR, OMX_BUFFERHEADERTYPE*);
    static OMX_ERRORTYPE onFill(OMX_HANDLETYPE, OMX_PTR, OMX_BUFFERHEADERTYPE*);

    OMX_COMPONENTTYPE* c_ = nullptr;
    OMX_CALLBACKTYPE callbacks_{};
    std::vector<OMX_BUFFERHEADERTYPE*> inputs_, outputs_;
    std::vector<OMX_BUFFERHEADERTYPE*> freeInputs_, doneOutputs_;
};

// A fresh folder for one test, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::vector<uint8_t> readFile(const std::string& path);
// "ffmpeg -nostdin -loglevel error -y ARGS"; true on exit status 0.
bool ffmpeg(const std::string& args);
std::vector<int16_t> toS16(const std::vector<uint8_t>& bytes);

struct Wav {
    uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
    uint32_t rate = 0;
    std::vector<uint8_t> data;
};
bool parseWav(const std::vector<uint8_t>& file, Wav* wav);

// Packets of the first logical stream of an Ogg file, in order.
std::vector<std::vector<uint8_t>> oggPackets(const std::vector<uint8_t>& file);

} // namespace omxtest

#endif
