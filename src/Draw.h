// Draw: the math value types, the render state and the polygon pipeline.
//
// Listed in the order a frame uses them:
//   1. value types      VECTOR2D, VECTOR3D, MATRIX2D, MATRIX3D, MATRIX4D, COLOR
//   2. render state     World, View, Matrix, projection, NearClip, Light terms
//   3. camera           SetCameraProjection, UpdateCamera
//   4. pipeline         Polygon3D: transform, near test, project, cull, shade, fill
//   5. the record       what Polygon3D decided for each call, for tools to show
//
// Numbers: every stored value is a 32-bit float. Formulas are evaluated in
// double and rounded to float once, where their result is stored or returned;
// with -ffp-contract=off this fixes every result to the last bit.
// Conventions: points are row vectors mapped as p x M, matrices are row-major,
// row 3 of a MATRIX4D is the translation, and A x B applies A first.
#ifndef ORVIX_DRAW_H
#define ORVIX_DRAW_H

#include "platform/win32.h"

// ---- 1. Value types -------------------------------------------------------

struct MATRIX2D {
  float m[2][2];
};

struct VECTOR2D {
  float x, y;

  VECTOR2D operator*(const MATRIX2D& M) const;  // (x, y) x M; no translation
};

struct MATRIX3D {
  float m[3][3];

  void Identity();
  void MulRotationX(float angle);  // M := M x Rx, turns +y towards +z
  void MulRotationY(float angle);  // M := M x Ry, turns +z towards +x
  void MulRotationZ(float angle);  // M := M x Rz, turns +x towards +y
  void MulScaling(float sx, float sy, float sz);
};

struct VECTOR3D;

struct MATRIX4D {
  float m[4][4];  // no constructor: unset until Identity, LookAt or direct writes

  MATRIX4D operator*(const MATRIX4D& b) const;  // this x b, all 16 elements
  MATRIX4D& operator*=(const MATRIX4D& b);      // through a temporary: A *= A squares A
  void Identity();
  // The rotations and the scaling act on rows 0-2, columns 0-2 only: a
  // translation in row 3 comes out unchanged (unlike a full 4 x 4 product).
  void MulRotationX(float angle);
  void MulRotationY(float angle);
  void MulRotationZ(float angle);
  void MulScaling(float sx, float sy, float sz);
  // World-to-camera for an eye looking along `direction` (a direction, not a
  // target point). Columns 0-2 are -S, -U, F; the camera looks along +z.
  void LookAt(const VECTOR3D* eye, const VECTOR3D* direction, const VECTOR3D* up);
};

struct VECTOR3D {
  float x, y, z;

  VECTOR3D() {}  // sets nothing, on purpose: statics start at zero, locals are assigned
  VECTOR3D(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  float Dot(const VECTOR3D& b) const;
  VECTOR3D Cross(const VECTOR3D& b) const;  // this x b: X Cross Y = Z
  VECTOR3D operator+(const VECTOR3D& b) const;
  VECTOR3D operator-(const VECTOR3D& b) const;
  VECTOR3D operator*(float k) const;
  VECTOR3D operator/(float k) const;  // three true divisions, not x (1 / k)
  // (x, y, z, 1) x M: row 3 is added as the translation, column 3 is never
  // read, and nothing is divided by w.
  VECTOR3D operator*(const MATRIX4D& M) const;
  VECTOR3D& operator*=(const MATRIX4D& M);
  float Length() const;  // sqrtf of the float sum of squares
  void Normalize();      // no test for length 0: the result is then NaN or inf
};

// A colour value 0x00BBGGRR as four bytes: red first in memory.
struct COLOR {
  unsigned char r, g, b, reserved;

  COLOR(unsigned long value);   // r = bits 0-7, g = 8-15, b = 16-23, reserved = 24-31
  COLOR(unsigned char* bytes);  // r, g, b, reserved = bytes[0], [1], [2], [3]
};

// ---- 2. Render state ------------------------------------------------------
// Whoever changes World or View calls UpdateCamera before the next Polygon3D,
// and World stays unchanged while polygons are drawn with it (they are lit in
// world space).

extern MATRIX4D World;                // model to world
extern MATRIX4D View;                 // world to camera
extern MATRIX4D Matrix;               // World x View, as of the last UpdateCamera
extern float CXCamera;                // drawing surface width in pixels (1.0 until set)
extern float CYCamera;                // height in pixels
extern float MultiplyX;               // view x is divided by z x MultiplyX
extern float MultiplyY;               // view y is divided by z x MultiplyY
extern float NearClip;                // a vertex must lie strictly beyond this view z (0.3f)
extern VECTOR3D Light;                // position (kLightPoint) or direction (kLightDirectional)
extern float LightAmb;                // ambient term added to each channel's gain
extern float LightR, LightG, LightB;  // gains of the light intensity

// The light model of the next polygon, LightType, defined by Main.
int getLightType();
constexpr int kLightNone = 0;         // the colour as given
constexpr int kLightDirectional = 1;  // Light is the direction the light travels
constexpr int kLightPoint = 2;        // Light is the point light's position

// ---- 3. Camera ------------------------------------------------------------

// Surface size in pixels and the projection factors for a field of `angle`
// radians: MultiplyX = 2 / cos(angle / 2), MultiplyY = MultiplyX x cy / cx.
void SetCameraProjection(float cx, float cy, float angle);
void UpdateCamera();  // Matrix = World x View

// ---- 4. Pipeline ----------------------------------------------------------

// Draws one flat polygon given in model space on `hdc`, or nothing when a
// vertex is not beyond NearClip or the first three vertices run clockwise (or
// are collinear) on the screen. Vertices are never clipped: the points go to
// Polygon as they are. The colour is shaded by the light model unless there are
// fewer than three vertices; a negative count draws nothing.
void Polygon3D(HDC hdc, COLOR color, int count, const VECTOR3D* vertices);

// ---- 5. The record ----------------------------------------------------------
// Tools that show how a frame is made (the recorder's trace, the page's
// inspector, the guide) set one listener; Polygon3D then reports every call to
// it, in the pipeline's own numbers, just before it returns. The program never
// sets it. With none set the pipeline costs one branch a call more.

enum POLYGONFATE {
  kFatePainted = 0,         // handed to Polygon (which may paint no pixel)
  kFateNearPlane = 1,       // a vertex not beyond NearClip: dropped whole
  kFateBackFace = 2,        // c.z <= 0: clockwise or collinear on the screen
  kFateTooFewVertices = 3,  // fewer than three vertices: handed to Polygon unlit, paints nothing
};

// One call, valid only while the listener runs: copy what is kept. `view` has
// `reached` entries, the vertices the pipeline transformed before it decided
// the fate: all `count` for a painted polygon, up to and including the failing
// one at the near plane, three at the back-face test. `screen` and `points`
// have one entry for each vertex projected: `reached`, less the failing one at
// the near plane (`points` has all `count` when painted).
struct POLYGON3DRECORD {
  int index;                 // calls since the listener was set or the frame restarted
  int count;                 // as passed
  const VECTOR3D* vertices;  // model space, `count` of them, as passed
  int reached;
  const VECTOR3D* view;    // vertices x Matrix
  const VECTOR2D* screen;  // (sx, sy) in pixels as floats, before truncation
  const POINT* points;     // their truncated pixels, as handed to Polygon
  POLYGONFATE fate;
  int nearVertex;     // kFateNearPlane: the vertex whose view z failed; else -1
  float cullZ;        // c.z of the back-face test, when it ran (vertex 2 projected); else 0
  int lightType;      // getLightType() as taken at the start of the call
  bool lit;           // painted and shaded: the fields below are set
  VECTOR3D normal;    // unit normal in world space (away from the visible side)
  VECTOR3D centroid;  // kLightPoint: the model-space centroid x World
  float distance;     // kLightPoint: |centroid - Light|
  float intensity;    // I: N . L / distance^2, or N . Light for kLightDirectional
  COLORREF colorIn;   // as passed, 0x00BBGGRR with byte 3 as it came
  COLORREF colorOut;  // the brush's colour (colorIn when not lit)
};

typedef void (*POLYGON3DLISTENER)(void* context, const POLYGON3DRECORD& record);

// Sets the listener (null stops reporting) and restarts the call index at 0.
void SetPolygon3DListener(POLYGON3DLISTENER listener, void* context);
// Restarts the call index at 0: a tool calls it where a frame begins.
void RestartPolygon3DIndex();

// Float to int, truncating toward zero. NaN gives 0 and values beyond the int
// range give its nearest end; the plain cast would be undefined for both.
int TruncateToInt(double value);

#endif  // ORVIX_DRAW_H
