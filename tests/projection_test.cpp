// The render state's start values, the projection factors and the combined
// matrix. Each test runs in a process of its own, so start values are fresh.
#include <gtest/gtest.h>

#include <cmath>

#include "Draw.h"
#include "Main.h"
#include "screen_projection.h"

namespace {

TEST(RenderState, StartValues) {
  for (const MATRIX4D* m : {&World, &View, &Matrix})
    for (const auto& row : m->m)
      for (float e : row) EXPECT_EQ(e, 0.0f);
  EXPECT_EQ(CXCamera, 1.0f);
  EXPECT_EQ(CYCamera, 1.0f);
  EXPECT_EQ(MultiplyX, 1.0f);
  EXPECT_EQ(MultiplyY, 1.0f);
  EXPECT_EQ(NearClip, 0.3f);
  EXPECT_EQ(NearClip, 0.300000012f);
  EXPECT_EQ(Light.x, 0.0f);
  EXPECT_EQ(Light.y, 0.0f);
  EXPECT_EQ(Light.z, 0.0f);
  EXPECT_EQ(LightAmb, 0.0f);
  EXPECT_EQ(LightR, 0.0f);
  EXPECT_EQ(LightG, 0.0f);
  EXPECT_EQ(LightB, 0.0f);
  EXPECT_EQ(getLightType(), 0);
  LightType = 2;
  EXPECT_EQ(getLightType(), 2);
}

TEST(Projection, SquareSurfaceWithAThirdOfPi) {
  SetCameraProjection(512, 512, 1.0471976f);
  EXPECT_EQ(CXCamera, 512.0f);
  EXPECT_EQ(CYCamera, 512.0f);
  EXPECT_EQ(MultiplyX, 2.309401f);
  EXPECT_EQ(MultiplyY, 2.309401f);
  // 2 / cos, not 2 tan, of the half-angle.
  EXPECT_NE(MultiplyX, static_cast<float>(2.0 * std::tan(1.0471976 / 2)));
}

TEST(Projection, WideSurfaceScalesTheVerticalFactor) {
  SetCameraProjection(640, 480, 1.0471976f);
  EXPECT_EQ(CXCamera, 640.0f);
  EXPECT_EQ(CYCamera, 480.0f);
  EXPECT_EQ(MultiplyX, 2.309401f);
  EXPECT_EQ(MultiplyY, 1.7320508f);
}

TEST(Projection, ViewAxisLandsInTheCentreAndYGrowsDown) {
  SetCameraProjection(512, 512, 1.0471976f);
  for (float z : {0.31f, 1.0f, 55.0f, 1e6f}) {
    EXPECT_EQ(support::ScreenX(0, z), 256.0f);
    EXPECT_EQ(support::ScreenY(0, z), 256.0f);
  }
  EXPECT_EQ(support::ScreenX(1, 4), 311.42563f);
  EXPECT_EQ(support::ScreenY(2, 4), 366.85126f);
  // The surface's edges lie at x / z = +-MultiplyX / 2.
  EXPECT_NEAR(support::ScreenX(1.1547005f, 1), 512.0f, 1e-3f);
  EXPECT_NEAR(support::ScreenX(-1.1547005f, 1), 0.0f, 1e-3f);
}

TEST(Projection, FactorsAreOneUntilSet) {
  // Before the first frame a view-space point maps to (x / z + 0.5, y / z + 0.5).
  EXPECT_EQ(support::ScreenX(2, 4), 1.0f);
  EXPECT_EQ(support::ScreenY(-2, 4), 0.0f);
}

TEST(UpdateCamera, CombinesWorldThenView) {
  World.Identity();
  View.Identity();
  View.MulRotationZ(0.25f);
  View.m[3][0] = 5;
  UpdateCamera();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(Matrix.m[i][j], View.m[i][j]);

  View.Identity();
  World.MulRotationX(0.5f);
  World.m[3][2] = -7;
  UpdateCamera();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(Matrix.m[i][j], World.m[i][j]);

  // A translation t in World and a rotation R in View: p goes to (p + t) R.
  World.Identity();
  World.m[3][0] = 1;
  View.Identity();
  View.MulRotationZ(1.57079637f);
  UpdateCamera();
  const VECTOR3D p = VECTOR3D(0, 0, 0) * Matrix;
  EXPECT_NEAR(p.x, 0.0f, 1e-7f);
  EXPECT_NEAR(p.y, 1.0f, 1e-7f);
}

TEST(UpdateCamera, OverwritesTheWholeMatrix) {
  for (auto& row : Matrix.m)
    for (float& e : row) e = NAN;
  World.Identity();
  View.Identity();
  UpdateCamera();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(Matrix.m[i][j], i == j ? 1.0f : 0.0f);
}

}  // namespace
