// File handles over POSIX descriptors: CreateFileA with the documented access, share and creation
// values, ReadFile, WriteFile, SetFilePointer, GetFileSize, DeleteFileA; also the calls every kernel
// handle shares (CloseHandle, GetLastError). Share modes are honoured between handles of this process
// through an open-file registry keyed by device and inode; other processes are not seen.
// Not provided: overlapped I/O, templates, security descriptors, file attributes beyond NORMAL.
#pragma once

#include <utility>

#include "platform/win/kernel/kernel_object.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

// Accepted and ignored: every caller passes null.
struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  void* lpSecurityDescriptor;
  BOOL bInheritHandle;
};
struct OVERLAPPED;  // never used; the parameter exists so calls keep their documented shape

// Access rights.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;

// Share modes.
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

// Creation dispositions.
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

// Attributes (also reported by the find calls).
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// SetFilePointer origins and failure values.
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;

// Error codes that the kernel stand-ins set.
constexpr DWORD NO_ERROR = 0;
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_DIRECTORY = 267;

inline const HANDLE INVALID_HANDLE_VALUE = InvalidHandleValue();

// The calling thread's last error.
DWORD GetLastError();
void SetLastError(DWORD error);

// Closes any kernel handle: files, events, threads, find searches and other services' objects.
// Null, INVALID_HANDLE_VALUE and the process heap are refused with ERROR_INVALID_HANDLE.
BOOL CloseHandle(HANDLE handle);

// Only regular files open: a directory, FIFO, socket or device is refused at once with
// ERROR_ACCESS_DENIED (the open never waits on it).
HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                   SECURITY_ATTRIBUTES* securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
              OVERLAPPED* overlapped = nullptr);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               OVERLAPPED* overlapped = nullptr);
// Moves the file position; with `distanceHigh` the distance and the result are 64-bit (high half in
// and out through it). Returns the new position's low half or INVALID_SET_FILE_POINTER (check
// GetLastError, which is NO_ERROR on success).
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod);
DWORD GetFileSize(HANDLE file, DWORD* fileSizeHigh);
BOOL DeleteFileA(const char* fileName);
DWORD GetFileAttributesA(const char* fileName);  // INVALID_FILE_ATTRIBUTES when missing
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// For the other kernel stand-ins: the handle table that lets their calls refuse a handle they did not
// make (a closed or foreign handle) instead of following a stale pointer, and keeps the object alive
// while the call runs, whatever another thread closes meanwhile.
namespace handles {
// The object of a handle as T, held for the length of a call.
template <typename T>
class Ref {
 public:
  Ref() = default;
  Ref(KernelObjectRef ref, T* object) : ref_(std::move(ref)), object_(object) {}
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  KernelObjectRef ref_;
  T* object_ = nullptr;
};

// Looks the handle up and holds it as T, or returns an empty Ref (with ERROR_INVALID_HANDLE) when it
// is not a live kernel handle of that kind.
template <typename T>
Ref<T> Find(HANDLE handle);
}  // namespace handles

// Maps an errno value from a file call to the closest error code.
DWORD ErrorFromErrno(int error);

template <typename T>
handles::Ref<T> handles::Find(HANDLE handle) {
  KernelObjectRef ref(handle);
  T* object = dynamic_cast<T*>(ref.get());
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return {};
  }
  return Ref<T>(std::move(ref), object);
}

}  // namespace plat
