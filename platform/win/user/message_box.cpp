// MessageBoxA: a test's fixed answer when set, else the host's (a real box or the environment's
// answer). Every call is recorded for tests.
#include "platform/win/user/message_box.h"

#include <mutex>
#include <vector>

#include "platform/win/user/window_state.h"
#include "platform/win/user/window_test_controls.h"

namespace plat {
namespace winstate {
namespace {

struct MessageBoxState {
  std::mutex mutex;
  int fixedAnswer = 0;  // 0: the host answers
  std::vector<test::MessageBoxCall> calls;
};

MessageBoxState& Boxes() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* state = new MessageBoxState;
  return *state;
}

}  // namespace

void ResetMessageBox() {
  MessageBoxState& b = Boxes();
  std::lock_guard<std::mutex> lock(b.mutex);
  b.fixedAnswer = 0;
  b.calls.clear();
}

}  // namespace winstate

using namespace winstate;

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "Error";
  MessageBoxState& b = Boxes();
  int answer;
  {
    std::lock_guard<std::mutex> lock(b.mutex);
    answer = b.fixedAnswer;
  }
  if (answer == 0) {
    // The host's box is modal and may take long: the window lock is not held meanwhile.
    host::Host* host;
    {
      std::lock_guard<std::mutex> lock(State().mutex);
      host = &HostLocked();
      if (owner != nullptr && !LookupLocked(owner)) owner = nullptr;
    }
    answer = host->ShowMessageBox(owner, text, caption, type);
  }
  std::lock_guard<std::mutex> lock(b.mutex);
  b.calls.push_back(test::MessageBoxCall{text, caption, type, answer});
  return answer;
}

namespace test {

void SetMessageBoxAnswer(int answer) {
  std::lock_guard<std::mutex> lock(Boxes().mutex);
  Boxes().fixedAnswer = answer;
}

std::vector<MessageBoxCall> MessageBoxCalls() {
  std::lock_guard<std::mutex> lock(Boxes().mutex);
  return Boxes().calls;
}

}  // namespace test
}  // namespace plat
