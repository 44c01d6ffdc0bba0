#pragma once
// Waiting for a condition in tests, always with a bound; platform-free.

#include <chrono>
#include <thread>

namespace testsupport {

// Checks `done` every `step` until it holds or `timeout` has passed (it is
// checked once more then); whether it held.
template <class Predicate>
bool WaitUntil(Predicate&& done, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step = std::chrono::milliseconds(50)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return done();
        std::this_thread::sleep_for(step);
    }
}

}  // namespace testsupport
