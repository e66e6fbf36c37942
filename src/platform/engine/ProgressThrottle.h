#pragma once

#include <chrono>

// Lets progress through at most once per interval, so a fast run does not
// flood the main thread with updates nobody can see.
class ProgressThrottle {
public:
    explicit ProgressThrottle(std::chrono::milliseconds interval = std::chrono::milliseconds(20))
        : m_interval(interval) {}

    // True when enough time has passed since the last true.
    bool shouldReport();

private:
    std::chrono::steady_clock::duration m_interval;
    std::chrono::steady_clock::time_point m_last;
    bool m_reported = false;
};
