// What the software GDI offers the rest of the platform layer (not the
// renderer, which sees only win32.h): DCs over pixels that a USER backend owns,
// and an observer of the polygons it fills.
#ifndef ORVIX_PLATFORM_GDI_H
#define ORVIX_PLATFORM_GDI_H

#include <cstdint>

#include "platform/win32.h"

namespace gdi {

// How a 32-bit pixel holds its colour, named like SDL's formats: by the
// channels from the most significant byte down. Pixels are whole words, read
// and written with shifts, so the byte order is the CPU's: the bytes in memory
// are those named last to first on a little-endian CPU (as below), first to
// last on a big-endian one.
enum class PixelFormat : std::uint8_t {
  kXbgr8888,  // 0x00BBGGRR, a COLORREF: bytes R, G, B, X little-endian
  kXrgb8888,  // 0x00RRGGBB: bytes B, G, R, X, as Windows lays out a 32-bit DIB
};

// A DC that draws into width x height pixels owned by the caller, such as a
// window's buffer: rows top-down, `stride` pixels apart (`width` when 0), in
// `format`. It counts as a live GDI object until DeleteDC. No bitmap can be
// selected into it.
HDC CreateSurfaceDC(std::uint32_t* pixels, int width, int height, int stride = 0,
                    PixelFormat format = PixelFormat::kXbgr8888);

// The screen DC of GetDC(NULL): a 0 x 0 surface that only serves as the model
// for CreateCompatibleDC and CreateCompatibleBitmap.
HDC CreateScreenDC();

// True for a DC made by CreateSurfaceDC over exactly these pixels.
bool IsSurfaceDC(HDC dc, const std::uint32_t* pixels);

// True for a surface DC that Polygon, FillRect or BitBlt has painted on: a
// window DC that only served as a model (WM_CREATE) presents nothing.
bool SurfaceDrawn(HDC dc);

// Calls `observer` with the points and brush colour of every Polygon call
// that paints (before the fill), so that benchmarks and tools can record a
// frame's polygons. Null stops it. One observer at a time.
using PolygonObserver = void (*)(void* context, const POINT* pts, int count, COLORREF color);
void SetPolygonObserver(PolygonObserver observer, void* context);

}  // namespace gdi

#endif  // ORVIX_PLATFORM_GDI_H
