// The log file "Log.txt": every line stamped with the milliseconds since the log was started and
// indented by a nesting level; the same text (without the stamp) goes to the debugger output.
#pragma once

namespace orbel {

// Creates the empty log file in the start-up directory; returns 1.
int StartLogFile();
// Appends a text (LF made CR LF, stamped and indented at line starts). Always returns -1, so an error
// path can return its result.
int LogAdd(const char* text);
// Formats printf-style (bounded, cut on a character boundary), appends "\n" and writes it; returns -1.
int LogFmtAdd(const char* format, ...) __attribute__((format(printf, 1, 2)));
int LogTabAdd();
int LogTabSub();

// The directory the log file lives in; empty disables the file.
void SetLogStartupDirectory(const char* directory);
const char* GetLogStartupDirectory();
// Outside-window mode: the log goes only to the debugger output.
void SetLogOutsideWindowMode(int on);
// The three file settings (all 0 by default): no log file at all; the dated file name
// "Log<Y>_<M>_<D>_<h>_<m>_<s>.txt" (taken at the next StartLogFile); no time stamps.
void SetLogFileSettings(int logOff, int datedName, int noStamp);
int GetLogIndentLevel();
// The full path of the log file, empty while the start-up directory is empty.
const char* GetLogFilePath();

// The on-screen log display: set up at the end of start-up, drawn only when its draw flag is set.
int GetLogDrawFlag();
int InitLogDisplay();
int CreateLogDisplayFont();
int DrawLogDisplay();
// Shut-down: deletes the display font and clears the display's set-up flag.
void TerminateLogDisplay();

}  // namespace orbel
