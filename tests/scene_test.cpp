// The cube's vertices and the room's grids: tile order, placement, rounding
// and which side each tile shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "Draw.h"
#include "Main.h"
#include "frame_record.h"
#include "platform/c_random.h"
#include "polygon_log.h"
#include "screen_projection.h"
#include "test_surface.h"

namespace {

// The points Polygon3D hands to the fill for a world-space corner.
POINT Project(const VECTOR3D& world) {
  const VECTOR3D v = world * View;
  return {TruncateToInt(support::ScreenX(v.x, v.z)), TruncateToInt(support::ScreenY(v.y, v.z))};
}

class Scene : public ::testing::Test {
 protected:
  Scene() : surface_(kBlockSize, kBlockSize) {
    hBlockDC = surface_.dc();
    SetCameraProjection(kBlockSize, kBlockSize, kFieldOfView);
    LightType = kLightNone;
  }
  ~Scene() override { hBlockDC = nullptr; }

  void LookFrom(VECTOR3D eye, VECTOR3D direction) {
    const VECTOR3D up(0, 0, -1);
    View.LookAt(&eye, &direction, &up);
  }

  // Expects the log to hold the tiles from + iU + jV, i outer, as quads
  // (0, U, U + V, V), every one of them drawn.
  void ExpectTiles(const VECTOR3D& from, const VECTOR3D& U, const VECTOR3D& V, int nu, int nv) {
    ASSERT_EQ(log_.list().size(), std::size_t(nu * nv));
    std::size_t k = 0;
    for (int i = 0; i < nu; ++i) {
      for (int j = 0; j < nv; ++j, ++k) {
        const VECTOR3D origin = from + U * float(i) + V * float(j);
        const VECTOR3D corners[4] = {origin, origin + U, origin + U + V, origin + V};
        const support::PolygonList::Item& item = log_.list().items[k];
        ASSERT_EQ(item.count, 4);
        const POINT* points = log_.list().Points(item);
        for (int c = 0; c < 4; ++c) {
          const POINT want = Project(corners[c]);
          EXPECT_EQ(points[c].x, want.x) << "tile " << i << "," << j << " corner " << c;
          EXPECT_EQ(points[c].y, want.y) << "tile " << i << "," << j << " corner " << c;
        }
      }
    }
  }

  support::TestSurface surface_;
  support::PolygonLog log_;
};

// The web build's rand(), which moves the cube there: the GNU C library's own
// sequence, from its well-known first value on.
#ifdef __GLIBC__
TEST(Cube, WebBuildsRandIsTheGnuCLibrarys) {
  platform::GnuRandom gnu;
  std::srand(1);
  EXPECT_EQ(gnu.Next(), 1804289383);
  EXPECT_EQ(std::rand(), 1804289383);
  for (int i = 1; i < 5000; ++i) ASSERT_EQ(gnu.Next(), std::rand()) << "value " << i;
}
#endif

TEST(Cube, VerticesAndWindingShowEachFaceOutwards) {
  const float expected[24][3] = {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1},   {1, -1, -1}, {1, -1, -1},
                                 {1, 1, -1},   {1, 1, 1},   {1, -1, 1},   {-1, -1, 1}, {1, -1, 1},
                                 {1, 1, 1},    {-1, 1, 1},  {-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1},
                                 {-1, 1, -1},  {-1, 1, -1}, {-1, 1, 1},   {1, 1, 1},   {1, 1, -1},
                                 {-1, -1, -1}, {1, -1, -1}, {1, -1, 1},   {-1, -1, 1}};
  for (int i = 0; i < 24; ++i) {
    EXPECT_EQ(VBCube[i].x, expected[i][0]) << i;
    EXPECT_EQ(VBCube[i].y, expected[i][1]) << i;
    EXPECT_EQ(VBCube[i].z, expected[i][2]) << i;
  }
  const float normals[6][3] = {{0, 0, -4}, {4, 0, 0}, {0, 0, 4}, {-4, 0, 0}, {0, 4, 0}, {0, -4, 0}};
  for (int f = 0; f < 6; ++f) {
    const VECTOR3D* q = &VBCube[4 * f];
    const VECTOR3D n = (q[1] - q[0]).Cross(q[2] - q[0]);
    EXPECT_EQ(n.x, normals[f][0]) << f;
    EXPECT_EQ(n.y, normals[f][1]) << f;
    EXPECT_EQ(n.z, normals[f][2]) << f;
    // The outward side is the one the face's own plane points to.
    const VECTOR3D centre = (q[0] + q[2]) / 2.0f;
    EXPECT_GT(n.Dot(centre), 0.0f) << f;
  }
}

TEST_F(Scene, WallTilesRunAlongTheWallThenUpward) {
  LookFrom({0, 0, 0}, {-1, 0, 0});
  VECTOR3D from(-55, -55, -55);
  const VECTOR3D to(-55, 55, 55);
  DrawWall(10, 10, &from, &to, 0x808080);
  ExpectTiles(from, {0, 11, 0}, {0, 0, 11}, 10, 10);
  // The last tile's translation stays in World, exactly.
  EXPECT_EQ(World.m[3][0], -55.0f);
  EXPECT_EQ(World.m[3][1], 44.0f);
  EXPECT_EQ(World.m[3][2], 44.0f);
  EXPECT_EQ(World.m[0][0], 1.0f);
  EXPECT_EQ(World.m[3][3], 1.0f);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(Matrix.m[i][j], (World * View).m[i][j]);
  // Its visible side is the inside of the room: from outside, nothing is drawn.
  const VECTOR3D q1(0, 11, 0), q2(0, 11, 11);
  const VECTOR3D n = q1.Cross(q2);
  EXPECT_EQ(n.x, 121.0f);
  log_.Clear();
  LookFrom({-100, 0, 0}, {1, 0, 0});
  DrawWall(10, 10, &from, &to, 0x808080);
  EXPECT_TRUE(log_.list().items.empty());
}

TEST_F(Scene, FloorTilesAreSeenFromAbove) {
  View.Identity();  // looking straight down +z from the origin
  VECTOR3D from(55, -55, 55);
  const VECTOR3D to(-55, 55, 55);
  DrawFloor(10, 10, &from, &to, 0x80FF00);
  ExpectTiles(from, {-11, 0, 0}, {0, 11, 0}, 10, 10);
  EXPECT_EQ(World.m[3][0], 55.0f - 99.0f);
  EXPECT_EQ(World.m[3][1], 44.0f);
  EXPECT_EQ(World.m[3][2], 55.0f);
  // From below the floor plane the tiles face away.
  log_.Clear();
  View.Identity();  // from z = +100 looking up (-z): view z = 100 - world z
  View.m[2][2] = -1;
  View.m[3][2] = 100;
  View.m[0][0] = -1;  // and mirrored in x, so the axes stay right-handed
  DrawFloor(10, 10, &from, &to, 0x80FF00);
  EXPECT_TRUE(log_.list().items.empty());
  // Corners with one difference's sign flipped show the other side, as the
  // ceiling's do: the same eye now sees every tile, so the floor was culled.
  VECTOR3D flipped_from(-55, -55, 55);
  const VECTOR3D flipped_to(55, 55, 55);
  DrawFloor(10, 10, &flipped_from, &flipped_to, 0x80FF00);
  EXPECT_EQ(log_.list().size(), 100u);
}

TEST_F(Scene, SwappedCornersKeepTheVisibleSide) {
  View.Identity();
  VECTOR3D from(-55, 55, 55);
  const VECTOR3D to(55, -55, 55);
  DrawFloor(10, 10, &from, &to, 0x80FF00);
  EXPECT_EQ(log_.list().size(), 100u);
}

TEST_F(Scene, TheRoomIsDrawnFaceByFaceInTheOrderOfItsTable) {
  // Two tiles a side: each face's first corner and its steps U (outer index)
  // and V (inner index), worked from the room's corners at +-55.
  struct Face {
    VECTOR3D from, U, V;
    COLORREF color;
  };
  const Face faces[6] = {{{-55, -55, -55}, {0, 55, 0}, {0, 0, 55}, 0x808080},   // wall x = -55
                         {{55, 55, -55}, {0, -55, 0}, {0, 0, 55}, 0xFF8000},    // wall x = +55
                         {{-55, 55, -55}, {55, 0, 0}, {0, 0, 55}, 0x00FF80},    // wall y = +55
                         {{55, -55, -55}, {-55, 0, 0}, {0, 0, 55}, 0x8000FF},   // wall y = -55
                         {{55, -55, 55}, {-55, 0, 0}, {0, 55, 0}, 0x80FF00},    // floor, z = +55
                         {{-55, -55, -55}, {55, 0, 0}, {0, 55, 0}, 0x0080FF}};  // ceiling
  support::FrameRecorder recorder;  // every call, drawn or not
  DrawRoom(2);
  ASSERT_EQ(recorder.calls().size(), 24u);
  for (const support::CallRecord& call : recorder.calls()) {
    const Face& f = faces[call.index / 4];
    const VECTOR3D at = f.from + f.U * float(call.index % 4 / 2) + f.V * float(call.index % 2);
    EXPECT_EQ(std::vector<float>(call.translation, call.translation + 3),
              (std::vector<float>{at.x, at.y, at.z}))
        << "call " << call.index;
    EXPECT_EQ(call.colorIn, f.color) << "call " << call.index;
  }
}

TEST_F(Scene, EmptyAndSingleGrids) {
  World.m[3][0] = 9;
  VECTOR3D from(-55, -55, -55);
  const VECTOR3D to(-55, 55, 55);
  LookFrom({0, 0, 0}, {-1, 0, 0});
  for (int nu : {0, -1, 3}) {
    for (int nv : {0, -2}) {
      DrawWall(nu, nv, &from, &to, 0x808080);
      DrawFloor(nv, nu, &from, &to, 0x808080);
    }
  }
  EXPECT_TRUE(log_.list().items.empty());
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(World.m[i][j], i == j ? 1.0f : 0.0f);

  DrawWall(1, 1, &from, &to, 0x808080);
  ExpectTiles(from, {0, 110, 0}, {0, 0, 110}, 1, 1);
}

}  // namespace
