#pragma once
// Captures what the process writes to standard output (printf and write(1))
// between construction and take().

#include <cstdio>
#include <string>

namespace holvik_test {

class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Ends the capture (restoring standard output) and returns what was written.
    std::string take();

private:
    int m_savedFd = -1;
    FILE* m_file = nullptr;
    std::string m_text;
    bool m_done = false;
};

}  // namespace holvik_test
