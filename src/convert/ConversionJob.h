#pragma once
// The one global record of the current conversion request and of the file being
// converted. The program entry fills the request fields, the driver normalises them and
// fills the file list, the pipeline writes the per-image fields while the worker runs.
#include <cstdint>
#include <map>
#include <string>

#include "formats/FormatTables.h"
#include "pipeline/ImageRecords.h"
#include "settings/ConversionSettings.h"

struct JobFileEntry {
  int32_t added = 0;  // 1 once the entry is filled
  std::string subfolder;
};

struct ConversionJobRecord {
  std::string currentFile;
  std::string inputFile;  // the -i value as typed; emptied by the driver
  std::string currentSubfolder;
  std::string outputFile;
  std::string outputFolder;  // the -o value; made absolute by the driver, ending in "/"
  int32_t randomNumber = 0;  // 1..99999, for the name mask
  int32_t fileCounter = 1;   // running number for the name mask
  std::string sourceFormat;
  int32_t sourceBpp = 0;
  FormatCode saveFormat = 0;
  std::string outputExtension;
  int32_t targetBpp = 0;  // 0 = automatic
  int32_t saveFlags = 0;
  bool8 autoBpp = 0;
  bool8 consoleRun = 0;  // an input was named on the command line
  std::string runMode;   // "DEBUG" in debug mode
  int32_t outputWidth = 0;
  int32_t outputHeight = 0;
  int32_t frameNumber = 0;
  std::string pipelineNotes;  // the debug report's lines on the file beyond its outcome
  // Fields of an interactive front end, which this build does not have: the console only
  // gives them their starting values and never reads them.
  std::string programFolder;  // folder of the executable, ending in "/"
  std::string projectFile;    // document name of the interactive front end
  int32_t frontEndValue = 0;
  bool8 frontEndFlagA = 0;
  bool8 frontEndFlagB = 0;
};

extern ConversionJobRecord ConversionJob;

// The job's input files, keyed by path. In the console it holds at most one entry.
extern std::map<std::string, JobFileEntry> JobFileList;

// Gives every job field its starting value; run once at start-up after the format tables
// are built.
void ResetConversionJob();

// The pipeline's request for `file` (found in `subfolder` of the input), with the job's
// output folder, extension, save settings and name-mask values: what a run hands over, and
// what names the file's output before it is converted.
ImageRequest ImageRequestFor(const std::string& file, const std::string& subfolder = {});

// The pipeline's request for the job's current file.
ImageRequest CurrentImageRequest();

inline bool IsDebugRun() { return ConversionJob.runMode == "DEBUG"; }
