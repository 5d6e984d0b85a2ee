// This process's private folder, where its temporary files go (and a test's lock files), and the user's
// folder that the user's processes share (the double-start locks).
//
// The base is the first of XDG_RUNTIME_DIR, TMPDIR and /tmp whose entries no other user can change: a
// folder, not a link, of the user's or root's, with the sticky bit when others may write to it. A base is
// opened for search alone (one that none may list, as a 1733 one, serves). A base that fails this rule is
// refused with one line on stderr, one that cannot be opened with the system's reason; one that is
// missing or cannot hold the user's folder (read-only, full) gives way to the next without a word. In
// the base, the user's folder "orbel-<uid>" (0700), and in it the process's folder "process-<pid>-<16
// random hex digits>". When something else stands at the user's folder's name (a link, another user's
// folder, one that others may write to), the process says so on stderr and makes its folder
// "orbel-<uid>-process-<pid>-<16 random hex digits>" in the base itself instead; a base that cannot be
// listed then gives way to the next, said on stderr, since a folder left there by a killed process could
// not be found again to be swept.
//
// Each folder is opened once, never through a link, checked through its handle (owner and mode) and kept
// open for the life of the process; every later step (making, opening, locking, sweeping, removing) is
// taken relative to a kept handle, so that a name swapped after a check leads nowhere. Folders are 0700
// whatever the umask. While the process lives it holds a lock on its folder; a folder whose lock is free
// belonged to a process that ended without removing it (killed), and the next process to make its own
// folder there removes it whole, whatever modes and depth it was left with. Paths are kept beside the
// handles, UTF-8 without a trailing '/', for callers that must hand a name on (GetTempPathA); a name in
// the process's folder comes back to its handle through ProcessFolderHandle.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plat {

// One process's folders, each with the handle it was checked through (-1: none).
struct ProcessFolders {
  std::string base;        // the base chosen; empty when none serves
  int baseFd = -1;
  std::string userFolder;  // "<base>/orbel-<uid>" when trusted; empty when refused
  int userFd = -1;
  std::string path;        // the process's folder; empty until made
  std::string name;        // its name in its parent (the user's folder, else the base)
  int fd = -1;             // the process's folder, locked while this record holds it
  std::string removed;     // the process's folder's path once removed: a name that leads nowhere now
};

// Opens the folder at `path` for search alone (O_PATH), never through a link, when it keeps the base
// rule above: its handle. -1 when it does not, `why` then saying why in a few words (the system's reason
// when it cannot be opened; errno is ENOENT for a missing one).
int OpenBase(const std::string& path, std::string* why);

// Opens the first of `bases` that no other user can change and, in it, the user's folder (made when
// missing). False when no base serves; each refusal is said in one line on stderr.
bool OpenUserFolder(const std::vector<std::string>& bases, ProcessFolders* folders);

// Removes the folders of ended processes beside where the process's folder goes (in the user's folder,
// and those of the user's in the base), then makes, checks and locks the process's folder. False when
// none can be made.
bool MakeProcessFolder(ProcessFolders* folders);

// Removes the process's folder, whole, and closes its handle.
void RemoveProcessFolder(ProcessFolders* folders);

// Closes every handle of `folders` (removing nothing: a process killed leaves its folder so) and
// clears the record.
void CloseProcessFolders(ProcessFolders* folders);

// This process's folder, made at the first call and removed with what it holds when the process exits;
// empty when none can be made, and once it has been removed at the end (another thread may still ask).
// `handle`, when given, receives its kept handle (-1 with an empty path).
std::string ProcessFolder(int* handle = nullptr);

// When `folder` (a path as ProcessFolder gives it) is this process's folder: true, with `*handle` a
// duplicate of its kept handle for the caller to close, or -1 (errno set) once the folder has been
// removed, so that its name is never followed again. False for every other folder.
bool ProcessFolderHandle(std::string_view folder, int* handle);

// Removes this process's folder now: the exit handler, also called by an end that runs no exit handler.
// No folder is made after it.
void RemoveOwnProcessFolder();

// Where the user's processes keep the files they share (the double-start locks): the user's folder in
// which this process's folder is made, or, when that was refused, the process's own folder (what is kept
// there is seen by this process alone). Empty when there is neither; `handle` as for ProcessFolder;
// `processOwn`, when given, is set when the folder is the process's own.
std::string SharedUserFolder(int* handle = nullptr, bool* processOwn = nullptr);

}  // namespace plat
