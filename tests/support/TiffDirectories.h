#pragma once
// Little-endian TIFF directories for the test file writers: fields are collected in any
// order and laid out sorted by tag, with values longer than four bytes after the entries.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

enum TiffType : uint16_t {
  kByte = 1,
  kAscii = 2,
  kShort = 3,
  kLong = 4,
  kRational = 5,
  kUndefined = 7,
  kSRational = 10
};

struct TiffField {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  std::vector<uint8_t> value;  // little-endian bytes
};
using TiffDirectory = std::vector<TiffField>;

void Put16(std::vector<uint8_t>& out, uint32_t v);
void Put32(std::vector<uint8_t>& out, uint32_t v);

void AddShorts(TiffDirectory& d, uint16_t tag, std::initializer_list<uint32_t> values);
void AddLong(TiffDirectory& d, uint16_t tag, uint32_t value);
void AddBytes(TiffDirectory& d, uint16_t tag, uint16_t type, std::initializer_list<uint8_t> values);
void AddAscii(TiffDirectory& d, uint16_t tag, const std::string& text);
// Fractions n / 10000.
void AddFractions(TiffDirectory& d, uint16_t tag, uint16_t type, std::initializer_list<double> values);
// Replaces the value of every LONG field `tag`: offsets known once the layout is.
void SetLong(TiffDirectory& d, uint16_t tag, uint32_t value);

// Bytes the directory takes, its long values included.
size_t DirectorySize(const TiffDirectory& d);
// Appends the directory at the current (even) end of `out`; offsets count from the start
// of `out`.
void AppendDirectory(std::vector<uint8_t>& out, TiffDirectory d);
