#include "cli/Arguments.h"

#include "platform/Text.h"

std::vector<std::string> CommandLine;

void SetCommandLine(int argc, char** argv) {
  CommandLine.clear();
  for (int i = 1; i < argc; ++i) CommandLine.emplace_back(argv[i]);
}

std::string ParameterName(size_t index) {
  if (index >= CommandLine.size()) return {};
  std::string argument = TrimSpaces(CommandLine[index]);
  if (!StartsWith(argument, "-")) return {};
  if (StartsWith(argument, "--")) argument = argument.substr(0, argument.find('='));
  return ToUpper(argument);
}

std::string ParameterValue(size_t index) {
  if (index >= CommandLine.size()) return {};
  std::string argument = TrimSpaces(CommandLine[index]);
  if (!StartsWith(argument, "--")) return argument;
  size_t equals = argument.find('=', 2);
  return equals == std::string::npos ? argument : argument.substr(equals + 1);
}
