#ifndef HOLVIK_TESTS_TUNER_SCRIPT_NOTATION_H
#define HOLVIK_TESTS_TUNER_SCRIPT_NOTATION_H
// Expected register traffic written compactly and expanded to the lines of
// the simulated module's trace.
//
// A group starts with its target: "C4" the clock chip, "30" the
// demodulator, "CC" / "C8" a device behind RF path 0's gateway, "P3:CC" the
// same behind path 3's. Then, in order: "r=v" writes value v to register r,
// "r=v1,v2,..." several bytes at once, "?r" reads one byte of register r
// ("?r:2" two; on "CC" a pointer write and a read through "CD"), "@us" a
// wait. A group that starts with none of these is a trace line as it stands.

#include <string>
#include <vector>

std::vector<std::string> expandScript(const std::vector<std::string>& groups);

// The expected traffic of programming RF path `path` for channel index `n`.
std::vector<std::string> programmingGroups(int path, int n);

#endif
