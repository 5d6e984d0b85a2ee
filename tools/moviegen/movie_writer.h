// Movie files made for tests and benches with libavcodec's own encoders (MPEG-4 part 2, Motion JPEG)
// and libavformat's muxers: no media is committed. Each frame shows its own number as a grey level
// (flat frames) or, on a busy moving picture, in a grey square at the top left, so a reader can tell
// which frame it sees. Optional sound: a 1 kHz sine, 16-bit PCM stereo at 44,100 Hz.
#pragma once

#include <string>

namespace orbel::moviegen {

enum class Picture { Flat, Busy };

struct MovieSpec {
  std::string path;                // UTF-8
  std::string container = "avi";   // a libavformat muxer name: "avi", "mp4", "matroska", ...
  std::string videoCodec = "mpeg4";  // "mpeg4" or "mjpeg"
  int width = 64;                  // pixels (even)
  int height = 48;
  int fpsNumerator = 30;
  int fpsDenominator = 1;
  int frames = 30;
  int keyInterval = 10;  // frames between key frames
  Picture picture = Picture::Flat;
  bool sound = false;
};

// The luma level of frame n's marker (24 + 7 (n mod 30)), and the frame a grey RGB value read back
// shows (the nearest level).
int FrameLuma(int frame);
int FrameFromGrey(int grey);

// Writes the movie; false with *error set on failure.
bool WriteMovie(const MovieSpec& spec, std::string* error);

}  // namespace orbel::moviegen
