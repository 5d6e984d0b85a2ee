// Test controls of the IMM32 stand-in: whether a context exists, the composition, result, clauses,
// candidates and open status it reports, a failing candidate read, and the calls it received.
#pragma once

#include <string>
#include <vector>

#include "platform/win/kernel/win_types.h"

namespace plat::test {

void SetImeAvailable(bool available);
// Shift-JIS text; the cursor in bytes.
void SetImeComposition(const std::string& text, int cursorBytes);
void SetImeResult(const std::string& text);
void SetImeClauses(const std::vector<DWORD>& byteOffsets);
// A CANDIDATELIST of these Shift-JIS strings; an empty vector removes the list.
void SetImeCandidates(const std::vector<std::string>& candidates);
void FailImeCandidateRead(bool fail);
void SetImeOpenStatus(bool open);
std::string ImeCompositionText();
// "ImmSetOpenStatus 1", "ImmNotifyIME 21 4 0", "ImmSetCompositionStringA <text>", in order.
std::vector<std::string> ImmCalls();
// Contexts handed out by ImmGetContext and not yet released.
int OutstandingImeContexts();
void ResetImm();

}  // namespace plat::test
