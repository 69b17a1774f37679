// Minimal OpenMAX IL core: a component list filled by registration, and
// handles that remember the library they came from.

#include "omx_core.h"

#include <dlfcn.h>

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>

namespace {

struct Registration {
    std::string library;
    std::string entry;
    ozb_omx_init_kind kind;
};

using InitComponent = OMX_ERRORTYPE (*)(OMX_COMPONENTTYPE*);
using InitComponentAndName = OMX_ERRORTYPE (*)(OMX_COMPONENTTYPE*, OMX_STRING);

std::mutex g_lock;
std::map<std::string, Registration>& registry()
{
    static std::map<std::string, Registration> r;
    return r;
}
// Open handles and the library each one keeps loaded.
std::map<OMX_HANDLETYPE, void*>& handles()
{
    static std::map<OMX_HANDLETYPE, void*> h;
    return h;
}

bool fits(const char* s)
{
    return s && *s && std::strlen(s) < 4096;
}

// Gives back what a failed init entry left attached to the record.
void releaseComponent(OMX_COMPONENTTYPE* component)
{
    if (component->ComponentDeInit && component->pComponentPrivate)
        component->ComponentDeInit(component);
    delete component;
}

} // namespace

extern "C" {

OMX_ERRORTYPE OMX_Init(void)
{
    std::lock_guard<std::mutex> hold(g_lock);
    registry().clear();
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_Deinit(void)
{
    std::lock_guard<std::mutex> hold(g_lock);
    registry().clear();
    return OMX_ErrorNone;
}

OMX_ERRORTYPE ozb_omx_core_RegisterComponent(const char* name, const char* libraryPath,
                                             const char* initEntry, ozb_omx_init_kind kind)
{
    if (!name || !*name || std::strlen(name) >= OMX_MAX_STRINGNAME_SIZE || !fits(libraryPath) ||
        !fits(initEntry) ||
        (kind != OZB_OMX_INIT_COMPONENT && kind != OZB_OMX_INIT_COMPONENT_AND_NAME))
        return OMX_ErrorBadParameter;
    std::lock_guard<std::mutex> hold(g_lock);
    registry()[name] = Registration{libraryPath, initEntry, kind};
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_GetHandle(OMX_HANDLETYPE* pHandle, OMX_STRING name, OMX_PTR appData,
                            OMX_CALLBACKTYPE* callbacks)
{
    if (!pHandle)
        return OMX_ErrorBadParameter;
    *pHandle = nullptr;
    if (!name)
        return OMX_ErrorBadParameter;

    Registration reg;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        auto it = registry().find(name);
        if (it == registry().end())
            return OMX_ErrorInvalidComponentName;
        reg = it->second;
    }

    void* library = dlopen(reg.library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return OMX_ErrorComponentNotFound;
    void* entry = dlsym(library, reg.entry.c_str());
    if (!entry) {
        dlclose(library);
        return OMX_ErrorInvalidComponent;
    }

    auto* component = new (std::nothrow) OMX_COMPONENTTYPE();
    if (!component) {
        dlclose(library);
        return OMX_ErrorInsufficientResources;
    }
    component->nSize = sizeof(OMX_COMPONENTTYPE);
    component->nVersion.s.nVersionMajor = OMX_VERSION_MAJOR;
    component->nVersion.s.nVersionMinor = OMX_VERSION_MINOR;
    component->nVersion.s.nRevision = OMX_VERSION_REVISION;
    component->nVersion.s.nStep = OMX_VERSION_STEP;
    component->pApplicationPrivate = appData;

    char nameCopy[OMX_MAX_STRINGNAME_SIZE];
    std::strncpy(nameCopy, name, sizeof nameCopy - 1);
    nameCopy[sizeof nameCopy - 1] = '\0';
    OMX_ERRORTYPE err;
    if (reg.kind == OZB_OMX_INIT_COMPONENT)
        err = reinterpret_cast<InitComponent>(entry)(component);
    else
        err = reinterpret_cast<InitComponentAndName>(entry)(component, nameCopy);
    if (err == OMX_ErrorNone && callbacks) {
        err = component->SetCallbacks ? component->SetCallbacks(component, callbacks, appData)
                                      : OMX_ErrorNotImplemented;
    }
    if (err != OMX_ErrorNone) {
        releaseComponent(component);
        dlclose(library);
        return err;
    }

    std::lock_guard<std::mutex> hold(g_lock);
    handles()[component] = library;
    *pHandle = component;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_FreeHandle(OMX_HANDLETYPE handle)
{
    void* library;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        auto it = handles().find(handle);
        if (it == handles().end())
            return OMX_ErrorBadParameter;
        library = it->second;
        handles().erase(it);
    }
    auto* component = static_cast<OMX_COMPONENTTYPE*>(handle);
    OMX_ERRORTYPE err = OMX_ErrorNone;
    if (component->ComponentDeInit)
        err = component->ComponentDeInit(component);
    delete component;
    dlclose(library);
    return err;
}

} // extern "C"
