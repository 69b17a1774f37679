#include "StdoutCapture.h"

#include <unistd.h>

#include <cstdlib>

namespace holvik_test {

StdoutCapture::StdoutCapture()
{
    fflush(stdout);
    m_file = tmpfile();
    if (!m_file)
        abort();
    m_savedFd = dup(STDOUT_FILENO);
    dup2(fileno(m_file), STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture()
{
    take();
}

std::string StdoutCapture::take()
{
    if (m_done)
        return m_text;
    m_done = true;
    fflush(stdout);
    dup2(m_savedFd, STDOUT_FILENO);
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
