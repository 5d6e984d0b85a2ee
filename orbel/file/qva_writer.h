// The QVA archive writer: packs a directory tree (from disk or built in memory) into an archive that the
// archive manager reads in place of the directory. Used by tools/qvapack, the tests and the benchmarks.
//
// What it writes: version 2 (file records of 44 bytes with a compressed size). The file is laid out as
// header (24 bytes), header block (name table, file table, directory table, each 4-byte aligned), then the
// data area; a directory's file records follow each other in name order, directories breadth first, the
// root's directory record at offset 0. A file is LZ-coded when that makes it smaller, else stored
// (compressed size 0xFFFFFFFF). Every byte, header included, is XORed with key[offset mod 12].
//
// The key (MakeQvaKey): the key text, or with none the built-in material "OrbelArchive"; a text shorter
// than 12 bytes is repeated (the last repetition cut short), a longer one cut at 12. Byte i of the material
// is then inverted when i mod 3 is 0, XORed with (0xA5 + 0x1D * i) mod 256 when i mod 3 is 1, and rotated
// left by (i mod 7) + 1 bits when i mod 3 is 2. The fallback key, which a reader tries when the header does
// not read as "QV" with its own key, is the constant 51 8E 2B D4 67 19 C3 7A 05 EF 90 3C.
//
// The LZ coder: escape byte E is the input's least frequent byte; a literal E is written E E; a match is E,
// a code c (written c + 1 when c >= E), an optional length extension byte and a 1-3 byte distance field
// (or none: width code 3 reuses the previous match's distance plus one). Matches are found through hash
// chains over a 128 KiB window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orbel {

struct QvaWriterOptions {
  bool compress = true;           // LZ-code files that shrink; false stores every file as is
  const char* keyText = nullptr;  // null: the default key
  bool useFallbackKey = false;    // key the archive with the fallback key instead
  uint16_t version = 2;           // 0 or 1 write 40-byte records and store every file
};

// The LZ block of `size` bytes (decoded size, encoded size, escape byte, codes).
std::vector<uint8_t> EncodeQvaLz(const uint8_t* data, size_t size);

class QvaWriter {
 public:
  explicit QvaWriter(const QvaWriterOptions& options = {});

  // Adds a directory, and any missing parents, by its inner path ("A/B" or "A\B"). Times are system file
  // times. False (with error()) when the path is malformed or names a file.
  bool AddDirectory(std::string_view path, uint64_t creationTime = 0, uint64_t lastWriteTime = 0);
  // Adds a file (its parent directories are made as needed). False when the name is taken, also by a name
  // that differs only in the case of a-z (archives match names that way).
  bool AddFile(std::string_view path, const void* data, size_t size, uint64_t creationTime = 0,
               uint64_t lastWriteTime = 0);

  // The archive's bytes; empty (with error()) when it cannot be described (over 4 GiB).
  std::vector<uint8_t> Finish();
  const std::string& error() const { return error_; }

 private:
  struct Node {
    std::string name;
    std::string searchName;  // upper-cased and padded, as the reader compares names
    size_t parent = 0;       // index into nodes_
    bool directory = false;
    uint64_t creationTime = 0;
    uint64_t lastWriteTime = 0;
    std::vector<uint8_t> data;
    std::vector<size_t> children;  // indices into nodes_
  };

  // The node of an existing directory at `path`, making missing ones; SIZE_MAX on failure.
  size_t FindOrMakeDirectory(std::string_view path, uint64_t creationTime, uint64_t lastWriteTime);
  size_t FindChild(size_t parent, std::string_view name) const;
  bool Fail(std::string message);

  QvaWriterOptions options_;
  std::vector<Node> nodes_;  // nodes_[0] is the root
  std::string error_;
};

// Packs the directory `directory` (every file and sub-directory below it) into `archivePath`; the archive
// itself is skipped when it lies inside the directory. Reads and writes through the platform's file
// calls. Returns 0, or -1 with a message in `error` (may be null).
int WriteQvaArchiveFromDirectory(const char* directory, const char* archivePath, const QvaWriterOptions& options,
                                 std::string* error = nullptr);

}  // namespace orbel
