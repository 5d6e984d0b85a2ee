// The text-input block: IME composition, clauses and candidates, the two composition limits, the
// key-input handles and the active one. The character queue and the IME flags the window procedure
// reads are their own globals (input_system.h). Internal to orbel/input.
#pragma once

#include <cstdint>

#include "platform/imm/imm.h"

namespace orbel {

constexpr int kImeTextSize = 1025;       // composition buffers: 1024 bytes and a NUL
constexpr int kImeReadLimit = 1024;      // what the IME is asked for at most
constexpr int kClauseBufferSize = 1024;  // bytes
constexpr int kKeyInputHandleMax = 256;

struct KeyInputHandleRecord {
  int inUse;
  uint32_t check;     // 11 bits used
  int ended;          // Enter or an allowed Escape was taken
  int cancelled;      // ended by Escape
  int length;         // bytes, without the NUL
  int maxLength;      // bytes
  int cursor;         // byte position, on a character boundary
  char* buffer;       // tracked block of maxLength + 1 bytes
  int cancelAllowed;
  int singleByteOnly;
  int digitsOnly;
};

struct TextInputState {
  int composing;
  int compositionCursor;               // characters
  char composition[kImeTextSize];
  char savedComposition[kImeTextSize];
  plat::CANDIDATELIST* candidateList;  // tracked block, null when none
  int candidateListSize;               // bytes
  int limitCompositionToRoom;
  int maxCompositionLength;            // bytes, 0 = none
  void* workBuffer;                    // shared by key-input handles, tracked
  uint8_t clauses[kClauseBufferSize];
  int clauseCount;                     // 4-byte entries
  int activeKeyInput;                  // handle, -1 = none
  uint32_t keyInputCheckCounter;
  KeyInputHandleRecord keyInputs[kKeyInputHandleMax];
};

extern TextInputState TextInput;

// Runs the IME re-open steps from the pending request to the end (ime.cpp).
void ServeImeReopenRequest();

}  // namespace orbel
