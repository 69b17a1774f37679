// Reads a large generated APE file frame by frame through libkvrapedmx (from
// disk, through the media host's stdio callbacks) and copies it with
// `ffmpeg -i f -c copy -f null -`; prints both throughputs and their ratio.
//
//   bench_ape_demux [--frames N] [benchmark options]
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
  int frames = demux_peer::takeIntOption(argc, argv, "--frames", 1000);  // about 65 MB
  char dir[] = "/tmp/ape-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  g_subject.file = std::string(dir) + "/large.ape";
  std::string make = "python3 '" MAKE_APE "' '" + g_subject.file + "' --frames " + std::to_string(frames) +
                     " --frame-bytes 65000 --tag";
  if (!demux_peer::generate(g_subject, make)) return 1;
  if (!demux_peer::loadDemuxer(APE_PLUGIN_PATH, g_subject)) return 1;

  demux_peer::registerReadAndCopy(g_subject, g_library, g_ffmpeg, "");
  demux_peer::runBenchmarks(argc, argv);
  printf("file: %.1f MB, %d frames\n", double(g_subject.fileBytes) / 1e6, frames);
  demux_peer::printRatio("libkvrapedmx", "ffmpeg -c copy", g_library, g_ffmpeg);
  unlink(g_subject.file.c_str());
  rmdir(dir);
  return 0;
}
