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

#include "mediahost/adapter.h"
#include "mediahost/plugin.h"

namespace {

std::string g_file;
size_t g_fileBytes = 0;
mediahost::Plugin* g_plugin = nullptr;
const mediahost::DemuxAdapter* g_adapter = nullptr;

struct Tally {
  double bytes = 0;
  double seconds = 0;
  double mbPerSecond() const { return seconds > 0 ? bytes / seconds / 1e6 : 0; }
};
Tally g_library, g_ffmpeg;

void BM_LibraryReadsEveryFrame(benchmark::State& state) {
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    int code = 0;
    auto session = g_adapter->open(g_plugin->entry(), g_file, &code);
    if (!session) {
      state.SkipWithError("open failed");
      return;
    }
    mediahost::Frame f;
    size_t frames = 0;
    while (session->next("", &f) == mediahost::kOk) {
      benchmark::DoNotOptimize(f.data[f.size - 1]);
      ++frames;
    }
    session->close();
    g_library.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    g_library.bytes += double(g_fileBytes);
    state.counters["frames"] = double(frames);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_fileBytes));
}

void BM_FfmpegStreamCopy(benchmark::State& state) {
  std::string cmd = "ffmpeg -nostdin -v error -i '" + g_file + "' -c copy -f null - >/dev/null 2>&1";
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError("ffmpeg failed");
      return;
    }
    g_ffmpeg.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    g_ffmpeg.bytes += double(g_fileBytes);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_fileBytes));
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
  printf("libkvrapedmx: %.1f MB/s   ffmpeg -c copy: %.1f MB/s   ratio: %.2f\n", g_library.mbPerSecond(),
         g_ffmpeg.mbPerSecond(), g_ffmpeg.mbPerSecond() > 0 ? g_library.mbPerSecond() / g_ffmpeg.mbPerSecond() : 0);
  unlink(g_file.c_str());
  rmdir(dir);
  return 0;
}
