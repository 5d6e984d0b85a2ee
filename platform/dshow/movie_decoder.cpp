// One movie file through libavformat (demuxing), libavcodec (decoding, one thread per stream),
// libswscale (frames into the surface's layout) and libswresample (sound to the mixer's rate).
// Everything read comes from a file we did not write: sizes, times and formats are checked before use,
// and a broken packet is skipped rather than trusted.
#include "platform/dshow/movie_decoder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/dshow/movie_sound.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace plat::dshow {
namespace {

// Containers of movies and their sound; nothing that names other files or URLs (playlists, concat).
constexpr const char* kFormats = "avi,mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,mpeg,mpegts,ogg,asf,flv,mjpeg,wav,mp3";
constexpr int kMostSide = 8192;             // pixels
constexpr size_t kMostHeldPackets = 512;    // video packets read ahead for the sound
constexpr int kMostSoundFrames = 1 << 20;   // per decoded sound frame, after resampling
constexpr int kMostChannels = 16;
constexpr int kScratchSlack = 64;           // bytes of room after each converted row
constexpr int kWholeGroups = 64;            // pixels: rows of this many are converted in place
constexpr AVRational kStreamTimeBase = {1, static_cast<int>(kUnitsPerSecond)};

void QuietLibraries() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

AVPixelFormat PixelFormatOf(FramePixels layout) {
  switch (layout) {
    case FramePixels::Bgrx32: return AV_PIX_FMT_BGR0;
    case FramePixels::Rgbx32: return AV_PIX_FMT_RGB0;
    case FramePixels::Bgr24: return AV_PIX_FMT_BGR24;
    case FramePixels::Rgb24: return AV_PIX_FMT_RGB24;
    case FramePixels::Rgb565: return AV_PIX_FMT_RGB565LE;
    case FramePixels::Rgb555: return AV_PIX_FMT_RGB555LE;
  }
  return AV_PIX_FMT_NONE;
}

// A stream timestamp in 100 ns units; false when it is missing or does not fit.
bool ToUnits(int64_t pts, const AVStream* stream, int64_t* out) {
  if (pts == AV_NOPTS_VALUE || stream->time_base.num <= 0 || stream->time_base.den <= 0) return false;
  *out = av_rescale_q(pts, stream->time_base, kStreamTimeBase);
  return *out != AV_NOPTS_VALUE;
}

// A stream timestamp as stream time from the film's origin; false when it is missing or would overflow.
bool ToStreamTime(int64_t pts, const AVStream* stream, int64_t origin, int64_t* out) {
  int64_t at;
  int64_t relative;
  if (!ToUnits(pts, stream, &at) || __builtin_sub_overflow(at, origin, &relative)) return false;
  *out = std::clamp<int64_t>(relative, 0, kLatestTime);
  return true;
}

AVCodecContext* OpenCodec(const AVStream* stream) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (codec == nullptr) return nullptr;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (context == nullptr) return nullptr;
  context->thread_count = 1;
  if (avcodec_parameters_to_context(context, stream->codecpar) < 0 || avcodec_open2(context, codec, nullptr) < 0) {
    avcodec_free_context(&context);
    return nullptr;
  }
  return context;
}

}  // namespace

struct MovieDecoder::Impl {
  AVFormatContext* format = nullptr;
  int videoIndex = -1;
  int soundIndex = -1;
  AVCodecContext* video = nullptr;
  AVCodecContext* soundCodec = nullptr;
  SwsContext* scaler = nullptr;
  SwrContext* resampler = nullptr;
  int width = 0;
  int height = 0;
  int64_t frameDuration = kUnitsPerSecond / 25;  // stream time of one frame
  // 100 ns units: where stream time 0 is, the earlier start of the two streams, so that the picture and
  // the sound keep the distance the file gives them.
  int64_t origin = 0;

  AVFrame* current = nullptr;
  AVFrame* ahead = nullptr;
  AVFrame* soundFrame = nullptr;
  bool hasCurrent = false;
  bool hasAhead = false;
  int64_t currentTime = 0;
  int64_t aheadTime = 0;
  int64_t lastTime = -1;  // time of the last frame decoded (times never go back)
  bool draining = false;  // the end of the file was sent to the video decoder
  bool videoEnded = false;
  bool fileEnded = false;
  std::deque<AVPacket*> heldVideo;  // video packets read ahead of their decoding

  std::shared_ptr<MovieSound> sound;
  int resamplerFormat = -1;
  int resamplerRate = 0;
  AVChannelLayout resamplerLayout{};
  std::vector<float> soundBuffer;
  uint8_t* scratch = nullptr;  // converted rows, before they go to the caller (av_malloc)
  size_t scratchSize = 0;

  ~Impl() {
    av_freep(&scratch);
    for (AVPacket* p : heldVideo) av_packet_free(&p);
    av_frame_free(&current);
    av_frame_free(&ahead);
    av_frame_free(&soundFrame);
    sws_freeContext(scaler);
    swr_free(&resampler);
    av_channel_layout_uninit(&resamplerLayout);
    avcodec_free_context(&video);
    avcodec_free_context(&soundCodec);
    avformat_close_input(&format);
  }

  void DropHeldVideo() {
    for (AVPacket* p : heldVideo) av_packet_free(&p);
    heldVideo.clear();
  }

  // Reads one packet: video is held, sound decoded, the rest dropped. False at the end of the file.
  bool ReadOne() {
    if (fileEnded) return false;
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr || av_read_frame(format, packet) < 0) {
      av_packet_free(&packet);
      fileEnded = true;
      return false;
    }
    if (packet->stream_index == videoIndex && videoIndex >= 0) {
      heldVideo.push_back(packet);
      return true;
    }
    if (packet->stream_index == soundIndex && soundIndex >= 0) DecodeSound(packet);
    av_packet_free(&packet);
    return true;
  }

  // Makes sure the frame after the current one is decoded, unless the video has ended.
  void DecodeAhead() {
    while (!hasAhead && !videoEnded) {
      const int received = avcodec_receive_frame(video, ahead);
      if (received == 0) {
        int64_t time;
        if (!ToStreamTime(ahead->best_effort_timestamp, format->streams[videoIndex], origin, &time)) {
          time = lastTime < 0 ? 0 : lastTime + frameDuration;
        }
        time = std::max<int64_t>(time, std::max<int64_t>(lastTime, 0));
        lastTime = time;
        aheadTime = time;
        hasAhead = true;
        return;
      }
      if (received != AVERROR(EAGAIN) || draining) {
        videoEnded = true;  // the end, or a decoder that cannot go on
        return;
      }
      if (heldVideo.empty() && !ReadOne()) {
        if (heldVideo.empty()) {
          avcodec_send_packet(video, nullptr);
          draining = true;
        }
        continue;
      }
      if (heldVideo.empty()) continue;  // a sound or foreign packet was read
      AVPacket* packet = heldVideo.front();
      heldVideo.pop_front();
      avcodec_send_packet(video, packet);  // a broken packet is skipped
      av_packet_free(&packet);
    }
  }

  bool MatchResampler(const AVFrame* frame) {
    if (resampler != nullptr && frame->format == resamplerFormat && frame->sample_rate == resamplerRate &&
        av_channel_layout_compare(&frame->ch_layout, &resamplerLayout) == 0) {
      return true;
    }
    swr_free(&resampler);
    av_channel_layout_uninit(&resamplerLayout);
    resamplerFormat = -1;
    if (frame->sample_rate <= 0 || frame->sample_rate > 768000 || frame->ch_layout.nb_channels <= 0 ||
        frame->ch_layout.nb_channels > kMostChannels) {
      return false;
    }
    AVChannelLayout in{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
      av_channel_layout_default(&in, frame->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0) {
      return false;
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    const bool made = swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_FLT, dsound::kMixRate, &in,
                                          static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                                          nullptr) >= 0 &&
                      swr_init(resampler) >= 0;
    av_channel_layout_uninit(&in);
    if (!made) {
      swr_free(&resampler);
      return false;
    }
    resamplerFormat = frame->format;
    resamplerRate = frame->sample_rate;
    av_channel_layout_copy(&resamplerLayout, &frame->ch_layout);
    return true;
  }

  void DecodeSound(const AVPacket* packet) {
    if (avcodec_send_packet(soundCodec, packet) < 0) return;
    while (avcodec_receive_frame(soundCodec, soundFrame) == 0) {
      int64_t time = 0;
      const bool timed = ToStreamTime(soundFrame->best_effort_timestamp, format->streams[soundIndex], origin, &time);
      if (MatchResampler(soundFrame)) {
        const int most = swr_get_out_samples(resampler, soundFrame->nb_samples);
        if (most > 0 && most <= kMostSoundFrames) {
          soundBuffer.resize(static_cast<size_t>(most) * 2);
          auto* out = reinterpret_cast<uint8_t*>(soundBuffer.data());
          const int made = swr_convert(resampler, &out, most, const_cast<const uint8_t**>(soundFrame->extended_data),
                                       soundFrame->nb_samples);
          if (made > 0) {
            for (size_t i = 0; i < static_cast<size_t>(made) * 2; ++i) soundBuffer[i] *= 32768.0f;
            sound->Push(soundBuffer.data(), made, timed ? time : MovieSound::kUntimed);
          }
        }
      }
      av_frame_unref(soundFrame);
    }
  }
};

MovieDecoder::MovieDecoder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
MovieDecoder::~MovieDecoder() = default;

std::unique_ptr<MovieDecoder> MovieDecoder::Open(const char* path, bool wantVideo, std::shared_ptr<MovieSound> sound,
                                                 OpenError* error) {
  QuietLibraries();
  struct stat info{};
  if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = OpenError::NotFound;
    return nullptr;
  }
  *error = OpenError::Unreadable;
  auto impl = std::make_unique<Impl>();
  AVDictionary* options = nullptr;
  av_dict_set(&options, "format_whitelist", kFormats, 0);
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  const int opened = avformat_open_input(&impl->format, path, nullptr, &options);
  av_dict_free(&options);
  if (opened < 0 || avformat_find_stream_info(impl->format, nullptr) < 0) return nullptr;

  AVFormatContext* f = impl->format;
  if (wantVideo) {
    const int index = av_find_best_stream(f, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index >= 0) {
      const AVCodecParameters* p = f->streams[index]->codecpar;
      if (p->width > 0 && p->height > 0 && p->width <= kMostSide && p->height <= kMostSide) {
        impl->video = OpenCodec(f->streams[index]);
      }
      if (impl->video != nullptr) {
        impl->videoIndex = index;
        impl->width = p->width;
        impl->height = p->height;
        const AVRational rate = f->streams[index]->avg_frame_rate.num > 0 && f->streams[index]->avg_frame_rate.den > 0
                                    ? f->streams[index]->avg_frame_rate
                                    : f->streams[index]->r_frame_rate;
        if (rate.num > 0 && rate.den > 0 && av_q2d(rate) >= 0.1 && av_q2d(rate) <= 1000.0) {
          impl->frameDuration = av_rescale_q(1, AVRational{rate.den, rate.num}, kStreamTimeBase);
        }
      }
    }
  }
  if (sound != nullptr) {
    const int index = av_find_best_stream(f, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index >= 0) impl->soundCodec = OpenCodec(f->streams[index]);
    if (impl->soundCodec != nullptr) {
      impl->soundIndex = index;
      impl->sound = std::move(sound);
    }
  }
  if (impl->videoIndex < 0 && impl->soundIndex < 0) return nullptr;
  int64_t origin = INT64_MAX;
  for (const int index : {impl->videoIndex, impl->soundIndex}) {
    int64_t start;
    if (index >= 0 && ToUnits(f->streams[index]->start_time, f->streams[index], &start)) origin = std::min(origin, start);
  }
  impl->origin = origin != INT64_MAX ? origin : 0;
  for (unsigned i = 0; i < f->nb_streams; ++i) {
    if (static_cast<int>(i) != impl->videoIndex && static_cast<int>(i) != impl->soundIndex) {
      f->streams[i]->discard = AVDISCARD_ALL;
    }
  }
  impl->current = av_frame_alloc();
  impl->ahead = av_frame_alloc();
  impl->soundFrame = av_frame_alloc();
  if (impl->current == nullptr || impl->ahead == nullptr || impl->soundFrame == nullptr) return nullptr;
  if (impl->videoIndex < 0) impl->videoEnded = true;
  *error = OpenError::None;
  return std::unique_ptr<MovieDecoder>(new MovieDecoder(std::move(impl)));
}

bool MovieDecoder::HasVideo() const { return impl_->videoIndex >= 0; }
int MovieDecoder::Width() const { return impl_->width; }
int MovieDecoder::Height() const { return impl_->height; }

bool MovieDecoder::PeekNext(int64_t* time) {
  impl_->DecodeAhead();
  if (!impl_->hasAhead) return false;
  *time = impl_->aheadTime;
  return true;
}

int64_t MovieDecoder::EndTime() const { return impl_->lastTime < 0 ? 0 : impl_->lastTime + impl_->frameDuration; }

void MovieDecoder::TakeNext() {
  if (!impl_->hasAhead) return;
  std::swap(impl_->current, impl_->ahead);
  av_frame_unref(impl_->ahead);
  impl_->hasAhead = false;
  impl_->hasCurrent = true;
  impl_->currentTime = impl_->aheadTime;
}

bool MovieDecoder::HasCurrent() const { return impl_->hasCurrent; }
int64_t MovieDecoder::CurrentTime() const { return impl_->currentTime; }

bool MovieDecoder::ConvertCurrent(uint8_t* pixels, int pitch, FramePixels layout) {
  Impl& d = *impl_;
  const AVFrame* frame = d.current;
  if (!d.hasCurrent || frame->width <= 0 || frame->height <= 0 || frame->width > kMostSide ||
      frame->height > kMostSide) {
    return false;
  }
  // A stream may change its size midway: frames are scaled to the size announced at the open, which
  // is the size of the surface.
  d.scaler = sws_getCachedContext(d.scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                  d.width, d.height, PixelFormatOf(layout), SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (d.scaler == nullptr) return false;
  // NOTE: the fast converters work in groups of pixels: for a row not made of whole groups they write
  // past the end of the row (and of the last row), or leave the row's last pixels out when its pitch
  // has no room for the group. Rows of whole groups (64 pixels covers every group size) go straight
  // into the caller's rows; others go into rows of our own with room to spare, and only the frame's
  // bytes are copied on.
  uint8_t* rows[4] = {pixels, nullptr, nullptr, nullptr};
  int pitches[4] = {pitch, 0, 0, 0};
  if (d.width % kWholeGroups == 0) {
    return sws_scale(d.scaler, frame->data, frame->linesize, 0, frame->height, rows, pitches) == d.height;
  }
  const int bytes = av_get_padded_bits_per_pixel(av_pix_fmt_desc_get(PixelFormatOf(layout))) / 8;
  const int rowBytes = d.width * bytes;
  const int scratchPitch = FFALIGN(rowBytes + kScratchSlack, kScratchSlack);
  const size_t scratchSize = static_cast<size_t>(scratchPitch) * static_cast<size_t>(d.height + 1);
  if (d.scratch == nullptr || d.scratchSize < scratchSize) {
    av_freep(&d.scratch);
    d.scratch = static_cast<uint8_t*>(av_malloc(scratchSize));
    d.scratchSize = d.scratch != nullptr ? scratchSize : 0;
    if (d.scratch == nullptr) return false;
  }
  rows[0] = d.scratch;
  pitches[0] = scratchPitch;
  if (sws_scale(d.scaler, frame->data, frame->linesize, 0, frame->height, rows, pitches) != d.height) return false;
  for (int y = 0; y < d.height; ++y) {
    std::memcpy(pixels + static_cast<ptrdiff_t>(y) * pitch, d.scratch + static_cast<ptrdiff_t>(y) * scratchPitch,
                static_cast<size_t>(rowBytes));
  }
  return true;
}

void MovieDecoder::Seek(int64_t time) {
  Impl& d = *impl_;
  const int index = d.videoIndex >= 0 ? d.videoIndex : d.soundIndex;
  const AVStream* stream = d.format->streams[index];
  // Rounded down: the frame showing at `time` may start before it.
  int64_t at;
  if (__builtin_add_overflow(std::max<int64_t>(time, 0), d.origin, &at)) at = d.origin;
  const int64_t target = av_rescale_q_rnd(at, kStreamTimeBase, stream->time_base, AV_ROUND_DOWN);
  if (av_seek_frame(d.format, index, target, AVSEEK_FLAG_BACKWARD) < 0) {
    avformat_seek_file(d.format, index, INT64_MIN, target, target, 0);
  }
  if (d.video != nullptr) avcodec_flush_buffers(d.video);
  if (d.soundCodec != nullptr) avcodec_flush_buffers(d.soundCodec);
  if (d.sound != nullptr) d.sound->Restart(time);  // the sound from the new position on, the rest dropped late
  d.DropHeldVideo();
  av_frame_unref(d.current);
  av_frame_unref(d.ahead);
  d.hasCurrent = d.hasAhead = false;
  d.lastTime = -1;
  d.draining = false;
  d.fileEnded = false;
  d.videoEnded = d.videoIndex < 0;
}

bool MovieDecoder::ReadSoundUntil(int64_t time) {
  Impl& d = *impl_;
  if (d.sound == nullptr) return true;
  while (d.sound->QueuedUntil() < time) {
    if (d.heldVideo.size() >= kMostHeldPackets) return false;
    if (!d.ReadOne()) return true;
  }
  return true;
}

}  // namespace plat::dshow
