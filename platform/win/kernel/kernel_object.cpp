// The registry of live kernel objects and the count of calls running on each.
#include "platform/win/kernel/kernel_object.h"

#include <mutex>
#include <unordered_map>

#include "platform/win/kernel/fork_safe_lock.h"

namespace plat {
namespace {

struct Entry {
  unsigned calls = 0;   // references held by running calls
  bool closed = false;  // the handle was closed; the last reference destroys the object
};

struct LiveObjects {
  std::mutex mutex;
  std::unordered_map<const KernelObject*, Entry> objects;
};

LiveObjects& Registry() {
  static LiveObjects* registry = [] {
    auto* made = new LiveObjects;  // never destroyed: handles may close during exit
    TakeAroundFork(&made->mutex);
    return made;
  }();
  return *registry;
}

// Destroys an object taken out of the registry. Outside the registry's lock: destructors of files and
// threads take their own services' locks.
void Destroy(const KernelObject* object) { delete object; }

}  // namespace

KernelObject::KernelObject() {
  LiveObjects& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.objects[this] = Entry{};
}

KernelObject::~KernelObject() {
  LiveObjects& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.objects.erase(this);
}

DWORD KernelObject::Wait(DWORD) { return WAIT_FAILED; }

bool IsLiveKernelObject(const KernelObject* object) {
  if (object == nullptr) return false;
  LiveObjects& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.objects.find(object);
  return it != r.objects.end() && !it->second.closed;
}

bool CloseKernelObject(const KernelObject* object) {
  if (object == nullptr) return false;
  LiveObjects& r = Registry();
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.objects.find(object);
    if (it == r.objects.end() || it->second.closed) return false;
    it->second.closed = true;
    if (it->second.calls != 0) return true;  // the last running call destroys it
    r.objects.erase(it);
  }
  Destroy(object);
  return true;
}

KernelObjectRef::KernelObjectRef(const KernelObject* handle) {
  if (handle == nullptr) return;
  LiveObjects& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.objects.find(handle);
  if (it == r.objects.end() || it->second.closed) return;
  ++it->second.calls;
  object_ = const_cast<KernelObject*>(handle);
}

KernelObjectRef& KernelObjectRef::operator=(KernelObjectRef&& other) noexcept {
  if (this != &other) {
    Release();
    object_ = other.object_;
    other.object_ = nullptr;
  }
  return *this;
}

void KernelObjectRef::Release() {
  if (object_ == nullptr) return;
  const KernelObject* object = object_;
  object_ = nullptr;
  LiveObjects& r = Registry();
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.objects.find(object);
    if (it == r.objects.end() || --it->second.calls != 0 || !it->second.closed) return;
    r.objects.erase(it);
  }
  Destroy(object);
}

}  // namespace plat
