// Inside the DirectShow stand-in: one movie file read through FFmpeg. Demuxes the file, decodes its
// video stream frame by frame (one frame decoded ahead, so the time of the next one is known), converts
// the current frame into a caller's pixel rows, seeks, and decodes the sound stream packets met on the
// way into a MovieSound. Times are stream times in 100-nanosecond units from the film's start (the
// earlier start of its two streams, so a sound that begins after the picture keeps its place). Not
// thread-safe: the engine's lock guards it. Only platform/dshow includes this file.
#pragma once

#include <cstdint>
#include <memory>

namespace plat::dshow {

class MovieSound;

constexpr int64_t kUnitsPerSecond = 10000000;  // stream time units (100 ns)
// Stream times are kept below this (about 3,600 years), so sums of times and lengths cannot overflow.
constexpr int64_t kLatestTime = int64_t{1} << 60;

// The pixel layouts frames are converted into (byte order in memory).
enum class FramePixels { Bgrx32, Rgbx32, Bgr24, Rgb24, Rgb565, Rgb555 };

class MovieDecoder {
 public:
  enum class OpenError { None, NotFound, Unreadable };

  // Opens a file (a POSIX path) for its video stream and, when `sound` is given, its sound stream.
  // Null with *error set when the file is missing, unreadable, or holds neither stream.
  static std::unique_ptr<MovieDecoder> Open(const char* path, bool video, std::shared_ptr<MovieSound> sound,
                                            OpenError* error);
  ~MovieDecoder();
  MovieDecoder(const MovieDecoder&) = delete;
  MovieDecoder& operator=(const MovieDecoder&) = delete;

  bool HasVideo() const;
  int Width() const;   // pixels; 0 without video
  int Height() const;

  // The time of the next frame (decoding it when needed); false when no frame is left, and then
  // EndTime() is the time the last frame ends.
  bool PeekNext(int64_t* time);
  int64_t EndTime() const;
  // The frame PeekNext found becomes the current one.
  void TakeNext();
  bool HasCurrent() const;
  int64_t CurrentTime() const;
  // Writes the current frame into `height` rows of `pitch` bytes; false when there is none.
  bool ConvertCurrent(uint8_t* pixels, int pitch, FramePixels layout);
  // Positions the file so that the frames from `time` on come next; the current frame is dropped.
  void Seek(int64_t time);
  // Reads on until the sound stream has been decoded up to `time` (or the file ends), keeping the
  // video packets met on the way for later. False when it stopped early because as many video packets
  // are kept as may be: decoding the video frames makes room.
  bool ReadSoundUntil(int64_t time);

 private:
  struct Impl;
  explicit MovieDecoder(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace plat::dshow
