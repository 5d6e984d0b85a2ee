// Conversion of sound buffers to the mix rate ahead of the mix, region by region.
#include "platform/dsound/sound_prepare.h"

#include <samplerate.h>

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

}  // namespace

void ConvertRegion(PreparedSound& sound, const std::vector<uint8_t>& data, const WAVEFORMATEX& format, uint32_t first,
                   uint32_t count) {
  const uint32_t block = format.nBlockAlign;
  const int64_t length = static_cast<int64_t>(data.size() / block);
  if (length == 0 || count == 0 || first >= length) return;
  count = static_cast<uint32_t>(std::min<int64_t>(count, length - first));
  const int channels = static_cast<int>(sound.channels);
  // The mix frames to convert again: those the written frames reach, all of them when that is the
  // whole loop (the mix frames before `first` and past the region wrap round the loop).
  const int64_t reach = Reach(sound.rate);
  const bool whole = count + 2 * reach >= length;
  const int64_t writeBegin = whole ? 0 : static_cast<int64_t>(first) - reach;
  const int64_t writeEnd = whole ? length : static_cast<int64_t>(first) + count + reach;
  // The converter starts at a source frame that falls on a mix frame (every `step` frames), so its
  // output frames lie on the buffer's own grid of mix frames.
  const int64_t step = sound.rate / std::gcd(sound.rate, static_cast<uint32_t>(kMixRate));
  int64_t begin = writeBegin - reach;
  begin = (begin >= 0 ? begin / step : -((-begin + step - 1) / step)) * step;
  const int64_t end = writeEnd + reach;
  std::vector<float> in(static_cast<size_t>(end - begin) * channels);
  for (int64_t i = begin; i < end; ++i) {
    const int64_t frame = ((i % length) + length) % length;  // the buffer is circular
    const uint8_t* p = data.data() + static_cast<size_t>(frame) * block;
    for (int c = 0; c < channels; ++c) in[static_cast<size_t>(i - begin) * channels + c] = SourceSample(p, format, c);
  }
  const double ratio = static_cast<double>(kMixRate) / sound.rate;
  std::vector<float> out(static_cast<size_t>(static_cast<double>(end - begin) * ratio + 16) * channels);
  SRC_DATA job{};
  job.data_in = in.data();
  job.input_frames = static_cast<long>(end - begin);
  job.data_out = out.data();
  job.output_frames = static_cast<long>(out.size() / channels);
  job.src_ratio = ratio;
  job.end_of_input = 1;
  if (src_simple(&job, SRC_SINC_FASTEST, channels) != 0) return;
  // Output frame j is mix frame begin x 44,100 / rate + j; keep those from writeBegin to writeEnd.
  const int64_t origin = begin * kMixRate / sound.rate;
  auto mixFrame = [&sound](int64_t source) {  // the first mix frame at or after a source frame
    const int64_t scaled = source * kMixRate;
    return scaled >= 0 ? (scaled + sound.rate - 1) / sound.rate : -(-scaled / sound.rate);
  };
  const int64_t frames = sound.frames;
  const int64_t firstOut = mixFrame(writeBegin);
  const int64_t endOut = std::min(mixFrame(writeEnd), firstOut + frames);
  for (int64_t k = firstOut; k < endOut; ++k) {
    const int64_t j = k - origin;
    if (j < 0 || j >= job.output_frames_gen) continue;
    const auto at = static_cast<size_t>(((k % frames) + frames) % frames) * channels;
    for (int c = 0; c < channels; ++c) sound.samples[at + c] = out[static_cast<size_t>(j) * channels + c];
  }
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
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!silent) ConvertRegion(*sound, data, format, 0, static_cast<uint32_t>(length));
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
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& s : sounds_) ConvertRegion(*s, data, format, first, count);
}

}  // namespace plat::dsound
