// Fuzz target of the display-output readers: one input is read as a kernel
// command line, as a supported-resolution line and as the current-resolution
// id against the list that line gave.

#include "ISDBtAppEngine.h"
#include "TestDevRoot.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static holvik_test::TestDevRoot root;
    // The log lines of every input would drown the fuzzer's own output.
    if (!std::freopen((root.root() + "/console.txt").c_str(), "w", stdout))
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that any read past the input is caught.
    std::unique_ptr<char[]> text(new char[size ? size : 1]);
    if (size)
        std::memcpy(text.get(), data, size);
    const int cable = ISDBtAppEngine::parseDispCable(text.get(), size);
    if (cable < 0 || cable > 2)
        __builtin_trap();
    const QString line = QString::fromLatin1(text.get(), int(size));
    const QList<tagHdmiResolution> list = ISDBtAppEngine::parseSupportedResolutions(line);
    const int mode = ISDBtAppEngine::hdmiModeForId(list, line);
    if (mode < -1 || mode > 1)
        __builtin_trap();
    return 0;
}
