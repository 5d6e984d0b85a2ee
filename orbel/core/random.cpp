// The library's random numbers: MT19937 with the 1998 seeding (69069 generator), regenerated 624 words
// at a time into a tempered output block. Unseeded, it seeds itself with 4357 on first use.
// Depends on: platform/win/kernel/cpu.h (the MMX flag, kept for the record: the scalar twist serves both).
#include "orbel/core/clock_random.h"

#include "platform/win/kernel/cpu.h"

namespace orbel {

namespace {

constexpr int kStateWords = 624;  // N
constexpr int kShift = 397;       // M
constexpr uint32_t kMatrixA = 0x9908B0DFu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;
constexpr uint32_t kDefaultSeed = 4357;
constexpr uint32_t kSeedMultiplier = 69069;

struct RandomState {
  uint32_t raw[kStateWords];     // the generator's state
  uint32_t out[kStateWords];     // tempered outputs of the last regeneration
  int index = kStateWords;       // next output; kStateWords = empty
  int seeded = 0;
  int mmx = 0;                   // 1 when the processor has MMX
};

constinit RandomState g_random{};

inline uint32_t Twist(uint32_t upper, uint32_t lower, uint32_t far) {
  const uint32_t y = (upper & kUpperMask) | (lower & kLowerMask);
  return far ^ (y >> 1) ^ ((y & 1u) != 0 ? kMatrixA : 0u);
}

inline uint32_t Temper(uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

}  // namespace

int CheckCpuMmx() {
  plat::CpuidRegisters registers{};
  if (!plat::CpuidAvailable() || !plat::Cpuid(1, &registers)) return 0;
  return (registers.edx & plat::kCpuidEdxMmx) != 0 ? 1 : 0;
}

void InitRandomSeed(uint32_t seed) {
  uint32_t s = seed;
  for (uint32_t& word : g_random.raw) {
    word = s & 0xFFFF0000u;
    s = kSeedMultiplier * s + 1;
    word |= s >> 16;
    s = kSeedMultiplier * s + 1;
  }
  g_random.mmx = CheckCpuMmx();
  g_random.seeded = 1;
  GenerateRandomBlock();
}

void GenerateRandomBlock() {
  uint32_t* mt = g_random.raw;
  int k = 0;
  for (; k < kStateWords - kShift; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k + kShift]);
  for (; k < kStateWords - 1; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k + kShift - kStateWords]);
  mt[kStateWords - 1] = Twist(mt[kStateWords - 1], mt[0], mt[kShift - 1]);
  for (int i = 0; i < kStateWords; ++i) g_random.out[i] = Temper(mt[i]);
  g_random.index = 0;
}

uint32_t GetRandomWord() {
  if (g_random.index >= kStateWords) {
    // Seeding fills the first block itself.
    if (g_random.seeded == 0) {
      InitRandomSeed(kDefaultSeed);
    } else {
      GenerateRandomBlock();
    }
  }
  return g_random.out[g_random.index++];
}

int GetRandomNumber(int max) {
  const uint64_t range = static_cast<uint64_t>(static_cast<uint32_t>(max) + 1u);
  return static_cast<int>((uint64_t{GetRandomWord()} * range) >> 32);
}

void ResetRandomState() {
  g_random.index = kStateWords;
  g_random.seeded = 0;
}

}  // namespace orbel
