#pragma once
// A demuxer library measured beside ffmpeg's stream copy of the same file in
// one run: the time of each side is added to a tally, and the two tallies give
// the throughputs and their ratio.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mediahost/adapter.h"
#include "mediahost/plugin.h"

namespace demux_peer {

struct Tally {
  double bytes = 0;
  double seconds = 0;
  double mbPerSecond() const { return seconds > 0 ? bytes / seconds / 1e6 : 0; }
};

// Every frame of `file` through the library; the number of frames, 0 when the
// open fails.
inline size_t readEveryFrame(const mediahost::DemuxAdapter& adapter, mediahost::Plugin& plugin,
                             const std::string& file) {
  int code = 0;
  auto session = adapter.open(plugin.entry(), file, &code);
  if (!session) return 0;
  mediahost::Frame f;
  size_t frames = 0;
  while (session->next("", &f) == mediahost::kOk) {
    if (f.size) benchmark::DoNotOptimize(f.data[f.size - 1]);
    ++frames;
  }
  session->close();
  return frames;
}

// Runs `body` once per benchmark iteration, adding its time and `fileBytes` to
// `tally`; `body` returns false to end the benchmark with `error`.
template <class Body>
void timed(benchmark::State& state, Tally& tally, size_t fileBytes, const char* error, Body body) {
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!body()) {
      state.SkipWithError(error);
      return;
    }
    tally.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    tally.bytes += double(fileBytes);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fileBytes));
}

// ffmpeg's stream copy of `file` to the null muxer; `args` go before "-c copy".
inline void ffmpegStreamCopy(benchmark::State& state, Tally& tally, const std::string& file,
                             size_t fileBytes, const std::string& args) {
  std::string cmd = "ffmpeg -nostdin -v error -i '" + file + "' " + args + "-c copy -f null - >/dev/null 2>&1";
  timed(state, tally, fileBytes, "ffmpeg failed", [&] { return std::system(cmd.c_str()) == 0; });
}

inline void printRatio(const char* library, const char* peer, const Tally& lib, const Tally& ff) {
  printf("%s: %.1f MB/s   %s: %.1f MB/s   ratio: %.2f\n", library, lib.mbPerSecond(), peer, ff.mbPerSecond(),
         ff.mbPerSecond() > 0 ? lib.mbPerSecond() / ff.mbPerSecond() : 0);
}

}  // namespace demux_peer
