// The signals that ask a program to end from outside -- SIGTERM (the session's end, `kill`, a service
// stop), SIGHUP (the terminal closed) and SIGINT (Ctrl-C) -- reach it as the user's close of its main
// window: the host's close event for that window, delivered at the next pump, so that WM_CLOSE reaches
// the program and its own end runs, exit handlers and all.
//
// Only those of the three whose disposition is still the default when the main window is made are
// taken; a handler or SIG_IGN that the program set is left alone, and every other signal keeps its
// default action. The handler only writes the signal's number to a pipe; a watcher thread queues the
// close, starts the grace period and says one line on stderr (only when it can be written at once: a
// pipe nobody reads never holds it); the notice is called as the close is delivered. When the program has
// not ended 2 s of real time later, or a second of these signals comes, the watcher ends the process at
// once (exit, so that the exit handlers run); a signal that comes while it does ends the process there
// and then. Once every exit handler has run the signal is raised again with its default action, so that
// the status says the signal.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

// The program's last word for its log, given the signal's name ("SIGTERM"). It runs once a signal, on the
// thread that pumps as the close is delivered (or ends the window first); when the program ends before
// that, on a thread of its own that the end waits for a moment at most. It must not use windows or the
// display.
using EndSignalNotice = void (*)(const char* signalName);

// The main window, made (with its notice) or gone (null). While no window is set, a signal ends the
// process at once, its exit handlers run.
void SetEndSignalWindow(HWND window, EndSignalNotice notice);

// Called by the pump as it delivers a close: the notice of a signal that asked for it, when one is due.
void WriteEndSignalNotice();

}  // namespace plat
