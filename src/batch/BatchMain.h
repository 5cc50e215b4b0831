#pragma once
// pixquillbatch's main procedure: checks the request once, names the outputs, has GNU
// parallel run one pixquillcmd per file and reports.

// Returns the exit status: 0 every file converted (and for help, version and no
// arguments), 1 some file failed or was not converted, 2 the request was refused.
int BatchMain(int argc, char** argv);
