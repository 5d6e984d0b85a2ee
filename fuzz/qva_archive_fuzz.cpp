// Fuzz target of the QVA archive reader: the input is an archive as the writer lays it out, before the key
// (the target keys it, so mutations act on the tables rather than on keyed noise). It is opened from
// memory, every directory is walked with searches, and every member is opened, read in blocks and
// sought through.
#include <cstdint>
#include <cstring>
#include <vector>

#include <string>

#include "orbel/core/memory.h"
#include "orbel/file/qva_archive.h"
#include "orbel/file/qva_archive_file.h"
#include "orbel/file/qva_format.h"

namespace {

constexpr int kMaxDepth = 8;
constexpr int kMaxEntries = 256;  // per search, so a huge stated count cannot make the run crawl

void ReadMember(orbel::QvaArchive* archive, const char* path) {
  orbel::QvaArchiveFile file;
  if (orbel::OpenQvaArchiveFile(&file, archive, path, 0) != 0) return;
  uint8_t buffer[4096];
  while (orbel::QvaArchiveFileReadBlocks(&file, buffer, 3, sizeof(buffer) / 3) != 0) {
  }
  orbel::QvaArchiveFileSeek(&file, -7, 2);
  orbel::QvaArchiveFileRead(&file, buffer, sizeof(buffer));
  orbel::QvaArchiveFileSeek(&file, 1, 0);
  orbel::QvaArchiveFileRead(&file, buffer, 5);
  orbel::QvaArchiveFileClose(&file);
}

void Walk(orbel::QvaArchive* archive, const std::string& directory, int depth) {
  orbel::FileFindInfo info;
  orbel::QvaArchiveSearch* search = orbel::QvaFindFirstInArchive(archive, (directory + "*").c_str(), &info);
  if (search == nullptr) return;
  for (int entries = 0; entries < kMaxEntries; ++entries) {
    const bool dot = std::strcmp(info.name, ".") == 0 || std::strcmp(info.name, "..") == 0;
    const std::string path = directory + info.name;
    if (dot) {
      // nothing below
    } else if (info.isDirectory) {
      if (depth < kMaxDepth) Walk(archive, path + "\\", depth + 1);
    } else {
      ReadMember(archive, path.c_str());
    }
    if (orbel::QvaFindNextInArchive(search, &info) != 0) break;
    ++search->index;
  }
  orbel::MemFree(search);
  orbel::QvaChangeDirectory(archive, directory.empty() ? "." : directory.c_str(), 1, nullptr);
  orbel::QvaChangeDirectory(archive, "..", 1, nullptr);
  archive->currentDirectory = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> keyed(data, data + size);
  uint8_t key[orbel::kQvaKeySize];
  orbel::MakeQvaKey(nullptr, key);
  orbel::QvaKeyConvert(keyed.size(), keyed.data(), 0, key);
  orbel::QvaArchive archive{};
  if (orbel::OpenQvaArchiveImage(&archive, keyed.data(), keyed.size(), nullptr) != 0) return 0;
  Walk(&archive, "", 0);
  orbel::CloseQvaArchive(&archive);
  return 0;
}
