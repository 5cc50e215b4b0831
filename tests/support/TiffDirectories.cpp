#include "support/TiffDirectories.h"

#include <algorithm>
#include <cmath>

namespace {

size_t PaddedSize(size_t size) { return size + (size & 1); }

}  // namespace

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>(v >> 8 & 0xFF));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void AddShorts(TiffDirectory& d, uint16_t tag, std::initializer_list<uint32_t> values) {
  TiffField f{tag, kShort, static_cast<uint32_t>(values.size()), {}};
  for (uint32_t v : values) Put16(f.value, v);
  d.push_back(f);
}
void AddLong(TiffDirectory& d, uint16_t tag, uint32_t value) {
  TiffField f{tag, kLong, 1, {}};
  Put32(f.value, value);
  d.push_back(f);
}
void AddBytes(TiffDirectory& d, uint16_t tag, uint16_t type, std::initializer_list<uint8_t> values) {
  d.push_back(TiffField{tag, type, static_cast<uint32_t>(values.size()), std::vector<uint8_t>(values)});
}
void AddAscii(TiffDirectory& d, uint16_t tag, const std::string& text) {
  TiffField f{tag, kAscii, static_cast<uint32_t>(text.size() + 1), std::vector<uint8_t>(text.begin(), text.end())};
  f.value.push_back(0);
  d.push_back(f);
}
void AddFractions(TiffDirectory& d, uint16_t tag, uint16_t type, std::initializer_list<double> values) {
  TiffField f{tag, type, static_cast<uint32_t>(values.size()), {}};
  for (double v : values) {
    Put32(f.value, static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 10000))));
    Put32(f.value, 10000);
  }
  d.push_back(f);
}

void SetLong(TiffDirectory& d, uint16_t tag, uint32_t value) {
  for (TiffField& f : d)
    if (f.tag == tag) {
      f.value.clear();
      Put32(f.value, value);
    }
}

size_t DirectorySize(const TiffDirectory& d) {
  size_t size = 2 + 12 * d.size() + 4;
  for (const TiffField& f : d)
    if (f.value.size() > 4) size += PaddedSize(f.value.size());
  return size;
}

void AppendDirectory(std::vector<uint8_t>& out, TiffDirectory d) {
  std::sort(d.begin(), d.end(), [](const TiffField& a, const TiffField& b) { return a.tag < b.tag; });
  const size_t start = out.size();
  size_t overflow = start + 2 + 12 * d.size() + 4;
  Put16(out, static_cast<uint32_t>(d.size()));
  for (const TiffField& f : d) {
    Put16(out, f.tag);
    Put16(out, f.type);
    Put32(out, f.count);
    if (f.value.size() > 4) {
      Put32(out, static_cast<uint32_t>(overflow));
      overflow += PaddedSize(f.value.size());
    } else {
      std::vector<uint8_t> inline4 = f.value;
      inline4.resize(4, 0);
      out.insert(out.end(), inline4.begin(), inline4.end());
    }
  }
  Put32(out, 0);
  for (const TiffField& f : d)
    if (f.value.size() > 4) {
      out.insert(out.end(), f.value.begin(), f.value.end());
      if (f.value.size() & 1) out.push_back(0);
    }
}
