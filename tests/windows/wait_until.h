#pragma once
// The one way Windows tests wait: for a condition, never for a fixed time.

#include <chrono>
#include <functional>
#include <thread>

namespace kv::test {

inline constexpr auto kPatience = std::chrono::seconds(20);

// Polls `condition` until it holds or `timeout` has passed; true when it held.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace kv::test
