// Directory watches over one inotify instance shared by the process. The kernel hands the same
// descriptor to two watches of one directory, so a descriptor is removed only with its last watch.
#include "platform/win/kernel/directory_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include "platform/win/kernel/file_test_controls.h"
#include "platform/win/kernel/posix_path.h"

namespace plat {
namespace {

constexpr uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                 IN_MOVE_SELF | IN_ATTRIB | IN_ONLYDIR;

struct Watch {
  int descriptor = -1;  // -1: the slot is free
  bool fired = false;
};

struct Watches {
  std::mutex mutex;
  int fd = -2;  // -2: not opened yet; -1: unavailable
  bool refused = false;  // tests: behave as if unavailable
  std::vector<Watch> list;
};

Watches& State() {
  static Watches* state = new Watches;
  return *state;
}

void FireDescriptor(Watches& w, int descriptor) {
  for (Watch& watch : w.list)
    if (watch.descriptor >= 0 && (descriptor < 0 || watch.descriptor == descriptor)) watch.fired = true;
}

}  // namespace

int WatchDirectoryNames(const char* pathName) {
  PosixPath path(pathName);
  if (!path.ok()) return -1;
  Watches& w = State();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (w.fd == -2) {
    w.fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (w.fd < 0) w.fd = -1;
  }
  if (w.fd < 0 || w.refused) return -1;
  const int descriptor = ::inotify_add_watch(w.fd, path.c_str(), kNameEvents);
  if (descriptor < 0) return -1;
  size_t id = 0;
  while (id < w.list.size() && w.list[id].descriptor >= 0) ++id;
  if (id == w.list.size()) w.list.emplace_back();
  w.list[id] = Watch{descriptor, false};
  return static_cast<int>(id);
}

void CloseDirectoryWatch(int id) {
  Watches& w = State();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (id < 0 || static_cast<size_t>(id) >= w.list.size() || w.list[static_cast<size_t>(id)].descriptor < 0) return;
  const int descriptor = w.list[static_cast<size_t>(id)].descriptor;
  w.list[static_cast<size_t>(id)] = Watch{};
  for (const Watch& other : w.list)
    if (other.descriptor == descriptor) return;
  ::inotify_rm_watch(w.fd, descriptor);
}

void PollDirectoryWatches() {
  Watches& w = State();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (w.fd < 0) return;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(w.fd, buffer, sizeof(buffer));
    if (got <= 0) return;  // EAGAIN: nothing more has arrived
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      // A lost notice (queue overflow) may have been about any directory.
      FireDescriptor(w, (event->mask & IN_Q_OVERFLOW) != 0 ? -1 : event->wd);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

BOOL DirectoryWatchFired(int id) {
  Watches& w = State();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (id < 0 || static_cast<size_t>(id) >= w.list.size()) return TRUE;
  const Watch& watch = w.list[static_cast<size_t>(id)];
  return watch.descriptor < 0 || watch.fired;
}

namespace test {

void SetDirectoryWatchesAvailable(bool available) {
  Watches& w = State();
  std::lock_guard<std::mutex> lock(w.mutex);
  w.refused = !available;
}

}  // namespace test
}  // namespace plat
