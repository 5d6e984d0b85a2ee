// The QVA archive format: a directory tree of files in one file, every byte XORed with a 12-byte key by
// its absolute offset, file data stored or LZ-coded. This file reads and writes the records field by field
// (little-endian), builds keys and search names, and decodes LZ blocks with every bound checked. It does
// no file I/O; the archive manager and the writer do.
//
// Layout: a 24-byte header at offset 0 ("QV", version, header block size, data start, header block
// offset, file table offset, directory table offset); the header block holds the name table (at its
// start), the file table and the directory table, which refer to each other by offsets from the start of
// the table referred to. The root's directory record is at offset 0 of the directory table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orbel {

constexpr size_t kQvaKeySize = 12;
constexpr uint32_t kQvaHeaderSize = 24;
constexpr uint32_t kQvaDirectoryRecordSize = 16;
constexpr uint32_t kQvaLzHeaderSize = 9;       // decoded size, encoded size, escape byte
constexpr uint32_t kQvaStoredSize = 0xFFFFFFFFu;  // compressed size of a file stored as is
constexpr uint32_t kQvaNoParent = 0xFFFFFFFFu;    // parent of the root
constexpr uint32_t kQvaDirectoryAttribute = 0x10;
constexpr uint16_t kQvaVersionLimit = 4;          // readers accept versions below this
constexpr uint16_t kQvaCompressionVersion = 2;    // from this version file records carry a compressed size
constexpr uint32_t kQvaMaxLzLength = 8195;        // longest match one code can express
// Bytes of a search name, padding included, that a search key can hold (a 260-byte path component
// padded to a multiple of 4 with at least one zero).
constexpr size_t kQvaSearchNameMax = 264;

struct QvaHeader {
  uint16_t version;
  uint32_t headerBlockSize;       // bytes
  uint32_t dataStart;             // file offset of the data area
  uint32_t headerBlockOffset;     // file offset of the header block
  uint32_t fileTableOffset;       // within the header block
  uint32_t directoryTableOffset;  // within the header block
};

struct QvaFileRecord {
  uint32_t nameOffset;  // in the name table
  uint32_t attributes;  // 0x10: directory
  uint64_t creationTime;    // 100 ns units since 1601 (UTC)
  uint64_t lastAccessTime;
  uint64_t lastWriteTime;
  uint32_t dataOffset;      // file: from the data start; directory: its record in the directory table
  uint32_t dataSize;        // bytes after decoding
  uint32_t compressedSize;  // bytes of the LZ block; kQvaStoredSize when stored (always, before version 2)

  bool IsDirectory() const { return (attributes & kQvaDirectoryAttribute) != 0; }
  bool IsCompressed() const { return compressedSize != kQvaStoredSize; }
};

struct QvaDirectoryRecord {
  uint32_t selfOffset;
  uint32_t parentOffset;     // kQvaNoParent at the root
  uint32_t fileCount;        // files and sub-directories
  uint32_t firstFileOffset;  // in the file table; the records follow each other
};

// The search form of one path component: upper-cased (a-z), padded with 1 to 4 zeros to a multiple of 4.
struct QvaNameKey {
  uint16_t length;  // L: 4-byte units of the padded search name
  uint16_t check;   // 16-bit sum of the search name's bytes (padding excluded)
  uint8_t searchName[kQvaSearchNameMax];
};

// A name record inside a header block, checked to lie within it.
struct QvaNameView {
  uint16_t length;
  uint16_t check;
  const uint8_t* searchName;  // 4 * length bytes, zero-padded
  const char* name;           // the name as written, NUL-terminated inside the block
};

// Key ---------------------------------------------------------------------------------------------------

// The 12-byte key of a key text (null or empty: the built-in default material).
void MakeQvaKey(const char* keyText, uint8_t key[kQvaKeySize]);
// The fixed key a reader falls back on when the header does not read as "QV" with its own key.
void MakeQvaFallbackKey(uint8_t key[kQvaKeySize]);
// XORs `count` bytes in place, byte i with key[(fileOffset + i) mod 12]; applying it twice restores.
void QvaKeyConvert(size_t count, void* data, uint64_t fileOffset, const uint8_t key[kQvaKeySize]);

// Names -------------------------------------------------------------------------------------------------

// Builds the search key of the component at the start of `name`, which ends at the end of the text or at
// the first '\' or '/' (Shift-JIS pairs are taken whole). `consumed` receives the bytes of the component.
// Returns 0, or -1 when the component is too long for a key (the key is then one no record matches).
int MakeQvaNameRecord(const char* name, QvaNameKey* key, size_t* consumed);
// True when the name record `view` has the key's length, check and search name.
bool QvaNameMatches(const QvaNameView& view, const QvaNameKey& key);

// Records -----------------------------------------------------------------------------------------------

uint32_t QvaFileRecordSize(uint16_t version);  // 40 before version 2, else 44

// Reads the header from 24 unkeyed bytes. False when the magic is not "QV" or the version is too new.
bool ReadQvaHeader(const uint8_t* bytes, QvaHeader* header);
void WriteQvaHeader(const QvaHeader& header, uint8_t* bytes);

// Readers over an unkeyed header block of `blockSize` bytes; each fails when the record does not lie
// wholly inside the block.
bool ReadQvaFileRecord(const uint8_t* block, uint32_t blockSize, const QvaHeader& header, uint32_t offset,
                       QvaFileRecord* record);
bool ReadQvaDirectoryRecord(const uint8_t* block, uint32_t blockSize, const QvaHeader& header,
                            uint32_t offset, QvaDirectoryRecord* record);
bool ReadQvaNameRecord(const uint8_t* block, uint32_t blockSize, uint32_t offset, QvaNameView* view);

void WriteQvaFileRecord(const QvaFileRecord& record, uint16_t version, uint8_t* bytes);
void WriteQvaDirectoryRecord(const QvaDirectoryRecord& record, uint8_t* bytes);

// LZ ----------------------------------------------------------------------------------------------------

// Decodes the LZ block of `blockLength` bytes into `destination` of `capacity` bytes. Returns the decoded
// size, or -1 when the block is corrupt: its encoded size runs past `blockLength`, its decoded size
// exceeds `capacity`, a code runs past the codes, a match reaches before the output's start or past the
// decoded size, a width code 3 comes before any match, or the codes end short of the decoded size. With a
// null destination it only returns the decoded size (after checking the block's head).
int64_t DecodeQvaLz(const uint8_t* block, size_t blockLength, uint8_t* destination, size_t capacity);

// The most a block of `blockLength` bytes can decode to (each 3-byte match code gives at most 8195 bytes):
// a decoded size above it is a lie, refused before anything is allocated for it.
inline uint64_t QvaLzDecodedLimit(uint64_t blockLength) {
  return blockLength <= kQvaLzHeaderSize ? 0 : (blockLength - kQvaLzHeaderSize) * 2732;
}
// True when `block` (blockLength bytes, unkeyed) starts with a head claiming `decodedSize` bytes that its
// length can deliver.
inline bool QvaLzHeadMatches(const uint8_t* block, size_t blockLength, uint32_t decodedSize);

inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t ReadLe64(const uint8_t* p) { return ReadLe32(p) | (static_cast<uint64_t>(ReadLe32(p + 4)) << 32); }
inline void WriteLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void WriteLe64(uint8_t* p, uint64_t v) {
  WriteLe32(p, static_cast<uint32_t>(v));
  WriteLe32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline bool QvaLzHeadMatches(const uint8_t* block, size_t blockLength, uint32_t decodedSize) {
  return blockLength >= kQvaLzHeaderSize && ReadLe32(block) == decodedSize &&
         decodedSize <= QvaLzDecodedLimit(blockLength);
}

}  // namespace orbel
