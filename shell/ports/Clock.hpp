#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace corvane::shell {

using TimerId = std::uint64_t;

// Main-loop time: tasks run on the main thread.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point now() = 0;
    virtual TimerId schedule(std::chrono::milliseconds delay, std::function<void()> task) = 0;
    virtual void cancel(TimerId timer) = 0;
};

} // namespace corvane::shell
