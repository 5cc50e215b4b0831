#include "pipeline/Pipeline.h"

#include "convert/ConversionJob.h"
#include "pipeline/BitmapConversion.h"
#include "pipeline/Frames.h"
#include "pipeline/Loading.h"
#include "pipeline/Saving.h"
#include "pipeline/Streaming.h"
#include "pipeline/Transforms.h"
#include "pipeline/Watermarks.h"

bool ProcessImage() {
  if (const std::optional<bool> streamed = ConvertByStreaming()) return *streamed;
  ImageSize reducedFrom;
  BitmapPtr bitmap = LoadSourceImage(ConversionJob.currentFile, &reducedFrom);
  ConversionJob.sourceBpp = BppOf(bitmap);
  if (WidthOf(bitmap) == 0 || HeightOf(bitmap) == 0) return false;
  BitmapPtr metadataHolder = MakeMetadataHolder(bitmap.get());

  bitmap = ApplyRotation(std::move(bitmap));
  // A bitmap decoded smaller (never one that a rotation turns) is resized by its full size.
  bitmap = reducedFrom.width > 0 ? ApplyResize(std::move(bitmap), reducedFrom.width, reducedFrom.height)
                                 : ApplyResize(std::move(bitmap), WidthOf(bitmap), HeightOf(bitmap));
  // The size after rotation and resizing is the one the frame, the watermark and the
  // output name see.
  const int width = WidthOf(bitmap);
  const int height = HeightOf(bitmap);
  bitmap = ApplyToneMapping(std::move(bitmap));
  bitmap = ApplyFlips(std::move(bitmap));
  bitmap = ApplyColorAdjustment(std::move(bitmap));
  bitmap = ApplyGreyscale(std::move(bitmap));
  bitmap = ApplyThreshold(std::move(bitmap));
  bitmap = ApplyDither(std::move(bitmap));
  bitmap = ApplySolidFrame(std::move(bitmap), width, height);

  ConversionJob.outputWidth = width;
  ConversionJob.outputHeight = height;
  ConversionJob.frameNumber = 1;
  bitmap = ApplyWatermark(std::move(bitmap), width, height);

  bitmap = ConvertForSave(std::move(bitmap));
  return SaveOutputImage(std::move(bitmap), std::move(metadataHolder));
}
