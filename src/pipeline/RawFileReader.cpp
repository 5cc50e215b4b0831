#include "pipeline/RawFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "pipeline/Limits.h"
#include "pipeline/RawFileReaderIO.h"

namespace {

// Large enough that a compressed mosaic costs a few hundred system calls, small enough to
// stay in the processor's cache.
constexpr size_t kBufferBytes = size_t{64} << 10;

// Bytes at `offset` without moving the reader: from the buffer when it holds them, else
// read from the file directly. Returns how many were available.
size_t Peek(RawFileReader& reader, int64_t offset, uint8_t* destination, size_t length) {
  const int64_t bufferEnd = reader.bufferStart + static_cast<int64_t>(reader.buffered);
  if (offset >= reader.bufferStart && offset + static_cast<int64_t>(length) <= bufferEnd) {
    std::memcpy(destination, reader.buffer.data() + (offset - reader.bufferStart), length);
    return length;
  }
  const ssize_t got = pread(reader.file.get(), destination, length, offset);
  return got > 0 ? static_cast<size_t>(got) : 0;
}

// True when a frame header beyond the limits starts at one of the `length` bytes that were
// just read from `offset`. A header that runs past them is completed from the file.
bool ChunkStartsOversizedFrame(RawFileReader& reader, const uint8_t* chunk, size_t length, int64_t offset) {
  const uint8_t* end = chunk + length;
  for (const uint8_t* p = chunk; p < end; ++p) {
    p = static_cast<const uint8_t*>(std::memchr(p, 0xFF, static_cast<size_t>(end - p)));
    if (!p) return false;
    const size_t inChunk = static_cast<size_t>(end - p);
    if (inChunk >= kJpegFrameHeaderBytes) {
      if (IsOversizedJpegFrame(p)) return true;
      continue;
    }
    if (inChunk >= 2 && (p[1] < 0xC0 || p[1] > 0xC2)) continue;
    uint8_t header[kJpegFrameHeaderBytes] = {};
    std::memcpy(header, p, inChunk);
    const size_t more =
        Peek(reader, offset + static_cast<int64_t>(length), header + inChunk, kJpegFrameHeaderBytes - inChunk);
    if (inChunk + more == kJpegFrameHeaderBytes && IsOversizedJpegFrame(header)) return true;
  }
  return false;
}

bool Refill(RawFileReader& reader) {
  reader.bufferStart = reader.position;
  reader.buffered = 0;
  const ssize_t got = pread(reader.file.get(), reader.buffer.data(), reader.buffer.size(), reader.position);
  if (got <= 0) return false;
  reader.buffered = static_cast<size_t>(got);
  return true;
}

// Plain reading: from the buffer, refilled as needed; reads of at least a buffer's size go
// straight from the file into the destination.
size_t ReadBuffered(RawFileReader& reader, uint8_t* destination, size_t length) {
  size_t copied = 0;
  while (copied < length) {
    const int64_t bufferEnd = reader.bufferStart + static_cast<int64_t>(reader.buffered);
    if (reader.position >= reader.bufferStart && reader.position < bufferEnd) {
      const size_t available = static_cast<size_t>(bufferEnd - reader.position);
      const size_t take = std::min(available, length - copied);
      std::memcpy(destination + copied, reader.buffer.data() + (reader.position - reader.bufferStart), take);
      copied += take;
      reader.position += static_cast<int64_t>(take);
    } else if (length - copied >= reader.buffer.size()) {
      const ssize_t got = pread(reader.file.get(), destination + copied, length - copied, reader.position);
      if (got <= 0) break;
      copied += static_cast<size_t>(got);
      reader.position += got;
    } else if (!Refill(reader)) {
      break;
    }
  }
  return copied;
}

unsigned ReadCallback(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto& reader = *static_cast<RawFileReader*>(handle);
  if (size == 1 && count == 1) {
    const int byte = ReadRawFileByte(reader);
    if (byte < 0) return 0;
    *static_cast<uint8_t*>(buffer) = static_cast<uint8_t>(byte);
    return 1;
  }
  if (size == 0) return 0;
  return static_cast<unsigned>(ReadRawFile(reader, buffer, size_t{size} * count) / size);
}

unsigned WriteCallback(void*, unsigned, unsigned, fi_handle) { return 0; }

int SeekCallback(fi_handle handle, long offset, int origin) {
  return SeekRawFile(*static_cast<RawFileReader*>(handle), offset, origin);
}

long TellCallback(fi_handle handle) { return static_cast<long>(static_cast<RawFileReader*>(handle)->position); }

}  // namespace

bool OpenRawFileReader(const std::string& path, RawFileReader& reader) {
  UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  reader.file = std::move(file);
  reader.size = info.st_size;
  reader.position = 0;
  reader.buffer.resize(kBufferBytes);
  reader.bufferStart = 0;
  reader.buffered = 0;
  reader.sawOversizedJpegFrame = false;
  return true;
}

size_t ReadRawFile(RawFileReader& reader, void* destination, size_t length) {
  const int64_t offset = reader.position;
  auto* bytes = static_cast<uint8_t*>(destination);
  const size_t got = ReadBuffered(reader, bytes, length);
  if (reader.watchJpegFrames && ChunkStartsOversizedFrame(reader, bytes, got, offset)) {
    std::memset(bytes, 0, got);
    reader.sawOversizedJpegFrame = true;
  }
  return got;
}

int SeekRawFile(RawFileReader& reader, int64_t offset, int origin) {
  int64_t base = 0;
  if (origin == SEEK_CUR)
    base = reader.position;
  else if (origin == SEEK_END)
    base = reader.size;
  else if (origin != SEEK_SET)
    return -1;
  if (offset < -base || offset > INT64_MAX - base) return -1;
  reader.position = base + offset;
  return 0;
}

FreeImageIO RawFileReaderIO() { return FreeImageIO{ReadCallback, WriteCallback, SeekCallback, TellCallback}; }

BitmapPtr LoadFromRawFileReader(RawFileReader& reader, FREE_IMAGE_FORMAT format, int flags) {
  reader.position = 0;
  FreeImageIO io = RawFileReaderIO();
  return AdoptBitmap(FreeImage_LoadFromHandle(format, &io, &reader, flags));
}

bool IsOversizedJpegFrame(const uint8_t* p) {
  if (p[0] != 0xFF || p[1] < 0xC0 || p[1] > 0xC2 || p[2] != 0 || (p[3] != 0x0B && p[3] != 0x11)) return false;
  if (p[4] != 8 && p[4] != 12) return false;
  const int64_t height = p[5] << 8 | p[6];
  const int64_t width = p[7] << 8 | p[8];
  return width > 0 && height > 0 && !FitsImageLimits(width, height, 24);
}
