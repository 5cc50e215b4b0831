#pragma once
// Move-only owners of FreeImage handles, so that no path leaks a bitmap or a memory
// stream. Stages take the bitmap and return the one to continue with.
#include <FreeImage.h>

#include <memory>

// A bitmap may wrap pixels that something else holds (a decoder's own buffer, see
// FreeImage_ConvertFromRawBitsEx): that owner is released together with the bitmap.
struct BitmapDeleter {
  void (*releasePixelOwner)(void* owner) = nullptr;
  void* pixelOwner = nullptr;
  void operator()(FIBITMAP* bitmap) {
    FreeImage_Unload(bitmap);
    if (releasePixelOwner) releasePixelOwner(pixelOwner);
    releasePixelOwner = nullptr;
    pixelOwner = nullptr;
  }
};
using BitmapPtr = std::unique_ptr<FIBITMAP, BitmapDeleter>;

struct MemoryStreamDeleter {
  void operator()(FIMEMORY* stream) const { FreeImage_CloseMemory(stream); }
};
using MemoryStreamPtr = std::unique_ptr<FIMEMORY, MemoryStreamDeleter>;

struct TagDeleter {
  void operator()(FITAG* tag) const { FreeImage_DeleteTag(tag); }
};
using TagPtr = std::unique_ptr<FITAG, TagDeleter>;

// Takes ownership of what a FreeImage call returned (null stays null).
inline BitmapPtr AdoptBitmap(FIBITMAP* bitmap) { return BitmapPtr(bitmap); }
