// Draw: value types, render state, camera and the polygon pipeline.
#include "Draw.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

// ---- Value types ----------------------------------------------------------
// Each formula is evaluated in double and rounded to float once, where its
// result is stored: products of two floats are then exact, and a sum or a
// cross product keeps the sign the exact result has.

namespace {

float Dot3(double ax, double ay, double az, double bx, double by, double bz) {
  return static_cast<float>((ax * bx + ay * by) + az * bz);
}

// Rows 0-2 of `m` (a 3 x 3 or the linear part of a 4 x 4 matrix) times a
// rotation in the plane of columns a and b: m[i][a] = o[i][a] c - o[i][b] s,
// m[i][b] = o[i][a] s + o[i][b] c, every new value from the entry values o.
template <int N>
void RotateColumns(float (&m)[N][N], int a, int b, float angle) {
  const double c = cosf(angle);
  const double s = sinf(angle);
  for (int i = 0; i < 3; ++i) {
    const double oa = m[i][a];
    const double ob = m[i][b];
    m[i][a] = static_cast<float>(oa * c - ob * s);
    m[i][b] = static_cast<float>(oa * s + ob * c);
  }
}

template <int N>
void ScaleColumns(float (&m)[N][N], float sx, float sy, float sz) {
  for (int i = 0; i < 3; ++i) {
    m[i][0] *= sx;
    m[i][1] *= sy;
    m[i][2] *= sz;
  }
}

// Row `a` of a product A x B: out[j] = ((a0 b0j + a1 b1j) + a2 b2j) + a3 b3j,
// with B's floats, or the same values already widened to double.
template <typename T>
void ProductRow(const float (&a)[4], const T (&b)[4][4], float (&out)[4]) {
  const double a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
  for (int j = 0; j < 4; ++j) {
    out[j] = static_cast<float>(((a0 * b[0][j] + a1 * b[1][j]) + a2 * b[2][j]) + a3 * b[3][j]);
  }
}

// (x, y, z, 1) x M: the part of M that it reads, widened to double once for
// the several points that Polygon3D puts through one matrix.
struct WideAffine {
  double m[4][3];

  explicit WideAffine(const MATRIX4D& M) {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 3; ++j) m[i][j] = M.m[i][j];
  }

  VECTOR3D operator()(const VECTOR3D& v) const {
    const double x = v.x, y = v.y, z = v.z;
    return VECTOR3D(static_cast<float>(((x * m[0][0] + y * m[1][0]) + z * m[2][0]) + m[3][0]),
                    static_cast<float>(((x * m[0][1] + y * m[1][1]) + z * m[2][1]) + m[3][1]),
                    static_cast<float>(((x * m[0][2] + y * m[1][2]) + z * m[2][2]) + m[3][2]));
  }
};

}  // namespace

VECTOR2D VECTOR2D::operator*(const MATRIX2D& M) const {
  VECTOR2D r;
  r.x = static_cast<float>(double(x) * M.m[0][0] + double(y) * M.m[1][0]);
  r.y = static_cast<float>(double(x) * M.m[0][1] + double(y) * M.m[1][1]);
  return r;
}

void MATRIX3D::Identity() {
  for (auto& row : m)
    for (float& e : row) e = 0.0f;
  m[0][0] = m[1][1] = m[2][2] = 1.0f;
}
void MATRIX3D::MulRotationX(float angle) { RotateColumns(m, 1, 2, angle); }
void MATRIX3D::MulRotationY(float angle) { RotateColumns(m, 2, 0, angle); }
void MATRIX3D::MulRotationZ(float angle) { RotateColumns(m, 0, 1, angle); }
void MATRIX3D::MulScaling(float sx, float sy, float sz) { ScaleColumns(m, sx, sy, sz); }

MATRIX4D MATRIX4D::operator*(const MATRIX4D& b) const {
  MATRIX4D r;
  for (int i = 0; i < 4; ++i) ProductRow(m[i], b.m, r.m[i]);
  return r;
}

MATRIX4D& MATRIX4D::operator*=(const MATRIX4D& b) {
  const MATRIX4D product = *this * b;
  *this = product;
  return *this;
}

void MATRIX4D::Identity() {
  for (auto& row : m)
    for (float& e : row) e = 0.0f;
  m[0][0] = m[1][1] = m[2][2] = m[3][3] = 1.0f;
}
void MATRIX4D::MulRotationX(float angle) { RotateColumns(m, 1, 2, angle); }
void MATRIX4D::MulRotationY(float angle) { RotateColumns(m, 2, 0, angle); }
void MATRIX4D::MulRotationZ(float angle) { RotateColumns(m, 0, 1, angle); }
void MATRIX4D::MulScaling(float sx, float sy, float sz) { ScaleColumns(m, sx, sy, sz); }

void MATRIX4D::LookAt(const VECTOR3D* eye, const VECTOR3D* direction, const VECTOR3D* up) {
  VECTOR3D F = *direction;
  F.Normalize();
  VECTOR3D S = up->Cross(F);
  S.Normalize();
  const VECTOR3D U = F.Cross(S);  // unit already when up is not parallel to F
  Identity();
  m[0][0] = -S.x, m[1][0] = -S.y, m[2][0] = -S.z;
  m[0][1] = -U.x, m[1][1] = -U.y, m[2][1] = -U.z;
  m[0][2] = F.x, m[1][2] = F.y, m[2][2] = F.z;
  for (int j = 0; j < 3; ++j) m[3][j] = -Dot3(m[0][j], m[1][j], m[2][j], eye->x, eye->y, eye->z);
}

float VECTOR3D::Dot(const VECTOR3D& b) const { return Dot3(x, y, z, b.x, b.y, b.z); }

VECTOR3D VECTOR3D::Cross(const VECTOR3D& b) const {
  return VECTOR3D(static_cast<float>(double(y) * b.z - double(z) * b.y),
                  static_cast<float>(double(z) * b.x - double(x) * b.z),
                  static_cast<float>(double(x) * b.y - double(y) * b.x));
}

VECTOR3D VECTOR3D::operator+(const VECTOR3D& b) const {
  return VECTOR3D(x + b.x, y + b.y, z + b.z);
}
VECTOR3D VECTOR3D::operator-(const VECTOR3D& b) const {
  return VECTOR3D(x - b.x, y - b.y, z - b.z);
}
VECTOR3D VECTOR3D::operator*(float k) const { return VECTOR3D(x * k, y * k, z * k); }
VECTOR3D VECTOR3D::operator/(float k) const { return VECTOR3D(x / k, y / k, z / k); }

VECTOR3D VECTOR3D::operator*(const MATRIX4D& M) const { return WideAffine(M)(*this); }

VECTOR3D& VECTOR3D::operator*=(const MATRIX4D& M) {
  const VECTOR3D r = *this * M;
  *this = r;
  return *this;
}

float VECTOR3D::Length() const { return sqrtf(Dot3(x, y, z, x, y, z)); }

void VECTOR3D::Normalize() {
  const float len = Length();
  x /= len;
  y /= len;
  z /= len;
}

COLOR::COLOR(unsigned long value)
    : r(static_cast<unsigned char>(value & 0xFF)),
      g(static_cast<unsigned char>((value >> 8) & 0xFF)),
      b(static_cast<unsigned char>((value >> 16) & 0xFF)),
      reserved(static_cast<unsigned char>((value >> 24) & 0xFF)) {}

COLOR::COLOR(unsigned char* bytes) : r(bytes[0]), g(bytes[1]), b(bytes[2]), reserved(bytes[3]) {}

// ---- Render state ---------------------------------------------------------

MATRIX4D World;
MATRIX4D View;
MATRIX4D Matrix;
float CXCamera = 1.0f;
float CYCamera = 1.0f;
float MultiplyX = 1.0f;
float MultiplyY = 1.0f;
float NearClip = 0.3f;
VECTOR3D Light;  // the empty constructor leaves the zero of static storage
float LightAmb;
float LightR;
float LightG;
float LightB;

// ---- Camera ---------------------------------------------------------------

void SetCameraProjection(float cx, float cy, float angle) {
  CXCamera = cx;
  CYCamera = cy;
  // 2 / cos of the half-angle (not 2 tan): the half-angle is a float, the
  // cosine single precision, the quotient rounded once.
  MultiplyX = static_cast<float>(2.0 / double(cosf(angle / 2.0f)));
  MultiplyY = static_cast<float>(double(MultiplyX) * CYCamera / CXCamera);
}

void UpdateCamera() {
  // The room's tiles differ only in World's translation, row 3: rows 0-2 of
  // the product, which depend on World's rows 0-2 and on View alone, are
  // computed again only when those are not the same to the bit as last time,
  // and View is kept widened to double for row 3 (exactly the doubles the
  // product would convert it to).
  static float rows_of[3][4];  // World's rows 0-2 and View as they were
  static MATRIX4D view_of;
  static float product[3][4];  // and rows 0-2 of their product
  static double view[4][4];    // View in double
  static bool kept = false;
  if (!kept || std::memcmp(rows_of, World.m, sizeof rows_of) != 0 ||
      std::memcmp(&view_of, &View, sizeof view_of) != 0) {
    for (int i = 0; i < 3; ++i) ProductRow(World.m[i], View.m, product[i]);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) view[i][j] = View.m[i][j];
    std::memcpy(rows_of, World.m, sizeof rows_of);
    view_of = View;
    kept = true;
  }
  std::memcpy(Matrix.m, product, sizeof product);
  ProductRow(World.m[3], view, Matrix.m[3]);
}

// ---- Pipeline -------------------------------------------------------------

int TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0) return 2147483647;
  if (value <= -2147483649.0) return -2147483647 - 1;
  return static_cast<int>(value);  // toward zero
}

namespace {

// One channel lit by intensity I: (gain x I + LightAmb) x byte, in double,
// truncated toward zero and held to 0..255; NaN gives 0.
unsigned char Shade(unsigned char byte, float gain, float intensity) {
  const double v = (double(gain) * intensity + LightAmb) * byte;
  if (std::isnan(v) || v < 0.0) return 0;
  if (v > 255.0) return 255;
  return static_cast<unsigned char>(v);
}

// Screen coordinate of a view-space point on one axis, in pixels as a float:
// (x / (z * factor) + 0.5) * size, no sign flip, so y grows downward.
float Project(float coordinate, float z, float factor, float size) {
  return static_cast<float>((double(coordinate) / (double(z) * factor) + 0.5) * size);
}

// The mean of vertices 0 to i from the mean c of those before:
// (c x i + v) / (i + 1), each operation in float. A division by 1, 2 or 4
// is the multiplication by its reciprocal, to the last bit (both round the
// same exact quotient once), which spares a quad's vertices 0, 1 and 3
// their three divisions.
inline VECTOR3D NextMean(const VECTOR3D& c, const VECTOR3D& v, int i) {
  const VECTOR3D sum = c * float(i) + v;
  switch (i) {
    case 0:
      return sum;
    case 1:
      return sum * 0.5f;
    case 3:
      return sum * 0.25f;
    default:
      return sum / float(i + 1);
  }
}

constexpr int kStackPoints = 16;  // room tiles and cube faces have 4

COLORREF ColorValue(const COLOR& color) {
  return static_cast<COLORREF>(color.r) | (static_cast<COLORREF>(color.g) << 8) |
         (static_cast<COLORREF>(color.b) << 16) | (static_cast<COLORREF>(color.reserved) << 24);
}

}  // namespace

// ---- The record ------------------------------------------------------------

namespace {

POLYGON3DLISTENER g_listener = nullptr;
void* g_listener_context = nullptr;
int g_record_index = 0;

// What the recorded pipeline keeps beside the points, sized for one call.
struct Trail {
  std::vector<VECTOR3D> view;
  std::vector<VECTOR2D> screen;
  POLYGON3DRECORD record;

  Trail(COLOR color, int count, const VECTOR3D* vertices, int light_type) : record() {
    view.reserve(static_cast<std::size_t>(count));
    screen.reserve(static_cast<std::size_t>(count));
    record.index = g_record_index++;
    record.count = count;
    record.vertices = vertices;
    record.fate = kFatePainted;
    record.nearVertex = -1;
    record.lightType = light_type;
    record.colorIn = ColorValue(color);
    record.colorOut = record.colorIn;
  }

  void Failed(const VECTOR3D& P) { view.push_back(P); }  // not projected

  void Vertex(const VECTOR3D& P, float sx, float sy) {
    view.push_back(P);
    VECTOR2D s;
    s.x = sx;
    s.y = sy;
    screen.push_back(s);
  }

  void Report(POLYGONFATE fate, const POINT* points) {
    record.fate = fate;
    record.reached = static_cast<int>(view.size());
    record.view = view.data();
    record.screen = screen.data();
    record.points = points;
    g_listener(g_listener_context, record);
  }
};

// The recorded pipeline carries a Trail; the plain one an empty stand-in
// whose calls compile to nothing.
struct NoTrail {
  NoTrail(COLOR, int, const VECTOR3D*, int) {}
  void Failed(const VECTOR3D&) {}
  void Vertex(const VECTOR3D&, float, float) {}
  void Report(POLYGONFATE, const POINT*) {}
  struct {
    int nearVertex;
    float cullZ;
    bool lit;
    VECTOR3D normal, centroid;
    float distance, intensity;
    COLORREF colorOut;
  } record;
};

template <typename Record>
void Pipeline(HDC hdc, COLOR color, int count, const VECTOR3D* vertices) {
  POINT stack_points[kStackPoints];
  std::unique_ptr<POINT[]> heap_points;
  POINT* points = stack_points;
  if (count > kStackPoints) {
    heap_points.reset(new POINT[count]);
    points = heap_points.get();
  }
  const int light_type = getLightType();
  Record trail(color, count, vertices, light_type);

  // Fewer than three vertices have no normal: they keep their colour.
  const bool lit = count > 2 && (light_type == kLightDirectional || light_type == kLightPoint);
  // Only a polygon lit by a point light reads it: three divisions a vertex
  // the others are spared. Taken in the loop, where the processor overlaps
  // it with the projection's divisions.
  const bool point_light = light_type == kLightPoint;
  VECTOR3D centroid(0.0f, 0.0f, 0.0f);  // model space, the mean of the vertices so far
  VECTOR3D screen[3];                   // (sx, sy, view z) of the first three vertices
  VECTOR3D normal;                      // unit, in world space, once the polygon faces the eye
  const WideAffine to_view(Matrix);
  const WideAffine to_world(World);
  for (int i = 0; i < count; ++i) {
    const VECTOR3D P = to_view(vertices[i]);
    if (!(P.z > NearClip)) {  // dropped whole, never cut; NaN is dropped too
      trail.Failed(P);
      trail.record.nearVertex = i;
      trail.Report(kFateNearPlane, points);
      return;
    }
    const float sx = Project(P.x, P.z, MultiplyX, CXCamera);
    const float sy = Project(P.y, P.z, MultiplyY, CYCamera);
    points[i].x = TruncateToInt(sx);
    points[i].y = TruncateToInt(sy);
    trail.Vertex(P, sx, sy);
    if (point_light) centroid = NextMean(centroid, vertices[i], i);
    if (i <= 2) screen[i] = VECTOR3D(sx, sy, P.z);
    if (i == 2) {
      // Counter-clockwise on the y-down screen passes; clockwise or collinear
      // first three vertices drop the polygon before any later vertex is done.
      const VECTOR3D c = (screen[0] - screen[2]).Cross(screen[0] - screen[1]);
      trail.record.cullZ = c.z;
      if (c.z <= 0.0f) {
        trail.Report(kFateBackFace, points);
        return;
      }
      // The normal here rather than after the loop: its long chain of
      // dependent operations then runs beside the later vertices.
      if (lit) {
        const VECTOR3D w0 = to_world(vertices[0]);
        const VECTOR3D w1 = to_world(vertices[1]);
        const VECTOR3D w2 = to_world(vertices[2]);
        normal = (w0 - w2).Cross(w0 - w1);  // points away from the visible side
        normal.Normalize();
      }
    }
  }

  if (lit) {
    float intensity;
    if (light_type == kLightDirectional) {
      intensity = normal.Dot(Light);  // Light is the direction the light travels
    } else {
      const VECTOR3D world_centroid = to_world(centroid);
      const VECTOR3D L = world_centroid - Light;  // from the light to the centroid
      const float len = L.Length();
      intensity = static_cast<float>(double(normal.Dot(L)) / (double(len) * len));
      trail.record.centroid = world_centroid;
      trail.record.distance = len;
    }
    color.r = Shade(color.r, LightR, intensity);
    color.g = Shade(color.g, LightG, intensity);
    color.b = Shade(color.b, LightB, intensity);
    trail.record.lit = true;
    trail.record.normal = normal;
    trail.record.intensity = intensity;
  }

  const COLORREF value = ColorValue(color);
  trail.record.colorOut = value;
  const HBRUSH brush = CreateSolidBrush(value);
  const HGDIOBJ previous = SelectObject(hdc, brush);
  Polygon(hdc, points, count);
  SelectObject(hdc, previous);
  DeleteObject(brush);
  trail.Report(count > 2 ? kFatePainted : kFateTooFewVertices, points);
}

}  // namespace

void Polygon3D(HDC hdc, COLOR color, int count, const VECTOR3D* vertices) {
  if (count < 0) return;
  if (g_listener) {
    Pipeline<Trail>(hdc, color, count, vertices);
  } else {
    Pipeline<NoTrail>(hdc, color, count, vertices);
  }
}

void SetPolygon3DListener(POLYGON3DLISTENER listener, void* context) {
  g_listener = listener;
  g_listener_context = context;
  g_record_index = 0;
}

void RestartPolygon3DIndex() { g_record_index = 0; }
