// MPEG audio frame headers (MPEG-1 and MPEG-2, Layers I-III) and the scan that finds the frames of an
// MP3 file between its ID3 tags. MPEG 2.5 and free-format frames (bit-rate index 0) are not frames here.
#pragma once

#include <cstdint>

#include "orbel/file/stream.h"

namespace orbel {

struct Mp3FrameHeader {
  int32_t mpeg1;           // 1 MPEG-1, 0 MPEG-2 (low sampling frequencies)
  int32_t layer;           // 0 Layer I, 1 Layer II, 2 Layer III
  uint32_t kbps;           // bit rate, kbit/s
  uint32_t rate;           // samples per second
  uint32_t padding;        // 0 or 1
  uint32_t channels;       // 1 mono, 2 otherwise
  uint32_t frameBytes;     // whole frame, header included
  uint32_t frameSamples;   // samples per channel
};

// Parses four header bytes. 0; -2 without the 12-bit sync (MPEG 2.5 included); -1 for a reserved
// layer, bit-rate index 15 or sampling index 3; -3 for a free-format frame (bit-rate index 0).
int ParseMp3FrameHeader(const uint8_t bytes[4], Mp3FrameHeader* out);

// What a scan of a whole MP3 stream found.
struct Mp3ScanResult {
  uint32_t audioStart;   // after the ID3v2 tag
  uint32_t audioEnd;     // before the ID3v1 tag
  uint32_t firstFrame;   // stream offset of the first frame's header
  uint32_t lastEnd;      // end of the last frame, at most the audio end
  int64_t totalSamples;  // per channel, over every frame
  Mp3FrameHeader first;
};

// Scans the stream from its start. 0, or -1 when a header fails to parse or no frame is found. The
// stream position is left anywhere.
int ScanMp3Stream(StreamData* source, Mp3ScanResult* out);

}  // namespace orbel
