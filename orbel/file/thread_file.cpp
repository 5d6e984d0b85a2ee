// ThreadFile: plain files read directly or through a worker thread with a command handshake over two
// manual-reset events (request, done). The caller writes a command only while done is on; the worker reads
// it only after request. Synchronous reads need no worker: once it is idle the caller serves them itself,
// from the read-ahead buffer and the worker's handle, under the lock that the worker's idle refills take
// too. Asynchronous reads and seeks still go to the worker.
#include "orbel/file/thread_file.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/kernel/thread.h"

namespace orbel {
namespace {

enum Command : int { kOpen = 0, kClose = 1, kRead = 2, kSeek = 3, kExit = 4 };

constexpr size_t kWorkerPathMax = 1024;  // bytes, NUL included
constexpr plat::DWORD kReadAheadPollMs = 100;

// The part of a ThreadFile shared with its worker; its address is the thread's parameter.
struct WorkerBlock {
  plat::DWORD threadId = 0;
  plat::HANDLE thread = nullptr;
  plat::HANDLE file = nullptr;  // the worker's own handle; null when closed
  plat::HANDLE request = nullptr;
  plat::HANDLE done = nullptr;
  int command = 0;
  int ended = 0;
  int openFailed = 0;
  char path[kWorkerPathMax] = {};
  uint8_t* readDestination = nullptr;
  uint32_t readPosition = 0;
  uint32_t readSize = 0;  // bytes asked; on return bytes read
  uint32_t seekPosition = 0;
  uint8_t* buffer = nullptr;  // kReadAheadBufferSize bytes, tracked heap; null without read-ahead
  uint32_t bufferHead = 0;    // offset of the first valid byte in the buffer
  uint32_t bufferStart = 0;   // file position of the first valid byte
  std::atomic<uint32_t> bufferLength{0};  // valid bytes in the buffer
  std::mutex serving;         // the handle and the buffer, between idle refills and reads
  std::atomic<uint32_t> diskReads{0};     // read commands that went to the disk (diagnostics)
};

}  // namespace

struct ThreadFile {
  plat::HANDLE file = nullptr;  // direct files only
  int threadServed = 0;
  int readAhead = 0;
  int async = 0;
  int endFlag = 0;
  uint32_t position = 0;
  uint32_t size = 0;  // at open
  // An asynchronous read whose outcome the caller has not yet taken.
  int readPending = 0;
  uint32_t pendingStart = 0;
  uint32_t pendingSize = 0;
  WorkerBlock worker;
};

namespace {

// The test gate of ThreadFileHoldWorkers.
struct WorkerGate {
  std::mutex mutex;
  std::condition_variable changed;
  int hold = 0;  // kHoldReads | kHoldSeeks
};

WorkerGate& Gate() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* gate = new WorkerGate;
  return *gate;
}

std::atomic<bool> gReadAheadSuspended{false};

void PassGate(int command) {
  WorkerGate& gate = Gate();
  std::unique_lock<std::mutex> lock(gate.mutex);
  gate.changed.wait(lock, [&] { return (gate.hold & command) == 0; });
}

plat::HANDLE OpenForReading(const char* path) {
  plat::HANDLE handle = plat::CreateFileA(path, plat::GENERIC_READ, plat::FILE_SHARE_READ, nullptr,
                                          plat::OPEN_EXISTING, plat::FILE_ATTRIBUTE_NORMAL, nullptr);
  return handle == plat::INVALID_HANDLE_VALUE ? nullptr : handle;
}

bool SeekFromStart(plat::HANDLE file, uint32_t position) {
  plat::LONG high = 0;
  const plat::DWORD result =
      plat::SetFilePointer(file, static_cast<plat::LONG>(position), &high, plat::FILE_BEGIN);
  return !(result == plat::INVALID_SET_FILE_POINTER && plat::GetLastError() != plat::NO_ERROR);
}

uint32_t ReadAt(plat::HANDLE file, uint32_t position, void* destination, uint32_t size) {
  if (size == 0 || !SeekFromStart(file, position)) return 0;
  plat::DWORD read = 0;
  if (!plat::ReadFile(file, destination, size, &read)) return 0;
  return read;
}

// While idle, the worker tops the read-ahead buffer up behind its valid bytes (moved to the front first).
void RefillReadAhead(WorkerBlock* w) {
  std::lock_guard<std::mutex> lock(w->serving);
  uint32_t length = w->bufferLength.load(std::memory_order_relaxed);
  if (w->file == nullptr || length >= kReadAheadBufferSize || gReadAheadSuspended.load()) return;
  if (w->bufferHead != 0) {
    std::memmove(w->buffer, w->buffer + w->bufferHead, length);
    w->bufferHead = 0;
  }
  const uint32_t read = ReadAt(w->file, w->bufferStart + length, w->buffer + length, kReadAheadBufferSize - length);
  w->bufferLength.store(length + read, std::memory_order_release);
}

// `size` bytes at `position` into `destination`: first what the read-ahead buffer holds there, the rest
// from the disk (which empties the buffer at the new position). Returns the bytes delivered. The caller
// holds `serving`.
uint32_t ServeRead(WorkerBlock* w, uint32_t position, uint8_t* destination, uint32_t size) {
  uint32_t length = w->bufferLength.load(std::memory_order_relaxed);
  uint32_t delivered = 0;
  if (w->buffer != nullptr && length > 0 && position == w->bufferStart) {
    const uint32_t n = size < length ? size : length;
    std::memcpy(destination, w->buffer + w->bufferHead, n);
    destination += n;
    position += n;
    size -= n;
    length -= n;
    w->bufferStart += n;
    w->bufferHead = length == 0 ? 0 : w->bufferHead + n;
    w->bufferLength.store(length, std::memory_order_release);
    delivered = n;
  }
  if (size > 0) {
    w->diskReads.fetch_add(1, std::memory_order_relaxed);
    const uint32_t read = ReadAt(w->file, position, destination, size);
    if (w->buffer != nullptr) {
      w->bufferStart = position + read;
      w->bufferHead = 0;
      w->bufferLength.store(0, std::memory_order_release);
    }
    delivered += read;
  }
  return delivered;
}

void ServeReadCommand(WorkerBlock* w) {
  std::lock_guard<std::mutex> lock(w->serving);
  w->readSize = ServeRead(w, w->readPosition, w->readDestination, w->readSize);  // what was really read
}

plat::DWORD FileAccessThreadProc(void* parameter) {
  auto* w = static_cast<WorkerBlock*>(parameter);
  for (;;) {
    const plat::DWORD wait =
        plat::WaitForSingleObject(w->request, w->buffer != nullptr ? kReadAheadPollMs : plat::INFINITE);
    if (wait == plat::WAIT_TIMEOUT) {
      RefillReadAhead(w);
      continue;
    }
    plat::ResetEvent(w->request);
    plat::ResetEvent(w->done);
    switch (w->command) {
      case kOpen:
        // Other readers may share the file, as the size probe does.
        w->file = OpenForReading(w->path);
        if (w->file == nullptr) {
          w->openFailed = 1;
          w->ended = 1;
          plat::SetEvent(w->done);
          return 1;
        }
        break;
      case kClose:
        if (w->file != nullptr) plat::CloseHandle(w->file);
        w->file = nullptr;
        break;
      case kRead:
        PassGate(kHoldReads);
        ServeReadCommand(w);
        break;
      case kSeek:
        PassGate(kHoldSeeks);
        SeekFromStart(w->file, w->seekPosition);
        if (w->buffer != nullptr) {
          std::lock_guard<std::mutex> lock(w->serving);
          w->bufferStart = w->seekPosition;
          w->bufferHead = 0;
          w->bufferLength.store(0, std::memory_order_release);
        }
        break;
      case kExit:
        if (w->file != nullptr) plat::CloseHandle(w->file);
        w->file = nullptr;
        w->ended = 1;
        plat::SetEvent(w->done);
        return 1;
      default:
        break;
    }
    plat::SetEvent(w->done);
  }
}

ThreadFile* NewThreadFile() {
  void* memory = MemAlloc(sizeof(ThreadFile), __FILE__, __LINE__);
  return memory == nullptr ? nullptr : new (memory) ThreadFile();
}

void DeleteThreadFile(ThreadFile* file) {
  if (file->worker.buffer != nullptr) MemFree(file->worker.buffer);
  file->~ThreadFile();
  MemFree(file);
}

// Takes the outcome of a finished asynchronous read: a shortfall moves the position back to what was
// really read and marks the end.
void TakeAsyncResult(ThreadFile* file) {
  if (!file->readPending) return;
  file->readPending = 0;
  if (file->worker.readSize < file->pendingSize) {
    file->position = file->pendingStart + file->worker.readSize;
    file->endFlag = 1;
  }
}

void WaitDone(ThreadFile* file) {
  plat::WaitForSingleObject(file->worker.done, plat::INFINITE);
  TakeAsyncResult(file);
}

// Posts the command whose parameters the caller has just written (after WaitDone).
void Post(ThreadFile* file, int command) {
  file->worker.command = command;
  plat::ResetEvent(file->worker.done);
  plat::SetEvent(file->worker.request);
}

void CloseEvents(WorkerBlock& w) {
  if (w.request != nullptr) plat::CloseHandle(w.request);
  if (w.done != nullptr) plat::CloseHandle(w.done);
  w.request = w.done = nullptr;
}

void JoinWorker(WorkerBlock& w) {
  plat::WaitForSingleObject(w.thread, plat::INFINITE);
  plat::CloseHandle(w.thread);
  w.thread = nullptr;
}

// The worker half of ThreadFileOpen; false (everything undone but the record) on failure.
bool StartWorker(ThreadFile* file, const char* path) {
  WorkerBlock& w = file->worker;
  if (file->readAhead) {
    w.buffer = static_cast<uint8_t*>(MemAlloc(kReadAheadBufferSize, __FILE__, __LINE__));
    if (w.buffer == nullptr) {
      LogAdd("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n");
      return false;
    }
  }
  w.request = plat::CreateEventA(nullptr, plat::TRUE, plat::FALSE, nullptr);
  w.done = plat::CreateEventA(nullptr, plat::TRUE, plat::TRUE, nullptr);
  if (w.request != nullptr && w.done != nullptr)
    w.thread = plat::CreateThread(nullptr, 0, FileAccessThreadProc, &w, 0, &w.threadId);
  if (w.thread == nullptr) {
    CloseEvents(w);
    LogAdd("ファイルアクセス専用スレッドの作成に失敗しました\n");
    return false;
  }
  WaitDone(file);
  std::memcpy(w.path, path, std::strlen(path) + 1);
  Post(file, kOpen);
  WaitDone(file);
  if (w.openFailed) {
    CloseEvents(w);
    JoinWorker(w);
    LogAdd("ファイルのオープンに失敗しました\n");
    return false;
  }
  return true;
}

}  // namespace

ThreadFile* ThreadFileOpen(const char* path, int readAhead, int, int async) {
  if (path == nullptr || std::strlen(path) >= kWorkerPathMax) return nullptr;
  ThreadFile* file = NewThreadFile();
  if (file == nullptr) return nullptr;
  file->readAhead = readAhead != 0;
  file->async = async != 0;
  file->threadServed = file->readAhead || file->async;

  plat::HANDLE handle = OpenForReading(path);
  if (handle == nullptr) {
    DeleteThreadFile(file);
    return nullptr;
  }
  file->size = plat::GetFileSize(handle, nullptr);
  if (file->size == plat::INVALID_FILE_SIZE) file->size = 0;
  if (!file->threadServed) {
    file->file = handle;
    return file;
  }
  // Thread-served: the probe only learns the size; the worker opens the file itself.
  plat::CloseHandle(handle);
  if (!StartWorker(file, path)) {
    DeleteThreadFile(file);
    return nullptr;
  }
  return file;
}

int ThreadFileClose(ThreadFile* file) {
  if (file == nullptr) return -1;
  if (!file->threadServed) {
    const int result = plat::CloseHandle(file->file) ? 0 : -1;
    DeleteThreadFile(file);
    return result;
  }
  WaitDone(file);
  Post(file, kExit);
  plat::WaitForSingleObject(file->worker.done, plat::INFINITE);
  JoinWorker(file->worker);
  CloseEvents(file->worker);
  DeleteThreadFile(file);
  return -1;
}

uint32_t ThreadFileTell(ThreadFile* file) { return file == nullptr ? 0 : file->position; }

int ThreadFileSeek(ThreadFile* file, int32_t offset, int origin) {
  if (file == nullptr) return -1;
  int64_t target = offset;
  if (origin == 1) target += file->position;
  if (origin == 2) target += file->size;
  if (target < 0) target = 0;
  if (target > UINT32_MAX) target = UINT32_MAX;
  return ThreadFileSeekTo(file, static_cast<uint32_t>(target));
}

int ThreadFileSeekTo(ThreadFile* file, uint32_t position) {
  if (file == nullptr) return -1;
  if (!file->threadServed) {
    if (!SeekFromStart(file->file, position)) return -1;
  } else {
    WaitDone(file);
    file->worker.seekPosition = position;
    Post(file, kSeek);
  }
  file->position = position;
  file->endFlag = 0;
  return 0;
}

size_t ThreadFileRead(void* buffer, size_t blockSize, size_t count, ThreadFile* file) {
  if (file == nullptr || blockSize == 0) return 0;
  if (file->threadServed) WaitDone(file);  // the previous command (a seek, an earlier read) ends first
  if (file->position >= file->size) {
    file->endFlag = 1;
    return 0;
  }
  const size_t left = file->size - file->position;
  if (count > left / blockSize) count = left / blockSize;
  if (count == 0) {
    file->endFlag = 1;  // a short tail block is never read
    return 0;
  }
  const auto bytes = static_cast<uint32_t>(blockSize * count);

  if (!file->threadServed) {
    plat::DWORD read = 0;
    if (!plat::ReadFile(file->file, buffer, bytes, &read)) read = 0;
    file->position += read;
    if (read < bytes) file->endFlag = 1;
    return read / blockSize;
  }

  WorkerBlock& w = file->worker;
  if (!file->async) {
    // The worker is idle (waited above): the caller reads for itself.
    uint32_t read;
    {
      std::lock_guard<std::mutex> lock(w.serving);
      read = ServeRead(&w, file->position, static_cast<uint8_t*>(buffer), bytes);
    }
    file->position += read;
    if (read < bytes) file->endFlag = 1;
    return read / blockSize;
  }
  w.readDestination = static_cast<uint8_t*>(buffer);
  w.readPosition = file->position;
  w.readSize = bytes;
  Post(file, kRead);
  if (file->async) {
    file->readPending = 1;
    file->pendingStart = file->position;
    file->pendingSize = bytes;
    file->position += bytes;
    return count;
  }
  plat::WaitForSingleObject(w.done, plat::INFINITE);
  file->position += w.readSize;
  if (w.readSize < bytes) file->endFlag = 1;
  return w.readSize / blockSize;
}

int ThreadFileEof(ThreadFile* file) { return file == nullptr || file->endFlag ? -1 : 0; }

int ThreadFileIdleCheck(ThreadFile* file) {
  if (file == nullptr || !file->threadServed) return 1;
  if (plat::WaitForSingleObject(file->worker.done, 0) != plat::WAIT_OBJECT_0) return 0;
  TakeAsyncResult(file);
  return 1;
}

uint32_t ThreadFileSize(const ThreadFile* file) { return file == nullptr ? 0 : file->size; }

void ThreadFileWaitIdle(ThreadFile* file) {
  if (file != nullptr && file->threadServed) WaitDone(file);
}

uint32_t ThreadFileReadAt(ThreadFile* file, uint32_t position, void* buffer, uint32_t size) {
  if (file == nullptr) return 0;
  // A worker waits for its next command, touching its handle and buffer only under `serving`, so the
  // caller may read through them; every worker read seeks first, so the moved file position is harmless.
  if (file->threadServed) WaitDone(file);
  file->position = position;
  file->endFlag = 0;
  if (position >= file->size) {
    file->endFlag = 1;
    return 0;
  }
  if (size > file->size - position) size = file->size - position;
  uint32_t read;
  if (file->threadServed) {
    std::lock_guard<std::mutex> lock(file->worker.serving);
    read = ServeRead(&file->worker, position, static_cast<uint8_t*>(buffer), size);
  } else {
    read = ReadAt(file->file, position, buffer, size);
  }
  file->position += read;
  if (read < size) file->endFlag = 1;
  return read;
}

uint32_t ThreadFileReadAheadLength(const ThreadFile* file) {
  return file == nullptr ? 0 : file->worker.bufferLength.load(std::memory_order_acquire);
}

uint32_t ThreadFileWorkerDiskReads(const ThreadFile* file) {
  return file == nullptr ? 0 : file->worker.diskReads.load(std::memory_order_relaxed);
}

void ThreadFileSuspendReadAhead(int suspend) { gReadAheadSuspended.store(suspend != 0); }

void ThreadFileHoldWorkers(int hold) {
  WorkerGate& gate = Gate();
  {
    std::lock_guard<std::mutex> lock(gate.mutex);
    gate.hold = hold;
  }
  gate.changed.notify_all();
}

}  // namespace orbel
