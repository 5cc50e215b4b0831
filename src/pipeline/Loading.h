#pragma once
// Loading the input file into one bitmap, the metadata holder that carries the input's
// metadata to the saved file.
#include <cstdint>
#include <optional>
#include <string>

#include "pipeline/ImageSize.h"
#include "platform/BitmapPtr.h"
#include "settings/ConversionSettings.h"

// Silences libtiff's own console output (it writes warnings about private tags of camera
// files straight to standard error). Call once at start-up, before any image is loaded.
void InitialiseImageLibraries();

// Tries the decoders in their fixed order and returns the first bitmap obtained: headerless
// pixels when rawLoadAs asks for them, the RAW decoder, the JPEG decoder, and finally, for a
// file whose first bytes match no known signature (formats/Signatures.h), the file read as
// headerless RGB 5-6-5 pixels. A JPEG whose stated size exceeds the image limits is not
// decoded. Null when every decoder fails.
//
// With `resizeTarget`, an image may be decoded at a fraction of its size when the resize
// settings will shrink it enough anyway (a JPEG or a camera file's preview to half, a full
// decode by LibRaw's half size): the bitmap is then smaller than the image, and the resize's
// target, worked out from the full size, goes to `resizeTarget`. Every size rule after the
// resize sees the size of that target, so only pixel values change. None there means the
// bitmap has its full size.
//
// With `notes`, the debug report's lines about the load are added there (a damaged preview
// passed over for the camera's own image).
[[nodiscard]] BitmapPtr LoadSourceImage(const std::string& path, const ConversionSettingsRecord& settings,
                                        std::optional<TargetSize>* resizeTarget = nullptr,
                                        std::string* notes = nullptr);

// Reads the file as headerless pixels: mode kLoadAs8BitPixels is 8-bit grey,
// kLoadAs16BitPixels is 16-bit RGB 5-6-5.
// rawHeaderSize bytes are skipped; rawWidth x rawHeight is the size when both are non-zero,
// otherwise the data is taken as a square. Missing pixels come out black, surplus bytes are
// ignored. Null for an unreadable file, a negative header, an empty remainder, a size that
// is not positive, or more pixel data than the headerless limit.
[[nodiscard]] BitmapPtr LoadRawPixelData(const std::string& path, int32_t mode,
                                         const ConversionSettingsRecord& settings);

// The RAW decoder flags for the current rawLoadAs.
[[nodiscard]] int32_t RawLoadFlags(const ConversionSettingsRecord& settings);

// A small bitmap that holds a copy of `source`'s metadata and ICC profile until the output
// is saved.
[[nodiscard]] BitmapPtr MakeMetadataHolder(FIBITMAP* source);

// Gives the bitmap about to be saved the metadata kept in `holder`, and the source's ICC
// profile where that profile describes the saved pixels: a colour profile for colour pixels
// (none after greyscale, threshold or dither, or at a grey or one-bit depth), a grey profile
// for grey pixels. The bitmap keeps no other profile.
void RestoreSourceMetadata(FIBITMAP* bitmap, FIBITMAP* holder, const ConversionSettingsRecord& settings);
