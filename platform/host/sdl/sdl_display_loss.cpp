// Xlib reports a connection that broke (the server ended, the session closed, a forwarded connection
// dropped) to one process-wide I/O error handler, which must not return: Xlib would end the process
// itself. The handler set here ends it through the host, which says so, lets the program log it, and
// exits with the exit handlers run. SDL itself sets no such handler, so setting it once before SDL video
// starts covers every connection, the first one's handshake included.
#include "platform/host/sdl/sdl_display_loss.h"

#include <X11/Xlib.h>

#include "platform/host/host.h"

namespace plat::host {
namespace {

int OnBrokenConnection(Display* display) { EndForLostDisplay(DisplayString(display)); }

}  // namespace

void WatchForDisplayLoss() { XSetIOErrorHandler(&OnBrokenConnection); }

}  // namespace plat::host
