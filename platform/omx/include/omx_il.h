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

/* Buffers and tunnels are owned by the base; components here only pass
 * their records through, so the records stay opaque. */
struct OMX_BUFFERHEADERTYPE;
struct OMX_TUNNELSETUPTYPE;

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
OMX_IL_STATIC_ASSERT(offsetof(OMX_COMPONENTTYPE, pComponentPrivate) == 8,
                     "component record: private pointer after size and version");
OMX_IL_STATIC_ASSERT(sizeof(OMX_COMPONENTTYPE) == 8 + 20 * sizeof(void*),
                     "component record: two pointers and eighteen entries");

#ifdef __cplusplus
}
#endif

#endif
