// A frame's record, as Polygon3D reports it: every call with its fate and
// numbers, kept for tools that show how a frame is made (the recorder's
// trace, the page's inspector, the guide, tests), and written as JSON Lines.
//
// The JSON is the trace format documented in docs/RECORDING.md: one "frame"
// line, then one "call" line per Polygon3D call. Floats are printed with nine
// significant digits (enough to read back the same float) by the C library's
// printf, so the same frame gives the same bytes on every machine; a value
// that is not finite is null.
#ifndef ORVIX_SUPPORT_FRAME_RECORD_H
#define ORVIX_SUPPORT_FRAME_RECORD_H

#include <cstdint>
#include <string>
#include <vector>

#include "Draw.h"

namespace support {

constexpr int kTraceVersion = 1;

// One call, copied out of the listener's view of it.
struct CallRecord {
  int index = 0;
  POLYGONFATE fate = kFatePainted;
  std::vector<VECTOR3D> model;   // all vertices as passed
  std::vector<VECTOR3D> view;    // the vertices reached
  std::vector<VECTOR2D> screen;  // (sx, sy) of the vertices projected
  std::vector<POINT> points;     // their truncated pixels
  int nearVertex = -1;
  float cullZ = 0.0f;
  bool cullTested = false;  // the back-face test ran (vertex 2 was projected)
  int lightType = 0;
  bool lit = false;
  VECTOR3D normal{0.0f, 0.0f, 0.0f};
  VECTOR3D centroid{0.0f, 0.0f, 0.0f};
  float distance = 0.0f;
  float intensity = 0.0f;
  COLORREF colorIn = 0;
  COLORREF colorOut = 0;
  VECTOR3D light{0.0f, 0.0f, 0.0f};           // Light during the call
  float translation[3] = {0.0f, 0.0f, 0.0f};  // World's row 3 during the call
};

// Where a call of the program's frame comes from, by its place in the
// drawing order: the room's faces tile by tile, then the cube's six faces.
struct CallOrigin {
  bool cube = false;
  int face = 0;       // kRoom's face, or the cube's face 0-5 (VBCube's order)
  int i = 0, j = 0;   // the tile, outer and inner index (room only)
  bool known = true;  // false past the cube's last face
};
CallOrigin OriginOf(int index);
std::string Describe(const CallOrigin& origin);  // "wall x = -55, tile (3, 7)", "cube face 2"

// What the frame shares, from the render state as the calls saw it.
struct FrameState {
  MATRIX4D view;
  DWORD tick = 0;                  // GetTickCount() as the frame was rendered
  VECTOR3D eye{0.0f, 0.0f, 0.0f};  // worked back from View
  double yaw = 0.0, pitch = 0.0;   // radians, worked back from View's direction
  VECTOR3D light{0.0f, 0.0f,
                 0.0f};  // where the room is lit from (Light at the first point-lit call)
  bool has_light = false;
  VECTOR3D cube{0.0f, 0.0f, 0.0f};  // where the cube stands (World's row 3 at its first face)
  bool has_cube = false;
};

struct FrameRecord {
  FrameState state;
  std::vector<CallRecord> calls;
  int Count(POLYGONFATE fate) const;
};

// Sets the Polygon3D listener while it lives and keeps the calls of the
// current frame. One at a time: there is one listener.
class FrameRecorder {
 public:
  FrameRecorder();
  ~FrameRecorder();
  FrameRecorder(const FrameRecorder&) = delete;
  FrameRecorder& operator=(const FrameRecorder&) = delete;

  // Forgets the calls so far and numbers the next call 0: call it where a
  // frame begins (for example right after a frame is presented).
  void Restart();
  // The frame so far, with its shared state read from the render state now.
  FrameRecord Take();
  // That shared state alone, without copying the calls.
  FrameState State() const;
  const std::vector<CallRecord>& calls() const { return calls_; }

 private:
  static void Listen(void* context, const POLYGON3DRECORD& record);
  std::vector<CallRecord> calls_;
  FrameState state_;
};

// The painted calls replayed onto a cleared width x height bitmap through the
// software GDI, calls [0, upto] (all when upto < 0): pixels 0x00BBGGRR, rows
// top-down.
std::vector<std::uint32_t> Replay(const FrameRecord& frame, int upto = -1, int width = 512,
                                  int height = 512);
// The painted calls (after, upto] added onto `pixels`, a width x height bitmap
// that holds the replay of calls [0, after]: a picture built up step by step
// without replaying each step from the start.
void ReplayOnto(std::uint32_t* pixels, const FrameRecord& frame, int after, int upto, int width,
                int height);

// One trace line each, without the newline. `keys` names the keys held for
// this frame (the recorder's names), `tick` is GetTickCount at the frame.
std::string FrameLine(int frame, unsigned long tick, const std::vector<std::string>& keys,
                      const FrameRecord& record);
std::string CallLine(int frame, const CallRecord& call);

}  // namespace support

#endif  // ORVIX_SUPPORT_FRAME_RECORD_H
