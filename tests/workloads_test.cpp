// The benchmarks' workloads and floor: the polygons they generate or record,
// the span lists taken from the reference, and the pre-clipping for
// libraries of limited range. A wrong workload or floor would make every
// ratio the benchmarks report meaningless.
#include "workloads.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "Draw.h"
#include "Main.h"
#include "reference_fill.h"
#include "run_in_child.h"
#include "test_surface.h"

namespace {

constexpr std::uint32_t kSentinel = 0x00A5A5A5;

// How often each pixel of a size x size surface is written by the spans.
std::vector<int> Coverage(const std::vector<support::Span>& spans, int size) {
  std::vector<int> count(static_cast<std::size_t>(size) * size, 0);
  for (const support::Span& s : spans)
    for (std::uint32_t i = 0; i < s.length; ++i) ++count[s.offset + i];
  return count;
}

// Even-odd at a point that lies on no edge, in double: an independent check
// of clipped polygons, whose corners are not integers.
bool InsideD(const std::vector<support::PointD>& poly, double x, double y) {
  bool inside = false;
  for (std::size_t i = 0; i < poly.size(); ++i) {
    const support::PointD& a = poly[i];
    const support::PointD& b = poly[(i + 1) % poly.size()];
    if ((a.y > y) == (b.y > y)) continue;
    const double cross = a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y);
    if (cross < x) inside = !inside;
  }
  return inside;
}

std::vector<support::PointD> ToDouble(const std::vector<POINT>& pts) {
  std::vector<support::PointD> out;
  for (const POINT& p : pts) out.push_back({double(p.x), double(p.y)});
  return out;
}

std::vector<POINT> RandomPolygon(std::mt19937& rng, int range) {
  std::uniform_int_distribution<int> count(3, 8);
  std::uniform_int_distribution<int> coordinate(-range, range);
  std::vector<POINT> pts(count(rng));
  for (POINT& p : pts) p = {coordinate(rng), coordinate(rng)};
  return pts;
}

// ---- Recording ------------------------------------------------------------------

TEST(Record, KeepsEveryPaintingPolygonCallInOrderAndStopsAfterwards) {
  support::TestSurface surface(16, 16);
  const POINT a[3] = {{0, 0}, {8, 0}, {0, 8}};
  const POINT b[4] = {{1, 1}, {9, 1}, {9, 9}, {1, 9}};
  const support::PolygonList list = support::Record([&] {
    surface.Polygon(a, 3, 0x0000FF);
    // The null brush paints nothing, so Polygon reports nothing.
    const HGDIOBJ old = SelectObject(surface.dc(), GetStockObject(NULL_BRUSH));
    Polygon(surface.dc(), b, 4);
    SelectObject(surface.dc(), old);
    surface.Polygon(b, 4, 0x00FF00);
  });
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list.items[0].count, 3);
  EXPECT_EQ(list.items[0].color, 0x0000FFu);
  EXPECT_EQ(list.items[1].count, 4);
  EXPECT_EQ(list.items[1].color, 0x00FF00u);
  EXPECT_EQ(list.Points(list.items[1])[2].x, 9);
  // No observer is left behind: a later call is not recorded anywhere.
  surface.Polygon(a, 3, 0xFF0000);
  EXPECT_EQ(list.size(), 2u);
  EXPECT_EQ(support::Record([] {}).size(), 0u);
}

TEST(PolygonList, AppendAndCompareByPointsAndColour) {
  support::PolygonList one, two;
  const POINT tri[3] = {{0, 0}, {4, 0}, {0, 4}};
  one.Add(tri, 3, 0x123456);
  two.Append(one);
  EXPECT_TRUE(one == two);
  two.Append(one);
  EXPECT_EQ(two.size(), 2u);
  EXPECT_EQ(two.Points(two.items[1])[1].x, 4);
  EXPECT_FALSE(one == two);
  support::PolygonList recoloured;
  recoloured.Add(tri, 3, 0x123457);
  EXPECT_FALSE(one == recoloured);
  const POINT moved[3] = {{0, 0}, {4, 0}, {0, 5}};
  support::PolygonList reshaped;
  reshaped.Add(moved, 3, 0x123456);
  EXPECT_FALSE(one == reshaped);
}

// ---- Spans and the floor ------------------------------------------------------

TEST(ReferenceSpans, WrittenInOrderTheyPaintWhatTheReferencePaints) {
  // Overlapping, self-intersecting and far-reaching polygons on a surface
  // that is not square, so that a swapped width and height shows.
  std::mt19937 rng(7);
  constexpr int kWidth = 37, kHeight = 23;
  support::PolygonList list;
  std::vector<std::uint32_t> expected(kWidth * kHeight, kSentinel);
  for (int k = 0; k < 300; ++k) {
    std::vector<POINT> pts = RandomPolygon(rng, k % 3 == 0 ? 2000000 : 45);
    const COLORREF color = 0x010203u * static_cast<COLORREF>(k + 1);
    list.Add(pts.data(), static_cast<int>(pts.size()), color);
    support::reference::Fill(expected, kWidth, kHeight, pts.data(), static_cast<int>(pts.size()),
                             color);
  }
  const std::vector<support::Span> spans = support::ReferenceSpans(list, kWidth, kHeight);
  for (const support::Span& s : spans) {
    ASSERT_GT(s.length, 0u);
    ASSERT_LE(s.offset % kWidth + s.length, static_cast<std::uint32_t>(kWidth)) << "crosses a row";
  }
  std::vector<std::uint32_t> floor(kWidth * kHeight, kSentinel);
  support::WriteSpans(floor.data(), spans);
  EXPECT_EQ(floor, expected);
}

TEST(ReferenceSpans, MergeEachRowOfAPolygonIntoOneRun) {
  support::PolygonList list;
  const POINT square[4] = {{2, 1}, {9, 1}, {9, 5}, {2, 5}};
  list.Add(square, 4, 0x112233);
  const std::vector<support::Span> spans = support::ReferenceSpans(list, 16, 8);
  ASSERT_EQ(spans.size(), 4u);  // rows 1-4, columns 2-8
  for (std::size_t i = 0; i < spans.size(); ++i) {
    EXPECT_EQ(spans[i].offset, (i + 1) * 16 + 2);
    EXPECT_EQ(spans[i].length, 7u);
  }
  EXPECT_EQ(support::SpanPixels(spans), 28u);
}

TEST(CountDifferences, IgnoresTheUnusedTopByteOnly) {
  const std::vector<std::uint32_t> a = {0x00112233, 0x00445566, 0x00778899};
  const std::vector<std::uint32_t> b = {0xFF112233, 0x00445567, 0x00778899};
  EXPECT_EQ(support::CountDifferences(a, b), 1u);
  EXPECT_EQ(support::CountDifferences(a, {0x00112233}), 2u);  // missing pixels differ
}

// ---- Generated workloads ------------------------------------------------------

TEST(GridQuads, CoverEverySurfacePixelExactlyOnce) {
  for (int n : {10, 20, 40}) {
    const support::PolygonList grid = support::GridQuads(n, 512);
    ASSERT_EQ(grid.size(), static_cast<std::size_t>(n * n));
    const std::vector<int> coverage = Coverage(support::ReferenceSpans(grid, 512, 512), 512);
    int wrong = 0;
    for (int c : coverage) wrong += c != 1;
    EXPECT_EQ(wrong, 0) << n << " x " << n;
  }
}

TEST(GridQuads, AreInPerspective) {
  // Parallel lines of the grid converge: the quads of the first row are not
  // all of one width.
  const support::PolygonList grid = support::GridQuads(10, 512);
  const POINT* first = grid.Points(grid.items[0]);
  const POINT* last = grid.Points(grid.items[9]);
  const LONG first_width = first[1].x - first[0].x;
  const LONG last_width = last[1].x - last[0].x;
  EXPECT_GT(std::abs(first_width - last_width), 2);
}

TEST(TinyQuads, PaintFourPixelsEachAndNeverTheSameOne) {
  const support::PolygonList quads = support::TinyQuads(600);
  ASSERT_EQ(quads.size(), 600u);
  const std::vector<int> coverage = Coverage(support::ReferenceSpans(quads, 512, 512), 512);
  int painted = 0, overlapping = 0;
  for (int c : coverage) painted += c > 0, overlapping += c > 1;
  EXPECT_EQ(painted, 2400);
  EXPECT_EQ(overlapping, 0);
}

TEST(FarQuads, ReachFarOutAndCoverAboutHalfTheSurfaceEach) {
  const support::PolygonList quads = support::FarQuads(16);
  ASSERT_EQ(quads.size(), 16u);
  for (const auto& item : quads.items) {
    LONG reach = 0;
    for (int k = 0; k < item.count; ++k)
      reach =
          std::max({reach, std::abs(quads.Points(item)[k].x), std::abs(quads.Points(item)[k].y)});
    EXPECT_GT(reach, 90000);
    support::PolygonList one;
    one.Add(quads.Points(item), item.count, item.color);
    const std::size_t pixels = support::SpanPixels(support::ReferenceSpans(one, 512, 512));
    EXPECT_GT(pixels, 512u * 512 * 4 / 10);
    EXPECT_LT(pixels, 512u * 512 * 6 / 10);
  }
}

// ---- Replay through the GDI ---------------------------------------------------

TEST(FillThroughGdi, PaintsTheFloorsPixelsAndLeaksNoBrush) {
  support::TestSurface surface(72, 64);
  surface.Fill(kSentinel);
  const support::PolygonList grid = support::GridQuads(7, 80);  // past the right and bottom edges
  const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  support::FillThroughGdi(surface.dc(), grid);
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before);
  const std::vector<support::Span> spans = support::ReferenceSpans(grid, 72, 64);
  std::vector<std::uint32_t> floor(72 * 64, kSentinel);
  support::WriteSpans(floor.data(), spans);
  EXPECT_EQ(surface.Pixels(), floor);
  std::vector<std::uint32_t> in_blocks(72 * 64, kSentinel);  // the floor's other writer
  support::WriteSpansInBlocks(in_blocks.data(), spans);
  EXPECT_EQ(in_blocks, floor);
}

// ---- Pre-clipping -------------------------------------------------------------

TEST(ClipToSquare, KeepsEveryPointInsideTheSquareAsItWas) {
  std::mt19937 rng(11);
  constexpr double kLimit = 100.0;
  for (int k = 0; k < 200; ++k) {
    const std::vector<POINT> pts = RandomPolygon(rng, k % 2 ? 1000000 : 300);
    const std::vector<support::PointD> clipped =
        support::ClipToSquare(pts.data(), static_cast<int>(pts.size()), kLimit);
    for (const support::PointD& p : clipped) {
      ASSERT_LE(std::fabs(p.x), kLimit);
      ASSERT_LE(std::fabs(p.y), kLimit);
    }
    const std::vector<support::PointD> original = ToDouble(pts);
    int wrong = 0;
    // Offsets that no edge between integer corners passes through exactly.
    for (double y = -99.3137; y < kLimit; y += 3.0)
      for (double x = -99.7071; x < kLimit; x += 3.0)
        wrong += InsideD(original, x, y) != (!clipped.empty() && InsideD(clipped, x, y));
    EXPECT_EQ(wrong, 0) << "polygon " << k;
  }
}

TEST(ClipToSquare, LeavesAPolygonInsideAloneAndEmptiesOneOutside) {
  const POINT inside[3] = {{-5, -5}, {7, -2}, {1, 9}};
  const std::vector<support::PointD> kept = support::ClipToSquare(inside, 3, 10.0);
  ASSERT_EQ(kept.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(kept[k].x, inside[k].x);
    EXPECT_EQ(kept[k].y, inside[k].y);
  }
  const POINT outside[3] = {{20, 20}, {30, 20}, {25, 40}};
  EXPECT_TRUE(support::ClipToSquare(outside, 3, 10.0).empty());
}

// ---- The recorded scene -------------------------------------------------------

// The scene is recorded by running the program's first frames: in a child
// of each test, where the frame's statics are fresh.
class Room : public ::testing::Test {};

TEST_IN_CHILD(Room, TenTilesAreTheFirstFramesRoomCallForCall) {
  const support::SceneFrames& frames = support::RecordedFrames();
  const support::PolygonList room = support::Room(10, 512);
  ASSERT_GT(room.size(), 0u);
  ASSERT_LE(room.size(), frames.first.size());
  support::PolygonList head;
  for (std::size_t i = 0; i < room.size(); ++i)
    head.Add(frames.first.Points(frames.first.items[i]), frames.first.items[i].count,
             frames.first.items[i].color);
  EXPECT_TRUE(head == room);
  // The corner frame is a different view of the same program.
  EXPECT_GT(frames.corner.size(), 0u);
  EXPECT_FALSE(frames.corner == frames.first);
}

TEST_IN_CHILD(Room, LeavesTheRenderStateAsItFoundIt) {
  support::RecordedFrames();
  SetCameraProjection(300.0f, 200.0f, 0.5f);
  View.Identity();
  View.m[3][1] = 7.0f;
  Light = VECTOR3D(1.0f, 2.0f, 3.0f);
  LightType = 1;
  const MATRIX4D view = View;
  const float multiply_x = MultiplyX, multiply_y = MultiplyY;
  support::Room(20, 1024);
  EXPECT_EQ(CXCamera, 300.0f);
  EXPECT_EQ(CYCamera, 200.0f);
  EXPECT_EQ(MultiplyX, multiply_x);
  EXPECT_EQ(MultiplyY, multiply_y);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(View.m[i][j], view.m[i][j]);
  EXPECT_EQ(Light.x, 1.0f);
  EXPECT_EQ(Light.z, 3.0f);
  EXPECT_EQ(LightType, 1);
}

TEST_IN_CHILD(Room, ScalesWithTheSurfaceAndTheTileCount) {
  const support::PolygonList small = support::Room(10, 512);
  const support::PolygonList large = support::Room(10, 1024);
  ASSERT_EQ(small.size(), large.size());
  for (std::size_t k = 0; k < small.points.size(); ++k) {
    // Twice the surface, twice the screen coordinate, up to truncation.
    EXPECT_NEAR(large.points[k].x, 2.0 * small.points[k].x, 2.0);
    EXPECT_NEAR(large.points[k].y, 2.0 * small.points[k].y, 2.0);
  }
  // Each face in four times the tiles (a few more drop at the near plane's
  // edge in the coarse room, whose tiles reach further behind the eye).
  EXPECT_GE(support::Room(20, 512).size(), 4 * small.size());
}

}  // namespace
