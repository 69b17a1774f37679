#ifndef MEDIAHOST_EXERCISE_H
#define MEDIAHOST_EXERCISE_H
// Drives a plug-in over one in-memory input the way a fuzz target needs:
// open, list, read a bounded number of frames, a few seeks, close; with
// faults (failed allocation, short reads, failed seeks) chosen from the
// input's hash so every input is reproducible. Aborts the process on a leak,
// a file left open, or a convention violation, so that the fuzzer or the
// mutation driver reports it.

#include <cstddef>
#include <cstdint>

#include "mediahost/adapter.h"

namespace mediahost {

struct ExerciseLimits {
  int maxFrames = 2000;  // per read run
  bool injectFaults = true;
  // Open, list the streams and close: no frame read, no seek. Only the
  // hollow harness of the fuzz reach test asks for this, to show that a
  // target's reach list needs the reading.
  bool openOnly = false;
};

// Returns the open result (kOk or the library's negative code).
int exerciseDemux(const DemuxAdapter& adapter, KvrEntryFn entry, const uint8_t* data,
                  size_t size, const ExerciseLimits& limits = ExerciseLimits());

// The input is the body of a WAV file (format and data chunks). Returns the
// open result.
int exerciseDecoder(const DecoderAdapter& adapter, KvrEntryFn entry, const uint8_t* data,
                    size_t size, const ExerciseLimits& limits = ExerciseLimits());

}  // namespace mediahost

#endif
