#include "cli/Profile.h"

#include "cli/IniFile.h"
#include "cli/OptionTable.h"
#include "cli/ValueReaders.h"
#include "platform/Text.h"

namespace {

// Text values lose their spaces but keep their quotes, except the file-name mask, where
// quotes are how a profile keeps spaces at the ends of a mask.
std::string ProfileValueText(const OptionRow& row, const std::string& value) {
  if (row.form != ValueForm::Text) return value;
  return row.profileStripsQuotes ? StripOuterQuotes(value) : TrimSpaces(value);
}

// A profile has no parameter-count check: an empty value is stored as it parses, and a
// flag key sets its flag whatever value it carries.
void ApplyProfileEntry(const IniEntry& entry) {
  const OptionRow* row = FindProfileKey(ToUpper(entry.key));
  if (!row) return;
  if (row->form == ValueForm::Flag) {
    SetFlagOption(*row);
  } else {
    StoreOptionValue(*row, ProfileValueText(*row, entry.value));
  }
}

}  // namespace

bool ApplyProfile(const std::string& path) {
  std::optional<IniFile> file = ReadIniFile(path);
  if (!file) return false;
  if (const IniGroup* group = FindIniGroup(*file, "CLI"))
    for (const IniEntry& entry : group->entries) ApplyProfileEntry(entry);
  return true;
}
