#ifndef HOLVIK_OMX_CORE_H
#define HOLVIK_OMX_CORE_H
/* Minimal OpenMAX IL core: finds a component library by component name,
 * loads it, lets its init entry build the component, and reaches the
 * component only through the component record's function table.
 *
 * The board's core reads its component list from its own registry; this
 * one is told each component with ozb_omx_core_RegisterComponent. */

#include "omx_il.h"

#ifdef __cplusplus
extern "C" {
#endif

/* How a component library's init entry is called. */
typedef enum ozb_omx_init_kind {
    /* OMX_ERRORTYPE entry(OMX_COMPONENTTYPE* component) */
    OZB_OMX_INIT_COMPONENT = 0,
    /* OMX_ERRORTYPE entry(OMX_COMPONENTTYPE* component, OMX_STRING name) */
    OZB_OMX_INIT_COMPONENT_AND_NAME = 1
} ozb_omx_init_kind;

/* Clears the component list. Handles still open stay valid. */
OMX_ERRORTYPE OMX_Init(void);
OMX_ERRORTYPE OMX_Deinit(void);

/* Adds (or replaces) the component `name`, built by the function
 * `initEntry` of the shared library at `libraryPath`. Null or over-long
 * strings give OMX_ErrorBadParameter. */
OMX_ERRORTYPE ozb_omx_core_RegisterComponent(const char* name, const char* libraryPath,
                                             const char* initEntry, ozb_omx_init_kind kind);

/* Creates a component by name. Unknown name: OMX_ErrorInvalidComponentName;
 * library that does not load: OMX_ErrorComponentNotFound; no init entry:
 * OMX_ErrorInvalidComponent; otherwise a failing init entry's own result.
 * On failure *pHandle is null and nothing stays loaded or allocated.
 * `callbacks` (may be null) are handed to the component's SetCallbacks. */
OMX_ERRORTYPE OMX_GetHandle(OMX_HANDLETYPE* pHandle, OMX_STRING name, OMX_PTR appData,
                            OMX_CALLBACKTYPE* callbacks);

/* Destroys the component through its ComponentDeInit and unloads its
 * library. A handle this core did not give out: OMX_ErrorBadParameter. */
OMX_ERRORTYPE OMX_FreeHandle(OMX_HANDLETYPE handle);

#ifdef __cplusplus
}
#endif

#endif
