// The tests' one wait by real time.
#include "wait_until.h"

namespace orbel::testing {

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound, std::chrono::microseconds nap) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    if (nap > kYieldOnly) std::this_thread::sleep_for(nap);
    else std::this_thread::yield();
  }
}

}  // namespace orbel::testing
