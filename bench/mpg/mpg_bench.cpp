// Reads a large generated DVD VOB file (noisy MPEG-2 video at 7 Mbit/s, AC-3)
// frame by frame through libkvrmpgdmx, in direct mode (every PES payload) and
// in two-reader mode (video pictures cut from the elementary stream and the
// audio from its own reader), from disk through the media host's stdio
// callbacks with the page cache warm, and copies it with
// `ffmpeg -i f -map 0 -c copy -f null -`; prints the throughputs and ratios.
//
//   bench_mpg_demux [--mb N] [benchmark options]
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "demux_peer.h"

namespace {

std::string g_file;
size_t g_fileBytes = 0;
mediahost::Plugin* g_plugin = nullptr;
const mediahost::DemuxAdapter* g_adapter = nullptr;

demux_peer::Tally g_direct, g_twoReaders, g_ffmpeg;

size_t readEveryFrame(const char* mode) {
  setenv("MEDIAHOST_MPG_MODE", mode, 1);
  return demux_peer::readEveryFrame(*g_adapter, *g_plugin, g_file);
}

void BM_LibraryDirectMode(benchmark::State& state) {
  size_t frames = 0;
  demux_peer::timed(state, g_direct, g_fileBytes, "open failed", [&] {
    frames = readEveryFrame("0");
    return frames > 0;
  });
  state.counters["frames"] = double(frames);
}

void BM_LibraryTwoReaderMode(benchmark::State& state) {
  size_t frames = 0;
  demux_peer::timed(state, g_twoReaders, g_fileBytes, "open failed", [&] {
    frames = readEveryFrame("1");
    return frames > 0;
  });
  state.counters["frames"] = double(frames);
}

void BM_FfmpegStreamCopy(benchmark::State& state) {
  demux_peer::ffmpegStreamCopy(state, g_ffmpeg, g_file, g_fileBytes, "-map 0 ");
}

BENCHMARK(BM_LibraryDirectMode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibraryTwoReaderMode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FfmpegStreamCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  int mb = 150;
  for (int i = 1; i + 1 < argc; ++i)
    if (strcmp(argv[i], "--mb") == 0) {
      mb = atoi(argv[i + 1]);
      memmove(argv + i, argv + i + 2, sizeof(char*) * size_t(argc - i - 1));
      argc -= 2;
      break;
    }
  char dir[] = "/tmp/mpg-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  std::string make = "python3 '" MAKE_MPG "' '" + std::string(dir) + "' --big " + std::to_string(mb);
  if (std::system(make.c_str()) != 0) return 1;
  g_file = std::string(dir) + "/big.vob";
  struct stat st;
  if (stat(g_file.c_str(), &st) != 0) return 1;
  g_fileBytes = size_t(st.st_size);
  std::string error;
  auto plugin = mediahost::Plugin::load(MPG_PLUGIN_PATH, &error);
  if (!plugin || !(g_adapter = mediahost::findDemuxAdapter(*plugin))) {
    fprintf(stderr, "cannot load the demuxer: %s\n", error.c_str());
    return 1;
  }
  g_plugin = plugin.get();
  // The library's end-of-file diagnostic goes to standard output.
  readEveryFrame("0");  // warms the page cache

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printf("file: %.1f MB\n", double(g_fileBytes) / 1e6);
  demux_peer::printRatio("libkvrmpgdmx direct", "ffmpeg -map 0 -c copy", g_direct, g_ffmpeg);
  demux_peer::printRatio("libkvrmpgdmx two readers", "ffmpeg -map 0 -c copy", g_twoReaders, g_ffmpeg);
  unlink(g_file.c_str());
  rmdir(dir);
  return 0;
}
