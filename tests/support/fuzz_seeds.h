#pragma once
// Seeds of a libFuzzer target whose inputs its tests build in code: run with
// HOLVIK_FUZZ_WRITE_SEEDS=DIR, the target writes them there as files and
// ends (scripts/fuzz.sh does this before it fuzzes the target). Call it from
// LLVMFuzzerInitialize.

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace holvik_fuzz {

inline void writeSeedsIfAsked(const std::vector<std::string>& seeds)
{
    const char* dir = std::getenv("HOLVIK_FUZZ_WRITE_SEEDS");
    if (!dir || !*dir)
        return;
    mkdir(dir, 0755);
    int written = 0;
    for (size_t i = 0; i < seeds.size(); ++i) {
        const std::string path = std::string(dir) + "/seed-" + std::to_string(i);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f && std::fwrite(seeds[i].data(), 1, seeds[i].size(), f) == seeds[i].size())
            ++written;
        if (f)
            std::fclose(f);
    }
    std::printf("%d seeds written to %s\n", written, dir);
    std::exit(written == static_cast<int>(seeds.size()) ? 0 : 1);
}

}  // namespace holvik_fuzz
