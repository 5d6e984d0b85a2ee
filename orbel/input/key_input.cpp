// Key-input handles and the per-pass editing step: the IME re-open request, trimming the composition
// to what the active handle can still take, then every complete character and editing code from the
// input character queue applied to the active handle. Cursor moves and deletions always step over
// whole characters, found by walking the text from its start (a trail byte can look like a lead byte).
// Depends on: the character queue and IME (ime.cpp), core (tracked memory, main window), platform/imm.
#include "orbel/input/key_input.h"

#include <cstring>

#include "orbel/core/library_state.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/core/string_routines.h"
#include "orbel/graphics/handle_table.h"
#include "orbel/input/input_system.h"
#include "platform/imm/imm.h"

namespace orbel {

namespace {

constexpr int kNoRoomLimit = 65536;

int CharSize(const char* text, int at, int length) {
  return at + 1 < length && IsMultiByteLeadChar(text + at, LibraryCharSetIndex) ? 2 : 1;
}

// The start of the character that ends at `position`, found from the start of the text.
int PreviousBoundary(const char* text, int position, int length) {
  int at = 0;
  int previous = 0;
  while (at < position) {
    previous = at;
    at += CharSize(text, at, length);
  }
  return previous;
}

int SlotOf(int handle) {
  if (handle < 0 || HandleKind(handle) != kHandleKindKeyInput) return -1;
  const uint32_t slot = HandleIndex(handle);
  if (slot >= kKeyInputHandleMax) return -1;
  const KeyInputHandleRecord& record = TextInput.keyInputs[slot];
  if (!record.inUse || record.check != HandleCheck(handle)) return -1;
  return static_cast<int>(slot);
}

// Cuts the IME's composition to `room` bytes of whole characters.
void TrimComposition(int room) {
  const plat::HWND window = GetMainWindowHandle();
  const plat::HIMC context = window != nullptr ? plat::ImmGetContext(window) : nullptr;
  if (context == nullptr) return;
  char text[kImeReadLimit + 1] = {};
  plat::ImmGetCompositionStringA(context, plat::GCS_COMPSTR, text, kImeReadLimit);
  const int length = static_cast<int>(std::strlen(text));
  if (length > room) {
    int at = 0;
    while (at < length) {
      const int size = CharSize(text, at, length);
      if (at + size > room) break;
      at += size;
    }
    text[at] = '\0';
    plat::ImmNotifyIME(context, plat::NI_COMPOSITIONSTR, plat::CPS_CANCEL, 0);
    plat::ImmSetCompositionStringA(context, plat::SCS_SETSTR, text, static_cast<plat::DWORD>(at), nullptr, 0);
  }
  plat::ImmReleaseContext(window, context);
}

void LimitComposition(const KeyInputHandleRecord& record) {
  const int compLength = static_cast<int>(std::strlen(TextInput.composition));
  int room = kNoRoomLimit;
  bool cut = false;
  if (TextInput.limitCompositionToRoom && record.length + compLength > record.maxLength) {
    room = record.maxLength - record.length;
    cut = true;
  }
  if (TextInput.maxCompositionLength != 0 && compLength > TextInput.maxCompositionLength) {
    if (room > TextInput.maxCompositionLength) room = TextInput.maxCompositionLength;
    cut = true;
  }
  if (cut) TrimComposition(room < 0 ? 0 : room);
}

void RemoveBytes(KeyInputHandleRecord& r, int at, int count) {
  std::memmove(r.buffer + at, r.buffer + at + count, static_cast<size_t>(r.length - at - count + 1));
  r.length -= count;
}

void InsertCharacter(KeyInputHandleRecord& r, const char* character, int size) {
  if (r.digitsOnly) {
    const char c = character[0];
    const bool digit = size == 1 && c >= '0' && c <= '9';
    const bool minus = size == 1 && c == '-' && r.cursor == 0;
    if (!digit && !minus) return;
  }
  if (r.singleByteOnly && size == 2) return;
  // Make room by dropping whole characters from the end.
  while (r.length + size > r.maxLength) {
    if (r.length == 0) return;
    const int last = PreviousBoundary(r.buffer, r.length, r.length);
    const int removed = r.length - last;
    const bool cursorAtEnd = r.cursor == r.length;
    r.buffer[last] = '\0';
    r.length = last;
    if (cursorAtEnd) r.cursor -= removed;
    if (r.cursor > r.length) r.cursor = r.length;
  }
  std::memmove(r.buffer + r.cursor + size, r.buffer + r.cursor, static_cast<size_t>(r.length - r.cursor + 1));
  std::memcpy(r.buffer + r.cursor, character, static_cast<size_t>(size));
  r.cursor += size;
  r.length += size;
}

void Edit(KeyInputHandleRecord& r) {
  char character[2];
  while (!r.ended) {
    const int size = PopInputChar(character, 1);
    if (size == 0) return;
    const auto code = static_cast<uint8_t>(character[0]);
    switch (code) {
      case 8:  // back space
        if (r.cursor == 0) break;
        {
          const int start = PreviousBoundary(r.buffer, r.cursor, r.length);
          const int removed = r.cursor - start;
          r.cursor = start;
          RemoveBytes(r, start, removed);
        }
        break;
      case 9:
      case 30:
      case 31: break;
      case 13: r.ended = 1; break;
      case 16:  // delete
        if (r.cursor >= r.length) break;
        RemoveBytes(r, r.cursor, CharSize(r.buffer, r.cursor, r.length));
        break;
      case 27:
        if (r.cancelAllowed == 1) {
          r.cancelled = 1;
          r.ended = 1;
        }
        break;
      case 28:  // right
        if (r.cursor < r.length) r.cursor += CharSize(r.buffer, r.cursor, r.length);
        break;
      case 29:  // left
        if (r.cursor > 0) r.cursor = PreviousBoundary(r.buffer, r.cursor, r.length);
        break;
      default: InsertCharacter(r, character, size); break;
    }
  }
}

}  // namespace

int MakeKeyInputHandle(int maxLength, int cancelAllowed, int singleByteOnly, int digitsOnly) {
  if (maxLength < 0 || maxLength > 0x7FFFFFF) return -1;
  int slot = -1;
  for (int i = 0; i < kKeyInputHandleMax; ++i) {
    if (!TextInput.keyInputs[i].inUse) {
      slot = i;
      break;
    }
  }
  if (slot < 0) return -1;
  auto* buffer = static_cast<char*>(MemCalloc(static_cast<uint32_t>(maxLength) + 1, "KeyInput", __LINE__));
  if (buffer == nullptr) return -1;
  KeyInputHandleRecord& r = TextInput.keyInputs[slot];
  std::memset(&r, 0, sizeof r);
  r.inUse = 1;
  r.check = TextInput.keyInputCheckCounter;
  TextInput.keyInputCheckCounter = TextInput.keyInputCheckCounter >= kHandleCheckMax ? 0 : TextInput.keyInputCheckCounter + 1;
  r.maxLength = maxLength;
  r.buffer = buffer;
  r.cancelAllowed = cancelAllowed;
  r.singleByteOnly = singleByteOnly;
  r.digitsOnly = digitsOnly;
  return MakeHandle(r.check, kHandleKindKeyInput, static_cast<uint32_t>(slot));
}

int SetActiveKeyInputHandle(int handle) {
  if (handle != -1 && SlotOf(handle) < 0) return -1;
  TextInput.activeKeyInput = handle;
  return 0;
}

KeyInputHandleRecord* GetKeyInputRecord(int handle) {
  const int slot = SlotOf(handle);
  return slot < 0 ? nullptr : &TextInput.keyInputs[slot];
}

int ProcessActiveKeyInput() {
  ServeImeReopenRequest();
  if (TextInput.activeKeyInput == -1) return 0;
  const int slot = SlotOf(TextInput.activeKeyInput);
  if (slot < 0) return -1;
  KeyInputHandleRecord& record = TextInput.keyInputs[slot];
  if (record.ended) return 0;
  LimitComposition(record);
  if (record.ended) return 0;
  Edit(record);
  return 0;
}

int DeleteKeyInputHandle(int handle) {
  const int slot = SlotOf(handle);
  if (slot < 0) return -1;
  KeyInputHandleRecord& record = TextInput.keyInputs[slot];
  if (record.buffer != nullptr) MemFree(record.buffer);
  std::memset(&record, 0, sizeof record);
  if (TextInput.activeKeyInput == handle) TextInput.activeKeyInput = -1;
  for (const KeyInputHandleRecord& r : TextInput.keyInputs) {
    if (r.inUse) return 0;
  }
  SetImeEnable(0);
  return 0;
}

uint32_t DeleteAllKeyInputHandles() {
  for (int slot = 0; slot < kKeyInputHandleMax; ++slot) {
    const KeyInputHandleRecord& r = TextInput.keyInputs[slot];
    if (r.inUse == 1) DeleteKeyInputHandle(MakeHandle(r.check, kHandleKindKeyInput, static_cast<uint32_t>(slot)));
  }
  if (TextInput.workBuffer != nullptr) MemFree(TextInput.workBuffer);
  TextInput.workBuffer = nullptr;
  TextInput.activeKeyInput = -1;
  return 0;
}

}  // namespace orbel
