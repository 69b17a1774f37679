// Bounded mutation run over the parsed texts (the fuzz target's entry), so
// that the sanitizer build checks them on every CI run.

#include "AppTextInputs.h"
#include "StdoutCapture.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

TEST(AppTextInputs, SurviveMutatedSeeds)
{
    holvik_test::TestDevRoot root;
    const std::vector<std::string> seeds = appTextSeeds();
    std::mt19937 rng(20241207);
    holvik_test::StdoutCapture quiet;
    for (int round = 0; round < 3000; ++round) {
        std::string input = seeds[round % seeds.size()];
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = input.empty() ? 0 : rng() % input.size();
            switch (rng() % 4) {
            case 0:
                if (!input.empty() && at > 0)
                    input[at] = static_cast<char>(rng());
                break;
            case 1:
                input.insert(at, 1, static_cast<char>(rng()));
                break;
            case 2:
                if (at > 0 && at < input.size())
                    input.erase(at, 1);
                break;
            default:
                input.append(rng() % 8, static_cast<char>("0123456789=- /x"[rng() % 15]));
                break;
            }
        }
        feedAppTextInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    }
    quiet.take();
    SUCCEED();
}
