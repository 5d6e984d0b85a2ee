// The test movies' encoder.
#include "movie_fixture.h"

#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstring>

namespace orbel::testing {
namespace {

constexpr int kDigitStep = 13;  // luma between two digit values
constexpr int kSoundRate = 22050;

void AppendPage(std::vector<uint8_t>* out, const ogg_page& page) {
  out->insert(out->end(), page.header, page.header + page.header_len);
  out->insert(out->end(), page.body, page.body + page.body_len);
}

void FlushAll(ogg_stream_state* stream, std::vector<uint8_t>* out) {
  ogg_page page;
  while (ogg_stream_flush(stream, &page) != 0) AppendPage(out, page);
}

struct SoundEncoder {
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  ogg_stream_state stream;
  int64_t written = 0;  // samples

  bool Start(int serial) {
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, kSoundRate, 0.1f) != 0) return false;
    vorbis_comment_init(&comment);
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_init(&stream, serial);
    return true;
  }
  void Headers(std::vector<uint8_t>* bosOut, std::vector<uint8_t>* restOut) {
    ogg_packet id, comm, code;
    vorbis_analysis_headerout(&dsp, &comment, &id, &comm, &code);
    ogg_stream_packetin(&stream, &id);
    FlushAll(&stream, bosOut);
    ogg_stream_packetin(&stream, &comm);
    ogg_stream_packetin(&stream, &code);
    FlushAll(&stream, restOut);
  }
  void Drain(std::vector<uint8_t>* out) {
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) ogg_stream_packetin(&stream, &packet);
    }
    FlushAll(&stream, out);
  }
  // A quiet tone up to sample `until`, its pages flushed.
  void WriteUntil(int64_t until, std::vector<uint8_t>* out) {
    const int count = static_cast<int>(until - written);
    if (count > 0) {
      float** buffer = vorbis_analysis_buffer(&dsp, count);
      for (int i = 0; i < count; ++i)
        buffer[0][i] = 0.2f * std::sin(static_cast<float>(written + i) * 440.0f * 6.2831853f / kSoundRate);
      vorbis_analysis_wrote(&dsp, count);
      written = until;
    }
    Drain(out);
  }
  void Finish(std::vector<uint8_t>* out) {
    vorbis_analysis_wrote(&dsp, 0);
    Drain(out);
  }
  void Clear() {
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
  }
};

int RoundUp16(int v) { return (v + 15) & ~15; }

// Frame `index` in the coded frame's planes.
void PaintFrame(const MovieSpec& spec, int index, th_ycbcr_buffer planes) {
  for (int plane = 0; plane < 3; ++plane) {
    th_img_plane& p = planes[plane];
    const int xShift = plane == 0 ? 0 : (spec.chroma == 444 ? 0 : 1);
    const int yShift = plane == 0 ? 0 : (spec.chroma == 420 ? 1 : 0);
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        const int fx = (x << xShift) - spec.pictureX;  // picture coordinates
        const int fy = (y << yShift) - spec.pictureY;
        const bool inPicture = fx >= 0 && fy >= 0 && fx < spec.pictureWidth && fy < spec.pictureHeight;
        int value;
        if (plane != 0) {
          value = 128;
        } else if (!inPicture) {
          value = spec.paddingWhite ? 235 : 128;
        } else if (fy < 16 && fx < 16) {
          value = FrameDigitLuma(index, 0);
        } else if (fy < 16 && fx < 32) {
          value = FrameDigitLuma(index, 1);
        } else {
          value = ((fx / 8 + fy / 8) & 1) ? 150 : 70;  // still background
        }
        p.data[y * p.stride + x] = static_cast<unsigned char>(value);
      }
    }
  }
}

}  // namespace

int FrameDigitLuma(int frame, int digit) {
  const int value = digit == 0 ? frame % 16 : (frame / 16) % 16;
  return 16 + kDigitStep * value;
}

int FrameFromGreys(int lowGrey, int highGrey) {
  // Grey = 1.164 * (luma - 16), and luma - 16 = 13 * digit.
  const double step = kDigitStep * 1.164;
  const int low = static_cast<int>(std::lround(lowGrey / step));
  const int high = static_cast<int>(std::lround(highGrey / step));
  return high * 16 + low;
}

std::vector<uint8_t> MakeTheoraMovie(const MovieSpec& spec) {
  th_info info;
  th_info_init(&info);
  info.frame_width = static_cast<ogg_uint32_t>(RoundUp16(spec.pictureX + spec.pictureWidth));
  info.frame_height = static_cast<ogg_uint32_t>(RoundUp16(spec.pictureY + spec.pictureHeight));
  info.pic_width = static_cast<ogg_uint32_t>(spec.pictureWidth);
  info.pic_height = static_cast<ogg_uint32_t>(spec.pictureHeight);
  info.pic_x = static_cast<ogg_uint32_t>(spec.pictureX);
  info.pic_y = static_cast<ogg_uint32_t>(spec.pictureY);
  info.fps_numerator = static_cast<ogg_uint32_t>(spec.fpsNumerator);
  info.fps_denominator = static_cast<ogg_uint32_t>(spec.fpsDenominator);
  info.aspect_numerator = 1;
  info.aspect_denominator = 1;
  info.colorspace = TH_CS_UNSPECIFIED;
  info.pixel_fmt = spec.chroma == 444 ? TH_PF_444 : (spec.chroma == 422 ? TH_PF_422 : TH_PF_420);
  info.quality = 63;
  info.target_bitrate = 0;
  info.keyframe_granule_shift = 6;
  th_enc_ctx* enc = th_encode_alloc(&info);
  std::vector<uint8_t> out;
  if (enc == nullptr) {
    th_info_clear(&info);
    return out;
  }
  ogg_uint32_t keyInterval = static_cast<ogg_uint32_t>(spec.keyInterval);
  th_encode_ctl(enc, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &keyInterval, sizeof(keyInterval));

  ogg_stream_state video;
  ogg_stream_init(&video, 0x7E0);
  SoundEncoder sound{};
  const bool withSound = spec.withSound && sound.Start(0x50D);

  // Beginning-of-stream pages first (video, then sound), then the remaining headers.
  th_comment comment;
  th_comment_init(&comment);
  ogg_packet packet;
  std::vector<uint8_t> rest;
  bool first = true;
  while (th_encode_flushheader(enc, &comment, &packet) > 0) {
    ogg_stream_packetin(&video, &packet);
    if (first) {
      FlushAll(&video, &out);
      first = false;
    }
  }
  if (withSound) sound.Headers(&out, &rest);
  FlushAll(&video, &out);
  out.insert(out.end(), rest.begin(), rest.end());

  th_ycbcr_buffer planes;
  std::vector<unsigned char> storage[3];
  for (int plane = 0; plane < 3; ++plane) {
    const int w = plane == 0 || spec.chroma == 444 ? info.frame_width : info.frame_width / 2;
    const int h = plane == 0 || spec.chroma != 420 ? info.frame_height : info.frame_height / 2;
    storage[plane].assign(static_cast<size_t>(w) * h, 0);
    planes[plane].width = w;
    planes[plane].height = h;
    planes[plane].stride = w;
    planes[plane].data = storage[plane].data();
  }
  for (int i = 0; i < spec.frames; ++i) {
    if (withSound) {
      const int64_t until = static_cast<int64_t>(i) * kSoundRate * spec.fpsDenominator / spec.fpsNumerator;
      sound.WriteUntil(until, &out);
    }
    PaintFrame(spec, i, planes);
    th_encode_ycbcr_in(enc, planes);
    while (th_encode_packetout(enc, i + 1 == spec.frames, &packet) > 0) ogg_stream_packetin(&video, &packet);
    FlushAll(&video, &out);
  }
  if (withSound) {
    sound.WriteUntil(static_cast<int64_t>(spec.frames) * kSoundRate * spec.fpsDenominator / spec.fpsNumerator, &out);
    sound.Finish(&out);
    sound.Clear();
  }
  ogg_stream_clear(&video);
  th_comment_clear(&comment);
  th_encode_free(enc);
  th_info_clear(&info);
  return out;
}

std::vector<uint8_t> MakeVorbisOnlyOgg(double seconds) {
  SoundEncoder sound{};
  std::vector<uint8_t> out;
  if (!sound.Start(0x50D)) return out;
  std::vector<uint8_t> rest;
  sound.Headers(&out, &rest);
  out.insert(out.end(), rest.begin(), rest.end());
  sound.WriteUntil(static_cast<int64_t>(seconds * kSoundRate), &out);
  sound.Finish(&out);
  sound.Clear();
  return out;
}

namespace {

// Writes `value` big-endian into `bytes` bytes of the identification header at `at` and sets the page's
// checksum again. The first page holds that header alone: 27 header bytes, one lacing value, the packet.
void PatchIdentification(std::vector<uint8_t>* movie, size_t at, int bytes, uint32_t value) {
  const size_t packetAt = 28;
  for (int i = 0; i < bytes; ++i)
    (*movie)[packetAt + at + i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
  ogg_page page;
  page.header = movie->data();
  page.header_len = static_cast<long>(packetAt);
  page.body = movie->data() + packetAt;
  page.body_len = (*movie)[27];
  ogg_page_checksum_set(&page);
}

}  // namespace

void PatchTheoraFrameRate(std::vector<uint8_t>* movie, uint32_t numerator) {
  PatchIdentification(movie, 22, 4, numerator);
}

void PatchTheoraCodedFrame(std::vector<uint8_t>* movie, uint32_t width, uint32_t height) {
  PatchIdentification(movie, 10, 2, width / 16);  // in macroblocks
  PatchIdentification(movie, 12, 2, height / 16);
}

std::vector<uint8_t> ReplaceTheoraPacket(const std::vector<uint8_t>& movie, int index,
                                         const std::vector<uint8_t>& packet) {
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, static_cast<long>(movie.size()));
  std::memcpy(buffer, movie.data(), movie.size());
  ogg_sync_wrote(&sync, static_cast<long>(movie.size()));
  ogg_stream_state in, out;
  ogg_page page;
  std::vector<uint8_t> result;
  int count = 0;
  while (ogg_sync_pageout(&sync, &page) > 0) {
    if (count == 0 && ogg_page_bos(&page)) {
      ogg_stream_init(&in, ogg_page_serialno(&page));
      ogg_stream_init(&out, ogg_page_serialno(&page));
    }
    ogg_stream_pagein(&in, &page);
    ogg_packet p;
    while (ogg_stream_packetout(&in, &p) > 0) {
      if (count++ == index) {
        p.packet = const_cast<unsigned char*>(packet.data());
        p.bytes = static_cast<long>(packet.size());
      }
      ogg_stream_packetin(&out, &p);
      FlushAll(&out, &result);
    }
  }
  ogg_stream_clear(&in);
  ogg_stream_clear(&out);
  ogg_sync_clear(&sync);
  return result;
}

}  // namespace orbel::testing
