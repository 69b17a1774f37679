#ifndef HOLVIK_TUNER_INTERNAL_H
#define HOLVIK_TUNER_INTERNAL_H
// Shared inside the tuner library only.

#include "tuner_syscalls.h"

namespace tuner {

// The system calls in use (the real ones unless a test replaced them).
const tuner_syscalls& sys();

// Reads the twelve signal values and level A of stream `tsIndex`. Returns 0,
// or -1 with `out` and `level` untouched. Unlike GetSignalStrength, a level
// of exactly -1.0 cannot be mistaken for a failure here.
int readSignal(int tsIndex, int out[12], float* level);

} // namespace tuner

#endif
