// QVA records, key, search names and the LZ decoder. Every reader here takes the size of what it reads
// and fails rather than reach past it: archives are input we did not write.
#include "orbel/file/qva_format.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>  // SSE2 intrinsics
#endif

namespace orbel {
namespace {

// Built-in key material ("OrbelArchive") and the per-position operations that turn material into a key.
// The writer's header documents the same choice.
constexpr uint8_t kDefaultKeyMaterial[kQvaKeySize] = {'O', 'r', 'b', 'e', 'l', 'A', 'r', 'c', 'h', 'i', 'v', 'e'};
constexpr uint8_t kFallbackKey[kQvaKeySize] = {0x51, 0x8E, 0x2B, 0xD4, 0x67, 0x19, 0xC3, 0x7A, 0x05, 0xEF, 0x90, 0x3C};

uint8_t RotateLeft(uint8_t value, int bits) {
  return static_cast<uint8_t>((value << bits) | (value >> (8 - bits)));
}

// Position i: inverted (i mod 3 == 0), XORed with 0xA5 + 0x1D * i (i mod 3 == 1), or rotated left by
// (i mod 7) + 1 bits (i mod 3 == 2).
uint8_t MixKeyByte(uint8_t value, int i) {
  switch (i % 3) {
    case 0:
      return static_cast<uint8_t>(~value);
    case 1:
      return static_cast<uint8_t>(value ^ static_cast<uint8_t>(0xA5 + 0x1D * i));
    default:
      return RotateLeft(value, (i % 7) + 1);
  }
}

bool IsSjisLead(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

// Key ---------------------------------------------------------------------------------------------------

void MakeQvaKey(const char* keyText, uint8_t key[kQvaKeySize]) {
  const uint8_t* material = kDefaultKeyMaterial;
  size_t length = kQvaKeySize;
  if (keyText != nullptr && keyText[0] != '\0') {
    material = reinterpret_cast<const uint8_t*>(keyText);
    length = std::strlen(keyText);
  }
  for (size_t i = 0; i < kQvaKeySize; ++i) key[i] = MixKeyByte(material[i % length], static_cast<int>(i));
}

void MakeQvaFallbackKey(uint8_t key[kQvaKeySize]) { std::memcpy(key, kFallbackKey, kQvaKeySize); }

void QvaKeyConvert(size_t count, void* data, uint64_t fileOffset, const uint8_t key[kQvaKeySize]) {
  auto* p = static_cast<uint8_t*>(data);
  size_t index = static_cast<size_t>(fileOffset % kQvaKeySize);
  // Single bytes until the key index comes round to 0, then 48 bytes (four key periods) per step, then
  // 24 (two).
  while (count > 0 && index != 0) {
    *p++ ^= key[index];
    index = (index + 1) % kQvaKeySize;
    --count;
  }
#if defined(__SSE2__)
  if (count >= 48) {
    // Four key periods a step in three vectors.
    uint8_t periods[48];
    for (int i = 0; i < 4; ++i) std::memcpy(periods + i * kQvaKeySize, key, kQvaKeySize);
    const __m128i k0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(periods));
    const __m128i k1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(periods + 16));
    const __m128i k2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(periods + 32));
    for (; count >= 48; count -= 48, p += 48) {
      auto* v = reinterpret_cast<__m128i*>(p);
      _mm_storeu_si128(v, _mm_xor_si128(_mm_loadu_si128(v), k0));
      _mm_storeu_si128(v + 1, _mm_xor_si128(_mm_loadu_si128(v + 1), k1));
      _mm_storeu_si128(v + 2, _mm_xor_si128(_mm_loadu_si128(v + 2), k2));
    }
  }
#endif
  if (count >= 24) {
    uint64_t words[3];
    uint8_t doubled[24];
    std::memcpy(doubled, key, kQvaKeySize);
    std::memcpy(doubled + kQvaKeySize, key, kQvaKeySize);
    std::memcpy(words, doubled, sizeof(words));
    for (; count >= 24; count -= 24, p += 24) {
      uint64_t block[3];
      std::memcpy(block, p, sizeof(block));
      block[0] ^= words[0];
      block[1] ^= words[1];
      block[2] ^= words[2];
      std::memcpy(p, block, sizeof(block));
    }
  }
  for (size_t i = 0; i < count; ++i) p[i] ^= key[i % kQvaKeySize];
}

// Names -------------------------------------------------------------------------------------------------

int MakeQvaNameRecord(const char* name, QvaNameKey* key, size_t* consumed) {
  const auto* p = reinterpret_cast<const uint8_t*>(name);
  size_t length = 0;
  uint32_t check = 0;
  bool tooLong = false;
  while (p[length] != 0 && p[length] != '\\' && p[length] != '/') {
    const size_t step = (IsSjisLead(p[length]) && p[length + 1] != 0) ? 2 : 1;
    for (size_t i = 0; i < step; ++i) {
      uint8_t c = p[length + i];
      if (step == 1 && c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
      if (length + i < kQvaSearchNameMax - 1) {
        key->searchName[length + i] = c;
      } else {
        tooLong = true;
      }
      check += c;
    }
    length += step;
  }
  if (consumed != nullptr) *consumed = length;
  if (tooLong) {
    // No record can hold a name this long: L = 0 matches none.
    key->length = 0;
    key->check = 0;
    std::memset(key->searchName, 0, 4);
    return -1;
  }
  const size_t padded = (length / 4 + 1) * 4;  // 1 to 4 zeros
  std::memset(key->searchName + length, 0, padded - length);
  key->length = static_cast<uint16_t>(padded / 4);
  key->check = static_cast<uint16_t>(check);
  return 0;
}

bool QvaNameMatches(const QvaNameView& view, const QvaNameKey& key) {
  return view.length == key.length && view.check == key.check &&
         std::memcmp(view.searchName, key.searchName, size_t{key.length} * 4) == 0;
}

// Records -----------------------------------------------------------------------------------------------

uint32_t QvaFileRecordSize(uint16_t version) { return version < kQvaCompressionVersion ? 40 : 44; }

bool ReadQvaHeader(const uint8_t* bytes, QvaHeader* header) {
  if (bytes[0] != 'Q' || bytes[1] != 'V') return false;
  header->version = ReadLe16(bytes + 2);
  header->headerBlockSize = ReadLe32(bytes + 4);
  header->dataStart = ReadLe32(bytes + 8);
  header->headerBlockOffset = ReadLe32(bytes + 12);
  header->fileTableOffset = ReadLe32(bytes + 16);
  header->directoryTableOffset = ReadLe32(bytes + 20);
  return header->version < kQvaVersionLimit;
}

void WriteQvaHeader(const QvaHeader& header, uint8_t* bytes) {
  bytes[0] = 'Q';
  bytes[1] = 'V';
  WriteLe16(bytes + 2, header.version);
  WriteLe32(bytes + 4, header.headerBlockSize);
  WriteLe32(bytes + 8, header.dataStart);
  WriteLe32(bytes + 12, header.headerBlockOffset);
  WriteLe32(bytes + 16, header.fileTableOffset);
  WriteLe32(bytes + 20, header.directoryTableOffset);
}

namespace {

// True when [tableOffset + offset, + size) lies inside a block of blockSize bytes (no wrap-around).
bool InBlock(uint32_t blockSize, uint32_t tableOffset, uint32_t offset, uint32_t size) {
  const uint64_t start = uint64_t{tableOffset} + offset;
  return start <= blockSize && size <= blockSize - start;
}

}  // namespace

bool ReadQvaFileRecord(const uint8_t* block, uint32_t blockSize, const QvaHeader& header, uint32_t offset,
                       QvaFileRecord* record) {
  const uint32_t size = QvaFileRecordSize(header.version);
  if (!InBlock(blockSize, header.fileTableOffset, offset, size)) return false;
  const uint8_t* p = block + header.fileTableOffset + offset;
  record->nameOffset = ReadLe32(p);
  record->attributes = ReadLe32(p + 4);
  record->creationTime = ReadLe64(p + 8);
  record->lastAccessTime = ReadLe64(p + 16);
  record->lastWriteTime = ReadLe64(p + 24);
  record->dataOffset = ReadLe32(p + 32);
  record->dataSize = ReadLe32(p + 36);
  record->compressedSize = header.version < kQvaCompressionVersion ? kQvaStoredSize : ReadLe32(p + 40);
  return true;
}

bool ReadQvaDirectoryRecord(const uint8_t* block, uint32_t blockSize, const QvaHeader& header,
                            uint32_t offset, QvaDirectoryRecord* record) {
  if (!InBlock(blockSize, header.directoryTableOffset, offset, kQvaDirectoryRecordSize)) return false;
  const uint8_t* p = block + header.directoryTableOffset + offset;
  record->selfOffset = ReadLe32(p);
  record->parentOffset = ReadLe32(p + 4);
  record->fileCount = ReadLe32(p + 8);
  record->firstFileOffset = ReadLe32(p + 12);
  // Every record of the directory must lie in the block, so a walk over them needs no further check.
  const uint64_t span = uint64_t{record->fileCount} * QvaFileRecordSize(header.version);
  return span <= UINT32_MAX && InBlock(blockSize, header.fileTableOffset, record->firstFileOffset,
                                       static_cast<uint32_t>(span));
}

bool ReadQvaNameRecord(const uint8_t* block, uint32_t blockSize, uint32_t offset, QvaNameView* view) {
  if (!InBlock(blockSize, 0, offset, 4)) return false;
  const uint8_t* p = block + offset;
  const uint16_t length = ReadLe16(p);
  const uint32_t searchBytes = uint32_t{length} * 4;
  // A search name has at least one zero of padding, so its last byte is zero.
  if (length == 0 || !InBlock(blockSize, offset + 4, 0, searchBytes) || p[4 + searchBytes - 1] != 0) return false;
  const uint32_t nameStart = offset + 4 + searchBytes;
  if (nameStart >= blockSize) return false;
  if (std::memchr(block + nameStart, 0, blockSize - nameStart) == nullptr) return false;
  view->length = length;
  view->check = ReadLe16(p + 2);
  view->searchName = p + 4;
  view->name = reinterpret_cast<const char*>(block + nameStart);
  return true;
}

void WriteQvaFileRecord(const QvaFileRecord& record, uint16_t version, uint8_t* bytes) {
  WriteLe32(bytes, record.nameOffset);
  WriteLe32(bytes + 4, record.attributes);
  WriteLe64(bytes + 8, record.creationTime);
  WriteLe64(bytes + 16, record.lastAccessTime);
  WriteLe64(bytes + 24, record.lastWriteTime);
  WriteLe32(bytes + 32, record.dataOffset);
  WriteLe32(bytes + 36, record.dataSize);
  if (version >= kQvaCompressionVersion) WriteLe32(bytes + 40, record.compressedSize);
}

void WriteQvaDirectoryRecord(const QvaDirectoryRecord& record, uint8_t* bytes) {
  WriteLe32(bytes, record.selfOffset);
  WriteLe32(bytes + 4, record.parentOffset);
  WriteLe32(bytes + 8, record.fileCount);
  WriteLe32(bytes + 12, record.firstFileOffset);
}

// LZ ----------------------------------------------------------------------------------------------------

int64_t DecodeQvaLz(const uint8_t* block, size_t blockLength, uint8_t* destination, size_t capacity) {
  if (block == nullptr || blockLength < kQvaLzHeaderSize) return -1;
  const uint32_t decodedSize = ReadLe32(block);
  const uint32_t encodedSize = ReadLe32(block + 4);
  if (encodedSize < kQvaLzHeaderSize || encodedSize > blockLength) return -1;
  if (destination == nullptr) return decodedSize;
  if (decodedSize > capacity) return -1;

  const uint8_t escape = block[8];
  const uint8_t* in = block + kQvaLzHeaderSize;
  const uint8_t* const inEnd = block + encodedSize;
  uint8_t* out = destination;
  uint8_t* const outEnd = destination + decodedSize;
  size_t previousDistance = 0;  // 0: no match yet

  while (in < inEnd) {
    // A run of literals up to the next escape byte.
    const auto* next = static_cast<const uint8_t*>(std::memchr(in, escape, static_cast<size_t>(inEnd - in)));
    const size_t run = static_cast<size_t>((next != nullptr ? next : inEnd) - in);
    if (run > static_cast<size_t>(outEnd - out)) return -1;
    std::memcpy(out, in, run);
    out += run;
    in += run;
    if (in == inEnd) break;

    // The escape byte and its code.
    if (inEnd - in < 2) return -1;
    unsigned code = in[1];
    in += 2;
    if (code == escape) {
      if (out == outEnd) return -1;
      *out++ = escape;
      continue;
    }
    if (code > escape) --code;
    size_t length = (code >> 3) + 4;
    if ((code & 4) != 0) {
      if (in == inEnd) return -1;
      length += size_t{*in++} << 5;
    }
    size_t distance;
    const unsigned width = code & 3;
    if (width == 3) {
      if (previousDistance == 0) return -1;
      distance = previousDistance + 1;
    } else {
      if (static_cast<size_t>(inEnd - in) < width + 1) return -1;
      size_t field = 0;
      for (unsigned i = 0; i <= width; ++i) field |= size_t{in[i]} << (8 * i);
      in += width + 1;
      distance = field + 1;
    }
    if (distance > static_cast<size_t>(out - destination) || length > static_cast<size_t>(outEnd - out)) return -1;
    previousDistance = distance;

    // Copy `length` bytes from `distance` back; an overlapping copy repeats the bytes just written, which
    // chunks of growing size reproduce (each chunk's source is already final).
    const uint8_t* from = out - distance;
    if (distance >= length) {
      std::memcpy(out, from, length);
      out += length;
    } else if (distance == 1) {
      std::memset(out, *from, length);
      out += length;
    } else {
      while (length > 0) {
        const size_t chunk = length < static_cast<size_t>(out - from) ? length : static_cast<size_t>(out - from);
        std::memcpy(out, from, chunk);
        out += chunk;
        length -= chunk;
      }
    }
  }
  return out == outEnd ? static_cast<int64_t>(decodedSize) : -1;
}

}  // namespace orbel
