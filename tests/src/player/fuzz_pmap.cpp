// libFuzzer target: the caption-plane region list of the player wrapper.
#include "KvrOzbFSegPlayer.h"
#include "fuzz_seeds.h"

#include <cstddef>
#include <cstdint>

// The region lists of the wrapper's tests and the engine stand-in's own.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    holvik_fuzz::writeSeedsIfAsked({
        "garbage line\n0x100 overlay1\n0x00200000 0x00001000 overlay10\n"
        "0x00300000 0x00002000 overlay1\n0x00400000 0x00003000 overlay1\n",
        "0x01000000 0x00800000 overlay1\n0x00800000 0x00800000 overlay0\n",
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tagPmap info;
    KvrOzbFSegPlayer::parsePmapText(reinterpret_cast<const char*>(data), size, "overlay1", &info);
    return 0;
}
