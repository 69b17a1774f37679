// libFuzzer entry over the application's parsed texts.

#include "AppTextInputs.h"
#include "TestDevRoot.h"
#include "fuzz_seeds.h"

#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    holvik_fuzz::writeSeedsIfAsked(appTextSeeds());
    static holvik_test::TestDevRoot root;
    // The log lines of every input would drown the fuzzer's own output.
    if (!freopen((root.root() + "/console.txt").c_str(), "w", stdout))
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    feedAppTextInput(data, size);
    return 0;
}
