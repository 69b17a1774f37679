// Fuzz target: a sequence of engine requests to the tuner component (with
// any stream and channel numbers and null pointers) against a simulated
// module whose registers and read failures also come from the input. Aborts
// when a refused request reaches the bus, a result or state word leaves its
// range, or a descriptor stays open after the final close.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ozb_omx_base.h"
#include "ri0064de_tuner.h"
#include "tuner_sim.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    bool more() const { return n > 0; }
    uint8_t byte()
    {
        if (!n)
            return 0;
        --n;
        return *p++;
    }
    int8_t signedByte() { return static_cast<int8_t>(byte()); }
};

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "tuner fuzz: %s\n", what);
        std::abort();
    }
}

uint32_t code(OMX_ERRORTYPE e)
{
    return static_cast<uint32_t>(e);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size};
    TunerSim sim;
    LogCapture log;
    // Mostly the right chip, sometimes another.
    const uint8_t chip = in.byte();
    sim.setDemod(0, 0x00, chip < 0xF0 ? 0x40 : chip);
    int failRegister = -1;
    sim.failRead = [&failRegister](int, const std::vector<uint8_t>& h) {
        return failRegister >= 0 && h.back() == failRegister;
    };

    OMX_COMPONENTTYPE component;
    std::memset(&component, 0, sizeof component);
    check(ozb_omx_ri0064de_tuner_component_Init(&component) == OMX_ErrorNone, "init");
    auto set = [&](uint32_t index, void* rec) {
        return code(component.SetParameter(&component, static_cast<OMX_INDEXTYPE>(index), rec));
    };
    auto get = [&](uint32_t index, void* rec) {
        return code(component.GetParameter(&component, static_cast<OMX_INDEXTYPE>(index), rec));
    };

    for (int steps = 0; in.more() && steps < 64; ++steps) {
        switch (in.byte() % 9) {
        case 0: {
            OMX_KVR_TUNER_OPENTYPE rec = {in.signedByte(), in.signedByte()};
            const uint32_t r = set(OMX_IndexKvrTunerOpen, &rec);
            check(r == 0 || r == 0x80001005u, "open result");
            if (r == 0)
                check(g_iCurrentTsMode == -1, "mode after open");
            break;
        }
        case 1: {
            OMX_KVR_TUNER_CLOSETYPE rec = {in.signedByte()};
            check(set(OMX_IndexKvrTunerClose, &rec) == 0, "close result");
            check(sim.openDescriptors() == 0, "descriptor left open by close");
            break;
        }
        case 2: {
            OMX_KVR_TUNER_CHANNELSETTYPE rec = {in.signedByte(), in.signedByte()};
            const bool valid = (rec.iTsIndex == 0 || rec.iTsIndex == 1) &&
                               rec.iChannelNumber >= -1 && rec.iChannelNumber < 40;
            const size_t before = sim.trace.size();
            const int modeBefore = g_iCurrentTsMode;
            const uint32_t r = set(OMX_IndexKvrTunerChannelSet, &rec);
            check(r == 0 || r == 0x80001005u, "channel-set result");
            if (!valid) {
                check(r == 0x80001005u, "refused channel set reported as success");
                check(sim.trace.size() == before, "refused channel set reached the bus");
                check(g_iCurrentTsMode == modeBefore, "refused channel set changed the mode");
            } else {
                check(g_iCurrentTsMode == (rec.iTsIndex == 0 ? 0 : 1), "mode after channel set");
            }
            break;
        }
        case 3: {
            const int ts = in.signedByte();
            const uint8_t nulls = in.byte();
            float level = -7.0f;
            OMX_KVR_TUNER_SIGNALQUALITYTYPE q;
            std::memset(&q, 0x55, sizeof q);
            OMX_KVR_TUNER_SIGNALINFOTYPE rec = {ts, (nulls & 1) ? nullptr : &level,
                                                (nulls & 2) ? nullptr : &q};
            const uint32_t r = get(OMX_IndexKvrTunerSignalInfo, &rec);
            if (nulls & 3) {
                check(r == 0x80001005u, "null signal pointers accepted");
                break;
            }
            check(r == 0, "signal query result");
            check(level >= 0.0f, "negative signal level");
            check(q.i2TsMode == 0 || q.i2TsMode == 1, "two-stream flag");
            check(q.iFrequencyKHz == 0 ||
                      (q.iFrequencyKHz >= 473143 && q.iFrequencyKHz <= 473143 + 39 * 6000 &&
                       (q.iFrequencyKHz - 473143) % 6000 == 0),
                  "frequency");
            if (level == 0.0f)
                check(q.iLevelA == 0 && q.iRegisterPair[0] == 100 && q.iRegisterPair[2] == 1000,
                      "fixed words of a missing signal");
            break;
        }
        case 4: {
            const int reg = in.byte();
            sim.setDemod(1, reg, in.byte());
            break;
        }
        case 5: {
            const int reg = in.byte() & 1 ? 0x95 : 0x5C;
            sim.script(1, reg, {in.byte(), in.byte()});
            break;
        }
        case 6: {
            const uint8_t b = in.byte();
            failRegister = b < 0x80 ? -1 : b;
            break;
        }
        case 7: {
            const int r = TunerGetEWSFlag(in.signedByte());
            check(r >= -1 && r <= 1, "emergency flag result");
            break;
        }
        case 8: {
            uint8_t record[64] = {};
            ozb_omx_base_SetHeader(record, 16);
            const uint32_t index = 0x7F000030u + (in.byte() & 0x1F);
            if (index == OMX_IndexKvrTunerOpen || index == OMX_IndexKvrTunerClose ||
                index == OMX_IndexKvrTunerChannelSet || index == OMX_IndexKvrTunerSignalInfo)
                break;
            set(index, record);
            get(index, record);
            break;
        }
        }
        check(g_iCurrentTsMode >= -1 && g_iCurrentTsMode <= 1, "mode word");
        sim.clearTrace();
    }

    OMX_KVR_TUNER_CLOSETYPE close = {0};
    set(OMX_IndexKvrTunerClose, &close);
    check(sim.openDescriptors() == 0, "descriptor left open");
    check(component.ComponentDeInit(&component) == OMX_ErrorNone, "deinit");
    return 0;
}
