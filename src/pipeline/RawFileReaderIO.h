#pragma once
// FreeImage's view of a RawFileReader: the callbacks its RAW plug-in reads the file through.
#include "pipeline/RawFileReader.h"
#include "platform/BitmapPtr.h"

// The callbacks for FreeImage_LoadFromHandle with a RawFileReader* as the handle.
[[nodiscard]] FreeImageIO RawFileReaderIO();

// FreeImage_LoadFromHandle from the start of the file.
[[nodiscard]] BitmapPtr LoadFromRawFileReader(RawFileReader& reader, FREE_IMAGE_FORMAT format, int flags);
