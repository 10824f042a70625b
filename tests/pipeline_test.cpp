// Polygon3D, seen through the pixels it paints: near test, projection and
// truncation, back-face test, shading by each light model, and the guards.
#include <gtest/gtest.h>

#include <cmath>

#include "Draw.h"
#include "Main.h"
#include "reference_fill.h"
#include "screen_projection.h"
#include "test_surface.h"

namespace {

constexpr COLORREF kSentinel = 0x00A5A5A5;  // not a colour any case paints

class Pipeline : public ::testing::Test {
 protected:
  // The scene's projection and light gains (ambient 0.5, gains 10), unlit.
  Pipeline() : surface_(kBlockSize, kBlockSize) {
    surface_.Fill(kSentinel);
    World.Identity();
    View.Identity();
    UpdateCamera();
    SetCameraProjection(kBlockSize, kBlockSize, kFieldOfView);
    LightAmb = kLightAmbient;
    LightR = LightG = LightB = kLightGain;
    LightType = kLightNone;
  }

  // The bitmap holds exactly the reference fill of `pts` in `color` over the sentinel.
  void ExpectExactly(std::vector<POINT> pts, COLORREF color) {
    std::vector<std::uint32_t> expected(kBlockSize * kBlockSize, kSentinel);
    support::reference::Fill(expected, kBlockSize, kBlockSize, pts.data(),
                             static_cast<int>(pts.size()), color);
    const std::vector<std::uint32_t> actual = surface_.Pixels();
    int wrong = 0;
    for (std::size_t i = 0; i < actual.size() && wrong < 5; ++i) {
      if (actual[i] != expected[i]) {
        ADD_FAILURE() << "pixel (" << i % kBlockSize << ", " << i / kBlockSize << "): " << std::hex
                      << actual[i] << " instead of " << expected[i];
        ++wrong;
      }
    }
  }

  void ExpectUntouched() { EXPECT_EQ(surface_.Count(kSentinel), kBlockSize * kBlockSize); }

  // The colour of a quad drawn facing the camera at z = 5 with `light` and
  // model `type`; with `count` 3, of a triangle with the same centroid.
  COLORREF ShadedFacingQuad(unsigned long color, int type, VECTOR3D light, int count = 4) {
    surface_.Fill(kSentinel);
    LightType = type;
    Light = light;
    const VECTOR3D quad[4] = {{-1, -1, 5}, {-1, 1, 5}, {1, 1, 5}, {1, -1, 5}};
    const VECTOR3D triangle[3] = {{-1, -1, 5}, {-1, 1, 5}, {2, 0, 5}};
    Polygon3D(surface_.dc(), COLOR(color), count, count == 3 ? triangle : quad);
    return surface_.At(256, 256);
  }

  support::TestSurface surface_;
};

TEST_F(Pipeline, WorkedCallPaintsTheShadedQuadAndItsReverseIsCulled) {
  World.m[3][0] = 55, World.m[3][2] = 55;
  const float view[4][4] = {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) View.m[i][j] = view[i][j];
  UpdateCamera();
  Light = VECTOR3D(0, 0, 0);
  LightType = kLightPoint;
  const VECTOR3D quad[4] = {{0, 0, 0}, {-11, 0, 0}, {-11, 11, 0}, {0, 11, 0}};
  Polygon3D(surface_.dc(), COLOR(0x80FF00UL), 4, quad);
  ExpectExactly({{256, 477}, {256, 533}, {311, 533}, {300, 477}}, 0x4C9800);
  EXPECT_GT(surface_.Count(0x4C9800), 35 * 44);

  surface_.Fill(kSentinel);
  const VECTOR3D reversed[4] = {quad[3], quad[2], quad[1], quad[0]};
  Polygon3D(surface_.dc(), COLOR(0x80FF00UL), 4, reversed);
  ExpectUntouched();
}

TEST_F(Pipeline, NearTestIsStrict) {
  const float near_clip = 0.3f;  // the near plane; not `near`: <windows.h> defines it away
  const float beyond = std::nextafter(near_clip, 1.0f);
  const VECTOR3D at_near[3] = {{0, 0, near_clip}, {0, 0.05f, 0.5f}, {0.05f, 0.05f, 0.5f}};
  Polygon3D(surface_.dc(), COLOR(0xFFFFFFUL), 3, at_near);
  ExpectUntouched();
  const VECTOR3D just_beyond[3] = {{0, 0, beyond}, {0, 0.05f, 0.5f}, {0.05f, 0.05f, 0.5f}};
  Polygon3D(surface_.dc(), COLOR(0xFFFFFFUL), 3, just_beyond);
  EXPECT_GT(surface_.Count(0xFFFFFF), 0);
}

TEST_F(Pipeline, AVertexBehindTheEyeDropsTheWholePolygon) {
  // Three vertices well in front; the fourth, behind, must not cut the polygon.
  const VECTOR3D quad[4] = {{-1, -1, 5}, {-1, 1, 5}, {1, 1, 5}, {1, -1, -5}};
  Polygon3D(surface_.dc(), COLOR(0xFFFFFFUL), 4, quad);
  ExpectUntouched();
}

TEST_F(Pipeline, ProjectsAndTruncatesTowardZero) {
  // (1, 2, 4) lands on (311, 366) and (0, 0, z) on (256, 256).
  const VECTOR3D tri[3] = {{0, 0, 1}, {1, 2, 4}, {1, 0, 4}};
  Polygon3D(surface_.dc(), COLOR(0x0000FFUL), 3, tri);
  ExpectExactly({{256, 256}, {311, 366}, {TruncateToInt(support::ScreenX(1, 4)), 256}}, 0x0000FF);

  // Toward zero, not down: with unit factors (x, y, 1) projects to (x + 0.5,
  // y + 0.5), so x = -1 gives -0.5 and the point 0, not -1. The right edge
  // from there decides whether column 0 of row 1 is painted.
  surface_.Fill(kSentinel);
  CXCamera = CYCamera = 1;
  MultiplyX = MultiplyY = 1;
  const VECTOR3D tri2[3] = {{-1, -0.5f, 1}, {-300.5f, 199.5f, 1}, {99.5f, 199.5f, 1}};
  Polygon3D(surface_.dc(), COLOR(0x00FF00UL), 3, tri2);
  ExpectExactly({{0, 0}, {-300, 200}, {100, 200}}, 0x00FF00);
  EXPECT_EQ(surface_.At(0, 1), 0x00FF00u);  // rounded down, the edge would start at -1
}

TEST_F(Pipeline, ViewCoordinatesAreRoundedToFloatBeforeTheProjection) {
  // A view turned 45 degrees about the vertical; a vertex's view z is its
  // model z. The first vertex's view x, about 25.62, is no float: rounded to
  // one, as it is stored, it projects to 429.999969, column 429. Kept in
  // double, as an optimiser that drops the rounding does, it would give 430.
  const float c = 0.70710677f;
  const float m[4][4] = {{c, 0, c, 0}, {-c, 0, c, 0}, {0, 1, 0, 0}, {3, 0, 0, 1}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) Matrix.m[i][j] = m[i][j];
  const VECTOR3D tri[3] = {
      {39.0808563f, 7.08830261f, 0}, {39.0808563f, 7.08830261f, 5}, {42.0f, 7.0f, 0}};
  std::vector<POINT> expected;
  for (const VECTOR3D& v : tri) {
    const auto view = [&m, &v](int j) {
      return static_cast<float>(
          ((double(v.x) * m[0][j] + double(v.y) * m[1][j]) + double(v.z) * m[2][j]) + m[3][j]);
    };
    expected.push_back(POINT{TruncateToInt(support::ScreenX(view(0), view(2))),
                             TruncateToInt(support::ScreenY(view(1), view(2)))});
  }
  ASSERT_EQ(expected[0].x, 429);
  Polygon3D(surface_.dc(), COLOR(0x00FF00UL), 3, tri);
  ExpectExactly(expected, 0x00FF00);
}

TEST_F(Pipeline, BackFaceTestUsesTheFirstThreeScreenPoints) {
  // Unit factors and a 100-pixel surface: (x, y, 1) projects to ((x + 0.5) 100, (y + 0.5) 100).
  CXCamera = CYCamera = 100;
  MultiplyX = MultiplyY = 1;
  const VECTOR3D a{-0.5f, -0.5f, 1}, b{-0.5f, 0.5f, 1}, c{0.5f, -0.5f, 1}, d{0.5f, 0.5f, 1};
  const VECTOR3D ccw[3] = {a, b, c};  // (0, 0), (0, 100), (100, 0): counter-clockwise, y down
  Polygon3D(surface_.dc(), COLOR(0xFFFFFFUL), 3, ccw);
  ExpectExactly({{0, 0}, {0, 100}, {100, 0}}, 0xFFFFFF);

  surface_.Fill(kSentinel);
  const VECTOR3D cw[3] = {a, c, b};
  Polygon3D(surface_.dc(), COLOR(0xFFFFFFUL), 3, cw);
  ExpectUntouched();

  // Collinear first three, (0, 0), (50, 50), (100, 100), drop the polygon
  // although the fourth, (0, 100), would give it an area.
  const VECTOR3D collinear[4] = {a, {0, 0, 1}, d, b};
  Polygon3D(surface_.dc(), COLOR(0xFFFFFFUL), 4, collinear);
  ExpectUntouched();

  // Only the first three vertices decide: a fourth that reverses the winding
  // still goes to the fill as it is.
  const VECTOR3D bow_tie[4] = {a, b, c, d};
  Polygon3D(surface_.dc(), COLOR(0xFFFFFFUL), 4, bow_tie);
  ExpectExactly({{0, 0}, {0, 100}, {100, 0}, {100, 100}}, 0xFFFFFF);
}

TEST_F(Pipeline, PointLightShadesEachChannel) {
  // The quad faces the eye at z = 5, centroid (0, 0, 5), normal (0, 0, 1).
  EXPECT_EQ(ShadedFacingQuad(0x808080, kLightPoint, {3, 0, 5}), 0x404040u);  // I = 0: halved
  EXPECT_EQ(ShadedFacingQuad(0xFF00FF, kLightPoint, {3, 0, 5}), 0x7F007Fu);  // 127.5 truncates
  EXPECT_EQ(ShadedFacingQuad(0x80FF80, kLightPoint, {0, 0, -5}),
            0xC0FFC0u);  // I = 0.1: 192, 255 held
  EXPECT_EQ(ShadedFacingQuad(0x80FF80, kLightPoint, {0, 0, -5}, 3), 0xC0FFC0u)
      << "a triangle is lit as a quad is";
  EXPECT_EQ(ShadedFacingQuad(0xFFFFFF, kLightPoint, {0, 0, 15}), 0x000000u);  // I = -0.1: all 0
  // The light exactly at the centroid: I is NaN and every channel 0.
  EXPECT_EQ(ShadedFacingQuad(0xFFFFFF, kLightPoint, {0, 0, 5}), 0x000000u);
}

TEST_F(Pipeline, DirectionalLightUsesLightAsItStands) {
  EXPECT_EQ(ShadedFacingQuad(0x808080, kLightDirectional, {0, 0, 0.1f}), 0xC0C0C0u);
  EXPECT_EQ(ShadedFacingQuad(0x808080, kLightDirectional, {0, 0, -0.1f}), 0x000000u);
  EXPECT_EQ(ShadedFacingQuad(0x808080, kLightDirectional, {5, 0, 0}), 0x404040u);
}

TEST_F(Pipeline, GainsApplyPerChannel) {
  LightR = 0.0f, LightG = 10.0f, LightB = -5.0f;
  // I = 0.1: red (0 x 0.1 + 0.5) x 100 = 50, green 1.5 x 150 = 225, blue
  // (-0.5 + 0.5) x 90, a hair below 0 in floats, = 0.
  EXPECT_EQ(ShadedFacingQuad(0x5A9664, kLightPoint, {0, 0, -5}), 0x00E132u);
}

TEST_F(Pipeline, UnlitModelsKeepTheColour) {
  EXPECT_EQ(ShadedFacingQuad(0x123456, kLightNone, {0, 0, -5}), 0x123456u);
  EXPECT_EQ(ShadedFacingQuad(0x123456, 7, {0, 0, -5}), 0x123456u);   // unknown model
  EXPECT_EQ(ShadedFacingQuad(0x123456, -1, {0, 0, -5}), 0x123456u);  // unknown model
}

TEST_F(Pipeline, ShortAndNegativeCountsAreSafe) {
  LightType = kLightPoint;
  const DWORD objects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  Polygon3D(surface_.dc(), COLOR(0xFFFFFFUL), -1, nullptr);  // reads nothing
  Polygon3D(surface_.dc(), COLOR(0xFFFFFFUL), 0, nullptr);
  const VECTOR3D one[1] = {{0, 0, 5}};
  Polygon3D(surface_.dc(), COLOR(0xFFFFFFUL), 1, one);
  // Two vertices: no third to read for the normal (AddressSanitizer watches).
  const VECTOR3D* two = new VECTOR3D[2]{{0, 0, 5}, {1, 1, 5}};
  Polygon3D(surface_.dc(), COLOR(0xFFFFFFUL), 2, two);
  delete[] two;
  ExpectUntouched();
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objects);
}

TEST_F(Pipeline, ManyVerticesAndHugeCoordinates) {
  // More vertices than the fast path holds, and points far outside the int range.
  std::vector<VECTOR3D> ring;
  for (int i = 0; i < 40; ++i) {
    const float a = -6.2831853f * i / 40;  // clockwise in view space is counter-clockwise on screen
    ring.push_back({std::cos(a), std::sin(a), 5});
  }
  Polygon3D(surface_.dc(), COLOR(0x0000FFUL), 40, ring.data());
  EXPECT_EQ(surface_.At(256, 256), 0x0000FFu);

#ifdef _WIN32
  // Windows' GDI takes device coordinates of 27 bits only, and Wine's edge
  // arithmetic overflows from 2^30 on: a triangle at the ends of the int
  // range is the software GDI's alone.
  GTEST_SKIP() << "vertices beyond the GDI's coordinate range";
#endif
  surface_.Fill(kSentinel);
  const VECTOR3D huge[3] = {{-1e30f, -1e30f, 1}, {-1e30f, 1e30f, 1}, {1e30f, 1e30f, 1}};
  Polygon3D(surface_.dc(), COLOR(0x00FF00UL), 3, huge);
  // Clamped to the int range, the triangle covers the lower-left half of the surface.
  ExpectExactly(
      {{-2147483647 - 1, -2147483647 - 1}, {-2147483647 - 1, 2147483647}, {2147483647, 2147483647}},
      0x00FF00);
  EXPECT_EQ(surface_.At(10, 400), 0x00FF00u);
  EXPECT_EQ(surface_.At(400, 10), kSentinel);
}

TEST(Truncate, GuardsWhatACastCannotHold) {
  EXPECT_EQ(TruncateToInt(-1961.025), -1961);
  EXPECT_EQ(TruncateToInt(-0.99), 0);
  EXPECT_EQ(TruncateToInt(311.99), 311);
  EXPECT_EQ(TruncateToInt(NAN), 0);
  EXPECT_EQ(TruncateToInt(1e30), 2147483647);
  EXPECT_EQ(TruncateToInt(-1e30), -2147483647 - 1);
  EXPECT_EQ(TruncateToInt(INFINITY), 2147483647);
  EXPECT_EQ(TruncateToInt(2147483647.5), 2147483647);
  EXPECT_EQ(TruncateToInt(-2147483648.5), -2147483647 - 1);
}

TEST(PipelineObjects, TenThousandCallsLeaveNoObjectBehind) {
  support::TestSurface surface(kBlockSize, kBlockSize);
  World.Identity();
  View.Identity();
  UpdateCamera();
  SetCameraProjection(kBlockSize, kBlockSize, kFieldOfView);
  LightType = kLightPoint;
  LightAmb = kLightAmbient;
  LightR = LightG = LightB = kLightGain;
  const DWORD baseline = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const VECTOR3D quad[4] = {{-1, -1, 5}, {-1, 1, 5}, {1, 1, 5}, {1, -1, 5}};
  const VECTOR3D culled[4] = {quad[3], quad[2], quad[1], quad[0]};
  for (int i = 0; i < 10000; ++i) {
    Polygon3D(surface.dc(), COLOR(0x808080UL), 4, (i % 3) ? quad : culled);
  }
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), baseline);
}

}  // namespace
