// Reads a large generated transport stream frame by frame through
// libkvrtsdmx (from disk through the media host's stdio callbacks, page
// cache warm after the first pass) and copies it with
// `ffmpeg -i f -map 0 -c copy -f null -`; prints both throughputs and their
// ratio, then the instructions per MB that the library's entry and what it
// calls execute under callgrind (a figure that does not depend on the load
// of the machine).
//
//   bench_ts_demux [--mb N] [benchmark options]
//   bench_ts_demux --read-only FILE     (what callgrind runs)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "demux_peer.h"

namespace {

demux_peer::Subject g_subject;
demux_peer::Tally g_library, g_ffmpeg;

// Instructions executed inside KVR_TS_DMX (and what it calls) per MB read,
// measured on the first `mb` megabytes of the file.
double instructionsPerMb(const std::string& self, const std::string& dir, size_t mb) {
  std::string part = dir + "/part.ts";
  std::string out = dir + "/callgrind.out";
  // Whatever fails below, neither the cut nor the profile stays behind.
  struct Cleanup {
    const std::string& a; const std::string& b;
    ~Cleanup() { unlink(a.c_str()); unlink(b.c_str()); }
  } cleanup{part, out};
  std::string cut = "head -c " + std::to_string(mb * 1000000) + " '" + g_subject.file + "' > '" + part + "'";
  if (std::system(cut.c_str()) != 0) return 0;
  std::string cmd = "valgrind --tool=callgrind --collect-atstart=no --toggle-collect=KVR_TS_DMX "
                    "--callgrind-out-file='" + out + "' '" + self + "' --read-only '" + part +
                    "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return 0;
  std::ifstream in(out);
  std::string line;
  double total = 0;
  while (std::getline(in, line))
    if (line.compare(0, 8, "summary:") == 0 || line.compare(0, 7, "totals:") == 0)
      total = atof(line.substr(line.find(':') + 1).c_str());
  return total / double(mb);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--read-only") == 0) {
    if (!demux_peer::loadDemuxer(TS_PLUGIN_PATH, g_subject)) return 1;
    return g_subject.readEveryFrame(argv[2]) > 0 ? 0 : 1;
  }
  int mb = demux_peer::takeIntOption(argc, argv, "--mb", 300);
  char dir[] = "/tmp/ts-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  // The folder and the generated file go on every way out.
  struct RemoveDir {
    const char* path;
    ~RemoveDir() { std::error_code ec; std::filesystem::remove_all(path, ec); }
  } removeDir{dir};
  g_subject.file = std::string(dir) + "/big.ts";
  if (!demux_peer::generate(g_subject, "python3 '" MAKE_TS "' '" + std::string(dir) + "' --big " +
                                           std::to_string(mb)))
    return 1;
  if (!demux_peer::loadDemuxer(TS_PLUGIN_PATH, g_subject)) return 1;
  g_subject.readEveryFrame();  // warms the page cache

  demux_peer::registerReadAndCopy(g_subject, g_library, g_ffmpeg, "-map 0 ");
  demux_peer::runBenchmarks(argc, argv);
  printf("file: %.1f MB\n", double(g_subject.fileBytes) / 1e6);
  demux_peer::printRatio("libkvrtsdmx", "ffmpeg -map 0 -c copy", g_library, g_ffmpeg);
  double ipm = instructionsPerMb(argv[0], dir, 20);
  if (ipm > 0) printf("libkvrtsdmx: %.0f instructions per MB (callgrind, first 20 MB)\n", ipm);
  else printf("callgrind figure not available (valgrind failed)\n");
  return 0;
}
