#include "cli/ConsoleMain.h"
#include "platform/StopSignals.h"

int main(int argc, char** argv) {
  InstallStopHandlers();
  return ConsoleMain(argc, argv);
}
