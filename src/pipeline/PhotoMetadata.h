#pragma once
// The photograph's own metadata: the EXIF, IPTC and XMP of the camera file, read with Exiv2
// and made true of the JPEG written from it (upright, the saved size, none of the camera
// file's own image structure, no thumbnail). The decoders hand over only what LibRaw puts
// into a preview (a shortened model name, no lens, no GPS, no capture time of its own).
//
// Exiv2 reports failures by exceptions; none of them leaves this module: a file it cannot
// read, or metadata it cannot encode, gives nothing and a reason.
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A JPEG marker segment: its marker (0xE1 for APP1) and the bytes after its length field.
struct JpegSegment {
  int marker = 0;
  std::vector<unsigned char> data;
};
using JpegSegments = std::vector<JpegSegment>;

struct PhotoMetadata;
struct PhotoMetadataDeleter {
  void operator()(PhotoMetadata* metadata) const;
};
using PhotoMetadataPtr = std::unique_ptr<PhotoMetadata, PhotoMetadataDeleter>;

// The file's metadata; null, with Exiv2's reason in `failure`, when Exiv2 cannot read the
// file or finds none in it.
[[nodiscard]] PhotoMetadataPtr ReadPhotoMetadata(const std::string& path, std::string& failure);

// The APP1 (EXIF, XMP) and APP13 (IPTC) segments of a JPEG of width x height upright pixels
// made from the photograph. Empty, with the reason in `failure`, when they cannot be encoded.
[[nodiscard]] std::optional<JpegSegments> EncodePhotoMetadata(const PhotoMetadata& metadata, int width, int height,
                                                              std::string& failure);

// True for the EXIF, XMP and IPTC segments that EncodePhotoMetadata makes, whoever wrote them.
[[nodiscard]] bool IsPhotoMetadataSegment(int marker, const unsigned char* data, size_t length);
