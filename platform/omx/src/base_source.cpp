// Base of the source components: private record, one output port, states and
// the standard parameters. Derived components override the entries they need.

#include "ozb_omx_base.h"

#include <cstring>

#include "component_common.h"
#include "kvr_mw.h"

namespace {

using Priv = ozb_omx_base_source_PrivateType;
using omx_common::checkHeader;
using omx_common::transitionAllowed;

Priv* privateOf(OMX_HANDLETYPE handle) { return omx_common::privateOf<Priv>(handle); }

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
    omx_common::writeHeader(record, size);
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

    component->GetComponentVersion = omx_common::getComponentVersion<Priv>;
    component->SendCommand = sendCommand;
    component->GetParameter = ozb_omx_base_component_GetParameter;
    component->SetParameter = ozb_omx_base_component_SetParameter;
    component->GetConfig = noConfig;
    component->SetConfig = noConfig;
    component->GetExtensionIndex = noExtension;
    component->GetState = omx_common::getState<Priv>;
    component->SetCallbacks = omx_common::setCallbacks<Priv>;

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
    case OMX_IndexParamOtherInit:
        return omx_common::describePorts(record, priv->nPorts);
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
