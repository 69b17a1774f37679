// Reads a large generated Ogg file (Theora + Vorbis) frame by frame through
// libkvroggdmx (from disk through the media host's stdio callbacks, page
// cache warm after the first pass) and copies it with
// `ffmpeg -i f -c copy -f null -`; prints both throughputs and their ratio.
//
//   bench_ogg_demux [--mb N] [benchmark options]
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
  char dir[] = "/tmp/ogg-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  g_subject.file = std::string(dir) + "/big.ogg";
  if (!demux_peer::generate(g_subject, "sh '" MAKE_BIG_OGG "' '" + g_subject.file + "' " + std::to_string(mb)))
    return 1;
  // Every stream's reader uses the largest cache the open record allows
  // (64 KiB), as a host streaming large files would configure it (the
  // default is 4 KiB).
  if (!getenv("MEDIAHOST_OGG_CACHE")) setenv("MEDIAHOST_OGG_CACHE", "65536", 1);
  if (!demux_peer::loadDemuxer(OGG_PLUGIN_PATH, g_subject)) return 1;
  g_subject.readEveryFrame();  // warms the page cache

  demux_peer::registerReadAndCopy(g_subject, g_library, g_ffmpeg, "");
  demux_peer::runBenchmarks(argc, argv);
  printf("file: %.1f MB\n", double(g_subject.fileBytes) / 1e6);
  demux_peer::printRatio("libkvroggdmx", "ffmpeg -c copy", g_library, g_ffmpeg);
  unlink(g_subject.file.c_str());
  rmdir(dir);
  return 0;
}
