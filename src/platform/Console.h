#pragma once
// The console: lines go to standard output, each followed by "\n" and flushed.
#include <string_view>

void PrintLine(std::string_view line);

// Waits for one key. On a terminal, standard input is switched to non-canonical, no-echo
// mode for the wait; otherwise one byte is read. End of input also ends the wait, so a
// pause never hangs a script whose input is closed.
void WaitForKey();
