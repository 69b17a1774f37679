#pragma once
// Small helpers shared by the tests of the settings store, the factory record
// and the engine.

#include <gtest/gtest.h>

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace appcore_test {

// The value text of `key` in an INI file as it lies on disk (top level, that
// is the [General] section), or nothing when the key is absent.
std::optional<std::string> iniValue(const std::string& path, const std::string& key);

// Number of recorded command lines equal to `command`.
int countOf(const std::vector<std::string>& lines, const std::string& command);

// The process singletons load their files once, so every test that builds
// them must run in a process of its own (ctest runs each test separately).
// Fails the test when an earlier test of the same process got there first.
void claimSingletons();

}  // namespace appcore_test
