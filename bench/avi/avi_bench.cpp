// Reads a large ffmpeg-made AVI (MJPEG video and MP3 audio, idx1 index)
// frame by frame through libkvravidmx (from disk through the media host's
// stdio callbacks, page cache warm after the first pass) and copies it with
// `ffmpeg -i f -map 0 -c copy -f null -`; prints both throughputs and their
// ratio.
//
//   bench_avi_demux [--seconds N] [benchmark options]
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

BENCHMARK(BM_LibraryReadsEveryFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FfmpegStreamCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  int seconds = 240;
  for (int i = 1; i + 1 < argc; ++i)
    if (strcmp(argv[i], "--seconds") == 0) {
      seconds = atoi(argv[i + 1]);
      memmove(argv + i, argv + i + 2, sizeof(char*) * size_t(argc - i - 1));
      argc -= 2;
      break;
    }
  char dir[] = "/tmp/avi-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  g_file = std::string(dir) + "/big.avi";
  std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=640x360:rate=25 -f lavfi -i "
                     "sine=frequency=440:sample_rate=44100 -t " + std::to_string(seconds) +
                     " -c:v mjpeg -q:v 3 -c:a libmp3lame -b:a 128k '" + g_file + "'";
  if (std::system(make.c_str()) != 0) return 1;
  struct stat st;
  if (stat(g_file.c_str(), &st) != 0) return 1;
  g_fileBytes = size_t(st.st_size);
  std::string error;
  auto plugin = mediahost::Plugin::load(AVI_PLUGIN_PATH, &error);
  if (!plugin || !(g_adapter = mediahost::findDemuxAdapter(*plugin))) {
    fprintf(stderr, "cannot load the demuxer: %s\n", error.c_str());
    return 1;
  }
  g_plugin = plugin.release();
  demux_peer::readEveryFrame(*g_adapter, *g_plugin, g_file);  // warms the page cache

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printf("file: %.1f MB\n", double(g_fileBytes) / 1e6);
  demux_peer::printRatio("libkvravidmx", "ffmpeg -map 0 -c copy", g_library, g_ffmpeg);
  unlink(g_file.c_str());
  rmdir(dir);
  return 0;
}
