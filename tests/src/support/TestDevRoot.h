#pragma once
// A fresh development root for one test, prepared by the same setup script as
// ./run.sh (board directories, font, recording stand-ins for reboot, sync and
// amixer), and made current through HOLVIK_ROOT for the test's lifetime.
//
// It lies below the HOLVIK_ROOT the test command set (or the temporary
// directory) and is removed again at the end. When the stand-ins cannot be
// set up the test process aborts: it must never reach the commands of this
// machine.

#include <string>
#include <vector>

namespace holvik_test {

class TestDevRoot {
public:
    TestDevRoot();
    ~TestDevRoot();
    TestDevRoot(const TestDevRoot&) = delete;
    TestDevRoot& operator=(const TestDevRoot&) = delete;

    const std::string& root() const { return m_root; }
    // The board path `boardPath` inside this root.
    std::string path(const std::string& boardPath) const { return m_root + boardPath; }

    // Command lines that reached the recording stand-ins, in order.
    std::vector<std::string> recordedCommands() const;
    void clearRecordedCommands() const;

private:
    std::string m_root;
    std::string m_previous;
    bool m_hadPrevious = false;
    bool m_setBusAddress = false;
};

// Whole-file helpers for fixtures.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

}  // namespace holvik_test
