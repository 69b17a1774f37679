// Reads a generated two-hour Matroska file (H.264 and AAC, with Cues) frame
// by frame through libkvrmkvdmx, from disk through the media host's stdio
// callbacks with the page cache warm, and copies it with
// `ffmpeg -i f -map 0 -c copy -f null -`; prints both throughputs and their
// ratio. A third benchmark times the open (and close) of the file alone:
// header, first cluster, Cues and the last clusters.
//
//   bench_mkv_demux [--loops N] [benchmark options]
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

void BM_LibraryReadsEveryFrame(benchmark::State& state) {
  size_t frames = 0;
  demux_peer::timed(state, g_library, g_fileBytes, "open failed", [&] {
    frames = demux_peer::readEveryFrame(*g_adapter, *g_plugin, g_file);
    return frames > 0;
  });
  state.counters["frames"] = double(frames);
}

void BM_FfmpegStreamCopy(benchmark::State& state) {
  demux_peer::ffmpegStreamCopy(state, g_ffmpeg, g_file, g_fileBytes, "-map 0 ");
}

void BM_OpenTwoHourFile(benchmark::State& state) {
  for (auto _ : state) {
    int code = 0;
    auto session = g_adapter->open(g_plugin->entry(), g_file, &code);
    if (!session) {
      state.SkipWithError("open failed");
      return;
    }
    session->close();
  }
}

BENCHMARK(BM_LibraryReadsEveryFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FfmpegStreamCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenTwoHourFile)->Unit(benchmark::kMillisecond)->UseRealTime();

bool loadPlugin() {
  std::string error;
  auto plugin = mediahost::Plugin::load(MKV_PLUGIN_PATH, &error);
  if (!plugin || !(g_adapter = mediahost::findDemuxAdapter(*plugin))) {
    fprintf(stderr, "cannot load the demuxer: %s\n", error.c_str());
    return false;
  }
  g_plugin = plugin.release();
  return true;
}

int run(const std::string& cmd) { return std::system(cmd.c_str()); }

}  // namespace

int main(int argc, char** argv) {
  int loops = 240;  // of a 30 s source: two hours
  for (int i = 1; i + 1 < argc; ++i)
    if (strcmp(argv[i], "--loops") == 0) {
      loops = atoi(argv[i + 1]);
      memmove(argv + i, argv + i + 2, sizeof(char*) * size_t(argc - i - 1));
      argc -= 2;
      break;
    }
  char dir[] = "/tmp/mkv-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string src = std::string(dir) + "/src.mkv";
  g_file = std::string(dir) + "/big.mkv";
  const std::string ff = "ffmpeg -nostdin -v error -y ";
  if (run(ff + "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 30 "
               "-c:v libx264 -preset ultrafast -g 50 -b:v 200k -c:a aac -b:a 64k '" + src + "'") != 0 ||
      run(ff + "-stream_loop " + std::to_string(loops - 1) + " -i '" + src + "' -map 0 -c copy '" + g_file + "'") != 0)
    return 1;
  struct stat st;
  if (stat(g_file.c_str(), &st) != 0) return 1;
  g_fileBytes = size_t(st.st_size);
  if (!loadPlugin()) return 1;
  demux_peer::readEveryFrame(*g_adapter, *g_plugin, g_file);  // warms the page cache

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printf("file: %.1f MB, %d s\n", double(g_fileBytes) / 1e6, loops * 30);
  demux_peer::printRatio("libkvrmkvdmx", "ffmpeg -map 0 -c copy", g_library, g_ffmpeg);
  unlink(src.c_str());
  unlink(g_file.c_str());
  rmdir(dir);
  return 0;
}
