#pragma once
// Reads a camera file for FreeImage's RAW decoder through FreeImageIO callbacks.
//
// The decoder asks for much of a compressed mosaic one byte at a time; through stdio every
// such request takes the stream's lock and passes two layers of calls, a noticeable share of
// a full decode (bench/RESULTS.md). Here a byte is copied out of the reader's own buffer.
//
// The reader can also watch what the decoder takes for JPEG frame headers whose stated
// size exceeds the image limits. The RAW decoder hands an embedded preview to the JPEG
// decoder as it stands in the file, and offers no way to ask for its size first, so a
// file with a small mosaic can carry a preview that claims 65000 x 65000 pixels (12 GB).
// A read that hands over the first byte of such a header is handed over as zeros instead,
// so the JPEG decoder never sees the header, and the reader remembers it. Only the bytes
// the decoder asks for are checked and read.
//
// This header stays free of FreeImage's: LibRaw's cannot be included beside it (both declare
// INT64), and the direct decoders read through this reader too. FreeImage's view of it is in
// RawFileReaderIO.h.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

struct RawFileReader {
  UniqueFd file;
  int64_t size = 0;      // the file's length when it was opened
  int64_t position = 0;  // where the next read starts; may lie past the end
  std::vector<uint8_t> buffer;
  int64_t bufferStart = 0;  // file offset of buffer[0]
  size_t buffered = 0;      // valid bytes in buffer
  bool watchJpegFrames = false;
  bool sawOversizedJpegFrame = false;
};

// False when the path does not name a readable regular file.
[[nodiscard]] bool OpenRawFileReader(const std::string& path, RawFileReader& reader);

// Up to `length` bytes from the current position; fewer at the end of the file. Watched
// reads are checked as described above.
[[nodiscard]] size_t ReadRawFile(RawFileReader& reader, void* destination, size_t length);

// One byte, or -1 at the end of the file. The decoders ask for much of a compressed mosaic
// this way, so a byte the buffer holds is handed over here without further calls.
[[nodiscard]] inline int ReadRawFileByte(RawFileReader& reader) {
  const int64_t inBuffer = reader.position - reader.bufferStart;
  if (!reader.watchJpegFrames && inBuffer >= 0 && inBuffer < static_cast<int64_t>(reader.buffered)) {
    ++reader.position;
    return reader.buffer[static_cast<size_t>(inBuffer)];
  }
  uint8_t byte = 0;
  return ReadRawFile(reader, &byte, 1) == 1 ? byte : -1;
}

// fseek's contract: origin SEEK_SET, SEEK_CUR or SEEK_END; 0 on success, -1 for a position
// before the start or an unknown origin.
[[nodiscard]] int SeekRawFile(RawFileReader& reader, int64_t offset, int origin);

// True for a JPEG frame header (baseline, extended or progressive: FF C0..C2, one or three
// components, 8 or 12 bits) that states a size beyond the image limits. `header` holds
// kJpegFrameHeaderBytes bytes. Lossless frames (FF C3) hold RAW mosaics, which the RAW
// decoder sizes and checks itself.
inline constexpr size_t kJpegFrameHeaderBytes = 9;
[[nodiscard]] bool IsOversizedJpegFrame(const uint8_t* header);
