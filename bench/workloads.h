// The polygons the benchmarks fill, and the floor they are measured against.
//
//   1. PolygonList     polygons as Polygon receives them: points and brush colour
//   2. workloads       synthetic grids, tiny quads, far-off quads, the real scene
//   3. spans           the pixels a list paints, from the brute-force reference,
//                      and the floor that writes them with a plain loop
//   4. replay          a list through Polygon, as the renderer calls it
//   5. pre-clipping    for libraries whose coordinates have a limited range
#ifndef ORVIX_BENCH_WORKLOADS_H
#define ORVIX_BENCH_WORKLOADS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace bench {

// ---- 1. PolygonList ---------------------------------------------------------

// Polygons stored flat, in drawing order, so that replaying them walks memory
// once.
struct PolygonList {
  struct Item {
    std::size_t first;  // index of the first point in `points`
    int count;
    COLORREF color;
  };
  std::vector<POINT> points;
  std::vector<Item> items;

  void Add(const POINT* pts, int count, COLORREF color);
  void Append(const PolygonList& other);
  const POINT* Points(const Item& item) const { return points.data() + item.first; }
  std::size_t size() const { return items.size(); }
};

bool operator==(const PolygonList& a, const PolygonList& b);

// Every Polygon call that paints while `draw` runs, through the GDI's observer.
PolygonList Record(const std::function<void()>& draw);

// ---- 2. Workloads -----------------------------------------------------------

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

// ---- 3. Spans and the floor -------------------------------------------------

// A run of pixels in one row: offset = y * width + x.
struct Span {
  std::uint32_t offset;
  std::uint32_t length;
  std::uint32_t color;
};

// The spans that filling `list` in order onto a width x height surface paints,
// taken pixel by pixel from the brute-force reference (tests/reference_fill.h),
// so that they owe nothing to the fill being measured. Later polygons' spans
// come later.
std::vector<Span> ReferenceSpans(const PolygonList& list, int width, int height);

// The number of pixels the spans write.
std::size_t SpanPixels(const std::vector<Span>& spans);

// The floor: the spans written by a plain loop.
void WriteSpans(std::uint32_t* pixels, const std::vector<Span>& spans);

// ---- 4. Replay --------------------------------------------------------------

// Each polygon through Polygon on `dc`, the way Polygon3D calls it: a solid
// brush created and selected, Polygon, the old brush back, the brush deleted.
void FillThroughGdi(HDC dc, const PolygonList& list);

// A width x height buffer the caller owns, with a GDI surface DC over it.
class BufferSurface {
 public:
  BufferSurface(int width, int height);
  ~BufferSurface();
  BufferSurface(const BufferSurface&) = delete;
  BufferSurface& operator=(const BufferSurface&) = delete;

  HDC dc() const { return dc_; }
  std::uint32_t* pixels() { return pixels_.data(); }
  const std::vector<std::uint32_t>& buffer() const { return pixels_; }

 private:
  std::vector<std::uint32_t> pixels_;
  HDC dc_;
};

// The renderer's clear: FillRect of the whole width x height with the black
// stock brush.
void Clear(HDC dc, int width, int height);

// How many pixels differ, compared on their colour bytes (the top byte of a
// 0x00BBGGRR pixel is unused; some libraries set it).
std::size_t CountDifferences(const std::vector<std::uint32_t>& a,
                             const std::vector<std::uint32_t>& b);

// ---- 5. Pre-clipping --------------------------------------------------------

struct PointD {
  double x, y;
};

// The polygon cut to the square [-limit, limit]^2 (Sutherland-Hodgman, in
// double). Inside the square it covers the same points as the original, even
// odd rule included; edges that run along the square's border are off any
// surface smaller than it. Empty when nothing is left.
std::vector<PointD> ClipToSquare(const POINT* pts, int count, double limit);

}  // namespace bench

#endif  // ORVIX_BENCH_WORKLOADS_H
