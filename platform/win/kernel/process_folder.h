// This process's private folder, where its temporary files go (and a test's lock files): a folder of its
// own, "process-<pid>-<16 random hex digits>", inside the user's private folder "<base>/orbel-<uid>"
// (base: XDG_RUNTIME_DIR, else TMPDIR, else /tmp; a base that is set but cannot hold the user's folder
// gives way to the next). When something else stands at the user's folder's name (a link, another user's
// folder, one that others may write to), the process says so on stderr and makes its folder, named
// "orbel-<uid>-process-<pid>-<16 random hex digits>", in the base itself instead. While the process lives
// it holds a lock on its folder; a folder whose lock is free belonged to a process that ended without
// removing it (killed), and the next process to make its own folder there removes it whole. Paths are
// UTF-8, without a trailing '/'.
#pragma once

#include <string>

namespace plat {

// "<base>/orbel-<uid>", made with mode 0700 when missing. An existing one is trusted only when it is a
// directory (not a link) owned by the user that no one else may write to; its mode is then narrowed to
// 0700. Empty when there is none to trust; `refused`, when given, tells whether something stood there
// (rather than the folder being impossible to make).
std::string UserFolder(const std::string& base, bool* refused = nullptr);

// This process's folder, made at the first call (stale folders of ended processes are swept then) and
// removed with what it holds when the process exits; empty when none can be made.
std::string ProcessFolder();

// Where the user's processes keep the files they share (the double-start locks): the user's folder in
// which this process's folder is made, or, when that was refused, the process's own folder (what is kept
// there is seen by this process alone). Empty when there is neither.
std::string SharedUserFolder();

// Removes the process folders in `userFolder` whose processes have ended, whole; the number removed.
int SweepProcessFolders(const std::string& userFolder);

}  // namespace plat
