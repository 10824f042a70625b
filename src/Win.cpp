// Win: the window and the message loop.
#include "Win.h"

#include <cstring>

#include "Main.h"

HINSTANCE g_hInstance;
HWND g_hWnd;

int OpenWindow() {
  WNDCLASSA wc;
  std::memset(&wc, 0, sizeof(wc));
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = g_hInstance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = "ORVIX";
  if (RegisterClassA(&wc) == 0) return 0;
  // 512 x 525 is the outer size, frame and title bar included. The client
  // area is smaller than the 512 x 512 back buffer (506 x 500 under Wine,
  // less under a taller title bar), so the frame's right and bottom edges are
  // cut; the size is the program's own and stays.
  g_hWnd = CreateWindowExA(0, "ORVIX", "ORVIX SW RENDERING", WS_VISIBLE | WS_BORDER, CW_USEDEFAULT,
                           CW_USEDEFAULT, 512, 525, nullptr, nullptr, g_hInstance, nullptr);
  return g_hWnd != nullptr ? 1 : 0;
}

int MessageLoop(void (*idle)()) {
  MSG msg;
  std::memset(&msg, 0, sizeof(msg));
  // Tested on the last message removed: WM_QUIT is dispatched before the end.
  while (msg.message != WM_QUIT) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    } else {
      idle();
    }
  }
  return static_cast<int>(msg.wParam);
}
