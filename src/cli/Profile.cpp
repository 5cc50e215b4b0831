#include "cli/Profile.h"

#include "cli/Notices.h"
#include "cli/OptionTable.h"
#include "cli/ValueReaders.h"
#include "platform/IniFile.h"
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
void ApplyProfileEntry(const IniEntry& entry, const std::string& path) {
  const OptionRow* row = FindProfileKey(ToUpper(entry.key));
  if (!row) {
    AddNotice(NoticeKind::UnknownProfileKey, path, entry.key);
    return;
  }
  if (row->form == ValueForm::Flag) {
    SetFlagOption(*row);
    return;
  }
  const std::string value = ProfileValueText(*row, entry.value);
  NoteUnreadValue(*row, value, path + ": " + entry.key + " = " + entry.value);
  StoreOptionValue(*row, value);
}

enum class CliGroup { kNotYet, kReading, kPassed };

// Only the first group named CLI is read; a later one of that name is not.
CliGroup AfterGroupLine(CliGroup state, const std::string& groupName) {
  if (state != CliGroup::kNotYet) return CliGroup::kPassed;
  return ToUpper(groupName) == "CLI" ? CliGroup::kReading : CliGroup::kNotYet;
}

}  // namespace

// Keys are applied as they are read, so nothing of the file is held. A file that fails
// part-way leaves its earlier keys applied, which does not matter: the run then stops.
bool ApplyProfile(const std::string& path) {
  CliGroup state = CliGroup::kNotYet;
  const bool read = ReadIniFile(path, {[&](const std::string& name) { state = AfterGroupLine(state, name); },
                                       [&](const IniEntry& entry) {
                                         if (state == CliGroup::kReading) ApplyProfileEntry(entry, path);
                                       }});
  if (read && state == CliGroup::kNotYet) AddNotice(NoticeKind::NoCliGroup, path);
  return read;
}
