// Full-path building by text: the strict form handed to callers (ConvertToFullPath) and the lenient,
// upper-cased form the archive lookup compares (GetFullPathFromCurrentDir).
#include "orbel/file/full_path.h"

#include <cstring>

#include "orbel/core/string_routines.h"
#include "platform/win/kernel/find_file.h"

namespace orbel {
namespace {

// An output buffer that refuses to grow past its size instead of writing beyond it.
class PathOutput {
 public:
  PathOutput(char* buffer, size_t size) : buffer_(buffer), size_(size) {}

  size_t length() const { return length_; }
  bool overflowed() const { return overflowed_; }

  void Append(const char* text, size_t count) {
    if (overflowed_ || count >= size_ - length_) {
      overflowed_ = true;
      return;
    }
    std::memcpy(buffer_ + length_, text, count);
    length_ += count;
  }

  // Appends "/" and the component.
  void AppendComponent(const char* text, size_t count) {
    Append("/", 1);
    Append(text, count);
  }

  // ".." : drops the last component; at the root nothing is left to drop.
  void DropLastComponent() {
    while (length_ > 0 && buffer_[length_ - 1] != '/') --length_;
    if (length_ > 0) --length_;
  }

  // Terminates the text; an empty result is the root.
  bool Finish() {
    if (length_ == 0) Append("/", 1);
    if (overflowed_ || size_ == 0) return false;
    buffer_[length_] = '\0';
    return true;
  }

 private:
  char* buffer_;
  size_t size_;
  size_t length_ = 0;
  bool overflowed_ = false;
};

// Copies a base directory, '\' separators made '/', less one trailing separator (a base of "/" leaves
// nothing: the root).
void AppendBase(PathOutput& out, const char* base) {
  size_t length = std::strlen(base);
  if (length > 0 && IsPathSeparator(base[length - 1])) {
    // A trail byte 0x5C at the end belongs to its character, not a separator.
    bool trailByte = false;
    for (size_t i = 0; i + 1 < length; ++i) {
      if (IsShiftJisLead(static_cast<unsigned char>(base[i]))) {
        if (i + 1 == length - 1) trailByte = true;
        ++i;
      }
    }
    if (!trailByte) --length;
  }
  for (size_t i = 0; i < length; ++i) {
    if (IsShiftJisLead(static_cast<unsigned char>(base[i])) && i + 1 < length) {
      out.Append(base + i, 2);
      ++i;
    } else {
      out.Append(base[i] == '\\' ? "/" : base + i, 1);
    }
  }
}

enum class EmptyComponents { kRefuse, kSkip };

// The walk shared by both forms. Returns 0, or -1 on a refused empty component or an overflow.
int BuildPath(const char* path, const char* base, PathOutput& out, EmptyComponents empty) {
  const char* p = path;
  if (IsPathSeparator(*p)) {
    ++p;  // the root; the lenient form also eats further leading separators
    if (empty == EmptyComponents::kSkip)
      while (IsPathSeparator(*p)) ++p;
  } else {
    AppendBase(out, base);
  }

  const char* component = p;
  for (;;) {
    const char c = *p;
    if (c != '\0' && !IsPathSeparator(c)) {
      p += (IsShiftJisLead(static_cast<unsigned char>(c)) && p[1] != '\0') ? 2 : 1;
      continue;
    }
    const size_t length = static_cast<size_t>(p - component);
    if (c == '\0') {
      // The last component is taken as written: "." and ".." keep no special meaning there.
      if (length > 0) out.AppendComponent(component, length);
      break;
    }
    if (length == 0) {
      if (empty == EmptyComponents::kRefuse) return -1;
    } else if (length == 1 && component[0] == '.') {
      // dropped
    } else if (length == 2 && component[0] == '.' && component[1] == '.') {
      out.DropLastComponent();
    } else {
      out.AppendComponent(component, length);
    }
    ++p;
    component = p;
  }
  return out.Finish() ? 0 : -1;
}

// Upper-cases a-z, leaving both bytes of a Shift-JIS pair alone.
void UpperCase(char* text) {
  for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p != 0; ++p) {
    if (IsShiftJisLead(*p) && p[1] != 0) {
      ++p;
    } else if (*p >= 'a' && *p <= 'z') {
      *p = static_cast<unsigned char>(*p - 'a' + 'A');
    }
  }
}

}  // namespace

int ConvertToFullPath(const char* path, char* output, const char* base, size_t outputSize) {
  if (output == nullptr || outputSize == 0) return -1;
  char current[kFilePathMax];
  if (base == nullptr) {
    current[0] = '\0';
    FileAccessGetCurrentDir(current);
    current[kFilePathMax - 1] = '\0';
    base = current;
  }
  PathOutput out(output, outputSize);
  const int result = path == nullptr ? (AppendBase(out, base), out.Finish() ? 0 : -1)
                                     : BuildPath(path, base, out, EmptyComponents::kRefuse);
  if (result != 0) output[0] = '\0';  // a refused path leaves no half-built text behind
  return result;
}

int BuildLookupPath(const char* path, char* output, size_t outputSize, const char* base) {
  if (output == nullptr || outputSize == 0) return -1;
  char current[kFilePathMax];
  if (base == nullptr) {
    const plat::DWORD length = plat::GetCurrentDirectoryA(kFilePathMax, current);
    if (length == 0 || length >= kFilePathMax) return -1;
    base = current;
  }
  PathOutput out(output, outputSize);
  const int result = path == nullptr ? (AppendBase(out, base), out.Finish() ? 0 : -1)
                                     : BuildPath(path, base, out, EmptyComponents::kSkip);
  if (result != 0) output[0] = '\0';
  return result;
}

int GetFullPathFromCurrentDir(const char* path, char* output, size_t outputSize) {
  if (BuildLookupPath(path, output, outputSize) != 0) return -1;
  UpperCase(output);
  return 0;
}

}  // namespace orbel
