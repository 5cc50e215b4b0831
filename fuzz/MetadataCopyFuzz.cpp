// The metadata copy on damaged camera files: Exiv2 reads whatever the file holds and the
// segments for the JPEG are encoded from it. Every failure must come back as a reason, never
// as an exception, and every segment must fit a JPEG marker.
#include "FuzzSupport.h"
#include "pipeline/PhotoMetadata.h"

namespace {
constexpr size_t kSegmentCapacity = 65533;
}

// The input is two bytes of the saved picture's size (each 1..256), then the file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int width = data[0] + 1, height = data[1] + 1;
  std::string failure;
  const PhotoMetadataPtr metadata = ReadPhotoMetadata(WriteScratchFile(AsText(data + 2, size - 2)), failure);
  Require(metadata || !failure.empty(), "a file without metadata gives a reason");
  if (!metadata) return 0;
  failure.clear();
  const std::optional<JpegSegments> segments = EncodePhotoMetadata(*metadata, width, height, failure);
  Require(segments || !failure.empty(), "metadata that cannot be encoded gives a reason");
  if (segments)
    for (const JpegSegment& segment : *segments)
      Require(segment.data.size() <= kSegmentCapacity, "every segment fits a JPEG marker");
  return 0;
}
