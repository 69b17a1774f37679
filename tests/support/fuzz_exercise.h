#pragma once
// The exerciser's limits of a container fuzz target. Built with
// HOLVIK_FUZZ_OPEN_ONLY they ask for open and close only: the hollow variant
// that the fuzz-tooling reach test builds of each container target, whose
// coverage must fail the target's reach list (the list has to name the
// reading: frames, chunks, indexes, sample tables).

#include "mediahost/exercise.h"

namespace holvik_fuzz {

inline mediahost::ExerciseLimits exerciseLimits(int maxFrames = mediahost::ExerciseLimits().maxFrames)
{
    mediahost::ExerciseLimits limits;
    limits.maxFrames = maxFrames;
#ifdef HOLVIK_FUZZ_OPEN_ONLY
    limits.openOnly = true;
#endif
    return limits;
}

}  // namespace holvik_fuzz
