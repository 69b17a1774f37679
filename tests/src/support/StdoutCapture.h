#pragma once
// Captures what the process writes to standard output (printf and write(1)),
// or to standard error, between construction and take().

#include <cstdio>
#include <string>

namespace holvik_test {

class StreamCapture {
public:
    // `stream` is stdout or stderr.
    explicit StreamCapture(FILE* stream);
    ~StreamCapture();
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    // Ends the capture (restoring the stream) and returns what was written.
    std::string take();

private:
    FILE* m_stream = nullptr;
    int m_savedFd = -1;
    FILE* m_file = nullptr;
    std::string m_text;
    bool m_done = false;
};

class StdoutCapture : public StreamCapture {
public:
    StdoutCapture() : StreamCapture(stdout) {}
};

class StderrCapture : public StreamCapture {
public:
    StderrCapture() : StreamCapture(stderr) {}
};

}  // namespace holvik_test
