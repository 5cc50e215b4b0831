#include "pipeline/FullDecoding.h"

#include <vector>

#include "pipeline/ExifOrientation.h"

namespace {

void ReleaseDevelopment(void* development) { RawDevelopmentDeleter()(static_cast<RawDevelopment*>(development)); }

// A bitmap over the packed rows, which then own the development. FreeImage keeps the bottom
// row first: the rows are turned over in place, as the plug-in turns over its copy.
BitmapPtr WrapPixels(RawDevelopmentPtr development, const DevelopedPixels& pixels) {
  const FREE_IMAGE_TYPE type = pixels.bitsPerPixel == 48 ? FIT_RGB16 : FIT_BITMAP;
  FIBITMAP* wrapper =
      FreeImage_ConvertFromRawBitsEx(FALSE, pixels.rows, type, pixels.width, pixels.height, pixels.pitch,
                                     static_cast<unsigned>(pixels.bitsPerPixel), 0, 0, 0, TRUE);
  if (!wrapper) return nullptr;
  return BitmapPtr(wrapper, BitmapDeleter{ReleaseDevelopment, development.release()});
}

// The bitmap of LibRaw's unturned image made the one LibRaw's own output would be. A turn
// makes a new bitmap, and the wrapped buffer goes with the old one.
BitmapPtr TurnAsTheCamera(BitmapPtr bitmap, int flip) {
  const OrientationStep* step = OrientationStepOf(OrientationOfLibRawFlip(flip));
  if (!step || !bitmap) return bitmap;
  if (step->degrees != 0) bitmap = AdoptBitmap(FreeImage_Rotate(bitmap.get(), step->degrees));
  if (!bitmap) return nullptr;
  if (step->flipHorizontal) FreeImage_FlipHorizontal(bitmap.get());
  if (step->flipVertical) FreeImage_FlipVertical(bitmap.get());
  return bitmap;
}

// The plug-in's reading of the embedded preview without its pixels, for its metadata.
BitmapPtr ReadPreviewHeader(std::vector<unsigned char> file) {
  if (file.empty()) return nullptr;
  MemoryStreamPtr stream(FreeImage_OpenMemory(file.data(), static_cast<DWORD>(file.size())));
  if (!stream) return nullptr;
  const FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(stream.get(), 0);
  const int flags = FIF_LOAD_NOPIXELS | (format == FIF_JPEG ? JPEG_EXIFROTATE : 0);
  return AdoptBitmap(FreeImage_LoadFromMemory(format, stream.get(), flags));
}

}  // namespace

BitmapPtr DecodeFullImage(RawDevelopmentPtr development, int bitsPerSample, bool previewMetadata) {
  if (!development) return nullptr;
  // Read before developing: a damaged preview makes LibRaw free what it holds.
  const BitmapPtr header = previewMetadata ? ReadPreviewHeader(TakeRawThumbnailFile(*development)) : nullptr;
  DevelopedPixels pixels;
  if (!DevelopRawImage(*development, bitsPerSample, pixels)) return nullptr;
  // Taken before the turn, which may release the development.
  const std::span<unsigned char> camera = RawIccProfile(*development);
  std::vector<unsigned char> profile(camera.begin(), camera.end());
  const bool hasProfile = camera.data() != nullptr;

  BitmapPtr bitmap = TurnAsTheCamera(WrapPixels(std::move(development), pixels), pixels.flip);
  if (!bitmap) return nullptr;
  if (hasProfile) FreeImage_CreateICCProfile(bitmap.get(), profile.data(), static_cast<long>(profile.size()));
  if (header) FreeImage_CloneMetadata(bitmap.get(), header.get());
  return bitmap;
}
