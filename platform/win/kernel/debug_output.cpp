// The debugger channel: an in-memory sink (the latest kSinkLimit bytes) and, when ORBEL_DEBUG_OUTPUT=1,
// stderr. The lock is held across the copy to stderr, which may wait; a forked child finds it free.
#include "platform/win/kernel/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "platform/win/kernel/fork_safe_lock.h"
#include "platform/win/kernel/kernel_test_controls.h"

namespace plat {
namespace {

constexpr size_t kSinkLimit = 4u << 20;  // bytes kept; older text is dropped in halves

struct DebugOutputState {
  std::mutex mutex;
  std::string sink;
};

DebugOutputState& DebugOutput();

// A child forked while another thread was in here keeps none of the text: the holder may have left the
// sink half-changed, so a new one is begun (the old one's memory is left as it is).
void BeginSinkAnewInChild() { new (&DebugOutput().sink) std::string; }

DebugOutputState& DebugOutput() {
  static DebugOutputState* state = [] {
    auto* made = new DebugOutputState;  // usable during exit
    KeepFreeInForkedChild(&made->mutex, &BeginSinkAnewInChild);
    return made;
  }();
  return *state;
}

bool MirrorToStderr() {
  const char* value = std::getenv("ORBEL_DEBUG_OUTPUT");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace

void OutputDebugStringA(const char* text) {
  if (text == nullptr) return;
  const size_t length = std::strlen(text);
  DebugOutputState& s = DebugOutput();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (length >= kSinkLimit) {
    s.sink.assign(text + length - kSinkLimit / 2, kSinkLimit / 2);
  } else {
    if (s.sink.size() + length > kSinkLimit) s.sink.erase(0, s.sink.size() / 2 + length);
    s.sink.append(text, length);
  }
  if (MirrorToStderr()) {
    std::fwrite(text, 1, length, stderr);
    std::fflush(stderr);
  }
}

namespace test {

std::string DebugOutputText() {
  DebugOutputState& s = DebugOutput();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.sink;
}

void ClearDebugOutput() {
  DebugOutputState& s = DebugOutput();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.sink.clear();
}

}  // namespace test
}  // namespace plat
