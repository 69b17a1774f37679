// libFuzzer target: the scenario parser must reject or accept any text cleanly.
#include "BroadcastSim.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    bsim::Scenario sc;
    std::string error;
    bsim::parseScenario(std::string(reinterpret_cast<const char*>(data), size), &sc, &error);
    return 0;
}
