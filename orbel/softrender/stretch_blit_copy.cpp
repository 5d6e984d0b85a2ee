// The plain stretched copy of direct-colour sources (mode 0 without blend image, brightness or source
// alpha), by rows instead of pixels: the source column of every destination column is worked out once
// per call, a source row is fetched through that table once however many destination rows show it,
// and each destination row is then a whole-row copy, or with the transparency flag a keyed copy that
// keeps the destination under the transparent colour. The stepping is the walk's own (stretch_blit_walk.h),
// so every pixel lands where the walk puts it.
#include <cstring>
#include <type_traits>
#include <vector>

#include "orbel/softrender/simd_road.h"
#include "orbel/softrender/stretch_blit_walk.h"

#if defined(__SSE2__)
#include <emmintrin.h>  // SSE2 intrinsics
#endif

namespace orbel::stretch {
namespace {

// Source byte offset (within a row) of each destination column.
void ColumnTable(const StretchSetup& s, std::vector<ptrdiff_t>& columns) {
  columns.resize(static_cast<size_t>(s.width));
  ptrdiff_t so = 0;
  int64_t accX = s.accX;
  for (int32_t x = 0;; ) {
    columns[static_cast<size_t>(x)] = so;
    if (++x == s.width) break;
    accX -= 0x10000;
    if (accX <= 0) {
      do {
        so += s.srcStepX;
        accX += s.stepX;
      } while (accX < 0);
    }
  }
}

// True when every source pixel shows in two columns, left to right from the first: the 2x stretch.
template <class Word>
bool Doubles(const std::vector<ptrdiff_t>& columns) {
  for (size_t x = 0; x < columns.size(); ++x)
    if (columns[x] != static_cast<ptrdiff_t>((x >> 1) * sizeof(Word))) return false;
  return true;
}

// The destination row's pixels from the source row, through the column table.
template <class Word>
void Gather(const uint8_t* srcRow, const std::vector<ptrdiff_t>& columns, bool doubles, uint8_t* out) {
  const size_t n = columns.size();
  size_t x = 0;
#if defined(__SSE2__)
  if (doubles) {
    // Sixteen bytes of source become thirty-two: each pixel twice.
    constexpr size_t kStep = 32 / sizeof(Word);
    for (; x + kStep <= n; x += kStep) {
      const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(srcRow + (x >> 1) * sizeof(Word)));
      const __m128i lo = sizeof(Word) == 2 ? _mm_unpacklo_epi16(s, s) : _mm_unpacklo_epi32(s, s);
      const __m128i hi = sizeof(Word) == 2 ? _mm_unpackhi_epi16(s, s) : _mm_unpackhi_epi32(s, s);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * sizeof(Word)), lo);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * sizeof(Word) + 16), hi);
    }
  }
#else
  (void)doubles;
#endif
  for (; x < n; ++x) std::memcpy(out + x * sizeof(Word), srcRow + columns[x], sizeof(Word));
}

// `row` onto `dst`, except where `row` holds the transparent colour.
template <class Word>
void KeyedCopy(uint8_t* dst, const Word* row, size_t n, Word key) {
  size_t x = 0;
#if defined(__SSE2__)
  constexpr size_t kStep = 16 / sizeof(Word);
  const __m128i k = sizeof(Word) == 2 ? _mm_set1_epi16(static_cast<short>(key)) : _mm_set1_epi32(static_cast<int>(key));
  for (; x + kStep <= n; x += kStep) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
    const __m128i keyed = sizeof(Word) == 2 ? _mm_cmpeq_epi16(s, k) : _mm_cmpeq_epi32(s, k);
    const int mask = _mm_movemask_epi8(keyed);
    auto* d = reinterpret_cast<__m128i*>(dst + x * sizeof(Word));
    if (mask == 0) {
      _mm_storeu_si128(d, s);
    } else if (mask != 0xFFFF) {
      const __m128i old = _mm_loadu_si128(d);
      _mm_storeu_si128(d, _mm_or_si128(_mm_and_si128(keyed, old), _mm_andnot_si128(keyed, s)));
    }
  }
#endif
  for (; x < n; ++x)
    if (row[x] != key) std::memcpy(dst + x * sizeof(Word), row + x, sizeof(Word));
}

}  // namespace

template <class Px>
void DrawStretchCopyRows(const StretchSetup& s) {
  using Word = std::conditional_t<Px::kBytes == 2, uint16_t, uint32_t>;
  thread_local std::vector<ptrdiff_t> columns;
  thread_local std::vector<Word> row;
  ColumnTable(s, columns);
  const bool doubles = Doubles<Word>(columns);
  const size_t n = columns.size();
  const size_t rowBytes = n * sizeof(Word);
  const auto key = static_cast<Word>(s.transColor & Px::kValueMask);
  if (s.transFlag) row.resize(n);

  uint8_t* dstRow = s.dst;
  ptrdiff_t srcRow = s.srcStart;
  int64_t accY = s.accY;
  bool fetched = false;  // the current source row is already in `row` (keyed) or the row above
  for (int32_t y = 0;;) {
    if (!s.transFlag) {
      // Without the key a repeated source row is a copy of the destination row above.
      if (fetched) std::memcpy(dstRow, dstRow - s.dstPitch, rowBytes);
      else Gather<Word>(s.src + srcRow, columns, doubles, dstRow);
    } else {
      if (!fetched) Gather<Word>(s.src + srcRow, columns, doubles, reinterpret_cast<uint8_t*>(row.data()));
      KeyedCopy(dstRow, row.data(), n, key);
    }
    fetched = true;
    if (++y == s.height) break;
    dstRow += s.dstPitch;
    accY -= 0x10000;
    if (accY <= 0) {
      do {
        srcRow += s.srcStepY;
        accY += s.stepY;
      } while (accY < 0);
      fetched = false;
    }
  }
}

template void DrawStretchCopyRows<Kind565>(const StretchSetup& s);
template void DrawStretchCopyRows<Kind888>(const StretchSetup& s);

}  // namespace orbel::stretch
