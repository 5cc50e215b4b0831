#pragma once
// Tests run one after another in one process, in any order: every test that reads or writes
// the program's global records starts from the state the program itself starts in.

// The format tables, the job and its file list, the settings, the message catalogue, the
// progress record, the command line and the watermark font, as the console program has
// them before it reads its arguments.
void ResetProgramState();

// Gives every field of a request but its settings the value of a new one (a request holds
// its settings by reference, so it cannot be assigned).
struct ImageRequest;
void ClearImageRequest(ImageRequest& request);
