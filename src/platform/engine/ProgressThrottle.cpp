#include "platform/engine/ProgressThrottle.h"

bool ProgressThrottle::shouldReport()
{
    const auto now = std::chrono::steady_clock::now();
    if (m_reported && now - m_last < m_interval)
        return false;
    m_reported = true;
    m_last = now;
    return true;
}
