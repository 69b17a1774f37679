// Base of the audio decoder components: ports, buffers, states, the decoder
// library and the decode loop. See omx_audiodec_component.h.

#include "omx_audiodec_component.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "component_common.h"

namespace {

using Priv = omx_audiodec_component_PrivateType;
using omx_common::transitionAllowed;

Priv* privateOf(OMX_HANDLETYPE handle) { return omx_common::privateOf<Priv>(handle); }

void sendEvent(Priv* priv, OMX_EVENTTYPE event, OMX_U32 data1, OMX_U32 data2)
{
    if (priv->callbacks && priv->callbacks->EventHandler)
        priv->callbacks->EventHandler(priv->openmaxStandComp, priv->callbackData, event, data1,
                                      data2, nullptr);
}

// --- buffers ---

OMX_BUFFERHEADERTYPE* popQueue(omx_audiodec_PortType* port)
{
    if (!port->queued)
        return nullptr;
    OMX_BUFFERHEADERTYPE* b = port->queue[0];
    std::memmove(port->queue, port->queue + 1, (port->queued - 1) * sizeof port->queue[0]);
    port->queue[--port->queued] = nullptr;
    return b;
}

void returnInput(Priv* priv, OMX_BUFFERHEADERTYPE* b)
{
    b->nFilledLen = 0;
    b->nOffset = 0;
    if (priv->callbacks && priv->callbacks->EmptyBufferDone)
        priv->callbacks->EmptyBufferDone(priv->openmaxStandComp, priv->callbackData, b);
}

void returnOutput(Priv* priv, OMX_BUFFERHEADERTYPE* b)
{
    if (priv->callbacks && priv->callbacks->FillBufferDone)
        priv->callbacks->FillBufferDone(priv->openmaxStandComp, priv->callbackData, b);
}

// Hands every queued buffer back unprocessed (leaving Executing, Loaded).
void returnAll(Priv* priv)
{
    while (OMX_BUFFERHEADERTYPE* b = popQueue(&priv->ports[OMX_AUDIODEC_INPUT_PORT]))
        returnInput(priv, b);
    while (OMX_BUFFERHEADERTYPE* b = popQueue(&priv->ports[OMX_AUDIODEC_OUTPUT_PORT])) {
        b->nFilledLen = 0;
        returnOutput(priv, b);
    }
}

int findBuffer(const omx_audiodec_PortType* port, const OMX_BUFFERHEADERTYPE* b)
{
    for (OMX_U32 i = 0; i < OMX_AUDIODEC_MAX_BUFFERS; ++i)
        if (b && port->buffers[i] == b)
            return static_cast<int>(i);
    return -1;
}

OMX_ERRORTYPE addBuffer(Priv* priv, OMX_BUFFERHEADERTYPE** out, OMX_U32 portIndex,
                        OMX_PTR appPrivate, OMX_U32 size, OMX_U8* data)
{
    if (!priv || !out || size == 0)
        return OMX_ErrorBadParameter;
    if (portIndex >= OMX_AUDIODEC_PORTS)
        return OMX_ErrorBadPortIndex;
    if (priv->state == OMX_StateInvalid)
        return OMX_ErrorInvalidState;
    omx_audiodec_PortType* port = &priv->ports[portIndex];
    int slot = -1;
    for (OMX_U32 i = 0; slot < 0 && i < OMX_AUDIODEC_MAX_BUFFERS; ++i)
        if (!port->buffers[i])
            slot = static_cast<int>(i);
    if (slot < 0)
        return OMX_ErrorInsufficientResources;
    auto* b = static_cast<OMX_BUFFERHEADERTYPE*>(std::calloc(1, sizeof(OMX_BUFFERHEADERTYPE)));
    if (!b)
        return OMX_ErrorInsufficientResources;
    const bool owned = data == nullptr;
    if (owned) {
        data = static_cast<OMX_U8*>(std::calloc(1, size));
        if (!data) {
            std::free(b);
            return OMX_ErrorInsufficientResources;
        }
    }
    setHeader(b, sizeof *b);
    b->pBuffer = data;
    b->nAllocLen = size;
    b->pAppPrivate = appPrivate;
    if (portIndex == OMX_AUDIODEC_INPUT_PORT) {
        b->nInputPortIndex = portIndex;
        b->nOutputPortIndex = OMX_AUDIODEC_PORTS; // not an output buffer
    } else {
        b->nOutputPortIndex = portIndex;
        b->nInputPortIndex = OMX_AUDIODEC_PORTS;
    }
    port->buffers[slot] = b;
    port->owned[slot] = owned ? OMX_TRUE : OMX_FALSE;
    *out = b;
    return OMX_ErrorNone;
}

void releaseSlot(omx_audiodec_PortType* port, int slot)
{
    OMX_BUFFERHEADERTYPE* b = port->buffers[slot];
    for (OMX_U32 i = 0; i < port->queued; ++i) {
        if (port->queue[i] == b) {
            std::memmove(port->queue + i, port->queue + i + 1,
                         (port->queued - i - 1) * sizeof port->queue[0]);
            port->queue[--port->queued] = nullptr;
            break;
        }
    }
    if (port->owned[slot])
        std::free(b->pBuffer);
    std::free(b);
    port->buffers[slot] = nullptr;
    port->owned[slot] = OMX_FALSE;
}

// --- decoder ---

void closeDecoder(Priv* priv)
{
    if (priv->bDecoderOpen && priv->decoderEntry)
        priv->decoderEntry(KVR_WAV_DEC_CLOSE, &priv->decoderHandle, nullptr, nullptr);
    priv->bDecoderOpen = OMX_FALSE;
    priv->bDecoderFailed = OMX_FALSE;
    priv->decoderHandle = nullptr;
    priv->inFormat.data = nullptr;
    priv->inFormat.length = 0;
    priv->bDraining = OMX_FALSE;
    priv->bEndOfStream = OMX_FALSE;
    priv->lastResult = 0;
}

void forgetStream(Priv* priv)
{
    closeDecoder(priv);
    std::free(priv->extraData);
    priv->extraData = nullptr;
    priv->extraSize = 0;
}

// Tells the component and the client when the decoder's output format is
// not the one the output port describes.
void checkOutputFormat(Priv* priv)
{
    if (priv->outFormat.channels <= 0 || priv->outFormat.sample_rate <= 0)
        return;
    const auto channels = static_cast<OMX_U32>(priv->outFormat.channels);
    const auto rate = static_cast<OMX_U32>(priv->outFormat.sample_rate);
    if (channels == priv->pcmOut.nChannels && rate == priv->pcmOut.nSamplingRate)
        return;
    if (priv->portSettingsHook)
        priv->portSettingsHook(priv);
    priv->pcmOut.nChannels = channels;
    priv->pcmOut.nSamplingRate = rate;
    sendEvent(priv, OMX_EventPortSettingsChanged, OMX_AUDIODEC_OUTPUT_PORT,
              OMX_IndexParamAudioPcm);
}

bool openDecoder(Priv* priv)
{
    KvrWavDecInit& init = priv->init.common;
    std::memset(&priv->init, 0, sizeof priv->init);
    init.extra = priv->extraData;
    init.extra_size = static_cast<int32_t>(priv->extraSize);
    init.in_format = &priv->inFormat;
    init.out_format = &priv->outFormat;
    init.downmix = priv->bDownmix ? 1 : 0;
    init.alloc = std::malloc;
    init.release = std::free;
    init.copy = std::memcpy;
    init.fill = std::memset;
    init.block_align = static_cast<int32_t>(priv->nStreamBlockAlign);
    priv->decoderHandle = nullptr;
    int32_t r = priv->openHook
                    ? priv->openHook(priv)
                    : priv->decoderEntry(KVR_WAV_DEC_OPEN, &priv->decoderHandle, &priv->init,
                                         nullptr);
    if (r != 0) {
        priv->decoderHandle = nullptr;
        priv->bDecoderFailed = OMX_TRUE;
        ++priv->nDecodeErrors;
        sendEvent(priv, OMX_EventError, static_cast<OMX_U32>(OMX_ErrorUndefined),
                  static_cast<OMX_U32>(r));
        return false;
    }
    priv->bDecoderOpen = OMX_TRUE;
    return true;
}

OMX_U32 sampleBytes(const Priv* priv)
{
    if (priv->outFormat.bits > 16)
        return 4;
    return priv->nOutputSampleBytes ? priv->nOutputSampleBytes : 2;
}

// One op-1 call over the stage into the room left in `out`.
int32_t decodePacket(Priv* priv, OMX_BUFFERHEADERTYPE* out)
{
    const OMX_U32 channels = priv->outFormat.channels > 0 ? priv->outFormat.channels : 1;
    const OMX_U32 frameBytes = sampleBytes(priv) * channels;
    const OMX_U32 room = out->nAllocLen - out->nOffset - out->nFilledLen;
    priv->outFormat.buffer[0] = out->pBuffer + out->nOffset + out->nFilledLen;
    priv->outFormat.frames = static_cast<int32_t>(room / frameBytes);
    const int32_t r =
        priv->decoderEntry(KVR_WAV_DEC_DECODE, &priv->decoderHandle, &priv->inFormat,
                           &priv->outFormat);
    if (r == 0 || r == OMX_AUDIODEC_RESULT_MORE_OUTPUT) {
        const OMX_U32 written =
            static_cast<OMX_U32>(priv->outFormat.frames > 0 ? priv->outFormat.frames : 0) *
            frameBytes;
        // A library that says it wrote more than the room is not believed.
        out->nFilledLen += written <= room ? written : room;
    }
    priv->bDraining = r == OMX_AUDIODEC_RESULT_MORE_OUTPUT ? OMX_TRUE : OMX_FALSE;
    if (r != 0 && r != OMX_AUDIODEC_RESULT_MORE_OUTPUT && r != OMX_AUDIODEC_RESULT_NEED_INPUT)
        priv->inFormat.length = 0;
    return r;
}

bool appendStage(Priv* priv, const OMX_U8* data, OMX_U32 size)
{
    const OMX_U32 kept = priv->inFormat.length > 0 ? priv->inFormat.length : 0;
    const OMX_U8* keptData = priv->inFormat.data;
    if (kept + size < kept)
        return false;
    if (kept + size > priv->stageCapacity) {
        auto* grown = static_cast<OMX_U8*>(std::malloc(kept + size));
        if (!grown)
            return false;
        if (kept)
            std::memcpy(grown, keptData, kept);
        std::free(priv->stage);
        priv->stage = grown;
        priv->stageCapacity = kept + size;
    } else if (kept && keptData != priv->stage) {
        std::memmove(priv->stage, keptData, kept);
    }
    if (size)
        std::memcpy(priv->stage + kept, data, size);
    priv->inFormat.data = priv->stage;
    priv->inFormat.length = static_cast<int32_t>(kept + size);
    return true;
}

bool appendExtra(Priv* priv, const OMX_U8* data, OMX_U32 size)
{
    if (size > OMX_AUDIODEC_MAX_EXTRA_DATA - priv->extraSize)
        return false;
    auto* grown = static_cast<OMX_U8*>(std::realloc(priv->extraData, priv->extraSize + size + 1));
    if (!grown)
        return false;
    std::memcpy(grown + priv->extraSize, data, size);
    priv->extraData = grown;
    priv->extraSize += size;
    return true;
}

void failInput(Priv* priv, OMX_ERRORTYPE error)
{
    ++priv->nDecodeErrors;
    sendEvent(priv, OMX_EventError, static_cast<OMX_U32>(error), 0);
}

void deliver(Priv* priv, OMX_BUFFERHEADERTYPE* out, bool endOfStream)
{
    popQueue(&priv->ports[OMX_AUDIODEC_OUTPUT_PORT]);
    if (endOfStream) {
        out->nFlags |= OMX_BUFFERFLAG_EOS;
        sendEvent(priv, OMX_EventBufferFlag, OMX_AUDIODEC_OUTPUT_PORT, OMX_BUFFERFLAG_EOS);
    }
    returnOutput(priv, out);
}

// Takes the next input buffer into the stage (or the extra data). False
// when none is queued.
bool takeInput(Priv* priv)
{
    OMX_BUFFERHEADERTYPE* in = popQueue(&priv->ports[OMX_AUDIODEC_INPUT_PORT]);
    if (!in)
        return false;
    const bool fits = in->nOffset <= in->nAllocLen && in->nFilledLen <= in->nAllocLen - in->nOffset;
    const OMX_U8* data = in->pBuffer + (fits ? in->nOffset : 0);
    const OMX_U32 size = fits ? in->nFilledLen : 0;
    if (!fits) {
        failInput(priv, OMX_ErrorBadParameter);
    } else if (in->nFlags & OMX_BUFFERFLAG_CODECCONFIG) {
        if (!appendExtra(priv, data, size))
            failInput(priv, OMX_ErrorInsufficientResources);
    } else if (!priv->bDecoderFailed) {
        // Without a decode hook every input buffer is one packet.
        if (!priv->decodeHook)
            priv->inFormat.length = 0;
        if (!appendStage(priv, data, size))
            failInput(priv, OMX_ErrorInsufficientResources);
        priv->stageTimeStamp = in->nTimeStamp;
        if (in->nFlags & OMX_BUFFERFLAG_EOS)
            priv->bEndOfStream = OMX_TRUE;
    }
    returnInput(priv, in);
    return true;
}

void runLoop(Priv* priv);

void process(Priv* priv)
{
    if (priv->state != OMX_StateExecuting || priv->bInLoop)
        return;
    priv->bInLoop = OMX_TRUE;
    runLoop(priv);
    priv->bInLoop = OMX_FALSE;
}

void runLoop(Priv* priv)
{
    omx_audiodec_PortType* outPort = &priv->ports[OMX_AUDIODEC_OUTPUT_PORT];
    for (;;) {
        // A callback may have stopped the component.
        if (priv->state != OMX_StateExecuting)
            break;
        // Announced here, between steps, where no buffer is held.
        checkOutputFormat(priv);
        const bool haveInput = priv->inFormat.length > 0 || priv->bDraining;
        if (!haveInput || priv->lastResult == OMX_AUDIODEC_RESULT_NEED_INPUT) {
            if (takeInput(priv)) {
                priv->lastResult = 0;
                continue;
            }
            if (priv->bEndOfStream && outPort->queued) {
                // What is left at the end is less than the decoder can use.
                priv->inFormat.length = 0;
                priv->lastResult = 0;
                priv->bEndOfStream = OMX_FALSE;
                deliver(priv, outPort->queue[0], true);
                continue;
            }
            // Waiting for input: what is decoded so far goes out now.
            if (outPort->queued && outPort->queue[0]->nFilledLen)
                deliver(priv, outPort->queue[0], false);
            break;
        }
        if (!outPort->queued)
            break;
        if (!priv->bDecoderOpen && !openDecoder(priv)) {
            priv->inFormat.length = 0;
            continue;
        }
        OMX_BUFFERHEADERTYPE* out = outPort->queue[0];
        if (out->nFilledLen == 0) {
            out->nTimeStamp = priv->stageTimeStamp;
            out->nFlags = 0;
        }
        const OMX_U32 filledBefore = out->nFilledLen;
        const int32_t lengthBefore = priv->inFormat.length;
        const int32_t r = priv->decodeHook ? priv->decodeHook(priv, out) : decodePacket(priv, out);
        priv->lastResult = r;
        if (out->nFilledLen > out->nAllocLen - out->nOffset)
            out->nFilledLen = out->nAllocLen - out->nOffset;

        if (r != 0 && r != OMX_AUDIODEC_RESULT_NEED_INPUT && r != OMX_AUDIODEC_RESULT_MORE_OUTPUT) {
            ++priv->nDecodeErrors;
            sendEvent(priv, OMX_EventError, static_cast<OMX_U32>(OMX_ErrorUndefined),
                      static_cast<OMX_U32>(r));
            priv->inFormat.length = 0;
            priv->bDraining = OMX_FALSE;
            priv->lastResult = 0;
        }
        const bool progressed =
            out->nFilledLen != filledBefore || priv->inFormat.length != lengthBefore;
        const bool inputLeft = priv->inFormat.length > 0 || priv->bDraining;
        if (r == OMX_AUDIODEC_RESULT_NEED_INPUT)
            continue;
        if (inputLeft && !progressed) {
            if (out->nFilledLen == 0) {
                // Not even one decoder call fits this buffer.
                failInput(priv, OMX_ErrorInsufficientResources);
                priv->inFormat.length = 0;
                priv->bDraining = OMX_FALSE;
            }
            deliver(priv, out, false);
            continue;
        }
        if (inputLeft) {
            if (priv->bDraining || r == 0)
                deliver(priv, out, false);
            continue;
        }
    }
}

// --- component entries ---

OMX_ERRORTYPE sendCommand(OMX_HANDLETYPE handle, OMX_COMMANDTYPE command, OMX_U32 param,
                          OMX_PTR)
{
    Priv* priv = privateOf(handle);
    if (!priv)
        return OMX_ErrorBadParameter;
    if (command != OMX_CommandStateSet)
        return OMX_ErrorUnsupportedSetting;
    auto target = static_cast<OMX_STATETYPE>(param);
    if (target == priv->state)
        return OMX_ErrorSameState;
    if (!transitionAllowed(priv->state, target))
        return OMX_ErrorIncorrectStateTransition;
    if (target != OMX_StateExecuting)
        returnAll(priv);
    if (target == OMX_StateLoaded)
        forgetStream(priv);
    priv->state = target;
    sendEvent(priv, OMX_EventCmdComplete, OMX_CommandStateSet, target);
    if (target == OMX_StateExecuting)
        process(priv);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE useBuffer(OMX_HANDLETYPE handle, OMX_BUFFERHEADERTYPE** out, OMX_U32 port,
                        OMX_PTR appPrivate, OMX_U32 size, OMX_U8* data)
{
    if (!data)
        return OMX_ErrorBadParameter;
    return addBuffer(privateOf(handle), out, port, appPrivate, size, data);
}

OMX_ERRORTYPE allocateBuffer(OMX_HANDLETYPE handle, OMX_BUFFERHEADERTYPE** out, OMX_U32 port,
                             OMX_PTR appPrivate, OMX_U32 size)
{
    return addBuffer(privateOf(handle), out, port, appPrivate, size, nullptr);
}

OMX_ERRORTYPE freeBuffer(OMX_HANDLETYPE handle, OMX_U32 portIndex, OMX_BUFFERHEADERTYPE* b)
{
    Priv* priv = privateOf(handle);
    if (!priv || !b)
        return OMX_ErrorBadParameter;
    if (portIndex >= OMX_AUDIODEC_PORTS)
        return OMX_ErrorBadPortIndex;
    omx_audiodec_PortType* port = &priv->ports[portIndex];
    const int slot = findBuffer(port, b);
    if (slot < 0)
        return OMX_ErrorBadParameter;
    releaseSlot(port, slot);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE queueBuffer(OMX_HANDLETYPE handle, OMX_BUFFERHEADERTYPE* b, OMX_U32 portIndex)
{
    Priv* priv = privateOf(handle);
    if (!priv || !b)
        return OMX_ErrorBadParameter;
    omx_audiodec_PortType* port = &priv->ports[portIndex];
    if (findBuffer(port, b) < 0)
        return OMX_ErrorBadParameter;
    if (priv->state != OMX_StateExecuting && priv->state != OMX_StateIdle)
        return OMX_ErrorIncorrectStateOperation;
    for (OMX_U32 i = 0; i < port->queued; ++i)
        if (port->queue[i] == b)
            return OMX_ErrorBadParameter;
    port->queue[port->queued++] = b;
    if (portIndex == OMX_AUDIODEC_OUTPUT_PORT) {
        b->nFilledLen = 0;
        b->nOffset = 0;
        b->nFlags = 0;
    }
    process(priv);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE emptyThisBuffer(OMX_HANDLETYPE handle, OMX_BUFFERHEADERTYPE* b)
{
    return queueBuffer(handle, b, OMX_AUDIODEC_INPUT_PORT);
}

OMX_ERRORTYPE fillThisBuffer(OMX_HANDLETYPE handle, OMX_BUFFERHEADERTYPE* b)
{
    return queueBuffer(handle, b, OMX_AUDIODEC_OUTPUT_PORT);
}

void setupPort(omx_audiodec_PortType* port, OMX_U32 index)
{
    OMX_PARAM_PORTDEFINITIONTYPE& def = port->sPortParam;
    setHeader(&def, sizeof def);
    def.nPortIndex = index;
    def.eDir = index == OMX_AUDIODEC_INPUT_PORT ? OMX_DirInput : OMX_DirOutput;
    def.nBufferCountActual = OMX_AUDIODEC_MIN_BUFFERS;
    def.nBufferCountMin = OMX_AUDIODEC_MIN_BUFFERS;
    def.nBufferSize = index == OMX_AUDIODEC_INPUT_PORT ? OMX_AUDIODEC_INPUT_BUFFER_SIZE
                                                       : OMX_AUDIODEC_OUTPUT_BUFFER_SIZE;
    def.bEnabled = OMX_TRUE;
    def.bPopulated = OMX_FALSE;
    def.eDomain = OMX_PortDomainAudio;
    def.format.audio.cMIMEType = const_cast<char*>("audio/x-raw");
    def.format.audio.eEncoding = OMX_AUDIO_CodingPCM;
}

} // namespace

extern "C" {

OMX_ERRORTYPE checkHeader(OMX_PTR record, OMX_U32 size)
{
    return omx_common::checkHeader(record, size);
}

void setHeader(OMX_PTR record, OMX_U32 size)
{
    if (!record || size < 8)
        return;
    std::memset(record, 0, size);
    omx_common::writeHeader(record, size);
}

OMX_ERRORTYPE omx_base_component_ParameterSanityCheck(OMX_HANDLETYPE handle, OMX_U32 port,
                                                      OMX_PTR record, size_t size)
{
    Priv* priv = privateOf(handle);
    if (!priv || !record)
        return OMX_ErrorBadParameter;
    if (port >= OMX_AUDIODEC_PORTS)
        return OMX_ErrorBadPortIndex;
    if (priv->state != OMX_StateLoaded && priv->state != OMX_StateWaitForResources &&
        priv->ports[port].sPortParam.bEnabled)
        return OMX_ErrorIncorrectStateOperation;
    return checkHeader(record, static_cast<OMX_U32>(size));
}

OMX_ERRORTYPE omx_audiodec_component_Init(OMX_COMPONENTTYPE* component, OMX_STRING name,
                                          OMX_U32 privateSize)
{
    if (!component || !name || privateSize < sizeof(Priv))
        return OMX_ErrorBadParameter;
    auto* priv = static_cast<Priv*>(std::calloc(1, privateSize));
    auto* ports = static_cast<omx_audiodec_PortType*>(
        std::calloc(OMX_AUDIODEC_PORTS, sizeof(omx_audiodec_PortType)));
    if (!priv || !ports) {
        std::free(priv);
        std::free(ports);
        return OMX_ErrorInsufficientResources;
    }
    component->pComponentPrivate = priv;
    priv->openmaxStandComp = component;
    priv->state = OMX_StateLoaded;
    std::strncpy(priv->name, name, sizeof priv->name - 1);
    priv->ports = ports;
    setupPort(&ports[OMX_AUDIODEC_INPUT_PORT], OMX_AUDIODEC_INPUT_PORT);
    setupPort(&ports[OMX_AUDIODEC_OUTPUT_PORT], OMX_AUDIODEC_OUTPUT_PORT);

    priv->nMaxSampleRate = OMX_AUDIODEC_MAX_SAMPLE_RATE;
    priv->bDownmix = 1;
    priv->nOutputSampleBytes = 2;
    priv->inFormat.channels = 2;
    priv->inFormat.sample_rate = 44100;
    priv->inFormat.bits = 16;
    priv->outFormat.interleaved = 1;
    priv->outFormat.bits = 16;
    setHeader(&priv->pcmOut, sizeof priv->pcmOut);
    priv->pcmOut.nPortIndex = OMX_AUDIODEC_OUTPUT_PORT;
    priv->pcmOut.nChannels = 2;
    priv->pcmOut.eNumData = OMX_NumericalDataSigned;
    priv->pcmOut.eEndian = OMX_EndianLittle;
    priv->pcmOut.bInterleaved = OMX_TRUE;
    priv->pcmOut.nBitPerSample = 16;
    priv->pcmOut.nSamplingRate = 44100;

    component->GetComponentVersion = omx_common::getComponentVersion<Priv>;
    component->SendCommand = sendCommand;
    component->GetParameter = omx_audiodec_component_GetParameter;
    component->SetParameter = omx_audiodec_component_SetParameter;
    component->GetState = omx_common::getState<Priv>;
    component->SetCallbacks = omx_common::setCallbacks<Priv>;
    component->UseBuffer = useBuffer;
    component->AllocateBuffer = allocateBuffer;
    component->FreeBuffer = freeBuffer;
    component->EmptyThisBuffer = emptyThisBuffer;
    component->FillThisBuffer = fillThisBuffer;
    component->ComponentDeInit = omx_audiodec_component_Deinit;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE omx_audiodec_component_library_Load(omx_audiodec_component_PrivateType* priv,
                                                  const char* libraryName)
{
    if (!priv || !libraryName)
        return OMX_ErrorBadParameter;
    void* library = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return OMX_ErrorComponentNotFound;
    auto* table = static_cast<KvrEntryFn*>(dlsym(library, "FucntionList"));
    if (!table || !table[0]) {
        dlclose(library);
        return OMX_ErrorInvalidComponent;
    }
    if (priv->library) {
        closeDecoder(priv);
        dlclose(priv->library);
    }
    priv->library = library;
    priv->decoderEntry = table[0];
    return OMX_ErrorNone;
}

OMX_ERRORTYPE omx_audiodec_component_Deinit(OMX_HANDLETYPE handle)
{
    auto* component = static_cast<OMX_COMPONENTTYPE*>(handle);
    Priv* priv = privateOf(handle);
    if (!priv)
        return OMX_ErrorBadParameter;
    forgetStream(priv);
    if (priv->library)
        dlclose(priv->library);
    for (OMX_U32 p = 0; p < OMX_AUDIODEC_PORTS; ++p)
        for (OMX_U32 i = 0; i < OMX_AUDIODEC_MAX_BUFFERS; ++i)
            if (priv->ports[p].buffers[i])
                releaseSlot(&priv->ports[p], static_cast<int>(i));
    std::free(priv->ports);
    std::free(priv->stage);
    std::free(priv);
    component->pComponentPrivate = nullptr;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE omx_audiodec_component_GetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                  OMX_PTR record)
{
    Priv* priv = privateOf(handle);
    if (!priv || !record)
        return OMX_ErrorBadParameter;
    switch (static_cast<uint32_t>(index)) {
    case OMX_IndexParamPortDefinition: {
        auto* def = static_cast<OMX_PARAM_PORTDEFINITIONTYPE*>(record);
        OMX_ERRORTYPE err = checkHeader(def, sizeof *def);
        if (err != OMX_ErrorNone)
            return err;
        if (def->nPortIndex >= OMX_AUDIODEC_PORTS)
            return OMX_ErrorBadPortIndex;
        *def = priv->ports[def->nPortIndex].sPortParam;
        return OMX_ErrorNone;
    }
    case OMX_IndexParamAudioInit:
        return omx_common::describePorts(record, OMX_AUDIODEC_PORTS);
    case OMX_IndexVendorAudioDecStream: {
        auto* s = static_cast<OMX_AUDIODEC_STREAMTYPE*>(record);
        OMX_ERRORTYPE err = checkHeader(s, sizeof *s);
        if (err != OMX_ErrorNone)
            return err;
        if (s->nPortIndex != OMX_AUDIODEC_INPUT_PORT)
            return OMX_ErrorBadPortIndex;
        s->nChannels = priv->nStreamChannels;
        s->nSampleRate = static_cast<OMX_U32>(priv->inFormat.sample_rate);
        s->nBitsPerSample = priv->nStreamBitsPerSample;
        s->nBlockAlign = priv->nStreamBlockAlign;
        s->nPcmKind = priv->nPcmKind;
        s->bDownmix = priv->bDownmix;
        return OMX_ErrorNone;
    }
    default:
        return OMX_ErrorUnsupportedIndex;
    }
}

OMX_ERRORTYPE omx_audiodec_component_SetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                  OMX_PTR record)
{
    Priv* priv = privateOf(handle);
    if (!priv || !record)
        return OMX_ErrorBadParameter;
    switch (static_cast<uint32_t>(index)) {
    case OMX_IndexParamPortDefinition: {
        auto* def = static_cast<OMX_PARAM_PORTDEFINITIONTYPE*>(record);
        OMX_ERRORTYPE err =
            omx_base_component_ParameterSanityCheck(handle, def->nPortIndex, def, sizeof *def);
        if (err != OMX_ErrorNone)
            return err;
        OMX_PARAM_PORTDEFINITIONTYPE& port = priv->ports[def->nPortIndex].sPortParam;
        if (def->nBufferCountActual < port.nBufferCountMin ||
            def->nBufferCountActual > OMX_AUDIODEC_MAX_BUFFERS || def->nBufferSize == 0)
            return OMX_ErrorBadParameter;
        port.nBufferCountActual = def->nBufferCountActual;
        port.nBufferSize = def->nBufferSize;
        return OMX_ErrorNone;
    }
    case OMX_IndexVendorAudioDecStream: {
        auto* s = static_cast<OMX_AUDIODEC_STREAMTYPE*>(record);
        OMX_ERRORTYPE err = omx_base_component_ParameterSanityCheck(handle, s->nPortIndex, s,
                                                                   sizeof *s);
        if (err != OMX_ErrorNone)
            return err;
        if (s->nPortIndex != OMX_AUDIODEC_INPUT_PORT)
            return OMX_ErrorBadPortIndex;
        if (s->nSampleRate > priv->nMaxSampleRate || s->nChannels > 255 || s->nBitsPerSample > 64)
            return OMX_ErrorUnsupportedSetting;
        priv->nStreamChannels = s->nChannels;
        priv->nStreamBitsPerSample = s->nBitsPerSample;
        priv->nStreamBlockAlign = s->nBlockAlign;
        priv->nPcmKind = s->nPcmKind;
        priv->bDownmix = s->bDownmix ? 1 : 0;
        priv->inFormat.sample_rate = static_cast<int32_t>(s->nSampleRate);
        return OMX_ErrorNone;
    }
    default:
        return OMX_ErrorUnsupportedIndex;
    }
}

} // extern "C"
