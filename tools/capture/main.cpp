// orvix-capture: records ORVIX's frames without a display.
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "capture/capture.h"
#include "capture/outputs.h"

int main(int argc, char** argv) {
  // Before any file is opened, so that none takes a closed stream's number.
  capture::GuardStandardStreams();
  // Writes to a closed standard output then fail, as they would have.
  if (capture::WasClosed(STDOUT_FILENO)) std::cout.setstate(std::ios::badbit);
  // A file size limit (ulimit -f) is then a write error like a full disk:
  // reported, and nothing half written is left, where SIGXFSZ would kill.
  std::signal(SIGXFSZ, SIG_IGN);
  capture::InstallSignalHandlers();
  return capture::Main(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
