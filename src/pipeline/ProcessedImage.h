#pragma once
// The owner of an image LibRaw hands out (a developed picture, or an embedded preview),
// which LibRaw's own allocator frees.
#include <libraw/libraw.h>

#include <memory>

struct ProcessedImageDeleter {
  void operator()(libraw_processed_image_t* image) const { libraw_dcraw_clear_mem(image); }
};
using ProcessedImagePtr = std::unique_ptr<libraw_processed_image_t, ProcessedImageDeleter>;
