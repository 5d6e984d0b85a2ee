// Full paths built without asking the system: a possibly relative path against a base directory, with
// "." and ".." resolved by text. Both '/' and '\' separate components; results use '/', and the root "/"
// stands where a drive would. Shift-JIS pairs are never split, so a trail byte 0x5C is not a separator.
// Depends on the file-access table for the current directory; nothing here touches the disk.
#pragma once

#include <cstddef>

#include "orbel/file/file_access.h"

namespace orbel {

// `path` against `base` (null: the current directory through the file-access table) into `output` of
// `outputSize` bytes. A null path gives the base. Returns 0, or -1 when the path is malformed (an empty
// component, such as "a//b" or a leading "//") or the result does not fit.
int ConvertToFullPath(const char* path, char* output, const char* base = nullptr,
                      size_t outputSize = kFilePathMax);

// The form archive lookups use: as ConvertToFullPath against the process's current directory, except
// that empty components are skipped instead of refused. Case is kept. Returns 0, or -1 when the result
// does not fit or the current directory cannot be read.
int BuildLookupPath(const char* path, char* output, size_t outputSize = kFilePathMax, const char* base = nullptr);

// BuildLookupPath, upper-cased (a-z only; Shift-JIS pairs kept): the key under which archives and
// paths are compared.
int GetFullPathFromCurrentDir(const char* path, char* output, size_t outputSize = kFilePathMax);

// True for '/' and '\'.
inline bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace orbel
