// Engine side of the launcher link: the alive answers.

#include "ISDBtAppEngine.h"
#include "KelpAppLog.h"

#include <QTimer>

namespace {
// Answers after the first: at 500, 1000 and 1500 ms.
constexpr int kAliveRepeats = 2;
}  // namespace

void ISDBtAppEngine::AppRequestAlive()
{
    // A request during a series starts the series again.
    m_nAliveCount = 0;
    SendDBusResponseAlive();
    m_pAliveCheckTimer->start();
}

void ISDBtAppEngine::aliveCheckTimerHandler()
{
    SendDBusResponseAlive();
    if (m_nAliveCount < kAliveRepeats) {
        ++m_nAliveCount;
        m_pAliveCheckTimer->start();
    }
}
