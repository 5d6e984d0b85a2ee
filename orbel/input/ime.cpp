// The IME as the library shows it: composition string, cursor (in characters) and clauses, finished
// strings into the character queue, the candidate list, the open status, switching the IME on and off
// for the main window, and re-opening it after the application is activated again. The IME is asked to
// show none of its own windows. Also the start of the text-input block.
// Depends on: core (log, fatal exit, tracked memory, pump, clock, main window), platform/imm.
#include <cstring>

#include "orbel/core/clock_random.h"
#include "orbel/core/library.h"
#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/core/message_pump.h"
#include "orbel/input/input_system.h"
#include "orbel/input/text_input_state.h"
#include "platform/imm/imm.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/user_system.h"
#include "platform/win/user/window.h"
#include "platform/win/user/window_messages.h"

namespace orbel {

ImeState InputImeState = {};
TextInputState TextInput = {};

namespace {

constexpr uint64_t kOpenStatusPumpMicroseconds = 2000;
int gInsideSetOpenStatus = 0;

void FreeCandidateList() {
  if (TextInput.candidateList != nullptr) MemFree(TextInput.candidateList);
  TextInput.candidateList = nullptr;
  TextInput.candidateListSize = 0;
}

// Reads a composition string into a cleared buffer of kImeTextSize bytes; the callee adds no NUL, and
// the last byte stays one.
void ReadCompositionString(plat::HIMC context, plat::DWORD index, char* buffer) {
  std::memset(buffer, 0, kImeTextSize);
  plat::ImmGetCompositionStringA(context, index, buffer, kImeReadLimit);
}

void TakeComposition(plat::HWND window, plat::LPARAM flags) {
  const plat::HIMC context = plat::ImmGetContext(window);
  if (context == nullptr) return;
  if (flags & plat::GCS_COMPSTR) ReadCompositionString(context, plat::GCS_COMPSTR, TextInput.composition);
  if (flags & plat::GCS_RESULTSTR) {
    ReadCompositionString(context, plat::GCS_RESULTSTR, TextInput.composition);
    const size_t length = std::strlen(TextInput.composition);
    for (size_t i = 0; i < length; ++i) PushInputChar(static_cast<uint8_t>(TextInput.composition[i]));
    ReadCompositionString(context, plat::GCS_COMPSTR, TextInput.composition);
  }
  if (flags & plat::GCS_CURSORPOS) {
    const plat::LONG position = plat::ImmGetCompositionStringA(context, plat::GCS_CURSORPOS, nullptr, 0);
    TextInput.compositionCursor = GetStringCharCount(TextInput.composition, position);
  }
  if (flags & plat::GCS_COMPCLAUSE) {
    std::memset(TextInput.clauses, 0, sizeof TextInput.clauses);
    const plat::LONG bytes =
        plat::ImmGetCompositionStringA(context, plat::GCS_COMPCLAUSE, TextInput.clauses, kClauseBufferSize);
    TextInput.clauseCount = bytes > 0 ? bytes / 4 : 0;
  }
  plat::ImmReleaseContext(window, context);
}

void TakeCandidateList(plat::HWND window) {
  const plat::HIMC context = plat::ImmGetContext(window);
  if (context == nullptr) return;
  const plat::DWORD size = plat::ImmGetCandidateListA(context, 0, nullptr, 0);
  TextInput.candidateListSize = static_cast<int>(size);
  if (size == 0) {
    plat::ImmReleaseContext(window, context);
    LogFmtAdd("漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x",
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(window)),
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(context)));
    return;
  }
  if (TextInput.candidateList != nullptr) MemFree(TextInput.candidateList);
  TextInput.candidateList = static_cast<plat::CANDIDATELIST*>(MemAlloc(size, "CandidateList", __LINE__));
  if (TextInput.candidateList == nullptr) {
    TextInput.candidateListSize = 0;
    plat::ImmReleaseContext(window, context);
    ErrorExitLibraryFormat("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                           static_cast<int>(size));
  }
  if (plat::ImmGetCandidateListA(context, 0, TextInput.candidateList, size) == 0) {
    // No list is kept, and its size goes with it.
    FreeCandidateList();
    plat::ImmReleaseContext(window, context);
    LogFmtAdd("漢字変換候補の取得に失敗しました  BufSize:%d", static_cast<int>(size));
    return;
  }
  plat::ImmReleaseContext(window, context);
}

plat::LRESULT TakeOpenStatus(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
  if (gInsideSetOpenStatus) return 0;
  gInsideSetOpenStatus = 1;
  plat::DefWindowProcA(window, message, wParam, lParam);
  const uint64_t start = GetHighResolutionCount(0);
  while (PumpWindowMessage() == 0 && GetHighResolutionCount(0) - start < kOpenStatusPumpMicroseconds) {
  }
  gInsideSetOpenStatus = 0;
  const plat::HIMC context = plat::ImmGetContext(window);
  InputImeState.open = context != nullptr && plat::ImmGetOpenStatus(context) ? 1 : 0;
  if (context != nullptr) plat::ImmReleaseContext(window, context);
  return 0;
}

}  // namespace

plat::LRESULT ProcessImeMessage(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
  switch (message) {
    case plat::WM_IME_STARTCOMPOSITION:
      TextInput.composing = 1;
      TextInput.compositionCursor = 0;
      return 0;
    case plat::WM_IME_ENDCOMPOSITION:
      std::memset(TextInput.composition, 0, kImeReadLimit);
      TextInput.composing = 0;
      return 0;
    case plat::WM_IME_COMPOSITION:
      TakeComposition(window, lParam);
      return 0;
    case plat::WM_IME_SETCONTEXT:
      return plat::DefWindowProcA(window, message, wParam, 0);  // no IME windows of its own
    case plat::WM_IME_NOTIFY:
      switch (wParam) {
        case plat::IMN_CHANGECANDIDATE:
        case plat::IMN_OPENCANDIDATE:
        case plat::IMN_SETCANDIDATEPOS:
          TakeCandidateList(window);
          return 0;
        case plat::IMN_CLOSECANDIDATE:
          FreeCandidateList();
          return 0;
        case plat::IMN_SETOPENSTATUS:
          return TakeOpenStatus(window, message, wParam, lParam);
        default:
          return plat::DefWindowProcA(window, message, wParam, lParam);
      }
    default:
      return plat::DefWindowProcA(window, message, wParam, lParam);
  }
}

int SetImeEnable(int enable) {
  if (enable == InputImeState.enabled) return 0;
  plat::WINNLSEnableIME(GetMainWindowHandle(), enable);
  InputImeState.enabled = enable;
  if (enable == 0) {
    FreeCandidateList();
    std::memset(TextInput.composition, 0, kImeReadLimit);
    TextInput.composing = 0;
  }
  return 0;
}

void ServeImeReopenRequest() {
  const int from = InputImeState.refreshRequest;
  if (from < 1 || from > 4) return;
  const plat::HWND window = GetMainWindowHandle();
  // Each step takes and releases the context itself.
  auto withContext = [window](auto step) {
    if (window == nullptr) return;
    const plat::HIMC context = plat::ImmGetContext(window);
    if (context == nullptr) return;
    step(context);
    plat::ImmReleaseContext(window, context);
  };
  if (from <= 1) {
    withContext([](plat::HIMC context) {
      std::memset(TextInput.composition, 0, kImeReadLimit);
      ReadCompositionString(context, plat::GCS_COMPSTR, TextInput.savedComposition);
      plat::ImmNotifyIME(context, plat::NI_COMPOSITIONSTR, plat::CPS_CANCEL, 0);
    });
  }
  if (from <= 2) withContext([](plat::HIMC context) { plat::ImmSetOpenStatus(context, plat::FALSE); });
  if (from <= 3) withContext([](plat::HIMC context) { plat::ImmSetOpenStatus(context, plat::TRUE); });
  withContext([](plat::HIMC context) {
    plat::ImmSetOpenStatus(context, plat::TRUE);
    plat::ImmSetCompositionStringA(context, plat::SCS_SETSTR, TextInput.savedComposition,
                                   static_cast<plat::DWORD>(std::strlen(TextInput.savedComposition)), nullptr, 0);
  });
  InputImeState.refreshRequest = 0;
}

uint32_t InitKeyInputBuffer() {
  LogAdd("文字コードバッファの初期化を行います... ");
  FreeCandidateList();
  if (TextInput.workBuffer != nullptr) MemFree(TextInput.workBuffer);
  for (KeyInputHandleRecord& record : TextInput.keyInputs) {
    if (record.inUse && record.buffer != nullptr) MemFree(record.buffer);
  }
  const uint32_t checkCounter = TextInput.keyInputCheckCounter;
  std::memset(&TextInput, 0, sizeof TextInput);
  std::memset(&InputCharQueue, 0, sizeof InputCharQueue);
  std::memset(&InputImeState, 0, sizeof InputImeState);
  TextInput.keyInputCheckCounter = checkCounter;
  TextInput.activeKeyInput = -1;
  LogAdd("完了しました\n");
  return 0;
}

}  // namespace orbel
