// Finding the archive file that stands for a directory: "<name>.<extension>" in the real parent
// directory, matched without regard to the case of ASCII letters. What each directory holds is
// remembered (archives and misses alike) and trusted only while the directory is known unchanged (its
// change watch quiet, or its stamp unchanged and settled), so a repeated open lists nothing and an
// archive placed later is still found.
// Not for use outside orbel/file.
#pragma once

#include <cstddef>

namespace orbel {

// Looks in the real directory `parent` (`parentLength` bytes; "" for the root) for a file named
// `component` + "." + `extension`; writes its path (kFilePathMax bytes) to `out`. The first match in
// listing order wins.
bool LocateArchiveFile(const char* parent, size_t parentLength, const char* component, size_t componentLength,
                       const char* extension, char* out);
// Forgets every directory (start-up).
void ForgetArchiveDirectories();
// Takes the change notices of the remembered directories; once before each lookup's searches.
void PollArchiveDirectories();

}  // namespace orbel
