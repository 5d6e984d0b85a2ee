// moviegen: writes one test movie (fuzz seeds, trying the movie road by hand).
//   moviegen OUT CONTAINER CODEC WIDTH HEIGHT FPS FRAMES [sound[=CODEC]] [busy]
// CODEC is a libavcodec encoder name; a video CODEC of "none" writes sound only.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/moviegen/movie_writer.h"

extern "C" {
#include <libavutil/log.h>
}

int main(int argc, char** argv) {
  if (argc < 8) {
    std::fprintf(stderr, "usage: moviegen OUT CONTAINER CODEC WIDTH HEIGHT FPS FRAMES [sound[=CODEC]] [busy]\n");
    return 2;
  }
  orbel::moviegen::MovieSpec spec;
  spec.path = argv[1];
  spec.container = argv[2];
  spec.videoCodec = argv[3];
  spec.width = std::atoi(argv[4]);
  spec.height = std::atoi(argv[5]);
  spec.fpsNumerator = std::atoi(argv[6]);
  spec.frames = std::atoi(argv[7]);
  for (int i = 8; i < argc; ++i) {
    if (std::strcmp(argv[i], "sound") == 0) spec.sound = true;
    if (std::strncmp(argv[i], "sound=", 6) == 0) spec.sound = true, spec.soundCodec = argv[i] + 6;
    if (std::strcmp(argv[i], "busy") == 0) spec.picture = orbel::moviegen::Picture::Busy;
  }
  if (spec.width <= 0 || spec.height <= 0 || spec.fpsNumerator <= 0 || spec.frames <= 0) {
    std::fprintf(stderr, "moviegen: sizes, rate and frame count must be positive\n");
    return 2;
  }
  av_log_set_level(AV_LOG_ERROR);  // the encoders' notes are not wanted
  std::string error;
  if (!orbel::moviegen::WriteMovie(spec, &error)) {
    std::fprintf(stderr, "moviegen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
