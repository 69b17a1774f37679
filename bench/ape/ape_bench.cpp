// Reads a large generated APE file frame by frame through libkvrapedmx (from
// disk, through the media host's stdio callbacks) and copies it with
// `ffmpeg -i f -c copy -f null -`; prints both throughputs and their ratio.
//
//   bench_ape_demux [--frames N] [benchmark options]
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "demux_peer.h"

namespace {

std::string g_file;
size_t g_fileBytes = 0;
mediahost::Plugin* g_plugin = nullptr;
const mediahost::DemuxAdapter* g_adapter = nullptr;

demux_peer::Tally g_library, g_ffmpeg;

void BM_LibraryReadsEveryFrame(benchmark::State& state) {
  size_t frames = 0;
  demux_peer::timed(state, g_library, g_fileBytes, "open failed", [&] {
    frames = demux_peer::readEveryFrame(*g_adapter, *g_plugin, g_file);
    return frames > 0;
  });
  state.counters["frames"] = double(frames);
}

void BM_FfmpegStreamCopy(benchmark::State& state) {
  demux_peer::ffmpegStreamCopy(state, g_ffmpeg, g_file, g_fileBytes, "");
}

BENCHMARK(BM_LibraryReadsEveryFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FfmpegStreamCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  int frames = 1000;  // about 65 MB
  for (int i = 1; i + 1 < argc; ++i)
    if (strcmp(argv[i], "--frames") == 0) {
      frames = atoi(argv[i + 1]);
      memmove(argv + i, argv + i + 2, sizeof(char*) * size_t(argc - i - 1));
      argc -= 2;
      break;
    }
  char dir[] = "/tmp/ape-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  g_file = std::string(dir) + "/large.ape";
  std::string make = "python3 '" MAKE_APE "' '" + g_file + "' --frames " + std::to_string(frames) +
                     " --frame-bytes 65000 --tag";
  if (std::system(make.c_str()) != 0) return 1;
  struct stat st;
  if (stat(g_file.c_str(), &st) != 0) return 1;
  g_fileBytes = size_t(st.st_size);

  std::string error;
  auto plugin = mediahost::Plugin::load(APE_PLUGIN_PATH, &error);
  if (!plugin || !(g_adapter = mediahost::findDemuxAdapter(*plugin))) {
    fprintf(stderr, "cannot load the demuxer: %s\n", error.c_str());
    return 1;
  }
  g_plugin = plugin.get();

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printf("file: %.1f MB, %d frames\n", double(g_fileBytes) / 1e6, frames);
  demux_peer::printRatio("libkvrapedmx", "ffmpeg -c copy", g_library, g_ffmpeg);
  unlink(g_file.c_str());
  rmdir(dir);
  return 0;
}
