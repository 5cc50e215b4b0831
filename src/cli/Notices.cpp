#include "cli/Notices.h"

#include <cstdio>

#include "cli/OptionTable.h"
#include "cli/ValueReaders.h"
#include "pipeline/Colors.h"
#include "platform/Placeholders.h"
#include "platform/Text.h"
#include "settings/Keywords.h"

std::vector<Notice> PendingNotices;

namespace {

struct NoticeRow {
  NoticeKind kind;
  bool reason;
  std::string_view text;  // %s1% to %s3% are filled in
};

// clang-format off
constexpr NoticeRow kNoticeRows[] = {
    {NoticeKind::ExtraNames, false, "ignored: %s1% (one file a run; pixquillbatch converts many)"},
    {NoticeKind::UnknownOption, false, "ignored: %s1% is not an option (see pixquillcmd -h)"},
    {NoticeKind::UnknownWord, false, "%s1%: no such word, %s2% is used; the words: %s3%"},
    {NoticeKind::NotANumber, false, "%s1%: not a number, read as %s2%"},
    {NoticeKind::NotAColour, false, "%s1%: not six hexadecimal digits RRGGBB, read as %s2%"},
    {NoticeKind::NoCliGroup, false, "%s1%: no [CLI] group, so nothing of it is used"},
    {NoticeKind::UnknownProfileKey, false, "%s1%: ignored: %s2% is not a profile key"},
    {NoticeKind::SpacedValue, true, "%s1% takes its value after \"=\": write %s1%=%s2%"},
    {NoticeKind::MissingValue, true, "%s1%: the value is missing"},
    {NoticeKind::UnexpandedHome, true, "%s1%: the shell does not expand ~ after \"=\": write %s2%"},
};
// clang-format on

const NoticeRow& RowOf(NoticeKind kind) {
  for (const NoticeRow& row : kNoticeRows)
    if (row.kind == kind) return row;
  return kNoticeRows[0];
}

std::string KeywordList(int kind) {
  std::string words;
  for (const OptionKeyword& keyword : KeywordKindTable(kind).keywords)
    words += (words.empty() ? "" : ", ") + std::string(keyword.word);
  return words;
}

// What an unknown word reads as: the word of code 0.
std::string FirstWord(int kind) {
  const std::string word = ToUpper(CodeToKeyword(kind, 0));
  return word.empty() ? "0" : word;
}

bool IsKnownKeyword(std::string_view value, int kind) {
  const std::string upper = ToUpper(value);
  for (const OptionKeyword& keyword : KeywordKindTable(kind).keywords)
    if (keyword.word == upper) return true;
  return false;
}

std::string HexColour(uint32_t colour) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", RedOf(colour), GreenOf(colour), BlueOf(colour));
  return text;
}

bool IsHexColour(std::string_view text) {
  if (text.size() != 6) return false;
  for (char c : text)
    if (HexDigitValue(c) < 0) return false;
  return true;
}

std::string FloatText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

void PrintNotice(const Notice& notice) { std::fprintf(stderr, "pixquillcmd: %s\n", notice.text.c_str()); }

}  // namespace

void AddNotice(NoticeKind kind, std::string_view s1, std::string_view s2, std::string_view s3) {
  const NoticeRow& row = RowOf(kind);
  PendingNotices.push_back({FillPlaceholders(row.text, s1, s2, s3), row.reason});
}

void NoteUnreadValue(const OptionRow& row, std::string_view value, std::string_view shown) {
  if (value.empty()) return;
  switch (row.form) {
    case ValueForm::Integer:
      if (!IsWholeInteger(value)) AddNotice(NoticeKind::NotANumber, shown, std::to_string(ReadIntegerValue(value)));
      break;
    case ValueForm::Float:
      if (!IsWholeFloat(value)) AddNotice(NoticeKind::NotANumber, shown, FloatText(ReadFloatValue(value)));
      break;
    case ValueForm::Keyword: {
      const std::string word = TrimSpaces(value);
      if (KeywordKindTable(row.keywordKind).forward && !IsKnownKeyword(word, row.keywordKind))
        AddNotice(NoticeKind::UnknownWord, shown, FirstWord(row.keywordKind), KeywordList(row.keywordKind));
      break;
    }
    case ValueForm::Text:
      if (row.colour && !IsHexColour(value)) AddNotice(NoticeKind::NotAColour, shown, HexColour(ParseHexColor(value)));
      break;
    case ValueForm::Flag: break;
  }
}

void PrintWarnings(bool quiet) {
  std::vector<Notice> kept;
  for (Notice& notice : PendingNotices)
    if (notice.reason)
      kept.push_back(std::move(notice));
    else if (!quiet)
      PrintNotice(notice);
  PendingNotices = std::move(kept);
}

void PrintReasons() {
  for (const Notice& notice : PendingNotices)
    if (notice.reason) PrintNotice(notice);
  PendingNotices.clear();
}
