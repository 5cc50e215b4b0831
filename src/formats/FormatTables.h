#pragma once
// What the program knows about file formats: the input extension table with the accepted
// input extensions derived from it, and the output format table with the accepted output
// extensions and the permitted bit depths.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A FreeImage format identifier (FIF number, FreeImage's own FIF_* values), passed to
// FreeImage unchanged.
using FormatCode = int32_t;

inline constexpr FormatCode kNoFormatCode = -1;

struct FormatEntry {
  FormatCode formatCode = kNoFormatCode;  // set only in the output table
  std::string formatKey;                  // format family, e.g. "raw"
  std::string description;
  std::string bitDepths;  // comma-separated permitted output depths
};

extern std::map<std::string, FormatEntry> InputExtensionTable;
extern std::map<std::string, FormatEntry> OutputFormatTable;

// The format keys accepted as input ({"raw"}) and the extensions accepted for -c ({"jpg"}).
// Widening either list is the only change needed to accept more.
extern std::vector<std::string> AcceptedInputFormats;
extern std::vector<std::string> AcceptedOutputFormats;
// Every input extension whose format key is accepted; built by BuildAcceptedInputExtensions.
extern std::vector<std::string> AcceptedInputExtensions;

void BuildInputExtensionTable();
void BuildOutputFormatTable();
void BuildAcceptedInputExtensions();

bool IsAcceptedInputExtension(const std::string& extension);
bool IsAcceptedOutputFormat(const std::string& extension);

// The extension a request writes: the given one, or the first accepted output format when
// none is given.
std::string OutputExtensionOrDefault(const std::string& extension);

// 0 is always permitted (automatic choice); otherwise the depth must be one of the fields
// of the extension's bitDepths text.
bool IsPermittedBitDepth(const std::string& extension, int32_t bitDepth);

// The bitDepths fields of an output extension as integers, in their order (empty for an
// extension without an entry).
std::vector<int32_t> PermittedBitDepths(const std::string& extension);
