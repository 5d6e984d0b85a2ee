// Conversion of sound buffers to the mix rate, block by block as the mix first reads each block.
#include "platform/dsound/sound_prepare.h"

#include <algorithm>
#include <numeric>

#include "platform/dsound/sound_mixer.h"

namespace plat::dsound {
namespace {

// Rates a buffer is converted to at most: a game that gives a buffer a new rate at every play (a
// random pitch) has it resampled in the mix after these, rather than converted again and again.
constexpr size_t kRatesKept = 4;

// The sinc filter's reach in source frames (its half length; it grows as the source rate rises past
// the mix's), with room to spare: a written source frame changes the mix frames this far either side
// of it, and a mix frame is converted from the source frames this far either side of it.
int64_t Reach(uint32_t rate) { return 48 + 48 * int64_t{rate} / kMixRate; }

// Floor and ceiling of a / b for b > 0 and any a.
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// Whether libsoxr converts from `rate`: a half or a quarter of the mix rate.
bool SoxrRate(uint32_t rate) { return rate * 2 == kMixRate || rate * 4 == kMixRate; }

// Converts `frames` frames of `in` to `out` (room for `room` frames) from the converter's fresh
// state to the end of the input; the frames made, or -1.
long Convert(soxr_t soxr, SRC_STATE* src, int channels, double ratio, const float* in, long frames, float* out,
             long room) {
  if (soxr != nullptr) {
    size_t used = 0, made = 0, tail = 0;
    if (soxr_clear(soxr) != nullptr ||
        soxr_process(soxr, in, static_cast<size_t>(frames), &used, out, static_cast<size_t>(room), &made) != nullptr) {
      return -1;
    }
    // No more input: the converter gives the frames its filter held back.
    if (soxr_process(soxr, nullptr, 0, nullptr, out + made * channels, static_cast<size_t>(room) - made, &tail) !=
        nullptr) {
      return -1;
    }
    return static_cast<long>(made + tail);
  }
  SRC_DATA job{};
  job.data_in = in;
  job.input_frames = frames;
  job.data_out = out;
  job.output_frames = room;
  job.src_ratio = ratio;
  job.end_of_input = 1;
  if (src_reset(src) != 0 || src_process(src, &job) != 0) return -1;
  return job.output_frames_gen;
}

// Mix frames first .. last (within 0 .. sound.frames) of `sound` converted from `data` (circular,
// `format`) with the converter given.
void ConvertMixFrames(PreparedSound& sound, soxr_t soxr, SRC_STATE* src, std::vector<float>& in,
                      std::vector<float>& out, const std::vector<uint8_t>& data, const WAVEFORMATEX& format,
                      int64_t first, int64_t last) {
  const uint32_t block = format.nBlockAlign;
  const int64_t length = static_cast<int64_t>(data.size() / block);
  if (length == 0 || first >= last) return;
  const int channels = static_cast<int>(sound.channels);
  const int64_t rate = sound.rate;
  // The source frames the mix frames lie between, widened by the filter's reach; the converter
  // starts on a source frame that falls on a mix frame (every `step` frames), so its output frames
  // lie on the buffer's own grid of mix frames and match a conversion of the whole buffer.
  const int64_t reach = Reach(sound.rate);
  const int64_t step = rate / std::gcd(rate, int64_t{kMixRate});
  const int64_t begin = FloorDiv(FloorDiv(first * rate, kMixRate) - reach, step) * step;
  const int64_t end = CeilDiv(last * rate, kMixRate) + 1 + reach;
  in.resize(static_cast<size_t>(end - begin) * channels);
  for (int64_t i = begin; i < end; ++i) {
    const int64_t frame = ((i % length) + length) % length;  // the buffer is circular
    const uint8_t* p = data.data() + static_cast<size_t>(frame) * block;
    for (int c = 0; c < channels; ++c) in[static_cast<size_t>(i - begin) * channels + c] = SourceSample(p, format, c);
  }
  const double ratio = static_cast<double>(kMixRate) / sound.rate;
  out.resize(static_cast<size_t>(static_cast<double>(end - begin) * ratio + 16) * channels);
  const long made = Convert(soxr, src, channels, ratio, in.data(), static_cast<long>(end - begin), out.data(),
                           static_cast<long>(out.size() / channels));
  if (made < 0) return;
  // Output frame j is mix frame begin x 44,100 / rate + j.
  const int64_t origin = begin * kMixRate / rate;
  const int64_t stop = std::min<int64_t>(last, sound.frames);
  for (int64_t k = std::max<int64_t>(first, 0); k < stop; ++k) {
    const int64_t j = k - origin;
    if (j < 0 || j >= made) continue;
    for (int c = 0; c < channels; ++c) {
      sound.samples[static_cast<size_t>(k) * channels + c] = out[static_cast<size_t>(j) * channels + c];
    }
  }
}

}  // namespace

PreparedSound::~PreparedSound() {
  if (soxr_ != nullptr) soxr_delete(soxr_);
  if (converter_ != nullptr) src_delete(converter_);
}

void PreparedSound::MarkWritten(uint32_t first, uint32_t count, uint32_t sourceFrames) {
  if (frames == 0 || count == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const int64_t reach = Reach(rate);
  // The mix frames the written frames reach, a frame wider either side for the rounding at the
  // buffer's wrap (its length in mix frames need not be whole).
  const int64_t from = FloorDiv((int64_t{first} - reach) * kMixRate, rate) - 2;
  const int64_t to = CeilDiv((int64_t{first} + count + reach) * kMixRate, rate) + 2;
  if (int64_t{count} + 2 * reach >= sourceFrames || to - from >= frames) {
    std::fill(stale_.begin(), stale_.end(), uint8_t{1});
    return;
  }
  const int64_t total = frames;
  for (int64_t k = from; k < to;) {
    const int64_t at = ((k % total) + total) % total;
    const int64_t b = at >> kPrepareBlockShift;
    stale_[static_cast<size_t>(b)] = 1;
    k += std::min<int64_t>((b + 1) * kPrepareBlock, total) - at;
  }
}

void PreparedSound::Ready(uint32_t block, const std::vector<uint8_t>& data, const WAVEFORMATEX& format) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (block >= stale_.size() || stale_[block] == 0) return;
    // Cleared before converting: bytes written meanwhile mark it stale again for the next read.
    stale_[block] = 0;
  }
  if (soxr_ == nullptr && converter_ == nullptr) {
    if (SoxrRate(rate)) {
      const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
      const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_LQ, 0);
      const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
      soxr_error_t error = nullptr;
      soxr_ = soxr_create(rate, kMixRate, channels, &error, &io, &quality, &runtime);
    }
    if (soxr_ == nullptr) {
      int error = 0;
      converter_ = src_new(SRC_SINC_FASTEST, static_cast<int>(channels), &error);
      if (converter_ == nullptr) return;
    }
  }
  const int64_t first = int64_t{block} << kPrepareBlockShift;
  const int64_t last = std::min<int64_t>(first + kPrepareBlock, frames);
  ConvertMixFrames(*this, soxr_, converter_, in_, out_, data, format, first, last);
  converted_.fetch_add(static_cast<uint64_t>(last - first), std::memory_order_relaxed);
}

std::shared_ptr<PreparedSound> PreparedSet::ForRate(uint32_t rate, const std::vector<uint8_t>& data,
                                                    const WAVEFORMATEX& format, bool silent) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& s : sounds_) {
    if (s->rate == rate) return s;
  }
  if (sounds_.size() >= kRatesKept) return nullptr;
  auto sound = std::make_shared<PreparedSound>();
  const uint64_t length = data.size() / format.nBlockAlign;
  sound->rate = rate;
  sound->channels = format.nChannels == 2 ? 2 : 1;
  sound->frames = static_cast<uint32_t>((length * kMixRate + rate - 1) / rate);
  sound->loopLength = static_cast<uint64_t>((static_cast<unsigned __int128>(length) << 32) * kMixRate / rate);
  try {
    sound->samples.assign(size_t{sound->frames} * sound->channels, 0.0f);
    // Silence converts to the zeros the samples start as; anything else is converted as it is mixed.
    sound->stale_.assign((sound->frames + kPrepareBlock - 1) >> kPrepareBlockShift, silent ? 0 : 1);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  sounds_.push_back(sound);
  return sound;
}

std::shared_ptr<PreparedSound> PreparedSet::Find(uint32_t rate) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& s : sounds_) {
    if (s->rate == rate) return s;
  }
  return nullptr;
}

void PreparedSet::Refresh(const std::vector<uint8_t>& data, const WAVEFORMATEX& format, uint32_t first, uint32_t count) {
  const auto length = static_cast<uint32_t>(data.size() / format.nBlockAlign);
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& s : sounds_) s->MarkWritten(first, count, length);
}

}  // namespace plat::dsound
