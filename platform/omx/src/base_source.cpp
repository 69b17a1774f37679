// Base of the source components: private record, one output port, states and
// the standard parameters. Derived components override the entries they need.

#include "ozb_omx_base.h"

#include <cstring>

#include "kvr_mw.h"

namespace {

ozb_omx_base_source_PrivateType* privateOf(OMX_HANDLETYPE handle)
{
    auto* component = static_cast<OMX_COMPONENTTYPE*>(handle);
    if (!component)
        return nullptr;
    return static_cast<ozb_omx_base_source_PrivateType*>(component->pComponentPrivate);
}

OMX_VERSIONTYPE ourVersion()
{
    OMX_VERSIONTYPE v;
    v.s.nVersionMajor = OMX_VERSION_MAJOR;
    v.s.nVersionMinor = OMX_VERSION_MINOR;
    v.s.nRevision = OMX_VERSION_REVISION;
    v.s.nStep = OMX_VERSION_STEP;
    return v;
}

// Size and version check shared by every standard parameter record.
OMX_ERRORTYPE checkHeader(OMX_PTR record, OMX_U32 size)
{
    OMX_U32 recordSize;
    OMX_VERSIONTYPE version;
    std::memcpy(&recordSize, record, sizeof recordSize);
    std::memcpy(&version, static_cast<char*>(record) + 4, sizeof version);
    if (recordSize != size)
        return OMX_ErrorBadParameter;
    if (version.s.nVersionMajor != OMX_VERSION_MAJOR)
        return OMX_ErrorVersionMismatch;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE getComponentVersion(OMX_HANDLETYPE handle, OMX_STRING name,
                                  OMX_VERSIONTYPE* componentVersion, OMX_VERSIONTYPE* specVersion,
                                  OMX_PTR uuid)
{
    auto* priv = privateOf(handle);
    if (!priv || !name || !componentVersion || !specVersion)
        return OMX_ErrorBadParameter;
    std::memcpy(name, priv->name, sizeof priv->name);
    *componentVersion = ourVersion();
    *specVersion = ourVersion();
    if (uuid)
        std::memset(uuid, 0, OMX_MAX_STRINGNAME_SIZE);
    return OMX_ErrorNone;
}

bool transitionAllowed(OMX_STATETYPE from, OMX_STATETYPE to)
{
    switch (from) {
    case OMX_StateLoaded:
        return to == OMX_StateIdle;
    case OMX_StateIdle:
        return to == OMX_StateLoaded || to == OMX_StateExecuting;
    case OMX_StateExecuting:
        return to == OMX_StateIdle;
    default:
        return false;
    }
}

// State changes complete at once: a source without buffer traffic has nothing
// to wait for. The client hears of it through its EventHandler.
OMX_ERRORTYPE sendCommand(OMX_HANDLETYPE handle, OMX_COMMANDTYPE command, OMX_U32 param,
                          OMX_PTR data)
{
    auto* priv = privateOf(handle);
    if (!priv)
        return OMX_ErrorBadParameter;
    if (command != OMX_CommandStateSet)
        return OMX_ErrorUnsupportedSetting;
    auto target = static_cast<OMX_STATETYPE>(param);
    if (target == priv->state)
        return OMX_ErrorSameState;
    if (!transitionAllowed(priv->state, target))
        return OMX_ErrorIncorrectStateTransition;
    priv->state = target;
    if (priv->callbacks && priv->callbacks->EventHandler)
        priv->callbacks->EventHandler(handle, priv->callbackData, OMX_EventCmdComplete,
                                      OMX_CommandStateSet, target, nullptr);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE getState(OMX_HANDLETYPE handle, OMX_STATETYPE* state)
{
    auto* priv = privateOf(handle);
    if (!priv || !state)
        return OMX_ErrorBadParameter;
    *state = priv->state;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE setCallbacks(OMX_HANDLETYPE handle, OMX_CALLBACKTYPE* callbacks, OMX_PTR appData)
{
    auto* priv = privateOf(handle);
    if (!priv || !callbacks)
        return OMX_ErrorBadParameter;
    priv->callbacks = callbacks;
    priv->callbackData = appData;
    return OMX_ErrorNone;
}

// The base knows no configuration or extension indices.
OMX_ERRORTYPE noConfig(OMX_HANDLETYPE handle, OMX_INDEXTYPE, OMX_PTR record)
{
    if (!privateOf(handle) || !record)
        return OMX_ErrorBadParameter;
    return OMX_ErrorUnsupportedIndex;
}

OMX_ERRORTYPE noExtension(OMX_HANDLETYPE handle, OMX_STRING name, OMX_INDEXTYPE* index)
{
    if (!privateOf(handle) || !name || !index)
        return OMX_ErrorBadParameter;
    return OMX_ErrorUnsupportedIndex;
}

ozb_omx_base_PortType* portOf(ozb_omx_base_source_PrivateType* priv, OMX_U32 index)
{
    if (!priv->ports || index >= priv->nPorts)
        return nullptr;
    return &priv->ports[index];
}

// The port that a port-definition record names, once the record's size and
// version have passed.
OMX_ERRORTYPE portOfDefinition(ozb_omx_base_source_PrivateType* priv,
                               OMX_PARAM_PORTDEFINITIONTYPE* def, ozb_omx_base_PortType** port)
{
    OMX_ERRORTYPE err = checkHeader(def, sizeof *def);
    if (err != OMX_ErrorNone)
        return err;
    *port = portOf(priv, def->nPortIndex);
    return *port ? OMX_ErrorNone : OMX_ErrorBadPortIndex;
}

} // namespace

extern "C" {

void ozb_omx_base_SetHeader(OMX_PTR record, OMX_U32 size)
{
    if (!record || size < 8)
        return;
    OMX_VERSIONTYPE v = ourVersion();
    std::memcpy(record, &size, sizeof size);
    std::memcpy(static_cast<char*>(record) + 4, &v, sizeof v);
}

OMX_ERRORTYPE ozb_omx_base_source_Constructor(OMX_COMPONENTTYPE* component, OMX_STRING name)
{
    if (!component || !name)
        return OMX_ErrorBadParameter;
    if (!component->pComponentPrivate) {
        component->pComponentPrivate =
            kvr_mw_calloc(__func__, __LINE__, 1, OZB_OMX_BASE_SOURCE_PRIVATE_SIZE);
        if (!component->pComponentPrivate)
            return OMX_ErrorInsufficientResources;
    }
    // Set first, so whatever fails below can still be released through it.
    component->ComponentDeInit = ozb_omx_base_component_DeInit;

    auto* priv = static_cast<ozb_omx_base_source_PrivateType*>(component->pComponentPrivate);
    priv->openmaxStandComp = component;
    priv->destructor = ozb_omx_base_source_Destructor;
    priv->state = OMX_StateLoaded;
    std::strncpy(priv->name, name, sizeof priv->name - 1);
    priv->name[sizeof priv->name - 1] = '\0';

    component->GetComponentVersion = getComponentVersion;
    component->SendCommand = sendCommand;
    component->GetParameter = ozb_omx_base_component_GetParameter;
    component->SetParameter = ozb_omx_base_component_SetParameter;
    component->GetConfig = noConfig;
    component->SetConfig = noConfig;
    component->GetExtensionIndex = noExtension;
    component->GetState = getState;
    component->SetCallbacks = setCallbacks;

    priv->ports = static_cast<ozb_omx_base_PortType*>(
        kvr_mw_calloc(__func__, __LINE__, 1, sizeof(ozb_omx_base_PortType)));
    if (!priv->ports)
        return OMX_ErrorInsufficientResources;
    priv->nPorts = 1;
    OMX_PARAM_PORTDEFINITIONTYPE& def = priv->ports[0].sPortParam;
    ozb_omx_base_SetHeader(&def, sizeof def);
    def.nPortIndex = 0;
    def.eDir = OMX_DirOutput;
    def.nBufferCountActual = OZB_OMX_BASE_SOURCE_MIN_BUFFERS;
    def.nBufferCountMin = OZB_OMX_BASE_SOURCE_MIN_BUFFERS;
    def.nBufferSize = OZB_OMX_BASE_SOURCE_BUFFER_SIZE;
    def.bEnabled = OMX_TRUE;
    def.bPopulated = OMX_FALSE;
    def.eDomain = OMX_PortDomainOther;
    def.bBuffersContiguous = OMX_FALSE;
    def.nBufferAlignment = 0;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE ozb_omx_base_source_Destructor(OMX_COMPONENTTYPE* component)
{
    auto* priv = privateOf(component);
    if (!priv)
        return OMX_ErrorBadParameter;
    kvr_mw_free(__func__, __LINE__, priv->ports);
    priv->ports = nullptr;
    priv->nPorts = 0;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE ozb_omx_base_component_DeInit(OMX_HANDLETYPE handle)
{
    auto* component = static_cast<OMX_COMPONENTTYPE*>(handle);
    auto* priv = privateOf(handle);
    if (!priv)
        return OMX_ErrorBadParameter;
    OMX_ERRORTYPE err = priv->destructor ? priv->destructor(component)
                                         : ozb_omx_base_source_Destructor(component);
    kvr_mw_free(__func__, __LINE__, priv);
    component->pComponentPrivate = nullptr;
    return err;
}

OMX_ERRORTYPE ozb_omx_base_component_GetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                  OMX_PTR record)
{
    auto* priv = privateOf(handle);
    if (!priv || !record)
        return OMX_ErrorBadParameter;
    switch (index) {
    case OMX_IndexParamPortDefinition: {
        auto* def = static_cast<OMX_PARAM_PORTDEFINITIONTYPE*>(record);
        ozb_omx_base_PortType* port = nullptr;
        OMX_ERRORTYPE err = portOfDefinition(priv, def, &port);
        if (err != OMX_ErrorNone)
            return err;
        *def = port->sPortParam;
        return OMX_ErrorNone;
    }
    case OMX_IndexParamOtherInit: {
        OMX_ERRORTYPE err = checkHeader(record, sizeof(OMX_PORT_PARAM_TYPE));
        if (err != OMX_ErrorNone)
            return err;
        auto* ports = static_cast<OMX_PORT_PARAM_TYPE*>(record);
        ports->nPorts = priv->nPorts;
        ports->nStartPortNumber = 0;
        return OMX_ErrorNone;
    }
    default:
        return OMX_ErrorUnsupportedIndex;
    }
}

OMX_ERRORTYPE ozb_omx_base_component_SetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                  OMX_PTR record)
{
    auto* priv = privateOf(handle);
    if (!priv || !record)
        return OMX_ErrorBadParameter;
    switch (index) {
    case OMX_IndexParamPortDefinition: {
        auto* def = static_cast<OMX_PARAM_PORTDEFINITIONTYPE*>(record);
        ozb_omx_base_PortType* port = nullptr;
        OMX_ERRORTYPE err = portOfDefinition(priv, def, &port);
        if (err != OMX_ErrorNone)
            return err;
        // Buffers are sized and counted before they exist, that is while Loaded.
        if (priv->state != OMX_StateLoaded)
            return OMX_ErrorIncorrectStateOperation;
        if (def->nBufferCountActual < port->sPortParam.nBufferCountMin || def->nBufferSize == 0)
            return OMX_ErrorBadParameter;
        port->sPortParam.nBufferCountActual = def->nBufferCountActual;
        port->sPortParam.nBufferSize = def->nBufferSize;
        return OMX_ErrorNone;
    }
    default:
        return OMX_ErrorUnsupportedIndex;
    }
}

} // extern "C"
