// libFuzzer target: the input is split into a channel database file and a
// guide database file, which the database manager then reads.
#include "DbInputs.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t half = size / 2;
    dbinputs::readAll(std::string(reinterpret_cast<const char*>(data), half),
                      std::string(reinterpret_cast<const char*>(data) + half, size - half));
    return 0;
}
