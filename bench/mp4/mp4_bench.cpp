// Reads a generated two-hour MP4 (H.264 and AAC, a ten-second clip looped by
// ffmpeg's stream copy) frame by frame through libkvrmp4dmx in file order,
// beside `ffmpeg -i f -map 0 -c copy -f null -`, and opens it (box walk and
// sample index of 500 000 samples) beside `ffprobe -show_format`; prints
// both throughputs, both open times and their ratios.
//
//   bench_mp4_demux [--minutes N] [benchmark options]
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

demux_peer::Tally g_library, g_ffmpeg, g_libraryOpen, g_ffprobeOpen;
int g_opens = 0, g_probes = 0;

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

void BM_LibraryOpensTwoHours(benchmark::State& state) {
  demux_peer::timed(state, g_libraryOpen, g_fileBytes, "open failed", [&] {
    int code = 0;
    auto s = g_adapter->open(g_plugin->entry(), g_file, &code);
    if (!s) return false;
    s->close();
    ++g_opens;
    return true;
  });
}

void BM_FfprobeOpensTwoHours(benchmark::State& state) {
  std::string cmd = "ffprobe -v error -show_format '" + g_file + "' >/dev/null 2>&1";
  demux_peer::timed(state, g_ffprobeOpen, g_fileBytes, "ffprobe failed", [&] {
    ++g_probes;
    return std::system(cmd.c_str()) == 0;
  });
}

BENCHMARK(BM_LibraryReadsEveryFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FfmpegStreamCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibraryOpensTwoHours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FfprobeOpensTwoHours)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  int minutes = 120;
  for (int i = 1; i + 1 < argc; ++i)
    if (strcmp(argv[i], "--minutes") == 0) {
      minutes = atoi(argv[i + 1]);
      memmove(argv + i, argv + i + 2, sizeof(char*) * size_t(argc - i - 1));
      argc -= 2;
      break;
    }
  char dir[] = "/tmp/mp4-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  std::string clip = std::string(dir) + "/clip.mp4";
  g_file = std::string(dir) + "/long.mp4";
  std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
                     "sine=frequency=440:sample_rate=48000 -t 10 -c:v libx264 -preset veryfast -b:v 300k "
                     "-g 50 -bf 2 -pix_fmt yuv420p -c:a aac -b:a 64k '" + clip + "' && "
                     "ffmpeg -nostdin -v error -y -stream_loop " + std::to_string(minutes * 6 - 1) +
                     " -i '" + clip + "' -c copy '" + g_file + "'";
  if (std::system(make.c_str()) != 0) return 1;
  struct stat st;
  if (stat(g_file.c_str(), &st) != 0) return 1;
  g_fileBytes = size_t(st.st_size);
  std::string error;
  auto plugin = mediahost::Plugin::load(MP4_PLUGIN_PATH, &error);
  if (!plugin || !(g_adapter = mediahost::findDemuxAdapter(*plugin))) {
    fprintf(stderr, "cannot load the demuxer: %s\n", error.c_str());
    return 1;
  }
  g_plugin = plugin.release();
  demux_peer::readEveryFrame(*g_adapter, *g_plugin, g_file);  // warms the page cache

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printf("file: %.1f MB, %d minutes\n", double(g_fileBytes) / 1e6, minutes);
  demux_peer::printRatio("libkvrmp4dmx", "ffmpeg -map 0 -c copy", g_library, g_ffmpeg);
  double lib = g_opens ? g_libraryOpen.seconds / g_opens * 1e3 : 0;
  double probe = g_probes ? g_ffprobeOpen.seconds / g_probes * 1e3 : 0;
  printf("open: libkvrmp4dmx %.1f ms   ffprobe -show_format %.1f ms   ratio: %.2f\n", lib, probe,
         lib > 0 ? probe / lib : 0);
  unlink(g_file.c_str());
  unlink(clip.c_str());
  rmdir(dir);
  return 0;
}
