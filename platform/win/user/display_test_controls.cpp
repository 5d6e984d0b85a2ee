// Named-call failures and the call record of the display stand-ins.
#include "platform/win/user/display_test_controls.h"

#include <atomic>
#include <mutex>
#include <stdexcept>

namespace plat::test {
namespace {

struct Fault {
  std::string call;
  int times;  // -1: until reset
  HRESULT result;
  int after;  // calls of the name that still go through first
};

struct DisplayTestState {
  std::mutex mutex;
  std::vector<Fault> faults;
  std::vector<DisplayCall> calls;
  // Every display call asks both; read without the mutex, so a program with no test watching pays two
  // loads a call.
  std::atomic<bool> faultsArmed{false};  // `faults` is not empty
  std::atomic<bool> recording{false};    // a test asked for the call record
};

DisplayTestState& State() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* state = new DisplayTestState;
  return *state;
}

}  // namespace

void ResetDisplay() {
  ResetDisplaySettings();
  DisplayTestState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.faults.clear();
  s.faultsArmed = false;
  s.calls.clear();
  s.recording = false;
}

void FailDisplayCall(const std::string& call, int times, HRESULT result, int after) {
  if (times == 0) return;
  DisplayTestState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.faults.push_back(Fault{call, times, result, after});
  s.faultsArmed = true;
}

bool TakeDisplayFault(const char* call, HRESULT* result) {
  DisplayTestState& s = State();
  if (!s.faultsArmed.load(std::memory_order_relaxed)) return false;
  std::lock_guard<std::mutex> lock(s.mutex);
  for (auto it = s.faults.begin(); it != s.faults.end(); ++it) {
    if (it->call != call) continue;
    if (it->after > 0) {
      --it->after;
      continue;
    }
    if (result != nullptr) *result = it->result;
    if (it->times > 0 && --it->times == 0) s.faults.erase(it);
    s.faultsArmed = !s.faults.empty();
    return true;
  }
  return false;
}

void RecordDisplayCalls(bool on) { State().recording.store(on, std::memory_order_relaxed); }

namespace {

// A test that reads a record nobody kept would see no calls and could pass for the wrong reason.
void RequireDisplayRecord() {
  if (!State().recording.load(std::memory_order_relaxed)) {
    throw std::logic_error("the display call record is read but was not asked for (RecordDisplayCalls)");
  }
}

}  // namespace

std::vector<DisplayCall> DisplayCalls() {
  RequireDisplayRecord();
  DisplayTestState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.calls;
}

int DisplayCallCount(const std::string& call) {
  RequireDisplayRecord();
  DisplayTestState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  int n = 0;
  for (const DisplayCall& c : s.calls) n += c.call == call ? 1 : 0;
  return n;
}

void RecordDisplayCall(const char* call, DWORD flags) {
  DisplayTestState& s = State();
  if (!s.recording.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(s.mutex);
  // A long run (a game loop under test) must not grow without bound: keep the latest calls.
  constexpr size_t kKept = 1 << 16;
  if (s.calls.size() >= kKept) s.calls.erase(s.calls.begin(), s.calls.begin() + kKept / 2);
  s.calls.push_back(DisplayCall{call, flags});
}

}  // namespace plat::test
