// Main: the room and the cube, the frame update, the frame pacing, the window
// procedure and WinMain.
#include "Main.h"

#include <cmath>
#include <cstdlib>

#include "Win.h"

int LightType;
int getLightType() { return LightType; }

HDC hBlockDC;
HBITMAP hBlockBitmap;

// ---- The cube -------------------------------------------------------------
// Faces: z = -1 (towards the ceiling), x = +1, z = +1 (towards the floor),
// x = -1, y = +1, y = -1.
VECTOR3D VBCube[24] = {
    VECTOR3D(-1, -1, -1), VECTOR3D(-1, 1, -1), VECTOR3D(1, 1, -1), VECTOR3D(1, -1, -1),
    VECTOR3D(1, -1, -1),  VECTOR3D(1, 1, -1),  VECTOR3D(1, 1, 1),  VECTOR3D(1, -1, 1),
    VECTOR3D(-1, -1, 1),  VECTOR3D(1, -1, 1),  VECTOR3D(1, 1, 1),  VECTOR3D(-1, 1, 1),
    VECTOR3D(-1, -1, -1), VECTOR3D(-1, -1, 1), VECTOR3D(-1, 1, 1), VECTOR3D(-1, 1, -1),
    VECTOR3D(-1, 1, -1),  VECTOR3D(-1, 1, 1),  VECTOR3D(1, 1, 1),  VECTOR3D(1, 1, -1),
    VECTOR3D(-1, -1, -1), VECTOR3D(1, -1, -1), VECTOR3D(1, -1, 1), VECTOR3D(-1, -1, 1),
};

// ---- The room's grids -----------------------------------------------------

// One tile edge component: the corner difference over the count, rounded once.
float TileStep(float to, float from, int count) {
  return static_cast<float>((double(to) - double(from)) / double(static_cast<float>(count)));
}

// index x step + corner, rounded once: a translation component of tile (i, j).
float TileOffset(int index, float step, float corner) {
  return static_cast<float>(double(static_cast<float>(index)) * step + corner);
}

namespace {

// Draws the grid of tiles spanned by U and V. A floor's y and z follow the
// inner index j; a wall's y follows the outer index i.
void DrawTiles(int countU, int countV, const VECTOR3D& from, const VECTOR3D& U, const VECTOR3D& V,
               bool wall, unsigned long color) {
  const VECTOR3D quad[4] = {VECTOR3D(0.0f, 0.0f, 0.0f), U, U + V, V};
  for (int i = 0; i < countU; ++i) {
    for (int j = 0; j < countV; ++j) {
      World.m[3][0] = TileOffset(i, U.x, from.x);
      World.m[3][1] = wall ? TileOffset(i, U.y, from.y) : TileOffset(j, V.y, from.y);
      World.m[3][2] = TileOffset(j, V.z, from.z);
      UpdateCamera();
      Polygon3D(hBlockDC, COLOR(color), 4, quad);
    }
  }
}

}  // namespace

void DrawFloor(int countU, int countV, VECTOR3D* from, const VECTOR3D* to, unsigned long color) {
  World.Identity();
  if (countU <= 0 || countV <= 0) return;
  const VECTOR3D U(TileStep(to->x, from->x, countU), 0.0f, 0.0f);
  const VECTOR3D V(0.0f, TileStep(to->y, from->y, countV), TileStep(to->z, from->z, countV));
  DrawTiles(countU, countV, *from, U, V, false, color);
}

void DrawWall(int countU, int countV, VECTOR3D* from, const VECTOR3D* to, unsigned long color) {
  World.Identity();
  if (countU <= 0 || countV <= 0) return;
  const VECTOR3D U(TileStep(to->x, from->x, countU), TileStep(to->y, from->y, countU), 0.0f);
  const VECTOR3D V(0.0f, 0.0f, TileStep(to->z, from->z, countV));
  DrawTiles(countU, countV, *from, U, V, true, color);
}

const RoomFace kRoom[6] = {
    {false, {-55, -55, -55}, {-55, 55, 55}, 0x808080},  // wall x = -55
    {false, {55, 55, -55}, {55, -55, 55}, 0xFF8000},    // wall x = +55
    {false, {-55, 55, -55}, {55, 55, 55}, 0x00FF80},    // wall y = +55
    {false, {55, -55, -55}, {-55, -55, 55}, 0x8000FF},  // wall y = -55
    {true, {55, -55, 55}, {-55, 55, 55}, 0x80FF00},     // floor, z = +55
    {true, {-55, -55, -55}, {55, 55, -55}, 0x0080FF},   // ceiling, z = -55
};

void DrawRoom(int tiles) {
  for (const RoomFace& face : kRoom) {
    VECTOR3D from(face.from[0], face.from[1], face.from[2]);
    const VECTOR3D to(face.to[0], face.to[1], face.to[2]);
    if (face.horizontal) {
      DrawFloor(tiles, tiles, &from, &to, face.color);
    } else {
      DrawWall(tiles, tiles, &from, &to, face.color);
    }
  }
}

// ---- The frame update -----------------------------------------------------

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTurn = 0.1f;              // radians per frame, 0.100000001 as a float
constexpr float kPitchLimit = 1.5393804f;  // 0.49 pi: never parallel to the up vector
constexpr float kEyeLimit = 50.0f;
constexpr float kCubeLimit = 50.0f;
constexpr float kSpeedLimit = 3.0f;

// a + b, evaluated in double and rounded once.
float Add(float a, double b) { return static_cast<float>(double(a) + b); }

}  // namespace

void StepCubeAxis(float* position, float* velocity, int random) {
  int k = random % 3;  // rand() is never negative; a negative argument still gives -1, 0 or 1
  if (k < 0) k += 3;
  *velocity = Add(*velocity, double(k - 1) / 5.0);
  if (*velocity > kSpeedLimit) {
    *velocity = kSpeedLimit;
  } else if (*velocity < -kSpeedLimit) {
    *velocity = -kSpeedLimit;
  }
  if (*position < -kCubeLimit) {
    *position = -kCubeLimit;
    *velocity = -*velocity;
  } else if (*position > kCubeLimit) {
    *position = kCubeLimit;
    *velocity = -*velocity;
  }
}

void UpdateBlock() {
  static int Init;
  static float XDir, ZDir;  // pitch (positive looks down) and yaw, radians
  static float x, y;        // the eye; its z is always 0
  static float CubeX, CubeY, CubeZ;
  static float CubeAX, CubeAY, CubeAZ;  // scene units per frame
  static const RECT kClear = {0, 0, kBlockSize, kBlockSize};

  if (Init == 0) {
    SetCameraProjection(float(kBlockSize), float(kBlockSize), kFieldOfView);
    LightAmb = kLightAmbient;
    LightR = kLightGain;
    LightG = kLightGain;
    LightB = kLightGain;
    Init = 1;
  }

  // One turn every 2000 ms, from the clock alone: (t mod 2000) x pi / 1000.
  const DWORD t = GetTickCount();
  const float spin = static_cast<float>(double(t % 2000u) * kPi / 1000.0);

  FillRect(hBlockDC, &kClear, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

  // Each key is polled once; any nonzero result counts, so a tap between two
  // frames is seen too.
  if (GetAsyncKeyState(VK_LEFT)) ZDir = Add(ZDir, -double(kTurn));
  if (GetAsyncKeyState(VK_RIGHT)) ZDir = Add(ZDir, double(kTurn));
  if (GetAsyncKeyState(VK_UP)) XDir = Add(XDir, -double(kTurn));
  if (GetAsyncKeyState(VK_DOWN)) XDir = Add(XDir, double(kTurn));
  if (XDir > kPitchLimit) XDir = kPitchLimit;
  if (XDir < -kPitchLimit) XDir = -kPitchLimit;

  const float cos_x = cosf(XDir);
  const VECTOR3D direction(static_cast<float>(double(cos_x) * cosf(ZDir)),
                           static_cast<float>(double(cos_x) * sinf(ZDir)), sinf(XDir));

  // Walking keeps the eye's height: a third of the horizontal view direction.
  if (GetAsyncKeyState(VK_SPACE)) {
    x = Add(x, double(direction.x) / 3.0);
    y = Add(y, double(direction.y) / 3.0);
  }
  if (x < -kEyeLimit) {
    x = -kEyeLimit;
  } else if (x > kEyeLimit) {
    x = kEyeLimit;
  }
  if (y < -kEyeLimit) {
    y = -kEyeLimit;
  } else if (y > kEyeLimit) {
    y = kEyeLimit;
  }

  const VECTOR3D up(0.0f, 0.0f, -1.0f);  // +z is down on the screen
  const VECTOR3D eye(x, y, 0.0f);
  View.LookAt(&eye, &direction, &up);

  // The room, lit from where the previous frame left the cube.
  LightType = kLightPoint;
  DrawRoom(kRoomTiles);

  // The cube: jitter, limit and bounce per axis (rand() in the order x, y, z),
  // drawn where it stands before this frame's move, then moved.
  StepCubeAxis(&CubeX, &CubeAX, rand());
  StepCubeAxis(&CubeY, &CubeAY, rand());
  StepCubeAxis(&CubeZ, &CubeAZ, rand());
  World.Identity();
  World.m[3][0] = CubeX;
  World.m[3][1] = CubeY;
  World.m[3][2] = CubeZ;
  CubeX = CubeX + CubeAX;
  CubeY = CubeY + CubeAY;
  CubeZ = CubeZ + CubeAZ;
  World.MulRotationZ(spin);  // keeps the translation: the cube turns about its centre
  World.MulRotationY(spin);

  // The cube is unlit; the light moves with it and lights the next frame's room.
  LightType = kLightNone;
  Light = VECTOR3D(CubeX, CubeY, CubeZ);
  UpdateCamera();
  for (int i = 0; i < 6; ++i) Polygon3D(hBlockDC, COLOR(kCubeColors[i]), 4, &VBCube[4 * i]);
}

// ---- The frame and its pacing ---------------------------------------------

void GameLoop() {
  static bool started;
  static DWORD NextTime;  // tick count at which the next frame is due; wraps
  if (!started) {
    NextTime = GetTickCount();
    started = true;
  }
  const HDC window_dc = GetDC(g_hWnd);
  UpdateBlock();
  BitBlt(window_dc, 0, 0, kBlockSize, kBlockSize, hBlockDC, 0, 0, SRCCOPY);
  Sleep(1);
  ReleaseDC(g_hWnd, window_dc);
  // Unsigned: a late frame makes the lead huge, which restarts the grid.
  const DWORD lead = NextTime - GetTickCount();
  if (lead > 66) {
    NextTime = GetTickCount();
  } else if (lead > 0) {
    Sleep(lead);
  }
  NextTime += 33;
}

// ---- Window procedure and entry -------------------------------------------

LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      // g_hWnd is not set yet: CreateWindowExA has not returned.
      const HDC window_dc = GetDC(hWnd);
      hBlockDC = CreateCompatibleDC(window_dc);
      hBlockBitmap = CreateCompatibleBitmap(window_dc, kBlockSize, kBlockSize);
      SelectObject(hBlockDC, GetStockObject(NULL_PEN));
      SelectObject(hBlockDC, hBlockBitmap);
      ReleaseDC(hWnd, window_dc);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hWnd, message, wParam, lParam);
  }
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  g_hInstance = hInstance;
  if (!OpenWindow()) return -1;
  return MessageLoop(GameLoop);
}
