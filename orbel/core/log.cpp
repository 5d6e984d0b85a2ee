// The log file: "Log.txt" in the start-up directory, re-created at start-up and then opened, appended to
// and closed on every text so that it survives a crash. Lines are stamped with the milliseconds since
// the log started and indented by a nesting level; LF becomes CR LF (Shift-JIS pairs are never split).
// The same texts, without the stamp, go to the debugger output.
// Depends on: platform/win/kernel/file_io.h, debug_output.h, clock.h, fork_safe_lock.h; tracked memory for
// long texts.
// Leaves out: the on-screen log display (log_display.cpp).
#include "orbel/core/log.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "orbel/core/memory.h"
#include "orbel/core/string_routines.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/debug_output.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/fork_safe_lock.h"

namespace orbel {

namespace {

constexpr size_t kFileNameBytes = 64;
constexpr size_t kShortText = 255;       // longer texts convert through a tracked block
constexpr size_t kFormatBuffer = 1024;   // LogFmtAdd's text, including the "\n" and terminator
constexpr int kWorkBufferLine = -1;      // source line of the log's own work blocks

struct LogState {
  char fileName[kFileNameBytes] = "Log.txt";
  char startupDirectory[PATH_MAX] = "";     // empty: no log file
  char path[PATH_MAX + kFileNameBytes] = "";  // directory + separator + file name, when the directory is set
  int indentLevel = 0;   // tabs after the stamp
  int midLine = 0;       // 1: the last text left its line open
  uint32_t startTime = 0;  // ms, timeGetTime at StartLogFile
  int logOff = 0;
  int datedName = 0;
  int noStamp = 0;
  int outsideWindow = 0;  // the log goes only to the debugger output
};

LogState g_log;
// One text at a time reaches the file: a line written from another thread (a signal's, as the program
// ends) never lands inside another. A child forked while another thread writes finds it free.
std::mutex g_writeMutex;
[[maybe_unused]] const bool g_writeMutexFreeInChild = (plat::KeepFreeInForkedChild(&g_writeMutex), true);

// True when the last character of `text` is a single-byte path separator (a '\' can be the second
// byte of a double-byte character, which is no separator).
bool EndsInSeparator(const char* text) {
  bool separator = false;
  for (const char* p = text; *p != '\0';) {
    if (IsShiftJisLead(static_cast<unsigned char>(*p)) && p[1] != '\0') {
      separator = false;
      p += 2;
    } else {
      separator = *p == '/' || *p == '\\';
      ++p;
    }
  }
  return separator;
}

void BuildPath() {
  if (g_log.startupDirectory[0] == '\0') {
    g_log.path[0] = '\0';
    return;
  }
  const char* separator = EndsInSeparator(g_log.startupDirectory) ? "" : "/";
  std::snprintf(g_log.path, sizeof g_log.path, "%s%s%s", g_log.startupDirectory, separator, g_log.fileName);
}

// LF -> CR LF into `out` (room for 2 * length + 1). Once an existing CR LF is met the rest is copied as
// it is. Returns the converted length.
size_t ConvertLineEnds(const char* text, size_t length, char* out) {
  size_t o = 0;
  size_t i = 0;
  while (i < length) {
    const char c = text[i];
    if (IsShiftJisLead(static_cast<unsigned char>(c)) && i + 1 < length) {
      out[o++] = c;
      out[o++] = text[i + 1];
      i += 2;
      continue;
    }
    if (c == '\n') {
      if (i > 0 && text[i - 1] == '\r') {
        std::memcpy(out + o, text + i, length - i);
        o += length - i;
        break;
      }
      out[o++] = '\r';
    }
    out[o++] = c;
    ++i;
  }
  out[o] = '\0';
  return o;
}

void WriteAll(plat::HANDLE file, const char* bytes, size_t length) {
  if (file == plat::InvalidHandleValue() || length == 0) return;
  plat::DWORD written = 0;
  plat::WriteFile(file, bytes, static_cast<plat::DWORD>(length), &written, nullptr);
}

void WriteIndent(plat::HANDLE file) {
  static const char kTabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
  constexpr int kChunk = static_cast<int>(sizeof kTabs - 1);
  for (int left = g_log.indentLevel; left > 0; left -= kChunk) {
    const int n = left < kChunk ? left : kChunk;
    WriteAll(file, kTabs, static_cast<size_t>(n));
    plat::OutputDebugStringA(kTabs + (kChunk - n));
  }
}

// Stamp, indent and text of one converted text.
void WriteConverted(const char* text, size_t length) {
  std::lock_guard<std::mutex> lock(g_writeMutex);
  if (g_log.outsideWindow != 0) {
    plat::OutputDebugStringA(text);
    return;
  }
  if (g_log.logOff == 1 || g_log.path[0] == '\0') return;

  // A file that cannot be opened is skipped; the debugger output still receives the text.
  plat::HANDLE file = plat::CreateFileA(g_log.path, plat::GENERIC_WRITE, 0, nullptr, plat::OPEN_ALWAYS,
                                        plat::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != plat::InvalidHandleValue()) plat::SetFilePointer(file, 0, nullptr, plat::FILE_END);

  if (g_log.midLine == 0) {
    if (g_log.noStamp != 1) {
      char stamp[16];
      const int n = std::snprintf(stamp, sizeof stamp, "%d:", static_cast<int>(plat::timeGetTime() - g_log.startTime));
      WriteAll(file, stamp, static_cast<size_t>(n));
    }
    if (g_log.indentLevel > 0) WriteIndent(file);
  }
  WriteAll(file, text, length);
  plat::OutputDebugStringA(text);
  g_log.midLine = text[length - 1] != '\n' ? 1 : 0;
  if (file != plat::InvalidHandleValue()) plat::CloseHandle(file);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// The log file

int StartLogFile() {
  if (g_log.logOff == 1 || g_log.outsideWindow != 0) return 1;

  if (g_log.datedName == 1) {
    DateTime now{};
    GetLocalDateTime(&now);
    std::snprintf(g_log.fileName, sizeof g_log.fileName, "Log%d_%d_%d_%d_%d_%d.txt", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
  } else {
    StrCopy(g_log.fileName, "Log.txt");
  }
  BuildPath();

  const char* path = g_log.path[0] != '\0' ? g_log.path : g_log.fileName;
  plat::DeleteFileA(path);
  plat::HANDLE file = plat::CreateFileA(path, plat::GENERIC_WRITE, 0, nullptr, plat::CREATE_NEW,
                                        plat::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != plat::InvalidHandleValue()) plat::CloseHandle(file);

  g_log.indentLevel = 0;
  g_log.midLine = 0;
  g_log.startTime = plat::timeGetTime();
  return 1;
}

// NOTE: an empty text writes nothing at all (no stamp either), so it never makes an empty stamped line.
int LogAdd(const char* text) {
  const size_t length = std::strlen(text);
  if (length == 0) return -1;

  char shortBuffer[kShortText * 2 + 1];
  char* work = shortBuffer;
  if (length > kShortText) {
    work = static_cast<char*>(MemAlloc(static_cast<uint32_t>(length * 2 + 1), nullptr, kWorkBufferLine));
    if (work == nullptr) {
      // Out of memory: the text still goes out, unconverted, rather than being lost.
      WriteConverted(text, length);
      return -1;
    }
  }
  const size_t converted = ConvertLineEnds(text, length, work);
  WriteConverted(work, converted);
  if (work != shortBuffer) MemFree(work);
  return -1;
}

int LogFmtAdd(const char* format, ...) {
  char text[kFormatBuffer];
  va_list args;
  va_start(args, format);
  // One byte stays free for the "\n".
  const int length = FormatStringV(text, sizeof text - 1, format, args);
  va_end(args);
  text[length] = '\n';
  text[length + 1] = '\0';
  return LogAdd(text);
}

int LogTabAdd() {
  ++g_log.indentLevel;
  return 0;
}

int LogTabSub() {
  if (g_log.indentLevel > 0) --g_log.indentLevel;
  return 0;
}

// ---------------------------------------------------------------------------------------------------
// Settings

void SetLogStartupDirectory(const char* directory) {
  if (directory == nullptr) directory = "";
  const size_t length = std::strlen(directory);
  if (length >= sizeof g_log.startupDirectory) {
    // Linux paths are at most PATH_MAX; a longer one cannot be opened, so say so instead of losing the
    // log without a word.
    plat::OutputDebugStringA("Log.txt: start-up directory too long, log file disabled\n");
    std::fputs("Log.txt: start-up directory too long, log file disabled\n", stderr);
    g_log.startupDirectory[0] = '\0';
  } else {
    std::memmove(g_log.startupDirectory, directory, length + 1);  // may be handed its own buffer
  }
  BuildPath();
}

const char* GetLogStartupDirectory() { return g_log.startupDirectory; }

void SetLogOutsideWindowMode(int on) { g_log.outsideWindow = on; }

void SetLogFileSettings(int logOff, int datedName, int noStamp) {
  g_log.logOff = logOff;
  g_log.datedName = datedName;
  g_log.noStamp = noStamp;
}

int GetLogIndentLevel() { return g_log.indentLevel; }

const char* GetLogFilePath() { return g_log.path; }

}  // namespace orbel
