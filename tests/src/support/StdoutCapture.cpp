#include "StdoutCapture.h"

#include <unistd.h>

#include <cstdlib>

namespace holvik_test {

StreamCapture::StreamCapture(FILE* stream)
    : m_stream(stream)
{
    fflush(m_stream);
    m_file = tmpfile();
    if (!m_file)
        abort();
    m_savedFd = dup(fileno(m_stream));
    dup2(fileno(m_file), fileno(m_stream));
}

StreamCapture::~StreamCapture()
{
    take();
}

std::string StreamCapture::take()
{
    if (m_done)
        return m_text;
    m_done = true;
    fflush(m_stream);
    dup2(m_savedFd, fileno(m_stream));
    close(m_savedFd);
    rewind(m_file);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, m_file)) > 0)
        m_text.append(buf, n);
    fclose(m_file);
    return m_text;
}

}  // namespace holvik_test
