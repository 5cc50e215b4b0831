#include "pipeline/Streaming.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "convert/ConversionJob.h"
#include "pipeline/BitmapConversion.h"
#include "pipeline/Loading.h"
#include "pipeline/PreviewDecoding.h"
#include "pipeline/Saving.h"
#include "settings/ConversionSettings.h"

namespace {

constexpr int32_t kOutputBpp = 24;

// Each of these makes a stage work on the whole image (or the output a writer other than
// the direct JPEG writer); any of them keeps the conversion on the whole-image path.
bool (*const kWholeImageNeeds[])() = {
    [] { return RawLoadFlags() != RAW_PREVIEW; },
    [] { return ConversionSettings.doRotation != 0 || ConversionSettings.doResize != 0; },
    [] { return ConversionSettings.flipHorizontal != 0 || ConversionSettings.flipVertical != 0; },
    [] { return ConversionSettings.doColorCorrection != 0 || ConversionSettings.greyscale != 0; },
    [] { return ConversionSettings.doThreshold != 0 || ConversionSettings.doDither != 0; },
    [] { return ConversionSettings.doFrame != kFrameNone || ConversionSettings.doWatermark != kWatermarkNone; },
    [] { return ConversionJob.saveFormat != FIF_JPEG; },
    [] {
      return (ConversionJob.autoBpp ? AutoTargetBpp(ConversionJob.outputExtension, kOutputBpp) : ConversionJob.targetBpp) !=
             kOutputBpp;
    },
};

bool WholeImageNeeded() {
  for (bool (*needed)() : kWholeImageNeeds)
    if (needed()) return true;
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
std::optional<bool> SaveDecodedBands(PreviewRows& preview, BitmapPtr bitmap, BitmapPtr metadataHolder) {
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
    saved = SaveOutputImage(std::move(bitmap), std::move(metadataHolder), &source);
  }
  if (!saved && ring.failed) return std::nullopt;
  return saved;
}

}  // namespace

std::optional<bool> ConvertByStreaming() {
  if (WholeImageNeeded()) return std::nullopt;
  BitmapPtr bitmap;
  PreviewRowsPtr rows = OpenPreviewRows(ConversionJob.currentFile, bitmap);
  if (!rows || !CanWriteJpegDirectly(bitmap.get(), ConversionJob.saveFlags)) return std::nullopt;
  // The whole-image path's bookkeeping, with a bitmap that only lacks the pixels.
  ConversionJob.sourceBpp = BppOf(bitmap);
  BitmapPtr metadataHolder = MakeMetadataHolder(bitmap.get());
  ConversionJob.outputWidth = WidthOf(bitmap);
  ConversionJob.outputHeight = HeightOf(bitmap);
  ConversionJob.frameNumber = 1;
  bitmap = ConvertForSave(std::move(bitmap));
  return SaveDecodedBands(*rows, std::move(bitmap), std::move(metadataHolder));
}
