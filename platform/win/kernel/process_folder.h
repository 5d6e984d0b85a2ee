// This process's private folder, where its temporary files go (and a test's lock files): a folder of its
// own, "process-<pid>-<16 random hex digits>", inside the user's private folder "<base>/orbel-<uid>"
// (base: XDG_RUNTIME_DIR, else TMPDIR, else /tmp). While the process lives it holds a lock on its folder;
// a folder whose lock is free belonged to a process that ended without removing it (killed), and the next
// process to make its own folder removes it. Paths are UTF-8, without a trailing '/'.
#pragma once

#include <string>

namespace plat {

// "<base>/orbel-<uid>", made with mode 0700 when missing. An existing one is trusted only when it is a
// directory (not a link) owned by the user that no one else may write to; its mode is then narrowed to
// 0700. Empty when there is none to trust.
std::string UserFolder(const std::string& base);

// This process's folder, made at the first call (stale folders of ended processes are swept then) and
// removed with what it holds when the process exits; empty when none can be made.
std::string ProcessFolder();

// Removes the process folders in `userFolder` whose processes have ended; the number removed.
int SweepProcessFolders(const std::string& userFolder);

}  // namespace plat
