// Change notices on directories' names, for caches of what directories hold: a watch fires once an
// entry of its directory is added, removed or renamed, the directory's own status changes (times,
// permissions), or the directory itself is moved or removed.
// Notices are taken in one step for all watches, so a cache checks many directories for the price of
// one system call. Not covered: a file system mounted over a watched path.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

// A watch on the directory at `path` (library path rules): an id >= 0, or -1 when notices are
// unavailable (the caller then checks directory stamps instead).
int WatchDirectoryNames(const char* path);
void CloseDirectoryWatch(int watch);
// Takes every notice that arrived since the last call.
void PollDirectoryWatches();
// TRUE once the watch has seen a change, as of the last poll (also for an unknown id).
BOOL DirectoryWatchFired(int watch);

}  // namespace plat
