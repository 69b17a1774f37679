#ifndef HOLVIK_OZB_OMX_BASE_H
#define HOLVIK_OZB_OMX_BASE_H
/* Base of the board's source components: the private record, one output
 * port, the component states and the standard parameters. A derived
 * component allocates the private record (or lets the constructor do it),
 * calls ozb_omx_base_source_Constructor, then overrides what it needs and
 * hands every index it does not handle back to the base Get/SetParameter. */

#include "omx_il.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes a derived component allocates for the private record. */
#define OZB_OMX_BASE_SOURCE_PRIVATE_SIZE 212

/* Number of buffers the output port asks for at least. */
#define OZB_OMX_BASE_SOURCE_MIN_BUFFERS 2
/* Bytes of one output buffer unless the client sets another size. */
#define OZB_OMX_BASE_SOURCE_BUFFER_SIZE 65536

typedef struct ozb_omx_base_PortType {
    OMX_PARAM_PORTDEFINITIONTYPE sPortParam;
} ozb_omx_base_PortType;

typedef struct ozb_omx_base_source_PrivateType {
    /* Back pointer to the component record. */
    OMX_COMPONENTTYPE* openmaxStandComp;
    /* Client's application data and callbacks from SetCallbacks; null
     * until the client installs them. */
    OMX_PTR callbackData;
    OMX_CALLBACKTYPE* callbacks;
    /* Called by ComponentDeInit before the record itself is freed; a
     * derived component puts its own destructor here, which must end in
     * ozb_omx_base_source_Destructor. */
    OMX_ERRORTYPE (*destructor)(OMX_COMPONENTTYPE* component);
    OMX_STATETYPE state;
    OMX_U32 nPorts;
    /* nPorts ports, allocated by the constructor. */
    ozb_omx_base_PortType* ports;
    char name[OMX_MAX_STRINGNAME_SIZE];
} ozb_omx_base_source_PrivateType;

OMX_IL_STATIC_ASSERT(sizeof(ozb_omx_base_source_PrivateType) <= OZB_OMX_BASE_SOURCE_PRIVATE_SIZE,
                     "the source private record fits its allocation");
#if defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4
/* The board's layout: the callback words are the second and third words,
 * the destructor slot the fourth. */
OMX_IL_STATIC_ASSERT(offsetof(ozb_omx_base_source_PrivateType, callbackData) == 4, "word 1");
OMX_IL_STATIC_ASSERT(offsetof(ozb_omx_base_source_PrivateType, callbacks) == 8, "word 2");
OMX_IL_STATIC_ASSERT(offsetof(ozb_omx_base_source_PrivateType, destructor) == 12, "word 3");
#endif

/* Builds the base part: allocates the private record when the component
 * has none, sets the function table, the Loaded state and one output port
 * (index 0). Returns OMX_ErrorInsufficientResources when memory runs out;
 * the component's ComponentDeInit is set before anything can fail, so the
 * caller can always release what was built with it. */
OMX_ERRORTYPE ozb_omx_base_source_Constructor(OMX_COMPONENTTYPE* component, OMX_STRING name);

/* Frees what the base constructor built (not the private record). */
OMX_ERRORTYPE ozb_omx_base_source_Destructor(OMX_COMPONENTTYPE* component);

/* ComponentDeInit: the private record's destructor, then the record itself. */
OMX_ERRORTYPE ozb_omx_base_component_DeInit(OMX_HANDLETYPE component);

/* Standard parameters: OMX_IndexParamPortDefinition (get, and set while
 * Loaded: buffer count and size) and OMX_IndexParamOtherInit (get). Other
 * indices give OMX_ErrorUnsupportedIndex; a null record
 * OMX_ErrorBadParameter; a record whose size differs from the index's
 * record OMX_ErrorBadParameter; another major version
 * OMX_ErrorVersionMismatch; an unknown port OMX_ErrorBadPortIndex. */
OMX_ERRORTYPE ozb_omx_base_component_GetParameter(OMX_HANDLETYPE component, OMX_INDEXTYPE index,
                                                  OMX_PTR record);
OMX_ERRORTYPE ozb_omx_base_component_SetParameter(OMX_HANDLETYPE component, OMX_INDEXTYPE index,
                                                  OMX_PTR record);

/* Fills a record's size and version, as clients do before Get/SetParameter. */
void ozb_omx_base_SetHeader(OMX_PTR record, OMX_U32 size);

#ifdef __cplusplus
}
#endif

#endif
