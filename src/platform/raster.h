// The software GDI's rasteriser: the polygon fill, on 32-bit pixels it is
// handed. It knows nothing of DCs, objects or colours; gdi.cpp resolves
// those and passes the pixels and the value to store.
#ifndef ORVIX_PLATFORM_RASTER_H
#define ORVIX_PLATFORM_RASTER_H

#include <cstdint>

#include "platform/win32.h"

namespace raster {

// Fills the polygon through `pts` (even-odd rule; pixel (x, y) is painted when
// the lattice point lies inside, points on a left or top edge count as inside,
// on a right or bottom edge as outside) into a width x height buffer. Any
// 32-bit coordinates are accepted: only the rows and columns inside the buffer
// are visited. Uses the rasteriser's own scratch area, so it allocates only
// when a polygon has more edges than any before it.
void FillPolygon(std::uint32_t* pixels, int width, int height, const POINT* pts, int count,
                 std::uint32_t color);

}  // namespace raster

#endif  // ORVIX_PLATFORM_RASTER_H
