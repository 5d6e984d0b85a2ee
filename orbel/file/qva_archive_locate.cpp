// The per-directory memory of archive names behind LocateArchiveFile. A directory is listed once for
// "*.<extension>" and its archive names kept. A remembered listing is trusted while the directory's
// change watch has not fired (one poll a lookup checks every watch), or, where watches are
// unavailable, while its stamp is unchanged and was settled when it was listed. A directory listed
// again makes every remembered directory below it suspect too, since a name on the way may now lead
// elsewhere (a renamed directory, a changed link).
#include "orbel/file/qva_archive_locate.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "orbel/file/file_access.h"
#include "platform/win/kernel/directory_watch.h"
#include "platform/win/kernel/find_file.h"
#include "platform/win/kernel/directory_watch.h"
#include "platform/win/kernel/find_file.h"

namespace orbel {
namespace {

constexpr int kDirectoryMax = 32;
constexpr size_t kNamesBytes = 1024;  // a directory with more archive names than fit is never remembered

struct ArchiveDirectory {
  char path[kFilePathMax];  // "" when the slot is free
  char extension[16];
  int watch;    // change watch, -1 when none
  bool valid;   // the names may be used (subject to the watch or the stamp)
  plat::DirectoryStamp stamp;
  uint64_t lastUse;
  size_t namesLength;
  char names[kNamesBytes];  // archive names in listing order, each ended by '\0'
};

struct ArchiveDirectories {
  ArchiveDirectory slots[kDirectoryMax];
  uint64_t useCounter;
};

ArchiveDirectories& Directories() {
  static ArchiveDirectories directories = [] {
    ArchiveDirectories d{};
    for (ArchiveDirectory& slot : d.slots) slot.watch = -1;
    return d;
  }();
  return directories;
}

void Forget(ArchiveDirectory* slot) {
  if (slot->watch >= 0) plat::CloseDirectoryWatch(slot->watch);
  slot->watch = -1;
  slot->valid = false;
  slot->path[0] = '\0';
}

// Every remembered directory below `path` ("/" for the root) must be listed again.
void DoubtBelow(const char* path) {
  const size_t length = std::strcmp(path, "/") == 0 ? 0 : std::strlen(path);
  for (ArchiveDirectory& slot : Directories().slots)
    if (slot.valid && std::strncmp(slot.path, path, length) == 0 && slot.path[length] == '/') slot.valid = false;
}

bool IsSjisLeadByte(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Equal without regard to the case of ASCII letters; Shift-JIS pairs must be equal byte for byte.
bool EqualNoCase(const char* a, const char* b) {
  for (;;) {
    auto x = static_cast<uint8_t>(*a);
    auto y = static_cast<uint8_t>(*b);
    if (x == 0 || y == 0) return x == y;
    if (IsSjisLeadByte(x)) {
      if (x != y || a[1] != b[1] || a[1] == '\0') return x == y && a[1] == b[1];
      a += 2;
      b += 2;
      continue;
    }
    if (x >= 'a' && x <= 'z') x = static_cast<uint8_t>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<uint8_t>(y - 'a' + 'A');
    if (x != y) return false;
    ++a;
    ++b;
  }
}

bool SameStamp(const plat::DirectoryStamp& a, const plat::DirectoryStamp& b) {
  return a.device == b.device && a.inode == b.inode && a.modified == b.modified && a.changed == b.changed;
}

// The first remembered name equal to `wanted`, or null.
const char* FindName(const ArchiveDirectory& directory, const char* wanted) {
  for (size_t at = 0; at < directory.namesLength; at += std::strlen(directory.names + at) + 1)
    if (EqualNoCase(directory.names + at, wanted)) return directory.names + at;
  return nullptr;
}

// Lists the archive names of `directory->path` into it. False when the directory cannot be listed
// whole into the record; `*found` then still tells whether `wanted` was seen (copied to `foundName`).
bool ListArchives(ArchiveDirectory* directory, const char* extension, const char* wanted, bool* found,
                  char* foundName) {
  directory->namesLength = 0;
  *found = false;
  char pattern[kFilePathMax];
  const bool root = std::strcmp(directory->path, "/") == 0;
  const int written = std::snprintf(pattern, sizeof(pattern), "%s/*.%s", root ? "" : directory->path, extension);
  if (written < 0 || static_cast<size_t>(written) >= sizeof(pattern)) return false;

  plat::WIN32_FIND_DATAA data;
  plat::HANDLE search = plat::FindFirstFileA(pattern, &data);
  if (search == plat::INVALID_HANDLE_VALUE || search == nullptr) return true;  // none: a miss to remember
  bool whole = true;
  do {
    if ((data.dwFileAttributes & plat::FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    if (!*found && EqualNoCase(data.cFileName, wanted)) {
      *found = true;
      std::strcpy(foundName, data.cFileName);
    }
    const size_t length = std::strlen(data.cFileName) + 1;
    if (directory->namesLength + length > kNamesBytes) {
      whole = false;
      if (*found) break;
      continue;
    }
    std::memcpy(directory->names + directory->namesLength, data.cFileName, length);
    directory->namesLength += length;
  } while (plat::FindNextFileA(search, &data));
  plat::FindClose(search);
  return whole;
}

// The slot remembering `path` with `extension`, else the least recently used one (emptied).
ArchiveDirectory* SlotFor(const char* path, const char* extension) {
  ArchiveDirectories& all = Directories();
  ArchiveDirectory* oldest = &all.slots[0];
  for (ArchiveDirectory& slot : all.slots) {
    if (slot.path[0] != '\0' && std::strcmp(slot.path, path) == 0 && std::strcmp(slot.extension, extension) == 0)
      return &slot;
    if (slot.lastUse < oldest->lastUse) oldest = &slot;
  }
  Forget(oldest);
  return oldest;
}

}  // namespace

bool LocateArchiveFile(const char* parent, size_t parentLength, const char* component, size_t componentLength,
                       const char* extension, char* out) {
  char wanted[kFilePathMax];
  const size_t extensionLength = std::strlen(extension);
  if (componentLength + 1 + extensionLength >= sizeof(wanted) || extensionLength >= sizeof(ArchiveDirectory{}.extension))
    return false;
  std::memcpy(wanted, component, componentLength);
  wanted[componentLength] = '.';
  std::memcpy(wanted + componentLength + 1, extension, extensionLength + 1);

  char path[kFilePathMax];
  if (parentLength == 0) {
    std::strcpy(path, "/");
  } else {
    if (parentLength >= sizeof(path)) return false;
    std::memcpy(path, parent, parentLength);
    path[parentLength] = '\0';
  }
  ArchiveDirectory* directory = SlotFor(path, extension);
  directory->lastUse = ++Directories().useCounter;
  const char* name = nullptr;
  char listedName[kFilePathMax];
  plat::DirectoryStamp stamp{};
  bool trusted = directory->path[0] != '\0' && directory->valid;
  if (trusted && directory->watch < 0) {
    trusted = plat::GetDirectoryStamp(path, &stamp) && SameStamp(directory->stamp, stamp);
  } else if (trusted) {
    trusted = !plat::DirectoryWatchFired(directory->watch);
  }
  if (trusted) {
    name = FindName(*directory, wanted);
  } else {
    // The watch goes on before the listing, so a change while listing fires it.
    Forget(directory);
    DoubtBelow(path);
    directory->watch = plat::WatchDirectoryNames(path);
    if (directory->watch < 0 && !plat::GetDirectoryStamp(path, &stamp)) return false;
    std::strcpy(directory->path, path);
    std::strcpy(directory->extension, extension);
    bool found = false;
    const bool whole = ListArchives(directory, extension, wanted, &found, listedName);
    if (found) name = listedName;
    // An unsettled stamp could stay the same through a change still to come: list again next time.
    directory->valid = whole && (directory->watch >= 0 || stamp.settled);
    directory->stamp = stamp;
  }
  if (name == nullptr) return false;
  const size_t nameLength = std::strlen(name);
  if (parentLength + 1 + nameLength >= kFilePathMax) return false;
  std::memcpy(out, parent, parentLength);
  out[parentLength] = '/';
  std::memcpy(out + parentLength + 1, name, nameLength + 1);
  return true;
}

void ForgetArchiveDirectories() {
  for (ArchiveDirectory& slot : Directories().slots) Forget(&slot);
}

void PollArchiveDirectories() { plat::PollDirectoryWatches(); }

}  // namespace orbel
