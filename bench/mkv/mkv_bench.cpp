// Reads a generated two-hour Matroska file (H.264 and AAC, with Cues) frame
// by frame through libkvrmkvdmx, from disk through the media host's stdio
// callbacks with the page cache warm, and copies it with
// `ffmpeg -i f -map 0 -c copy -f null -`; prints both throughputs and their
// ratio. A third benchmark times the open (and close) of the file alone:
// header, first cluster, Cues and the last clusters.
//
//   bench_mkv_demux [--loops N] [benchmark options]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "demux_peer.h"

namespace {

demux_peer::Subject g_subject;
demux_peer::Tally g_library, g_ffmpeg;

void BM_OpenTwoHourFile(benchmark::State& state) {
  for (auto _ : state) {
    int code = 0;
    auto session = g_subject.adapter->open(g_subject.plugin->entry(), g_subject.file, &code);
    if (!session) {
      state.SkipWithError("open failed");
      return;
    }
    session->close();
  }
}

}  // namespace

int main(int argc, char** argv) {
  int loops = demux_peer::takeIntOption(argc, argv, "--loops", 240);  // of a 30 s source: two hours
  char dir[] = "/tmp/mkv-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string src = std::string(dir) + "/src.mkv";
  g_subject.file = std::string(dir) + "/big.mkv";
  const std::string ff = "ffmpeg -nostdin -v error -y ";
  if (std::system((ff + "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 "
                        "-t 30 -c:v libx264 -preset ultrafast -g 50 -b:v 200k -c:a aac -b:a 64k '" + src + "'")
                      .c_str()) != 0 ||
      !demux_peer::generate(g_subject, ff + "-stream_loop " + std::to_string(loops - 1) + " -i '" + src +
                                           "' -map 0 -c copy '" + g_subject.file + "'"))
    return 1;
  if (!demux_peer::loadDemuxer(MKV_PLUGIN_PATH, g_subject)) return 1;
  g_subject.readEveryFrame();  // warms the page cache

  demux_peer::registerReadAndCopy(g_subject, g_library, g_ffmpeg, "-map 0 ");
  benchmark::RegisterBenchmark("BM_OpenTwoHourFile", BM_OpenTwoHourFile)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  demux_peer::runBenchmarks(argc, argv);
  printf("file: %.1f MB, %d s\n", double(g_subject.fileBytes) / 1e6, loops * 30);
  demux_peer::printRatio("libkvrmkvdmx", "ffmpeg -map 0 -c copy", g_library, g_ffmpeg);
  unlink(src.c_str());
  unlink(g_subject.file.c_str());
  rmdir(dir);
  return 0;
}
