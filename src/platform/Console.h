#pragma once
// The console: lines go to standard output, each followed by "\n" and flushed.
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/UniqueFd.h"

void PrintLine(std::string_view line);

// The line that refuses a request: kRefusalPrefix and the message.
inline constexpr std::string_view kRefusalPrefix = "Error: ";
std::string RefusalLine(std::string_view message);

// Prints RefusalLine(message).
void PrintRefusal(std::string_view message);

// Waits for one key. On a terminal, standard input is switched to non-canonical, no-echo
// mode for the wait; otherwise one byte is read. End of input also ends the wait, so a
// pause never hangs a script whose input is closed.
void WaitForKey();

// While it lives (and `quiet` is set), what the libraries write to standard error stays off
// the console: LibRaw's "data corrupted at ..." and libjpeg's "Corrupt JPEG data ..." go
// through the C stream stderr, and glibc's notice of an aborting decoder straight to
// descriptor 2, so the descriptor is pointed at /dev/null and put back afterwards. The
// program itself prints only to standard output. In sanitizer builds the descriptor stays,
// since sanitizer reports go to it directly and must reach the test log; only the C stream
// is pointed away there. Libraries whose objects the program owns get quiet handlers of
// their own instead (see JpegErrors.h and RawPreviewExtraction.cpp).
struct QuietStandardError {
  explicit QuietStandardError(bool quiet);
  ~QuietStandardError();
  QuietStandardError(const QuietStandardError&) = delete;
  QuietStandardError& operator=(const QuietStandardError&) = delete;

 private:
  UniqueFd savedDescriptor;
  std::FILE* savedStream = nullptr;
  std::FILE* sink = nullptr;
};
