#include "pipeline/ImageRecords.h"

#include <charconv>

namespace {

// Reads the number that runs from `pos` to the next line break and moves past it.
template <typename Number>
bool ReadNumberLine(const std::string& text, size_t& pos, Number& number) {
  const size_t end = text.find('\n', pos);
  if (end == std::string::npos) return false;
  const auto [stop, error] = std::from_chars(text.data() + pos, text.data() + end, number);
  pos = end + 1;
  return error == std::errc{} && stop == text.data() + end;
}

// The numbers travel first, one a line, in this order; then the length of the notes and the
// notes; the path takes the rest of the text.
constexpr int32_t ImageResult::*kNumberFields[] = {&ImageResult::sourceBpp, &ImageResult::targetBpp,
                                                   &ImageResult::outputWidth, &ImageResult::outputHeight,
                                                   &ImageResult::frameNumber};

}  // namespace

std::string EncodeImageResult(const ImageResult& result) {
  std::string text;
  for (int32_t ImageResult::*field : kNumberFields) text += std::to_string(result.*field) + "\n";
  return text + std::to_string(result.notes.size()) + "\n" + result.notes + result.outputFile;
}

std::optional<ImageResult> DecodeImageResult(const std::string& text) {
  ImageResult result;
  size_t pos = 0;
  for (int32_t ImageResult::*field : kNumberFields)
    if (!ReadNumberLine(text, pos, result.*field)) return std::nullopt;
  size_t notesLength = 0;
  if (!ReadNumberLine(text, pos, notesLength) || notesLength > text.size() - pos) return std::nullopt;
  result.notes = text.substr(pos, notesLength);
  result.outputFile = text.substr(pos + notesLength);
  return result;
}
