// orvix-capture: records ORVIX's frames without a display.
#include <unistd.h>

#include <iostream>

#include "capture.h"

int main(int argc, char** argv) {
  return capture::Main(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
