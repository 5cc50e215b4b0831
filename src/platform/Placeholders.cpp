#include "platform/Placeholders.h"

#include "platform/Text.h"

std::string FillPlaceholders(std::string_view messageTemplate, std::string_view s1, std::string_view s2,
                             std::string_view s3, std::string_view s4) {
  static constexpr std::string_view kPlaceholders[] = {"%s1%", "%s2%", "%s3%", "%s4%"};
  const std::string_view values[] = {s1, s2, s3, s4};
  std::string text(messageTemplate);
  for (size_t k = 0; k < 4; ++k)
    if (!values[k].empty()) text = ReplaceAllNoCase(text, kPlaceholders[k], values[k]);
  return text;
}
