// The camera-file reader serves the RAW decoder's reads and seeks from its own buffer. Any
// sequence of reads (whole items, single bytes, reads longer than the buffer) and seeks
// (from the start, the current position or the end, before the start, past the end) must
// give exactly what a plain file would, and a watched read that hands over the start of an
// oversized JPEG frame header must give zeros and remember it.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "FuzzSupport.h"
#include "pipeline/RawFileReaderIO.h"

namespace {

// Never 0xFF, so the only frame header in the file is the one planted.
uint8_t ContentAt(int64_t i) { return static_cast<uint8_t>((i * 131 + (i >> 9)) % 255); }

constexpr uint8_t kOversizedHeader[kJpegFrameHeaderBytes] = {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x75, 0x30, 0x75, 0x30};

struct Bytes {
  const uint8_t* data;
  size_t size;
  uint32_t Take(size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count && size > 0; ++i, ++data, --size) value = value << 8 | *data;
    return value;
  }
};

struct Model {
  int64_t size = 0;
  int64_t position = 0;
  int64_t plantedAt = -1;
};

// A plain file's answer to reading `length` bytes at the model's position.
int64_t Available(const Model& m, int64_t length) { return std::clamp<int64_t>(m.size - m.position, 0, length); }

void CheckRead(RawFileReader& reader, Model& model, const FreeImageIO& io, uint32_t itemSize, uint32_t count,
               bool watched) {
  std::vector<uint8_t> got(size_t{itemSize} * count + 1, 0xEE);
  const int64_t expectedBytes = Available(model, int64_t{itemSize} * count);
  const unsigned items = io.read_proc(got.data(), itemSize, count, &reader);
  Require(items == (itemSize ? expectedBytes / itemSize : 0), "a read returns the whole items a file would");
  const int64_t start = model.position;
  if (itemSize == 0) return;
  model.position += expectedBytes;
  Require(io.tell_proc(&reader) == model.position, "a read moves the position by the bytes read");
  const bool hidden = watched && model.plantedAt >= start && model.plantedAt < start + expectedBytes;
  for (int64_t i = 0; i < expectedBytes; ++i) {
    const int64_t at = start + i;
    uint8_t expected = ContentAt(at);
    if (model.plantedAt >= 0 && at >= model.plantedAt && at < model.plantedAt + int64_t{kJpegFrameHeaderBytes})
      expected = kOversizedHeader[at - model.plantedAt];
    if (hidden) expected = 0;
    Require(got[static_cast<size_t>(i)] == expected, "a read gives the file's bytes");
  }
  if (hidden) Require(reader.sawOversizedJpegFrame, "a hidden frame header is remembered");
}

void CheckSeek(RawFileReader& reader, Model& model, const FreeImageIO& io, int origin, int64_t offset) {
  const int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? model.position : model.size;
  const bool valid = base + offset >= 0;
  Require((io.seek_proc(&reader, static_cast<long>(offset), origin) == 0) == valid, "seeks before the start fail");
  if (valid) model.position = base + offset;
  Require(io.tell_proc(&reader) == model.position, "a seek sets the position a file would");
}

}  // namespace

// The input: file size (2 bytes, in units of 8), where to plant a frame header (2 bytes,
// in units of 8; beyond the file plants none), then operations of 5 bytes each.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in{data, size};
  Model model;
  model.size = int64_t{in.Take(2)} * 8;
  const int64_t plant = int64_t{in.Take(2)} * 8;
  std::string content(static_cast<size_t>(model.size), '\0');
  for (int64_t i = 0; i < model.size; ++i) content[static_cast<size_t>(i)] = static_cast<char>(ContentAt(i));
  if (plant + int64_t{kJpegFrameHeaderBytes} <= model.size) {
    model.plantedAt = plant;
    std::memcpy(content.data() + plant, kOversizedHeader, kJpegFrameHeaderBytes);
  }
  RawFileReader reader;
  Require(OpenRawFileReader(WriteScratchFile(content), reader), "a regular file opens");
  const FreeImageIO io = RawFileReaderIO();

  while (in.size >= 5) {
    const uint32_t op = in.Take(1);
    const uint32_t amount = in.Take(4);
    switch (op % 6) {
      case 0: CheckRead(reader, model, io, 1, 1, reader.watchJpegFrames); break;
      case 1: CheckRead(reader, model, io, 1 + amount % 8, amount >> 8 & 0x3FFFF, reader.watchJpegFrames); break;
      case 2: CheckSeek(reader, model, io, SEEK_SET, static_cast<int32_t>(amount)); break;
      case 3: CheckSeek(reader, model, io, SEEK_CUR, static_cast<int32_t>(amount) % 200000); break;
      case 4: CheckSeek(reader, model, io, SEEK_END, static_cast<int32_t>(amount) % 200000); break;
      case 5: reader.watchJpegFrames = !reader.watchJpegFrames; break;
    }
  }
  return 0;
}
