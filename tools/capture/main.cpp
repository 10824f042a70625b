// orvix-capture: records ORVIX's frames without a display.
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "capture/capture.h"

int main(int argc, char** argv) {
  // A file size limit (ulimit -f) is then a write error like a full disk:
  // reported, and nothing half written is left, where SIGXFSZ would kill.
  std::signal(SIGXFSZ, SIG_IGN);
  return capture::Main(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
