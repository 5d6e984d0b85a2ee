// Movie files made for tests, benches and fuzz seeds with libavcodec's encoders and libavformat's muxers:
// no media is committed. Each frame shows its own number as a grey level (flat frames) or, on a busy
// moving picture, in a grey square at the top left, so a reader can tell which frame it sees. Optional
// stereo sound at 44,100 Hz (16-bit PCM unless another encoder is named): a 1 kHz sine throughout, or a
// beep in the first tenth of each second whose pitch tells the second (so a listener knows where it is).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orbel::moviegen {

enum class Picture { Flat, Busy };

struct MovieSpec {
  std::string path;                // UTF-8
  std::string container = "avi";   // a libavformat muxer name: "avi", "mp4", "matroska", ...
  std::string videoCodec = "mpeg4";  // a libavcodec encoder name; "none": no picture
  int width = 64;                  // pixels (even)
  int height = 48;
  int fpsNumerator = 30;
  int fpsDenominator = 1;
  int frames = 30;
  // Set: frame n shows from frameTime(n) seconds on (rising, kept to the millisecond), and the sound
  // runs to frameTime(frames); the file still declares the frame rate above. Needs a container that
  // keeps each frame's time, such as "matroska".
  double (*frameTime)(int frame) = nullptr;
  int keyInterval = 10;  // frames between key frames
  Picture picture = Picture::Flat;
  bool sound = false;
  std::string soundCodec = "pcm_s16le";  // a libavcodec encoder name
  bool beeps = false;  // the sound is the beeps of BeepHz
  int soundFromSecond = 0;  // the sound stream begins this far into the film (its first time)
};

// The pitch of the beep that starts second `second` of a beeping film: 400 Hz + 200 Hz x (second mod 8).
int BeepHz(int second);

// A beep heard in 44,100 Hz interleaved stereo (16-bit): the frame where it sets in, and the second of
// the film (mod 8) that its pitch names.
struct HeardBeep {
  int64_t frame;
  int second;
};
std::vector<HeardBeep> ListenForBeeps(const std::vector<int16_t>& stereo);

// The luma level of frame n's marker (24 + 7 (n mod 30)), and the frame a grey RGB value read back
// shows (the nearest level).
int FrameLuma(int frame);
int FrameFromGrey(int grey);

// Writes the movie; false with *error set on failure.
bool WriteMovie(const MovieSpec& spec, std::string* error);

}  // namespace orbel::moviegen
