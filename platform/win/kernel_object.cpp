// The registry of live kernel objects.
#include "platform/win/kernel_object.h"

#include <mutex>
#include <unordered_set>

namespace plat {
namespace {

struct LiveObjects {
  std::mutex mutex;
  std::unordered_set<const KernelObject*> live;
};

LiveObjects& Registry() {
  static LiveObjects* registry = new LiveObjects;  // never destroyed: handles may close during exit
  return *registry;
}

}  // namespace

KernelObject::KernelObject() {
  LiveObjects& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.live.insert(this);
}

KernelObject::~KernelObject() {
  LiveObjects& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.live.erase(this);
}

DWORD KernelObject::Wait(DWORD) { return WAIT_FAILED; }

bool IsLiveKernelObject(const KernelObject* object) {
  if (object == nullptr) return false;
  LiveObjects& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.live.count(object) != 0;
}

}  // namespace plat
