// The IMM32 stand-in's state record. Internal to platform/imm.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/imm/imm.h"

namespace plat::imm {

struct ImmState {
  std::mutex mutex;
  bool available = true;
  bool open = false;
  bool composing = false;       // between the start and end messages sent for host editing
  std::string composition;      // Shift-JIS
  int cursor = 0;               // bytes
  std::vector<DWORD> clauses;   // byte offsets
  std::string result;           // Shift-JIS
  std::vector<BYTE> candidates; // a whole CANDIDATELIST, empty for none
  bool failCandidateRead = false;
  int outstanding = 0;          // contexts handed out and not released
  std::vector<std::string> calls;
};

ImmState& State();
// The host's composition event for `window`: updates the composition and posts the IME messages.
void TakeHostComposition(HWND window, const host::Event& event);

}  // namespace plat::imm
