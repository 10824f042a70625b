// The rasteriser: the polygon fill (exact integer edges, stepped row by row
// in bands between edge events, with a path of its own for polygons that are
// y-monotone), rectangle fills and block copies.
#include "platform/raster.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/int128.h"

namespace raster {
namespace {

// One row's crossing of a polygon edge, stepped exactly from row to row.
// With N(y) = x0 * dy + (y - y0) * dx the edge's crossing is N / dy; `x` is
// its ceiling and `e` = x * dy - N, kept in [0, dy). All 64-bit: |dx| and dy
// are below 2^32, so nothing here can overflow.
struct Edge {
  std::int64_t top;     // first row, already clipped to the bitmap
  std::int64_t bottom;  // one past the last row, clipped
  std::int64_t x;
  std::int64_t e;
  std::int64_t q;   // floor(dx / dy)
  std::int64_t r;   // dx - q * dy, in [0, dy)
  std::int64_t dy;  // > 0

  std::int64_t Crossing() const { return x; }

  // One row down: the crossing moves by dx / dy, carried exactly in e. No
  // branch: the carry is as good as random for most slopes.
  void Step() {
    e -= r;
    const std::int64_t carry = e >> 63;  // 0 or -1: the sign, shifted arithmetically
    x += q - carry;
    e += dy & carry;
  }
};

// The same crossing in 32.32 fixed point, for polygons small enough that the
// fraction cannot drift across an integer (FitsFixedPoint): one addition a
// row instead of the exact carry. `x` holds the crossing times 2^32, rounded
// down, plus 2^32 - 1, so that x >> 32 is the crossing's ceiling.
//
// Why it is exact: the crossing is a multiple of 1 / dy, so any value below
// it by less than 1 / dy has the same ceiling. The start is the crossing
// rounded down to a multiple of 2^-32, and each step adds floor(dx 2^32 / dy)
// 2^-32; after k steps the value lies below the crossing by less than
// (k + 1) 2^-32, which is at most 1 / dy while (k + 1) dy <= 2^32.
struct FixedEdge {
  std::int64_t bottom;  // one past the last row, clipped
  std::int64_t x;
  std::int64_t step;  // floor(dx 2^32 / dy)

  std::int64_t Crossing() const { return x >> 32; }
  void Step() { x += step; }
};

constexpr std::int64_t kOne = std::int64_t{1} << 32;  // 1 in 32.32 fixed point

// floor(a / b) for b > 0.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b) != 0 && a < 0) --q;
  return q;
}

// Scratch of the general fill, kept so that no polygon allocates once warm.
struct Scratch {
  std::vector<Edge> edges;
  std::vector<Edge*> active;
  std::vector<std::int64_t> crossings;

  static Scratch& Get() {
    static Scratch scratch;
    return scratch;
  }
};

// The crossing at the first row of an edge that starts above the bitmap:
// ceil(n / dy) with n = skipped * dx, in 64 bits where the product fits.
void StartBelowTop(POINT a, std::int64_t skipped, std::int64_t dx, Edge* edge) {
  const std::int64_t dy = edge->dy;
  if (skipped < (std::int64_t{1} << 31) && dx < (std::int64_t{1} << 31) &&
      dx > -(std::int64_t{1} << 31)) {  // the product fits in 62 bits
    const std::int64_t n = skipped * dx;
    std::int64_t c = n / dy;
    if (c * dy < n) ++c;
    edge->x = a.x + c;
    edge->e = c * dy - n;
  } else {  // the first row may lie 2^32 rows below y0: 128 bits
    // The ceiling from the floor: c = q + 1 and e = dy - r when r > 0.
    std::int64_t r;
    std::int64_t c = wide::FloorDivide(wide::Multiply(skipped, dx), dy, &r);
    if (r != 0) {
      ++c;
      r = dy - r;
    }
    edge->x = a.x + c;
    edge->e = r;
  }
}

// Prepares the edge from a down to b (a.y < b.y) for rows [max(a.y, 0),
// min(b.y, height)). Returns false when it crosses no row of the bitmap.
inline bool MakeDownEdge(POINT a, POINT b, int height, Edge* edge) {
  const std::int64_t y0 = a.y;
  const std::int64_t y1 = b.y;
  const std::int64_t top = std::max<std::int64_t>(y0, 0);
  const std::int64_t bottom = std::min<std::int64_t>(y1, height);
  if (top >= bottom) return false;
  const std::int64_t dy = y1 - y0;                               // 1 .. 2^32 - 1
  const std::int64_t dx = static_cast<std::int64_t>(b.x) - a.x;  // |dx| < 2^32
  edge->top = top;
  edge->bottom = bottom;
  edge->dy = dy;
  edge->q = FloorDiv(dx, dy);
  edge->r = dx - edge->q * dy;
  if (top == y0) {  // the edge starts inside the bitmap: most edges
    edge->x = a.x;
    edge->e = 0;
  } else {
    StartBelowTop(a, top - y0, dx, edge);
  }
  return true;
}

// The same in fixed point, for an edge of a polygon that FitsFixedPoint:
// |dx| < 2^31, so that dx 2^32 fits in 64 bits.
inline bool MakeDownEdge(POINT a, POINT b, int height, FixedEdge* edge) {
  const std::int64_t y0 = a.y;
  const std::int64_t top = std::max<std::int64_t>(y0, 0);
  const std::int64_t bottom = std::min<std::int64_t>(b.y, height);
  if (top >= bottom) return false;
  const std::int64_t dy = b.y - y0;
  const std::int64_t dx = static_cast<std::int64_t>(b.x) - a.x;
  edge->bottom = bottom;
  // Vertical edges, a good part of any scene of walls, need no division.
  edge->step = dx == 0 ? 0 : FloorDiv(dx * kOne, dy);
  edge->x = a.x * kOne + (kOne - 1);
  if (top != y0) {
    // floor(skipped dx 2^32 / dy) in two parts: with skipped dx = q dy + r,
    // q 2^32 + floor(r 2^32 / dy). skipped < dy, so |q| <= |dx| < 2^31, and
    // r 2^32 < dy 2^32 <= 2^64 fits unsigned.
    const std::int64_t n = (top - y0) * dx;
    const std::int64_t q = FloorDiv(n, dy);
    const auto r = static_cast<std::uint64_t>(n - q * dy);
    edge->x += q * kOne + static_cast<std::int64_t>((r << 32) / static_cast<std::uint64_t>(dy));
  }
  return true;
}

// The same for an edge either way up; horizontal edges bound no span.
bool MakeEdge(POINT a, POINT b, int height, Edge* edge) {
  if (a.y == b.y) return false;
  if (a.y > b.y) std::swap(a, b);
  return MakeDownEdge(a, b, height, edge);
}

// The pixels of one row from a to b - 1, cut to the row's width.
inline void FillSpan(std::uint32_t* row, std::int64_t a, std::int64_t b, int width,
                     std::uint32_t value) {
  if (a < 0) a = 0;
  if (b > width) b = width;
  if (a < b) FillRun(row + a, b - a, value);
}

bool ByTop(const Edge& a, const Edge& b) { return a.top < b.top; }

// `rows` rows between two edges: the span between their crossings (which one
// is left does not matter, and the edges of a self-intersecting polygon may
// cross), cut to the row's width only when kClip says a crossing may lie
// outside it. The edges are stepped in locals, which stay in registers (two
// edge pointers might alias, which would keep their fields in memory), and
// are stored back for the next band.
template <bool kClip, typename E>
inline void FillBand(std::uint32_t* row, std::ptrdiff_t stride, int width, std::int64_t rows,
                     E* left, E* right, std::uint32_t color) {
  E a = *left;
  E b = *right;
  for (; rows > 0; --rows, row += stride) {
    std::int64_t from = std::min(a.Crossing(), b.Crossing());
    std::int64_t to = std::max(a.Crossing(), b.Crossing());
    if (kClip) {
      from = std::max<std::int64_t>(from, 0);
      to = std::min<std::int64_t>(to, width);
    }
    if (from < to) FillRun(row + from, to - from, color);
    a.Step();
    b.Step();
  }
  *left = a;
  *right = b;
}

// What one pass over the vertices tells: the first vertex with the least y,
// the bounds, and whether the polygon is y-monotone, as every convex polygon
// is (every row crosses exactly two edges). It is when the way around it
// goes down and up by no more than its height each: the total rise and fall
// is twice the height then, more otherwise. Branch-free, so that no
// polygon's shape is mispredicted.
struct Outline {
  int top = 0;
  LONG top_y = 0;
  LONG bottom_y = 0;
  LONG left_x = 0;
  LONG right_x = 0;
  bool monotone = false;
};

Outline Scan(const POINT* pts, int count) {
  Outline o;
  o.top_y = o.bottom_y = pts[0].y;
  o.left_x = o.right_x = pts[0].x;
  // Below 2^63: fewer than 2^31 edges, each below 2^32.
  std::int64_t travel = 0;
  LONG previous = pts[count - 1].y;  // from the edge that closes the polygon on
  for (int i = 0; i < count; ++i) {
    const LONG x = pts[i].x;
    const LONG y = pts[i].y;
    const std::int64_t dy = std::int64_t{y} - previous;
    travel += dy < 0 ? -dy : dy;
    previous = y;
    o.top = y < o.top_y ? i : o.top;
    o.top_y = std::min(o.top_y, y);
    o.bottom_y = std::max(o.bottom_y, y);
    o.left_x = std::min(o.left_x, x);
    o.right_x = std::max(o.right_x, x);
  }
  o.monotone = travel == 2 * (std::int64_t{o.bottom_y} - o.top_y);
  return o;
}

// Whether a y-monotone polygon within these bounds can be filled with
// FixedEdge: rows * dy <= 2^32 for every edge (an edge visits at most
// min(dy, height) rows, and dy is at most the polygon's height), and every
// x at least 2^31 - 1 from the left end of the range, so that dx 2^32 and
// the fixed-point crossings stay within 64 bits. All but a polygon tens of
// thousands of pixels tall, or wider than 2^31, can.
bool FitsFixedPoint(const Outline& o, int height) {
  const std::int64_t tall = std::int64_t{o.bottom_y} - o.top_y;
  const std::int64_t wide = std::int64_t{o.right_x} - o.left_x;
  return wide < (std::int64_t{1} << 31) && o.left_x > -2147483647 - 1 &&
         std::min<std::int64_t>(tall, height) * tall <= kOne;
}

// One side of a y-monotone polygon, walked downward from its top vertex.
// kStep is +1 or -1 around the polygon.
template <int kStep, typename E>
struct Chain {
  const POINT* pts;
  int count;
  int vertex;  // where the current edge ends
  E edge;

  // Moves to the edge that covers row y (edges above the bitmap or above y
  // are passed over). False when the chain has no such edge.
  inline bool Advance(std::int64_t y, int height) {
    for (int walked = 0; walked < count; ++walked) {
      const POINT a = pts[vertex];
      vertex += kStep;
      if (kStep > 0 && vertex == count) vertex = 0;
      if (kStep < 0 && vertex < 0) vertex = count - 1;
      const POINT b = pts[vertex];
      if (b.y < a.y) return false;  // past the bottom
      if (b.y > a.y && b.y > y && MakeDownEdge(a, b, height, &edge)) return true;
    }
    return false;
  }
};

// The common case, with neither sorting nor an active list.
template <typename E>
void FillMonotone(const Surface& surface, const POINT* pts, int count, const Outline& outline,
                  std::uint32_t color) {
  const int height = surface.height;
  std::int64_t y = std::max<std::int64_t>(outline.top_y, 0);
  const std::int64_t end = std::min<std::int64_t>(outline.bottom_y, height);
  if (y >= end) return;
  Chain<1, E> forward{pts, count, outline.top, {}};
  Chain<-1, E> backward{pts, count, outline.top, {}};
  if (!forward.Advance(y, height) || !backward.Advance(y, height)) return;
  // Every crossing lies between the least and greatest x of the vertices.
  const bool clip = outline.left_x < 0 || outline.right_x > surface.width;
  std::uint32_t* row = surface.pixels + y * surface.stride;
  for (;;) {
    const std::int64_t band_end = std::min({forward.edge.bottom, backward.edge.bottom, end});
    if (clip) {
      FillBand<true>(row, surface.stride, surface.width, band_end - y, &forward.edge,
                     &backward.edge, color);
    } else {
      FillBand<false>(row, surface.stride, surface.width, band_end - y, &forward.edge,
                      &backward.edge, color);
    }
    row += (band_end - y) * surface.stride;
    y = band_end;
    if (y >= end) return;
    if (forward.edge.bottom <= y && !forward.Advance(y, height)) return;
    if (backward.edge.bottom <= y && !backward.Advance(y, height)) return;
  }
}

// The next edge down one side of a y-monotone polygon whose rows lie within
// the bitmap's, from vertex v (kStep as for Chain): horizontal edges are passed
// over, and v becomes the index of the edge's lower end. The caller knows
// that the side goes further down.
template <int kStep>
inline FixedEdge NextInside(const POINT* pts, int count, int* v) {
  POINT a = pts[*v];
  for (;;) {
    *v += kStep;
    if (kStep > 0 && *v == count) *v = 0;
    if (kStep < 0 && *v < 0) *v = count - 1;
    const POINT b = pts[*v];
    if (b.y != a.y) {
      const std::int64_t dx = std::int64_t{b.x} - a.x;
      return {b.y, a.x * kOne + (kOne - 1), dx == 0 ? 0 : FloorDiv(dx * kOne, b.y - a.y)};
    }
    a = b;
  }
}

// A y-monotone polygon whose rows lie within the bitmap's, most of a scene:
// every edge begins in a row that is filled, so that an edge is set up from
// its ends alone. kClip when a crossing may lie outside the row (as for
// FillBand). Inlined into each Fill: the call cost the 2 x 2 quads and the
// 40 x 40 grid a few per cent.
template <bool kClip>
__attribute__((always_inline)) inline void FillWithinRows(const Surface& surface, const POINT* pts,
                                                          int count, const Outline& outline,
                                                          std::uint32_t color) {
  int forward = outline.top;
  int backward = outline.top;
  FixedEdge a = NextInside<1>(pts, count, &forward);
  FixedEdge b = NextInside<-1>(pts, count, &backward);
  std::int64_t y = outline.top_y;
  std::uint32_t* row = surface.pixels + y * surface.stride;
  for (;;) {
    const std::int64_t band_end = std::min(a.bottom, b.bottom);
    FillBand<kClip>(row, surface.stride, surface.width, band_end - y, &a, &b, color);
    row += (band_end - y) * surface.stride;
    y = band_end;
    if (y == outline.bottom_y) return;
    if (a.bottom == y) a = NextInside<1>(pts, count, &forward);
    if (b.bottom == y) b = NextInside<-1>(pts, count, &backward);
  }
}

// Any polygon, even-odd: edges sorted by their first row, crossings sorted
// in every row.
__attribute__((noinline)) void FillGeneral(const Surface& surface, const POINT* pts, int count,
                                           std::uint32_t color) {
  const int width = surface.width;
  const int height = surface.height;
  Scratch& scratch = Scratch::Get();
  std::vector<Edge>& edges = scratch.edges;
  edges.clear();
  if (edges.capacity() < static_cast<std::size_t>(count)) edges.reserve(count);
  std::int64_t first = height;
  std::int64_t last = 0;
  for (int i = 0; i < count; ++i) {
    Edge edge;
    if (MakeEdge(pts[i], pts[i + 1 == count ? 0 : i + 1], height, &edge)) {
      first = std::min(first, edge.top);
      last = std::max(last, edge.bottom);
      edges.push_back(edge);
    }
  }
  if (edges.size() < 2) return;
  std::sort(edges.begin(), edges.end(), ByTop);

  std::vector<Edge*>& active = scratch.active;
  std::vector<std::int64_t>& xs = scratch.crossings;
  active.clear();
  if (active.capacity() < edges.size()) active.reserve(edges.size());
  if (xs.size() < edges.size()) xs.resize(edges.size());
  std::int64_t* x = xs.data();
  std::size_t next = 0;
  // Rows go in bands between events (an edge starting or ending), so that
  // the active set only changes between bands.
  for (std::int64_t y = first; y < last;) {
    while (next < edges.size() && edges[next].top == y) active.push_back(&edges[next++]);
    active.erase(std::remove_if(active.begin(), active.end(),
                                [y](const Edge* edge) { return edge->bottom <= y; }),
                 active.end());
    std::int64_t end = next < edges.size() ? edges[next].top : last;
    for (const Edge* edge : active) end = std::min(end, edge->bottom);

    std::uint32_t* row = surface.pixels + y * surface.stride;
    if (active.size() == 2) {
      FillBand<true>(row, surface.stride, width, end - y, active[0], active[1], color);
      y = end;
      continue;
    }
    for (; y < end; ++y, row += surface.stride) {
      // Insertion sort: the crossings of a row are few and mostly in order.
      std::size_t n = 0;
      for (Edge* edge : active) {
        std::size_t j = n++;
        while (j > 0 && x[j - 1] > edge->x) {
          x[j] = x[j - 1];
          --j;
        }
        x[j] = edge->x;
        edge->Step();
      }
      // Even-odd: a pixel is inside when an odd number of crossings lie at or
      // left of it, so the spans are [x0, x1), [x2, x3), ...
      for (std::size_t k = 0; k + 1 < n; k += 2) FillSpan(row, x[k], x[k + 1], width, color);
    }
  }
}

// Everything but the general fill, for `count` vertices; kCount, when not 0,
// is that count known at compile time, so that the loops over a triangle's
// or a quad's vertices unroll.
template <int kCount>
void Fill(const Surface& surface, const POINT* pts, int count, std::uint32_t color) {
  if (kCount != 0) count = kCount;
  const Outline outline = Scan(pts, count);
  // Every crossing, so every painted pixel, lies within the vertices' bounds.
  if (outline.bottom_y <= 0 || outline.top_y >= surface.height || outline.right_x <= 0 ||
      outline.left_x >= surface.width) {
    return;
  }
  if (!outline.monotone) {
    FillGeneral(surface, pts, count, color);
  } else if (!FitsFixedPoint(outline, surface.height)) {
    FillMonotone<Edge>(surface, pts, count, outline, color);
  } else if (outline.top_y >= 0 && outline.bottom_y <= surface.height) {
    if (outline.bottom_y == outline.top_y) return;  // every edge horizontal
    if (outline.left_x >= 0 && outline.right_x <= surface.width) {
      FillWithinRows<false>(surface, pts, count, outline, color);
    } else {
      FillWithinRows<true>(surface, pts, count, outline, color);
    }
  } else {
    FillMonotone<FixedEdge>(surface, pts, count, outline, color);
  }
}

}  // namespace

void FillPolygon(const Surface& surface, const POINT* pts, int count, std::uint32_t color) {
  if (!surface.pixels || !pts || count < 3 || surface.width <= 0 || surface.height <= 0) return;
  if (count == 4) {  // the room's tiles and the cube's faces
    Fill<4>(surface, pts, count, color);
  } else if (count == 3) {
    Fill<3>(surface, pts, count, color);
  } else {
    Fill<0>(surface, pts, count, color);
  }
}

void FillRect(const Surface& surface, int left, int top, int right, int bottom,
              std::uint32_t value) {
  if (left >= right || top >= bottom) return;
  std::uint32_t* row = surface.pixels + top * surface.stride + left;
  if (left == 0 && right == surface.width && surface.stride == surface.width) {
    // Whole rows of a buffer without gaps: one run, at the store width.
    FillRun(row, static_cast<std::ptrdiff_t>(bottom - top) * surface.width, value);
    return;
  }
  for (int y = top; y < bottom; ++y, row += surface.stride) FillRun(row, right - left, value);
}

void Copy(const Surface& dst, int dx, int dy, const Surface& src, int sx, int sy, int w, int h,
          bool swap_red_blue) {
  if (w <= 0 || h <= 0) return;
  std::uint32_t* to = dst.pixels + dy * dst.stride + dx;
  const std::uint32_t* from = src.pixels + sy * src.stride + sx;
  if (swap_red_blue) {  // two layouts are never one surface, so never overlap
    for (int y = 0; y < h; ++y, to += dst.stride, from += src.stride)
      for (int x = 0; x < w; ++x) to[x] = SwapRedBlue(from[x]);
    return;
  }
  const std::size_t row_bytes = static_cast<std::size_t>(w) * sizeof(std::uint32_t);
  if (dst.stride == w && src.stride == w) {  // whole rows without gaps: one block
    std::memmove(to, from, row_bytes * static_cast<std::size_t>(h));
    return;
  }
  // Rows of one surface may overlap: copy bottom-up when moving down.
  const bool upward = dst.pixels == src.pixels && dy > sy;
  for (int k = 0; k < h; ++k) {
    const std::ptrdiff_t row = upward ? h - 1 - k : k;
    std::memmove(to + row * dst.stride, from + row * src.stride, row_bytes);
  }
}

}  // namespace raster
