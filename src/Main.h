// Main: the scene, the frame and the program's entry, in the order a run uses
// them: the cube's vertices and the room's grids, the frame update, the frame
// with its pacing, and the window procedure with WinMain.
#ifndef ORVIX_MAIN_H
#define ORVIX_MAIN_H

#include "Draw.h"

// The light model Polygon3D applies: kLightNone, kLightDirectional or kLightPoint.
extern int LightType;

// The scene's constants.
constexpr int kBlockSize = 512;             // the back buffer is kBlockSize x kBlockSize pixels
constexpr float kFieldOfView = 1.0471976f;  // pi / 3, the projection's angle
constexpr float kLightAmbient = 0.5f;       // LightAmb
constexpr float kLightGain = 10.0f;         // LightR, LightG and LightB
constexpr int kRoomTiles = 10;              // tiles a side on each face of the room
// The cube's faces, in the order of VBCube.
constexpr unsigned long kCubeColors[6] = {0xFF0000, 0x00FF00, 0x0000FF,
                                          0xFFFF00, 0x00FFFF, 0xFF00FF};

// The cube of half-size 1 about its origin: six quads, face k at 4k .. 4k + 3,
// each wound to be seen from outside. Filled by static initialisation.
extern VECTOR3D VBCube[24];

// The back buffer: a kBlockSize x kBlockSize bitmap in a memory DC with the null pen,
// made while the window is created and kept until the process ends.
extern HDC hBlockDC;
extern HBITMAP hBlockBitmap;

// One face of the room as countU x countV tiles from `from` to `to`, each a
// Polygon3D call on hBlockDC with World translated to the tile. DrawFloor
// splits the corner difference as U = (dx, 0, 0), V = (0, dy, dz); DrawWall as
// U = (dx, dy, 0), V = (0, 0, dz). Tile (i, j) lies at from + i U + j V, drawn
// with i in the outer loop.
void DrawFloor(int countU, int countV, VECTOR3D* from, const VECTOR3D* to, unsigned long color);
void DrawWall(int countU, int countV, VECTOR3D* from, const VECTOR3D* to, unsigned long color);
// Their arithmetic, each result rounded once to float: a component of U or V,
// (to - from) / count; and a component of tile (i, j)'s translation, index x
// step + corner.
float TileStep(float to, float from, int count);
float TileOffset(int index, float step, float corner);

// One face of the room: DrawFloor or DrawWall from `from` to `to`, with
// corners chosen so that every tile faces inwards.
struct RoomFace {
  bool horizontal;  // the floor or the ceiling, drawn by DrawFloor; else a wall, by DrawWall
  float from[3];
  float to[3];
  unsigned long color;
};
// The six faces, from -55 to +55 on every axis: the walls x = -55, x = +55,
// y = +55, y = -55, then the floor (z = +55) and the ceiling (z = -55).
extern const RoomFace kRoom[6];

// The room: every face of kRoom as tiles x tiles quads in its own colour. The
// frame draws it with kRoomTiles tiles a side.
void DrawRoom(int tiles);

// One step of the cube along one axis: jitter the velocity by
// ((random mod 3) - 1) / 5, hold it within +-3, and bounce at +-50 (position
// pulled back to the line, velocity negated). `random` is a rand() result.
void StepCubeAxis(float* position, float* velocity, int random);

// Renders one frame into the back buffer and advances the scene one step:
// keys, camera, the room lit from the cube, then the cube bounced, placed
// where it stands, moved on (its new place lights the next frame) and drawn.
void UpdateBlock();

// One frame: UpdateBlock, the copy to the window, then the wait that keeps
// frames on a 33 ms grid of the tick count.
void GameLoop();

LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

#endif  // ORVIX_MAIN_H
