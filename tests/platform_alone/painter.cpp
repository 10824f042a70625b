// A program that is not ORVIX, on ORVIX's platform layer: it fills its
// window's client area and checks what the window shows.
#include <cstdint>
#include <cstdio>

#include "platform/headless.h"
#include "platform/user.h"

namespace {

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.lpszClassName = "PAINTER";
  const HWND hwnd = RegisterClassA(&wc) ? CreateWindowExA(0, "PAINTER", "painter", 0, 0, 0, 64, 64,
                                                          nullptr, nullptr, instance, nullptr)
                                        : nullptr;
  if (!hwnd) return std::puts("painter: no window"), 1;
  // The client area is the platform's, whatever outer size was asked for.
  const int w = user::kClientWidth, h = user::kClientHeight;
  std::uint32_t corners[2] = {0, 0};
  headless::OnPresent([&](int, const std::uint32_t* pixels) {
    corners[0] = pixels[0];
    corners[1] = pixels[static_cast<std::size_t>(w) * h - 1];
  });
  const HDC dc = GetDC(hwnd);
  const RECT all = {0, 0, w, h};
  const HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  FillRect(dc, &all, brush);
  ReleaseDC(hwnd, dc);
  DeleteObject(brush);
  DestroyWindow(hwnd);
  if (headless::FramesPresented() != 1 || corners[0] != RGB(1, 2, 3) ||
      corners[1] != RGB(1, 2, 3)) {
    std::printf("painter: %d frames, corners %06x %06x instead of one frame of 030201\n",
                headless::FramesPresented(), static_cast<unsigned>(corners[0]),
                static_cast<unsigned>(corners[1]));
    return 1;
  }
  return 0;
}
