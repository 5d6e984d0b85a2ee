// The PNG loader: libpng reads through the library's stream (a read callback over StreamData), and its
// output is mapped onto image formats: palette, grey ramp, grey + alpha as 16-bit, A8R8G8B8 or R8G8B8.
// Pictures over the cap are refused before any pixel block is made, and libpng's messages are silenced.
// Depends on libpng (1.6 interface), image_reader and color_data.
// NOTE: libpng reports errors by longjmp. Nothing between setjmp and the decoder calls has a
// destructor; every block made on the way is held in a plain record and freed on the error road.
#include <png.h>

#include <csetjmp>
#include <cstring>  // memset

#include "orbel/image/image_loader.h"
#include "orbel/image/image_reader.h"

namespace orbel {

namespace {

// What the read callback reads: the stream and the position of its end.
struct PngStreamRecord {
  StreamData* stream;
  int64_t end;  // stream position one past the last byte
};

// Everything a decode holds, so that the error road can free it.
struct PngJob {
  png_structp png;
  png_infop info;
  png_bytep* rows;  // tracked block of row pointers
  void* pixels;     // tracked pixel block
  PngStreamRecord record;
};

void PngReadStreamCallback(png_structp png, png_bytep buffer, png_size_t length) {
  auto* record = static_cast<PngStreamRecord*>(png_get_io_ptr(png));
  int32_t here = record->stream->functions.Tell(record->stream->handle);
  if (here < 0 || record->end - here < static_cast<int64_t>(length) ||
      !StreamReadExact(record->stream, buffer, length)) {
    png_error(png, "Read Error");
  }
}

// libpng's messages are not for the player: errors refuse the file quietly, warnings are dropped, and
// nothing reaches stderr.
[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

void SetPngReadStream(png_structp png, PngStreamRecord* record, StreamData* stream) {
  record->stream = stream;
  int64_t left = StreamBytesLeft(stream);
  int32_t here = stream->functions.Tell(stream->handle);
  record->end = left < 0 ? here : here + left;
  png_set_read_fn(png, record, PngReadStreamCallback);
}

void FreeJob(PngJob* job) {
  MemFree(job->rows);
  MemFree(job->pixels);
  job->rows = nullptr;
  job->pixels = nullptr;
  png_destroy_read_struct(&job->png, job->info ? &job->info : nullptr, nullptr);
}

// The decode proper; libpng errors leave it by longjmp to LoadPngImage.
int DecodePng(PngJob* job, StreamData* stream, GraphImage* image) {
  png_structp png = job->png;
  png_infop info = job->info;
  SetPngReadStream(png, &job->record, stream);
  png_set_sig_bytes(png, 0);
  png_read_info(png, info);
  png_uint_32 width, height;
  int bitDepth, colorType, interlace;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) return -1;

  bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  png_set_strip_16(png);
  png_set_packing(png);
  png_set_packswap(png);  // after unpacking to one pixel per byte this changes nothing visible
  if ((colorType == PNG_COLOR_TYPE_GRAY && bitDepth <= 8) || hasTrns) png_set_expand(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  png_size_t rowBytes = png_get_rowbytes(png, info);
  int channels = png_get_channels(png, info);

  uint32_t bytes;
  if (!CheckedImageBytes(rowBytes, height, 1, &bytes)) return -1;
  job->rows = static_cast<png_bytep*>(MemAlloc(static_cast<uint32_t>(sizeof(png_bytep) * height), "png rows", __LINE__));
  job->pixels = MemAlloc(bytes, "png pixels", __LINE__);
  if (job->rows == nullptr || job->pixels == nullptr) return -1;
  for (png_uint_32 y = 0; y < height; ++y) job->rows[y] = static_cast<png_bytep>(job->pixels) + y * rowBytes;
  png_read_image(png, job->rows);
  png_read_end(png, nullptr);

  ColorData& f = image->format;
  if (colorType == PNG_COLOR_TYPE_PALETTE && !hasTrns) {
    SetColorData8Bit(&f);
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &palette, &count) != 0) {
      for (int i = 0; i < count && i < 256; ++i) {
        f.palette[i] = ColorPaletteEntry{palette[i].blue, palette[i].green, palette[i].red, 0};
      }
    }
  } else if (channels == 1) {
    SetColorDataGray8(&f);
  } else if (channels == 2) {
    // Grey with alpha: the grey byte is the colour; the alpha byte is not kept as alpha.
    f.bitDepth = 16;
    f.bytesPerPixel = 2;
    f.redMask = f.greenMask = f.blueMask = 0x00FF;
    f.redShift = f.greenShift = f.blueShift = 0;
    f.redWidth = f.greenWidth = f.blueWidth = 8;
    f.alphaMask = 0;
    f.alphaShift = f.alphaWidth = 0;
    f.noneMask = 0xFF00;
  } else if (channels == 4) {
    SetColorDataARGB32(&f);
  } else {
    SetColorData24Bit(&f);
  }
  image->width = width;
  image->height = height;
  image->pitch = static_cast<uint32_t>(rowBytes);
  image->pixels = job->pixels;
  job->pixels = nullptr;
  return 0;
}

}  // namespace

int LoadPngImage(StreamData* stream, GraphImage* image) {
  PngJob job;
  memset(&job, 0, sizeof(job));
  job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (job.png == nullptr) return -1;
  // libpng refuses larger sides itself, while reading the header, before it allocates for the rows.
  png_set_user_limits(job.png, kMaxImageSide, kMaxImageSide);
  job.info = png_create_info_struct(job.png);
  if (job.info == nullptr) {
    FreeJob(&job);
    return -1;
  }
  if (setjmp(png_jmpbuf(job.png))) {
    FreeJob(&job);
    return -1;
  }
  int result = DecodePng(&job, stream, image);
  FreeJob(&job);
  return result;
}

}  // namespace orbel
