#include "formats/Signatures.h"

#include <array>
#include <fstream>
#include <vector>

namespace {

using namespace std::string_view_literals;

// Grouped by first byte. Only "TIFF (LE)" and "CR2" can both match one file; the later
// "CR2" then names it. The rows without a name mark further camera and picture formats, so
// that a damaged or unsupported file of theirs is never taken for headerless pixels: ISO base
// media (CR3, HEIF), Minolta MRW, ARRIRAW, Fujifilm RAF, Sigma X3F, Canon CRW, Olympus ORF,
// Panasonic RW2, Nokia RAW, JPEG 2000, and JPEG with any first marker.
constexpr FileSignature kFileSignatures[] = {
    {{0, "\x00\x00\x01\x00"sv}, {}, "ICO"},
    {{0, "\x00\x00\x01\xB3"sv}, {}, "MPEG"},
    {{0, "\x00\x00\x01\xBA"sv}, {}, "MPG/VOB"},
    {{0, "\x00\x00\x00"sv}, {4, "ftyp"sv}, ""},
    {{0, "\x00\x00\x00\x0C\x6A\x50\x20\x20"sv}, {}, ""},
    {{0, "\x00\x4D\x52\x4D"sv}, {}, ""},
    {{0, "\x1A\x45\xDF\xA3"sv}, {}, "MKV/MKA/WEBM"},
    {{0, "\x1B\x4C\x75\x61"sv}, {}, "LUAC"},
    {{0, "\x1F\x8B"sv}, {}, "GZ"},
    {{0, "\x25\x21\x50\x53"sv}, {}, "PS"},
    {{0, "\x25\x50\x44\x46\x2D"sv}, {}, "PDF"},
    {{0, "\x2A\x2A\x41\x43\x45\x2A\x2A"sv}, {}, "ACE"},
    {{0, "\x2F\x2A\x20\x58\x50\x4D\x20\x2A\x2F"sv}, {}, "XPM"},
    {{0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"sv}, {}, "ASF/WMA/WMV"},
    {{0, "\x31\x0A\x30\x30"sv}, {}, "SRT"},
    {{0, "\x37\x7A\xBC\xAF\x27\x1C"sv}, {}, "7Z"},
    {{0, "\x38\x42\x50\x53"sv}, {}, "PSD"},
    {{0, "\x41\x47\x44\x33"sv}, {}, "FH8"},
    {{0, "ARRI\x12\x34\x56\x78"sv}, {}, ""},
    {{0, "\x41\x54\x26\x54\x46\x4F\x52\x4D"sv}, {12, "\x44\x4A\x56"sv}, "DJVU"},
    {{0, "\x42\x4C\x45\x4E\x44\x45\x52"sv}, {}, "BLEND"},
    {{0, "\x42\x4D"sv}, {}, "BMP"},
    {{0, "\x42\x50\x47\xFB"sv}, {}, "BPG"},
    {{0, "\x42\x5A\x68"sv}, {}, "BZ2"},
    {{0, "\x43\x57\x53"sv}, {}, "SWF"},
    {{0, "\x44\x52\x41\x43\x4F"sv}, {}, "DRC"},
    {{0, "\x46\x4C\x49\x46"sv}, {}, "FLIF"},
    {{0, "\x46\x57\x53"sv}, {}, "SWF"},
    {{0, "\x46\x4C\x56"sv}, {}, "FLV"},
    {{0, "FUJIFILM"sv}, {}, ""},
    {{0, "FOVb"sv}, {}, ""},
    {{0, "\x47\x49\x46\x38\x37\x61"sv}, {}, "GIF87A"},
    {{0, "\x47\x49\x46\x38\x39\x61"sv}, {}, "GIF89A"},
    {{0, "\x49\x49\x2A\x00"sv}, {}, "TIFF (LE)"},
    {{0, "\x49\x49\x2A\x00\x10\x00\x00\x00\x43\x52"sv}, {}, "CR2"},
    {{0, "\x49\x54\x53\x46\x03\x00\x00\x00\x60\x00\x00\x00"sv}, {}, "CHM"},
    {{0, "\x49\x44\x33"sv}, {}, "MP3/ID3V2"},
    {{0, "\x49\x53\x63\x28"sv}, {}, "CAB (IS)"},
    {{0, "II"sv}, {6, "HEAPCCDR"sv}, ""},
    {{0, "IIRO"sv}, {}, ""},
    {{0, "IIRS"sv}, {}, ""},
    {{0, "IIU\x00"sv}, {}, ""},
    {{0, "\x4C\x5A\x49\x50"sv}, {}, "LZ"},
    {{0, "\x4D\x4C\x56\x49"sv}, {}, "MLV"},
    {{0, "\x4D\x4D\x00\x2A"sv}, {}, "TIFF (BE)"},
    {{0, "\x4D\x53\x43\x46"sv}, {}, "CAB"},
    {{0, "\x4D\x54\x68\x64"sv}, {}, "MID/MIDI"},
    {{0, "\x4D\x5A"sv}, {}, "EXE/DLL (MZ/PE/NE)"},
    {{0, "MM"sv}, {6, "HEAPCCDR"sv}, ""},
    {{0, "MMOR"sv}, {}, ""},
    {{0, "\x4E\x55\x52\x55\x49\x4D\x47"sv}, {}, "NUI"},
    {{0, "\x4E\x55\x52\x55\x50\x41\x4C"sv}, {}, "NUP"},
    {{0, "NOKIARAW"sv}, {}, ""},
    {{0, "\x4F\x67\x67\x53"sv}, {}, "OGG/OGA/OGV"},
    {{0, "\x50\x31\x0A"sv}, {}, "PBM"},
    {{0, "\x50\x32\x0A"sv}, {}, "PGM"},
    {{0, "\x50\x33\x0A"sv}, {}, "PPM"},
    {{0, "\x50\x4B\x03\x04"sv}, {}, "ZIP"},
    {{0, "\x50\x4B\x05\x06"sv}, {}, "ZIP (E)"},
    {{0, "\x50\x4B\x07\x08"sv}, {}, "ZIP (S)"},
    {{0, "\x52\x49\x46\x46"sv}, {8, "\x41\x43\x4F\x4E"sv}, "ANI"},
    {{0, "\x52\x49\x46\x46"sv}, {8, "\x41\x56\x49\x20"sv}, "AVI"},
    {{0, "\x52\x49\x46\x46"sv}, {8, "\x57\x41\x56\x45"sv}, "WAV"},
    {{0, "\x52\x49\x46\x46"sv}, {8, "\x57\x45\x42\x50"sv}, "WEBP"},
    {{0, "\x52\x61\x72\x21\x1A\x07\x00"sv}, {}, "RAR (1.5+)"},
    {{0, "\x52\x61\x72\x21\x1A\x07\x01\x00"sv}, {}, "RAR (5.0+)"},
    {{0, "\x53\x44\x50\x58"sv}, {}, "DPX (BE)"},
    {{0, "\x53\x51\x4C\x69\x74\x65\x20\x66\x6F\x72\x6D\x61\x74\x20\x33\x00"sv}, {}, "SQLITE/DB"},
    {{0, "\x58\x50\x44\x53"sv}, {}, "DPX (LE)"},
    {{0, "\x5A\x4D"sv}, {}, "EXE (ZM)"},
    {{0, "\x60\xEA"sv}, {}, "ARJ"},
    {{0, "\x66\x4C\x61\x43"sv}, {}, "FLAC"},
    {{0, "\x66\x74\x79\x70\x33\x67"sv}, {}, "3GP"},
    {{0, "\x67\x69\x6D\x70\x20\x78\x63\x66"sv}, {}, "XCF"},
    {{0, "\x74\x6F\x78\x33"sv}, {}, "TOX"},
    {{0, "\x76\x2F\x31\x01"sv}, {}, "EXR"},
    {{0, "\x78\x61\x72\x21"sv}, {}, "XAR"},
    {{0, "\x7B\x5C\x72\x74\x66\x31"sv}, {}, "RTF"},
    {{0, "\x80\x2A\x5F\xD7"sv}, {}, "CIN"},
    {{0, "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A"sv}, {}, "PNG"},
    {{0, "\xCA\xFE\xBA\xBE"sv}, {}, "CLASS"},
    {{0, "\xCF\x84\x01"sv}, {}, "LEP"},
    {{0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv}, {}, "DOC/XLS/PPT"},
    {{0, "\xD7\xCD\xC6\x9A"sv}, {}, "WMF"},
    {{0, "\xFD\x37\x7A\x58\x5A\x00"sv}, {}, "XZ"},
    {{0, "\xFF\x4F\xFF\x51"sv}, {}, ""},
    {{0, "\xFF\xD8\xFF"sv}, {}, ""},
    {{0, "\xFF\xD8\xFF\xDB"sv}, {}, "JPG"},
    {{0, "\xFF\xD8\xFF\xE0\x00\x10\x4A\x46\x49\x46\x00\x01"sv}, {}, "JPEG/JFIF"},
    {{0, "\xFF\xD8\xFF\xEE"sv}, {}, "JPEG"},
    {{0, "\xFF\xD8\xFF\xE1"sv}, {6, "\x45\x78\x69\x66\x00\x00"sv}, "JPEG/EXIF"},
    {{0, "\xFF\xF2"sv}, {}, "MP3"},
    {{0, "\xFF\xF3"sv}, {}, "MP3"},
    {{0, "\xFF\xFB"sv}, {}, "MP3"},
};

using SignatureIndex = std::array<std::vector<const FileSignature*>, 256>;

// The rows of each first byte, in table order, so a file is tested against those only.
const SignatureIndex& RowsByFirstByte() {
  static const SignatureIndex index = [] {
    SignatureIndex rows;
    for (const FileSignature& row : kFileSignatures)
      rows[static_cast<uint8_t>(row.first.bytes.front())].push_back(&row);
    return rows;
  }();
  return index;
}

// A byte beyond those read never matches.
bool GroupMatches(const SignatureGroup& group, std::span<const uint8_t> head) {
  if (group.offset + group.bytes.size() > head.size()) return false;
  for (size_t i = 0; i < group.bytes.size(); ++i)
    if (head[group.offset + i] != static_cast<uint8_t>(group.bytes[i])) return false;
  return true;
}

bool RowMatches(const FileSignature& row, std::span<const uint8_t> head) {
  return GroupMatches(row.first, head) && (row.second.bytes.empty() || GroupMatches(row.second, head));
}

std::vector<uint8_t> ReadHead(const std::string& path) {
  std::vector<uint8_t> head(kSignatureReadLength);
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(file.gcount()));
  return head;
}

// The rows that match the file's first bytes, in table order.
std::vector<const FileSignature*> MatchingRows(const std::string& path) {
  std::vector<const FileSignature*> rows;
  const std::vector<uint8_t> head = ReadHead(path);
  if (head.empty()) return rows;
  for (const FileSignature* row : RowsByFirstByte()[head[0]])
    if (RowMatches(*row, head)) rows.push_back(row);
  return rows;
}

}  // namespace

std::span<const FileSignature> FileSignatureTable() { return kFileSignatures; }

std::string IdentifyFileSignature(const std::string& path) {
  std::string name = kUnrecognizedSignature;
  for (const FileSignature* row : MatchingRows(path))
    if (!row->name.empty()) name = row->name;
  return name;
}

bool HasKnownFileSignature(const std::string& path) { return !MatchingRows(path).empty(); }
