#pragma once
// The process's arguments and the two scanners through which every option reads them.
#include <cstddef>
#include <string>
#include <vector>

// The arguments after the program's own name, as the process received them.
extern std::vector<std::string> CommandLine;

void SetCommandLine(int argc, char** argv);

// The option name of argument `index`, upper-cased: the argument without spaces at both
// ends; for "--" names only the part before the first "=". Arguments that do not begin
// with "-" have no name (empty text), so "-i=x" gives "-I=X", which names no option.
std::string ParameterName(size_t index);

// The value carried by argument `index`: for a "--" argument with an "=", everything after
// the first "=" exactly as typed; otherwise the whole argument without spaces at both ends.
// Empty past the last argument.
std::string ParameterValue(size_t index);
