// The software GDI's rasteriser: the polygon fill, rectangle fills and block
// copies, on 32-bit pixels it is handed. It knows nothing of DCs, objects or
// colour layouts: gdi.cpp resolves those and passes the value to store.
#ifndef ORVIX_PLATFORM_RASTER_H
#define ORVIX_PLATFORM_RASTER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "platform/win32.h"

namespace raster {

// `height` rows of `width` pixels, top-down, each row `stride` pixels after
// the one above it (stride >= width).
struct Surface {
  std::uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
};

// Fills the polygon through `pts` (even-odd rule; pixel (x, y) is painted when
// the lattice point lies inside, points on a left or top edge count as inside,
// on a right or bottom edge as outside) with `value`. Any 32-bit coordinates
// are accepted: only the rows and columns inside the surface are visited. Uses
// the rasteriser's own scratch area, so it allocates only when a polygon has
// more edges than any before it.
void FillPolygon(const Surface& surface, const POINT* pts, int count, std::uint32_t value);

// Columns [left, right) of rows [top, bottom), which the caller has clipped
// to the surface, set to `value`.
void FillRect(const Surface& surface, int left, int top, int right, int bottom,
              std::uint32_t value);

// A w x h block from (sx, sy) of `src` to (dx, dy) of `dst`, clipped by the
// caller to both. The blocks may overlap when both are one surface. With
// `swap_red_blue`, bits 0-7 and 16-23 of each pixel trade places on the way:
// the copy between 0x00BBGGRR and 0x00RRGGBB pixels.
void Copy(const Surface& dst, int dx, int dy, const Surface& src, int sx, int sy, int w, int h,
          bool swap_red_blue);

// Four pixels, stored as one 16-byte block (the GCC and Clang vector
// extension: SSE2 on x86-64, SIMD128 or pairs of words elsewhere).
typedef std::uint32_t Quad __attribute__((vector_size(16)));

inline void StoreQuad(std::uint32_t* p, Quad q) { std::memcpy(p, &q, sizeof q); }

// Sets p[0 .. n) to `value`, n > 0, with overlapping block stores: the store
// of every span, rectangle and clear, in the header so that code which writes
// spans of its own stores them the same way. Runs of more than 128
// pixels go to the C library's wmemset, which picks the widest stores the
// processor has when the program starts; below that its call costs more than
// it gains (a row's edges must leave registers around it).
inline void FillRun(std::uint32_t* p, std::ptrdiff_t n, std::uint32_t value) {
  if (n <= 3) {  // indices 0, n / 2 and n - 1 cover every pixel of 1 to 3
    p[0] = value;
    p[n >> 1] = value;
    p[n - 1] = value;
    return;
  }
  if (n <= 16) {
    const Quad q = {value, value, value, value};
    StoreQuad(p, q);
    StoreQuad(p + n - 4, q);
    if (n > 8) {
      StoreQuad(p + 4, q);
      StoreQuad(p + n - 8, q);
    }
    return;
  }
  if (n <= 128) {
    const Quad q = {value, value, value, value};
    for (std::ptrdiff_t i = 0; i < n - 8; i += 8) {
      StoreQuad(p + i, q);
      StoreQuad(p + i + 4, q);
    }
    StoreQuad(p + n - 8, q);
    StoreQuad(p + n - 4, q);
    return;
  }
  static_assert(sizeof(wchar_t) == sizeof(std::uint32_t), "wmemset stores 32-bit values");
  wchar_t w;
  std::memcpy(&w, &value, sizeof w);
  std::wmemset(reinterpret_cast<wchar_t*>(p), w, static_cast<std::size_t>(n));
}

// 0x00BBGGRR to 0x00RRGGBB and back.
constexpr std::uint32_t SwapRedBlue(std::uint32_t p) {
  return (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
}

}  // namespace raster

#endif  // ORVIX_PLATFORM_RASTER_H
