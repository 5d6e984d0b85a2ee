// Fuzz target of the sound stand-ins' parsers: the MIDI file reader of the sequencer and the compression
// manager's codecs. The first byte picks the road. For a codec, the next bytes make the source format
// (tag, channels, block size, codec data); the rest is converted in pieces into small rooms, and every
// conversion must stay within its source and its room and make progress or stop.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/acm/acm.h"
#include "platform/mci/midi_file.h"

namespace {

void FuzzMidi(const uint8_t* data, size_t size) {
  plat::mci::MidiSong song;
  if (!plat::mci::ParseMidiSong(data, size, &song)) return;
  if (song.smf == nullptr || song.smf < data || song.smf + song.smfSize > data + size) std::abort();
  const uint64_t ticks = song.MicrosecondsToTicks(song.lengthMicroseconds / 2);
  (void)song.TicksToMicroseconds(ticks);
}

void FuzzCodec(const uint8_t* data, size_t size) {
  using namespace plat;
  if (size < 8) return;
  static const WORD kTags[] = {WAVE_FORMAT_ADPCM, WAVE_FORMAT_IMA_ADPCM, WAVE_FORMAT_ALAW, WAVE_FORMAT_MULAW,
                               WAVE_FORMAT_MPEGLAYER3};
  // Format block: the record and up to 64 bytes of codec data taken from the input.
  std::vector<uint8_t> block(sizeof(WAVEFORMATEX) + 64, 0);
  auto* f = reinterpret_cast<WAVEFORMATEX*>(block.data());
  f->wFormatTag = kTags[data[0] % 5];
  f->nChannels = static_cast<WORD>(data[1] % 4);
  f->nSamplesPerSec = data[2] % 2 == 0 ? 22050 : 44100;
  f->nBlockAlign = static_cast<WORD>(data[3] | (data[4] & 0x0F) << 8);
  f->wBitsPerSample = data[4] & 0x80 ? 8 : 4;
  f->nAvgBytesPerSec = 16000;
  f->cbSize = static_cast<WORD>(data[5] % 65);
  const size_t extra = std::min<size_t>(f->cbSize, size - 8);
  std::memcpy(block.data() + sizeof(WAVEFORMATEX), data + 8, extra);
  const DWORD room = 16 + (data[6] | data[7] << 8) * 4u;
  data += 8 + extra;
  size -= 8 + extra;

  WAVEFORMATEX out{};
  out.wFormatTag = WAVE_FORMAT_PCM;
  if (acmFormatSuggest(nullptr, f, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR) return;
  HACMSTREAM stream = nullptr;
  if (acmStreamOpen(&stream, nullptr, f, &out, nullptr, 0, 0, 0) != MMSYSERR_NOERROR) return;
  DWORD estimate = 0;
  acmStreamSize(stream, static_cast<DWORD>(size), &estimate, ACM_STREAMSIZEF_SOURCE);
  std::vector<uint8_t> dst(room);
  size_t at = 0;
  while (at < size) {
    std::vector<uint8_t> piece(data + at, data + std::min(size, at + std::max<size_t>(2048, f->nBlockAlign)));
    ACMSTREAMHEADER h{};
    h.cbStruct = sizeof h;
    h.pbSrc = piece.data();
    h.cbSrcLength = static_cast<DWORD>(piece.size());
    h.pbDst = dst.data();
    h.cbDstLength = room;
    acmStreamPrepareHeader(stream, &h, 0);
    acmStreamConvert(stream, &h, ACM_STREAMCONVERTF_BLOCKALIGN);
    acmStreamUnprepareHeader(stream, &h, 0);
    if (h.cbSrcLengthUsed > h.cbSrcLength || h.cbDstLengthUsed > room) std::abort();
    if (h.cbDstLengthUsed == 0 || h.cbSrcLengthUsed == 0) break;
    at += h.cbSrcLengthUsed;
  }
  acmStreamClose(stream, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 0x80) {
    FuzzMidi(data + 1, size - 1);
  } else {
    FuzzCodec(data + 1, size - 1);
  }
  return 0;
}
