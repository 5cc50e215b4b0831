#pragma once
// How a run of the real program ended, judged from its exit status and last line, and the
// checks every run with hostile or damaged input must pass: it ended by itself, within its
// time, without a sanitizer report, and left either a readable output or nothing.
#include <string>

#include "support/RunProgram.h"

enum class Outcome { kConverted, kStopped, kRefused, kBroken };

std::string ToString(Outcome outcome);

// kConverted: status 0 and the last line "Files converted: 1 of 1" (or nothing with -q);
// kStopped: status 1 and the last line "Conversion stopped" or the no-input line;
// kRefused: status 2 and the last line an "Error: " line. Anything else is kBroken.
Outcome OutcomeOf(const ProgramRun& run);

// Empty when the run ended by itself (no signal, no time-out) without a sanitizer report
// and stayed below `peakLimitKilobytes` of resident memory; otherwise what went wrong,
// with the program's output.
std::string AbnormalEndOf(const ProgramRun& run, long peakLimitKilobytes);

// Empty when `outputFolder` holds exactly one file that FreeImage reads as a JPEG when
// `converted`, and no file at all otherwise (no partial or temporary file left behind).
std::string OutputProblem(const std::string& outputFolder, bool converted);
