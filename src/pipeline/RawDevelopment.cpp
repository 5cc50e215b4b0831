#include "pipeline/RawDevelopment.h"

#include <libraw/libraw.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The file as FreeImage's RAW plug-in presents it to LibRaw, read through the camera-file
// reader: every request gets the answer it gets there (including how a line or a number is
// read), so LibRaw decodes exactly what it decodes inside the plug-in.
class ReaderStream : public LibRaw_abstract_datastream {
 public:
  explicit ReaderStream(RawFileReader& reader) : reader_(reader) {}

  int valid() override { return 1; }

  int read(void* buffer, size_t size, size_t count) override {
    if (size == 1 && count == 1) {
      const int byte = ReadRawFileByte(reader_);
      if (byte < 0) return 0;
      *static_cast<unsigned char*>(buffer) = static_cast<unsigned char>(byte);
      return 1;
    }
    return size == 0 ? 0 : static_cast<int>(ReadRawFile(reader_, buffer, size * count) / size);
  }

  int seek(INT64 offset, int origin) override { return SeekRawFile(reader_, offset, origin); }
  INT64 tell() override { return reader_.position; }
  INT64 size() override { return reader_.size; }
  int get_char() override { return ReadRawFileByte(reader_); }

  // Up to `length` bytes, through the first line feed, without a terminator of its own.
  char* gets(char* buffer, int length) override {
    std::memset(buffer, 0, static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
      const int byte = ReadRawFileByte(reader_);
      if (byte < 0) return nullptr;
      buffer[i] = static_cast<char>(byte);
      if (byte == '\n') break;
    }
    return buffer;
  }

  // A word read up to and including a blank, a line feed or a '0'.
  int scanf_one(const char* format, void* value) override {
    std::string word;
    for (int byte = 0; byte != '0' && byte != '\n' && byte != ' ' && byte != '\t';) {
      byte = ReadRawFileByte(reader_);
      if (byte < 0) return 0;
      word.push_back(static_cast<char>(byte));
    }
    return std::sscanf(word.c_str(), format, value);
  }

  int eof() override { return reader_.position >= reader_.size; }
  void* make_jas_stream() override { return nullptr; }

 private:
  RawFileReader& reader_;
};

// LibRaw keeps protected what this decode needs beyond its public interface: its memory
// manager (to release the mosaic and cut the image buffer down) and its output curve.
class LibRawInternals : public LibRaw {
 public:
  using LibRaw::free;
  using LibRaw::gamma_curve;
  using LibRaw::libraw_internal_data;
  using LibRaw::memmgr;
};

struct ProcessedImageDeleter {
  void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};
using ProcessedImagePtr = std::unique_ptr<libraw_processed_image_t, ProcessedImageDeleter>;

// The line length of a FreeImage bitmap: whole bytes, rounded up to four.
int FreeImagePitch(int width, int bitsPerPixel) {
  const int line = (width * bitsPerPixel + 7) / 8;
  return (line + 3) & ~3;
}

}  // namespace

// Members are destroyed in reverse order: LibRaw before the stream, the stream before the file.
struct RawDevelopment {
  RawFileReader reader;
  ReaderStream stream{reader};
  LibRawInternals raw;
  int dataErrors = 0;  // raw data LibRaw reported it could not decode
  bool thumbnailDamaged = false;
};

void RawDevelopmentDeleter::operator()(RawDevelopment* development) const {
  std::default_delete<RawDevelopment>()(development);
}

namespace {

// LibRaw reports raw data it cannot decode here and carries on: its CRX (CR3) decoder then
// leaves the picture's buffer as it was allocated, so what it develops is no picture of the
// file.
void CountDataError(void* errors, const char*, int) { ++*static_cast<int*>(errors); }

// LibRaw clears itself after a fatal error in reading the preview (one that points past the
// end of the file, or is too short or too long to be a picture): whatever it had read or
// developed of the file is freed. The file is then opened again, as at first, so that the
// camera's image can still be developed.
bool UnpackThumbnail(RawDevelopment& development) {
  const int status = development.raw.unpack_thumb();
  if (LIBRAW_FATAL_ERROR(status)) {
    development.thumbnailDamaged = status == LIBRAW_IO_ERROR || status == LIBRAW_DATA_ERROR;
    // LibRaw takes the byte order from wherever the stream stands; a new one stands at the start.
    development.stream.seek(0, SEEK_SET);
    development.raw.open_datastream(&development.stream);  // failing that, developing fails
  }
  return status == LIBRAW_SUCCESS;
}

// The embedded preview as LibRaw hands it over (a file in memory or a bitmap); null when
// there is none. LibRaw's own copy of it is released once converted.
ProcessedImagePtr MakeThumbnail(RawDevelopment& development) {
  LibRawInternals& raw = development.raw;
  if (!UnpackThumbnail(development)) return nullptr;
  int error = 0;
  ProcessedImagePtr thumbnail(raw.dcraw_make_mem_thumb(&error));
  raw.free(raw.imgdata.thumbnail.thumb);
  raw.imgdata.thumbnail.thumb = nullptr;
  return thumbnail;
}

void SetOutputParameters(libraw_output_params_t& params, int bitsPerSample) {
  params.output_bps = bitsPerSample;
  // A linear curve for 16 bits a sample; BT.709's (power 1/2.222, toe slope 4.5) for 8.
  params.gamm[0] = bitsPerSample == 16 ? 1 : 1 / 2.222;
  params.gamm[1] = bitsPerSample == 16 ? 1 : 4.5;
  params.no_auto_bright = 1;
  params.use_auto_wb = 1;
  params.user_qual = 3;  // AHD demosaicing
}

// The mosaic is not read again once demosaiced.
void ReleaseMosaic(LibRawInternals& raw) {
  libraw_rawdata_t& data = raw.imgdata.rawdata;
  if (!data.raw_alloc || data.raw_alloc == raw.imgdata.image) return;
  raw.free(data.raw_alloc);
  data.raw_alloc = nullptr;
  data.raw_image = nullptr;
  data.color4_image = nullptr;
  data.color3_image = nullptr;
  data.float_image = nullptr;
  data.float3_image = nullptr;
  data.float4_image = nullptr;
}

// LibRaw's output curve, as it sets it up before copying its image out: without
// auto-brightening the white point is its fixed 0x2000 << 3.
void PrepareOutputCurve(LibRawInternals& raw) {
  const libraw_output_params_t& params = raw.imgdata.params;
  if (raw.libraw_internal_data.output_data.histogram)
    raw.gamma_curve(params.gamm[0], params.gamm[1], 2, static_cast<int>((0x2000 << 3) / params.bright));
}

// Each packed row starts no later than its pixels did (three or six bytes a pixel against
// eight), and a pixel's channels are read before its bytes are written, so packing in
// place never overwrites what is still to be read.
void PackRow8(const ushort (*in)[4], int width, const ushort* curve, unsigned char* out) {
  for (int x = 0; x < width; ++x, out += 3) {
    const ushort red = in[x][0], green = in[x][1], blue = in[x][2];
    out[0] = static_cast<unsigned char>(curve[blue] >> 8);
    out[1] = static_cast<unsigned char>(curve[green] >> 8);
    out[2] = static_cast<unsigned char>(curve[red] >> 8);
  }
}

void PackRow16(const ushort (*in)[4], int width, const ushort* curve, unsigned char* out) {
  for (int x = 0; x < width; ++x, out += 6) {
    const ushort channels[3] = {curve[in[x][0]], curve[in[x][1]], curve[in[x][2]]};
    std::memcpy(out, channels, sizeof channels);
  }
}

void PackInPlace(LibRawInternals& raw, DevelopedPixels& pixels) {
  const ushort(*image)[4] = raw.imgdata.image;
  auto* rows = reinterpret_cast<unsigned char*>(raw.imgdata.image);
  const int used = pixels.width * pixels.bitsPerPixel / 8;
  for (int y = 0; y < pixels.height; ++y) {
    const ushort(*in)[4] = image + static_cast<size_t>(y) * static_cast<size_t>(pixels.width);
    unsigned char* out = rows + static_cast<size_t>(y) * static_cast<size_t>(pixels.pitch);
    if (pixels.bitsPerPixel == 24)
      PackRow8(in, pixels.width, raw.imgdata.color.curve, out);
    else
      PackRow16(in, pixels.width, raw.imgdata.color.curve, out);
    std::memset(out + used, 0, static_cast<size_t>(pixels.pitch - used));
  }
}

// The buffer is cut down to the packed rows; the pages beyond them go back to the system.
void ShrinkImageBuffer(LibRawInternals& raw, const DevelopedPixels& pixels) {
  const size_t bytes = static_cast<size_t>(pixels.pitch) * static_cast<size_t>(pixels.height);
  if (void* shrunk = raw.memmgr.realloc(raw.imgdata.image, bytes))
    raw.imgdata.image = static_cast<ushort(*)[4]>(shrunk);
}

}  // namespace

RawDevelopmentPtr OpenRawDevelopment(const std::string& path, bool halfSize) {
  RawDevelopmentPtr development(std::make_unique<RawDevelopment>().release());
  if (!OpenRawFileReader(path, development->reader)) return nullptr;
  libraw_output_params_t& params = development->raw.imgdata.params;
  params.shot_select = 0;
  params.use_camera_wb = 1;
  params.use_camera_matrix = 1;
  params.half_size = halfSize ? 1 : 0;
  development->raw.set_dataerror_handler(CountDataError, &development->dataErrors);
  if (development->raw.open_datastream(&development->stream) != LIBRAW_SUCCESS) return nullptr;
  return development;
}

int RawImageWidth(const RawDevelopment& development) { return development.raw.imgdata.sizes.width; }
int RawImageHeight(const RawDevelopment& development) { return development.raw.imgdata.sizes.height; }

bool HasRawThumbnail(RawDevelopment& development) { return MakeThumbnail(development) != nullptr; }

bool RawThumbnailDamaged(const RawDevelopment& development) { return development.thumbnailDamaged; }

bool DevelopRawImage(RawDevelopment& development, int bitsPerSample, DevelopedPixels& pixels) {
  LibRawInternals& raw = development.raw;
  SetOutputParameters(raw.imgdata.params, bitsPerSample);
  development.dataErrors = 0;
  if (raw.unpack() != LIBRAW_SUCCESS || development.dataErrors > 0) return false;
  if (raw.dcraw_process() != LIBRAW_SUCCESS) return false;
  int width = 0, height = 0, colors = 0, bps = 0;
  raw.get_mem_image_format(&width, &height, &colors, &bps);
  if (colors != 3 || !raw.imgdata.image) return false;
  ReleaseMosaic(raw);
  PrepareOutputCurve(raw);
  // LibRaw's image holds sizes.width x sizes.height pixels once developed; its orientation
  // is left to the caller.
  pixels.width = raw.imgdata.sizes.width;
  pixels.height = raw.imgdata.sizes.height;
  pixels.bitsPerPixel = 3 * bitsPerSample;
  pixels.pitch = FreeImagePitch(pixels.width, pixels.bitsPerPixel);
  pixels.flip = raw.imgdata.sizes.flip;
  PackInPlace(raw, pixels);
  ShrinkImageBuffer(raw, pixels);
  pixels.rows = reinterpret_cast<unsigned char*>(raw.imgdata.image);
  return true;
}

std::vector<unsigned char> TakeRawThumbnailFile(RawDevelopment& development) {
  const ProcessedImagePtr thumbnail = MakeThumbnail(development);
  if (!thumbnail || thumbnail->type == LIBRAW_IMAGE_BITMAP) return {};
  return {thumbnail->data, thumbnail->data + thumbnail->data_size};
}

std::span<unsigned char> RawIccProfile(const RawDevelopment& development) {
  const libraw_colordata_t& color = development.raw.imgdata.color;
  if (!color.profile) return {};
  return {static_cast<unsigned char*>(color.profile), color.profile_length};
}
