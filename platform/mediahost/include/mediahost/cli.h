#ifndef MEDIAHOST_CLI_H
#define MEDIAHOST_CLI_H

#include <iosfwd>

namespace mediahost {

// The `mediahost` command:
//   mediahost info LIB FILE
//   mediahost dump LIB FILE [--kind K] [--frames N] [--seek MS[:FLAGS]]...
//   mediahost decode LIB FILE.wav [--chunk BYTES]
// with the host options --memory (serve FILE from memory), --fail-alloc N,
// --fail-seek N, --short-read BYTES and --stats (allocator figures on the
// error stream). Exit status: 0 done, 1 usage or load error, 2 the library
// refused or failed (its code is printed), 3 leak or convention violation.
int runCli(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace mediahost

#endif
