// Movies made at test time with libtheora's and libvorbis's encoders over libogg: each frame carries its
// number in two 16x16 blocks at the top left (low and high digit, base 16, as luma levels), over a still
// checkered background, so decoded frames tell which frame they are. Vorbis pages are flushed with every
// frame and key frames come at a fixed interval.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orbel::testing {

struct MovieSpec {
  int pictureWidth = 64;   // pixels; the coded frame is rounded up to 16
  int pictureHeight = 48;
  int pictureX = 0;  // offset of the picture in the coded frame
  int pictureY = 0;
  int frames = 30;
  int fpsNumerator = 30;
  int fpsDenominator = 1;
  int keyInterval = 8;        // a key frame every this many frames
  int chroma = 420;           // 420, 422 or 444
  bool withSound = false;     // a Vorbis stream as long as the film (mono, 22050 Hz)
  bool paddingWhite = true;   // the coded frame outside the picture is white
};

// The movie's bytes; empty when an encoder refused.
std::vector<uint8_t> MakeTheoraMovie(const MovieSpec& spec);
// An Ogg file with only a Vorbis stream of `seconds`.
std::vector<uint8_t> MakeVorbisOnlyOgg(double seconds);
// Rewrites the frame-rate numerator of the Theora identification header (and the page's checksum).
void PatchTheoraFrameRate(std::vector<uint8_t>* movie, uint32_t numerator);
// Rewrites the coded frame size of the identification header, in pixels (multiples of 16).
void PatchTheoraCodedFrame(std::vector<uint8_t>* movie, uint32_t width, uint32_t height);
// The film (Theora only, no sound) with its packet `index` (headers count: the first frame is packet 3)
// replaced by `packet`, framed anew one packet a page.
std::vector<uint8_t> ReplaceTheoraPacket(const std::vector<uint8_t>& movie, int index,
                                         const std::vector<uint8_t>& packet);

// Luma of frame `frame`'s low (digit 0) and high (digit 1) number blocks.
int FrameDigitLuma(int frame, int digit);
// The frame number that two grey levels (0..255, as shown after conversion) stand for.
int FrameFromGreys(int lowGrey, int highGrey);
// Where the two number blocks are sampled, in picture pixels.
constexpr int kDigitSampleY = 8;
constexpr int kLowDigitX = 8;
constexpr int kHighDigitX = 24;

}  // namespace orbel::testing
