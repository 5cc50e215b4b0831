// Times the library calls a RAW conversion is made of, each alone, inside one process:
// the decode through FreeImage's RAW plug-in, the tone mapping of a 48-bit decode and the
// JPEG encode. Their sum is what a conversion costs when the program adds nothing of its
// own; the benchmark sets pixquillcmd's whole run beside it.
//
//   pixquill_library_call_timer MODE INPUT OUTPUT.jpg [SIDE FILTER]
//   MODE: 48 (16-bit decode, Drago tone mapping, encode), 24 (8-bit decode, encode) or
//         preview (embedded preview, encode)
//   SIDE FILTER: the decoded image is rescaled to SIDE pixels on its longer side (the other
//         side in proportion, rounded as pixquillcmd rounds it) with FreeImage's filter
//         number FILTER (FREE_IMAGE_FILTER: 0 BOX, 1 BICUBIC, 2 BILINEAR, 3 BSPLINE,
//         4 CATMULLROM, 5 LANCZOS3) before the encode: pixquillcmd's resize, done on the
//         image decoded at full size
//
// Prints one line per part: name, wall seconds, CPU seconds (every thread of the process).
#include <FreeImage.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string_view>

namespace {

struct BitmapDeleter {
  void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using BitmapPtr = std::unique_ptr<FIBITMAP, BitmapDeleter>;

// The same flags as the program's defaults: quality 95, 4:4:4 chroma.
constexpr int kJpegFlags = 95 | JPEG_SUBSAMPLING_444;

struct Mode {
  std::string_view name;
  int rawFlags;
  bool toneMap;  // Drago 2003 with gamma 2.2 and no exposure change: the program's AL
};

const Mode kModes[] = {
    {"48", RAW_DEFAULT, true},
    {"24", RAW_DISPLAY, false},
    {"preview", RAW_PREVIEW, false},
};

double Seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Stopwatch {
  double wall = Seconds(CLOCK_MONOTONIC);
  double cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
};

void Report(const char* part, const Stopwatch& start) {
  std::printf("%s %.4f %.4f\n", part, Seconds(CLOCK_MONOTONIC) - start.wall,
              Seconds(CLOCK_PROCESS_CPUTIME_ID) - start.cpu);
}

const Mode* FindMode(std::string_view name) {
  for (const Mode& mode : kModes)
    if (mode.name == name) return &mode;
  return nullptr;
}

struct Resize {
  int side = 0;  // 0: none
  FREE_IMAGE_FILTER filter = FILTER_BOX;
};

// The longer side becomes `side`; the other follows the proportions, halves away from zero.
FIBITMAP* Rescale(FIBITMAP* bitmap, const Resize& resize) {
  const int width = static_cast<int>(FreeImage_GetWidth(bitmap)),
            height = static_cast<int>(FreeImage_GetHeight(bitmap));
  const float ratio = width >= height ? static_cast<float>(width) / static_cast<float>(height)
                                      : static_cast<float>(height) / static_cast<float>(width);
  const int other = static_cast<int>(std::round(resize.side / static_cast<double>(ratio)));
  return width >= height ? FreeImage_Rescale(bitmap, resize.side, other, resize.filter)
                         : FreeImage_Rescale(bitmap, other, resize.side, resize.filter);
}

int Run(const Mode& mode, const char* input, const char* output, const Resize& resize) {
  Stopwatch decodeStart;
  BitmapPtr bitmap(FreeImage_Load(FIF_RAW, input, mode.rawFlags));
  if (!bitmap) return 1;
  Report("decode", decodeStart);
  // Resized before the tone mapping, as the program does.
  if (resize.side > 0) {
    Stopwatch resizeStart;
    bitmap.reset(Rescale(bitmap.get(), resize));
    if (!bitmap) return 1;
    Report("resize", resizeStart);
  }
  if (mode.toneMap) {
    Stopwatch toneStart;
    bitmap.reset(FreeImage_TmoDrago03(bitmap.get(), 2.2, 0.0));
    if (!bitmap) return 1;
    Report("tonemap", toneStart);
  }
  Stopwatch encodeStart;
  if (!FreeImage_Save(FIF_JPEG, bitmap.get(), output, kJpegFlags)) return 1;
  Report("encode", encodeStart);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const Mode* mode = argc == 4 || argc == 6 ? FindMode(argv[1]) : nullptr;
  if (!mode) {
    std::fprintf(stderr, "usage: pixquill_library_call_timer 48|24|preview INPUT OUTPUT.jpg [SIDE FILTER]\n");
    return 2;
  }
  Resize resize;
  if (argc == 6) resize = {std::atoi(argv[4]), static_cast<FREE_IMAGE_FILTER>(std::atoi(argv[5]))};
  const int status = Run(*mode, argv[2], argv[3], resize);
  if (status != 0) std::fprintf(stderr, "pixquill_library_call_timer: %s failed\n", argv[2]);
  return status;
}
