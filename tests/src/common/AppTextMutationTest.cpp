// Bounded mutation run over the parsed texts (the fuzz target's entry), so
// that the sanitizer build checks them on every CI run.

#include "AppTextInputs.h"
#include "StdoutCapture.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

std::string printable(const std::string& bytes)
{
    std::string out;
    char hex[8];
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

}  // namespace

TEST(AppTextInputs, MutatedSeedsKeepEveryInvariantAndReachBothOutcomesOfEachKind)
{
    holvik_test::TestDevRoot root;
    const std::vector<std::string> seeds = appTextSeeds();
    std::mt19937 rng(20241207);
    int taken[4] = {0, 0, 0, 0};
    int refused[4] = {0, 0, 0, 0};
    std::vector<std::string> broken;
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
        const AppTextOutcome out =
            checkAppTextInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        if (!out.broken.empty() && broken.size() < 10)
            broken.push_back(out.broken + " <- \"" + printable(input) + "\"");
        if (out.kind >= 0)
            (out.taken ? taken : refused)[out.kind] += 1;
    }
    quiet.take();
    EXPECT_TRUE(broken.empty()) << testing::PrintToString(broken);
    // The mutations must reach both the accepted and the refused path of
    // every kind, or the run proves little about either.
    const char* kinds[] = {"arguments", "log index", "byte text", "date"};
    for (int k = 0; k < 4; ++k) {
        EXPECT_GT(taken[k], 0) << kinds[k];
        EXPECT_GT(refused[k], 0) << kinds[k];
    }
}
