// ORVIX's program in an SDL window, built from the installed package.
#include "Main.h"

int main() {
  static char command_line[] = "";
  return WinMain(nullptr, nullptr, command_line, 1);
}
