// The part of USER that the three backends share: window classes, windows
// with their pixel buffers, the message queue, window DCs and the key latch.
//
// A backend (sdl.cpp, headless.cpp or web.cpp) supplies the clock, Sleep and
// the six hooks at the bottom of this file; everything else of USER is in
// user.cpp.
#ifndef ORVIX_PLATFORM_USER_H
#define ORVIX_PLATFORM_USER_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/win32.h"

namespace user {

// Every window's client area is kClientWidth x kClientHeight pixels, whatever
// outer size CreateWindowExA is asked for: the platform draws no frame inside
// it, so a program that paints a back buffer of this size sees it whole, 1:1.
constexpr int kClientWidth = 512;
constexpr int kClientHeight = 512;

// A window DC draws on the client area's pixels, rows `stride` pixels apart,
// in `format`.
struct ClientArea {
  std::uint32_t* pixels = nullptr;
  int stride = kClientWidth;
  gdi::PixelFormat format = gdi::PixelFormat::kXbgr8888;
};

struct Window {
  HWND handle = nullptr;
  WNDPROC proc = nullptr;
  std::string title;
  std::vector<std::uint32_t> pixels;  // kClientWidth x kClientHeight, 0x00BBGGRR
  ClientArea client;                  // what the latest GetDC of the window draws on
  void* backend = nullptr;            // the backend's own per-window data
};

// Down state and "pressed since the last query" bit per virtual key.
// A key pressed and released between two queries still reads nonzero once.
class KeyLatch {
 public:
  void Set(int vk, bool down);
  void Tap(int vk);
  short Query(int vk);
  void ReleaseAll();
  void Clear();

 private:
  bool down_[256] = {};
  bool pressed_[256] = {};
};

KeyLatch& Keys();

// The one live window, or null.
Window* MainWindow();

// Forgets every class, window and queued message (windows are not sent
// WM_DESTROY). For tests and tools that run the program more than once.
void ResetUser();

// ---- Hooks each backend implements ---------------------------------------
// Called inside CreateWindowExA before WM_CREATE; false means no window.
bool BackendCreateWindow(Window& window, int width, int height);
// Called when the window is destroyed, after WM_DESTROY.
void BackendDestroyWindow(Window& window);
// Turns one waiting platform event into a message; false when none waits.
bool BackendNextMessage(MSG* msg);
// Where a DC of the window is to draw, asked at every GetDC: the window's own
// `pixels`, or pixels the backend can show without copying them again.
ClientArea BackendClientArea(Window& window);
// Shows what the window DC drew: called on ReleaseDC of a window DC drawn on.
void BackendPresent(Window& window);
// Brings the key latch up to date before GetAsyncKeyState reads it.
void BackendPollKeys();

}  // namespace user

#endif  // ORVIX_PLATFORM_USER_H
