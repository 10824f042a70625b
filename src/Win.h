// Win: the program's window and its message loop.
#ifndef ORVIX_WIN_H
#define ORVIX_WIN_H

#include "platform/win32.h"

extern HINSTANCE g_hInstance;
extern HWND g_hWnd;  // null until OpenWindow has made the window

// Registers the class "ORVIX" and creates the 512 x 525 window titled
// "ORVIX SW RENDERING"; its WM_CREATE builds the back buffer. 1 when the
// window exists, 0 otherwise.
int OpenWindow();

// Handles at most one waiting message per pass and calls `idle` in a pass
// that finds the queue empty, until WM_QUIT has been removed (and dispatched).
// Never blocks. Returns the quit message's wParam.
int MessageLoop(void (*idle)());

#endif  // ORVIX_WIN_H
