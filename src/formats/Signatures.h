#pragma once
// File identification by the signature bytes at the start of a file. The name is only
// reported; acceptance never depends on it. A file that carries any known signature is an
// image or a document of its own kind, never headerless pixel data.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

inline constexpr const char* kUnrecognizedSignature = "[ERROR] UNRECOGNIZED";

// At most this many bytes from the start of a file are looked at.
inline constexpr size_t kSignatureReadLength = 20;

// Bytes that must stand at `offset`; an empty group is absent.
struct SignatureGroup {
  uint8_t offset = 0;
  std::string_view bytes;
};

// A row matches when both of its groups match. Every first group lies at offset 0. A row
// without a name marks a signature as known without naming the file (the name of an
// earlier matching row, or "[ERROR] UNRECOGNIZED", stands).
struct FileSignature {
  SignatureGroup first;
  SignatureGroup second;
  std::string_view name;
};

// The signature table in its order; when several named rows match, the last one names the
// file.
std::span<const FileSignature> FileSignatureTable();

// The name of the first bytes of the file, or "[ERROR] UNRECOGNIZED" for a file that is
// unreadable, empty or of no named signature.
[[nodiscard]] std::string IdentifyFileSignature(const std::string& path);

// True when the first bytes of the file match any row of the table, named or not.
[[nodiscard]] bool HasKnownFileSignature(const std::string& path);
