#include "pipeline/Pipeline.h"

#include "pipeline/BitmapConversion.h"
#include "pipeline/Frames.h"
#include "pipeline/Loading.h"
#include "pipeline/Naming.h"
#include "pipeline/Saving.h"
#include "pipeline/Streaming.h"
#include "pipeline/Transforms.h"
#include "pipeline/Watermarks.h"

namespace {

bool ConvertWholeImage(const ImageRequest& request, ImageResult& result) {
  const ConversionSettingsRecord& settings = request.settings;
  std::optional<TargetSize> resizeTarget;  // given by a decode that handed over a smaller image
  BitmapPtr bitmap = LoadSourceImage(request.currentFile, settings, &resizeTarget, &result.notes);
  result.sourceBpp = BppOf(bitmap);
  if (WidthOf(bitmap) == 0 || HeightOf(bitmap) == 0) return false;
  BitmapPtr metadataHolder = MakeMetadataHolder(bitmap.get());

  bitmap = ApplyRotation(std::move(bitmap), settings);
  // A bitmap decoded smaller (never one that a rotation turns) comes with the target of its
  // full size; any other is resized by the size it has after the rotation.
  if (!resizeTarget) resizeTarget = ResizeTarget({WidthOf(bitmap), HeightOf(bitmap)}, settings);
  bitmap = ApplyResize(std::move(bitmap), resizeTarget, settings);
  // The size after rotation and resizing is the one the frame, the watermark and the
  // output name see.
  const int width = WidthOf(bitmap);
  const int height = HeightOf(bitmap);
  bitmap = ApplyToneMapping(std::move(bitmap), settings);
  bitmap = ApplyFlips(std::move(bitmap), settings);
  bitmap = ApplyColorAdjustment(std::move(bitmap), settings);
  bitmap = ApplyGreyscale(std::move(bitmap), settings);
  bitmap = ApplyThreshold(std::move(bitmap), settings);
  bitmap = ApplyDither(std::move(bitmap), settings);
  bitmap = ApplySolidFrame(std::move(bitmap), width, height, settings);

  result.outputWidth = width;
  result.outputHeight = height;
  result.frameNumber = 1;
  bitmap = ApplyWatermark(std::move(bitmap), width, height, ExpandWatermarkText(request, result), settings);

  bitmap = ConvertForSave(std::move(bitmap), request, result);
  return SaveOutputImage(std::move(bitmap), std::move(metadataHolder), request, result);
}

}  // namespace

std::optional<ImageResult> ProcessImage(const ImageRequest& request) {
  ImageResult result;
  result.targetBpp = request.save.targetBpp;  // what %bpp% shows until the depth is chosen
  const std::optional<bool> streamed = ConvertByStreaming(request, result);
  if (!(streamed ? *streamed : ConvertWholeImage(request, result))) return std::nullopt;
  return result;
}
