#pragma once
// Saving: the save format, depth and flags of the output extension, the conversion to the
// output depth, and writing the file.
#include <cstdint>
#include <string>

#include "pipeline/ImageRecords.h"
#include "pipeline/JpegWriting.h"
#include "platform/BitmapPtr.h"

// The save format, depth and flags of the output extension, from the per-format settings.
// Run once per run, before the worker starts.
[[nodiscard]] SaveSettings PrepareSaveSettings(const std::string& extension, const ConversionSettingsRecord& settings);

// The FreeImage save flags for an extension from the per-format settings; 0 (FreeImage's
// defaults) for an extension without options.
[[nodiscard]] int32_t SaveFlagsFor(const std::string& extension, const ConversionSettingsRecord& settings);

// The smallest permitted depth of the extension not below `sourceBpp`, or its largest
// when the source is deeper than all of them; 0 for an extension without depths.
[[nodiscard]] int32_t AutoTargetBpp(const std::string& extension, int32_t sourceBpp);

// Brings the bitmap to result.targetBpp, which it first chooses from result.sourceBpp when
// the request's depth is automatic. Null for a depth without a conversion, or when a
// conversion fails.
[[nodiscard]] BitmapPtr ConvertForSave(BitmapPtr bitmap, const ImageRequest& request, ImageResult& result);

// Copies the input's metadata back (marked upright), sets result.outputFile from the name
// mask and writes the file (platform/OutputFiles.h): the file is complete and on disk
// before it takes its name, so a failed save, a stopping signal or a kill leaves no partial
// or temporary file and an earlier file of that name intact. The new file gets the
// permission bits of the regular file it replaces, else 0666 less the umask. Fails when the
// output path names the input file itself, when the name would leave the output folder,
// and when an existing output file may not be written by this user (it is not replaced).
// Releases both bitmaps. With `rows`, the bitmap has no pixels: they come from there, into
// the direct JPEG writer (which the bitmap and flags must suit).
[[nodiscard]] bool SaveOutputImage(BitmapPtr bitmap, BitmapPtr metadataHolder, const ImageRequest& request,
                                   ImageResult& result, const PixelRows* rows = nullptr);
