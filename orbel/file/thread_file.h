// Plain files: read directly, or served by a worker thread of their own (read-ahead or asynchronous
// mode), with a 128 KiB read-ahead buffer the worker tops up while idle. Also the plain set's directory
// operations (current directory, searches) and temporary files. Reads count whole blocks; a short tail
// block is never delivered. Used by the plain set of the file-access table and by the archive manager.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orbel/file/file_access.h"
#include "platform/win/kernel/win_types.h"

namespace orbel {

struct ThreadFile;

constexpr uint32_t kReadAheadBufferSize = 0x20000;  // bytes

// Opens `path` for reading. With `readAhead` or `async` a worker thread serves the file. Null on failure:
// a missing file fails quietly; the worker's own failures are logged.
ThreadFile* ThreadFileOpen(const char* path, int readAhead, int unused, int async);
// Direct: 0 when the handle closed, else -1. Thread-served: -1 (after the worker has ended).
int ThreadFileClose(ThreadFile* file);
uint32_t ThreadFileTell(ThreadFile* file);
// Origin 0 start, 1 current, 2 end. A position before the start is taken as 0; one past the end is kept
// (the next read finds nothing). Thread-served seeks return at once. 0, or -1 when a direct seek fails.
int ThreadFileSeek(ThreadFile* file, int32_t offset, int origin);
// Whole blocks read. Synchronous reads are served on the caller's thread (read-ahead buffer first) once
// the worker is idle. Asynchronous files return the blocks asked for at once; the idle check then
// reports completion, and a shortfall (the file shrank) moves the position back and sets the end flag.
size_t ThreadFileRead(void* buffer, size_t blockSize, size_t count, ThreadFile* file);
int ThreadFileEof(ThreadFile* file);  // -1 when the end flag is set, else 0
// 1 when the file has no worker or its worker is idle, else 0.
int ThreadFileIdleCheck(ThreadFile* file);

// For the archive layer: the size at open, and a blocking wait until the worker is idle (a direct file is
// always idle).
uint32_t ThreadFileSize(const ThreadFile* file);
int ThreadFileSeekTo(ThreadFile* file, uint32_t position);  // from the start, for positions past 2 GiB
void ThreadFileWaitIdle(ThreadFile* file);
// A synchronous read of up to `size` bytes at `position` (what lies before the size at open), leaving
// the position after them; the caller's thread reads once the worker is idle, with no command posted.
// Returns the bytes read.
uint32_t ThreadFileReadAt(ThreadFile* file, uint32_t position, void* buffer, uint32_t size);

// Diagnostics for tests: bytes the read-ahead buffer holds now; read commands the worker took to the disk
// (not served from the buffer); a switch that stops idle refills; and a gate that holds every worker
// before it carries out a read (kHoldReads) or seek (kHoldSeeks) command until released with 0.
uint32_t ThreadFileReadAheadLength(const ThreadFile* file);
uint32_t ThreadFileWorkerDiskReads(const ThreadFile* file);
void ThreadFileSuspendReadAhead(int suspend);
constexpr int kHoldReads = 1;
constexpr int kHoldSeeks = 2;
void ThreadFileHoldWorkers(int hold);

// The plain set's directory operations.
int SetCurrentDir(const char* path);  // 1 on success, 0 on failure, as the system call reports
int GetCurrentDir(char* buffer);      // fills up to kFilePathMax bytes; the length, 0 on failure
FindHandle FileFindFirst(const char* pattern, FileFindInfo* info);  // -1 on failure or no match
int FileFindNext(FindHandle search, FileFindInfo* info);           // 0, -1 when none is left
int FileFindClose(FindHandle search);                              // 0, -1 on failure

// Creates a new empty file with a "tmp" name in the system's temporary folder, open for writing, and
// writes its full path to `nameOut` (kFilePathMax bytes) when given. Null on every failure.
plat::HANDLE CreateTempFile(char* nameOut);

}  // namespace orbel
