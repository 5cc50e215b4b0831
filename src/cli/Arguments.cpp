#include "cli/Arguments.h"

#include "platform/Text.h"

std::vector<std::string> CommandLine;

void SetCommandLine(int argc, char** argv) {
  CommandLine.clear();
  for (int i = 1; i < argc; ++i) CommandLine.emplace_back(argv[i]);
}

std::string ArgumentName(std::string_view given) {
  std::string argument = TrimSpaces(given);
  if (!StartsWith(argument, "-")) return {};
  if (StartsWith(argument, "--")) argument = argument.substr(0, argument.find('='));
  return ToUpper(argument);
}

std::string ArgumentValue(std::string_view given) {
  std::string argument = TrimSpaces(given);
  if (!StartsWith(argument, "--")) return argument;
  size_t equals = argument.find('=', 2);
  return equals == std::string::npos ? argument : argument.substr(equals + 1);
}

std::string ParameterName(size_t index) { return index < CommandLine.size() ? ArgumentName(CommandLine[index]) : ""; }

std::string ParameterValue(size_t index) { return index < CommandLine.size() ? ArgumentValue(CommandLine[index]) : ""; }
