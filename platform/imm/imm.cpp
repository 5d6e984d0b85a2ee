// IMM32 calls over the recorded input context, and the host's composition events (handed over by the
// window stand-in with their target window) turned into IME messages.
#include "platform/imm/imm.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/host/host.h"
#include "platform/imm/imm_state.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window.h"
#include "platform/win/user/window_messages.h"

namespace plat {
namespace imm {
namespace {

// The one context: its address is the handle; nothing is stored behind it.
InputContextObject* TheContext() {
  static char storage;
  return reinterpret_cast<InputContextObject*>(&storage);
}

void Record(ImmState& s, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Record(ImmState& s, const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  s.calls.emplace_back(text);
}

}  // namespace

ImmState& State() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* state = new ImmState;
  return *state;
}

void TakeHostComposition(HWND window, const host::Event& e) {
  bool start = false;
  bool end = false;
  {
    ImmState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.available) return;
    start = !e.text.empty() && !s.composing;
    end = e.text.empty() && s.composing;
    if (e.text.empty() && !s.composing) return;
    s.composing = !e.text.empty();
    s.composition = e.text.substr(0, 1024);
    s.cursor = std::clamp(e.cursor, 0, static_cast<int>(s.composition.size()));
    s.clauses.clear();
  }
  if (start) PostMessageA(window, WM_IME_STARTCOMPOSITION, 0, 0);
  if (end) {
    PostMessageA(window, WM_IME_ENDCOMPOSITION, 0, 0);
  } else {
    PostMessageA(window, WM_IME_COMPOSITION, 0, static_cast<LPARAM>(GCS_COMPSTR | GCS_CURSORPOS));
  }
}

}  // namespace imm

using imm::ImmState;
using Lock = std::lock_guard<std::mutex>;

HIMC ImmGetContext(HWND window) {
  ImmState& s = imm::State();
  Lock lock(s.mutex);
  if (!s.available || window == nullptr || !IsWindow(window)) return nullptr;
  ++s.outstanding;
  return imm::TheContext();
}

BOOL ImmReleaseContext(HWND, HIMC context) {
  ImmState& s = imm::State();
  Lock lock(s.mutex);
  if (context != imm::TheContext() || s.outstanding == 0) return FALSE;
  --s.outstanding;
  return TRUE;
}

LONG ImmGetCompositionStringA(HIMC context, DWORD index, void* buffer, DWORD bytes) {
  ImmState& s = imm::State();
  Lock lock(s.mutex);
  if (context != imm::TheContext()) return IMM_ERROR_GENERAL;
  const void* source = nullptr;
  DWORD size = 0;
  switch (index) {
    case GCS_CURSORPOS: return s.cursor;
    case GCS_COMPSTR:
      source = s.composition.data();
      size = static_cast<DWORD>(s.composition.size());
      break;
    case GCS_RESULTSTR:
      source = s.result.data();
      size = static_cast<DWORD>(s.result.size());
      break;
    case GCS_COMPCLAUSE:
      source = s.clauses.data();
      size = static_cast<DWORD>(s.clauses.size() * sizeof(DWORD));
      break;
    default: return IMM_ERROR_GENERAL;
  }
  if (bytes == 0) return static_cast<LONG>(size);
  if (buffer == nullptr) return IMM_ERROR_GENERAL;
  const DWORD copied = std::min(size, bytes);
  if (copied > 0) std::memcpy(buffer, source, copied);
  return static_cast<LONG>(copied);
}

DWORD ImmGetCandidateListA(HIMC context, DWORD, CANDIDATELIST* list, DWORD bytes) {
  ImmState& s = imm::State();
  Lock lock(s.mutex);
  if (context != imm::TheContext() || s.candidates.empty()) return 0;
  const auto size = static_cast<DWORD>(s.candidates.size());
  if (bytes == 0) return size;
  if (list == nullptr || bytes < size || s.failCandidateRead) return 0;
  std::memcpy(list, s.candidates.data(), size);
  return size;
}

BOOL ImmGetOpenStatus(HIMC context) {
  ImmState& s = imm::State();
  Lock lock(s.mutex);
  return context == imm::TheContext() && s.open ? TRUE : FALSE;
}

BOOL ImmSetOpenStatus(HIMC context, BOOL open) {
  ImmState& s = imm::State();
  Lock lock(s.mutex);
  if (context != imm::TheContext()) return FALSE;
  imm::Record(s, "ImmSetOpenStatus %d", open ? 1 : 0);
  s.open = open != FALSE;
  return TRUE;
}

BOOL ImmNotifyIME(HIMC context, DWORD action, DWORD index, DWORD value) {
  ImmState& s = imm::State();
  Lock lock(s.mutex);
  if (context != imm::TheContext()) return FALSE;
  imm::Record(s, "ImmNotifyIME %u %u %u", action, index, value);
  if (action != NI_COMPOSITIONSTR) return FALSE;
  if (index == CPS_COMPLETE) s.result = s.composition;
  if (index == CPS_CANCEL || index == CPS_COMPLETE) {
    s.composition.clear();
    s.cursor = 0;
    s.clauses.clear();
    return TRUE;
  }
  return FALSE;
}

BOOL ImmSetCompositionStringA(HIMC context, DWORD index, const void* composition, DWORD compositionBytes,
                              const void*, DWORD) {
  ImmState& s = imm::State();
  Lock lock(s.mutex);
  if (context != imm::TheContext() || index != SCS_SETSTR) return FALSE;
  if (compositionBytes > 0 && composition == nullptr) return FALSE;
  s.composition.assign(static_cast<const char*>(composition), compositionBytes);
  s.cursor = static_cast<int>(s.composition.size());
  s.clauses.clear();
  imm::Record(s, "ImmSetCompositionStringA %s", s.composition.c_str());
  return TRUE;
}

}  // namespace plat
