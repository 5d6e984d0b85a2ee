// Test controls of the file stand-ins: the open-file registry and one-shot file faults.
#pragma once

#include <cstddef>

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

void ResetFile();

}  // namespace plat::test
