// The signals that ask a program to end from outside -- SIGTERM (the session's end, `kill`, a service
// stop), SIGHUP (the terminal closed) and SIGINT (Ctrl-C) -- reach it as the user's close of its main
// window: the host's close event for that window, delivered at the next pump, so that WM_CLOSE reaches
// the program and its own end runs, exit handlers and all.
//
// Only those of the three whose disposition is still the default when the main window is made are
// taken; a handler or SIG_IGN that the program set is left alone, and every other signal keeps its
// default action. The handler only writes the signal's number to a pipe; a watcher thread says one line
// on stderr, calls the notice and queues the close. When the program has not ended 2 s of real time
// later, or a second of these signals comes, the watcher ends the process at once (exit, so that the
// exit handlers run). Once every exit handler has run the signal is raised again with its default
// action, so that the status says the signal.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

// The program's last word for its log, given the signal's name ("SIGTERM"). It runs on the watcher
// thread and must not use windows or the display.
using EndSignalNotice = void (*)(const char* signalName);

// The main window, made (with its notice) or gone (null). While no window is set, a signal ends the
// process at once, its exit handlers run.
void SetEndSignalWindow(HWND window, EndSignalNotice notice);

}  // namespace plat
