#pragma once
// The process's arguments and the two scanners through which every option reads them.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The arguments after the program's own name, as the process received them.
extern std::vector<std::string> CommandLine;

void SetCommandLine(int argc, char** argv);

// The option name of an argument, upper-cased: the argument without spaces at both ends;
// for "--" names only the part before the first "=". Arguments that do not begin with "-"
// have no name (empty text), so "-i=x" gives "-I=X", which names no option.
std::string ArgumentName(std::string_view argument);

// The value an argument carries: for a "--" argument with an "=", everything after the
// first "=" exactly as typed; otherwise the whole argument without spaces at both ends.
std::string ArgumentValue(std::string_view argument);

// ArgumentName and ArgumentValue of CommandLine's argument `index`; empty past the last.
std::string ParameterName(size_t index);
std::string ParameterValue(size_t index);
