#include "support/PhotoTags.h"

#include <exiv2/exiv2.hpp>
#include <mutex>

namespace {

std::vector<std::string>* collected = nullptr;
std::mutex collecting;

void Collect(int, const char* message) {
  if (collected) collected->push_back(message);
}

template <typename Data>
void Store(const Data& data, PhotoTags& tags) {
  for (const auto& datum : data) tags.values[datum.key()] = datum.toString();
}

}  // namespace

std::string PhotoTags::operator[](const std::string& key) const {
  const auto found = values.find(key);
  return found == values.end() ? "(absent)" : found->second;
}

std::vector<std::string> PhotoTags::KeysStartingWith(const std::string& prefix) const {
  std::vector<std::string> keys;
  for (const auto& [key, value] : values)
    if (key.compare(0, prefix.size(), prefix) == 0) keys.push_back(key);
  return keys;
}

PhotoTags ReadPhotoTags(const std::string& path) {
  PhotoTags tags;
  std::lock_guard<std::mutex> guard(collecting);
  collected = &tags.warnings;
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::warn);
  Exiv2::LogMsg::setHandler(Collect);
  try {
    const auto image = Exiv2::ImageFactory::open(path);
    image->readMetadata();
    Store(image->exifData(), tags);
    Store(image->iptcData(), tags);
    Store(image->xmpData(), tags);
    tags.read = true;
  } catch (const std::exception& error) {
    tags.warnings.push_back(error.what());
  }
  Exiv2::LogMsg::setHandler(Exiv2::LogMsg::defaultHandler);
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  collected = nullptr;
  return tags;
}
