// The projection factors, where a view-space point lands, and the combined
// matrix.
#include <gtest/gtest.h>

#include <cmath>

#include "Draw.h"
#include "run_in_child.h"
#include "screen_projection.h"

namespace {

TEST(Projection, FactorsFollowTheFieldOfView) {
  // MultiplyX = 2 / cos(angle / 2): a third of pi gives 4 / sqrt 3, half pi
  // 2 sqrt 2, two thirds of pi 4, none 2 (2 tan would give 1.15, 2, 3.46, 0);
  // MultiplyY = MultiplyX x height / width.
  struct Case {
    float cx, cy, angle;
    double x, y;
  };
  const double r2 = std::sqrt(2.0), r3 = std::sqrt(3.0);
  const Case cases[] = {{512, 512, 1.0471976f, 4 / r3, 4 / r3},
                        {640, 480, 1.0471976f, 4 / r3, r3},
                        {512, 512, 1.5707964f, 2 * r2, 2 * r2},
                        {256, 512, 2.0943952f, 4, 8},
                        {100, 100, 0.0f, 2, 2}};
  for (const Case& c : cases) {
    SetCameraProjection(c.cx, c.cy, c.angle);
    EXPECT_EQ(CXCamera, c.cx);
    EXPECT_EQ(CYCamera, c.cy);
    EXPECT_FLOAT_EQ(MultiplyX, static_cast<float>(c.x)) << c.cx << " x " << c.cy << ", " << c.angle;
    EXPECT_FLOAT_EQ(MultiplyY, static_cast<float>(c.y)) << c.cx << " x " << c.cy << ", " << c.angle;
  }
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
  RunInChild([] {  // the render state as the process starts
    // Before the first frame a view-space point maps to (x / z + 0.5, y / z + 0.5).
    EXPECT_EQ(support::ScreenX(2, 4), 1.0f);
    EXPECT_EQ(support::ScreenY(-2, 4), 0.0f);
  });
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
