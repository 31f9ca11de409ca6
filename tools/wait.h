// Waiting on what happens, for the tools, the probes and the hosts alike: a condition asked again
// until it holds or a time limit passes.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Milliseconds from `start` until now.
inline double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Polls `condition` every `pollMs` until it holds (true) or `timeoutMs` have passed (false).
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs, int pollMs = 50) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        SleepMs(pollMs);
    }
    return true;
}
