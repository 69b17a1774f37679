// A 64 KiB firmware update (start frame, 256 chunk frames of 264 bytes, end
// frame, each acknowledged) against the simulated microcontroller.
//
// On the board the serial line is the limit: 115200 baud with 10 bits per
// byte is 11520 bytes/s, of which 256 of every 264 bytes are firmware, about
// 11.2 KB/s or 5.9 s for 64 KiB. "line_limit_ratio" is the measured payload
// rate divided by that limit: above 1 means the tool's own work (framing,
// waits, reading the image) leaves the line as the only bound.

#include "MicomHarness.h"
#include "MicomProtocol.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

constexpr size_t kImageBytes = 64 * 1024;
constexpr double kLinePayloadBytesPerSecond = 115200.0 / 10 * 256 / 264;

void BM_FirmwareUpdate64KiB(benchmark::State& state)
{
    micomtest::TempRoot root;
    root.activate();
    micomtest::Sim sim(root, {"--mode", "3"});
    FILE* quiet = std::fopen("/dev/null", "w");
    micom::setConsole(quiet);
    const int fd = micom::openPort();
    if (fd < 0 || !micom::applyLineSettings(fd)) {
        state.SkipWithError("cannot open the simulated port");
        return;
    }
    std::vector<uint8_t> image(kImageBytes);
    std::mt19937 rng(64);
    for (auto& b : image)
        b = static_cast<uint8_t>(rng());

    double seconds = 0;
    for (auto _ : state) {
        // The controller leaves update mode after each finished update.
        state.PauseTiming();
        const bool inUpdate = micom::micom_set_mode(fd, micom::kModeUpdate);
        state.ResumeTiming();
        if (!inUpdate) {
            state.SkipWithError("the simulated controller did not enter update mode");
            break;
        }
        size_t at = 0;
        micom::ChunkReader reader = [&](uint8_t* buf, size_t n) -> ssize_t {
            const size_t k = std::min(n, image.size() - at);
            std::memcpy(buf, image.data() + at, k);
            at += k;
            return static_cast<ssize_t>(k);
        };
        const auto t0 = std::chrono::steady_clock::now();
        const micom::Transfer result = micom::transferFirmware(fd, reader);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (result != micom::Transfer::Ok) {
            state.SkipWithError("transfer failed");
            break;
        }
    }
    const double bytes = static_cast<double>(kImageBytes) * static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    if (seconds > 0)
        state.counters["line_limit_ratio"] = bytes / seconds / kLinePayloadBytesPerSecond;
    state.counters["line_seconds"] = kImageBytes / kLinePayloadBytesPerSecond;
    close(fd);
    micom::setConsole(nullptr);
    std::fclose(quiet);
}

}  // namespace

BENCHMARK(BM_FirmwareUpdate64KiB)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
