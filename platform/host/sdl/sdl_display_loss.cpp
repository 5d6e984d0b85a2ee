// Xlib reports a connection that broke (the server ended, the session closed, a forwarded connection
// dropped) to one process-wide I/O error handler, which must not return: Xlib would end the process
// itself. The handler set here ends it through the host, which says so, lets the program log it, and
// exits with the exit handlers run. SDL itself sets no such handler, so setting it once after SDL video
// started on X covers every connection made since or later.
#include "platform/host/sdl/sdl_display_loss.h"

#include <X11/Xlib.h>

#include <cstring>

#include "platform/host/host.h"

namespace plat::host {
namespace {

int OnBrokenConnection(Display* display) { EndForLostDisplay(DisplayString(display)); }

}  // namespace

void WatchForDisplayLoss(const char* videoDriver) {
  if (videoDriver == nullptr || std::strcmp(videoDriver, "x11") != 0) return;
  XSetIOErrorHandler(&OnBrokenConnection);
}

}  // namespace plat::host
