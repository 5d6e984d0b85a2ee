// The SDL host's watch on its display: a broken connection to the X server ends the process through
// EndForLostDisplay instead of Xlib's default, which calls exit(1) from inside the call that found it.
#pragma once

namespace plat::host {
// Watches every X connection of the process (SDL's, a message box's, any library's), from the first one
// on: called before SDL video starts. Other video drivers open no X connection for it to watch.
void WatchForDisplayLoss();
}  // namespace plat::host
