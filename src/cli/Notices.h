#pragma once
// What the console says on standard error beside its standard-output lines: words it
// ignored or read otherwise than written, and the reason behind a refusal. Each is one
// line after "pixquillcmd: ". Warnings stay off with -q; reasons go with their error.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct OptionRow;

enum class NoticeKind : uint8_t {
  ExtraNames,
  UnknownOption,
  UnknownWord,
  NotANumber,
  NotAColour,
  NoCliGroup,
  UnknownProfileKey,
  SpacedValue,
  MissingValue,
  UnexpandedHome,
};

struct Notice {
  std::string text;
  bool reason = false;  // explains an error: shown even with -q
};

// The notices of this run, in the order they arose.
extern std::vector<Notice> PendingNotices;

void AddNotice(NoticeKind kind, std::string_view s1 = {}, std::string_view s2 = {}, std::string_view s3 = {});

// Notes a value that the row's reader takes otherwise than written: an unknown keyword, a
// number with other characters, a colour that is not six hexadecimal digits. `shown` is
// the value as the user wrote it with its option. Empty values are no notice.
void NoteUnreadValue(const OptionRow& row, std::string_view value, std::string_view shown);

// Prints the pending warnings (none when quiet) or reasons, and drops them.
void PrintWarnings(bool quiet);
void PrintReasons();
