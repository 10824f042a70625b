#include "frame_record.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "Main.h"
#include "platform/gdi.h"

namespace support {

namespace {

FrameRecorder* g_recorder = nullptr;

constexpr int kRoomCalls = 6 * kRoomTiles * kRoomTiles;

// JSON text of a float: nine significant digits read back as the same float;
// not finite is null.
void Number(std::string& out, double v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  out += buf;
}

void Vec3(std::string& out, const VECTOR3D& v) {
  out += '[';
  Number(out, v.x);
  out += ',';
  Number(out, v.y);
  out += ',';
  Number(out, v.z);
  out += ']';
}

template <typename T, typename F>
void List(std::string& out, const std::vector<T>& items, F each) {
  out += '[';
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k) out += ',';
    each(items[k]);
  }
  out += ']';
}

// A colour value 0x00BBGGRR as CSS writes it, "#rrggbb"; byte 3 is never set
// by the program and is left out.
std::string Css(COLORREF c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<unsigned>(c & 0xFF),
                static_cast<unsigned>((c >> 8) & 0xFF), static_cast<unsigned>((c >> 16) & 0xFF));
  return buf;
}

const char* FateName(POLYGONFATE fate) {
  switch (fate) {
    case kFatePainted:
      return "painted";
    case kFateNearPlane:
      return "near-plane";
    case kFateBackFace:
      return "back-face";
    case kFateTooFewVertices:
      return "too-few-vertices";
  }
  return "unknown";
}

}  // namespace

CallOrigin OriginOf(int index) {
  CallOrigin o;
  if (index < 0 || index >= kRoomCalls + 6) {
    o.known = false;
  } else if (index < kRoomCalls) {
    o.face = index / (kRoomTiles * kRoomTiles);
    o.i = index / kRoomTiles % kRoomTiles;
    o.j = index % kRoomTiles;
  } else {
    o.cube = true;
    o.face = index - kRoomCalls;
  }
  return o;
}

std::string Describe(const CallOrigin& o) {
  if (!o.known) return "not a call of the program's frame";
  if (o.cube) return "cube face " + std::to_string(o.face);
  const RoomFace& f = kRoom[o.face];
  std::string name;
  for (int axis = 0; axis < 3; ++axis) {
    if (f.from[axis] != f.to[axis]) continue;
    const bool plus = f.from[axis] > 0;
    if (axis == 2) {
      name = plus ? "floor (z = +55)" : "ceiling (z = -55)";
    } else {
      name = std::string("wall ") + (axis == 0 ? "x" : "y") + (plus ? " = +55" : " = -55");
    }
  }
  return name + ", tile (" + std::to_string(o.i) + ", " + std::to_string(o.j) + ")";
}

int FrameRecord::Count(POLYGONFATE fate) const {
  int n = 0;
  for (const CallRecord& c : calls) n += c.fate == fate;
  return n;
}

FrameRecorder::FrameRecorder() {
  g_recorder = this;
  SetPolygon3DListener(&FrameRecorder::Listen, this);
}

FrameRecorder::~FrameRecorder() {
  SetPolygon3DListener(nullptr, nullptr);
  g_recorder = nullptr;
}

void FrameRecorder::Restart() {
  calls_.clear();
  state_ = FrameState{};
  RestartPolygon3DIndex();
}

void FrameRecorder::Listen(void* context, const POLYGON3DRECORD& r) {
  auto* self = static_cast<FrameRecorder*>(context);
  CallRecord c;
  c.index = r.index;
  c.fate = r.fate;
  c.model.assign(r.vertices, r.vertices + r.count);
  c.view.assign(r.view, r.view + r.reached);
  const int projected = r.fate == kFateNearPlane ? r.nearVertex : r.reached;
  c.screen.assign(r.screen, r.screen + projected);
  c.points.assign(r.points, r.points + projected);
  c.nearVertex = r.nearVertex;
  c.cullTested = projected >= 3;
  c.cullZ = r.cullZ;
  c.lightType = r.lightType;
  c.lit = r.lit;
  c.normal = r.normal;
  c.centroid = r.centroid;
  c.distance = r.distance;
  c.intensity = r.intensity;
  c.colorIn = r.colorIn;
  c.colorOut = r.colorOut;
  c.light = Light;
  for (int k = 0; k < 3; ++k) c.translation[k] = World.m[3][k];

  FrameState& s = self->state_;
  if (self->calls_.empty()) {
    s.view = View;
    s.tick = GetTickCount();  // the frame reads its clock before its first call
  }
  if (r.lightType == kLightPoint && !s.has_light) {
    s.light = Light;
    s.has_light = true;
  }
  if (!s.has_cube && OriginOf(r.index).cube) {
    s.cube = VECTOR3D(World.m[3][0], World.m[3][1], World.m[3][2]);
    s.has_cube = true;
  }
  self->calls_.push_back(std::move(c));
}

// Copy-constructed, not assigned: GCC 12 for aarch64 sees a null pointer in
// the assignment's destruction of the empty vector's elements.
FrameRecord FrameRecorder::Take() { return FrameRecord{State(), calls_}; }

FrameState FrameRecorder::State() const {
  FrameState s = state_;
  if (calls_.empty()) {
    s.view = View;
    s.tick = GetTickCount();
  }
  // View's columns 0-2 are -S, -U and the unit direction F, and its row 3 is
  // -(column . eye): the eye is -(sum of row-3 entry j times column j).
  const MATRIX4D& m = s.view;
  double eye[3] = {0, 0, 0};
  for (int j = 0; j < 3; ++j)
    for (int k = 0; k < 3; ++k) eye[k] -= double(m.m[3][j]) * m.m[k][j];
  s.eye =
      VECTOR3D(static_cast<float>(eye[0]), static_cast<float>(eye[1]), static_cast<float>(eye[2]));
  s.yaw = std::atan2(double(m.m[1][2]), double(m.m[0][2]));
  s.pitch = std::asin(std::fmax(-1.0, std::fmin(1.0, double(m.m[2][2]))));
  return s;
}

void ReplayOnto(std::uint32_t* pixels, const FrameRecord& frame, int after, int upto, int width,
                int height) {
  const HDC dc = gdi::CreateSurfaceDC(pixels, width, height);
  SelectObject(dc, GetStockObject(NULL_PEN));
  for (const CallRecord& c : frame.calls) {
    if (c.index > upto) break;
    if (c.index <= after || c.fate != kFatePainted) continue;
    const HBRUSH brush = CreateSolidBrush(c.colorOut);
    const HGDIOBJ previous = SelectObject(dc, brush);
    Polygon(dc, c.points.data(), static_cast<int>(c.points.size()));
    SelectObject(dc, previous);
    DeleteObject(brush);
  }
  DeleteDC(dc);
}

std::vector<std::uint32_t> Replay(const FrameRecord& frame, int upto, int width, int height) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, 0u);
  ReplayOnto(pixels.data(), frame, -1, upto < 0 ? INT_MAX : upto, width, height);
  return pixels;
}

std::string FrameLine(int frame, unsigned long tick, const std::vector<std::string>& keys,
                      const FrameRecord& r) {
  std::string out = "{\"type\":\"frame\",\"version\":" + std::to_string(kTraceVersion) +
                    ",\"frame\":" + std::to_string(frame) + ",\"tick\":" + std::to_string(tick) +
                    ",\"keys\":";
  List(out, keys, [&](const std::string& k) { out += "\"" + k + "\""; });
  out += ",\"eye\":";
  Vec3(out, r.state.eye);
  out += ",\"yaw\":";
  Number(out, r.state.yaw);
  out += ",\"pitch\":";
  Number(out, r.state.pitch);
  out += ",\"light\":";
  Vec3(out, r.state.light);
  out += ",\"cube\":";
  if (r.state.has_cube) {
    Vec3(out, r.state.cube);
  } else {
    out += "null";
  }
  out += ",\"calls\":" + std::to_string(r.calls.size());
  out += ",\"painted\":" + std::to_string(r.Count(kFatePainted));
  out += ",\"near_plane\":" + std::to_string(r.Count(kFateNearPlane));
  out += ",\"back_face\":" + std::to_string(r.Count(kFateBackFace));
  out += '}';
  return out;
}

std::string CallLine(int frame, const CallRecord& c) {
  std::string out = "{\"type\":\"call\",\"frame\":" + std::to_string(frame) +
                    ",\"index\":" + std::to_string(c.index) + ",\"origin\":\"" +
                    Describe(OriginOf(c.index)) + "\",\"fate\":\"" + FateName(c.fate) + "\"";
  out += ",\"model\":";
  List(out, c.model, [&](const VECTOR3D& v) { Vec3(out, v); });
  out += ",\"view\":";
  List(out, c.view, [&](const VECTOR3D& v) { Vec3(out, v); });
  out += ",\"screen\":";
  List(out, c.screen, [&](const VECTOR2D& v) {
    out += '[';
    Number(out, v.x);
    out += ',';
    Number(out, v.y);
    out += ']';
  });
  out += ",\"pixels\":";
  List(out, c.points,
       [&](const POINT& p) { out += "[" + std::to_string(p.x) + "," + std::to_string(p.y) + "]"; });
  if (c.fate == kFateNearPlane) out += ",\"near_vertex\":" + std::to_string(c.nearVertex);
  if (c.cullTested) {
    out += ",\"cull_z\":";
    Number(out, c.cullZ);
  }
  out += ",\"light_type\":" + std::to_string(c.lightType);
  if (c.lit) {
    out += ",\"light\":{\"position\":";
    Vec3(out, c.light);
    out += ",\"normal\":";
    Vec3(out, c.normal);
    if (c.lightType == kLightPoint) {
      out += ",\"centroid\":";
      Vec3(out, c.centroid);
      out += ",\"distance\":";
      Number(out, c.distance);
    }
    out += ",\"intensity\":";
    Number(out, c.intensity);
    out += '}';
  }
  out += ",\"color_in\":\"" + Css(c.colorIn) + "\",\"color_out\":\"" + Css(c.colorOut) + "\"}";
  return out;
}

}  // namespace support
