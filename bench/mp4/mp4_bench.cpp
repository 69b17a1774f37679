// Reads a generated two-hour MP4 (H.264 and AAC, a ten-second clip looped by
// ffmpeg's stream copy) frame by frame through libkvrmp4dmx in file order,
// beside `ffmpeg -i f -map 0 -c copy -f null -`, and opens it (box walk and
// sample index of 500 000 samples) beside `ffprobe -show_format`; prints
// both throughputs, both open times and their ratios.
//
//   bench_mp4_demux [--minutes N] [benchmark options]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "demux_peer.h"

namespace {

demux_peer::Subject g_subject;
demux_peer::Tally g_library, g_ffmpeg, g_libraryOpen, g_ffprobeOpen;
int g_opens = 0, g_probes = 0;

void BM_LibraryOpensTwoHours(benchmark::State& state) {
  demux_peer::timed(state, g_libraryOpen, g_subject.fileBytes, "open failed", [&] {
    int code = 0;
    auto s = g_subject.adapter->open(g_subject.plugin->entry(), g_subject.file, &code);
    if (!s) return false;
    s->close();
    ++g_opens;
    return true;
  });
}

void BM_FfprobeOpensTwoHours(benchmark::State& state) {
  std::string cmd = "ffprobe -v error -show_format '" + g_subject.file + "' >/dev/null 2>&1";
  demux_peer::timed(state, g_ffprobeOpen, g_subject.fileBytes, "ffprobe failed", [&] {
    ++g_probes;
    return std::system(cmd.c_str()) == 0;
  });
}

}  // namespace

int main(int argc, char** argv) {
  int minutes = demux_peer::takeIntOption(argc, argv, "--minutes", 120);
  char dir[] = "/tmp/mp4-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  std::string clip = std::string(dir) + "/clip.mp4";
  g_subject.file = std::string(dir) + "/long.mp4";
  std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
                     "sine=frequency=440:sample_rate=48000 -t 10 -c:v libx264 -preset veryfast -b:v 300k "
                     "-g 50 -bf 2 -pix_fmt yuv420p -c:a aac -b:a 64k '" + clip + "' && "
                     "ffmpeg -nostdin -v error -y -stream_loop " + std::to_string(minutes * 6 - 1) +
                     " -i '" + clip + "' -c copy '" + g_subject.file + "'";
  if (!demux_peer::generate(g_subject, make)) return 1;
  if (!demux_peer::loadDemuxer(MP4_PLUGIN_PATH, g_subject)) return 1;
  g_subject.readEveryFrame();  // warms the page cache

  demux_peer::registerReadAndCopy(g_subject, g_library, g_ffmpeg, "-map 0 ");
  benchmark::RegisterBenchmark("BM_LibraryOpensTwoHours", BM_LibraryOpensTwoHours)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("BM_FfprobeOpensTwoHours", BM_FfprobeOpensTwoHours)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  demux_peer::runBenchmarks(argc, argv);
  printf("file: %.1f MB, %d minutes\n", double(g_subject.fileBytes) / 1e6, minutes);
  demux_peer::printRatio("libkvrmp4dmx", "ffmpeg -map 0 -c copy", g_library, g_ffmpeg);
  double lib = g_opens ? g_libraryOpen.seconds / g_opens * 1e3 : 0;
  double probe = g_probes ? g_ffprobeOpen.seconds / g_probes * 1e3 : 0;
  printf("open: libkvrmp4dmx %.1f ms   ffprobe -show_format %.1f ms   ratio: %.2f\n", lib, probe,
         lib > 0 ? probe / lib : 0);
  unlink(g_subject.file.c_str());
  unlink(clip.c_str());
  rmdir(dir);
  return 0;
}
