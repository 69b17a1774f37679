// libFuzzer target: the caption-plane region list of the player wrapper.
#include "KvrOzbFSegPlayer.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tagPmap info;
    KvrOzbFSegPlayer::parsePmapText(reinterpret_cast<const char*>(data), size, "overlay1", &info);
    return 0;
}
