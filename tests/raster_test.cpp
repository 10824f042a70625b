// The software GDI: the polygon fill against an independent brute-force
// reference, watertightness, clipping, FillRect, BitBlt and object accounting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/gdi.h"
#include "platform/int128.h"
#include "platform/win32.h"
#include "reference_fill.h"
#include "test_surface.h"

namespace {

constexpr std::uint32_t kSentinel = 0x00C3C3C3;
constexpr std::uint32_t kInk = 0x00123456;  // asymmetric: a red/blue swap shows
constexpr LONG kMin = -2147483647 - 1;
constexpr LONG kMax = 2147483647;

DWORD LiveObjects() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }

// A caller-owned buffer with guard zones before and after it, and between
// rows when they lie `stride` pixels apart, drawn on through a surface DC, so
// that any write outside the bitmap is seen. Pixels() reads COLORREFs in
// either pixel order.
class GuardedSurface {
 public:
  GuardedSurface(int width, int height, int stride = 0,
                 gdi::PixelFormat format = gdi::PixelFormat::kXbgr8888)
      : width_(width),
        height_(height),
        stride_(stride ? stride : width),
        format_(format),
        memory_(kGuard * 2 + std::size_t(stride_) * height) {
    dc_ = gdi::CreateSurfaceDC(memory_.data() + kGuard, width, height, stride_, format);
    SelectObject(dc_, GetStockObject(NULL_PEN));
  }
  ~GuardedSurface() { DeleteDC(dc_); }
  GuardedSurface(const GuardedSurface&) = delete;
  GuardedSurface& operator=(const GuardedSurface&) = delete;

  void Clear() { std::fill(memory_.begin(), memory_.end(), kSentinel); }

  void Polygon(const std::vector<POINT>& pts, std::uint32_t color) {
    const HBRUSH brush = CreateSolidBrush(color);
    const HGDIOBJ old = SelectObject(dc_, brush);
    ::Polygon(dc_, pts.data(), static_cast<int>(pts.size()));
    SelectObject(dc_, old);
    DeleteObject(brush);
  }

  // The 32-bit word of pixel (x, y) as it lies in memory.
  std::uint32_t Word(int x, int y) const { return memory_[kGuard + std::size_t(y) * stride_ + x]; }

  std::vector<std::uint32_t> Pixels() const {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        const std::uint32_t w = Word(x, y);
        out.push_back(format_ == gdi::PixelFormat::kXbgr8888
                          ? w
                          : (w & 0xFF00FF00u) | ((w >> 16) & 0xFF) | ((w & 0xFF) << 16));
      }
    }
    return out;
  }

  bool GuardsIntact() const {
    const auto sentinel = [](std::uint32_t p) { return p == kSentinel; };
    for (int y = 0; y < height_; ++y) {
      const auto gap = memory_.begin() + kGuard + std::ptrdiff_t(y) * stride_;
      if (!std::all_of(gap + width_, gap + stride_, sentinel)) return false;
    }
    return std::all_of(memory_.begin(), memory_.begin() + kGuard, sentinel) &&
           std::all_of(memory_.end() - kGuard, memory_.end(), sentinel);
  }

  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  static constexpr std::size_t kGuard = 4096;
  int width_;
  int height_;
  int stride_;
  gdi::PixelFormat format_;
  std::vector<std::uint32_t> memory_;
  HDC dc_;
};

std::string Describe(const std::vector<POINT>& pts) {
  std::string s;
  for (const POINT& p : pts) s += "(" + std::to_string(p.x) + ", " + std::to_string(p.y) + ") ";
  return s;
}

// Fills `pts` on a cleared surface and compares every pixel with the reference.
::testing::AssertionResult MatchesReference(GuardedSurface& surface,
                                            const std::vector<POINT>& pts) {
  surface.Clear();
  surface.Polygon(pts, kInk);
  std::vector<std::uint32_t> expected(std::size_t(surface.width()) * surface.height(), kSentinel);
  support::reference::Fill(expected, surface.width(), surface.height(), pts.data(),
                           static_cast<int>(pts.size()), kInk);
  if (!surface.GuardsIntact()) {
    return ::testing::AssertionFailure() << "wrote outside the bitmap for " << Describe(pts);
  }
  const std::vector<std::uint32_t> actual = surface.Pixels();
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != expected[i]) {
      return ::testing::AssertionFailure()
             << "pixel (" << i % surface.width() << ", " << i / surface.width() << ") is "
             << (actual[i] == kInk ? "painted" : "not painted") << " for " << Describe(pts);
    }
  }
  return ::testing::AssertionSuccess();
}

// Random polygons whose vertices all come from one scale, or from all of
// them: near the bitmap, a few thousand pixels out, anywhere in 32 bits (the
// very ends included), or within the bitmap. Some vertices repeat the
// previous one.
class PolygonSource {
 public:
  PolygonSource(std::uint64_t seed, int width, int height)
      : rng_(seed), width_(width), height_(height) {}

  std::vector<POINT> Next() {
    const int count = std::uniform_int_distribution<int>(3, 12)(rng_);
    const int scale = std::uniform_int_distribution<int>(0, 5)(rng_);
    std::vector<POINT> pts;
    for (int i = 0; i < count; ++i) {
      if (i > 0 && Chance(0.08)) {
        pts.push_back(pts.back());
        continue;
      }
      const int s = scale == 5 ? std::uniform_int_distribution<int>(0, 4)(rng_) : scale;
      pts.push_back({Coordinate(s, width_), Coordinate(s, height_)});
    }
    return pts;
  }

 private:
  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }

  LONG Coordinate(int scale, int size) {
    switch (scale) {
      case 0:
        return std::uniform_int_distribution<LONG>(-6, size + 6)(rng_);
      case 1:
        return std::uniform_int_distribution<LONG>(-3000, 3000)(rng_);
      case 2:
        return std::uniform_int_distribution<LONG>(kMin, kMax)(rng_);
      case 3:
        return std::uniform_int_distribution<LONG>(0, size)(rng_);
      default: {  // hugging the ends of the range
        const LONG offset = std::uniform_int_distribution<LONG>(0, 3)(rng_);
        return Chance(0.5) ? kMin + offset : kMax - offset;
      }
    }
  }

  std::mt19937_64 rng_;
  int width_;
  int height_;
};

TEST(Fill, MatchesTheReferenceOnAHundredThousandRandomPolygons) {
  GuardedSurface surface(23, 17);  // odd sizes: no symmetry hides a swapped axis
  PolygonSource source(20261207, surface.width(), surface.height());
  int failures = 0;
  for (int i = 0; i < 100000 && failures < 5; ++i) {
    const auto result = MatchesReference(surface, source.Next());
    if (!result) {
      ADD_FAILURE() << "polygon " << i << ": " << result.message();
      ++failures;
    }
  }
}

TEST(Fill, MatchesTheReferenceOnALargerBitmap) {
  // Rows 140 pixels apart, in the other pixel order, as a window surface may be.
  GuardedSurface surface(131, 97, 140, gdi::PixelFormat::kXrgb8888);
  PolygonSource source(7, surface.width(), surface.height());
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(MatchesReference(surface, source.Next())) << i;
}

TEST(Fill, EveryRotationAndDirectionOfAVertexListPaintsTheSame) {
  // Where the walk around the polygon starts, and which way it goes, must not
  // matter: flat tops and bottoms, y-monotone concave shapes, spikes, and tops
  // far above the bitmap (the first row then lies far below the top vertex).
  GuardedSurface surface(29, 23);
  const std::vector<std::vector<POINT>> shapes = {
      {{2, 3}, {20, 3}, {25, 18}, {4, 18}},                      // flat top and bottom
      {{14, 1}, {26, 11}, {15, 8}, {14, 21}, {3, 12}, {13, 9}},  // concave, y-monotone
      {{1, 1}, {27, 2}, {8, 5}, {26, 9}, {2, 21}},               // zigzag: not monotone
      {{10, -2000000000}, {28, 20}, {0, 15}},                    // top far above
      {{5, 5}, {5, 5}, {20, 5}, {20, 19}, {20, 19}, {5, 19}},    // repeated vertices
      {{14, -40}, {60, 11}, {14, 60}, {-30, 11}},                // clipped on all sides
  };
  for (const auto& shape : shapes) {
    for (int direction = 0; direction < 2; ++direction) {
      std::vector<POINT> pts = shape;
      if (direction) std::reverse(pts.begin(), pts.end());
      for (std::size_t r = 0; r < pts.size(); ++r) {
        std::rotate(pts.begin(), pts.begin() + 1, pts.end());
        EXPECT_TRUE(MatchesReference(surface, pts));
      }
    }
  }
}

TEST(Fill, TenByTenSquarePaintsColumnsAndRowsZeroToNine) {
  GuardedSurface surface(16, 16);
  for (const auto& square : {std::vector<POINT>{{0, 0}, {10, 0}, {10, 10}, {0, 10}},
                             std::vector<POINT>{{0, 10}, {10, 10}, {10, 0}, {0, 0}}}) {
    surface.Clear();
    surface.Polygon(square, kInk);
    const auto pixels = surface.Pixels();
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        EXPECT_EQ(pixels[y * 16 + x], (x < 10 && y < 10) ? kInk : kSentinel) << x << "," << y;
  }
}

TEST(Fill, FiveTimesCrossingStarLeavesItsCentreEmpty) {
  GuardedSurface surface(64, 64);
  std::vector<POINT> star;
  for (int k = 0; k < 5; ++k) {  // every second point of a pentagon
    const double a = -1.5707963 + k * 2 * 2 * 3.14159265358979 / 5;
    star.push_back(
        {LONG(std::lround(32 + 30 * std::cos(a))), LONG(std::lround(32 + 30 * std::sin(a)))});
  }
  ASSERT_TRUE(MatchesReference(surface, star));
  const auto pixels = surface.Pixels();
  EXPECT_EQ(pixels[34 * 64 + 32], kSentinel);  // the centre pentagon is outside
  EXPECT_EQ(pixels[10 * 64 + 32], kInk);       // a tip is inside
}

TEST(Fill, DegenerateInputPaintsNothing) {
  GuardedSurface surface(20, 20);
  const std::vector<std::vector<POINT>> cases = {
      {},
      {{1, 1}},
      {{1, 1}, {15, 15}},
      {{2, 2}, {10, 10}, {18, 18}},          // collinear
      {{3, 3}, {3, 3}, {3, 3}, {3, 3}},      // one point repeated
      {{2, 5}, {18, 5}, {10, 5}},            // horizontal sliver
      {{0, 0}, {10, 0}, {10, 10}, {10, 0}},  // folds back on itself
  };
  for (const auto& pts : cases) {
    surface.Clear();
    surface.Polygon(pts, kInk);
    const auto pixels = surface.Pixels();
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), kInk), 0) << Describe(pts);
    EXPECT_TRUE(surface.GuardsIntact());
  }
  // Null points are refused, not read.
  EXPECT_EQ(::Polygon(surface.dc(), nullptr, 3), FALSE);
}

TEST(Fill, ClipsAtEveryEdgeAndCorner) {
  GuardedSurface surface(40, 30);
  const LONG w = 40, h = 30;
  const std::vector<std::vector<POINT>> cases = {
      {{-10, 5}, {10, 5}, {10, 20}, {-10, 20}},          // across the left edge
      {{30, 5}, {55, 5}, {55, 20}, {30, 20}},            // across the right edge
      {{5, -8}, {30, -8}, {30, 10}, {5, 10}},            // across the top edge
      {{5, 20}, {30, 20}, {30, 45}, {5, 45}},            // across the bottom edge
      {{w - 3, h - 3}, {w + 9, h - 1}, {w + 2, h + 7}},  // the bottom-right corner
      {{-5, -5}, {4, -1}, {-1, 6}},                      // the top-left corner
      {{0, 0}, {w, 0}, {w, h}, {0, h}},                  // exactly the bitmap
      {{-1, -1}, {w + 1, -1}, {w + 1, h + 1}, {-1, h + 1}},
      {{w, 0}, {w + 5, 0}, {w + 5, h}, {w, h}},  // just right of it: nothing
      {{0, h}, {w, h}, {w, h + 5}, {0, h + 5}},  // just below it: nothing
      {{3, kMin}, {20, kMin}, {36, kMax}},       // spans all 2^32 rows
      {{kMin, 3}, {kMax, 14}, {kMin, 25}},       // spans all 2^32 columns
      {{5, -1000000000}, {35, 1000000000}, {4, 1000000000}},
      // Twice as tall as 32.32 stepping allows over 30 rows: stepped so, the
      // left edge would cross row 29 at 19 instead of 20.
      {{18, -57266202}, {23, 229064952}, {200, 229064952}},
  };
  for (const auto& pts : cases) EXPECT_TRUE(MatchesReference(surface, pts));
}

TEST(Fill, FansAndGridsAreWatertight) {
  // Pieces sharing edges must together paint every pixel of the whole exactly
  // once: count how often each pixel is painted.
  constexpr int kW = 97, kH = 83;
  GuardedSurface surface(kW, kH);
  std::mt19937 rng(99);
  auto count_pieces = [&](const std::vector<std::vector<POINT>>& pieces) {
    std::vector<int> painted(kW * kH, 0);
    for (const auto& piece : pieces) {
      surface.Clear();
      surface.Polygon(piece, kInk);
      const auto pixels = surface.Pixels();
      for (std::size_t i = 0; i < pixels.size(); ++i) painted[i] += pixels[i] == kInk;
    }
    return painted;
  };
  for (int round = 0; round < 40; ++round) {
    // A convex polygon around a random centre, cut into a fan of triangles
    // (each wedge under half a turn, so that the pieces do not overlap).
    std::uniform_int_distribution<int> cx(-20, kW + 20), cy(-20, kH + 20);
    const POINT centre{cx(rng), cy(rng)};
    std::vector<POINT> rim;
    const int n = 3 + round % 9;
    const double radius = 10 + round * 5;
    for (int k = 0; k < n; ++k) {
      const double a =
          2 * 3.14159265358979 * (k + std::uniform_real_distribution<double>(0, 0.4)(rng)) / n;
      rim.push_back({LONG(std::lround(centre.x + radius * std::cos(a))),
                     LONG(std::lround(centre.y + radius * std::sin(a)))});
    }
    std::vector<std::vector<POINT>> fan;
    for (int k = 0; k < n; ++k) fan.push_back({centre, rim[k], rim[(k + 1) % n]});
    const auto counts = count_pieces(fan);
    surface.Clear();
    surface.Polygon(rim, kInk);
    const auto whole = surface.Pixels();
    for (std::size_t i = 0; i < whole.size(); ++i) {
      ASSERT_EQ(counts[i], whole[i] == kInk ? 1 : 0)
          << "round " << round << ", pixel (" << i % kW << ", " << i / kW << ")";
    }
  }
  // A grid of slightly perspective quads over the whole bitmap, like the
  // room's tiles: every pixel painted exactly once.
  std::vector<std::vector<POINT>> grid;
  auto corner = [](int i, int j) {
    const double u = i / 7.0, v = j / 6.0;
    const double x = -3 + u * (kW + 6) * (0.9 + 0.1 * v);
    const double y = -2 + v * (kH + 4) * (0.95 + 0.05 * u);
    return POINT{LONG(std::lround(x)), LONG(std::lround(y))};
  };
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 6; ++j)
      grid.push_back({corner(i, j), corner(i, j + 1), corner(i + 1, j + 1), corner(i + 1, j)});
  const auto counts = count_pieces(grid);
  for (int y = 0; y < kH - 2; ++y)  // the grid's far edge bows inside the bitmap
    for (int x = 0; x < kW * 9 / 10 - 4; ++x) ASSERT_EQ(counts[y * kW + x], 1) << x << "," << y;
  for (int c : counts) ASSERT_LE(c, 1);
}

TEST(FillRect, PaintsLeftAndTopInclusiveAndClips) {
  support::TestSurface surface(8, 6);
  surface.Fill(kSentinel);
  const HBRUSH brush = CreateSolidBrush(kInk);
  const RECT inside = {1, 2, 4, 3};
  EXPECT_NE(FillRect(surface.dc(), &inside, brush), 0);
  EXPECT_EQ(surface.Count(kInk), 3);
  EXPECT_EQ(surface.At(1, 2), kInk);
  EXPECT_EQ(surface.At(4, 2), kSentinel);
  EXPECT_EQ(surface.At(1, 3), kSentinel);

  const RECT beyond = {-100, 4, 100, 100};  // clipped on three sides
  FillRect(surface.dc(), &beyond, brush);
  EXPECT_EQ(surface.Count(kInk), 3 + 2 * 8);
  EXPECT_EQ(surface.At(7, 5), kInk);

  surface.Fill(kSentinel);
  const RECT inverted = {5, 5, 2, 2}, empty = {3, 3, 3, 4}, outside = {8, 0, 20, 6};
  for (const RECT* r : {&inverted, &empty, &outside}) FillRect(surface.dc(), r, brush);
  FillRect(surface.dc(), &inside, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
  EXPECT_EQ(surface.Count(kSentinel), 8 * 6);
  // A handle that is no brush is refused.
  EXPECT_EQ(FillRect(surface.dc(), &inside, reinterpret_cast<HBRUSH>(surface.dc())), 0);
  DeleteObject(brush);
}

TEST(BitBlt, CopiesAndClipsAtBothEnds) {
  support::TestSurface src(6, 5), dst(7, 4);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 6; ++x) {
      const RECT one = {x, y, x + 1, y + 1};
      const HBRUSH b = CreateSolidBrush(RGB(x * 10, y * 10, 7));
      FillRect(src.dc(), &one, b);
      DeleteObject(b);
    }
  }
  auto source_at = [](int x, int y) { return COLORREF(RGB(x * 10, y * 10, 7)); };

  dst.Fill(kSentinel);
  ASSERT_TRUE(BitBlt(dst.dc(), 0, 0, 6, 4, src.dc(), 0, 0, SRCCOPY));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 7; ++x) EXPECT_EQ(dst.At(x, y), x < 6 ? source_at(x, y) : kSentinel);
  }

  // Negative destination and source offsets, and a rectangle far too big.
  dst.Fill(kSentinel);
  BitBlt(dst.dc(), -2, 1, 100, 100, src.dc(), 1, -1, SRCCOPY);
  // dst (x, y) <- src (x + 3, y - 2): rows below 2 had no source row.
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 7; ++x) {
      const bool copied = y >= 2 && x + 3 < 6;
      EXPECT_EQ(dst.At(x, y), copied ? source_at(x + 3, y - 2) : kSentinel) << x << "," << y;
    }
  }

  dst.Fill(kSentinel);
  BitBlt(dst.dc(), 5, 3, 4, 4, src.dc(), 4, 3, SRCCOPY);  // bottom-right corners
  EXPECT_EQ(dst.At(5, 3), source_at(4, 3));
  EXPECT_EQ(dst.At(6, 3), source_at(5, 3));
  EXPECT_EQ(dst.Count(kSentinel), 7 * 4 - 2);

  dst.Fill(kSentinel);
  BitBlt(dst.dc(), kMax, kMax, kMax, kMax, src.dc(), kMin, kMin, SRCCOPY);
  BitBlt(dst.dc(), 0, 0, -3, 2, src.dc(), 0, 0, SRCCOPY);
  EXPECT_EQ(dst.Count(kSentinel), 7 * 4);
  EXPECT_FALSE(BitBlt(dst.dc(), 0, 0, 2, 2, src.dc(), 0, 0, 0x00EE0086 /* SRCPAINT */));
}

TEST(BitBlt, AndFillRectKeepToTheRowsOfASurfaceWithGapsAndItsPixelOrder) {
  GuardedSurface surface(13, 7, 16, gdi::PixelFormat::kXrgb8888);
  surface.Clear();
  const HBRUSH brush = CreateSolidBrush(kInk);
  const RECT all = {-5, -5, 50, 50};
  FillRect(surface.dc(), &all, brush);
  DeleteObject(brush);
  EXPECT_TRUE(surface.GuardsIntact());
  EXPECT_EQ(surface.Word(12, 6), 0x00563412u);  // 0x00RRGGBB in memory
  EXPECT_EQ(GetPixel(surface.dc(), 12, 6), kInk);

  support::TestSurface src(20, 20);  // a bitmap: the copy changes the pixel order
  src.Fill(RGB(0x0A, 0x0B, 0x0C));
  BitBlt(surface.dc(), 2, 1, 20, 20, src.dc(), 0, 0, SRCCOPY);
  EXPECT_TRUE(surface.GuardsIntact());
  const std::vector<std::uint32_t> pixels = surface.Pixels();
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 13; ++x) {
      EXPECT_EQ(pixels[y * 13 + x], (x >= 2 && y >= 1) ? RGB(0x0A, 0x0B, 0x0C) : kInk)
          << x << "," << y;
    }
  }
}

TEST(BitBlt, OverlappingCopyWithinOneBitmap) {
  // Every move within one 6 x 5 bitmap of distinct pixels copies what the
  // source held before the copy: rows moving down are walked upward. Whole
  // rows go as one block; part rows, and moves along a row, row by row.
  struct Move {
    int dx, dy, sx, sy, w, h;
  };
  const Move moves[] = {{0, 1, 0, 0, 6, 4}, {0, 0, 0, 1, 6, 4}, {1, 1, 0, 0, 4, 3},
                        {0, 0, 1, 1, 4, 3}, {1, 0, 0, 0, 5, 5}, {0, 2, 2, 0, 4, 3}};
  for (const Move& m : moves) {
    support::BufferSurface s(6, 5);
    for (int i = 0; i < 6 * 5; ++i) s.pixels()[i] = 0x010203u * static_cast<std::uint32_t>(i + 1);
    const std::vector<std::uint32_t> before = s.buffer();
    BitBlt(s.dc(), m.dx, m.dy, m.w, m.h, s.dc(), m.sx, m.sy, SRCCOPY);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 6; ++x) {
        const bool moved = x >= m.dx && x < m.dx + m.w && y >= m.dy && y < m.dy + m.h;
        const int from = moved ? (y - m.dy + m.sy) * 6 + (x - m.dx + m.sx) : y * 6 + x;
        EXPECT_EQ(s.buffer()[y * 6 + x], before[from])
            << "(" << x << ", " << y << ") after the move of " << m.w << " x " << m.h << " from ("
            << m.sx << ", " << m.sy << ") to (" << m.dx << ", " << m.dy << ")";
      }
    }
  }
}

TEST(Objects, SelectionAndDeletionFollowWindowsRules) {
  const DWORD baseline = LiveObjects();
  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  // A new memory DC holds a 1 x 1 bitmap.
  EXPECT_NE(GetPixel(dc, 0, 0), CLR_INVALID);
  EXPECT_EQ(GetPixel(dc, 1, 0), CLR_INVALID);

  const HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 4);
  const HBRUSH brush = CreateSolidBrush(kInk);
  EXPECT_EQ(LiveObjects(), baseline + 4);  // the two DCs, the bitmap, the brush

  const HGDIOBJ first_bitmap = SelectObject(dc, bitmap);
  ASSERT_NE(first_bitmap, nullptr);
  const HGDIOBJ first_brush = SelectObject(dc, brush);
  EXPECT_EQ(first_brush, GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_PEN)), GetStockObject(BLACK_PEN));

  // Selected objects are refused; a bitmap lives in one DC at a time.
  EXPECT_FALSE(DeleteObject(bitmap));
  EXPECT_FALSE(DeleteObject(brush));
  const HDC other = CreateCompatibleDC(screen);
  EXPECT_EQ(SelectObject(other, bitmap), nullptr);
  DeleteDC(other);

  EXPECT_EQ(SelectObject(dc, first_brush), brush);
  EXPECT_EQ(SelectObject(dc, first_bitmap), bitmap);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_TRUE(DeleteObject(brush));
  // Stale handles and DCs are refused, stock objects survive deletion.
  EXPECT_FALSE(DeleteObject(brush));
  EXPECT_EQ(SelectObject(dc, brush), nullptr);
  EXPECT_FALSE(DeleteObject(dc));
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_BRUSH)), GetStockObject(WHITE_BRUSH));
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  EXPECT_EQ(LiveObjects(), baseline);

  // A reused slot does not revive an old handle.
  const HBRUSH a = CreateSolidBrush(1);
  DeleteObject(a);
  const HBRUSH b = CreateSolidBrush(2);
  EXPECT_NE(a, b);
  EXPECT_FALSE(DeleteObject(a));
  EXPECT_TRUE(DeleteObject(b));
}

TEST(Objects, BitmapsRefuseImpossibleSizes) {
  const HDC screen = GetDC(nullptr);
  const DWORD baseline = LiveObjects();
  EXPECT_EQ(CreateCompatibleBitmap(screen, 0, 10), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(screen, 10, -1), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(screen, 100000, 100000), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, 10, 10), nullptr);
  EXPECT_EQ(LiveObjects(), baseline);
  // A fresh bitmap reads as defined pixels, not garbage.
  support::TestSurface s(3, 3);
  EXPECT_EQ(s.At(2, 2), 0u);
  ReleaseDC(nullptr, screen);
}

TEST(Observer, SeesEveryPaintingPolygon) {
  struct Log {
    int calls = 0;
    int points = 0;
    COLORREF color = 0;
  } log;
  gdi::SetPolygonObserver(
      [](void* context, const POINT*, int count, COLORREF color) {
        auto* l = static_cast<Log*>(context);
        ++l->calls;
        l->points += count;
        l->color = color;
      },
      &log);
  support::TestSurface s(8, 8);
  const POINT tri[3] = {{0, 0}, {0, 5}, {5, 0}};
  s.Polygon(tri, 3, kInk);
  SelectObject(s.dc(), GetStockObject(NULL_BRUSH));
  ::Polygon(s.dc(), tri, 3);  // paints nothing: not reported
  gdi::SetPolygonObserver(nullptr, nullptr);
  s.Polygon(tri, 3, kInk);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(log.points, 3);
  EXPECT_EQ(log.color, kInk);
}

// ---- The 128-bit arithmetic under the fill and the reference ----------------
// The portable words are checked here once; this file is also built on them
// (ORVIX_PORTABLE_INT128), so that every Fill test above runs on both.

#ifndef ORVIX_PORTABLE_INT128
TEST(Int128, PortableProductsAndFloorQuotientsAreExact) {
  constexpr std::int64_t kMin64 = INT64_MIN, kMax64 = INT64_MAX;
  constexpr std::int64_t k32 = 4294967295;  // 2^32 - 1, the widest difference of two LONGs
  // Worked values: the product's two words, then floor(a b / d) and its remainder.
  const struct {
    std::int64_t a, b;
    std::uint64_t hi, lo;
    std::int64_t d, quotient, remainder;
  } cases[] = {
      {-7, 1, ~0ull, ~0ull - 6, 2, -4, 1},
      {7, 1, 0, 7, 2, 3, 1},
      {-3, 5, ~0ull, 0xFFFFFFFFFFFFFFF1, 1, -15, 0},
      {0, kMin64, 0, 0, 5, 0, 0},
      {kMin64, kMin64, 0x4000000000000000, 0, kMax64, 0, 0},  // 2^126: only the product
      {kMax64, kMax64, 0x3FFFFFFFFFFFFFFF, 1, kMax64, kMax64, 0},
      {kMin64, kMax64, 0xC000000000000000, 0x8000000000000000, kMax64, kMin64, 0},
      {k32, -k32, ~0ull, 0x1FFFFFFFF, k32, -k32, 0},
      {k32, -k32 - 1, ~0ull, 0x100000000, 7, -2635249152773512046, 2},
      {-(1ll << 62), 2, ~0ull, 0x8000000000000000, kMax64, -2, kMax64 - 1},
      {kMax64, 1ll << 31, 0x3FFFFFFF, 0xFFFFFFFF80000000, k32, 4611686019501129727, 3221225471},
      {kMin64, 1ll << 31, 0xFFFFFFFFC0000000, 0, k32 + 12346, -4611672763122670271, 1114965127},
  };
  for (const auto& c : cases) {
    const wide::portable::Int128 p = wide::portable::Multiply(c.a, c.b);
    EXPECT_EQ(p.hi, c.hi) << c.a << " * " << c.b;
    EXPECT_EQ(p.lo, c.lo) << c.a << " * " << c.b;
    if (c.quotient == 0 && c.a == kMin64) continue;  // 2^126 / d does not fit 64 bits
    std::int64_t remainder = -1;
    EXPECT_EQ(wide::portable::FloorDivide(p, c.d, &remainder), c.quotient) << c.a << " * " << c.b;
    EXPECT_EQ(remainder, c.remainder) << c.a << " * " << c.b << " / " << c.d;
  }
}

#ifdef __SIZEOF_INT128__
TEST(Int128, PortableAgreesWithTheCompilersOnAMillionValues) {
  // Operands of every width up to 64 bits, signs and the very ends included;
  // the quotients built to fit, as the fill's do.
  std::mt19937_64 rng(19);
  const std::int64_t ends[] = {INT64_MIN, INT64_MIN + 1, INT64_MAX, -1, 0, 1};
  const auto operand = [&] {
    const int bits = std::uniform_int_distribution<int>(0, 64)(rng);
    const std::uint64_t r = rng();
    if (bits == 0) return ends[r % 6];
    if (bits == 64) return static_cast<std::int64_t>(r);
    const auto v = static_cast<std::int64_t>(r >> (64 - bits));
    return (rng() & 1) ? -v : v;
  };
  for (int i = 0; i < 1000000; ++i) {
    const std::int64_t a = operand(), b = operand(), c = operand(), d = operand();
    const wide::native::Int128 n = wide::native::Multiply(a, b);
    const wide::portable::Int128 p = wide::portable::Multiply(a, b);
    ASSERT_EQ(p.hi, static_cast<std::uint64_t>(n >> 64)) << a << " * " << b;
    ASSERT_EQ(p.lo, static_cast<std::uint64_t>(n)) << a << " * " << b;
    ASSERT_EQ(wide::portable::Less(p, wide::portable::Multiply(c, d)),
              n < wide::native::Multiply(c, d))
        << a << " * " << b << " < " << c << " * " << d;
    // n = q d + r with q of up to 63 bits: the division must give q and r back.
    const std::int64_t divisor = d == INT64_MIN ? INT64_MAX : d < 0 ? -d : d == 0 ? 1 : d;
    const std::int64_t q = c >> 1;
    const std::int64_t r = static_cast<std::int64_t>(static_cast<std::uint64_t>(a) % divisor);
    const wide::native::Int128 built = wide::native::Multiply(q, divisor) + r;
    const wide::portable::Int128 words = {static_cast<std::uint64_t>(built >> 64),
                                          static_cast<std::uint64_t>(built)};
    std::int64_t remainder = -1;
    ASSERT_EQ(wide::portable::FloorDivide(words, divisor, &remainder), q) << q << " " << divisor;
    ASSERT_EQ(remainder, r);
  }
}
#endif
#endif

}  // namespace
