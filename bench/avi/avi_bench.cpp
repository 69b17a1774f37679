// Reads a large ffmpeg-made AVI (MJPEG video and MP3 audio, idx1 index)
// frame by frame through libkvravidmx (from disk through the media host's
// stdio callbacks, page cache warm after the first pass) and copies it with
// `ffmpeg -i f -map 0 -c copy -f null -`; prints both throughputs and their
// ratio.
//
//   bench_avi_demux [--seconds N] [benchmark options]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "demux_peer.h"

namespace {

demux_peer::Subject g_subject;
demux_peer::Tally g_library, g_ffmpeg;

}  // namespace

int main(int argc, char** argv) {
  int seconds = demux_peer::takeIntOption(argc, argv, "--seconds", 240);
  char dir[] = "/tmp/avi-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  g_subject.file = std::string(dir) + "/big.avi";
  std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=640x360:rate=25 -f lavfi -i "
                     "sine=frequency=440:sample_rate=44100 -t " + std::to_string(seconds) +
                     " -c:v mjpeg -q:v 3 -c:a libmp3lame -b:a 128k '" + g_subject.file + "'";
  if (!demux_peer::generate(g_subject, make)) return 1;
  if (!demux_peer::loadDemuxer(AVI_PLUGIN_PATH, g_subject)) return 1;
  g_subject.readEveryFrame();  // warms the page cache

  demux_peer::registerReadAndCopy(g_subject, g_library, g_ffmpeg, "-map 0 ");
  demux_peer::runBenchmarks(argc, argv);
  printf("file: %.1f MB\n", double(g_subject.fileBytes) / 1e6);
  demux_peer::printRatio("libkvravidmx", "ffmpeg -map 0 -c copy", g_library, g_ffmpeg);
  unlink(g_subject.file.c_str());
  rmdir(dir);
  return 0;
}
