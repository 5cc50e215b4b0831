#pragma once
// The console program's main procedure: prepares the tables and settings, scans the
// arguments, and prints the help, the version, an error, or runs one conversion.
#include <string_view>
#include <vector>

// Returns the process exit status: 0 converted (and for help, version and no arguments),
// 1 when the run ended with "Conversion stopped", 2 when the request was refused. No
// exception leaves it: anything unexpected ends the run with "Conversion stopped".
int ConsoleMain(int argc, char** argv);

// Builds the format tables and the message catalogue and gives the job and the settings
// their starting values: everything the argument scan and the request checks need.
void PrepareConsoleRun();

// The first-argument commands that print the help or the version, upper case as compared
// ("-V", "--VERSION", "-H", ...); the hooks of the windowed front end are not among them.
std::vector<std::string_view> HelpAndVersionNames();
