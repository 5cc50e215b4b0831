#include "pipeline/RawDevelopment.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pipeline/ProcessedImage.h"

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

// What this decode needs of LibRaw is public where LibRaw 0.20 offers it (its internal state
// through get_internal_data_pointer). Three things it keeps protected, and they force this
// subclass: its memory manager (free and realloc, to release the mosaic and cut the image
// buffer down to the packed rows, which no public call does), its output curve (gamma_curve,
// which the packing applies as LibRaw's own copy-out would) and the processing-step hooks
// (0.20 has setters for its error and progress handlers only). A newer LibRaw that makes them
// public or renames them needs only these lines changed.
class LibRawInternals : public LibRaw {
 public:
  using LibRaw::callbacks;
  using LibRaw::free;
  using LibRaw::gamma_curve;
  using LibRaw::memmgr;
};

// The line length of a FreeImage bitmap: whole bytes, rounded up to four.
int FreeImagePitch(int width, int bitsPerPixel) {
  const int line = (width * bitsPerPixel + 7) / 8;
  return (line + 3) & ~3;
}

// ---- the half-size decode -------------------------------------------------------------

// LibRaw's half size makes one pixel of each 2 x 2 block of a Bayer mosaic by taking each
// colour's sample where it lies in the block: red from one corner, blue from the opposite
// one. Those samples stand a quarter of a pixel off the block's centre, in opposite
// directions, and hold only a quarter of the mosaic's detail, which fringes every edge with
// colour. Red and blue are therefore moved to the centre before LibRaw scales and converts
// the colours, as demosaicing does: the green there (the block's two greens) plus the
// colour difference to the green around each sample, interpolated from the four nearest
// samples (bench/RESULTS.md, "full decodes that shrink").

// The half-size picture with the colours of the corners of each block.
struct HalfSizeImage {
  ushort (*pixels)[4];
  int width, height;
  int colours[2][2];

  // The sample of the mosaic at row y, column x (clamped to the picture).
  int32_t Sample(int y, int x) const {
    y = std::clamp(y, 0, 2 * height - 1);
    x = std::clamp(x, 0, 2 * width - 1);
    return pixels[(y >> 1) * width + (x >> 1)][colours[y & 1][x & 1]];
  }
  // Green where the mosaic has red or blue: the mean of its four green neighbours.
  int32_t GreenAround(int y, int x) const {
    return (Sample(y - 1, x) + Sample(y + 1, x) + Sample(y, x - 1) + Sample(y, x + 1) + 2) / 4;
  }
};

// The colours of the corners of a block; false for a mosaic that does not repeat every two
// rows and columns, or whose blocks hold other than red and blue on one diagonal and two
// greens on the other.
bool BlockColours(LibRawInternals& raw, int (&colours)[2][2]) {
  const libraw_internal_output_params_t& output = raw.get_internal_data_pointer()->internal_output_params;
  if (!output.shrink || output.fuji_width || raw.imgdata.idata.filters <= 1000) return false;
  for (int row = 0; row < 8; ++row)
    for (int column = 0; column < 2; ++column)
      if (raw.FC(row, column) != raw.FC(row & 1, column)) return false;
  for (int row = 0; row < 2; ++row)
    for (int column = 0; column < 2; ++column) colours[row][column] = raw.FC(row, column);
  const auto green = [](int colour) { return colour == 1 || colour == 3; };
  const bool redBlueDiagonal = colours[0][0] + colours[1][1] == 2 && !green(colours[0][0]);
  const bool redBlueAntidiagonal = colours[0][1] + colours[1][0] == 2 && !green(colours[0][1]);
  return (redBlueDiagonal && green(colours[0][1]) && green(colours[1][0])) ||
         (redBlueAntidiagonal && green(colours[0][0]) && green(colours[1][1]));
}

// Red or blue minus the green around it, for every block of a row. Away from the edges the
// four greens lie in this block and the ones beside, above or below it towards the sample.
void ColourDifferences(const HalfSizeImage& image, int row, const int site[2], std::vector<int32_t>& out) {
  row = std::clamp(row, 0, image.height - 1);
  const int y = 2 * row + site[0], width = image.width;
  const int vertical = image.colours[site[0] ^ 1][site[1]], horizontal = image.colours[site[0]][site[1] ^ 1];
  const int colour = image.colours[site[0]][site[1]];
  const bool inside = y > 0 && y < 2 * image.height - 1;
  const ushort(*here)[4] = image.pixels + row * width;
  const ushort(*across)[4] = here + (site[0] == 0 ? -width : width);  // the other green row
  const int beside = site[1] == 0 ? -1 : 1;                           // the other green column
  const auto edge = [&](int block) {
    const int x = 2 * block + site[1];
    out[static_cast<size_t>(block)] = image.Sample(y, x) - image.GreenAround(y, x);
  };
  if (!inside || width < 3) {
    for (int block = 0; block < width; ++block) edge(block);
    return;
  }
  edge(0);
  for (int block = 1; block < width - 1; ++block) {
    const int32_t greens =
        here[block][vertical] + across[block][vertical] + here[block][horizontal] + here[block + beside][horizontal];
    out[static_cast<size_t>(block)] = here[block][colour] - (greens + 2) / 4;
  }
  edge(width - 1);
}

// The colour differences of a row are taken before the row changes; the rows are walked away
// from the neighbouring row still to be read, so that the picture changes in place.
void CentreColour(HalfSizeImage& image, int colour, const int site[2]) {
  const int rowStep = site[0] == 0 ? 1 : -1, columnStep = site[1] == 0 ? 1 : -1;
  const int greens[2] = {image.colours[site[0]][site[1] ^ 1], image.colours[site[0] ^ 1][site[1]]};
  const int width = image.width;
  std::vector<int32_t> near(static_cast<size_t>(width)), far(near.size());
  for (int step = 0; step < image.height; ++step) {
    const int y = rowStep > 0 ? step : image.height - 1 - step;
    if (step == 0) ColourDifferences(image, y, site, near);
    ColourDifferences(image, y + rowStep, site, far);
    ushort(*row)[4] = image.pixels + y * width;
    const auto centre = [&](int x, int beside) {
      const int32_t difference = (9 * near[static_cast<size_t>(x)] + 3 * near[static_cast<size_t>(beside)] +
                                  3 * far[static_cast<size_t>(x)] + far[static_cast<size_t>(beside)]) /
                                 16;
      const int32_t green = (row[x][greens[0]] + row[x][greens[1]] + 1) / 2;
      row[x][colour] = static_cast<ushort>(std::clamp(green + difference, 0, 65535));
    };
    for (int x = 1; x < width - 1; ++x) centre(x, x + columnStep);
    centre(0, columnStep > 0 ? std::min(1, width - 1) : 0);
    if (width > 1) centre(width - 1, columnStep > 0 ? width - 1 : width - 2);
    std::swap(near, far);
  }
}

void CentreHalfSizeSamples(void* context) {
  auto& raw = *static_cast<LibRawInternals*>(static_cast<LibRaw*>(context));
  HalfSizeImage image{raw.imgdata.image, raw.imgdata.sizes.iwidth, raw.imgdata.sizes.iheight, {}};
  if (!image.pixels || !BlockColours(raw, image.colours)) return;
  for (int colour : {0, 2})
    for (int row = 0; row < 2; ++row)
      for (int column = 0; column < 2; ++column)
        if (image.colours[row][column] == colour) {
          const int site[2] = {row, column};
          CentreColour(image, colour, site);
        }
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

// LibRaw measures an automatic white balance over the whole mosaic whenever it is asked for
// one, and then replaces it with the camera's own where the camera recorded a usable one:
// for such files the measurement is left out, which changes nothing of the result and saves
// a pass over every pixel.
bool CameraBalanceReplacesAutomatic(const libraw_data_t& data) {
  const float* camera = data.color.cam_mul;
  return data.params.use_camera_wb && data.params.user_mul[0] == 0 && camera[0] > 0.00001f && camera[2] > 0.00001f;
}

void SetOutputParameters(libraw_data_t& data, int bitsPerSample) {
  libraw_output_params_t& params = data.params;
  params.output_bps = bitsPerSample;
  // A linear curve for 16 bits a sample; BT.709's (power 1/2.222, toe slope 4.5) for 8.
  params.gamm[0] = bitsPerSample == 16 ? 1 : 1 / 2.222;
  params.gamm[1] = bitsPerSample == 16 ? 1 : 4.5;
  params.no_auto_bright = 1;
  params.use_auto_wb = CameraBalanceReplacesAutomatic(data) ? 0 : 1;
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
  if (raw.get_internal_data_pointer()->output_data.histogram)
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

ImageSize RawOutputSize(const RawDevelopment& development) {
  const libraw_image_sizes_t& sizes = development.raw.imgdata.sizes;
  double width = sizes.width, height = sizes.height;
  if (sizes.pixel_aspect < 1) height /= sizes.pixel_aspect;
  if (sizes.pixel_aspect > 1) width *= sizes.pixel_aspect;
  const ImageSize size{static_cast<int>(width + 0.5), static_cast<int>(height + 0.5)};
  return (sizes.flip & 4) ? ImageSize{size.height, size.width} : size;
}

void DecodeAtHalfSize(RawDevelopment& development) {
  development.raw.imgdata.params.half_size = 1;
  development.raw.callbacks.pre_scalecolors_cb = CentreHalfSizeSamples;
}

int RawImageWidth(const RawDevelopment& development) { return development.raw.imgdata.sizes.width; }
int RawImageHeight(const RawDevelopment& development) { return development.raw.imgdata.sizes.height; }

bool HasRawThumbnail(RawDevelopment& development) { return MakeThumbnail(development) != nullptr; }

bool RawThumbnailDamaged(const RawDevelopment& development) { return development.thumbnailDamaged; }

bool DevelopRawImage(RawDevelopment& development, int bitsPerSample, DevelopedPixels& pixels) {
  LibRawInternals& raw = development.raw;
  SetOutputParameters(raw.imgdata, bitsPerSample);
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
