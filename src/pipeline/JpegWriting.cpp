#include "pipeline/JpegWriting.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "pipeline/JpegErrors.h"

namespace {

constexpr int kQualityMask = 0x7F;
constexpr int kSubsamplingFlags =
    JPEG_SUBSAMPLING_411 | JPEG_SUBSAMPLING_420 | JPEG_SUBSAMPLING_422 | JPEG_SUBSAMPLING_444;
constexpr int kKnownFlags = kQualityMask | kSubsamplingFlags | JPEG_PROGRESSIVE | JPEG_OPTIMIZE | JPEG_BASELINE;

struct Sampling {
  int flag;
  int lumaHorizontal, lumaVertical;  // the chroma components stay at 1 x 1
};

// Without a flag the encoder's default applies, which is 4:2:0.
const Sampling kSamplings[] = {
    {JPEG_SUBSAMPLING_411, 4, 1},
    {JPEG_SUBSAMPLING_420, 2, 2},
    {JPEG_SUBSAMPLING_422, 2, 1},
    {JPEG_SUBSAMPLING_444, 1, 1},
};

// The JFIF density in dots per inch, as FreeImage computes it from dots per metre.
double DotsPerInch(unsigned dotsPerMetre) { return 0.5 + 0.0254 * dotsPerMetre; }

struct MarkerSegment {
  int marker;
  const JOCTET* data;
  unsigned length;
};

bool IsFrameHeaderMarker(int marker) {
  // DQT, DHT, DRI, SOS, EOI and SOF0..SOF15 (0xC4, 0xC8 and 0xCC among them) start the
  // encoder's own part of the file.
  return (marker >= 0xC0 && marker <= 0xCF) || marker == 0xDB || marker == 0xDD || marker == 0xDA || marker == 0xD9;
}

bool IsJfifHeader(int marker, const JOCTET* data, unsigned length) {
  static constexpr JOCTET kJfif[] = {'J', 'F', 'I', 'F', 0};
  return marker == 0xE0 && length >= sizeof kJfif && std::equal(kJfif, kJfif + sizeof kJfif, data);
}

// What FreeImage writes around the encoded image: whether the encoder's JFIF header opens
// the file (FreeImage leaves it out of its SIMPLE files), the marker segments between that
// header and the frame header, which FreeImage added, and where the frame header starts.
struct AddedMarkers {
  bool jfifHeader = false;
  MarkerSegment jfif{};
  std::vector<MarkerSegment> segments;
  size_t frameStart = 0;
};

// False for anything that is not such a JPEG file.
bool SplitAddedMarkers(const BYTE* file, size_t size, AddedMarkers& added) {
  if (size < 2 || file[0] != 0xFF || file[1] != 0xD8) return false;
  bool first = true;
  for (size_t at = 2; at + 4 <= size; first = false) {
    if (file[at] != 0xFF) return false;
    const int marker = file[at + 1];
    if (IsFrameHeaderMarker(marker)) {
      added.frameStart = at;
      return true;
    }
    const unsigned length = static_cast<unsigned>(file[at + 2] << 8 | file[at + 3]);
    if (length < 2 || at + 2 + length > size) return false;
    const JOCTET* data = file + at + 4;
    if (first && IsJfifHeader(marker, data, length - 2)) {
      added.jfifHeader = true;
      added.jfif = {marker, data, length - 2};
    } else
      added.segments.push_back({marker, data, length - 2});
    at += 2 + length;
  }
  return false;
}

// The photograph's own metadata, where there is one, takes the place of what FreeImage wrote
// from the bitmap's and comes first; the comments and the ICC profile stay FreeImage's.
void PutPhotoMetadata(AddedMarkers& added, const JpegSegments* metadata) {
  if (!metadata) return;
  std::erase_if(added.segments, [](const MarkerSegment& segment) {
    return IsPhotoMetadataSegment(segment.marker, segment.data, segment.length);
  });
  std::vector<MarkerSegment> photo;
  for (const JpegSegment& segment : *metadata)
    photo.push_back({segment.marker, segment.data.data(), static_cast<unsigned>(segment.data.size())});
  added.segments.insert(added.segments.begin(), photo.begin(), photo.end());
}

bool WriteSegment(std::FILE* file, const MarkerSegment& segment) {
  const unsigned length = segment.length + 2;
  const unsigned char head[4] = {0xFF, static_cast<unsigned char>(segment.marker),
                                 static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length & 0xFF)};
  return std::fwrite(head, 1, 4, file) == 4 && std::fwrite(segment.data, 1, segment.length, file) == segment.length;
}

// FreeImage's JPEG with the metadata segments put in.
bool WriteWithSegments(std::FILE* file, const BYTE* jpeg, size_t size, const JpegSegments& metadata) {
  AddedMarkers added;
  if (!SplitAddedMarkers(jpeg, size, added)) return false;
  PutPhotoMetadata(added, &metadata);
  static constexpr unsigned char kStartOfImage[] = {0xFF, 0xD8};
  bool written = std::fwrite(kStartOfImage, 1, 2, file) == 2 && (!added.jfifHeader || WriteSegment(file, added.jfif));
  for (const MarkerSegment& segment : added.segments) written = written && WriteSegment(file, segment);
  const size_t rest = size - added.frameStart;
  return written && std::fwrite(jpeg + added.frameStart, 1, rest, file) == rest;
}

// FreeImage's JPEG of a one-pixel bitmap with the same metadata, ICC profile and flags.
MemoryStreamPtr MetadataCarrierJpeg(FIBITMAP* bitmap, int flags) {
  BitmapPtr carrier = AdoptBitmap(FreeImage_Allocate(1, 1, 24));
  if (!carrier || !FreeImage_CloneMetadata(carrier.get(), bitmap)) return nullptr;
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(bitmap);
  if (profile && profile->data && profile->size > 0 &&
      !FreeImage_CreateICCProfile(carrier.get(), profile->data, static_cast<long>(profile->size)))
    return nullptr;
  MemoryStreamPtr stream(FreeImage_OpenMemory());
  if (!stream || !FreeImage_SaveToMemory(FIF_JPEG, carrier.get(), stream.get(), flags)) return nullptr;
  return stream;
}

void ConfigureEncoder(jpeg_compress_struct& info, FIBITMAP* bitmap, int flags, bool jfifHeader) {
  info.image_width = FreeImage_GetWidth(bitmap);
  info.image_height = FreeImage_GetHeight(bitmap);
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;  // FreeImage's byte order on this platform
  jpeg_set_defaults(&info);
  if (flags & JPEG_PROGRESSIVE) jpeg_simple_progression(&info);
  if (flags & JPEG_OPTIMIZE) info.optimize_coding = TRUE;
  info.X_density = static_cast<UINT16>(DotsPerInch(FreeImage_GetDotsPerMeterX(bitmap)));
  info.Y_density = static_cast<UINT16>(DotsPerInch(FreeImage_GetDotsPerMeterY(bitmap)));
  info.density_unit = 1;
  info.write_JFIF_header = jfifHeader ? TRUE : FALSE;
  for (const Sampling& sampling : kSamplings) {
    if (!(flags & sampling.flag)) continue;
    info.comp_info[0].h_samp_factor = sampling.lumaHorizontal;
    info.comp_info[0].v_samp_factor = sampling.lumaVertical;
  }
  jpeg_set_quality(&info, flags & kQualityMask, TRUE);
}

void WriteRows(jpeg_compress_struct& info, FIBITMAP* bitmap) {
  TransferBitmapRows(bitmap, info.image_height, info.next_scanline,
                     [&](JSAMPROW* rows, unsigned count) { jpeg_write_scanlines(&info, rows, count); });
}

bool WriteRowsFrom(jpeg_compress_struct& info, const PixelRows& source) {
  const unsigned height = info.image_height;
  JSAMPROW rows[kJpegRowsPerCall];
  while (info.next_scanline < height) {
    const unsigned count = std::min<unsigned>(kJpegRowsPerCall, height - info.next_scanline);
    if (!source(rows, count)) return false;
    jpeg_write_scanlines(&info, rows, count);
  }
  return true;
}

// The encoder's errors jump back into this function, past no destructor: every object
// with one lives in the caller.
bool Encode(std::FILE* file, FIBITMAP* bitmap, int flags, const AddedMarkers& added, const PixelRows* source) {
  jpeg_compress_struct info{};
  JpegErrorManager errors{};
  info.err = PrepareJpegErrors(errors);
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  ConfigureEncoder(info, bitmap, flags, added.jfifHeader);
  jpeg_start_compress(&info, TRUE);
  for (const MarkerSegment& segment : added.segments)
    jpeg_write_marker(&info, segment.marker, segment.data, segment.length);
  if (!source) {
    WriteRows(info, bitmap);
  } else if (!WriteRowsFrom(info, *source)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool CanWriteJpegDirectly(FIBITMAP* bitmap, int flags) {
  if (!bitmap || FreeImage_GetImageType(bitmap) != FIT_BITMAP || FreeImage_GetBPP(bitmap) != 24 ||
      FreeImage_GetThumbnail(bitmap))
    return false;
  const int quality = flags & kQualityMask;
  if ((flags & ~kKnownFlags) != 0 || quality < 1 || quality > 100) return false;
  if (std::popcount(static_cast<unsigned>(flags & kSubsamplingFlags)) > 1) return false;
  // Densities a JFIF header cannot hold are left to FreeImage.
  return DotsPerInch(FreeImage_GetDotsPerMeterX(bitmap)) < 65536 &&
         DotsPerInch(FreeImage_GetDotsPerMeterY(bitmap)) < 65536;
}

bool WriteJpegDirectly(std::FILE* file, FIBITMAP* bitmap, int flags, const PixelRows* rows,
                       const JpegSegments* metadata) {
  if (!rows && !FreeImage_HasPixels(bitmap)) return false;
  // The carrier holds the markers' bytes until the encoder has written them.
  MemoryStreamPtr carrier = MetadataCarrierJpeg(bitmap, flags);
  BYTE* data = nullptr;
  DWORD size = 0;
  AddedMarkers added;
  if (!carrier || !FreeImage_AcquireMemory(carrier.get(), &data, &size) || !SplitAddedMarkers(data, size, added))
    return false;
  PutPhotoMetadata(added, metadata);
  return Encode(file, bitmap, flags, added, rows);
}

bool WriteJpegThroughFreeImage(std::FILE* file, FIBITMAP* bitmap, int flags, const JpegSegments& metadata) {
  MemoryStreamPtr stream(FreeImage_OpenMemory());
  BYTE* data = nullptr;
  DWORD size = 0;
  return stream && FreeImage_SaveToMemory(FIF_JPEG, bitmap, stream.get(), flags) &&
         FreeImage_AcquireMemory(stream.get(), &data, &size) && WriteWithSegments(file, data, size, metadata);
}
