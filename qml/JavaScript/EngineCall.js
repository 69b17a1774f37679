.pragma library
// Calls from the screens into the published C++ objects. A method the engine
// does not offer (yet) is reported once per call on the console and the
// fallback value is returned, so a screen never stops on a missing method.

function has(target, name) {
    return target !== null && target !== undefined && typeof target[name] === "function"
}

function invoke(target, name, args, fallback) {
    if (has(target, name))
        return target[name].apply(target, args === undefined ? [] : args)
    console.warn("[qml] engine method " + name + "() is not available")
    return fallback
}

function log(target, text) {
    if (has(target, "printLog"))
        target.printLog(text)
    else
        console.log("[qml] " + text)
}
