// Reads a large generated Ogg file (Theora + Vorbis) frame by frame through
// libkvroggdmx (from disk through the media host's stdio callbacks, page
// cache warm after the first pass) and copies it with
// `ffmpeg -i f -c copy -f null -`; prints both throughputs and their ratio.
//
//   bench_ogg_demux [--mb N] [benchmark options]
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

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

size_t readEveryFrame(const std::string& file) {
  return demux_peer::readEveryFrame(*g_adapter, *g_plugin, file);
}

void BM_LibraryReadsEveryFrame(benchmark::State& state) {
  size_t frames = 0;
  demux_peer::timed(state, g_library, g_fileBytes, "open failed", [&] {
    frames = readEveryFrame(g_file);
    return frames > 0;
  });
  state.counters["frames"] = double(frames);
}

void BM_FfmpegStreamCopy(benchmark::State& state) {
  demux_peer::ffmpegStreamCopy(state, g_ffmpeg, g_file, g_fileBytes, "");
}

BENCHMARK(BM_LibraryReadsEveryFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FfmpegStreamCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

bool loadPlugin() {
  std::string error;
  auto plugin = mediahost::Plugin::load(OGG_PLUGIN_PATH, &error);
  if (!plugin || !(g_adapter = mediahost::findDemuxAdapter(*plugin))) {
    fprintf(stderr, "cannot load the demuxer: %s\n", error.c_str());
    return false;
  }
  g_plugin = plugin.release();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int mb = 200;
  for (int i = 1; i + 1 < argc; ++i)
    if (strcmp(argv[i], "--mb") == 0) {
      mb = atoi(argv[i + 1]);
      memmove(argv + i, argv + i + 2, sizeof(char*) * size_t(argc - i - 1));
      argc -= 2;
      break;
    }
  char dir[] = "/tmp/ogg-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  g_file = std::string(dir) + "/big.ogg";
  std::string make = "sh '" MAKE_BIG_OGG "' '" + g_file + "' " + std::to_string(mb);
  if (std::system(make.c_str()) != 0) return 1;
  struct stat st;
  if (stat(g_file.c_str(), &st) != 0) return 1;
  g_fileBytes = size_t(st.st_size);
  // Every stream's reader uses the largest cache the open record allows
  // (64 KiB), as a host streaming large files would configure it (the
  // default is 4 KiB).
  if (!getenv("MEDIAHOST_OGG_CACHE")) setenv("MEDIAHOST_OGG_CACHE", "65536", 1);
  if (!loadPlugin()) return 1;
  readEveryFrame(g_file);  // warms the page cache

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printf("file: %.1f MB\n", double(g_fileBytes) / 1e6);
  demux_peer::printRatio("libkvroggdmx", "ffmpeg -c copy", g_library, g_ffmpeg);
  unlink(g_file.c_str());
  rmdir(dir);
  return 0;
}
