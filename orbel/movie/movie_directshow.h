// What the DirectShow movie files share: the releases, the overlay hide, and the overlay placement as a
// pure function of the window, the clip box and the display's alignment rules.
#pragma once

#include "orbel/movie/movie_record.h"
#include "platform/ddraw/ddraw.h"
#include "platform/dshow/dshow.h"

namespace orbel {

// Releases the thirteen interfaces (each pointer cleared); the event, the temporary copy, the opened
// path, the flags and the frame image area stay.
void ReleaseMovieStreams(MovieHandleRecord* m);
// Closes the update event, once.
void CloseMovieEvent(MovieHandleRecord* m);
// Takes the overlay off the screen and forgets the rectangles it was shown with.
void HideMovieOverlay(MovieHandleRecord* m);

// Where an overlay of a `width` x `height` frame drawn at (x, y) of the client area, `scale` times its
// size, goes on the screen. `clipKind` is what the window DC's clip box query gave (0: no query, in full
// screen), `clipBox` its box in client coordinates, `client` the client area in screen coordinates.
struct MovieOverlayPlace {
  plat::RECT source;
  plat::RECT destination;
  int shown;
};
MovieOverlayPlace PlaceMovieOverlay(int width, int height, int x, int y, int scale, int shown, int clipKind,
                                    const plat::RECT& clipBox, const plat::RECT& client, const plat::DDCAPS& caps);

}  // namespace orbel
