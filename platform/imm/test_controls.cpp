// The IMM32 stand-in's test controls.
#include "platform/imm/test_controls.h"

#include <cstring>

#include "platform/imm/imm.h"
#include "platform/imm/imm_state.h"

namespace plat::test {
namespace {
using Lock = std::lock_guard<std::mutex>;
}

void SetImeAvailable(bool available) {
  imm::ImmState& s = imm::State();
  Lock lock(s.mutex);
  s.available = available;
}

void SetImeComposition(const std::string& text, int cursorBytes) {
  imm::ImmState& s = imm::State();
  Lock lock(s.mutex);
  s.composition = text;
  s.cursor = cursorBytes;
}

void SetImeResult(const std::string& text) {
  imm::ImmState& s = imm::State();
  Lock lock(s.mutex);
  s.result = text;
}

void SetImeClauses(const std::vector<DWORD>& byteOffsets) {
  imm::ImmState& s = imm::State();
  Lock lock(s.mutex);
  s.clauses = byteOffsets;
}

void SetImeCandidates(const std::vector<std::string>& candidates) {
  imm::ImmState& s = imm::State();
  Lock lock(s.mutex);
  s.candidates.clear();
  if (candidates.empty()) return;
  const size_t header = offsetof(CANDIDATELIST, dwOffset) + candidates.size() * sizeof(DWORD);
  size_t size = header;
  for (const std::string& c : candidates) size += c.size() + 1;
  s.candidates.assign(size, 0);
  CANDIDATELIST list{};
  list.dwSize = static_cast<DWORD>(size);
  list.dwCount = static_cast<DWORD>(candidates.size());
  list.dwPageSize = list.dwCount;
  std::memcpy(s.candidates.data(), &list, offsetof(CANDIDATELIST, dwOffset));
  size_t at = header;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const auto offset = static_cast<DWORD>(at);
    std::memcpy(s.candidates.data() + offsetof(CANDIDATELIST, dwOffset) + i * sizeof(DWORD), &offset, sizeof offset);
    std::memcpy(s.candidates.data() + at, candidates[i].c_str(), candidates[i].size() + 1);
    at += candidates[i].size() + 1;
  }
}

void FailImeCandidateRead(bool fail) {
  imm::ImmState& s = imm::State();
  Lock lock(s.mutex);
  s.failCandidateRead = fail;
}

void SetImeOpenStatus(bool open) {
  imm::ImmState& s = imm::State();
  Lock lock(s.mutex);
  s.open = open;
}

std::string ImeCompositionText() {
  imm::ImmState& s = imm::State();
  Lock lock(s.mutex);
  return s.composition;
}

std::vector<std::string> ImmCalls() {
  imm::ImmState& s = imm::State();
  Lock lock(s.mutex);
  return s.calls;
}

int OutstandingImeContexts() {
  imm::ImmState& s = imm::State();
  Lock lock(s.mutex);
  return s.outstanding;
}

void ResetImm() {
  imm::ImmState& s = imm::State();
  Lock lock(s.mutex);
  s.available = true;
  s.open = false;
  s.composing = false;
  s.composition.clear();
  s.cursor = 0;
  s.clauses.clear();
  s.result.clear();
  s.candidates.clear();
  s.failCandidateRead = false;
  s.outstanding = 0;
  s.calls.clear();
}

}  // namespace plat::test
