// The JPEG loader: libjpeg (6b interface) reads through a source manager over the library's stream,
// with a 64 KiB buffer; a truncated file ends in an inserted end-of-image code instead of failing.
// Output: the grey ramp for one component, R8G8B8 for three (bytes B, G, R, asked of libjpeg-turbo,
// decoded in place several rows a call); other component counts are refused, and so are pictures over
// the cap, from the header's sides, before libjpeg allocates for them. libjpeg's own allocations are
// bounded too, and its messages are silenced.
// Depends on libjpeg, image_reader and color_data.
// NOTE: libjpeg errors leave by longjmp. Nothing between setjmp and the decoder calls has a
// destructor; the pixel block is held in a plain record and freed on the error road.
#include <cstdio>  // jpeglib.h needs FILE
#include <csetjmp>
#include <cstring>  // memset, memcpy

#include <jpeglib.h>
#include <jerror.h>

#include "orbel/image/image_loader.h"
#include "orbel/image/image_reader.h"

namespace orbel {

namespace {

// libjpeg-turbo decodes Huffman data on its fast road only while the buffer holds 512 bytes for each
// block of an MCU (3 KiB for 4:2:0 colour); a 4 KiB buffer would keep it off that road most of the
// time. The stream belongs to the loader, so how far ahead it is read is not seen outside.
constexpr size_t kJpegBufferSize = 64 * 1024;

// The most libjpeg may allocate for one picture. A progressive file keeps every coefficient of the
// picture (2 bytes per sample), so a picture at the cap needs twice the cap; there is no backing store,
// so a file that wants more is refused by libjpeg instead of exhausting memory.
constexpr long kMaxJpegDecoderBytes = static_cast<long>(2 * kMaxImageBytes + (16u << 20));

// The source manager and what it reads (allocated from the decompressor's permanent pool).
struct JpegSourceRecord {
  jpeg_source_mgr pub;
  JOCTET* buffer;
  uint8_t startOfFile;
  StreamData* stream;
  int64_t end;  // stream position one past the last byte
};

struct JpegErrorRecord {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

struct JpegJob {
  jpeg_decompress_struct cinfo;
  JpegErrorRecord error;
  void* pixels;  // tracked pixel block
};

void JpegInitSource(j_decompress_ptr cinfo) {
  reinterpret_cast<JpegSourceRecord*>(cinfo->src)->startOfFile = 1;
}

boolean JpegFillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<JpegSourceRecord*>(cinfo->src);
  int32_t here = src->stream->functions.Tell(src->stream->handle);
  int64_t left = here < 0 ? 0 : src->end - here;
  size_t got = 0;
  if (left > 0) {
    size_t want = left < static_cast<int64_t>(kJpegBufferSize) ? static_cast<size_t>(left) : kJpegBufferSize;
    got = src->stream->functions.Read(src->buffer, 1, want, src->stream->handle);
  }
  if (got == 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    got = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = got;
  src->startOfFile = 0;
  return TRUE;
}

void JpegSkipInputData(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* src = cinfo->src;
  if (count <= 0) return;
  while (count > static_cast<long>(src->bytes_in_buffer)) {
    count -= static_cast<long>(src->bytes_in_buffer);
    JpegFillInputBuffer(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

void JpegTermSource(j_decompress_ptr) {}

// libjpeg's messages (errors and warnings alike) are not for the player: a bad file is refused quietly,
// and nothing reaches stderr.
void JpegOutputMessage(j_common_ptr) {}

void JpegErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  longjmp(reinterpret_cast<JpegErrorRecord*>(cinfo->err)->jump, 1);
}

void SetJpegReadStream(j_decompress_ptr cinfo, StreamData* stream) {
  if (cinfo->src == nullptr) {
    auto* record = static_cast<JpegSourceRecord*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegSourceRecord)));
    record->buffer = static_cast<JOCTET*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kJpegBufferSize));
    cinfo->src = &record->pub;
  }
  auto* src = reinterpret_cast<JpegSourceRecord*>(cinfo->src);
  src->pub.init_source = JpegInitSource;
  src->pub.fill_input_buffer = JpegFillInputBuffer;
  src->pub.skip_input_data = JpegSkipInputData;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = JpegTermSource;
  src->stream = stream;
  int64_t left = StreamBytesLeft(stream);
  int32_t here = stream->functions.Tell(stream->handle);
  src->end = left < 0 ? here : here + left;
  src->pub.bytes_in_buffer = 0;
  src->pub.next_input_byte = nullptr;
}

// The decode proper; libjpeg errors leave it by longjmp to LoadJpegImage.
int DecodeJpeg(JpegJob* job, StreamData* stream, GraphImage* image) {
  j_decompress_ptr cinfo = &job->cinfo;
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = kMaxJpegDecoderBytes;
  SetJpegReadStream(cinfo, stream);
  jpeg_read_header(cinfo, TRUE);
  // The header's sides are checked before jpeg_start_decompress, which allocates the decoder's own
  // buffers for the whole picture.
  uint32_t headerBytes;
  if (cinfo->num_components != 1 && cinfo->num_components != 3) return -1;
  if (cinfo->image_width == 0 || cinfo->image_height == 0 || cinfo->image_width > kMaxImageSide ||
      cinfo->image_height > kMaxImageSide ||
      !CheckedImageBytes(cinfo->image_width, cinfo->image_height, static_cast<uint32_t>(cinfo->num_components),
                         &headerBytes)) {
    return -1;
  }
  // Colour comes out in the record's byte order (B, G, R) straight from libjpeg-turbo's converter.
  if (cinfo->num_components == 3) cinfo->out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(cinfo);
  int components = cinfo->output_components;
  uint32_t width = cinfo->output_width, height = cinfo->output_height;
  if (components != 1 && components != 3) return -1;
  uint32_t stride, bytes;
  if (width == 0 || height == 0 || !CheckedImageBytes(width, components, 1, &stride) ||
      !CheckedImageBytes(stride, height, 1, &bytes)) {
    return -1;
  }
  auto rows = static_cast<JSAMPARRAY>((*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                                  sizeof(JSAMPROW) * height));
  job->pixels = MemAlloc(bytes, "jpeg pixels", __LINE__);
  if (job->pixels == nullptr) return -1;
  auto* out = static_cast<uint8_t*>(job->pixels);
  for (uint32_t y = 0; y < height; ++y) rows[y] = out + static_cast<size_t>(y) * stride;
  // Rows are decoded into the pixel block in place, as many per call as libjpeg will give.
  while (cinfo->output_scanline < height) {
    const JDIMENSION scanline = cinfo->output_scanline;
    if (jpeg_read_scanlines(cinfo, rows + scanline, height - scanline) == 0) return -1;
  }
  jpeg_finish_decompress(cinfo);
  if (components == 1) {
    SetColorDataGray8(&image->format);
  } else {
    SetColorData24Bit(&image->format);
  }
  image->width = width;
  image->height = height;
  image->pitch = stride;
  image->pixels = job->pixels;
  job->pixels = nullptr;
  return 0;
}

}  // namespace

int LoadJpegImage(StreamData* stream, GraphImage* image) {
  JpegJob job;
  memset(&job, 0, sizeof(job));
  job.cinfo.err = jpeg_std_error(&job.error.pub);
  job.error.pub.error_exit = JpegErrorExit;
  job.error.pub.output_message = JpegOutputMessage;
  if (setjmp(job.error.jump)) {
    jpeg_destroy_decompress(&job.cinfo);
    MemFree(job.pixels);
    return -1;
  }
  int result = DecodeJpeg(&job, stream, image);
  jpeg_destroy_decompress(&job.cinfo);
  MemFree(job.pixels);
  return result;
}

}  // namespace orbel
