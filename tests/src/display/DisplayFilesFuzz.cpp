// Fuzz target of the display-manager files as the engine reads them: the
// kernel command line (the display cable), the supported HDMI resolutions
// and the current one, each found through the board path helper, then the
// cable check, the current-resolution check and the availability check the
// engine makes at start and on a mode change.
//
// Input: the three files' bytes, separated by zero bytes; a file the input
// does not reach is absent.

#include <QGuiApplication>
#include <QQmlEngine>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ISDBtAppEngine.h"
#include "KvrOzbFSegPlayer.h"
#include "TestDevRoot.h"

namespace {

const char* const kFiles[] = {"/proc/cmdline",
                              "/sys/class/kvr_dispman/kvr_dispman/persist_supported_resolution",
                              "/sys/class/kvr_dispman/kvr_dispman/persist_hdmi_resolution"};

holvik_test::TestDevRoot* g_root = nullptr;
ISDBtAppEngine* g_engine = nullptr;

}  // namespace

// The leak checker's switches exist only where a sanitizer is linked in; the
// plain build's mutation program runs without them.
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "display-files-fuzz";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    g_root = new holvik_test::TestDevRoot;
    // The engine's log lines of every input would drown the fuzzer's output.
    if (!std::freopen((g_root->root() + "/console.txt").c_str(), "w", stdout))
        return 1;
    // The engine as the start-up code builds it, not started. Its QML engine
    // keeps objects that only the script heap points to, which the leak
    // checker does not scan: what is made here is not counted as a leak;
    // what an input leaks is.
    if (__lsan_disable)
        __lsan_disable();
    g_engine = new ISDBtAppEngine(7, new QQmlEngine, nullptr);
    KvrOzbFSegPlayer::getInstance()->initialize();
    if (__lsan_enable)
        __lsan_enable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (const char* file : kFiles) {
        const std::string path = g_root->path(file);
        if (start > input.size()) {
            std::remove(path.c_str());
            continue;
        }
        size_t end = input.find('\0', start);
        if (end == std::string::npos)
            end = input.size();
        holvik_test::writeFile(path, input.substr(start, end - start));
        start = end + 1;
    }
    const int cable = g_engine->checkDispCable();
    if (cable < 0 || cable > 2)
        std::abort();
    g_engine->checkCurrentHdmiResolution();
    g_engine->checkAvailableHdmiResolution();
    return 0;
}
