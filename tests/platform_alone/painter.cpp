// A program that is not ORVIX, on ORVIX's platform layer: it fills its
// window's client area (the platform's size, whatever outer size it asks
// for) and checks what the window shows.
#include <cstdint>
#include <cstdio>

#include "platform/headless.h"
#include "platform/user.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "PAINTER";
  RegisterClassA(&wc);
  const HWND hwnd =
      CreateWindowExA(0, "PAINTER", "", 0, 0, 0, 64, 64, nullptr, nullptr, instance, nullptr);
  const std::size_t size = std::size_t{user::kClientWidth} * user::kClientHeight;
  std::uint32_t corners[2] = {0, 0};
  headless::OnPresent(
      [&](int, const std::uint32_t* p) { corners[0] = p[0], corners[1] = p[size - 1]; });
  const HDC dc = GetDC(hwnd);
  const RECT all = {0, 0, user::kClientWidth, user::kClientHeight};
  const HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  FillRect(dc, &all, brush);
  ReleaseDC(hwnd, dc);
  DeleteObject(brush);
  std::printf("painter: window %p, %d frame(s), corners %06x %06x\n", static_cast<void*>(hwnd),
              headless::FramesPresented(), unsigned(corners[0]), unsigned(corners[1]));
  const bool shown = hwnd && headless::FramesPresented() == 1 && corners[0] == RGB(1, 2, 3) &&
                     corners[1] == RGB(1, 2, 3);
  return shown ? 0 : 1;
}
