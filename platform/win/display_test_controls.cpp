// Named-call failures and the call record of the display stand-ins.
#include "platform/win/display_test_controls.h"

#include <mutex>

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
};

DisplayTestState& State() {
  static DisplayTestState state;
  return state;
}

}  // namespace

void ResetDisplay() {
  ResetDisplaySettings();
  DisplayTestState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.faults.clear();
  s.calls.clear();
}

void FailDisplayCall(const std::string& call, int times, HRESULT result, int after) {
  if (times == 0) return;
  DisplayTestState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.faults.push_back(Fault{call, times, result, after});
}

bool TakeDisplayFault(const char* call, HRESULT* result) {
  DisplayTestState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  for (auto it = s.faults.begin(); it != s.faults.end(); ++it) {
    if (it->call != call) continue;
    if (it->after > 0) {
      --it->after;
      continue;
    }
    if (result != nullptr) *result = it->result;
    if (it->times > 0 && --it->times == 0) s.faults.erase(it);
    return true;
  }
  return false;
}

std::vector<DisplayCall> DisplayCalls() {
  DisplayTestState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.calls;
}

int DisplayCallCount(const std::string& call) {
  DisplayTestState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  int n = 0;
  for (const DisplayCall& c : s.calls) n += c.call == call ? 1 : 0;
  return n;
}

void RecordDisplayCall(const char* call, DWORD flags) {
  DisplayTestState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  // A long run (a game loop under test) must not grow without bound: keep the latest calls.
  constexpr size_t kKept = 1 << 16;
  if (s.calls.size() >= kKept) s.calls.erase(s.calls.begin(), s.calls.begin() + kKept / 2);
  s.calls.push_back(DisplayCall{call, flags});
}

}  // namespace plat::test
