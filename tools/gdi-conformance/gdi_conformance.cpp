// gdi-conformance: draws a seeded sequence of cases through the Win32 GDI on a
// 512 x 512 bitmap compatible with the screen DC, the way the renderer draws
// its back buffer, and prints one line per case:
//
//   <case> <hash>
//
// <hash> is the 64-bit FNV-1a hash of the bitmap read back with GetPixel, row
// by row from the top, each COLORREF as four little-endian bytes. The same
// source builds against ORVIX's software GDI (Linux) and against the system's
// GDI (Windows, or Wine); scripts/conformance compares the two outputs.
//
//   gdi-conformance [--seed N] [--reference] [--pixels CASE]...
//
// --pixels prints the case's input and its pixels after its hash line, each
// row as runs "x:BBGGRR" (the COLORREF where a run starts). --reference fills
// the polygon cases with the brute-force model of the fill rule
// (support/reference_fill.h) instead of the GDI, so that a disagreement can be
// put down to the side that departs from the rule.
//
// Nothing here may depend on the C library's transcendental functions, which
// differ in the last bit between Windows and glibc: the views and the
// projection are set from exact constants.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Draw.h"
#include "Main.h"
#include "reference_fill.h"
#include "test_surface.h"

namespace {

constexpr int kSize = 512;
constexpr COLORREF kSentinel = 0x00A5A5A5;  // what every case starts from
constexpr LONG kMin = -2147483647 - 1;
constexpr LONG kMax = 2147483647;

// splitmix64: the same sequence from every compiler and C library.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // Uniform enough in [lo, hi]; both ends within the 32-bit range.
  LONG Between(std::int64_t lo, std::int64_t hi) {
    const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
    return static_cast<LONG>(lo + static_cast<std::int64_t>(Next() % span));
  }

  // A colour whose red and blue differ, so that a swap shows, and that is
  // never the sentinel.
  COLORREF Color() {
    for (;;) {
      const auto c = static_cast<COLORREF>(Next() & 0x00FFFFFFu);
      if ((c & 0xFF) != ((c >> 16) & 0xFF) && c != kSentinel) return c;
    }
  }

 private:
  std::uint64_t state_;
};

std::uint64_t Hash(const std::vector<std::uint32_t>& pixels) {
  std::uint64_t h = 0xCBF29CE484222325ull;
  for (std::uint32_t p : pixels) {
    for (int shift = 0; shift < 32; shift += 8) {
      h ^= (p >> shift) & 0xFFu;
      h *= 0x100000001B3ull;
    }
  }
  return h;
}

struct Piece {
  std::vector<POINT> points;
  COLORREF color;
};

std::string Describe(const std::vector<Piece>& pieces) {
  std::string out;
  for (const Piece& piece : pieces) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "polygon %06lx:", static_cast<unsigned long>(piece.color));
    out += buffer;
    for (const POINT& p : piece.points) {
      std::snprintf(buffer, sizeof buffer, " (%ld, %ld)", static_cast<long>(p.x),
                    static_cast<long>(p.y));
      out += buffer;
    }
    out += '\n';
  }
  return out;
}

void PrintPixels(const std::vector<std::uint32_t>& pixels) {
  for (int y = 0; y < kSize; ++y) {
    const std::uint32_t* row = &pixels[static_cast<std::size_t>(y) * kSize];
    std::printf("  %3d:", y);
    for (int x = 0; x < kSize; ++x) {
      if (x == 0 || row[x] != row[x - 1]) std::printf(" %d:%06" PRIx32, x, row[x]);
    }
    std::printf("\n");
  }
}

class Runner {
 public:
  Runner(bool reference, std::set<std::string> dump)
      : reference_(reference), dump_(std::move(dump)), surface_(kSize, kSize) {}

  // False when the screen's bitmaps cannot hold 24-bit colours exactly (a
  // display of 16 bits or a palette): every hash would differ for that alone.
  bool KeepsColors() {
    surface_.Fill(kSentinel);
    return surface_.At(0, 0) == kSentinel && surface_.At(kSize - 1, kSize - 1) == kSentinel;
  }

  // Polygons filled one after the other, each with a solid brush of its colour.
  void Polygons(const std::string& name, const std::vector<Piece>& pieces) {
    std::vector<std::uint32_t> pixels;
    if (reference_) {
      pixels.assign(static_cast<std::size_t>(kSize) * kSize, kSentinel);
      for (const Piece& p : pieces)
        support::reference::Fill(pixels, kSize, kSize, p.points.data(),
                                 static_cast<int>(p.points.size()), p.color);
    } else {
      surface_.Fill(kSentinel);
      for (const Piece& p : pieces)
        surface_.Polygon(p.points.data(), static_cast<int>(p.points.size()), p.color);
      pixels = surface_.Pixels();
    }
    Report(name, Describe(pieces), pixels);
  }

  void Polygon(const std::string& name, std::vector<POINT> points, COLORREF color) {
    Polygons(name, {Piece{std::move(points), color}});
  }

  // Any other drawing on the bitmap's DC.
  void Drawing(const std::string& name, const std::string& description,
               const std::function<void(HDC)>& draw) {
    surface_.Fill(kSentinel);
    draw(surface_.dc());
    Report(name, description, surface_.Pixels());
  }

  int cases() const { return cases_; }

 private:
  void Report(const std::string& name, const std::string& description,
              const std::vector<std::uint32_t>& pixels) {
    ++cases_;
    std::printf("%s %016" PRIx64 "\n", name.c_str(), Hash(pixels));
    if (dump_.count(name)) {
      std::printf("%s", description.c_str());
      PrintPixels(pixels);
    }
  }

  bool reference_;
  std::set<std::string> dump_;
  support::TestSurface surface_;
  int cases_ = 0;
};

std::string Numbered(const char* prefix, int i) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s-%03d", prefix, i);
  return buffer;
}

std::vector<POINT> RandomPolygon(Random& rng, std::int64_t lo, std::int64_t hi) {
  std::vector<POINT> points(static_cast<std::size_t>(rng.Between(3, 12)));
  for (POINT& p : points) p = {rng.Between(lo, hi), rng.Between(lo, hi)};
  return points;
}

// One coordinate near either end of the 32-bit range, or on the bitmap, so
// that edges from far away cross the bitmap. Without `low`, never near the
// lower end.
LONG NearLimit(Random& rng, bool low = true) {
  switch (rng.Next() % 3) {
    case 0:
      if (low) return rng.Between(kMin, std::int64_t{kMin} + 4096);
      [[fallthrough]];
    case 1:
      return rng.Between(std::int64_t{kMax} - 4096, kMax);
    default:
      return rng.Between(-16, kSize + 16);
  }
}

void RandomPolygons(Runner& run, Random& rng) {
  for (int i = 0; i < 40; ++i) {  // a few pixels across: slivers, exact crossings
    const LONG x = rng.Between(-8, kSize - 4), y = rng.Between(-8, kSize - 4);
    const LONG size = rng.Between(2, 24);
    std::vector<POINT> points = RandomPolygon(rng, 0, size);
    for (POINT& p : points) p.x += x, p.y += y;
    run.Polygon(Numbered("polygon-small", i), points, rng.Color());
  }
  for (int i = 0; i < 40; ++i)  // about the bitmap's size, most of them crossing themselves
    run.Polygon(Numbered("polygon-medium", i), RandomPolygon(rng, -64, kSize + 64), rng.Color());
  for (int i = 0; i < 20; ++i)  // far beyond the bitmap on every side
    run.Polygon(Numbered("polygon-large", i), RandomPolygon(rng, -200000, 200000), rng.Color());
  // Near +-2^31. Wine walks every row from a polygon's top down to the
  // bitmap (half a minute from y = -2^31), so only one case reaches that far up.
  for (int i = 0; i < 19; ++i) {
    std::vector<POINT> points(static_cast<std::size_t>(rng.Between(3, 12)));
    for (POINT& p : points) p = {NearLimit(rng), NearLimit(rng, false)};
    run.Polygon(Numbered("polygon-limits", i), points, rng.Color());
  }
  std::vector<POINT> above(static_cast<std::size_t>(rng.Between(3, 12)));
  for (POINT& p : above) p = {NearLimit(rng), NearLimit(rng)};
  run.Polygon("polygon-limits-above", above, rng.Color());
  for (int i = 0; i < 10; ++i) {  // vertices repeated in place and revisited later
    std::vector<POINT> points = RandomPolygon(rng, -32, kSize + 32);
    std::vector<POINT> repeated;
    for (const POINT& p : points) {
      repeated.push_back(p);
      if (rng.Next() % 3 == 0) repeated.push_back(p);
      if (rng.Next() % 4 == 0) repeated.push_back(points[rng.Next() % points.size()]);
    }
    run.Polygon(Numbered("polygon-repeated", i), repeated, rng.Color());
  }
}

void FixedPolygons(Runner& run) {
  const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255), green = RGB(0, 160, 64);
  // The pixels of the rule's own example: columns and rows 0-9.
  run.Polygon("square-10", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, red);
  run.Polygon("square-10-reversed", {{0, 10}, {10, 10}, {10, 0}, {0, 0}}, red);
  run.Polygon("bitmap-exactly", {{0, 0}, {kSize, 0}, {kSize, kSize}, {0, kSize}}, blue);
  run.Polygon("bitmap-and-one",
              {{-1, -1}, {kSize + 1, -1}, {kSize + 1, kSize + 1}, {-1, kSize + 1}}, blue);
  run.Polygon("right-edge-sliver", {{kSize - 1, 0}, {kSize, 0}, {kSize, kSize}}, green);
  run.Polygon("bottom-edge-sliver", {{0, kSize - 1}, {kSize, kSize}, {0, kSize}}, green);
  run.Polygon("shallow-sliver", {{0, 0}, {kSize, 1}, {0, 2}}, green);
  run.Polygon("steep-sliver", {{0, 0}, {1, kSize}, {2, 0}}, green);
  // The five-point star, drawn in one stroke: alternate leaves the pentagon empty.
  run.Polygon("star", {{256, 16}, {397, 450}, {28, 182}, {484, 182}, {115, 450}}, red);
  run.Polygon("bow-tie", {{100, 100}, {400, 400}, {400, 100}, {100, 400}}, blue);
  // A square traced twice covers every point twice: nothing is inside.
  run.Polygon("square-twice",
              {{100, 100},
               {300, 100},
               {300, 300},
               {100, 300},
               {100, 100},
               {300, 100},
               {300, 300},
               {100, 300}},
              red);
  // Zero area: nothing at all is painted.
  run.Polygon("zero-area-point", {{100, 100}, {100, 100}, {100, 100}}, red);
  run.Polygon("zero-area-horizontal", {{10, 50}, {200, 50}, {300, 50}}, red);
  run.Polygon("zero-area-vertical", {{50, 10}, {50, 200}, {50, 300}}, red);
  run.Polygon("zero-area-diagonal", {{0, 0}, {100, 100}, {300, 300}, {50, 50}}, red);
  run.Polygon("zero-area-retraced", {{10, 10}, {300, 200}, {10, 10}, {300, 200}}, red);
  run.Polygon("two-points", {{10, 10}, {300, 200}}, red);
  // Shared edges: each pixel belongs to exactly one of the pieces.
  run.Polygons("shared-diagonal", {{{{20, 20}, {400, 60}, {60, 450}}, red},
                                   {{{400, 60}, {470, 480}, {60, 450}}, blue}});
  std::vector<Piece> fan;
  const POINT ring[8] = {{256, 10},  {470, 90}, {500, 300}, {380, 500},
                         {150, 470}, {20, 330}, {40, 120},  {130, 40}};
  for (int i = 0; i < 8; ++i)
    fan.push_back({{{251, 263}, ring[i], ring[(i + 1) % 8]}, (i % 2) ? red : blue});
  run.Polygons("fan", fan);
  std::vector<Piece> grid;  // distorted tiles, like a wall seen at an angle
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      auto corner = [](int u, int v) {
        return POINT{13 + u * 120 + v * 7, 29 + v * 110 + u * u * 5};
      };
      grid.push_back({{corner(i, j), corner(i + 1, j), corner(i + 1, j + 1), corner(i, j + 1)},
                      ((i + j) % 2) ? green : red});
    }
  }
  run.Polygons("tile-grid", grid);
}

void FillRects(Runner& run) {
  struct Named {
    const char* name;
    RECT rect;
  };
  const Named rects[] = {
      {"fillrect-inside", {100, 37, 301, 222}},
      {"fillrect-whole", {0, 0, kSize, kSize}},
      {"fillrect-beyond", {-10, -20, kSize + 30, kSize + 40}},
      {"fillrect-corner-pixel", {kSize - 1, kSize - 1, kSize, kSize}},
      {"fillrect-origin-pixel", {0, 0, 1, 1}},
      {"fillrect-right-of", {kSize, 0, kSize + 50, 50}},
      {"fillrect-below", {0, kSize, 50, kSize + 50}},
      {"fillrect-left-of", {-50, 10, 0, 60}},
      {"fillrect-empty-width", {100, 100, 100, 200}},
      {"fillrect-empty-height", {100, 100, 200, 100}},
      {"fillrect-inverted", {300, 250, 200, 150}},
      {"fillrect-inverted-x", {300, 150, 200, 250}},
      {"fillrect-limits", {kMin, kMin, kMax, kMax}},
      {"fillrect-near-limits", {kMin + 1, -5, 7, kMax - 1}},
  };
  for (const Named& r : rects) {
    char description[128];
    std::snprintf(description, sizeof description, "FillRect {%ld, %ld, %ld, %ld} 0x3060c0\n",
                  static_cast<long>(r.rect.left), static_cast<long>(r.rect.top),
                  static_cast<long>(r.rect.right), static_cast<long>(r.rect.bottom));
    run.Drawing(r.name, description, [&](HDC dc) {
      const HBRUSH brush = CreateSolidBrush(RGB(0xC0, 0x60, 0x30));
      FillRect(dc, &r.rect, brush);
      DeleteObject(brush);
    });
  }
  run.Drawing("fillrect-stock-black", "FillRect {5, 6, 507, 505} BLACK_BRUSH\n", [](HDC dc) {
    const RECT rect = {5, 6, 507, 505};
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  });
}

// A 128 x 128 source whose every pixel differs from its neighbours, so that a
// copy shifted by one pixel in either direction shows.
class Pattern {
 public:
  Pattern() : surface_(kPatternSize, kPatternSize) {
    for (int y = 0; y < kPatternSize; ++y) {
      for (int x = 0; x < kPatternSize; ++x) {
        const RECT pixel = {x, y, x + 1, y + 1};
        const HBRUSH brush = CreateSolidBrush(RGB(2 * x, 2 * y, (x * 7 + y * 13) & 0xFF));
        FillRect(surface_.dc(), &pixel, brush);
        DeleteObject(brush);
      }
    }
  }
  HDC dc() const { return surface_.dc(); }
  static constexpr int kPatternSize = 128;

 private:
  support::TestSurface surface_;
};

void BitBlts(Runner& run) {
  const Pattern pattern;
  struct Blit {
    const char* name;
    int x, y, cx, cy, x1, y1;
  };
  // From the pattern onto the bitmap.
  const Blit blits[] = {
      {"bitblt-inside", 100, 50, 128, 128, 0, 0},
      {"bitblt-part-of-source", 7, 300, 50, 30, 60, 90},
      {"bitblt-destination-negative", -30, -40, 128, 128, 0, 0},
      {"bitblt-destination-right-bottom", 450, 470, 128, 128, 0, 0},
      {"bitblt-destination-outside", kSize, 10, 128, 128, 0, 0},
      {"bitblt-source-negative", 200, 200, 128, 128, -20, -10},
      {"bitblt-source-beyond", 200, 200, 128, 128, 100, 110},
      {"bitblt-source-outside", 200, 200, 50, 50, 128, 0},
      {"bitblt-wider-than-source", 0, 0, kSize, kSize, 0, 0},
      {"bitblt-zero-size", 10, 10, 0, 40, 0, 0},
      {"bitblt-negative-size", 300, 300, -50, -60, 100, 100},
      {"bitblt-limits", kMax - 10, kMax - 10, kMax, kMax, 0, 0},
      {"bitblt-source-limits", 10, 10, 100, 100, kMin, kMin},
  };
  for (const Blit& b : blits) {
    char description[160];
    std::snprintf(description, sizeof description,
                  "BitBlt to (%d, %d) %d x %d from the 128 x 128 pattern at (%d, %d)\n", b.x, b.y,
                  b.cx, b.cy, b.x1, b.y1);
    run.Drawing(b.name, description, [&](HDC dc) {
      BitBlt(dc, b.x, b.y, b.cx, b.cy, pattern.dc(), b.x1, b.y1, SRCCOPY);
    });
  }
  // Within one bitmap, the areas overlapping: the copy reads the source as it
  // was before the call, in every direction.
  const Blit moves[] = {
      {"bitblt-self-down-right", 13, 9, 300, 300, 0, 0},
      {"bitblt-self-up-left", 0, 0, 300, 300, 13, 9},
      {"bitblt-self-down-left", 0, 9, 300, 300, 13, 0},
      {"bitblt-self-up-right", 13, 0, 300, 300, 0, 9},
      {"bitblt-self-right-bottom-clipped", 300, 300, 400, 400, 250, 250},
  };
  for (const Blit& b : moves) {
    char description[160];
    std::snprintf(description, sizeof description,
                  "the pattern at (0, 0), (128, 0), (0, 128), (128, 128), then BitBlt within the "
                  "bitmap to (%d, %d) %d x %d from (%d, %d)\n",
                  b.x, b.y, b.cx, b.cy, b.x1, b.y1);
    run.Drawing(b.name, description, [&](HDC dc) {
      for (int k = 0; k < 4; ++k)
        BitBlt(dc, (k % 2) * 128, (k / 2) * 128, 128, 128, pattern.dc(), 0, 0, SRCCOPY);
      BitBlt(dc, b.x, b.y, b.cx, b.cy, dc, b.x1, b.y1, SRCCOPY);
    });
  }
  // The whole bitmap through a second one and back, as the frame's present does.
  run.Drawing("bitblt-round-trip", "the pattern at (40, 60), then 512 x 512 out and back\n",
              [&](HDC dc) {
                BitBlt(dc, 40, 60, 128, 128, pattern.dc(), 0, 0, SRCCOPY);
                support::TestSurface other(kSize, kSize);
                BitBlt(other.dc(), 0, 0, kSize, kSize, dc, 0, 0, SRCCOPY);
                other.Fill(RGB(1, 2, 3));  // overwritten below: only the copy may show
                BitBlt(other.dc(), 0, 0, kSize, kSize, dc, 0, 0, SRCCOPY);
                const RECT clear = {0, 0, kSize, kSize};
                FillRect(dc, &clear, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
                BitBlt(dc, 0, 0, kSize, kSize, other.dc(), 0, 0, SRCCOPY);
              });
}

void RoomViews(Runner& run) {
  struct View3 {
    float eye[2];  // the eye's height is always 0
    float direction[3];
    float light[3];  // where the cube, and with it the light, is
  };
  const View3 views[12] = {
      {{0, 0}, {1, 0, 0}, {0, 0, 0}},             // the first frame's view
      {{0, 0}, {0, 1, 0}, {20, 10, -5}},          //
      {{0, 0}, {-1, -1, 0}, {-30, -30, 30}},      // into a corner
      {{0, 0}, {1, 0.3f, 0.5f}, {40, 0, 50}},     // down towards the floor
      {{0, 0}, {1, 0, -30}, {0, 0, -50}},         // nearly straight up
      {{0, 0}, {0.05f, 0, 1}, {10, 10, 45}},      // nearly straight down
      {{50, 50}, {1, 1, 0}, {45, 45, 0}},         // a corner 5 units away
      {{50, 0}, {1, 0, 0}, {-50, 0, 0}},          // a wall 5 units away
      {{-50, -50}, {1, 1, 0.2f}, {50, 50, -50}},  // across the whole room
      {{50, -50}, {-1, 0.01f, 0}, {0, -50, 0}},   // along a wall: grazing tiles
      {{0, 49.9f}, {0, 1, 0.7f}, {3, -7, 11}},    //
      {{-30, 20}, {0.3f, -1, -0.4f}, {-30, 10, -20}},
  };
  // The projection of SetCameraProjection(512, 512, pi / 3): 2 / cos(pi / 6) =
  // 4 / sqrt(3), rounded to float, here from a correctly rounded square root.
  CXCamera = CYCamera = static_cast<float>(kSize);
  MultiplyX = MultiplyY = static_cast<float>(4.0 / std::sqrt(3.0));
  LightAmb = kLightAmbient;
  LightR = LightG = LightB = kLightGain;
  for (int i = 0; i < 12; ++i) {
    const View3& v = views[i];
    char description[160];
    std::snprintf(description, sizeof description,
                  "eye (%g, %g, 0), direction (%g, %g, %g), light and cube at (%g, %g, %g)\n",
                  v.eye[0], v.eye[1], v.direction[0], v.direction[1], v.direction[2], v.light[0],
                  v.light[1], v.light[2]);
    run.Drawing(Numbered("room-view", i), description, [&](HDC dc) {
      hBlockDC = dc;
      const VECTOR3D eye(v.eye[0], v.eye[1], 0),
          direction(v.direction[0], v.direction[1], v.direction[2]);
      const VECTOR3D up(0, 0, -1);
      View.LookAt(&eye, &direction, &up);
      Light = VECTOR3D(v.light[0], v.light[1], v.light[2]);
      LightType = kLightPoint;
      DrawRoom(kRoomTiles);
      // The cube at the light, turned by an exact rotation (a 3-4-5 triangle).
      LightType = kLightNone;
      World.Identity();
      World.m[0][0] = 0.6f, World.m[0][1] = 0.8f;
      World.m[1][0] = -0.8f, World.m[1][1] = 0.6f;
      World.m[3][0] = v.light[0], World.m[3][1] = v.light[1], World.m[3][2] = v.light[2];
      UpdateCamera();
      for (int k = 0; k < 6; ++k) Polygon3D(dc, COLOR(kCubeColors[k]), 4, &VBCube[4 * k]);
    });
  }
}

int Usage() {
  std::fprintf(stderr, "usage: gdi-conformance [--seed N] [--reference] [--pixels CASE]...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t seed = 1;
  bool reference = false;
  std::set<std::string> dump;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) {
      char* end;
      seed = std::strtoull(argv[++i], &end, 10);
      if (*end) return Usage();
    } else if (!std::strcmp(argv[i], "--reference")) {
      reference = true;
    } else if (!std::strcmp(argv[i], "--pixels") && i + 1 < argc) {
      dump.insert(argv[++i]);
    } else {
      return Usage();
    }
  }

  Runner run(reference, dump);
  if (!run.KeepsColors()) {
    std::fprintf(stderr,
                 "gdi-conformance: bitmaps compatible with the screen do not keep 24-bit colours "
                 "(is the display 32 bits per pixel?)\n");
    return 1;
  }
  Random rng(seed);
  RandomPolygons(run, rng);
  FixedPolygons(run);
  FillRects(run);
  BitBlts(run);
  RoomViews(run);
  std::fflush(stdout);
  std::fprintf(stderr, "gdi-conformance: %d cases, seed %" PRIu64 "\n", run.cases(), seed);
  return 0;
}
