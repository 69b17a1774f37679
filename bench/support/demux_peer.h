#pragma once
// A demuxer library measured beside ffmpeg's stream copy of the same file in
// one run: the time of each side is added to a tally, and the two tallies give
// the throughputs and their ratio.

#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mediahost/adapter.h"
#include "mediahost/plugin.h"

namespace demux_peer {

struct Tally {
  double bytes = 0;
  double seconds = 0;
  double mbPerSecond() const { return seconds > 0 ? bytes / seconds / 1e6 : 0; }
};

// Every frame of `file` through the library; the number of frames, 0 when the
// open fails.
inline size_t readEveryFrame(const mediahost::DemuxAdapter& adapter, mediahost::Plugin& plugin,
                             const std::string& file) {
  int code = 0;
  auto session = adapter.open(plugin.entry(), file, &code);
  if (!session) return 0;
  mediahost::Frame f;
  size_t frames = 0;
  while (session->next("", &f) == mediahost::kOk) {
    if (f.size) benchmark::DoNotOptimize(f.data[f.size - 1]);
    ++frames;
  }
  session->close();
  return frames;
}

// Runs `body` once per benchmark iteration, adding its time and `fileBytes` to
// `tally`; `body` returns false to end the benchmark with `error`.
template <class Body>
void timed(benchmark::State& state, Tally& tally, size_t fileBytes, const char* error, Body body) {
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!body()) {
      state.SkipWithError(error);
      return;
    }
    tally.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    tally.bytes += double(fileBytes);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fileBytes));
}

// ffmpeg's stream copy of `file` to the null muxer; `args` go before "-c copy".
inline void ffmpegStreamCopy(benchmark::State& state, Tally& tally, const std::string& file,
                             size_t fileBytes, const std::string& args) {
  std::string cmd = "ffmpeg -nostdin -v error -i '" + file + "' " + args + "-c copy -f null - >/dev/null 2>&1";
  timed(state, tally, fileBytes, "ffmpeg failed", [&] { return std::system(cmd.c_str()) == 0; });
}

// The file a benchmark reads and the demuxer library that reads it.
struct Subject {
  std::string file;
  size_t fileBytes = 0;
  mediahost::Plugin* plugin = nullptr;  // kept loaded until the process ends
  const mediahost::DemuxAdapter* adapter = nullptr;

  size_t readEveryFrame(const std::string& path) const {
    return demux_peer::readEveryFrame(*adapter, *plugin, path);
  }
  size_t readEveryFrame() const { return readEveryFrame(file); }
};

// Loads the demuxer at `path` into `subject`; false with a message when it
// cannot be loaded or has no demux adapter.
inline bool loadDemuxer(const char* path, Subject& subject) {
  std::string error;
  auto plugin = mediahost::Plugin::load(path, &error);
  if (!plugin || !(subject.adapter = mediahost::findDemuxAdapter(*plugin))) {
    fprintf(stderr, "cannot load the demuxer: %s\n", error.c_str());
    return false;
  }
  subject.plugin = plugin.release();
  return true;
}

// Takes `name N` out of the command line (so that the benchmark library does
// not see it) and returns N, or `fallback` when it is not there.
inline int takeIntOption(int& argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (strcmp(argv[i], name) == 0) {
      int value = atoi(argv[i + 1]);
      memmove(argv + i, argv + i + 2, sizeof(char*) * size_t(argc - i - 1));
      argc -= 2;
      return value;
    }
  return fallback;
}

// Runs the shell command `make` that writes `subject.file`, then records the
// file's size; false when either fails.
inline bool generate(Subject& subject, const std::string& make) {
  if (std::system(make.c_str()) != 0) return false;
  struct stat st;
  if (stat(subject.file.c_str(), &st) != 0) return false;
  subject.fileBytes = size_t(st.st_size);
  return true;
}

// Every frame of the subject's file through the library, once per iteration,
// with the number of frames as a counter.
inline void libraryReadsEveryFrame(benchmark::State& state, Tally& tally, const Subject& subject) {
  size_t frames = 0;
  timed(state, tally, subject.fileBytes, "open failed", [&] {
    frames = subject.readEveryFrame();
    return frames > 0;
  });
  state.counters["frames"] = double(frames);
}

// Registers the two benchmarks every demuxer has: the library reading every
// frame of the subject's file (timed into `library`) and ffmpeg's stream copy
// of it with `ffmpegArgs` (timed into `ffmpeg`). All three outlive the run.
inline void registerReadAndCopy(const Subject& subject, Tally& library, Tally& ffmpeg,
                                const std::string& ffmpegArgs) {
  benchmark::RegisterBenchmark("BM_LibraryReadsEveryFrame", [&subject, &library](benchmark::State& state) {
    libraryReadsEveryFrame(state, library, subject);
  })->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("BM_FfmpegStreamCopy", [&subject, &ffmpeg, ffmpegArgs](benchmark::State& state) {
    ffmpegStreamCopy(state, ffmpeg, subject.file, subject.fileBytes, ffmpegArgs);
  })->Unit(benchmark::kMillisecond)->UseRealTime();
}

// Runs the benchmarks the command line selects.
inline void runBenchmarks(int& argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}

inline void printRatio(const char* library, const char* peer, const Tally& lib, const Tally& ff) {
  printf("%s: %.1f MB/s   %s: %.1f MB/s   ratio: %.2f\n", library, lib.mbPerSecond(), peer, ff.mbPerSecond(),
         ff.mbPerSecond() > 0 ? lib.mbPerSecond() / ff.mbPerSecond() : 0);
}

}  // namespace demux_peer
