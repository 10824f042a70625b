// The POSIX entry: the renderer's own entry point is WinMain.
#include "Main.h"

int main() {
  static char command_line[] = "";
  return WinMain(nullptr, nullptr, command_line, 1);
}
