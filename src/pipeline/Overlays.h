#pragma once
// Laying RGBA overlays over a 24-bit photo. The photo is changed in place, so it keeps its
// metadata (a new composite bitmap would carry none), and only where an overlay lies, so a
// small overlay costs little on a large photo. The pixels become what FreeImage_Composite
// returns for a full-size overlay: (a·fg + (255 − a)·bg) >> 8 for 0 < a < 255, fg for
// a = 255, the photo for a = 0.
#include <cstdint>

#include "platform/BitmapPtr.h"
#include "platform/Drawing.h"

// Blends the canvas over the photo with the canvas's top-left corner at (left, top), counted
// from the photo's top-left; canvas pixels beyond the photo are ignored. False, photo
// unchanged, when the photo is not 24-bit.
[[nodiscard]] bool CompositeCanvas(FIBITMAP* photo, cairo_surface_t* canvas, int left, int top);

// Pastes the 32-bit overlay at (x, y), from the top-left, into a transparent layer of the
// photo's size with paste alpha 255, which turns every channel value v (alpha included) into
// floor(255·v/256), and blends that layer over the photo. An overlay that does not lie wholly
// inside the photo is not pasted and the photo stays as it is. False only when the photo is
// not 24-bit or the overlay not 32-bit.
[[nodiscard]] bool CompositePastedOverlay(FIBITMAP* photo, FIBITMAP* overlay, int64_t x, int64_t y);
