#pragma once
#include <cstdint>

// The width and height of an image in pixels.
struct ImageSize {
  int width = 0;
  int height = 0;
};

// The size a resize makes of an image; it may pass the int32 range, which the image limits
// then refuse.
struct TargetSize {
  int64_t width;
  int64_t height;
};
