// What the source-component base and the audio-decoder base both do, over
// their own private records: the record header, the version, the state
// rules and the entries that only read or store the common fields. Each base
// is its own library and compiles these in.
#ifndef HOLVIK_OMX_COMPONENT_COMMON_H
#define HOLVIK_OMX_COMPONENT_COMMON_H

#include <cstring>

#include "omx_il.h"

namespace omx_common {

inline OMX_VERSIONTYPE ourVersion()
{
    OMX_VERSIONTYPE v;
    v.s.nVersionMajor = OMX_VERSION_MAJOR;
    v.s.nVersionMinor = OMX_VERSION_MINOR;
    v.s.nRevision = OMX_VERSION_REVISION;
    v.s.nStep = OMX_VERSION_STEP;
    return v;
}

// Size and version check shared by every standard parameter record.
inline OMX_ERRORTYPE checkHeader(OMX_PTR record, OMX_U32 size)
{
    if (!record)
        return OMX_ErrorBadParameter;
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

// A record's size and version, as clients write them before Get/SetParameter.
inline void writeHeader(OMX_PTR record, OMX_U32 size)
{
    OMX_VERSIONTYPE v = ourVersion();
    std::memcpy(record, &size, sizeof size);
    std::memcpy(static_cast<char*>(record) + 4, &v, sizeof v);
}

// The reply to a domain's init index: `ports` ports, numbered from 0.
inline OMX_ERRORTYPE describePorts(OMX_PTR record, OMX_U32 ports)
{
    OMX_ERRORTYPE err = checkHeader(record, sizeof(OMX_PORT_PARAM_TYPE));
    if (err != OMX_ErrorNone)
        return err;
    auto* param = static_cast<OMX_PORT_PARAM_TYPE*>(record);
    param->nPorts = ports;
    param->nStartPortNumber = 0;
    return OMX_ErrorNone;
}

inline bool transitionAllowed(OMX_STATETYPE from, OMX_STATETYPE to)
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

template <class Priv>
Priv* privateOf(OMX_HANDLETYPE handle)
{
    auto* component = static_cast<OMX_COMPONENTTYPE*>(handle);
    return component ? static_cast<Priv*>(component->pComponentPrivate) : nullptr;
}

template <class Priv>
OMX_ERRORTYPE getComponentVersion(OMX_HANDLETYPE handle, OMX_STRING name,
                                  OMX_VERSIONTYPE* componentVersion, OMX_VERSIONTYPE* specVersion,
                                  OMX_PTR uuid)
{
    Priv* priv = privateOf<Priv>(handle);
    if (!priv || !name || !componentVersion || !specVersion)
        return OMX_ErrorBadParameter;
    std::memcpy(name, priv->name, sizeof priv->name);
    *componentVersion = ourVersion();
    *specVersion = ourVersion();
    if (uuid)
        std::memset(uuid, 0, OMX_MAX_STRINGNAME_SIZE);
    return OMX_ErrorNone;
}

template <class Priv>
OMX_ERRORTYPE getState(OMX_HANDLETYPE handle, OMX_STATETYPE* state)
{
    Priv* priv = privateOf<Priv>(handle);
    if (!priv || !state)
        return OMX_ErrorBadParameter;
    *state = priv->state;
    return OMX_ErrorNone;
}

template <class Priv>
OMX_ERRORTYPE setCallbacks(OMX_HANDLETYPE handle, OMX_CALLBACKTYPE* callbacks, OMX_PTR appData)
{
    Priv* priv = privateOf<Priv>(handle);
    if (!priv || !callbacks)
        return OMX_ErrorBadParameter;
    priv->callbacks = callbacks;
    priv->callbackData = appData;
    return OMX_ErrorNone;
}

} // namespace omx_common

#endif
