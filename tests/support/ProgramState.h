#pragma once
// Tests run one after another in one process, in any order: every test that reads or writes
// the program's global records starts from the state the program itself starts in.

// The format tables, the job and its file list, the settings, the message catalogue, the
// progress record, the command line and the watermark font, as the console program has
// them before it reads its arguments.
void ResetProgramState();

// Makes `request` a new request on the same settings: a request holds its settings by
// reference, so it cannot be assigned, and a new one in its place misses no field.
struct ImageRequest;
void ClearImageRequest(ImageRequest& request);
