// make_test_dng OUT.dng [--width W] [--height H] [--preview] [--orientation N] [--exif]
//                       [--noise A]
// Writes a DNG test file: the demo's sample input and the benchmarks' large inputs.
#include <cstdio>
#include <cstdlib>
#include <string>

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
  if (!WriteTestDng(argv[1], options)) {
    std::fprintf(stderr, "make_test_dng: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
