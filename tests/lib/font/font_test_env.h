#pragma once
// The test font for a whole test program: installed in a fresh folder that
// OZB_FONT_PATH names. The renderer composes its font path once per process,
// so the folder must outlive every test.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "font_test_support.h"

namespace fonttest {

class FontDirectory : public ::testing::Environment {
public:
    void SetUp() override
    {
        dir_ = std::make_unique<TempDir>();
        ASSERT_TRUE(installFont(dir_->path()));
        setenv("OZB_FONT_PATH", dir_->path().c_str(), 1);
    }
    void TearDown() override { dir_.reset(); }

private:
    std::unique_ptr<TempDir> dir_;
};

}  // namespace fonttest
