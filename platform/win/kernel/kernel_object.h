// The base of every object a HANDLE names (events, threads, files, find searches), and the references
// that keep one alive while a call on it runs. Every live object is registered from construction on,
// so a call given a closed or foreign handle refuses it instead of following a stale pointer. As on
// Windows, closing a handle ends the handle at once but not a call already running on it: CloseHandle
// marks the object closed, and the last call to finish destroys it.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

struct KernelObject {
  KernelObject();
  virtual ~KernelObject();
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  // Waits until the object is signalled or `timeoutMs` of clock time pass; the kernel's wait calls it.
  // Objects that cannot be waited on return WAIT_FAILED.
  virtual DWORD Wait(DWORD timeoutMs);
};

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// True while `object` is a live kernel object (registered and its handle not yet closed).
bool IsLiveKernelObject(const KernelObject* object);

// Ends the handle `object`: it is no longer live, and the object is destroyed now, or when the last
// reference held by a running call is dropped. False when it was not a live handle.
bool CloseKernelObject(const KernelObject* object);

// A reference to a live kernel object for the length of one call; empty when the handle was not live.
class KernelObjectRef {
 public:
  KernelObjectRef() = default;
  explicit KernelObjectRef(const KernelObject* handle);
  ~KernelObjectRef() { Release(); }
  KernelObjectRef(KernelObjectRef&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  KernelObjectRef& operator=(KernelObjectRef&& other) noexcept;
  KernelObjectRef(const KernelObjectRef&) = delete;
  KernelObjectRef& operator=(const KernelObjectRef&) = delete;

  KernelObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  void Release();
  KernelObject* object_ = nullptr;
};

}  // namespace plat
