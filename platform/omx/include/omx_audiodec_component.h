#ifndef HOLVIK_OMX_AUDIODEC_COMPONENT_H
#define HOLVIK_OMX_AUDIODEC_COMPONENT_H
/* Our stand-in for the board's OpenMAX audio-decoder base: a component with
 * an input port (0, coded audio) and an output port (1, interleaved PCM),
 * the component states, buffer handling and the decode loop, over a decoder
 * library that it loads by file name and reaches through slot 0 of the
 * library's FucntionList with the records of the PCM decoder library
 * (kvr_pcmdec.h): op 0 opens, op 1 decodes, op 3 closes.
 *
 * An audio decoder component is a small library whose init entry calls
 * omx_audiodec_component_Init, configures the input port, calls
 * omx_audiodec_component_library_Load and installs its own Get/SetParameter
 * and hooks in the private record.
 *
 * Decode loop. Buffers are handled at once in the caller's thread, inside
 * EmptyThisBuffer and FillThisBuffer (the board's base runs the same steps
 * on its own thread). An input buffer flagged OMX_BUFFERFLAG_CODECCONFIG is
 * added to the codec extra data. Any other input is copied to the stage
 * (after what a decode hook left there) and returned at once; then, while
 * the stage holds data and an output buffer is queued:
 *   - before the first decode, the decoder is opened: the init record is
 *     filled (callbacks, formats, down-mix flag, extra data) and the open
 *     hook is called, or op 0 when there is none;
 *   - the decode hook is called with the output buffer, or, without one,
 *     op 1 once over the whole stage (one packet), the output record's
 *     frame word carrying the room left in frames on the way in;
 *   - the output buffer goes back to the client when the step leaves input
 *     that did not fit (a decode hook's split, or result
 *     OMX_AUDIODEC_RESULT_MORE_OUTPUT), when the stream ends (EOS), or when
 *     no input is left queued.
 * A decode failure is counted and reported as an OMX_EventError with
 * OMX_ErrorUndefined and the decoder's code in nData2; the rest of that
 * input is dropped. A changed output format (channels, rate) calls the
 * port-settings hook and sends OMX_EventPortSettingsChanged for port 1.
 * Op 3 closes the decoder when the component returns to Loaded and at
 * ComponentDeInit. */

#include "kvr_pcmdec.h"
#include "omx_il.h"

#ifdef __cplusplus
extern "C" {
#endif

#define OMX_AUDIODEC_INPUT_PORT 0u
#define OMX_AUDIODEC_OUTPUT_PORT 1u
#define OMX_AUDIODEC_PORTS 2u
/* Buffers a port can hold at once. */
#define OMX_AUDIODEC_MAX_BUFFERS 16u
#define OMX_AUDIODEC_MIN_BUFFERS 2u
/* Output buffer size unless the client sets another: 2048 frames of eight
 * 32-bit samples, the most one op-1 call of the PCM library can produce. */
#define OMX_AUDIODEC_OUTPUT_BUFFER_SIZE 65536u
#define OMX_AUDIODEC_INPUT_BUFFER_SIZE 8192u
/* Highest input sampling rate the board plays. */
#define OMX_AUDIODEC_MAX_SAMPLE_RATE 192000u
/* Most codec extra data kept from codec-config buffers. */
#define OMX_AUDIODEC_MAX_EXTRA_DATA (1u << 20)

/* Decoder results the loop knows besides 0 and failures. */
enum {
    OMX_AUDIODEC_RESULT_NEED_INPUT = -13,  /* the stage is kept for the next input */
    OMX_AUDIODEC_RESULT_MORE_OUTPUT = -14, /* output full; call again with no new input */
};

/* Stream description the client sets with OMX_IndexVendorAudioDecStream
 * (on the input port), as the container told it. */
#define OMX_IndexVendorAudioDecStream ((OMX_INDEXTYPE)0x7F000A01)
typedef struct OMX_AUDIODEC_STREAMTYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U32 nPortIndex;
    OMX_U32 nChannels;
    OMX_U32 nSampleRate;
    OMX_U32 nBitsPerSample;
    OMX_U32 nBlockAlign;
    /* PCM kind: OMX_AUDIODEC_PCM_KIND_* (little-endian otherwise). */
    OMX_U32 nPcmKind;
    /* Non-zero: no more than two output channels. */
    OMX_U32 bDownmix;
} OMX_AUDIODEC_STREAMTYPE;
OMX_IL_STATIC_ASSERT(sizeof(OMX_AUDIODEC_STREAMTYPE) == 36, "stream record");

#define OMX_AUDIODEC_PCM_KIND_DVD 4096u
#define OMX_AUDIODEC_PCM_KIND_BD 8192u

typedef void* (*omx_audiodec_CallocFn)(size_t count, size_t size);

/* Init record handed to op 0: the PCM library's record, then a zeroed
 * allocator that other decoder libraries may ask for. */
typedef struct omx_audiodec_DecoderInit {
    KvrWavDecInit common;
    omx_audiodec_CallocFn calloc_fn; /* word 21 */
} omx_audiodec_DecoderInit;

typedef struct omx_audiodec_component_PrivateType omx_audiodec_component_PrivateType;

/* Hooks a component installs. Open: returns 0 or the decoder's failure.
 * Decode: decodes from priv->inFormat (data, length) into the output buffer
 * after its nFilledLen, raising nFilledLen; returns the last decoder result.
 * Port settings: brings the component's records in line with
 * priv->outFormat's channels and rate. */
typedef int32_t (*omx_audiodec_OpenHook)(omx_audiodec_component_PrivateType* priv);
typedef int32_t (*omx_audiodec_DecodeHook)(omx_audiodec_component_PrivateType* priv,
                                           OMX_BUFFERHEADERTYPE* out);
typedef void (*omx_audiodec_PortSettingsHook)(omx_audiodec_component_PrivateType* priv);

typedef struct omx_audiodec_PortType {
    OMX_PARAM_PORTDEFINITIONTYPE sPortParam;
    OMX_BUFFERHEADERTYPE* buffers[OMX_AUDIODEC_MAX_BUFFERS];
    /* Whether buffers[i]'s data was allocated by the port. */
    OMX_BOOL owned[OMX_AUDIODEC_MAX_BUFFERS];
    /* Buffers the client handed over, in order. */
    OMX_BUFFERHEADERTYPE* queue[OMX_AUDIODEC_MAX_BUFFERS];
    OMX_U32 queued;
} omx_audiodec_PortType;

struct omx_audiodec_component_PrivateType {
    OMX_COMPONENTTYPE* openmaxStandComp;
    OMX_PTR callbackData;
    OMX_CALLBACKTYPE* callbacks;
    OMX_STATETYPE state;
    char name[OMX_MAX_STRINGNAME_SIZE];
    /* OMX_AUDIODEC_PORTS ports, allocated by Init. */
    omx_audiodec_PortType* ports;

    /* Limits and stream settings. */
    OMX_U32 nMaxSampleRate;
    OMX_U32 bDownmix;
    OMX_U32 nPcmKind;
    OMX_U32 nStreamBlockAlign;
    OMX_U32 nStreamChannels;
    OMX_U32 nStreamBitsPerSample;
    /* Set by the component: what kind of decoder this is (the board's
     * numbering), the bytes per output sample and a decode-failure count. */
    OMX_U32 nDecoderKind;
    OMX_U32 nOutputSampleBytes;
    OMX_U32 nDecodeErrors;

    /* Decoder input settings (op 0's input format, op 1's input record:
     * data, length, rate, channels, bits) and output settings (op 0's
     * output format, op 1's output record). */
    KvrWavDecInput inFormat;
    KvrWavDecOutput outFormat;
    omx_audiodec_DecoderInit init;
    /* The output port's PCM record. */
    OMX_AUDIO_PARAM_PCMMODETYPE pcmOut;

    /* Decoder library: dlopen handle, entry, and the slot op 0 fills. */
    void* library;
    KvrEntryFn decoderEntry;
    void* decoderHandle;
    OMX_BOOL bDecoderOpen;
    OMX_BOOL bDecoderFailed;

    omx_audiodec_OpenHook openHook;
    omx_audiodec_DecodeHook decodeHook;
    omx_audiodec_PortSettingsHook portSettingsHook;
    /* Last result of a decode step (the decode hook keeps its own too). */
    int32_t lastResult;

    /* Codec extra data from codec-config buffers. */
    OMX_U8* extraData;
    OMX_U32 extraSize;
    /* Input waiting for the decoder. */
    OMX_U8* stage;
    OMX_U32 stageCapacity;
    OMX_BOOL bDraining;
    OMX_BOOL bEndOfStream;
    /* Set while the loop runs: a buffer the client hands back from inside a
     * callback is taken up by the running loop. */
    OMX_BOOL bInLoop;
    OMX_TICKS stageTimeStamp;
};

/* Size of the private record the base itself needs; a component gives the
 * larger of its board size and its own record. */
#define OMX_AUDIODEC_PRIVATE_SIZE(boardSize, type) \
    (sizeof(type) > (boardSize) ? sizeof(type) : (size_t)(boardSize))

#if defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4
OMX_IL_STATIC_ASSERT(sizeof(omx_audiodec_component_PrivateType) <= 860,
                     "the base record leaves room in the smallest component record");
OMX_IL_STATIC_ASSERT(sizeof(omx_audiodec_DecoderInit) == 88, "init record: 22 words");
#endif

/* Builds the component: a zeroed private record of privateSize bytes, the
 * function table, both ports, the Loaded state and the defaults. Returns
 * OMX_ErrorBadParameter for a null component or name or a record smaller
 * than the base's, OMX_ErrorInsufficientResources when memory runs out
 * (then nothing stays allocated). */
OMX_ERRORTYPE omx_audiodec_component_Init(OMX_COMPONENTTYPE* component, OMX_STRING name,
                                          OMX_U32 privateSize);

/* Loads the decoder library by file name (the dynamic loader's search) and
 * binds slot 0 of its FucntionList. Non-zero when it does not load or has
 * no entry. */
OMX_ERRORTYPE omx_audiodec_component_library_Load(omx_audiodec_component_PrivateType* priv,
                                                  const char* libraryName);

/* Standard and base parameters: OMX_IndexParamPortDefinition (get; set
 * while Loaded or on a disabled port: buffer count and size),
 * OMX_IndexParamAudioInit (get) and OMX_IndexVendorAudioDecStream (get and
 * set on the input port). Other indices: OMX_ErrorUnsupportedIndex. */
OMX_ERRORTYPE omx_audiodec_component_GetParameter(OMX_HANDLETYPE component, OMX_INDEXTYPE index,
                                                  OMX_PTR record);
OMX_ERRORTYPE omx_audiodec_component_SetParameter(OMX_HANDLETYPE component, OMX_INDEXTYPE index,
                                                  OMX_PTR record);

/* ComponentDeInit: closes the decoder, unloads it, frees the buffers the
 * ports still hold and the private record. */
OMX_ERRORTYPE omx_audiodec_component_Deinit(OMX_HANDLETYPE component);

/* Record header checks: size must equal `size` (else OMX_ErrorBadParameter)
 * and the major version ours (else OMX_ErrorVersionMismatch). */
OMX_ERRORTYPE checkHeader(OMX_PTR record, OMX_U32 size);
/* Writes a record's size and our version. */
void setHeader(OMX_PTR record, OMX_U32 size);

/* A parameter set on `port`: a null record gives OMX_ErrorBadParameter, an
 * unknown port OMX_ErrorBadPortIndex, an enabled port outside the Loaded
 * state OMX_ErrorIncorrectStateOperation, then checkHeader. */
OMX_ERRORTYPE omx_base_component_ParameterSanityCheck(OMX_HANDLETYPE component, OMX_U32 port,
                                                      OMX_PTR record, size_t size);

#ifdef __cplusplus
}
#endif

#endif
