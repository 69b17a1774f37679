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
    const std::vector<std::string> seeds = {
        std::string("\x00prog\x00--ID=7", 12),
        std::string("\x00--id=a=b\x00--ID=", 15),
        std::string("\x01" "998"),
        std::string("\x01" "-5"),
        std::string("\x01"),
        std::string("\x02" "0a ff  10 zz 123456789"),
        std::string("\x03\x52\xb0\x00\x00", 5),
        std::string("\x03\xff\xff\xff\x7f", 5),
        std::string("\x03\x00\x00\x00\x80", 5),
    };
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
