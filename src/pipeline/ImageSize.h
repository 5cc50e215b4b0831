#pragma once

// The width and height of an image in pixels.
struct ImageSize {
  int width = 0;
  int height = 0;
};
