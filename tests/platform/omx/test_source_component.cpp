// A bare source component on the base, loaded by the core in its tests.

#include <cstring>

#include "ozb_omx_base.h"

extern "C" {

OMX_ERRORTYPE test_source_Init(OMX_COMPONENTTYPE* component, OMX_STRING name)
{
    if (std::strcmp(name, "OMX.test.source") != 0)
        return OMX_ErrorInvalidComponentName;
    return ozb_omx_base_source_Constructor(component, name);
}

// Builds everything and then fails, as a component whose own set-up fails.
OMX_ERRORTYPE test_source_InitFails(OMX_COMPONENTTYPE* component, OMX_STRING name)
{
    OMX_ERRORTYPE err = ozb_omx_base_source_Constructor(component, name);
    return err != OMX_ErrorNone ? err : OMX_ErrorUndefined;
}

} // extern "C"
