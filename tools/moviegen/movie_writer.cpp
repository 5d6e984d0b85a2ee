// The test-movie writer: one video stream (and optionally one PCM sound stream) encoded frame by frame
// and muxed into the container asked for.
#include "tools/moviegen/movie_writer.h"

#include <cmath>
#include <cstdlib>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace orbel::moviegen {
namespace {

constexpr int kSoundRate = 44100;
constexpr int kSoundFrames = 1024;  // samples per sound packet
constexpr double kToneHz = 1000.0;
constexpr int kMarkerSide = 32;  // pixels: the frame-number square of a busy picture

struct Deleters {
  void operator()(AVFormatContext* c) const {
    if (c->pb != nullptr) avio_closep(&c->pb);
    avformat_free_context(c);
  }
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
  void operator()(AVFrame* f) const { av_frame_free(&f); }
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Deleters>;

struct Output {
  Owned<AVCodecContext> codec;
  AVStream* stream = nullptr;
};

bool Fail(std::string* error, const std::string& what, int code = 0) {
  if (error != nullptr) {
    *error = what;
    if (code != 0) {
      char text[AV_ERROR_MAX_STRING_SIZE] = {};
      av_strerror(code, text, sizeof text);
      *error += ": ";
      *error += text;
    }
  }
  return false;
}

// Sends one frame (null: the end) and writes every packet that comes out.
bool Encode(AVFormatContext* format, Output& out, AVFrame* frame, std::string* error) {
  int rc = avcodec_send_frame(out.codec.get(), frame);
  if (rc < 0) return Fail(error, "send frame", rc);
  Owned<AVPacket> packet(av_packet_alloc());
  while (true) {
    rc = avcodec_receive_packet(out.codec.get(), packet.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) return Fail(error, "receive packet", rc);
    av_packet_rescale_ts(packet.get(), out.codec->time_base, out.stream->time_base);
    packet->stream_index = out.stream->index;
    rc = av_interleaved_write_frame(format, packet.get());
    if (rc < 0) return Fail(error, "write packet", rc);
  }
}

void PaintFrame(const MovieSpec& spec, int n, AVFrame* frame) {
  const int w = spec.width;
  const int h = spec.height;
  // Motion JPEG's pictures are full range: the same grey needs the level stretched.
  const bool fullRange = spec.videoCodec == "mjpeg";
  const auto marker = static_cast<uint8_t>(fullRange ? (FrameLuma(n) - 16) * 255 / 219 : FrameLuma(n));
  for (int y = 0; y < h; ++y) {
    uint8_t* row = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
    for (int x = 0; x < w; ++x) {
      if (spec.picture == Picture::Flat || (x < kMarkerSide && y < kMarkerSide)) {
        row[x] = marker;
      } else {
        // Moving diagonal bands and a drifting grain: work for the motion search on every block.
        const unsigned grain = (static_cast<unsigned>(x * 7919 + y * 104729 + n * 31) * 2654435761u) >> 28;
        row[x] = static_cast<uint8_t>(32 + ((x + y * 2 + n * 3) & 127) + grain);
      }
    }
  }
  for (int plane = 1; plane <= 2; ++plane) {
    for (int y = 0; y < (h + 1) / 2; ++y) {
      uint8_t* row = frame->data[plane] + static_cast<ptrdiff_t>(y) * frame->linesize[plane];
      for (int x = 0; x < (w + 1) / 2; ++x) {
        const bool inMarker = x < kMarkerSide / 2 && y < kMarkerSide / 2;
        row[x] = spec.picture == Picture::Flat || inMarker ? 128
                                                           : static_cast<uint8_t>(96 + ((x * plane + y + n) & 63));
      }
    }
  }
}

bool OpenVideo(const MovieSpec& spec, AVFormatContext* format, Output* out, std::string* error) {
  const AVCodec* codec = avcodec_find_encoder_by_name(spec.videoCodec.c_str());
  if (codec == nullptr) return Fail(error, "no encoder " + spec.videoCodec);
  out->stream = avformat_new_stream(format, nullptr);
  out->codec.reset(avcodec_alloc_context3(codec));
  if (out->stream == nullptr || !out->codec) return Fail(error, "video stream");
  AVCodecContext* c = out->codec.get();
  c->width = spec.width;
  c->height = spec.height;
  // Frames at times of their own are stamped in milliseconds.
  c->time_base = spec.frameTime != nullptr ? AVRational{1, 1000} : AVRational{spec.fpsDenominator, spec.fpsNumerator};
  c->framerate = AVRational{spec.fpsNumerator, spec.fpsDenominator};
  c->gop_size = spec.keyInterval;
  c->max_b_frames = 0;
  c->pix_fmt = spec.videoCodec == "mjpeg" ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
  // Fixed fine quantiser: flat frames keep their grey level within a step.
  c->flags |= AV_CODEC_FLAG_QSCALE;
  c->global_quality = FF_QP2LAMBDA * 2;
  if (format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int rc = avcodec_open2(c, codec, nullptr);
  if (rc < 0) return Fail(error, "open video encoder", rc);
  out->stream->time_base = c->time_base;
  out->stream->avg_frame_rate = c->framerate;
  return avcodec_parameters_from_context(out->stream->codecpar, c) >= 0 || Fail(error, "video parameters");
}

bool OpenSound(const MovieSpec& spec, AVFormatContext* format, Output* out, std::string* error) {
  const AVCodec* codec = avcodec_find_encoder_by_name(spec.soundCodec.c_str());
  if (codec == nullptr) return Fail(error, "no encoder " + spec.soundCodec);
  out->stream = avformat_new_stream(format, nullptr);
  out->codec.reset(avcodec_alloc_context3(codec));
  if (out->stream == nullptr || !out->codec) return Fail(error, "sound stream");
  AVCodecContext* c = out->codec.get();
  c->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  c->sample_rate = kSoundRate;
  av_channel_layout_default(&c->ch_layout, 2);
  c->time_base = AVRational{1, kSoundRate};
  c->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;  // FFmpeg's own Vorbis encoder
  if (format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int rc = avcodec_open2(c, codec, nullptr);
  if (rc < 0) return Fail(error, "open sound encoder", rc);
  out->stream->time_base = c->time_base;
  return avcodec_parameters_from_context(out->stream->codecpar, c) >= 0 || Fail(error, "sound parameters");
}

// The level of sound sample `n` (16-bit range).
double SoundLevel(const MovieSpec& spec, int64_t n) {
  if (!spec.beeps) return 8000.0 * std::sin(2.0 * M_PI * kToneHz * static_cast<double>(n) / kSoundRate);
  const int64_t into = n % kSoundRate;  // samples into the second
  const double hz = BeepHz(static_cast<int>(n / kSoundRate));
  return into < kSoundRate / 10 ? 8000.0 * std::sin(2.0 * M_PI * hz * static_cast<double>(into) / kSoundRate) : 0.0;
}

// Writes `level` (16-bit range) as sample `i` of both channels of a frame in the encoder's format.
void PutSample(AVFrame* frame, int i, double level) {
  const auto format = static_cast<AVSampleFormat>(frame->format);
  const bool planar = av_sample_fmt_is_planar(format) != 0;
  for (int channel = 0; channel < 2; ++channel) {
    uint8_t* base = frame->data[planar ? channel : 0];
    const int at = planar ? i : i * 2 + channel;
    switch (av_get_packed_sample_fmt(format)) {
      case AV_SAMPLE_FMT_U8: base[at] = static_cast<uint8_t>(128 + std::lround(level / 256.0)); break;
      case AV_SAMPLE_FMT_S16: reinterpret_cast<int16_t*>(base)[at] = static_cast<int16_t>(std::lround(level)); break;
      case AV_SAMPLE_FMT_S32: reinterpret_cast<int32_t*>(base)[at] = static_cast<int32_t>(std::lround(level * 65536.0)); break;
      case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(base)[at] = static_cast<float>(level / 32768.0); break;
      case AV_SAMPLE_FMT_DBL: reinterpret_cast<double*>(base)[at] = level / 32768.0; break;
      default: break;
    }
  }
}

// Sound up to (not including) sample `until`, from `*written` on, in frames of the encoder's size.
bool WriteSoundUntil(const MovieSpec& spec, AVFormatContext* format, Output& out, int64_t until, int64_t* written,
                     std::string* error) {
  const int size = out.codec->frame_size > 0 ? out.codec->frame_size : kSoundFrames;
  while (*written < until) {
    Owned<AVFrame> frame(av_frame_alloc());
    frame->format = out.codec->sample_fmt;
    frame->sample_rate = kSoundRate;
    av_channel_layout_default(&frame->ch_layout, 2);
    frame->nb_samples = size;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return Fail(error, "sound frame");
    for (int i = 0; i < size; ++i) PutSample(frame.get(), i, SoundLevel(spec, *written + i));
    frame->pts = *written;
    *written += size;
    if (!Encode(format, out, frame.get(), error)) return false;
  }
  return true;
}

}  // namespace

int BeepHz(int second) { return 400 + 200 * (second % 8); }

std::vector<HeardBeep> ListenForBeeps(const std::vector<int16_t>& stereo) {
  constexpr int kLoud = 1500;  // of the beeps' 8,000
  std::vector<HeardBeep> beeps;
  const int64_t frames = static_cast<int64_t>(stereo.size() / 2);
  auto left = [&](int64_t i) { return stereo[static_cast<size_t>(i) * 2]; };
  int64_t lastLoud = -kSoundRate;
  for (int64_t i = 0; i < frames; ++i) {
    if (std::abs(left(i)) < kLoud) continue;
    const bool onset = i - lastLoud > kSoundRate / 2;  // after half a second of quiet
    lastLoud = i;
    if (!onset || i + kSoundRate / 10 > frames) continue;
    // The pitch from upward zero crossings over 60 ms, from 20 ms in.
    const int64_t from = i + kSoundRate / 50;
    const int64_t to = from + kSoundRate * 6 / 100;
    int crossings = 0;
    for (int64_t k = from + 1; k < to; ++k) crossings += left(k - 1) < 0 && left(k) >= 0;
    const long step = std::lround((crossings / 0.06 - BeepHz(0)) / (BeepHz(1) - BeepHz(0)));
    beeps.push_back(HeardBeep{i, step >= 0 && step < 8 ? static_cast<int>(step) : -1});
  }
  return beeps;
}

int FrameLuma(int frame) { return 24 + 7 * (frame % 30); }

int FrameFromGrey(int grey) {
  const double luma = grey * 219.0 / 255.0 + 16.0;
  const long n = std::lround((luma - 24.0) / 7.0);
  return static_cast<int>(n < 0 ? 0 : n > 29 ? 29 : n);
}

bool WriteMovie(const MovieSpec& spec, std::string* error) {
  AVFormatContext* raw = nullptr;
  int rc = avformat_alloc_output_context2(&raw, nullptr, spec.container.c_str(), spec.path.c_str());
  if (rc < 0 || raw == nullptr) return Fail(error, "no muxer " + spec.container, rc);
  Owned<AVFormatContext> format(raw);
  Output video;
  Output sound;
  const bool picture = spec.videoCodec != "none";
  if (picture && !OpenVideo(spec, format.get(), &video, error)) return false;
  if (spec.sound && !OpenSound(spec, format.get(), &sound, error)) return false;
  rc = avio_open(&format->pb, spec.path.c_str(), AVIO_FLAG_WRITE);
  if (rc < 0) return Fail(error, "create " + spec.path, rc);
  rc = avformat_write_header(format.get(), nullptr);
  if (rc < 0) return Fail(error, "write header", rc);

  Owned<AVFrame> frame(av_frame_alloc());
  if (picture) {
    frame->format = video.codec->pix_fmt;
    frame->width = spec.width;
    frame->height = spec.height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return Fail(error, "picture");
  }
  int64_t soundWritten = int64_t{spec.soundFromSecond} * kSoundRate;
  // Without a picture the frames only pace the sound.
  for (int n = 0; n < spec.frames; ++n) {
    if (picture) {
      if (av_frame_make_writable(frame.get()) < 0) return Fail(error, "picture");
      PaintFrame(spec, n, frame.get());
      frame->pts = spec.frameTime != nullptr ? std::llround(spec.frameTime(n) * 1000.0) : n;
      frame->pict_type = n % spec.keyInterval == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
      frame->quality = video.codec->global_quality;
      if (!Encode(format.get(), video, frame.get(), error)) return false;
    }
    if (spec.sound) {
      const int64_t until = spec.frameTime != nullptr
                                ? std::llround(spec.frameTime(n + 1) * kSoundRate)
                                : (int64_t{n} + 1) * kSoundRate * spec.fpsDenominator / spec.fpsNumerator;
      if (!WriteSoundUntil(spec, format.get(), sound, until, &soundWritten, error)) return false;
    }
  }
  if (picture && !Encode(format.get(), video, nullptr, error)) return false;
  if (spec.sound && !Encode(format.get(), sound, nullptr, error)) return false;
  rc = av_write_trailer(format.get());
  if (rc < 0) return Fail(error, "write trailer", rc);
  return true;
}

}  // namespace orbel::moviegen
