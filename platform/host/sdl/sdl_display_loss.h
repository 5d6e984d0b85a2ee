// The SDL host's watch on its display: a broken connection to the X server ends the process through
// EndForLostDisplay instead of Xlib's default, which calls exit(1) from inside the call that found it.
#pragma once

namespace plat::host {
// Watches every X connection of the process (SDL's, the GL driver's, a message box's) once SDL video
// runs on X; nothing on other video drivers.
void WatchForDisplayLoss(const char* videoDriver);
}  // namespace plat::host
