// The POSIX entry: the program's own entry point is WinMain, which the program
// defines, as Windows' start-up code expects it to.
#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

int main() {
  static char command_line[] = "";
  return WinMain(nullptr, nullptr, command_line, 1);
}
