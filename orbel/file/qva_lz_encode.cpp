// The LZ coder of the archive writer: greedy matching with one step of lazy evaluation over hash chains,
// producing blocks that DecodeQvaLz reads. Speed matters less than for decoding; the state is a few
// hundred KiB whatever the input size.
#include <algorithm>
#include <cstring>
#include <memory>

#include "orbel/file/qva_format.h"
#include "orbel/file/qva_writer.h"

namespace orbel {
namespace {

constexpr size_t kWindowBits = 17;
constexpr size_t kWindow = size_t{1} << kWindowBits;  // bytes a match may reach back
constexpr unsigned kMaxHashBits = 16;
constexpr int kChainDepth = 48;
constexpr size_t kMinMatch = 4;
constexpr uint32_t kNoPosition = UINT32_MAX;

uint32_t Hash4(const uint8_t* p, unsigned bits) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return (v * 2654435761u) >> (32 - bits);
}

// Tables sized to the input, so small files cost little to code.
unsigned BitsFor(size_t size, unsigned lowest, unsigned highest) {
  unsigned bits = lowest;
  while (bits < highest && (size_t{1} << bits) < size) ++bits;
  return bits;
}

// Bytes a match costs: escape, code, optional length extension, distance field (none for width 3).
size_t MatchCost(size_t length, size_t distance, size_t previousDistance) {
  const size_t extension = (length - kMinMatch) >= 32 ? 1 : 0;
  if (previousDistance != 0 && distance == previousDistance + 1 && !(extension && ((length - kMinMatch) & 31) == 31))
    return 2 + extension;
  const size_t field = distance <= 0x100 ? 1 : distance <= 0x10000 ? 2 : 3;
  return 2 + extension + field;
}

class Matcher {
 public:
  Matcher(const uint8_t* data, size_t size)
      : data_(data),
        size_(size),
        hashBits_(BitsFor(size, 8, kMaxHashBits)),
        chainMask_((size_t{1} << BitsFor(size, 8, kWindowBits)) - 1),
        head_(new uint32_t[size_t{1} << hashBits_]),
        chain_(new uint32_t[chainMask_ + 1]) {
    std::fill(head_.get(), head_.get() + (size_t{1} << hashBits_), kNoPosition);
  }

  // Enters position `pos` into the chains (needs 4 bytes from it).
  void Insert(size_t pos) {
    if (pos + kMinMatch > size_) return;
    const uint32_t h = Hash4(data_ + pos, hashBits_);
    chain_[pos & chainMask_] = head_[h];
    head_[h] = static_cast<uint32_t>(pos);
  }

  // The longest match for `pos` among earlier positions in the window; length 0 when none reaches 4.
  size_t Find(size_t pos, size_t* distance) const {
    if (pos + kMinMatch > size_) return 0;
    const size_t limit = std::min(size_ - pos, size_t{kQvaMaxLzLength});
    size_t best = 0;
    uint32_t candidate = head_[Hash4(data_ + pos, hashBits_)];
    for (int depth = 0; depth < kChainDepth && candidate != kNoPosition && candidate < pos; ++depth) {
      if (pos - candidate > kWindow || pos - candidate > chainMask_) break;
      if (data_[candidate + best] == data_[pos + best]) {
        size_t length = 0;
        while (length < limit && data_[candidate + length] == data_[pos + length]) ++length;
        if (length > best) {
          best = length;
          *distance = pos - candidate;
          if (length == limit) break;
        }
      }
      const uint32_t next = chain_[candidate & chainMask_];
      if (next == kNoPosition || next >= candidate) break;  // the slot was reused by a newer position
      candidate = next;
    }
    return best >= kMinMatch ? best : 0;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  unsigned hashBits_;
  size_t chainMask_;
  std::unique_ptr<uint32_t[]> head_;
  std::unique_ptr<uint32_t[]> chain_;
};

class CodeWriter {
 public:
  CodeWriter(std::vector<uint8_t>& out, uint8_t escape) : out_(out), escape_(escape) {}

  void Literal(uint8_t byte) {
    out_.push_back(byte);
    if (byte == escape_) out_.push_back(byte);
  }

  void Match(size_t length, size_t distance) {
    const size_t n = length - kMinMatch;
    const bool extension = n >= 32;
    unsigned width;
    if (previousDistance_ != 0 && distance == previousDistance_ + 1 && !(extension && (n & 31) == 31)) {
      width = 3;
    } else {
      width = distance <= 0x100 ? 0 : distance <= 0x10000 ? 1 : 2;
    }
    unsigned code = extension ? static_cast<unsigned>(((n & 31) << 3) | 4 | width)
                              : static_cast<unsigned>((n << 3) | width);
    out_.push_back(escape_);
    out_.push_back(static_cast<uint8_t>(code >= escape_ ? code + 1 : code));
    if (extension) out_.push_back(static_cast<uint8_t>(n >> 5));
    if (width != 3) {
      const size_t field = distance - 1;
      for (unsigned i = 0; i <= width; ++i) out_.push_back(static_cast<uint8_t>(field >> (8 * i)));
    }
    previousDistance_ = distance;
  }

  size_t previousDistance() const { return previousDistance_; }

 private:
  std::vector<uint8_t>& out_;
  uint8_t escape_;
  size_t previousDistance_ = 0;
};

uint8_t LeastFrequentByte(const uint8_t* data, size_t size) {
  size_t counts[256] = {};
  for (size_t i = 0; i < size; ++i) ++counts[data[i]];
  size_t best = 0;
  for (size_t b = 1; b < 256; ++b)
    if (counts[b] < counts[best]) best = b;
  return static_cast<uint8_t>(best);
}

}  // namespace

std::vector<uint8_t> EncodeQvaLz(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out(kQvaLzHeaderSize);
  out.reserve(kQvaLzHeaderSize + size + size / 64 + 16);
  const uint8_t escape = LeastFrequentByte(data, size);
  out[8] = escape;
  CodeWriter writer(out, escape);
  Matcher matcher(data, size);

  size_t pos = 0;
  while (pos < size) {
    size_t distance = 0;
    size_t length = matcher.Find(pos, &distance);
    if (length != 0 && length <= MatchCost(length, distance, writer.previousDistance())) length = 0;
    if (length != 0 && length < 64 && pos + 1 < size) {
      // One step of lazy evaluation: a longer match at the next byte wins over this one.
      matcher.Insert(pos);
      size_t nextDistance = 0;
      const size_t next = matcher.Find(pos + 1, &nextDistance);
      if (next > length + 1) {
        writer.Literal(data[pos]);
        ++pos;
        continue;
      }
      for (size_t i = 1; i < length; ++i) matcher.Insert(pos + i);
      writer.Match(length, distance);
      pos += length;
      continue;
    }
    if (length != 0) {
      for (size_t i = 0; i < length; ++i) matcher.Insert(pos + i);
      writer.Match(length, distance);
      pos += length;
    } else {
      matcher.Insert(pos);
      writer.Literal(data[pos]);
      ++pos;
    }
  }
  WriteLe32(out.data(), static_cast<uint32_t>(size));
  WriteLe32(out.data() + 4, static_cast<uint32_t>(out.size()));
  return out;
}

}  // namespace orbel
