#pragma once

#include <functional>

// Runs the block on the main thread's event loop, later, never inside this
// call. Safe from any thread.
void enterForeground(std::function<void()> block);
// Same, after a whole number of seconds.
void enterForegroundWithDelay(long long seconds, std::function<void()> block);
