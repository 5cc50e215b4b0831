#pragma once
// The conversion worker: walks the job's file list on its own thread, converts each file
// through the pipeline, keeps the shared progress record up to date and, after each
// converted file, advances the name-mask values and sets the output file's time stamp.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

struct ConversionProgressRecord {
  int32_t index = 0;                // 1-based number of the file being converted
  std::string currentName;          // path of the file being converted
  int64_t lastDuration = 0;         // ms the previous file took: 0 failed, >= 1000 succeeded
  int32_t convertedCount = 0;       // before the run: files added; after: files converted
  std::atomic<uint8_t> running{0};  // cleared by a front end to stop a batch
};

extern ConversionProgressRecord ConversionProgress;

// Guards index, currentName, lastDuration and convertedCount.
extern std::mutex progressLock;

// Gives the progress record its starting values (not running), under the lock.
void ResetConversionProgress();

// The thread procedure; the parameter is ignored. Returns 0.
int ConversionWorker(int parameter);
