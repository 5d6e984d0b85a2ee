// The message pump: one call carries out a pending window/full-screen switch, drains the window
// messages in rounds of five, sleeps (serviced) while the application is inactive and may not run in
// the background, then services sounds, music, pads, network, HTTP and key input.
#pragma once

namespace orbel {

// 0 normally, -1 once the quit flag is set.
int PumpWindowMessage();
// Returns when the application may draw (pumping while it is inactive), then restores lost graphs.
void WaitWhileInactive();

}  // namespace orbel
