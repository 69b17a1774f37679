#pragma once
// The text the application parses at start and from files it wrote itself:
// the "--ID=" argument, the log index file, hexadecimal byte texts and
// broadcast dates. One entry for the fuzz target and the mutation test; it
// checks the invariants that must hold for any input.
//
// Needs a development root (the index file is written there).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What one input came to: its kind (0 arguments, 1 log index file, 2 byte
// text, 3 broadcast date), whether it was taken (an id found, a stored log
// index continued, bytes read, an area named) and the first invariant it
// broke (empty when none).
struct AppTextOutcome {
    int kind = -1;
    bool taken = false;
    std::string broken;
};

AppTextOutcome checkAppTextInput(const uint8_t* data, size_t size);

// checkAppTextInput, aborting on a broken invariant (for the fuzzer).
void feedAppTextInput(const uint8_t* data, size_t size);

// One input of each kind (the mutation test's and the fuzz target's seeds).
std::vector<std::string> appTextSeeds();
