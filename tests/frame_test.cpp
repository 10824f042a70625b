// Whole frames through UpdateBlock on the headless backend, observed through
// the render state, the back buffer's pixels and the polygons it hands to the
// fill. Each test is a process of its own: the frame's statics start fresh.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "Main.h"
#include "Win.h"
#include "frame_record.h"
#include "platform/headless.h"
#include "polygon_log.h"
#include "run_in_child.h"

namespace {

bool IsCubeColor(COLORREF c) {
  for (unsigned long k : kCubeColors)
    if (c == k) return true;
  return false;
}

// Which face of the room a shaded tile colour comes from, by which channel
// is 0 and which is larger: the shading scales the channels alike.
enum Face { kWallMinusX, kWallPlusX, kWallPlusY, kWallMinusY, kFloor, kCeiling, kUnknown };
Face FaceOf(COLORREF c) {
  const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
  if (r == 0 && g == 0 && b == 0) return kUnknown;
  if (r == g && g == b) return kWallMinusX;
  if (r == 0) return b > g ? kWallPlusX : kFloor;
  if (b == 0) return g > r ? kWallPlusY : kCeiling;
  if (g == 0 && r > b) return kWallMinusY;
  return kUnknown;
}

VECTOR3D ViewDirection() { return VECTOR3D(View.m[0][2], View.m[1][2], View.m[2][2]); }

class Frame : public ::testing::Test {
 protected:
  Frame() {
    headless::Reset();
    headless::SetTickCount(0);
    EXPECT_EQ(OpenWindow(), 1);  // builds the back buffer, as the program does
  }

  void Frames(int n) {
    for (int i = 0; i < n; ++i) UpdateBlock();
  }

  // Frames with `vk` held, then released.
  void Hold(int vk, int frames) {
    headless::SetKeyDown(vk, true);
    Frames(frames);
    headless::SetKeyDown(vk, false);
  }

  int CountFace(const support::PolygonList& list, Face face) {
    int n = 0;
    for (const auto& item : list.items) n += FaceOf(item.color) == face;
    return n;
  }
};

TEST_IN_CHILD(Frame, FirstCallSetsUpTheProjectionAndLightOnce) {
  UpdateBlock();
  EXPECT_EQ(CXCamera, 512.0f);
  EXPECT_EQ(CYCamera, 512.0f);
  EXPECT_EQ(MultiplyX, 2.309401f);
  EXPECT_EQ(MultiplyY, 2.309401f);
  EXPECT_EQ(LightAmb, 0.5f);
  EXPECT_EQ(LightR, 10.0f);
  EXPECT_EQ(LightG, 10.0f);
  EXPECT_EQ(LightB, 10.0f);
  EXPECT_EQ(getLightType(), kLightNone);  // the cube, drawn last, is unlit
  LightAmb = 0.75f;
  LightG = 3.0f;
  UpdateBlock();
  EXPECT_EQ(LightAmb, 0.75f);
  EXPECT_EQ(LightG, 3.0f);
}

TEST_IN_CHILD(Frame, WithNoKeyTheEyeLooksAlongPlusXAtTheLitWall) {
  const RECT all = {0, 0, 512, 512};
  const HBRUSH white = CreateSolidBrush(0xFFFFFF);
  FillRect(hBlockDC, &all, white);
  DeleteObject(white);
  UpdateBlock();
  const float rows[4][4] = {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(View.m[i][j], rows[i][j]) << i << "," << j;

  // Pixel (260, 128) sees the tile of the wall x = +55 with world y in [0, 11]
  // and z in [-33, -22], lit from the origin: I = N.L / |L|^2 with N = (1, 0, 0)
  // and L = centroid (55, 5.5, -27.5).
  const double len2 = 55.0 * 55 + 5.5 * 5.5 + 27.5 * 27.5;
  const double gain = 10 * (55.0 / len2) + 0.5;
  const COLORREF expected = (COLORREF(255 * gain) << 16) | (COLORREF(128 * gain) << 8);
  EXPECT_EQ(GetPixel(hBlockDC, 260, 128), expected);
  // The clear reached every pixel: nothing of the white is left.
  for (int y = 0; y < 512; y += 7)
    for (int x = 0; x < 512; x += 7) ASSERT_NE(GetPixel(hBlockDC, x, y), 0xFFFFFFu);
}

TEST_IN_CHILD(Frame, PitchStopsAtTheLimitInBothDirections) {
  headless::SetKeyDown(VK_UP, true);
  Frames(15);
  EXPECT_NEAR(ViewDirection().z, sinf(-1.5000002f), 2e-7f);
  UpdateBlock();
  const VECTOR3D at_limit = ViewDirection();
  EXPECT_NEAR(at_limit.z, sinf(-1.5393804f), 2e-7f);
  // The limit to the last unit of the float: sin is too flat there to tell
  // 1.5393804f from the next float up, its cosine, the view's x, is not (the
  // two are 1.2e-7 apart).
  EXPECT_NEAR(at_limit.x, cosf(1.5393804f), 2e-8f);
  Frames(10);
  EXPECT_EQ(ViewDirection().z, at_limit.z);  // held there, not creeping
  headless::SetKeyDown(VK_UP, false);

  Hold(VK_DOWN, 40);
  EXPECT_NEAR(ViewDirection().z, sinf(1.5393804f), 2e-7f);
  EXPECT_NEAR(ViewDirection().x, cosf(1.5393804f), 2e-8f);
}

TEST_IN_CHILD(Frame, OppositeTurnsCancel) {
  UpdateBlock();
  const VECTOR3D start = ViewDirection();
  headless::SetKeyDown(VK_LEFT, true);
  headless::SetKeyDown(VK_RIGHT, true);
  Frames(20);
  EXPECT_NEAR(ViewDirection().x, start.x, 1e-6f);
  EXPECT_NEAR(ViewDirection().y, start.y, 1e-6f);
}

TEST_IN_CHILD(Frame, TheEyeStopsAtEachWall) {
  headless::SetKeyDown(VK_SPACE, true);
  Frames(150);
  // Looking along +x the view's row 3 is (-y, 0, -x).
  const float x150 = -View.m[3][2];
  EXPECT_NEAR(x150, 49.99995f, 1e-5f);
  EXPECT_LT(x150, 50.0f);
  UpdateBlock();
  EXPECT_EQ(-View.m[3][2], 50.0f) << "frame 151 reaches the limit x = +50";
  Frames(20);
  EXPECT_EQ(-View.m[3][2], 50.0f) << "the eye walked on through x = +50";
  EXPECT_EQ(View.m[3][0], 0.0f);  // y never moved
  // Then on to the other walls, 100 away, in 360 frames each: 16 turns right
  // (1.6 radians) look along +y nearly, 15 more along -x, 16 more along -y.
  const float walls[3][2] = {{16, 50}, {15, -50}, {16, -50}};  // turns; limit on y, x, y
  for (int k = 0; k < 3; ++k) {
    Hold(VK_RIGHT, static_cast<int>(walls[k][0]));
    Frames(360);
    const VECTOR3D eye = support::FrameRecorder().Take().state.eye;  // worked back from View
    EXPECT_NEAR(k == 1 ? eye.x : eye.y, walls[k][1], 1e-3f)
        << "wall " << k << ": the eye walked on to (" << eye.x << ", " << eye.y << ")";
  }
}

TEST_IN_CHILD(Frame, ATapBetweenFramesCountsOnce) {
  UpdateBlock();
  const VECTOR3D start = ViewDirection();
  headless::TapKey(VK_RIGHT);
  UpdateBlock();
  const VECTOR3D turned = ViewDirection();
  EXPECT_NEAR(turned.y, sinf(0.1f), 1e-6f);  // turned right: towards +y
  UpdateBlock();
  EXPECT_EQ(ViewDirection().x, turned.x);
  EXPECT_EQ(ViewDirection().y, turned.y);
  EXPECT_NE(turned.y, start.y);
}

TEST_IN_CHILD(Frame, SpinFollowsTheTickCountModulo2000) {
  struct Case {
    DWORD ticks;
    float angle;
  };
  const Case cases[] = {
      {0, 0.0f},          {500, 1.5707964f},
      {1000, 3.1415927f}, {1999, 6.2800441f},
      {2000, 0.0f},       {0xFFFFFFFFu, static_cast<float>(1295 * double(3.1415927f) / 1000)}};
  for (const Case& c : cases) {
    headless::SetTickCount(c.ticks);
    UpdateBlock();
    MATRIX4D expected;
    expected.Identity();
    expected.MulRotationZ(c.angle);
    expected.MulRotationY(c.angle);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 4; ++j) EXPECT_EQ(World.m[i][j], expected.m[i][j]) << c.ticks;
  }
  // Across the wrap the angle jumps from that of 1295 to that of 0.
  headless::SetTickCount(0xFFFFFFFFu);
  headless::AdvanceTickCount(1);
  UpdateBlock();
  EXPECT_EQ(World.m[0][0], 1.0f);
}

TEST_IN_CHILD(Frame, EveryFaceOfTheRoomIsSeenFromInside) {
  struct Look {
    int key;
    int frames;
    Face face;
  };
  // Each look starts from a fresh frame count but keeps turning from where
  // the previous one left the camera, so turn back afterwards.
  const Look looks[] = {{0, 1, kWallPlusX},         {VK_RIGHT, 16, kWallPlusY},
                        {VK_LEFT, 32, kWallMinusY}, {VK_LEFT, 15, kWallMinusX},
                        {VK_RIGHT, 31, kWallPlusX}, {VK_UP, 16, kCeiling},
                        {VK_DOWN, 32, kFloor}};
  for (const Look& look : looks) {
    if (look.key) Hold(look.key, look.frames - 1);
    if (look.key) headless::SetKeyDown(look.key, true);
    const support::PolygonList list = support::Record(UpdateBlock);
    if (look.key) headless::SetKeyDown(look.key, false);
    EXPECT_GE(CountFace(list, look.face), 60) << "face " << look.face;
  }
}

TEST_IN_CHILD(Frame, TheCubeIsPaintedAfterTheRoom) {
  // Walk to the wall ahead and turn round: the cube, near the origin, is in view.
  Hold(VK_SPACE, 150);
  Hold(VK_RIGHT, 31);
  const std::vector<support::PolygonList::Item> entries = support::Record(UpdateBlock).items;
  std::size_t cube = 0;
  while (cube < entries.size() && IsCubeColor(entries[entries.size() - 1 - cube].color)) ++cube;
  EXPECT_GE(cube, 1u);
  EXPECT_LE(cube, 3u);  // at most three faces of a cube face an eye
  for (std::size_t i = 0; i + cube < entries.size(); ++i)
    EXPECT_NE(FaceOf(entries[i].color), kUnknown) << "entry " << i;
}

// The pipeline's own record of each call, checked against the picture and
// against geometry worked out here from the eye and the view direction.
TEST_IN_CHILD(Frame, TheRecordSaysWhatBecameOfEachCallAndReplaysToTheFrame) {
  support::FrameRecorder recorder;
  UpdateBlock();
  const support::FrameRecord first = recorder.Take();
  ASSERT_EQ(first.calls.size(), 606u);
  int room[4] = {0, 0, 0, 0};  // by fate
  for (int k = 0; k < 600; ++k) ++room[first.calls[k].fate];
  // The guide's table for the first frame: 340 tiles dropped at the near
  // plane, none facing away, 260 handed to Polygon.
  EXPECT_EQ(room[kFateNearPlane], 340);
  EXPECT_EQ(room[kFateBackFace], 0);
  EXPECT_EQ(room[kFatePainted], 260);

  // The eye stands at the origin looking along +x: a room tile's vertex is at
  // view depth (its world x), and the one named is the first not beyond the
  // near plane.
  for (const support::CallRecord& c : first.calls) {
    if (c.fate != kFateNearPlane || support::OriginOf(c.index).cube) continue;
    ASSERT_GE(c.nearVertex, 0);
    ASSERT_EQ(static_cast<int>(c.view.size()), c.nearVertex + 1) << "call " << c.index;
    for (int k = 0; k <= c.nearVertex; ++k) {
      const double depth = double(c.model[k].x) + c.translation[0];
      if (k < c.nearVertex) {
        EXPECT_GT(depth, 0.3) << "call " << c.index << " vertex " << k;
      } else {
        EXPECT_LE(depth, 0.3) << "call " << c.index << " vertex " << k;
      }
    }
  }

  // Replaying the painted calls through the fill gives the back buffer.
  const std::vector<std::uint32_t> replayed = support::Replay(first);
  int differ = 0;
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 512; ++x) differ += GetPixel(hBlockDC, x, y) != replayed[y * 512 + x];
  EXPECT_EQ(differ, 0);

  // Walked to the wall ahead and turned round, the cube is in view: a face
  // drawn faces the eye and one culled faces away, by the sign of its normal
  // against the eye in view space (a reflection in View reverses the sign).
  Hold(VK_SPACE, 150);
  Hold(VK_RIGHT, 31);
  recorder.Restart();
  UpdateBlock();
  const support::FrameRecord turned = recorder.Take();
  const double det =
      double(View.m[0][0]) *
          (double(View.m[1][1]) * View.m[2][2] - double(View.m[1][2]) * View.m[2][1]) -
      double(View.m[0][1]) *
          (double(View.m[1][0]) * View.m[2][2] - double(View.m[1][2]) * View.m[2][0]) +
      double(View.m[0][2]) *
          (double(View.m[1][0]) * View.m[2][1] - double(View.m[1][1]) * View.m[2][0]);
  int culled = 0, drawn = 0;
  for (int face = 0; face < 6; ++face) {
    const support::CallRecord& c = turned.calls[600 + face];
    ASSERT_TRUE(support::OriginOf(c.index).cube);
    if (c.fate == kFateNearPlane) continue;
    ASSERT_GE(c.view.size(), 3u);
    const VECTOR3D& p0 = c.view[0];
    const double e1[3] = {double(c.view[1].x) - p0.x, double(c.view[1].y) - p0.y,
                          double(c.view[1].z) - p0.z};
    const double e2[3] = {double(c.view[2].x) - p0.x, double(c.view[2].y) - p0.y,
                          double(c.view[2].z) - p0.z};
    const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                         e1[0] * e2[1] - e1[1] * e2[0]};
    const double towards_eye = -(n[0] * p0.x + n[1] * p0.y + n[2] * p0.z) * (det < 0 ? -1 : 1);
    if (c.fate == kFateBackFace) {
      ++culled;
      EXPECT_LE(c.cullZ, 0.0f) << "face " << face;
      EXPECT_LT(towards_eye, 0.0) << "face " << face;
    } else {
      ++drawn;
      EXPECT_EQ(c.fate, kFatePainted);
      EXPECT_GT(c.cullZ, 0.0f) << "face " << face;
      EXPECT_GT(towards_eye, 0.0) << "face " << face;
    }
  }
  EXPECT_GE(drawn, 1);
  EXPECT_GE(culled, 3);  // at most three faces of a cube face an eye
}

TEST_IN_CHILD(Frame, TenThousandFramesOfRandomKeysStayInsideTheRoom) {
  std::mt19937 rng(5);
  const int keys[5] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_SPACE};
  DWORD objects_after_first = 0;
  float previous_light[3] = {0, 0, 0};
  int beyond_the_line = 0;
  for (int frame = 1; frame <= 10000; ++frame) {
    for (int vk : keys) headless::SetKeyDown(vk, rng() % 4 == 0);
    headless::AdvanceTickCount(33);
    UpdateBlock();
    if (frame == 1) objects_after_first = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int axis = 0; axis < 3; ++axis) {
      const float centre = World.m[3][axis];
      const float light = axis == 0 ? Light.x : axis == 1 ? Light.y : Light.z;
      ASSERT_LE(std::fabs(centre), 50.0f) << "frame " << frame;
      ASSERT_LE(std::fabs(light), 53.0f) << "frame " << frame;
      // One velocity step, up to the rounding of the move.
      ASSERT_LE(std::fabs(light - centre), 3.0001f) << "frame " << frame;
      // A light left beyond +-50 means the cube bounced: this frame draws it
      // pulled back onto the line.
      if (std::fabs(previous_light[axis]) > 50.0f) {
        ++beyond_the_line;
        ASSERT_EQ(centre, previous_light[axis] > 0 ? 50.0f : -50.0f) << "frame " << frame;
      }
      previous_light[axis] = light;
    }
  }
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objects_after_first);
  EXPECT_GT(beyond_the_line, 0);  // the run did reach the walls
}

TEST(CubeStep, JitterLimitAndBounce) {
  struct Case {
    float p, v;
    int random;
    float want_p, want_v;
  };
  const Case cases[] = {
      {0, 0, 0, 0, -0.2f},   {0, 0, 1, 0, 0},         {0, 0, 2, 0, 0.2f}, {0, 0, 3002, 0, 0.2f},
      {0, 3.2f, 1, 0, 3},    {0, -3.2f, 1, 0, -3},    {0, -3, 1, 0, -3},  {0, 2.9f, 2, 0, 3},
      {51.5f, 2, 1, 50, -2}, {-50.5f, -1, 1, -50, 1}, {50, 2, 1, 50, 2},  {-50, -2, 1, -50, -2},
      {53, 3.1f, 2, 50, -3}, {0, 0, -1, 0, 0.2f},  // a negative random is taken modulo 3 as well
  };
  for (const Case& c : cases) {
    float p = c.p, v = c.v;
    StepCubeAxis(&p, &v, c.random);
    EXPECT_EQ(p, c.want_p) << c.p << " " << c.v << " " << c.random;
    EXPECT_EQ(v, c.want_v) << c.p << " " << c.v << " " << c.random;
  }
  // The jitter is a fifth rounded once from double, not 0.2f added.
  float p = 0, v = 0.1f;
  StepCubeAxis(&p, &v, 2);
  EXPECT_EQ(v, static_cast<float>(double(0.1f) + 1.0 / 5.0));
}

}  // namespace
