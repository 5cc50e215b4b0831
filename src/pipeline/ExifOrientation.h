#pragma once
// The decoders hand over upright pixels (the RAW decoder applies the camera's turn, the JPEG
// decoder the EXIF orientation) while the metadata they copy still names the camera's
// orientation. Saved as it is, viewers would turn the picture a second time.
#include <FreeImage.h>

#include <cstdint>
#include <string>
#include <vector>

// The EXIF tag number of the orientation, in the main image directory.
inline constexpr uint16_t kOrientationTag = 0x0112;

// How a picture stored in an EXIF orientation is turned upright: a turn (counter-clockwise
// degrees), then flips. FreeImage's JPEG decoder turns by these, and the full decode turns
// LibRaw's unturned image by them as LibRaw's own output would be turned.
struct OrientationStep {
  uint16_t orientation;
  int degrees;
  bool flipHorizontal;
  bool flipVertical;
};

// The step of an EXIF orientation; null for 1 (upright) and unknown values.
const OrientationStep* OrientationStepOf(uint16_t orientation);

// The EXIF orientation of a LibRaw flip code, whose bit 4 swaps rows and columns, 2 mirrors
// top to bottom and 1 left to right; 1 for 0 and unknown codes.
uint16_t OrientationOfLibRawFlip(int flip);

// Sets the orientation to 1 (upright) where the bitmap carries it: EXIF Orientation in the
// raw EXIF block that the JPEG and WebP writers store and in the parsed main EXIF tags, and
// tiff:Orientation in the XMP packet. Every other metadata value stays as it is.
void MarkMetadataUpright(FIBITMAP* bitmap);

// Sets the Orientation entry of the first image directory of a raw EXIF block (a TIFF
// structure, with or without the leading "Exif\0\0") to `value`. False, with the block
// untouched, when it has no such entry or is malformed.
[[nodiscard]] bool SetOrientationInExifBlock(std::vector<uint8_t>& block, uint16_t value);

// Sets every tiff:Orientation value of an XMP packet to `value`, in the attribute form
// tiff:Orientation="6" and the element form <tiff:Orientation>6</tiff:Orientation>; every
// other byte stays as it was. False, packet untouched, when it names no orientation.
[[nodiscard]] bool SetOrientationInXmpPacket(std::string& packet, uint16_t value);
