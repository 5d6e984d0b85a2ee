// Test controls of the file stand-ins: the open-file registry, one-shot file faults and a pause between
// the steps that find the process's folders.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/win/kernel/win_types.h"

namespace plat::test {

// Handles currently open through CreateFileA (the open-file registry's size).
size_t OpenFileCount();
// The next CreateFileA fails with `error` (ERROR_ACCESS_DENIED when 0) and touches nothing.
void FailNextCreateFile(DWORD error);
// The next ReadFile delivers at most `maxBytes`, as a file cut short would.
void LimitNextReadFile(DWORD maxBytes);
void ResetFileIo();
// With false, directory watches are unavailable (WatchDirectoryNames gives -1), as on a system
// without change notices; existing watches stay.
void SetDirectoryWatchesAvailable(bool available);

// Called as each step of finding the process's folders is done ("base": the base opened and checked;
// "user": the user's folder opened and checked; "made": a process folder made, not yet opened), so that
// a test can swap names where another user would. Empty: none (the default).
void SetFolderStepHook(std::function<void(const std::string& step)> hook);

void ResetFile();

}  // namespace plat::test
