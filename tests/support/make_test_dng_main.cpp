// make_test_dng OUT.dng [--width W] [--height H] [--preview] [--orientation N] [--exif]
//                       [--noise A]
// Writes a DNG test file: the demo's sample input and the benchmarks' large inputs. An
// OUT name ending in ".cr3" writes a Canon CR3 of the size and orientation instead, with
// its preview, EXIF and GPS position (see Cr3Writer.h).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/Cr3Writer.h"
#include "support/DngWriter.h"

namespace {

bool ReadNumber(const char* text, int& value) {
  char* end = nullptr;
  const long number = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || number < 0 || number > 1000000) return false;
  value = static_cast<int>(number);
  return true;
}

int Usage() {
  std::fputs(
      "usage: make_test_dng OUT.dng [--width W] [--height H] [--preview] [--orientation N] [--exif] "
      "[--noise A]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  DngOptions options;
  options.width = 600;
  options.height = 400;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--preview")
      options.preview = true;
    else if (arg == "--exif")
      options.exif = true;
    else if (arg == "--width" && hasValue && ReadNumber(argv[++i], options.width))
      continue;
    else if (arg == "--height" && hasValue && ReadNumber(argv[++i], options.height))
      continue;
    else if (arg == "--orientation" && hasValue && ReadNumber(argv[++i], options.orientation))
      continue;
    else if (arg == "--noise" && hasValue && ReadNumber(argv[++i], options.noise))
      continue;
    else
      return Usage();
  }
  const std::string out = argv[1];
  const bool cr3 = out.size() > 4 && out.compare(out.size() - 4, 4, ".cr3") == 0;
  const Cr3Options cr3Options{.width = options.width, .height = options.height, .orientation = options.orientation};
  if (cr3 ? !WriteTestCr3(out, cr3Options) : !WriteTestDng(out, options)) {
    std::fprintf(stderr, "make_test_dng: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
