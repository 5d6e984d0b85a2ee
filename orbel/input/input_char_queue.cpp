// The input character queue: a 1025-byte ring that keeps the two bytes of a double-byte character
// together on the way out, the intake rules of WM_CHAR and WM_KEYDOWN, and character counting.
// Depends on: the library's lead-byte test and character-set index.
#include "orbel/core/library_state.h"
#include "orbel/core/string_routines.h"
#include "orbel/input/input_system.h"
#include "platform/win/user/user_keys.h"

namespace orbel {

InputCharQueueState InputCharQueue = {};

namespace {

struct KeyControlCode {
  plat::UINT virtualKey;
  uint8_t code;
};

// Ended by the pair with virtual key 0.
constexpr KeyControlCode KeyToControlCodeTable[] = {
    {plat::VK_DELETE, 16}, {plat::VK_LEFT, 29}, {plat::VK_RIGHT, 28}, {plat::VK_UP, 30}, {plat::VK_DOWN, 31}, {0, 0},
};

int Advance(int index) { return index + 1 == kInputCharQueueSize ? 0 : index + 1; }
int StepBack(int index) { return index == 0 ? kInputCharQueueSize - 1 : index - 1; }

bool IsLead(uint8_t byte) {
  const char text[2] = {static_cast<char>(byte), 0};
  return IsMultiByteLeadChar(text, LibraryCharSetIndex) != 0;
}

}  // namespace

int PushInputChar(int code) {
  if (IsInputCharQueueFull()) return -1;
  InputCharQueue.data[InputCharQueue.writeIndex] = static_cast<uint8_t>(code);
  InputCharQueue.writeIndex = Advance(InputCharQueue.writeIndex);
  return 0;
}

int PopInputChar(char* out, int remove) {
  out[0] = 0;
  out[1] = 0;
  InputCharQueueState& q = InputCharQueue;
  if (q.readIndex == q.writeIndex) return 0;
  const uint8_t first = q.data[q.readIndex];
  out[0] = static_cast<char>(first);
  q.readIndex = Advance(q.readIndex);
  if (!IsKeyInputControlCode(first) && IsLead(first)) {
    if (q.readIndex == q.writeIndex) {
      q.readIndex = StepBack(q.readIndex);  // the lead byte waits for its second byte
      out[0] = 0;
      return 0;
    }
    out[1] = static_cast<char>(q.data[q.readIndex]);
    if (remove == 0) {
      q.readIndex = StepBack(q.readIndex);
    } else {
      q.readIndex = Advance(q.readIndex);
    }
    return 2;
  }
  if (remove == 0) q.readIndex = StepBack(q.readIndex);
  return 1;
}

int GetStringCharCount(const char* text, int byteLength) {
  if (text == nullptr) return 0;
  int count = 0;
  for (int at = 0; at < byteLength && text[at] != '\0'; ++count) {
    // A lead byte at the very end counts alone: the walk never steps over the terminator.
    at += IsMultiByteLeadChar(text + at, LibraryCharSetIndex) && text[at + 1] != '\0' ? 2 : 1;
  }
  return count;
}

int IsKeyInputControlCode(uint8_t code) {
  for (const KeyControlCode& entry : KeyToControlCodeTable) {
    if (entry.virtualKey == 0) break;
    if (entry.code == code) return 1;
  }
  return 0;
}

void TakeCharMessage(plat::WPARAM code) {
  if (code == 0x0A) {
    PushInputChar(13);
  } else if (code >= 0x20 || code == 8 || code == 9 || code == 13 || code == 16 || code == 27) {
    PushInputChar(static_cast<int>(code & 0xFF));
  }
}

void TakeKeyDownMessage(plat::WPARAM virtualKey) {
  if (IsInputCharQueueFull()) return;
  for (const KeyControlCode& entry : KeyToControlCodeTable) {
    if (entry.virtualKey == 0) break;
    if (entry.virtualKey == virtualKey) {
      PushInputChar(entry.code);
      return;
    }
  }
}

}  // namespace orbel
