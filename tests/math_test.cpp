// The value types: exact results where the numbers are exact, and the
// conventions every caller relies on (row vectors, row 3 translation, order).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "Draw.h"

namespace {

constexpr float kHalfPi = 1.57079637f;

MATRIX4D Identity4() {
  MATRIX4D m;
  m.Identity();
  return m;
}

MATRIX4D Translation(float x, float y, float z) {
  MATRIX4D m = Identity4();
  m.m[3][0] = x, m.m[3][1] = y, m.m[3][2] = z;
  return m;
}

void ExpectVector(const VECTOR3D& v, float x, float y, float z, float tolerance = 0.0f) {
  if (tolerance == 0.0f) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
  } else {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
  }
}

TEST(Vector, ArithmeticIsComponentwiseAndExact) {
  const VECTOR3D a(1, 2, 3), b(4, 5, 6);
  ExpectVector(a + b, 5, 7, 9);
  ExpectVector(a - b, -3, -3, -3);
  ExpectVector(a * 2.0f, 2, 4, 6);
  ExpectVector(VECTOR3D(3, 6, 9) / 3.0f, 1, 2, 3);
  EXPECT_EQ(a.Dot(b), 32.0f);
  // Double sums rounded once to float: 1 + 2^-24 is a tie, to even. Kept in
  // x87's extended precision the 2^-60 survives and rounds up to 1 + 2^-23.
  EXPECT_EQ(VECTOR3D(1, 1, 1).Dot(VECTOR3D(1, 0x1p-24f, 0x1p-60f)), 0x1p+0f);
  EXPECT_EQ(VECTOR3D(3, 4, 0).Length(), 5.0f);
  // Operands are left alone.
  ExpectVector(a, 1, 2, 3);
}

TEST(Vector, DivisionIsATrueDivisionNotAReciprocalProduct) {
  // 1/3 rounded to float, times 1, is not 1 / 3 rounded: 0.1 / 3 differs too.
  const VECTOR3D v(0.1f, 1.0f, 7.0f);
  const VECTOR3D q = v / 3.0f;
  EXPECT_EQ(q.x, 0.1f / 3.0f);
  EXPECT_EQ(q.z, 7.0f / 3.0f);
  EXPECT_NE(VECTOR3D(10.0f, 0, 0).operator/(3.0f).x, 10.0f * (1.0f / 3.0f));
}

TEST(Vector, CrossIsRightHandedWithTheCalledVectorOnTheLeft) {
  ExpectVector(VECTOR3D(1, 0, 0).Cross(VECTOR3D(0, 1, 0)), 0, 0, 1);
  ExpectVector(VECTOR3D(0, 1, 0).Cross(VECTOR3D(1, 0, 0)), 0, 0, -1);
  ExpectVector(VECTOR3D(0, 0, 1).Cross(VECTOR3D(1, 0, 0)), 0, 1, 0);
}

TEST(Vector, CrossKeepsTheSignOfTheExactResult) {
  // 4097 x 4097 = 2^24 + 8193 rounds to the float 4096 x 4098, so a float-only
  // evaluation gives 0 and loses the orientation; the exact value is 1.
  const float a = 4097.0f;
  const VECTOR3D u(a, a - 1.0f, 0), w(a + 1.0f, a, 0);
  EXPECT_EQ(a * a, (a - 1.0f) * (a + 1.0f));
  EXPECT_EQ(u.Cross(w).z, 1.0f);
}

TEST(Vector, NormalizeDividesByTheFloatLength) {
  VECTOR3D v(0, 3, 4);
  v.Normalize();
  ExpectVector(v, 0, 0.6f, 0.8f);
  VECTOR3D w(1, 1, 1);
  w.Normalize();
  const float len = sqrtf(3.0f);
  ExpectVector(w, 1.0f / len, 1.0f / len, 1.0f / len);
}

TEST(Vector, TimesMatrixAddsRowThreeAndIgnoresColumnThree) {
  ExpectVector(VECTOR3D(0, 0, 0) * Translation(1, 2, 3), 1, 2, 3);
  ExpectVector(VECTOR3D(4, -5, 6) * Identity4(), 4, -5, 6);
  MATRIX4D m = Translation(1, 2, 3);
  m.m[0][3] = 7, m.m[1][3] = 8, m.m[2][3] = 9, m.m[3][3] = 10;
  ExpectVector(VECTOR3D(1, 1, 1) * m, 2, 3, 4);

  VECTOR3D v(1, 1, 1);
  VECTOR3D& same = (v *= Translation(1, 2, 3));
  EXPECT_EQ(&same, &v);
  ExpectVector(v, 2, 3, 4);
}

TEST(Vector2D, TimesMatrix2D) {
  const VECTOR2D v{1, 2};
  const MATRIX2D m{{{1, 2}, {3, 4}}};
  const VECTOR2D r = v * m;
  EXPECT_EQ(r.x, 7.0f);
  EXPECT_EQ(r.y, 10.0f);
}

TEST(Matrix, IdentityOverwritesEveryElement) {
  MATRIX4D m;
  for (auto& row : m.m)
    for (float& e : row) e = NAN;
  m.Identity();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(m.m[i][j], i == j ? 1.0f : 0.0f) << i << "," << j;
  MATRIX3D n;
  for (auto& row : n.m)
    for (float& e : row) e = 5.0f;
  n.Identity();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(n.m[i][j], i == j ? 1.0f : 0.0f);
}

TEST(Matrix, ProductAppliesTheLeftFactorFirst) {
  const MATRIX4D a = Translation(1, 0, 0);
  MATRIX4D b = Identity4();
  b.MulRotationZ(kHalfPi);
  ExpectVector(VECTOR3D(0, 0, 0) * (a * b), 0, 1, 0, 1e-7f);
  ExpectVector(VECTOR3D(0, 0, 0) * (b * a), 1, 0, 0, 1e-7f);
}

TEST(Matrix, ProductUsesAllSixteenElements) {
  MATRIX4D a, b;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) a.m[i][j] = float(i * 4 + j + 1), b.m[i][j] = float(j * 4 + i + 2);
  const MATRIX4D r = a * b;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += double(a.m[i][k]) * b.m[k][j];
      EXPECT_EQ(r.m[i][j], float(sum));
    }
  }
}

TEST(Matrix, SelfProductInPlaceSquaresTheOldValue) {
  MATRIX4D a = Translation(1, 2, 3);
  a.MulRotationX(0.3f);
  a.m[0][3] = 0.5f;
  const MATRIX4D square = a * a;
  MATRIX4D& same = (a *= a);
  EXPECT_EQ(&same, &a);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(a.m[i][j], square.m[i][j]);
}

TEST(Matrix, QuarterTurnsMoveTheAxesTheDocumentedWay) {
  MATRIX4D z = Identity4(), y = Identity4(), x = Identity4();
  z.MulRotationZ(kHalfPi);
  y.MulRotationY(kHalfPi);
  x.MulRotationX(kHalfPi);
  const float e = 1e-7f;
  ExpectVector(VECTOR3D(1, 0, 0) * z, 0, 1, 0, e);
  ExpectVector(VECTOR3D(0, 1, 0) * z, -1, 0, 0, e);
  ExpectVector(VECTOR3D(0, 0, 1) * y, 1, 0, 0, e);
  ExpectVector(VECTOR3D(1, 0, 0) * y, 0, 0, -1, e);
  ExpectVector(VECTOR3D(0, 1, 0) * x, 0, 0, 1, e);
  ExpectVector(VECTOR3D(0, 0, 1) * x, 0, -1, 0, e);

  MATRIX3D r;
  r.Identity();
  r.MulRotationZ(kHalfPi);
  EXPECT_NEAR(r.m[0][1], 1.0f, e);
  EXPECT_NEAR(r.m[1][0], -1.0f, e);
}

TEST(Matrix, RotationsKeepTheTranslationAndColumnThree) {
  MATRIX4D m = Translation(10, 20, 30);
  m.MulRotationZ(0.5f);
  m.MulRotationY(0.5f);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(m.m[3][j], (j + 1) * 10.0f);
  EXPECT_EQ(m.m[3][3], 1.0f);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(m.m[i][3], 0.0f);
  MATRIX4D x = Translation(1, 2, 3);
  x.MulRotationX(1.0f);
  EXPECT_EQ(x.m[3][0], 1.0f);
  EXPECT_EQ(x.m[3][2], 3.0f);
}

TEST(Matrix, RotationsComposeZThenY) {
  const float angle = 0.7f;
  MATRIX4D both = Identity4(), z = Identity4(), y = Identity4();
  both.MulRotationZ(angle);
  both.MulRotationY(angle);
  z.MulRotationZ(angle);
  y.MulRotationY(angle);
  const VECTOR3D v(0.3f, -1.2f, 2.0f);
  ExpectVector(v * both, ((v * z) * y).x, ((v * z) * y).y, ((v * z) * y).z, 1e-6f);
}

TEST(Matrix, ATurnAddsToTheTurnTheMatrixAlreadyMakes) {
  // 0.5 then 0.25 radians about one axis turn a point 0.75 the documented
  // way. Each new entry must come from the row as it was: computed from an
  // entry already turned, the second turn would skew the matrix.
  struct Case {
    void (MATRIX4D::*turn)(float);
    VECTOR3D from, to;
  };
  const float c = std::cos(0.75f), s = std::sin(0.75f);
  const Case cases[] = {{&MATRIX4D::MulRotationZ, {1, 0, 0}, {c, s, 0}},
                        {&MATRIX4D::MulRotationY, {0, 0, 1}, {s, 0, c}},
                        {&MATRIX4D::MulRotationX, {0, 1, 0}, {0, c, s}}};
  for (const Case& t : cases) {
    MATRIX4D m = Identity4();
    (m.*t.turn)(0.5f);
    (m.*t.turn)(0.25f);
    ExpectVector(t.from * m, t.to.x, t.to.y, t.to.z, 1e-6f);
  }
}

TEST(Matrix, ScalingLeavesRowAndColumnThree) {
  MATRIX4D m = Identity4();
  m.m[3][0] = m.m[3][1] = m.m[3][2] = 1.0f;
  m.MulScaling(2, 3, 4);
  EXPECT_EQ(m.m[0][0], 2.0f);
  EXPECT_EQ(m.m[1][1], 3.0f);
  EXPECT_EQ(m.m[2][2], 4.0f);
  EXPECT_EQ(m.m[3][3], 1.0f);
  for (int j = 0; j < 4; ++j) EXPECT_EQ(m.m[3][j], 1.0f);
  MATRIX3D n;
  n.Identity();
  n.MulScaling(2, 3, 4);
  EXPECT_EQ(n.m[2][2], 4.0f);
  EXPECT_EQ(n.m[0][1], 0.0f);
}

TEST(LookAt, BuildsTheWorldToCameraMatrix) {
  const VECTOR3D eye(10, 20, 0), up(0, 0, -1);
  VECTOR3D direction(3, 0, 0);
  MATRIX4D view;
  view.LookAt(&eye, &direction, &up);
  const float rows[4][4] = {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {-20, 0, -10, 1}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(view.m[i][j], rows[i][j]) << i << "," << j;
  ExpectVector(VECTOR3D(15, 25, 5) * view, 5, 5, 5);
  ExpectVector(direction, 3, 0, 0);  // works on a copy
}

TEST(LookAt, DepthIsTheDistanceAlongTheViewDirection) {
  const VECTOR3D eye(1, 2, 3), up(0, 0, -1);
  const VECTOR3D direction(0.6f, 0.8f, 0.0f);
  MATRIX4D view;
  view.LookAt(&eye, &direction, &up);
  const VECTOR3D ahead = VECTOR3D(1 + 6.0f, 2 + 8.0f, 3) * view;
  EXPECT_NEAR(ahead.x, 0.0f, 1e-6f);
  EXPECT_NEAR(ahead.y, 0.0f, 1e-6f);
  EXPECT_NEAR(ahead.z, 10.0f, 1e-5f);
  // With up = (0, 0, -1), view y grows towards world +z (down on the screen).
  EXPECT_GT((VECTOR3D(7, 10, 4) * view).y, 0.0f);
}

TEST(Color, BytesAndValueAgree) {
  // r, g, b, reserved are the value's bits 0-7, 8-15, 16-23 and 24-31.
  unsigned char bytes[4] = {0x10, 0x20, 0x30, 0x00};
  const std::pair<COLOR, COLORREF> cases[] = {{COLOR(0xffUL), 0xff},
                                              {COLOR(0xff0000UL), 0xff0000},
                                              {COLOR(0x12345678UL), 0x12345678},
                                              {COLOR(bytes), 0x302010}};
  for (const auto& [color, value] : cases) {
    EXPECT_EQ(color.r | color.g << 8 | color.b << 16 | COLORREF(color.reserved) << 24, value)
        << std::hex << value;
  }
  // Red first in memory, on either byte order. Read back as one 32-bit word
  // these bytes are the COLORREF the COLOR holds only on a little-endian CPU
  // (on big-endian s390x 0x10203000): nothing may rely on that.
  const COLOR c(0x302010UL);
  const unsigned char in_memory[4] = {0x10, 0x20, 0x30, 0x00};
  static_assert(sizeof(COLOR) == 4, "a COLOR is four bytes");
  EXPECT_EQ(std::memcmp(&c, in_memory, 4), 0);
}

}  // namespace
