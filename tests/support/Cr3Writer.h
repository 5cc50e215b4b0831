#pragma once
// Writes small Canon CR3 files: the ISO base-media container Canon's cameras write, with
// the camera's metadata in the CMT boxes of Canon's uuid box, a thumbnail, a full-size
// JPEG preview track and a raw track. The RAW decoder opens the file and hands over the
// preview; the raw track's data is not CRX-coded (no writer of that code exists here), so
// a full decode of the file fails. The scene is TestPattern::kQuadrants.
#include <string>

struct Cr3Options {
  // The preview's size; the raw track claims the same, rounded down to even numbers.
  int width = 96;
  int height = 64;
  int orientation = 1;  // the Orientation tag of IFD0; 0 writes none
  std::string make = "Canon";
  std::string model = "Canon EOS Quill";
  std::string dateTime = "2022:03:04 05:06:07";  // DateTime and DateTimeOriginal
  std::string lensModel = "RF24-105mm F4 L IS USM";
  double exposureSeconds = 1.0 / 250;
  double fNumber = 5.6;
  int iso = 400;
  // A GPS directory with this position, in degrees (north and east positive).
  bool gps = true;
  double latitude = 48.8584;
  double longitude = -2.2945;
};

// False when the file cannot be written or the options are out of range (a side below 44
// pixels, the least the raw track's header may state).
bool WriteTestCr3(const std::string& path, const Cr3Options& options);
