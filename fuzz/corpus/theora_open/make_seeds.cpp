// Writes the seeds of this corpus with the movie tests' encoder:
//   g++ -std=c++20 -Itests/movie fuzz/corpus/theora_open/make_seeds.cpp tests/movie/movie_fixture.cpp \
//       $(pkg-config --cflags --libs theoraenc theoradec vorbisenc vorbis ogg) -o make_seeds && ./make_seeds DIR
#include "movie_fixture.h"
#include <fstream>
using namespace orbel::testing;
static void Put(const char* name, const std::vector<uint8_t>& b) { std::ofstream(name, std::ios::binary).write((const char*)b.data(), b.size()); }
int main(int, char** argv) {
  std::string d = argv[1];
  MovieSpec a; a.pictureWidth = 32; a.pictureHeight = 16; a.frames = 4; a.keyInterval = 2;
  Put((d + "/small420.ogv").c_str(), MakeTheoraMovie(a));
  MovieSpec b; b.pictureWidth = 22; b.pictureHeight = 18; b.pictureX = 2; b.pictureY = 4; b.frames = 3; b.withSound = true;
  Put((d + "/region_sound.ogv").c_str(), MakeTheoraMovie(b));
  MovieSpec c; c.pictureWidth = 16; c.pictureHeight = 16; c.frames = 3; c.chroma = 444;
  Put((d + "/small444.ogv").c_str(), MakeTheoraMovie(c));
  MovieSpec e; e.pictureWidth = 16; e.pictureHeight = 32; e.frames = 2; e.chroma = 422; e.fpsNumerator = 30000; e.fpsDenominator = 1001;
  Put((d + "/small422.ogv").c_str(), MakeTheoraMovie(e));
  Put((d + "/vorbis_only.ogg").c_str(), MakeVorbisOnlyOgg(0.1));
}
