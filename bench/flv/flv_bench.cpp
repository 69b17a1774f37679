// Reads a large generated FLV file (H.264 + AAC) frame by frame through
// libkvrflvdmx (from disk through the media host's stdio callbacks, page
// cache warm after the first pass) and copies it with
// `ffmpeg -i f -c copy -f null -`; prints both throughputs and their ratio.
//
//   bench_flv_demux [--mb N] [benchmark options]
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
  int mb = demux_peer::takeIntOption(argc, argv, "--mb", 200);
  char dir[] = "/tmp/flv-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  g_subject.file = std::string(dir) + "/big.flv";
  if (!demux_peer::generate(g_subject, "sh '" MAKE_BIG_FLV "' '" + g_subject.file + "' " + std::to_string(mb)))
    return 1;
  // The library reads through a 256 KiB cache, as a host streaming large
  // files would configure it (the open record's default is 4 KiB).
  if (!getenv("MEDIAHOST_FLV_CACHE")) setenv("MEDIAHOST_FLV_CACHE", "262144", 1);
  if (!demux_peer::loadDemuxer(FLV_PLUGIN_PATH, g_subject)) return 1;
  g_subject.readEveryFrame();  // warms the page cache

  demux_peer::registerReadAndCopy(g_subject, g_library, g_ffmpeg, "");
  demux_peer::runBenchmarks(argc, argv);
  printf("file: %.1f MB\n", double(g_subject.fileBytes) / 1e6);
  demux_peer::printRatio("libkvrflvdmx", "ffmpeg -c copy", g_library, g_ffmpeg);
  unlink(g_subject.file.c_str());
  rmdir(dir);
  return 0;
}
