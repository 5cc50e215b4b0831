#include "support/RunOutcomes.h"

#include <FreeImage.h>

#include <filesystem>
#include <vector>

#include "platform/BitmapPtr.h"

std::string ToString(Outcome outcome) {
  switch (outcome) {
    case Outcome::kConverted: return "converted";
    case Outcome::kStopped: return "stopped";
    case Outcome::kRefused: return "refused";
    case Outcome::kBroken: return "broken";
  }
  return "?";
}

Outcome OutcomeOf(const ProgramRun& run) {
  const std::string last = run.lines.empty() ? "" : run.lines.back();
  if (run.exitStatus == 0 && (last == "Files converted: 1 of 1" || run.lines.empty())) return Outcome::kConverted;
  if (run.exitStatus == 1 &&
      (last == "Conversion stopped" || last == "No input file(s) found. Please, add valid file(s) and try again!"))
    return Outcome::kStopped;
  if (run.exitStatus == 2 && last.rfind("Error: ", 0) == 0) return Outcome::kRefused;
  return Outcome::kBroken;
}

std::string AbnormalEndOf(const ProgramRun& run, long peakLimitKilobytes) {
  std::string problem;
  if (run.timedOut)
    problem = "did not finish in time";
  else if (run.signal != 0)
    problem = "ended by signal " + std::to_string(run.signal);
  else if (run.stderrText.find("Sanitizer") != std::string::npos ||
           run.stderrText.find("runtime error") != std::string::npos)
    problem = "sanitizer report";
  else if (run.peakKilobytes > peakLimitKilobytes)
    problem = "peak memory " + std::to_string(run.peakKilobytes / 1024) + " MB";
  if (problem.empty()) return {};
  return problem + "\n--- stdout:\n" + run.stdoutText + "--- stderr:\n" + run.stderrText.substr(0, 4000);
}

std::string OutputProblem(const std::string& outputFolder, bool converted) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(outputFolder)) files.push_back(entry.path());
  if (!converted) return files.empty() ? "" : "left behind: " + files.front();
  if (files.size() != 1) return "expected one output file, found " + std::to_string(files.size());
  BitmapPtr picture = AdoptBitmap(FreeImage_Load(FIF_JPEG, files.front().c_str(), 0));
  return picture ? "" : files.front() + " does not decode as JPEG";
}
