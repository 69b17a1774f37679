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
#include <unistd.h>

#include <cstdio>
#include <string>

#include "demux_peer.h"

namespace {

demux_peer::Subject g_subject;
demux_peer::Tally g_direct, g_twoReaders, g_ffmpeg;

// The media host picks the library's mode from the environment at each open.
void setMode(const char* mode) { setenv("MEDIAHOST_MPG_MODE", mode, 1); }

void BM_LibraryDirectMode(benchmark::State& state) {
  setMode("0");
  demux_peer::libraryReadsEveryFrame(state, g_direct, g_subject);
}

void BM_LibraryTwoReaderMode(benchmark::State& state) {
  setMode("1");
  demux_peer::libraryReadsEveryFrame(state, g_twoReaders, g_subject);
}

void BM_FfmpegStreamCopy(benchmark::State& state) {
  demux_peer::ffmpegStreamCopy(state, g_ffmpeg, g_subject.file, g_subject.fileBytes, "-map 0 ");
}

BENCHMARK(BM_LibraryDirectMode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibraryTwoReaderMode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FfmpegStreamCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  int mb = demux_peer::takeIntOption(argc, argv, "--mb", 150);
  char dir[] = "/tmp/mpg-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  g_subject.file = std::string(dir) + "/big.vob";
  if (!demux_peer::generate(g_subject, "python3 '" MAKE_MPG "' '" + std::string(dir) + "' --big " +
                                           std::to_string(mb)))
    return 1;
  if (!demux_peer::loadDemuxer(MPG_PLUGIN_PATH, g_subject)) return 1;
  // The library's end-of-file diagnostic goes to standard output.
  setMode("0");
  g_subject.readEveryFrame();  // warms the page cache

  demux_peer::runBenchmarks(argc, argv);
  printf("file: %.1f MB\n", double(g_subject.fileBytes) / 1e6);
  demux_peer::printRatio("libkvrmpgdmx direct", "ffmpeg -map 0 -c copy", g_direct, g_ffmpeg);
  demux_peer::printRatio("libkvrmpgdmx two readers", "ffmpeg -map 0 -c copy", g_twoReaders, g_ffmpeg);
  unlink(g_subject.file.c_str());
  rmdir(dir);
  return 0;
}
