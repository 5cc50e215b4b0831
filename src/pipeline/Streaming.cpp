#include "pipeline/Streaming.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "pipeline/BitmapConversion.h"
#include "pipeline/Loading.h"
#include "pipeline/PreviewDecoding.h"
#include "pipeline/Saving.h"
#include "settings/ConversionSettings.h"

namespace {

constexpr int32_t kOutputBpp = 24;

// Each of these makes a stage work on the whole image (or the output a writer other than
// the direct JPEG writer); any of them keeps the conversion on the whole-image path.
bool (*const kWholeImageNeeds[])(const ImageRequest&) = {
    [](const ImageRequest& request) { return RawLoadFlags(request.settings) != RAW_PREVIEW; },
    [](const ImageRequest& request) { return request.settings.doRotation != 0 || request.settings.doResize != 0; },
    [](const ImageRequest& request) {
      return request.settings.flipHorizontal != 0 || request.settings.flipVertical != 0;
    },
    [](const ImageRequest& request) {
      return request.settings.doColorCorrection != 0 || request.settings.greyscale != 0;
    },
    [](const ImageRequest& request) { return request.settings.doThreshold != 0 || request.settings.doDither != 0; },
    [](const ImageRequest& request) {
      return request.settings.doFrame != kFrameNone || request.settings.doWatermark != kWatermarkNone;
    },
    [](const ImageRequest& request) { return request.save.saveFormat != FIF_JPEG; },
    [](const ImageRequest& request) {
      return (request.save.autoBpp ? AutoTargetBpp(request.outputExtension, kOutputBpp) : request.save.targetBpp) !=
             kOutputBpp;
    },
};

bool WholeImageNeeded(const ImageRequest& request) {
  for (bool (*needed)(const ImageRequest&) : kWholeImageNeeds)
    if (needed(request)) return true;
  return false;
}

// Points `rows` at the rows of a band.
void PointAtRows(std::vector<unsigned char>& band, size_t rowBytes, unsigned count, unsigned char** rows) {
  for (unsigned i = 0; i < count; ++i) rows[i] = band.data() + i * rowBytes;
}

// Decoding and encoding cost about the same, so the preview is decoded on a thread of its
// own while the encoder works on the other core: bands of rows pass between them, the
// decoder at most kBands bands ahead. On a busy machine this costs no more processor time
// than one thread doing both (a few hundred hand-overs for a 24-megapixel picture).
constexpr unsigned kBands = 4;

struct BandRing {
  std::vector<std::vector<unsigned char>> bands;
  size_t rowBytes = 0;
  std::mutex lock;
  std::condition_variable changed;
  unsigned decoded = 0;   // bands the decoder has filled
  unsigned released = 0;  // bands the encoder is done with
  bool failed = false;    // the decoder failed
  bool stopped = false;   // the encoder stopped early
};

void DecodeBands(PreviewRows& preview, BandRing& ring, unsigned height) {
  for (unsigned band = 0, first = 0; first < height; ++band, first += kJpegRowsPerCall) {
    {
      std::unique_lock<std::mutex> guard(ring.lock);
      ring.changed.wait(guard, [&] { return ring.stopped || band - ring.released < kBands; });
      if (ring.stopped) return;
    }
    unsigned char* rows[kJpegRowsPerCall];
    const unsigned count = std::min(kJpegRowsPerCall, height - first);
    PointAtRows(ring.bands[band % kBands], ring.rowBytes, count, rows);
    const bool decoded = ReadPreviewRows(preview, rows, count);
    std::lock_guard<std::mutex> guard(ring.lock);
    if (decoded) ring.decoded = band + 1;
    ring.failed = !decoded;
    ring.changed.notify_all();
    if (!decoded) return;
  }
}

// The encoder's side: each call hands over the next band and releases the one before.
struct BandReader {
  BandRing& ring;
  unsigned next = 0;

  bool operator()(unsigned char** rows, unsigned count) {
    std::unique_lock<std::mutex> guard(ring.lock);
    ring.released = next;
    ring.changed.notify_all();
    ring.changed.wait(guard, [&] { return ring.failed || ring.decoded > next; });
    if (ring.decoded <= next) return false;
    PointAtRows(ring.bands[next % kBands], ring.rowBytes, count, rows);
    ++next;
    return true;
  }
};

// Stops the decoding thread (when the encoder stopped early) and waits for it.
struct DecodingThread {
  BandRing& ring;
  std::thread thread;
  ~DecodingThread() {
    {
      std::lock_guard<std::mutex> guard(ring.lock);
      ring.stopped = true;
    }
    ring.changed.notify_all();
    if (thread.joinable()) thread.join();
  }
};

// The bitmap carries everything but the pixels. Empty when the decoder failed.
std::optional<bool> SaveDecodedBands(PreviewRows& preview, BitmapPtr bitmap, BitmapPtr metadataHolder,
                                     const ImageRequest& request, ImageResult& result) {
  BandRing ring;
  ring.rowBytes = size_t{FreeImage_GetWidth(bitmap.get())} * 3;
  ring.bands.assign(kBands, std::vector<unsigned char>(ring.rowBytes * kJpegRowsPerCall));
  bool saved = false;
  {
    DecodingThread decoding{ring, {}};
    try {
      decoding.thread = std::thread(DecodeBands, std::ref(preview), std::ref(ring), FreeImage_GetHeight(bitmap.get()));
    } catch (const std::system_error&) {
      return std::nullopt;  // no thread to be had: the whole-image path converts the file
    }
    BandReader reader{ring};
    const PixelRows source = std::ref(reader);
    saved = SaveOutputImage(std::move(bitmap), std::move(metadataHolder), request, result, &source);
  }
  if (!saved && ring.failed) return std::nullopt;
  return saved;
}

}  // namespace

std::optional<bool> ConvertByStreaming(const ImageRequest& request, ImageResult& result) {
  if (WholeImageNeeded(request)) return std::nullopt;
  BitmapPtr bitmap;
  PreviewRowsPtr rows = OpenPreviewRows(request.currentFile, bitmap);
  if (!rows || !CanWriteJpegDirectly(bitmap.get(), request.save.saveFlags)) return std::nullopt;
  // The whole-image path's bookkeeping, with a bitmap that only lacks the pixels.
  result.sourceBpp = BppOf(bitmap);
  BitmapPtr metadataHolder = MakeMetadataHolder(bitmap.get());
  result.outputWidth = WidthOf(bitmap);
  result.outputHeight = HeightOf(bitmap);
  result.frameNumber = 1;
  bitmap = ConvertForSave(std::move(bitmap), request, result);
  return SaveDecodedBands(*rows, std::move(bitmap), std::move(metadataHolder), request, result);
}
