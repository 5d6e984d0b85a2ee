// The plain set's directory operations (current directory, searches through the system's find calls)
// and temporary files. Search entries are converted to FileFindInfo with local times.
#include <cstring>

#include "orbel/core/string_routines.h"
#include "orbel/file/full_path.h"
#include "orbel/file/thread_file.h"
#include "platform/win/kernel/find_file.h"

namespace orbel {
namespace {

uint64_t FileTimeValue(const plat::FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void FillFindInfo(const plat::WIN32_FIND_DATAA& data, FileFindInfo* info) {
  if (info == nullptr) return;
  std::memcpy(info->name, data.cFileName, sizeof(info->name));
  info->name[sizeof(info->name) - 1] = '\0';
  info->isDirectory = (data.dwFileAttributes & plat::FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
  info->sizeLow = data.nFileSizeLow;
  info->sizeHigh = data.nFileSizeHigh;
  FileTimeToDateTime(FileTimeValue(data.ftCreationTime), &info->creationTime);
  FileTimeToDateTime(FileTimeValue(data.ftLastWriteTime), &info->lastWriteTime);
}

plat::HANDLE SearchOf(FindHandle search) { return reinterpret_cast<plat::HANDLE>(search); }

}  // namespace

int SetCurrentDir(const char* path) { return plat::SetCurrentDirectoryA(path); }

int GetCurrentDir(char* buffer) {
  if (buffer == nullptr) return 0;
  const plat::DWORD length = plat::GetCurrentDirectoryA(kFilePathMax, buffer);
  if (length == 0 || length >= kFilePathMax) {
    buffer[0] = '\0';  // too long for the buffer: nothing usable was written
    return 0;
  }
  return static_cast<int>(length);
}

FindHandle FileFindFirst(const char* pattern, FileFindInfo* info) {
  if (pattern == nullptr) return -1;
  plat::WIN32_FIND_DATAA data;
  plat::HANDLE search = plat::FindFirstFileA(pattern, &data);
  if (search == plat::INVALID_HANDLE_VALUE || search == nullptr) return -1;
  FillFindInfo(data, info);
  return reinterpret_cast<FindHandle>(search);
}

int FileFindNext(FindHandle search, FileFindInfo* info) {
  if (search == -1 || search == 0) return -1;
  plat::WIN32_FIND_DATAA data;
  if (!plat::FindNextFileA(SearchOf(search), &data)) return -1;
  FillFindInfo(data, info);
  return 0;
}

int FileFindClose(FindHandle search) {
  if (search == -1 || search == 0) return -1;
  return plat::FindClose(SearchOf(search)) ? 0 : -1;
}

plat::HANDLE CreateTempFile(char* nameOut) {
  constexpr plat::DWORD kTempPathMax = 256;
  char folder[kTempPathMax + 1];
  const plat::DWORD length = plat::GetTempPathA(kTempPathMax, folder);
  if (length == 0 || length >= kTempPathMax) return nullptr;
  if (!IsPathSeparator(folder[length - 1])) {
    folder[length] = '/';
    folder[length + 1] = '\0';
  }
  char made[kFilePathMax];
  if (plat::GetTempFileNameA(folder, "tmp", 0, made) == 0) return nullptr;
  char name[kFilePathMax];
  if (ConvertToFullPath(made, name, "/") != 0) {
    plat::DeleteFileA(made);
    return nullptr;
  }
  // The system made the file, new and private to the user, in a folder no one else can enter; it is
  // opened as it is, never made again (a file made anew would get the ordinary mode).
  plat::HANDLE file = plat::CreateFileA(name, plat::GENERIC_WRITE, 0, nullptr, plat::OPEN_EXISTING,
                                        plat::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == plat::INVALID_HANDLE_VALUE || file == nullptr) {
    plat::DeleteFileA(name);
    return nullptr;
  }
  if (nameOut != nullptr) std::memcpy(nameOut, name, std::strlen(name) + 1);
  return file;
}

}  // namespace orbel
