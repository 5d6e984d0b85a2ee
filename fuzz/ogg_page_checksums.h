// Fresh page checksums for fuzz inputs that are Ogg files. libogg drops every page whose checksum does
// not match, so almost every mutation of an Ogg input would end at the framing; with the checksums set
// again the mutated bytes reach the readers behind it. Pages are found by their capture pattern; bytes
// between pages and a page cut short by the end of the input are left as they are.
#pragma once

#include <ogg/ogg.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace fuzz {

inline std::vector<uint8_t> WithPageChecksums(const uint8_t* data, size_t size) {
  constexpr size_t kHeaderBytes = 27;  // before the lacing values
  std::vector<uint8_t> bytes(data, data + size);
  size_t at = 0;
  while (at + kHeaderBytes <= size) {
    if (std::memcmp(bytes.data() + at, "OggS", 4) != 0) {
      ++at;
      continue;
    }
    const size_t segments = bytes[at + 26];
    if (at + kHeaderBytes + segments > size) break;
    size_t bodyBytes = 0;
    for (size_t i = 0; i < segments; ++i) bodyBytes += bytes[at + kHeaderBytes + i];
    const size_t headerBytes = kHeaderBytes + segments;
    if (bodyBytes > size - at - headerBytes) break;
    ogg_page page;
    page.header = bytes.data() + at;
    page.header_len = static_cast<long>(headerBytes);
    page.body = bytes.data() + at + headerBytes;
    page.body_len = static_cast<long>(bodyBytes);
    ogg_page_checksum_set(&page);
    at += headerBytes + bodyBytes;
  }
  return bytes;
}

}  // namespace fuzz
