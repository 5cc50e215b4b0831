#pragma once
// Writes small but real DNG files: an uncompressed 16-bit RGGB Bayer mosaic that the RAW
// decoder demosaics, optionally with a full-size JPEG preview, EXIF fields and an
// orientation. The scene is TestPattern::kQuadrants in the sensor's orientation.
#include <cstdint>
#include <string>
#include <vector>

struct DngOptions {
  int width = 96;
  int height = 64;
  // A JPEG preview of the whole scene in the first directory; the mosaic then sits in a
  // sub-directory, as cameras and converters lay it out.
  bool preview = false;
  std::vector<uint8_t> previewProfile = {};  // an ICC profile for the preview; empty writes none
  // The preview's stated length over its own: below 1 cuts it short, far above reaches past
  // the end of the file. The mosaic stays whole.
  double previewLengthShare = 1;
  int orientation = 1;  // the Orientation tag; 0 writes none
  // DateTimeOriginal in an EXIF directory. Make and Model are always written: the RAW
  // decoder does not take a DNG without them.
  bool exif = false;
  std::string make = "Quillmark";
  std::string model = "Test Camera";
  std::string dateTimeOriginal = "2021:06:15 10:20:30";
  // Amplitude, in 8-bit levels, of deterministic noise on the scene, so that benchmark files
  // cost what photographs cost to decode and encode. 0 keeps the colours flat.
  int noise = 0;
};

// False when the file cannot be written or the options are out of range.
bool WriteTestDng(const std::string& path, const DngOptions& options);

// The scene of the options' size and noise as the bytes of a JPEG file (quality 90, no
// chroma subsampling): the DNG's preview, and the preview and thumbnail of other writers.
// Empty when it cannot be encoded.
std::vector<uint8_t> SceneJpeg(const DngOptions& options);
