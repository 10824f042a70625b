// Surfaces to draw on in tests, benchmarks and tools: a bitmap in a memory DC
// made the way the renderer makes its back buffer, and (software GDI only) a
// buffer the caller owns with a DC over it.
#ifndef ORVIX_SUPPORT_TEST_SURFACE_H
#define ORVIX_SUPPORT_TEST_SURFACE_H

#include <cstdint>
#include <vector>

#include "platform/win32.h"
#ifndef _WIN32
#include "platform/gdi.h"
#endif

namespace support {

// A bitmap in a memory DC, compatible with the screen DC and with the null
// pen selected, as the back buffer is; released on destruction.
class TestSurface {
 public:
  TestSurface(int width, int height) : width_(width), height_(height) {
    screen_ = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen_);
    bitmap_ = CreateCompatibleBitmap(screen_, width, height);
    SelectObject(dc_, GetStockObject(NULL_PEN));
    previous_ = SelectObject(dc_, bitmap_);
  }
  ~TestSurface() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
    ReleaseDC(nullptr, screen_);
  }
  TestSurface(const TestSurface&) = delete;
  TestSurface& operator=(const TestSurface&) = delete;

  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }

  void Fill(COLORREF color) {
    const RECT all = {0, 0, width_, height_};
    const HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
  }

  // Fills with the brush `color`, as Polygon3D does.
  void Polygon(const POINT* pts, int count, COLORREF color) {
    const HBRUSH brush = CreateSolidBrush(color);
    const HGDIOBJ old = SelectObject(dc_, brush);
    ::Polygon(dc_, pts, count);
    SelectObject(dc_, old);
    DeleteObject(brush);
  }

  COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

  std::vector<std::uint32_t> Pixels() const {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(width_) * height_);
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) out[static_cast<std::size_t>(y) * width_ + x] = At(x, y);
    return out;
  }

  int Count(COLORREF color) const {
    int n = 0;
    for (std::uint32_t p : Pixels()) n += p == color;
    return n;
  }

 private:
  int width_;
  int height_;
  HDC screen_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
};

#ifndef _WIN32
// A width x height buffer the caller owns, with a software GDI surface DC over
// it, so that its pixels can be read and written directly.
class BufferSurface {
 public:
  BufferSurface(int width, int height)
      : pixels_(static_cast<std::size_t>(width) * height),
        dc_(gdi::CreateSurfaceDC(pixels_.data(), width, height)) {}
  ~BufferSurface() { DeleteDC(dc_); }
  BufferSurface(const BufferSurface&) = delete;
  BufferSurface& operator=(const BufferSurface&) = delete;

  HDC dc() const { return dc_; }
  std::uint32_t* pixels() { return pixels_.data(); }
  const std::vector<std::uint32_t>& buffer() const { return pixels_; }

 private:
  std::vector<std::uint32_t> pixels_;
  HDC dc_;
};
#endif

}  // namespace support

#endif  // ORVIX_SUPPORT_TEST_SURFACE_H
