#include "pipeline/ImageRecords.h"

#include <charconv>

namespace {

// The numbers travel first, one a line, in this order; the path takes the rest of the text.
constexpr int32_t ImageResult::*kNumberFields[] = {&ImageResult::sourceBpp, &ImageResult::targetBpp,
                                                   &ImageResult::outputWidth, &ImageResult::outputHeight,
                                                   &ImageResult::frameNumber};

}  // namespace

std::string EncodeImageResult(const ImageResult& result) {
  std::string text;
  for (int32_t ImageResult::*field : kNumberFields) text += std::to_string(result.*field) + "\n";
  return text + result.outputFile;
}

std::optional<ImageResult> DecodeImageResult(const std::string& text) {
  ImageResult result;
  size_t pos = 0;
  for (int32_t ImageResult::*field : kNumberFields) {
    const size_t end = text.find('\n', pos);
    if (end == std::string::npos) return std::nullopt;
    const auto [stop, error] = std::from_chars(text.data() + pos, text.data() + end, result.*field);
    if (error != std::errc{} || stop != text.data() + end) return std::nullopt;
    pos = end + 1;
  }
  result.outputFile = text.substr(pos);
  return result;
}
