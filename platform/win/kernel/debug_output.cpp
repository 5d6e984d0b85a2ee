// The debugger channel: an in-memory sink (the latest kSinkLimit bytes) and, when ORBEL_DEBUG_OUTPUT=1,
// stderr.
#include "platform/win/kernel/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/win/kernel/kernel_test_controls.h"

namespace plat {
namespace {

constexpr size_t kSinkLimit = 4u << 20;  // bytes kept; older text is dropped in halves

struct DebugOutputState {
  std::mutex mutex;
  std::string sink;
};

DebugOutputState& DebugOutput() {
  static DebugOutputState* state = new DebugOutputState;  // usable during exit
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
