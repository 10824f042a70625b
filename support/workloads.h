// The polygons the benchmarks fill, and the floor they are measured against.
// The tests check them too.
//
//   1. workloads       synthetic grids, tiny quads, far-off quads, the real scene
//   2. spans           the pixels a list paints, from the brute-force reference,
//                      and the floor that writes them without a fill
//   3. replay          a list through Polygon, as the renderer calls it
//   4. pre-clipping    for libraries whose coordinates have a limited range
#ifndef ORVIX_SUPPORT_WORKLOADS_H
#define ORVIX_SUPPORT_WORKLOADS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "polygon_log.h"

namespace support {

// ---- 1. Workloads -----------------------------------------------------------

// n x n quads on a slightly perspective grid whose outline lies just outside
// the size x size surface, so that together they cover every pixel once.
// Neighbours share their integer corners.
PolygonList GridQuads(int n, int size);

// `count` quads of 2 x 2 pixels spread over a 512 x 512 surface: per-call cost.
PolygonList TinyQuads(int count);

// `count` quads with corners about 100,000 pixels out, each covering roughly
// half of a 512 x 512 surface through its centre: clipping cost.
PolygonList FarQuads(int count);

// Opens the program's window on the headless backend, once per process: its
// WM_CREATE makes the back buffer (hBlockDC) that UpdateBlock draws on.
void StartProgram();

// The real scene rendered by UpdateBlock on the headless backend. The frame
// keeps its state in statics that live as long as the process, so the frames
// are recorded once, at the first call, and every later call returns them.
struct SceneFrames {
  PolygonList first;   // the program's first frame
  PolygonList corner;  // after turning right 8 steps and walking 200: into a corner, near the walls
};
const SceneFrames& RecordedFrames();

// The room of the first frame (same eye, view and light), drawn with
// tiles x tiles tiles per face and projected for a size x size surface; no
// cube. Room(10, 512) is the first frame's room call for call. Leaves the
// render state as it found it.
PolygonList Room(int tiles, int size);

// ---- 2. Spans and the floor -------------------------------------------------

// A run of pixels in one row: offset = y * width + x.
struct Span {
  std::uint32_t offset;
  std::uint32_t length;
  std::uint32_t color;
};

// The spans that filling `list` in order onto a width x height surface paints,
// taken pixel by pixel from the brute-force reference (reference_fill.h),
// so that they owe nothing to the fill being measured. Later polygons' spans
// come later.
std::vector<Span> ReferenceSpans(const PolygonList& list, int width, int height);

// The number of pixels the spans write.
std::size_t SpanPixels(const std::vector<Span>& spans);

// The floor writes the spans one of two ways: by a plain loop, or with the
// fill's own block stores (raster::FillRun, which hands long runs to the C
// library at the processor's widest store). Which is faster depends on the
// workload (the lengths of its spans, the order of its rows) and on the
// processor; neither is always, so a floor takes the faster of the two for
// its workload (FasterSpanWriter) and is never slower than either.
using SpanWriter = void (*)(std::uint32_t* pixels, const std::vector<Span>& spans);
void WriteSpans(std::uint32_t* pixels, const std::vector<Span>& spans);
void WriteSpansInBlocks(std::uint32_t* pixels, const std::vector<Span>& spans);

// Whichever of WriteSpans and WriteSpansInBlocks takes less time for `spans`
// after `clear`, each timed alternately a few dozen times (the least time of
// each counts).
SpanWriter FasterSpanWriter(std::uint32_t* pixels, const std::vector<Span>& spans,
                            const std::function<void()>& clear);

// ---- 3. Replay --------------------------------------------------------------

// Each polygon through Polygon on `dc`, the way Polygon3D calls it: a solid
// brush created and selected, Polygon, the old brush back, the brush deleted.
void FillThroughGdi(HDC dc, const PolygonList& list);

// The renderer's clear: FillRect of the whole width x height with the black
// stock brush.
void Clear(HDC dc, int width, int height);

// How many pixels differ, compared on their colour bytes (the top byte of a
// 0x00BBGGRR pixel is unused; some libraries set it).
std::size_t CountDifferences(const std::vector<std::uint32_t>& a,
                             const std::vector<std::uint32_t>& b);

// ---- 4. Pre-clipping --------------------------------------------------------

struct PointD {
  double x, y;
};

// The polygon cut to the square [-limit, limit]^2 (Sutherland-Hodgman, in
// double). Inside the square it covers the same points as the original, even
// odd rule included; edges that run along the square's border are off any
// surface smaller than it. Empty when nothing is left.
std::vector<PointD> ClipToSquare(const POINT* pts, int count, double limit);

}  // namespace support

#endif  // ORVIX_SUPPORT_WORKLOADS_H
