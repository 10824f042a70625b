// An independent brute-force model of the polygon fill: each lattice point is
// tested on its own against every edge, in exact 128-bit integers.
//
// Even-odd rule with GDI's boundaries: an edge counts for the rows from its
// upper end (included) to its lower end (excluded), and for a point when it
// crosses that row at or left of the point. So a point on a left or top edge
// is inside and one on a right or bottom edge outside.
#ifndef ORVIX_SUPPORT_REFERENCE_FILL_H
#define ORVIX_SUPPORT_REFERENCE_FILL_H

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/win32.h"

namespace support::reference {

__extension__ typedef __int128 int128;

inline bool Inside(const POINT* pts, int count, std::int64_t px, std::int64_t py) {
  bool inside = false;
  for (int i = 0; i < count; ++i) {
    POINT a = pts[i];
    POINT b = pts[(i + 1) % count];
    if (a.y == b.y) continue;
    if (a.y > b.y) std::swap(a, b);
    if (py < a.y || py >= b.y) continue;
    // The crossing x satisfies (x - a.x) * (b.y - a.y) = (py - a.y) * (b.x - a.x).
    const int128 crossing = static_cast<int128>(py - a.y) * (static_cast<std::int64_t>(b.x) - a.x);
    const int128 point = static_cast<int128>(px - a.x) * (static_cast<std::int64_t>(b.y) - a.y);
    if (crossing <= point) inside = !inside;
  }
  return inside;
}

// Paints `color` where the fill should, over whatever `pixels` holds.
inline void Fill(std::vector<std::uint32_t>& pixels, int width, int height, const POINT* pts,
                 int count, std::uint32_t color) {
  if (count < 3) return;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (Inside(pts, count, x, y)) pixels[static_cast<std::size_t>(y) * width + x] = color;
}

}  // namespace support::reference

#endif  // ORVIX_SUPPORT_REFERENCE_FILL_H
