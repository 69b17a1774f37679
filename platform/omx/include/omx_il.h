#ifndef HOLVIK_OMX_IL_H
#define HOLVIK_OMX_IL_H
/* The OpenMAX IL types that our components and their stand-in core share.
 *
 * Only what the components on this board use is declared here. Every scalar
 * field is a fixed 32-bit (or smaller) integer so the records keep the board's
 * layout on both 32- and 64-bit builds; the only size that varies is that of
 * a pointer. The size checks at the end pin each record's layout.
 *
 * Usable from C and C++. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t OMX_U8;
typedef int8_t OMX_S8;
typedef uint16_t OMX_U16;
typedef int16_t OMX_S16;
typedef uint32_t OMX_U32;
typedef int32_t OMX_S32;
typedef void* OMX_PTR;
typedef char* OMX_STRING;
typedef void* OMX_HANDLETYPE;

typedef enum OMX_BOOL { OMX_FALSE = 0, OMX_TRUE = 1, OMX_BOOL_MAX = 0x7FFFFFFF } OMX_BOOL;

/* Longest component name or role, with its terminating zero. */
#define OMX_MAX_STRINGNAME_SIZE 128

typedef union OMX_VERSIONTYPE {
    struct {
        OMX_U8 nVersionMajor;
        OMX_U8 nVersionMinor;
        OMX_U8 nRevision;
        OMX_U8 nStep;
    } s;
    OMX_U32 nVersion;
} OMX_VERSIONTYPE;

/* The version our core and base stamp on records: 1.1.2.0. */
#define OMX_VERSION_MAJOR 1
#define OMX_VERSION_MINOR 1
#define OMX_VERSION_REVISION 2
#define OMX_VERSION_STEP 0

typedef enum OMX_ERRORTYPE {
    OMX_ErrorNone = 0,
    OMX_ErrorInsufficientResources = (int32_t)0x80001000,
    OMX_ErrorUndefined = (int32_t)0x80001001,
    OMX_ErrorInvalidComponentName = (int32_t)0x80001002,
    OMX_ErrorComponentNotFound = (int32_t)0x80001003,
    OMX_ErrorInvalidComponent = (int32_t)0x80001004,
    OMX_ErrorBadParameter = (int32_t)0x80001005,
    OMX_ErrorNotImplemented = (int32_t)0x80001006,
    OMX_ErrorInvalidState = (int32_t)0x8000100A,
    OMX_ErrorVersionMismatch = (int32_t)0x8000100F,
    OMX_ErrorSameState = (int32_t)0x80001012,
    OMX_ErrorIncorrectStateTransition = (int32_t)0x80001017,
    OMX_ErrorIncorrectStateOperation = (int32_t)0x80001018,
    OMX_ErrorUnsupportedSetting = (int32_t)0x80001019,
    OMX_ErrorUnsupportedIndex = (int32_t)0x8000101A,
    OMX_ErrorBadPortIndex = (int32_t)0x8000101B,
    OMX_ErrorMax = 0x7FFFFFFF
} OMX_ERRORTYPE;

/* Parameter indices. Vendor indices start at OMX_IndexVendorStartUnused. */
typedef enum OMX_INDEXTYPE {
    OMX_IndexParamAudioInit = 0x01000002,
    OMX_IndexParamImageInit = 0x01000003,
    OMX_IndexParamVideoInit = 0x01000004,
    OMX_IndexParamOtherInit = 0x01000005,
    OMX_IndexParamStandardComponentRole = 0x01000017,
    OMX_IndexParamPortDefinition = 0x02000001,
    OMX_IndexParamAudioPcm = 0x04000002,
    OMX_IndexParamAudioVorbis = 0x0400001B,
    OMX_IndexParamAudioFlac = 0x0400001C,
    OMX_IndexParamAudioOpus = 0x04000022,
    OMX_IndexVendorStartUnused = 0x7F000000,
    OMX_IndexMax = 0x7FFFFFFF
} OMX_INDEXTYPE;

typedef enum OMX_STATETYPE {
    OMX_StateInvalid = 0,
    OMX_StateLoaded = 1,
    OMX_StateIdle = 2,
    OMX_StateExecuting = 3,
    OMX_StatePause = 4,
    OMX_StateWaitForResources = 5,
    OMX_StateMax = 0x7FFFFFFF
} OMX_STATETYPE;

typedef enum OMX_COMMANDTYPE {
    OMX_CommandStateSet = 0,
    OMX_CommandFlush = 1,
    OMX_CommandPortDisable = 2,
    OMX_CommandPortEnable = 3,
    OMX_CommandMarkBuffer = 4,
    OMX_CommandMax = 0x7FFFFFFF
} OMX_COMMANDTYPE;

typedef enum OMX_EVENTTYPE {
    OMX_EventCmdComplete = 0,
    OMX_EventError = 1,
    OMX_EventMark = 2,
    OMX_EventPortSettingsChanged = 3,
    OMX_EventBufferFlag = 4,
    OMX_EventMax = 0x7FFFFFFF
} OMX_EVENTTYPE;

typedef enum OMX_DIRTYPE { OMX_DirInput = 0, OMX_DirOutput = 1, OMX_DirMax = 0x7FFFFFFF } OMX_DIRTYPE;

typedef enum OMX_PORTDOMAINTYPE {
    OMX_PortDomainAudio = 0,
    OMX_PortDomainVideo = 1,
    OMX_PortDomainImage = 2,
    OMX_PortDomainOther = 3,
    OMX_PortDomainMax = 0x7FFFFFFF
} OMX_PORTDOMAINTYPE;

/* Tunnels are not used on this board; the record stays opaque. */
struct OMX_TUNNELSETUPTYPE;

typedef int64_t OMX_TICKS __attribute__((aligned(8)));

/* Buffer flags. */
#define OMX_BUFFERFLAG_EOS 0x00000001u
#define OMX_BUFFERFLAG_CODECCONFIG 0x00000080u

/* One buffer of a port: the client's (UseBuffer) or the component's
 * (AllocateBuffer) data, with the filled range pBuffer[nOffset ..
 * nOffset + nFilledLen). */
typedef struct OMX_BUFFERHEADERTYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U8* pBuffer;
    OMX_U32 nAllocLen;
    OMX_U32 nFilledLen;
    OMX_U32 nOffset;
    OMX_PTR pAppPrivate;
    OMX_PTR pPlatformPrivate;
    OMX_PTR pInputPortPrivate;
    OMX_PTR pOutputPortPrivate;
    OMX_HANDLETYPE hMarkTargetComponent;
    OMX_PTR pMarkData;
    OMX_U32 nTickCount;
    OMX_TICKS nTimeStamp;
    OMX_U32 nFlags;
    OMX_U32 nOutputPortIndex;
    OMX_U32 nInputPortIndex;
} OMX_BUFFERHEADERTYPE;

/* Every parameter record starts with its own size and the version. */
typedef struct OMX_PORT_PARAM_TYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U32 nPorts;
    OMX_U32 nStartPortNumber;
} OMX_PORT_PARAM_TYPE;

typedef struct OMX_PARAM_COMPONENTROLETYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U8 cRole[OMX_MAX_STRINGNAME_SIZE];
} OMX_PARAM_COMPONENTROLETYPE;

/* Audio codings of a port (eEncoding). The decoders' own input codings
 * that have no standard number use the base's values. */
typedef enum OMX_AUDIO_CODINGTYPE {
    OMX_AUDIO_CodingUnused = 0,
    OMX_AUDIO_CodingPCM = 2,
    OMX_AUDIO_CodingVORBIS = 24,
    OMX_AUDIO_CodingFLAC = 28,
    OMX_AUDIO_CodingOPUS = 0x7F000006,
    OMX_AUDIO_CodingMax = 0x7FFFFFFF
} OMX_AUDIO_CODINGTYPE;

typedef enum OMX_ENDIANTYPE { OMX_EndianBig = 0, OMX_EndianLittle = 1, OMX_EndianMax = 0x7FFFFFFF } OMX_ENDIANTYPE;
typedef enum OMX_NUMERICALDATATYPE {
    OMX_NumericalDataSigned = 0,
    OMX_NumericalDataUnsigned = 1,
    OMX_NumercialDataMax = 0x7FFFFFFF
} OMX_NUMERICALDATATYPE;

#define OMX_AUDIO_MAXCHANNELS 16

/* PCM mode of a port (104 bytes). */
typedef struct OMX_AUDIO_PARAM_PCMMODETYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U32 nPortIndex;
    OMX_U32 nChannels;
    OMX_NUMERICALDATATYPE eNumData;
    OMX_ENDIANTYPE eEndian;
    OMX_BOOL bInterleaved;
    OMX_U32 nBitPerSample;
    OMX_U32 nSamplingRate;
    OMX_U32 ePCMMode;
    OMX_U32 eChannelMapping[OMX_AUDIO_MAXCHANNELS];
} OMX_AUDIO_PARAM_PCMMODETYPE;

/* Vorbis stream of a port (48 bytes). */
typedef struct OMX_AUDIO_PARAM_VORBISTYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U32 nPortIndex;
    OMX_U32 nChannels;
    OMX_U32 nBitRate;
    OMX_U32 nMinBitRate;
    OMX_U32 nMaxBitRate;
    OMX_U32 nSampleRate;
    OMX_U32 nAudioBandWidth;
    OMX_S32 nQuality;
    OMX_BOOL bManaged;
    OMX_BOOL bDownmix;
} OMX_AUDIO_PARAM_VORBISTYPE;

/* Opus stream of a port (20 bytes). */
typedef struct OMX_AUDIO_PARAM_OPUSTYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U32 nPortIndex;
    OMX_U32 nChannels;
    OMX_U32 nSampleRate;
} OMX_AUDIO_PARAM_OPUSTYPE;

/* FLAC stream of a port (24 bytes); the last word is the client's, kept and
 * handed back as it was set. */
typedef struct OMX_AUDIO_PARAM_FLACTYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U32 nPortIndex;
    OMX_U32 nChannels;
    OMX_U32 nSampleRate;
    OMX_U32 nClientWord;
} OMX_AUDIO_PARAM_FLACTYPE;

typedef struct OMX_AUDIO_PORTDEFINITIONTYPE {
    OMX_STRING cMIMEType;
    OMX_PTR pNativeRender;
    OMX_BOOL bFlagErrorConcealment;
    OMX_U32 eEncoding;
} OMX_AUDIO_PORTDEFINITIONTYPE;

typedef struct OMX_OTHER_PORTDEFINITIONTYPE {
    OMX_U32 eFormat;
} OMX_OTHER_PORTDEFINITIONTYPE;

/* Port definition. No component here has a video or image port, so the
 * format union carries only the audio and "other" descriptions. */
typedef struct OMX_PARAM_PORTDEFINITIONTYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U32 nPortIndex;
    OMX_DIRTYPE eDir;
    OMX_U32 nBufferCountActual;
    OMX_U32 nBufferCountMin;
    OMX_U32 nBufferSize;
    OMX_BOOL bEnabled;
    OMX_BOOL bPopulated;
    OMX_PORTDOMAINTYPE eDomain;
    union {
        OMX_AUDIO_PORTDEFINITIONTYPE audio;
        OMX_OTHER_PORTDEFINITIONTYPE other;
    } format;
    OMX_BOOL bBuffersContiguous;
    OMX_U32 nBufferAlignment;
} OMX_PARAM_PORTDEFINITIONTYPE;

typedef struct OMX_CALLBACKTYPE {
    OMX_ERRORTYPE (*EventHandler)(OMX_HANDLETYPE hComponent, OMX_PTR pAppData,
                                  OMX_EVENTTYPE eEvent, OMX_U32 nData1, OMX_U32 nData2,
                                  OMX_PTR pEventData);
    OMX_ERRORTYPE (*EmptyBufferDone)(OMX_HANDLETYPE hComponent, OMX_PTR pAppData,
                                     struct OMX_BUFFERHEADERTYPE* pBuffer);
    OMX_ERRORTYPE (*FillBufferDone)(OMX_HANDLETYPE hComponent, OMX_PTR pAppData,
                                    struct OMX_BUFFERHEADERTYPE* pBuffer);
} OMX_CALLBACKTYPE;

/* The component record: the core allocates it, the component's init entry
 * fills its private pointer and its function table. Unset entries stay null. */
typedef struct OMX_COMPONENTTYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_PTR pComponentPrivate;
    OMX_PTR pApplicationPrivate;
    OMX_ERRORTYPE (*GetComponentVersion)(OMX_HANDLETYPE hComponent, OMX_STRING pComponentName,
                                         OMX_VERSIONTYPE* pComponentVersion,
                                         OMX_VERSIONTYPE* pSpecVersion, OMX_PTR pComponentUUID);
    OMX_ERRORTYPE (*SendCommand)(OMX_HANDLETYPE hComponent, OMX_COMMANDTYPE Cmd, OMX_U32 nParam1,
                                 OMX_PTR pCmdData);
    OMX_ERRORTYPE (*GetParameter)(OMX_HANDLETYPE hComponent, OMX_INDEXTYPE nParamIndex,
                                  OMX_PTR pComponentParameterStructure);
    OMX_ERRORTYPE (*SetParameter)(OMX_HANDLETYPE hComponent, OMX_INDEXTYPE nIndex,
                                  OMX_PTR pComponentParameterStructure);
    OMX_ERRORTYPE (*GetConfig)(OMX_HANDLETYPE hComponent, OMX_INDEXTYPE nIndex,
                               OMX_PTR pComponentConfigStructure);
    OMX_ERRORTYPE (*SetConfig)(OMX_HANDLETYPE hComponent, OMX_INDEXTYPE nIndex,
                               OMX_PTR pComponentConfigStructure);
    OMX_ERRORTYPE (*GetExtensionIndex)(OMX_HANDLETYPE hComponent, OMX_STRING cParameterName,
                                       OMX_INDEXTYPE* pIndexType);
    OMX_ERRORTYPE (*GetState)(OMX_HANDLETYPE hComponent, OMX_STATETYPE* pState);
    OMX_ERRORTYPE (*ComponentTunnelRequest)(OMX_HANDLETYPE hComp, OMX_U32 nPort,
                                            OMX_HANDLETYPE hTunneledComp, OMX_U32 nTunneledPort,
                                            struct OMX_TUNNELSETUPTYPE* pTunnelSetup);
    OMX_ERRORTYPE (*UseBuffer)(OMX_HANDLETYPE hComponent, struct OMX_BUFFERHEADERTYPE** ppBufferHdr,
                               OMX_U32 nPortIndex, OMX_PTR pAppPrivate, OMX_U32 nSizeBytes,
                               OMX_U8* pBuffer);
    OMX_ERRORTYPE (*AllocateBuffer)(OMX_HANDLETYPE hComponent,
                                    struct OMX_BUFFERHEADERTYPE** ppBuffer, OMX_U32 nPortIndex,
                                    OMX_PTR pAppPrivate, OMX_U32 nSizeBytes);
    OMX_ERRORTYPE (*FreeBuffer)(OMX_HANDLETYPE hComponent, OMX_U32 nPortIndex,
                                struct OMX_BUFFERHEADERTYPE* pBuffer);
    OMX_ERRORTYPE (*EmptyThisBuffer)(OMX_HANDLETYPE hComponent,
                                     struct OMX_BUFFERHEADERTYPE* pBuffer);
    OMX_ERRORTYPE (*FillThisBuffer)(OMX_HANDLETYPE hComponent,
                                    struct OMX_BUFFERHEADERTYPE* pBuffer);
    OMX_ERRORTYPE (*SetCallbacks)(OMX_HANDLETYPE hComponent, OMX_CALLBACKTYPE* pCallbacks,
                                  OMX_PTR pAppData);
    OMX_ERRORTYPE (*ComponentDeInit)(OMX_HANDLETYPE hComponent);
    OMX_ERRORTYPE (*UseEGLImage)(OMX_HANDLETYPE hComponent,
                                 struct OMX_BUFFERHEADERTYPE** ppBufferHdr, OMX_U32 nPortIndex,
                                 OMX_PTR pAppPrivate, void* eglImage);
    OMX_ERRORTYPE (*ComponentRoleEnum)(OMX_HANDLETYPE hComponent, OMX_U8* cRole, OMX_U32 nIndex);
} OMX_COMPONENTTYPE;

#ifdef __cplusplus
#define OMX_IL_STATIC_ASSERT static_assert
#else
#define OMX_IL_STATIC_ASSERT _Static_assert
#endif

OMX_IL_STATIC_ASSERT(sizeof(OMX_BOOL) == 4, "OMX_BOOL is a 32-bit word");
OMX_IL_STATIC_ASSERT(sizeof(OMX_ERRORTYPE) == 4, "OMX_ERRORTYPE is a 32-bit word");
OMX_IL_STATIC_ASSERT(sizeof(OMX_INDEXTYPE) == 4, "OMX_INDEXTYPE is a 32-bit word");
OMX_IL_STATIC_ASSERT(sizeof(OMX_STATETYPE) == 4, "OMX_STATETYPE is a 32-bit word");
OMX_IL_STATIC_ASSERT(sizeof(OMX_VERSIONTYPE) == 4, "version is one word");
OMX_IL_STATIC_ASSERT(sizeof(OMX_PORT_PARAM_TYPE) == 16, "port-param record is four words");
OMX_IL_STATIC_ASSERT(sizeof(OMX_PARAM_COMPONENTROLETYPE) == 136, "role record");
OMX_IL_STATIC_ASSERT(offsetof(OMX_PARAM_PORTDEFINITIONTYPE, format) == 40,
                     "port definition: format after ten words");
OMX_IL_STATIC_ASSERT(sizeof(OMX_PARAM_PORTDEFINITIONTYPE) == 56 + 2 * sizeof(void*),
                     "port definition record");
OMX_IL_STATIC_ASSERT(sizeof(OMX_AUDIO_PARAM_PCMMODETYPE) == 104, "PCM mode record");
OMX_IL_STATIC_ASSERT(sizeof(OMX_AUDIO_PARAM_VORBISTYPE) == 48, "Vorbis record");
OMX_IL_STATIC_ASSERT(sizeof(OMX_AUDIO_PARAM_OPUSTYPE) == 20, "Opus record");
OMX_IL_STATIC_ASSERT(sizeof(OMX_AUDIO_PARAM_FLACTYPE) == 24, "FLAC record");
#if defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4
OMX_IL_STATIC_ASSERT(offsetof(OMX_BUFFERHEADERTYPE, nTimeStamp) == 56, "buffer: time stamp");
OMX_IL_STATIC_ASSERT(sizeof(OMX_BUFFERHEADERTYPE) == 80, "buffer header");
#endif
OMX_IL_STATIC_ASSERT(offsetof(OMX_COMPONENTTYPE, pComponentPrivate) == 8,
                     "component record: private pointer after size and version");
OMX_IL_STATIC_ASSERT(sizeof(OMX_COMPONENTTYPE) == 8 + 20 * sizeof(void*),
                     "component record: two pointers and eighteen entries");

#ifdef __cplusplus
}
#endif

#endif
