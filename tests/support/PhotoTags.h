#pragma once
// Reads a saved file's EXIF, IPTC and XMP back with Exiv2, as photo libraries read them.
#include <map>
#include <string>
#include <vector>

struct PhotoTags {
  std::map<std::string, std::string> values;  // "Exif.Image.Make" -> "Canon", as Exiv2 prints them
  std::vector<std::string> warnings;          // what Exiv2 said while reading
  bool read = false;                          // false when Exiv2 could not read the file at all

  bool Has(const std::string& key) const { return values.count(key) != 0; }
  // The value, or "(absent)".
  std::string operator[](const std::string& key) const;
  // Keys that begin with the prefix ("Exif.Thumbnail.").
  std::vector<std::string> KeysStartingWith(const std::string& prefix) const;
};

PhotoTags ReadPhotoTags(const std::string& path);
