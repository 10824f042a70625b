#include "workloads.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "Draw.h"
#include "Main.h"
#include "Win.h"
#include "platform/headless.h"
#include "platform/raster.h"
#include "polygon_log.h"
#include "reference_fill.h"

namespace support {

// ---- Synthetic workloads --------------------------------------------------

namespace {

// The projective map of the unit square onto the quad c[0] c[1] c[2] c[3]
// (images of (0,0), (1,0), (1,1), (0,1)), rounded to the nearest pixel.
class Homography {
 public:
  explicit Homography(const PointD (&c)[4]) {
    // Heckbert's square-to-quad mapping.
    const double sx = c[0].x - c[1].x + c[2].x - c[3].x;
    const double sy = c[0].y - c[1].y + c[2].y - c[3].y;
    const double dx1 = c[1].x - c[2].x, dx2 = c[3].x - c[2].x;
    const double dy1 = c[1].y - c[2].y, dy2 = c[3].y - c[2].y;
    const double det = dx1 * dy2 - dx2 * dy1;
    g_ = (sx * dy2 - dx2 * sy) / det;
    h_ = (dx1 * sy - sx * dy1) / det;
    a_ = c[1].x - c[0].x + g_ * c[1].x;
    b_ = c[3].x - c[0].x + h_ * c[3].x;
    c_ = c[0].x;
    d_ = c[1].y - c[0].y + g_ * c[1].y;
    e_ = c[3].y - c[0].y + h_ * c[3].y;
    f_ = c[0].y;
  }

  POINT operator()(double u, double v) const {
    const double w = g_ * u + h_ * v + 1.0;
    return {static_cast<LONG>(std::lround((a_ * u + b_ * v + c_) / w)),
            static_cast<LONG>(std::lround((d_ * u + e_ * v + f_) / w))};
  }

 private:
  double a_, b_, c_, d_, e_, f_, g_, h_;
};

COLORREF Mix(unsigned k) {  // distinct neighbouring colours, none black
  return RGB((k * 73u + 40u) & 0xFF, (k * 151u + 90u) & 0xFF, (k * 29u + 200u) & 0xFF) | 0x010101u;
}

}  // namespace

PolygonList GridQuads(int n, int size) {
  const double s = size;
  // Corners outside the surface, far enough apart from a parallelogram that
  // the tiles visibly shrink towards the top and left.
  const PointD corners[4] = {
      {-0.02 * s, -0.03 * s}, {1.03 * s, -0.12 * s}, {1.15 * s, 1.04 * s}, {-0.10 * s, 1.02 * s}};
  const Homography map(corners);
  std::vector<POINT> lattice(static_cast<std::size_t>(n + 1) * (n + 1));
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) lattice[j * (n + 1) + i] = map(double(i) / n, double(j) / n);
  PolygonList list;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const POINT quad[4] = {lattice[j * (n + 1) + i], lattice[j * (n + 1) + i + 1],
                             lattice[(j + 1) * (n + 1) + i + 1], lattice[(j + 1) * (n + 1) + i]};
      list.Add(quad, 4, Mix(static_cast<unsigned>(j * n + i)));
    }
  }
  return list;
}

PolygonList TinyQuads(int count) {
  PolygonList list;
  // One quad per cell of a 30-column grid of 17 x 25 cells, a few pixels
  // off the cell's corner: never touching, all over the surface.
  for (int k = 0; k < count; ++k) {
    const LONG x = (k % 30) * 17 + (k * 7) % 5;
    const LONG y = ((k / 30) * 25 + (k * 11) % 7) % 509;
    const POINT quad[4] = {{x, y}, {x + 2, y}, {x + 2, y + 2}, {x, y + 2}};
    list.Add(quad, 4, Mix(static_cast<unsigned>(k)));
  }
  return list;
}

PolygonList FarQuads(int count) {
  PolygonList list;
  constexpr double kFar = 100000.0;
  for (int k = 0; k < count; ++k) {
    // The square [-kFar, kFar] x [0, 2 kFar], turned by `angle` about the
    // centre of the surface: one side runs through the centre.
    const double angle = 0.1 + 6.283185307179586 * k / count;
    const double c = std::cos(angle), s = std::sin(angle);
    const double local[4][2] = {{-kFar, 0}, {kFar, 0}, {kFar, 2 * kFar}, {-kFar, 2 * kFar}};
    POINT quad[4];
    for (int i = 0; i < 4; ++i) {
      quad[i].x = static_cast<LONG>(std::lround(256.0 + c * local[i][0] - s * local[i][1]));
      quad[i].y = static_cast<LONG>(std::lround(256.0 + s * local[i][0] + c * local[i][1]));
    }
    list.Add(quad, 4, Mix(static_cast<unsigned>(k)));
  }
  return list;
}

// ---- The real scene -------------------------------------------------------

namespace {

SceneFrames RecordScene() {
  StartProgram();
  SceneFrames frames;
  frames.first = Record(UpdateBlock);
  // Yaw 0.8 rad, a little beyond the diagonal, then walk until the eye is
  // some 8 units from both walls: the frame looks into the corner.
  headless::SetKeyDown(VK_RIGHT, true);
  for (int i = 0; i < 8; ++i) {
    headless::AdvanceTickCount(33);
    UpdateBlock();
  }
  headless::SetKeyDown(VK_RIGHT, false);
  headless::SetKeyDown(VK_SPACE, true);
  for (int i = 0; i < 200; ++i) {
    headless::AdvanceTickCount(33);
    UpdateBlock();
  }
  headless::SetKeyDown(VK_SPACE, false);
  headless::AdvanceTickCount(33);
  frames.corner = Record(UpdateBlock);
  return frames;
}

// The render state a frame reads, saved and put back around Room().
struct RenderState {
  MATRIX4D world = World, view = View, matrix = Matrix;
  float cx = CXCamera, cy = CYCamera, mx = MultiplyX, my = MultiplyY;
  VECTOR3D light = Light;
  int light_type = LightType;

  void Restore() const {
    World = world, View = view, Matrix = matrix;
    CXCamera = cx, CYCamera = cy, MultiplyX = mx, MultiplyY = my;
    Light = light;
    LightType = light_type;
  }
};

}  // namespace

void StartProgram() {
  static const bool started = [] {
    headless::Reset();
    g_hInstance = nullptr;
    return OpenWindow() != 0;
  }();
  if (!started) std::abort();  // the headless backend always makes the window
}

const SceneFrames& RecordedFrames() {
  static const SceneFrames frames = RecordScene();
  return frames;
}

PolygonList Room(int tiles, int size) {
  RecordedFrames();  // the window, the back buffer and the frame's one-time set-up
  const RenderState saved;
  SetCameraProjection(static_cast<float>(size), static_cast<float>(size), kFieldOfView);
  // The first frame's eye: at the origin, looking along +x, +z down.
  const VECTOR3D eye(0.0f, 0.0f, 0.0f);
  const VECTOR3D direction(1.0f, 0.0f, 0.0f);
  const VECTOR3D up(0.0f, 0.0f, -1.0f);
  View.LookAt(&eye, &direction, &up);
  Light = VECTOR3D(0.0f, 0.0f, 0.0f);  // the cube has not moved yet
  LightType = kLightPoint;
  PolygonList list = Record([tiles] { DrawRoom(tiles); });
  saved.Restore();
  return list;
}

// ---- Spans and the floor --------------------------------------------------

std::vector<Span> ReferenceSpans(const PolygonList& list, int width, int height) {
  std::vector<Span> spans;
  for (const PolygonList::Item& item : list.items) {
    const POINT* pts = list.Points(item);
    if (item.count < 3) continue;
    // Only the bounding box, clipped to the surface, can hold painted points.
    std::int64_t x0 = pts[0].x, x1 = pts[0].x, y0 = pts[0].y, y1 = pts[0].y;
    for (int k = 1; k < item.count; ++k) {
      x0 = std::min<std::int64_t>(x0, pts[k].x), x1 = std::max<std::int64_t>(x1, pts[k].x);
      y0 = std::min<std::int64_t>(y0, pts[k].y), y1 = std::max<std::int64_t>(y1, pts[k].y);
    }
    x0 = std::max<std::int64_t>(x0, 0), x1 = std::min<std::int64_t>(x1, width - 1);
    y0 = std::max<std::int64_t>(y0, 0), y1 = std::min<std::int64_t>(y1, height - 1);
    for (std::int64_t y = y0; y <= y1; ++y) {
      std::int64_t run = -1;  // start of the open run, or -1
      for (std::int64_t x = x0; x <= x1 + 1; ++x) {
        const bool in = x <= x1 && reference::Inside(pts, item.count, x, y);
        if (in && run < 0) run = x;
        if (!in && run >= 0) {
          spans.push_back({static_cast<std::uint32_t>(y * width + run),
                           static_cast<std::uint32_t>(x - run), item.color});
          run = -1;
        }
      }
    }
  }
  return spans;
}

std::size_t SpanPixels(const std::vector<Span>& spans) {
  std::size_t n = 0;
  for (const Span& s : spans) n += s.length;
  return n;
}

void WriteSpans(std::uint32_t* pixels, const std::vector<Span>& spans) {
  for (const Span& s : spans) {
    // Locals, so the stores cannot alias the span being read.
    std::uint32_t* p = pixels + s.offset;
    const std::uint32_t length = s.length;
    const std::uint32_t color = s.color;
    for (std::uint32_t i = 0; i < length; ++i) p[i] = color;
  }
}

void WriteSpansInBlocks(std::uint32_t* pixels, const std::vector<Span>& spans) {
  for (const Span& s : spans) raster::FillRun(pixels + s.offset, s.length, s.color);
}

SpanWriter FasterSpanWriter(std::uint32_t* pixels, const std::vector<Span>& spans,
                            const std::function<void()>& clear) {
  const SpanWriter writers[2] = {WriteSpans, WriteSpansInBlocks};
  double least[2] = {1e300, 1e300};
  for (int round = 0; round < 40; ++round) {
    for (int k = 0; k < 2; ++k) {
      clear();
      const auto start = std::chrono::steady_clock::now();
      writers[k](pixels, spans);
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      least[k] = std::min(least[k], took.count());
    }
  }
  return least[1] < least[0] ? writers[1] : writers[0];
}

// ---- Replay ---------------------------------------------------------------

void FillThroughGdi(HDC dc, const PolygonList& list) {
  for (const PolygonList::Item& item : list.items) {
    const HBRUSH brush = CreateSolidBrush(item.color);
    const HGDIOBJ previous = SelectObject(dc, brush);
    Polygon(dc, list.Points(item), item.count);
    SelectObject(dc, previous);
    DeleteObject(brush);
  }
}

void Clear(HDC dc, int width, int height) {
  const RECT all = {0, 0, width, height};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

std::size_t CountDifferences(const std::vector<std::uint32_t>& a,
                             const std::vector<std::uint32_t>& b) {
  std::size_t n = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    n += ((a[i] ^ b[i]) & 0x00FFFFFFu) != 0;
  return n;
}

// ---- Pre-clipping ---------------------------------------------------------

namespace {

// Keeps the part of `in` on the side of one border where side(p) >= 0; `cut`
// gives the border crossing of segment a-b.
template <typename Side, typename Cut>
void ClipAgainst(const std::vector<PointD>& in, std::vector<PointD>* out, Side side, Cut cut) {
  out->clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    const PointD& a = in[i];
    const PointD& b = in[(i + 1) % in.size()];
    const bool a_in = side(a) >= 0.0;
    const bool b_in = side(b) >= 0.0;
    if (a_in) out->push_back(a);
    if (a_in != b_in) out->push_back(cut(a, b));
  }
}

}  // namespace

std::vector<PointD> ClipToSquare(const POINT* pts, int count, double limit) {
  std::vector<PointD> poly;
  for (int k = 0; k < count; ++k) poly.push_back({double(pts[k].x), double(pts[k].y)});
  std::vector<PointD> next;
  // x <= limit, x >= -limit, y <= limit, y >= -limit, each crossing found on
  // the segment's own parameter so that it lies exactly on the border.
  const auto cut_x = [](double bound) {
    return [bound](const PointD& a, const PointD& b) {
      const double t = (bound - a.x) / (b.x - a.x);
      return PointD{bound, a.y + t * (b.y - a.y)};
    };
  };
  const auto cut_y = [](double bound) {
    return [bound](const PointD& a, const PointD& b) {
      const double t = (bound - a.y) / (b.y - a.y);
      return PointD{a.x + t * (b.x - a.x), bound};
    };
  };
  ClipAgainst(
      poly, &next, [limit](const PointD& p) { return limit - p.x; }, cut_x(limit));
  ClipAgainst(
      next, &poly, [limit](const PointD& p) { return p.x + limit; }, cut_x(-limit));
  ClipAgainst(
      poly, &next, [limit](const PointD& p) { return limit - p.y; }, cut_y(limit));
  ClipAgainst(
      next, &poly, [limit](const PointD& p) { return p.y + limit; }, cut_y(-limit));
  if (poly.size() < 3) poly.clear();
  return poly;
}

}  // namespace support
