// libFuzzer target: the input is split into a channel database file and a
// guide database file, which the database manager then reads.
#include "DbInputs.h"
#include "ListsFixtures.h"
#include "fuzz_quiet_commands.h"
#include "fuzz_seeds.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

// The tests' valid pair, the shorter file padded so that the halves split
// where the files meet.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string channels = dbinputs::validChannelFile(), guide = dbinputs::validGuideFile();
    const size_t half = std::max(channels.size(), guide.size());
    channels.resize(half, '\0');
    guide.resize(half, '\0');
    holvik_fuzz::writeSeedsIfAsked({channels + guide});
    holvik_fuzz::quietCommands(fixtures::devRoot().root());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t half = size / 2;
    dbinputs::readAll(std::string(reinterpret_cast<const char*>(data), half),
                      std::string(reinterpret_cast<const char*>(data) + half, size - half));
    return 0;
}
