// orvix-guide: the numbers and drawings behind docs/HOW-IT-WORKS.md, taken
// from the running program. scripts/docs runs it; each run is one recording,
// made as orvix-capture makes it, so that its frame N is orvix-capture's.
//
//   orvix-guide counts LABEL --frames N [--keys S]  one row of the culling table
//   orvix-guide labels --frames N [--keys S]        draw commands naming what frame N shows
//   orvix-guide plan X0,Y0,X1,Y1 --frames N [--keys S]
//                                                   draw commands of frame N's room seen from
//                                                   above, that window of the floor
//   orvix-guide fill-rule X,Y,W,H --frames N [--keys S]
//                                                   draw commands of frame N's pixels in that
//                                                   rectangle, magnified, with lattice points and
//                                                   polygon edges
//   orvix-guide light --frames N [--keys S]         where frame N lights the room from and
//                                                   where it draws the cube
//   orvix-guide crack --frames N [--keys S]         draw commands of a crack of frame N's room,
//                                                   magnified (as fill-rule): pixels left empty
//                                                   between the two tiles of a corner inside a
//                                                   face's grid that they put at two pixels
//   orvix-guide fill-demo                           draw commands of the fill worked by hand:
//                                                   a triangle and a star, magnified
//   orvix-guide facts NAME --frames N [--keys S] [--page URL]
//                                                   the numbers the guide works out from frame
//                                                   N, one "key<TAB>value" a line; NAME is
//                                                   projection, head-on, calls, near, walk,
//                                                   lit-wall, bounce, crack or fill. Each but
//                                                   fill adds link.N, where the pictures of
//                                                   frame N open in the page (a Markdown link,
//                                                   empty without the page's address); near
//                                                   and crack add near.link and crack.link, to
//                                                   the call they work through
//   orvix-guide link --frames N [--keys S] [--call K] [--page URL]
//                                                   the page's link to call K (default: the
//                                                   last) of frame N: #frame=N&keys=S&call=K
//                                                   after the page's address, if any
//
// The page's address is the build's ORVIX_WEB_PAGE_URL (none by default);
// --page overrides it, and --page '' leaves it out. Every fate, count and
// pipeline number comes from the frame's record, as Polygon3D reports it.
//
// Draw commands are ImageMagick's MVG, written to standard output for
// convert ... -draw "$(orvix-guide ...)" (Debian's ImageMagick policy refuses
// -draw @FILE). Bad input: one line on stderr, exit 2; a frame that does
// not show what the guide says it does: exit 1.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "Main.h"
#include "capture/capture.h"
#include "frame_record.h"
#include "platform/headless.h"
#include "polygon_log.h"
#include "reference_fill.h"
#include "screen_projection.h"
#include "test_surface.h"
#include "workloads.h"

namespace {

constexpr const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr double kPi = 3.14159265358979323846;

[[noreturn]] void Fail(int status, const std::string& message) {
  std::cerr << "orvix-guide: " << message << '\n';
  std::exit(status);
}

// ---- Frame N of a recording ----------------------------------------------

// A frame that lights the room from elsewhere than where it draws the cube:
// the cube bounced at +-50 in the frame before.
struct Bounce {
  int frame;
  VECTOR3D lit;    // where the room was lit from
  VECTOR3D drawn;  // where the cube was drawn
};

struct Frame {
  support::FrameRecord record;        // frame N's calls, as Polygon3D reported them
  VECTOR3D light;                     // where frame N lights the room from
  VECTOR3D cube_at;                   // where frame N draws the cube
  std::vector<Bounce> bounces;        // frames 1 to N where the two differ
  std::vector<VECTOR3D> eyes;         // where frames 1 to N put the eye
  std::vector<std::uint32_t> pixels;  // as presented, 0x00BBGGRR
  const MATRIX4D& view() const { return record.state.view; }
};

// The program's own loop on the headless backend, as orvix-capture runs it
// (the same clock, keys and frames), with the pipeline's record of each frame.
Frame RecordFrame(int frames, const capture::KeyScript& keys) {
  Frame f;
  support::FrameRecorder recorder;
  const int status = capture::Play(frames, 0, keys, [&](int frame, const std::uint32_t* pixels) {
    const support::FrameState state = recorder.State();
    if (!state.has_light || !state.has_cube) Fail(1, "a frame drew no lit room or no cube");
    if (state.light.x != state.cube.x || state.light.y != state.cube.y ||
        state.light.z != state.cube.z)
      f.bounces.push_back({frame, state.light, state.cube});
    f.eyes.push_back(state.eye);
    if (frame == frames) {
      f.record = recorder.Take();
      f.light = state.light;
      f.cube_at = state.cube;
      f.pixels.assign(pixels, pixels + kBlockSize * kBlockSize);
    }
    recorder.Restart();
  });
  if (status != 0 || headless::FramesPresented() != frames) Fail(1, "the program did not run");
  if (f.record.calls.size() != static_cast<std::size_t>(capture::kMaxBuildUp))
    Fail(1, "frame " + std::to_string(frames) + " made " + std::to_string(f.record.calls.size()) +
                " calls, not one a tile and a cube face");
  return f;
}

// A window of the floor plan, in scene units, drawn 400 pixels across.
struct PlanWindow {
  double x0, y0, x1, y1;
  double Scale() const { return 400 / std::max(x1 - x0, y1 - y0); }
  double X(double x) const { return 20 + (x - x0) * Scale(); }
  double Y(double y) const { return 20 + (y - y0) * Scale(); }
};

// The published page's address, from the build (ORVIX_WEB_PAGE_URL); empty
// when none is configured.
#ifndef ORVIX_GUIDE_PAGE_URL
#define ORVIX_GUIDE_PAGE_URL ""
#endif

// What the command line asks for.
struct Request {
  std::string label;  // counts' label
  int crop[4] = {};   // fill-rule's rectangle
  PlanWindow window{};
  int frames = 1;
  std::string keys_text;  // as given, in the recorder's syntax
  capture::KeyScript keys;
  int call = -1;                            // link: the call to open; -1: the frame's last
  std::string page = ORVIX_GUIDE_PAGE_URL;  // link and facts: the published page
};

void LinkFact(const std::string& key, const Request& r, int call);

// ---- The room's tiles, from the frame's record --------------------------------

// The names of the room's faces, in the order of kRoom.
const char* const kFaceNames[6] = {"wall x = −55", "wall x = +55",  "wall y = +55",
                                   "wall y = −55", "floor z = +55", "ceiling z = −55"};

enum class Fate {
  kNear,       // dropped at the near plane
  kAway,       // dropped by the back-face test
  kOffScreen,  // handed to Polygon, paints nothing
  kPainted,    // paints pixels
};

struct Tile {
  int face;
  int i, j;             // its place in the face's grid, as DrawTiles counts
  VECTOR3D corners[4];  // world space, in the order of the quad
  Fate fate;
  const support::CallRecord* call;  // its record
  int pixels = 0;                   // how many it paints
};

// Every tile of frame `f`'s room and what became of it, as the pipeline
// recorded it; a painted tile is filled alone to count its pixels. `counts`
// gets how many tiles paint each pixel, `owner` the index of the last tile
// that paints it (-1: none).
std::vector<Tile> Tiles(const Frame& f, std::vector<int>* counts,
                        std::vector<int>* owner = nullptr) {
  support::BufferSurface scratch(kBlockSize, kBlockSize);
  counts->assign(kBlockSize * kBlockSize, 0);
  if (owner) owner->assign(kBlockSize * kBlockSize, -1);
  std::vector<Tile> tiles;
  for (const support::CallRecord& c : f.record.calls) {
    const support::CallOrigin origin = support::OriginOf(c.index);
    if (origin.cube || !origin.known) continue;
    if (c.model.size() != 4) Fail(1, "a tile's call is not a quad");
    Tile t;
    t.face = origin.face;
    t.i = origin.i;
    t.j = origin.j;
    t.call = &c;
    // OriginOf names the tile by the call's place in the frame; its
    // translation, as DrawTiles works it out, says it is that tile.
    const RoomFace& face = kRoom[t.face];
    const auto offset = [&](int axis, int index) {
      return TileOffset(index, TileStep(face.to[axis], face.from[axis], kRoomTiles),
                        face.from[axis]);
    };
    const VECTOR3D at(c.translation[0], c.translation[1], c.translation[2]);
    if (at.x != offset(0, t.i) || at.y != offset(1, face.horizontal ? t.j : t.i) ||
        at.z != offset(2, t.j))
      Fail(1, "call " + std::to_string(c.index) + " is not the tile the drawing order puts there");
    // The tile's World is the identity translated: model + row 3 is exact.
    for (int k = 0; k < 4; ++k) t.corners[k] = c.model[k] + at;
    switch (c.fate) {
      case kFateNearPlane:
        t.fate = Fate::kNear;
        break;
      case kFateBackFace:
        t.fate = Fate::kAway;
        break;
      case kFatePainted: {
        std::fill(scratch.pixels(), scratch.pixels() + kBlockSize * kBlockSize, 0u);
        support::PolygonList alone;
        alone.Add(c.points.data(), static_cast<int>(c.points.size()), 1);
        support::FillThroughGdi(scratch.dc(), alone);
        for (int p = 0; p < kBlockSize * kBlockSize; ++p) {
          if (scratch.buffer()[p] == 0) continue;
          ++t.pixels;
          ++(*counts)[p];
          if (owner) (*owner)[p] = static_cast<int>(tiles.size());
        }
        t.fate = t.pixels > 0 ? Fate::kPainted : Fate::kOffScreen;
        break;
      }
      default:
        Fail(1, "a tile has too few vertices");
    }
    tiles.push_back(t);
  }
  if (tiles.size() != std::size(kRoom) * kRoomTiles * kRoomTiles)
    Fail(1, "the frame's record does not hold every tile");
  return tiles;
}

// The cube's faces that the frame hands to Polygon.
int CubeFacesDrawn(const Frame& f) {
  int n = 0;
  for (const support::CallRecord& c : f.record.calls)
    n += support::OriginOf(c.index).cube && c.fate == kFatePainted;
  return n;
}

// ---- counts: one row of the table ---------------------------------------------

void Counts(const Frame& f, const Request& r) {
  std::vector<int> counts;
  const std::vector<Tile> tiles = Tiles(f, &counts);
  int fates[4] = {};
  for (const Tile& t : tiles) ++fates[static_cast<int>(t.fate)];
  const int empty = static_cast<int>(std::count(counts.begin(), counts.end(), 0));
  const int twice =
      static_cast<int>(std::count_if(counts.begin(), counts.end(), [](int c) { return c > 1; }));
  std::cout << "| " << r.label << " | " << fates[static_cast<int>(Fate::kNear)] << " | "
            << fates[static_cast<int>(Fate::kAway)] << " | "
            << fates[static_cast<int>(Fate::kOffScreen)] << " | "
            << fates[static_cast<int>(Fate::kPainted)] << " | " << CubeFacesDrawn(f) << " of 6 | "
            << empty << " | " << twice << " |\n";
}

// ---- MVG helpers ------------------------------------------------------------------

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Text with a dark outline, readable on any colour of the room.
void Label(double x, double y, const std::string& text, const char* anchor = "middle") {
  std::printf("push graphic-context\ntext-anchor %s\n", anchor);
  std::printf("stroke '#000000' stroke-width 3 fill '#000000' text %.1f,%.1f %s\n", x, y,
              Quoted(text).c_str());
  std::printf("stroke none fill '#FFFFFF' text %.1f,%.1f %s\n", x, y, Quoted(text).c_str());
  std::printf("pop graphic-context\n");
}

void Arrow(double x0, double y0, double x1, double y1, const char* color) {
  const double dx = x1 - x0, dy = y1 - y0, len = std::hypot(dx, dy);
  if (len < 1) return;
  const double ux = dx / len, uy = dy / len, head = 10, wing = 5;
  std::printf("push graphic-context\nstroke '%s' stroke-width 3 fill none\n", color);
  std::printf("line %.1f,%.1f %.1f,%.1f\n", x0, y0, x1 - ux * head * 0.6, y1 - uy * head * 0.6);
  std::printf("stroke none fill '%s'\npolygon %.1f,%.1f %.1f,%.1f %.1f,%.1f\n", color, x1, y1,
              x1 - ux * head - uy * wing, y1 - uy * head + ux * wing, x1 - ux * head + uy * wing,
              y1 - uy * head - ux * wing);
  std::printf("pop graphic-context\n");
}

// Where frame `f` shows a world point, in pixels; false behind the near plane.
bool Screen(const Frame& f, const VECTOR3D& world, double* x, double* y) {
  const VECTOR3D v = world * f.view();
  if (!(v.z > NearClip)) return false;
  *x = support::ScreenX(v.x, v.z);
  *y = support::ScreenY(v.y, v.z);
  return true;
}

bool OnScreen(double x, double y, double margin) {
  return x >= margin && y >= margin && x <= kBlockSize - margin && y <= kBlockSize - margin;
}

// ---- labels: what frame N shows, named ------------------------------------------

// Where labels went, roughly (15-pixel DejaVu Sans averages under 9
// pixels a character), so that the next one can keep clear.
struct Box {
  double left, top, right, bottom;
};

Box LabelBox(double x, double y, const std::string& text, const char* anchor) {
  const double width = 9.0 * static_cast<double>(text.size());
  const double left = std::string(anchor) == "start" ? x
                      : std::string(anchor) == "end" ? x - width
                                                     : x - width / 2;
  return {left - 4, y - 16, left + width + 4, y + 6};
}

bool Overlaps(const std::vector<Box>& boxes, const Box& b) {
  return std::any_of(boxes.begin(), boxes.end(), [&](const Box& a) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
  });
}

void Labels(const Frame& f, const Request&) {
  std::vector<int> counts;
  const std::vector<Tile> tiles = Tiles(f, &counts);
  std::printf("font %s\nfont-size 15\n", Quoted(kFont).c_str());
  std::vector<Box> placed;
  const auto label = [&](double x, double y, const std::string& text, const char* anchor) {
    Label(x, y, text, anchor);
    placed.push_back(LabelBox(x, y, text, anchor));
  };

  // The axes, 30 units long from the middle of the room.
  double ox = -1e9, oy = -1e9;
  if (Screen(f, VECTOR3D(0, 0, 0), &ox, &oy)) {
    const struct {
      VECTOR3D tip;
      const char* name;
      const char* color;
    } axes[3] = {{{30, 0, 0}, "+x", "#FF5050"},
                 {{0, 30, 0}, "+y", "#50FF50"},
                 {{0, 0, 30}, "+z", "#70A0FF"}};
    for (const auto& axis : axes) {
      double x, y;
      if (!Screen(f, axis.tip, &x, &y)) continue;
      Arrow(ox, oy, x, y, axis.color);
      const double len = std::hypot(x - ox, y - oy);
      label(x + (x - ox) / len * 16, y + (y - oy) / len * 16 + 5, axis.name, "middle");
      placed.push_back(
          {std::min(ox, x) - 6, std::min(oy, y) - 6, std::max(ox, x) + 6, std::max(oy, y) + 6});
    }
    label(ox, oy - 12, "(0, 0, 0), mid-room", "middle");
  }

  // The cube, with the light it carries, labelled towards the middle.
  double cx, cy;
  if (Screen(f, f.light, &cx, &cy) && OnScreen(cx, cy, 0)) {
    const bool left = cx < kBlockSize / 2;
    const double lx = cx + (left ? 30 : -30), ly = cy + (cy < 80 ? 40 : -40);
    std::printf("push graphic-context\nstroke '#FFFFFF' stroke-width 1.5\n");
    std::printf("line %.1f,%.1f %.1f,%.1f\npop graphic-context\n", cx, cy, lx, ly);
    label(lx, ly + (ly > cy ? 14 : -4), "the cube, carrying the light", left ? "start" : "end");
    placed.push_back({std::min(cx, lx) - 14, std::min(cy, ly) - 14, std::max(cx, lx) + 14,
                      std::max(cy, ly) + 14});
  }

  // Each face named at the painted tile nearest the middle of its painted
  // tiles where the name fits: whole on the frame, clear of the other labels.
  for (int k = 0; k < 6; ++k) {
    const std::string name = kFaceNames[k];
    struct Spot {
      double x, y;
      const char* anchor;
    };
    std::vector<Spot> spots;
    for (const Tile& t : tiles) {
      if (t.face != k || t.fate != Fate::kPainted) continue;
      double x, y;
      const VECTOR3D centre = (t.corners[0] + t.corners[2]) * 0.5f;
      if (!Screen(f, centre, &x, &y) || !OnScreen(x, y, 20)) continue;
      Spot spot{x, y + 5, "middle"};
      if (x < 70) spot = {6, y + 5, "start"};
      if (x > kBlockSize - 70) spot = {kBlockSize - 6.0, y + 5, "end"};
      if (!Overlaps(placed, LabelBox(spot.x, spot.y, name, spot.anchor))) spots.push_back(spot);
    }
    if (spots.empty()) continue;
    double mx = 0, my = 0;
    for (const Spot& s : spots) mx += s.x, my += s.y;
    mx /= spots.size(), my /= spots.size();
    const Spot& best = *std::min_element(spots.begin(), spots.end(), [&](auto& a, auto& b) {
      return std::hypot(a.x - mx, a.y - my) < std::hypot(b.x - mx, b.y - my);
    });
    label(best.x, best.y, name, best.anchor);
  }
}

// ---- plan: the room from above ---------------------------------------------------------

const char* FateColor(Fate fate) {
  switch (fate) {
    case Fate::kNear:
      return "#E03C31";
    case Fate::kAway:
      return "#7B3FA0";
    case Fate::kOffScreen:
      return "#C8C8C8";
    case Fate::kPainted:
      return "#4CAF50";
  }
  return "#000000";
}

// Looking down on the room, x to the right and y down the page (+z, down in
// the room, points into the page): the floor's grid, and each wall's columns
// as a bar along the room's outline, coloured by the fate of the tile at the
// eye's height (with the view level, every tile of a column shares it).
// 440 x 530 pixels: the plan, then the legend.
void Plan(const Frame& f, const Request& r) {
  const PlanWindow& w = r.window;
  std::vector<int> counts;
  const std::vector<Tile> tiles = Tiles(f, &counts);
  std::printf("font %s\nfont-size 14\nstroke-antialias 1\n", Quoted(kFont).c_str());
  const double step = 110.0 / kRoomTiles;
  std::printf("push graphic-context\nstroke '#D0D0D0' stroke-width 1\n");
  for (int k = 0; k <= kRoomTiles; ++k) {
    const double c = -55 + k * step;
    std::printf("line %.1f,%.1f %.1f,%.1f\n", w.X(c), w.Y(-55), w.X(c), w.Y(55));
    std::printf("line %.1f,%.1f %.1f,%.1f\n", w.X(-55), w.Y(c), w.X(55), w.Y(c));
  }
  std::printf("pop graphic-context\n");
  const double bar = 3;  // scene units
  for (const Tile& t : tiles) {
    if (kRoom[t.face].horizontal) continue;
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9, z0 = 1e9, z1 = -1e9;
    for (const VECTOR3D& c : t.corners) {
      x0 = std::min<double>(x0, c.x), x1 = std::max<double>(x1, c.x);
      y0 = std::min<double>(y0, c.y), y1 = std::max<double>(y1, c.y);
      z0 = std::min<double>(z0, c.z), z1 = std::max<double>(z1, c.z);
    }
    if (!(z0 <= 0 && 0 < z1)) continue;
    if (x0 == x1) (x0 < 0 ? x0 -= bar : x1 += bar);
    if (y0 == y1) (y0 < 0 ? y0 -= bar : y1 += bar);
    std::printf("stroke '#FFFFFF' stroke-width 1.5 fill '%s' rectangle %.1f,%.1f %.1f,%.1f\n",
                FateColor(t.fate), w.X(x0), w.Y(y0), w.X(x1), w.Y(y1));
  }

  // The eye, the view direction (the record works both out from View), the
  // field of view and the near plane.
  const support::FrameState& state = f.record.state;
  const double ex = state.eye.x, ey = state.eye.y;
  const double dx = std::cos(state.yaw), dy = std::sin(state.yaw);  // the view direction
  const double half = std::atan(MultiplyX / 2);  // the screen's edge: x / z = MultiplyX / 2
  const double far = 200;
  std::printf("push graphic-context\nstroke '#000000' stroke-width 1.5 stroke-dasharray 7 5\n");
  for (double side : {-1.0, 1.0}) {
    const double a = std::atan2(dy, dx) + side * half;
    std::printf("line %.1f,%.1f %.1f,%.1f\n", w.X(ex), w.Y(ey), w.X(ex + far * std::cos(a)),
                w.Y(ey + far * std::sin(a)));
  }
  std::printf("pop graphic-context\n");
  const double nx = ex + dx * NearClip, ny = ey + dy * NearClip;
  std::printf("push graphic-context\nstroke '#000000' stroke-width 2.5\n");
  std::printf("line %.1f,%.1f %.1f,%.1f\npop graphic-context\n", w.X(nx - dy * far),
              w.Y(ny + dx * far), w.X(nx + dy * far), w.Y(ny - dx * far));
  Arrow(w.X(ex), w.Y(ey), w.X(ex + dx * 4), w.Y(ey + dy * 4), "#000000");
  std::printf("push graphic-context\nstroke '#FFFFFF' stroke-width 2 fill '#000000'\n");
  std::printf("circle %.1f,%.1f %.1f,%.1f\npop graphic-context\n", w.X(ex), w.Y(ey), w.X(ex) + 6,
              w.Y(ey));
  std::printf("push graphic-context\nstroke none fill '#000000' text-anchor end\n");
  std::printf("text %.1f,%.1f 'eye'\npop graphic-context\n", w.X(ex) - 10, w.Y(ey) - 8);
  // Each wall named beside its bar, in the middle of what the window shows.
  for (int k = 0; k < 6; ++k) {
    const RoomFace& face = kRoom[k];
    if (face.horizontal) continue;
    const bool x_wall = face.from[0] == face.to[0];
    const double c = x_wall ? face.from[0] : face.from[1];  // where the wall stands
    const double lo = std::max(-55.0, x_wall ? w.y0 : w.x0);
    const double hi = std::min(55.0, x_wall ? w.y1 : w.x1);
    const double out = c + (c < 0 ? -1 : 1) * (bar + 1.5);
    if (lo >= hi || out < (x_wall ? w.x0 : w.y0) || out > (x_wall ? w.x1 : w.y1)) continue;
    const double mid = (lo + hi) / 2;
    std::printf("push graphic-context\ntranslate %.1f,%.1f\nrotate %d\n",
                x_wall ? w.X(out) : w.X(mid), x_wall ? w.Y(mid) : w.Y(out), x_wall ? 90 : 0);
    std::printf(
        "stroke none fill '#000000' text-anchor middle text 0,%d '%s'\npop graphic-context\n",
        (c < 0) != x_wall ? -4 : 14, kFaceNames[k]);
  }
  // Which way the axes run, in the top left corner.
  Arrow(34, 34, 74, 34, "#000000");
  Arrow(34, 34, 34, 74, "#000000");
  std::printf("push graphic-context\nstroke none fill '#000000'\n");
  std::printf("text 80,39 'x'\ntext 30,90 'y'\npop graphic-context\n");
  // Only the window: white around it.
  std::printf("stroke none fill '#FFFFFF' rectangle 0,0 440,19 rectangle 0,421 440,530\n");
  std::printf("rectangle 0,0 19,440 rectangle 421,0 440,440\n");

  // The legend, under the plan.
  const struct {
    const char* color;
    const char* text;
  } legend[] = {{FateColor(Fate::kNear), "dropped: a corner not beyond the near plane"},
                {FateColor(Fate::kOffScreen), "handed to Polygon, paints no pixel"},
                {FateColor(Fate::kPainted), "handed to Polygon, paints pixels"},
                {nullptr, "near plane (solid), edges of the view (dashed)"}};
  double y = 452;
  for (const auto& entry : legend) {
    if (entry.color) {
      std::printf("stroke none fill '%s' rectangle 20,%.0f 34,%.0f\n", entry.color, y - 11, y + 3);
    } else {
      std::printf("stroke '#000000' stroke-width 2.5 line 20,%.0f 34,%.0f\n", y - 4, y - 4);
    }
    std::printf("stroke none fill '#000000' text 42,%.0f '%s'\n", y + 2, entry.text);
    y += 18;
  }
}

// ---- fill-rule: pixels magnified ------------------------------------------------------

// True when lattice point (x, y) lies on the segment from a to b.
bool OnEdge(POINT a, POINT b, std::int64_t x, std::int64_t y) {
  const std::int64_t cross =
      (std::int64_t{b.x} - a.x) * (y - a.y) - (std::int64_t{b.y} - a.y) * (x - a.x);
  return cross == 0 && std::min(a.x, b.x) <= x && x <= std::max(a.x, b.x) &&
         std::min(a.y, b.y) <= y && y <= std::max(a.y, b.y);
}

// Distance in pixels from point (x, y) to the segment from a to b.
double EdgeDistance(POINT a, POINT b, double x, double y) {
  const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 == 0 ? 0 : ((x - a.x) * dx + (y - a.y) * dy) / len2;
  t = std::max(0.0, std::min(1.0, t));
  return std::hypot(x - (a.x + t * dx), y - (a.y + t * dy));
}

constexpr int kScale = 24;      // picture pixels a frame pixel, magnified
constexpr double kNear = 0.25;  // a dot this close to an edge, not on it, is marked

// Frame pixels x0..x0+w-1 by y0..y0+h-1, magnified: each pixel drawn as the
// square around its lattice point (x, y), the point the fill tests; the
// tiles' edges in white as the fill receives them, between integer points;
// dots exactly on an edge ringed white, dots within kNear of one but not on
// it ringed yellow. With `counts`, pixels no tile paints are ringed red and
// pixels two tiles paint are outlined in magenta.
void Magnify(const Frame& f, const std::vector<Tile>& tiles, const std::vector<int>* counts, int x0,
             int y0, int w, int h) {
  std::printf("stroke-antialias 1\n");
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = f.pixels[(y0 + y) * kBlockSize + x0 + x];
      std::printf("stroke '#00000040' stroke-width 1 fill '#%02X%02X%02X' ", p & 0xFF,
                  (p >> 8) & 0xFF, (p >> 16) & 0xFF);
      std::printf("rectangle %d,%d %d,%d\n", x * kScale, y * kScale, (x + 1) * kScale,
                  (y + 1) * kScale);
    }
  }
  const auto px = [&](double x) { return (x - x0 + 0.5) * kScale; };
  const auto py = [&](double y) { return (y - y0 + 0.5) * kScale; };
  std::vector<std::pair<POINT, POINT>> edges;
  std::printf("push graphic-context\nstroke '#FFFFFF' stroke-width 1 fill none\n");
  for (const Tile& t : tiles) {
    if (t.call->fate != kFatePainted) continue;
    const std::vector<POINT>& pts = t.call->points;
    const int count = static_cast<int>(pts.size());
    LONG left = pts[0].x, right = pts[0].x, top = pts[0].y, bottom = pts[0].y;
    for (int k = 1; k < count; ++k) {
      left = std::min(left, pts[k].x), right = std::max(right, pts[k].x);
      top = std::min(top, pts[k].y), bottom = std::max(bottom, pts[k].y);
    }
    if (right < x0 - 1 || left > x0 + w || bottom < y0 - 1 || top > y0 + h) continue;
    std::printf("polygon");
    for (int k = 0; k < count; ++k) {
      std::printf(" %.1f,%.1f", px(pts[k].x), py(pts[k].y));
      edges.emplace_back(pts[k], pts[(k + 1) % count]);
    }
    std::printf("\n");
  }
  std::printf("pop graphic-context\n");
  for (int y = y0; y < y0 + h; ++y) {
    for (int x = x0; x < x0 + w; ++x) {
      bool on_edge = false;
      double nearest = 1e9;
      for (const auto& e : edges) {
        on_edge = on_edge || OnEdge(e.first, e.second, x, y);
        nearest = std::min(nearest, EdgeDistance(e.first, e.second, x, y));
      }
      const char* ring = on_edge ? "'#FFFFFF'" : nearest < kNear ? "'#FFD000'" : "none";
      std::printf("stroke %s stroke-width 1.5 fill '#000000' circle %.1f,%.1f %.1f,%.1f\n", ring,
                  px(x), py(y), px(x) + (std::string(ring) != "none" ? 4 : 2.5), py(y));
      if (!counts) continue;
      const int c = (*counts)[y * kBlockSize + x];
      if (c == 0) {
        std::printf("stroke '#FF2020' stroke-width 2.5 fill none circle %.1f,%.1f %.1f,%.1f\n",
                    px(x), py(y), px(x) + 8, py(y));
      } else if (c > 1) {
        std::printf("stroke '#FF00FF' stroke-width 2 fill none rectangle %.1f,%.1f %.1f,%.1f\n",
                    px(x) - kScale / 2 + 2, py(y) - kScale / 2 + 2, px(x) + kScale / 2 - 2,
                    py(y) + kScale / 2 - 2);
      }
    }
  }
}

void FillRule(const Frame& f, const Request& r) {
  const int x0 = r.crop[0], y0 = r.crop[1], w = r.crop[2], h = r.crop[3];
  std::vector<int> counts;
  const std::vector<Tile> tiles = Tiles(f, &counts);
  // The claim the picture makes: every pixel of it painted by exactly one tile.
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x)
      if (counts[y * kBlockSize + x] != 1)
        Fail(1, "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is painted " +
                    std::to_string(counts[y * kBlockSize + x]) + " times");
  Magnify(f, tiles, nullptr, x0, y0, w, h);
}

// ---- crack: one corner, two pixels ------------------------------------------------------

// A corner inside a face's grid that two painting tiles hand to Polygon as
// different points.
struct Split {
  int face, u, v;         // the corner: lattice point (u, v) of face `face`
  int first, second;      // the two tiles, as indices into Tiles()
  POINT a, b;             // the corner as the first and the second tile hand it over
  double ax, ay, bx, by;  // their screen positions before truncation, as recorded
};

// Every corner inside a face's grid (not on its border, where two faces meet)
// that two painting tiles of the frame put at different points; each corner
// once, with the first two tiles that disagree.
std::vector<Split> Splits(const std::vector<Tile>& tiles) {
  constexpr int kDu[4] = {0, 1, 1, 0}, kDv[4] = {0, 0, 1, 1};  // the quad's corners
  struct Seen {
    int tile;  // -1: none yet
    int k;
    bool split;
  };
  std::vector<Seen> seen(6 * (kRoomTiles + 1) * (kRoomTiles + 1), Seen{-1, 0, false});
  std::vector<Split> splits;
  for (std::size_t n = 0; n < tiles.size(); ++n) {
    const Tile& t = tiles[n];
    if (t.fate != Fate::kPainted) continue;
    const support::CallRecord& c = *t.call;
    for (int k = 0; k < 4; ++k) {
      const int u = t.i + kDu[k], v = t.j + kDv[k];
      if (u == 0 || v == 0 || u == kRoomTiles || v == kRoomTiles) continue;
      Seen& s = seen[(t.face * (kRoomTiles + 1) + u) * (kRoomTiles + 1) + v];
      if (s.tile < 0) {
        s = {static_cast<int>(n), k, false};
        continue;
      }
      const support::CallRecord& first = *tiles[s.tile].call;
      const POINT p = first.points[s.k];
      if (s.split || (p.x == c.points[k].x && p.y == c.points[k].y)) continue;
      s.split = true;
      splits.push_back({t.face, u, v, s.tile, static_cast<int>(n), p, c.points[k],
                        first.screen[s.k].x, first.screen[s.k].y, c.screen[k].x, c.screen[k].y});
    }
  }
  return splits;
}

std::string Pair(double x, double y, const char* format = "%g");

struct Crack {
  int x, y;     // a pixel that neither of the split corner's tiles paints, between them
  Split split;  // the split corner
  int x0, y0;   // the magnified window, kCrackW x kCrackH pixels, holding both
};
constexpr int kCrackW = 26, kCrackH = 22;

// Whether pixel p, which no tile paints and the frame shows black, lies
// between tiles `a` and `b`: along its row or its column, the nearest painted
// pixel on one side is painted by `a` alone and on the other by `b` alone.
bool Between(const std::vector<int>& counts, const std::vector<int>& owner, int p, int a, int b) {
  const auto nearest = [&](int dx, int dy) {
    int x = p % kBlockSize + dx, y = p / kBlockSize + dy;
    for (; x >= 0 && y >= 0 && x < kBlockSize && y < kBlockSize; x += dx, y += dy) {
      const int q = y * kBlockSize + x;
      if (counts[q] > 0) return counts[q] == 1 ? owner[q] : -1;
    }
    return -1;
  };
  for (const auto& d : {std::make_pair(1, 0), std::make_pair(0, 1)}) {
    const int one = nearest(d.first, d.second), other = nearest(-d.first, -d.second);
    if ((one == a && other == b) || (one == b && other == a)) return true;
  }
  return false;
}

// The split corner nearest to a pixel that its two tiles leave empty between
// them, the frame showing black there, and that pixel.
Crack FindCrack(const Frame& f, const std::vector<Tile>& tiles, const std::vector<int>& counts,
                const std::vector<int>& owner) {
  const std::vector<Split> splits = Splits(tiles);
  if (splits.empty()) Fail(1, "the frame's tiles agree on every corner inside a face");
  Crack c{-1, -1, {}, 0, 0};
  double best = 1e18;
  for (const Split& s : splits)
    for (int p = 0; p < kBlockSize * kBlockSize; ++p) {
      if (counts[p] != 0 || f.pixels[p] != 0) continue;
      const double d = std::hypot(s.a.x - p % kBlockSize, s.a.y - p / kBlockSize);
      if (d >= best || !Between(counts, owner, p, s.first, s.second)) continue;
      best = d, c.x = p % kBlockSize, c.y = p / kBlockSize, c.split = s;
    }
  if (c.x < 0) Fail(1, "no split corner's two tiles leave a pixel empty between them");
  const int mx = (c.x + c.split.a.x) / 2, my = (c.y + c.split.a.y) / 2;
  c.x0 = std::max(0, std::min(kBlockSize - kCrackW, mx - kCrackW / 2));
  c.y0 = std::max(0, std::min(kBlockSize - kCrackH, my - kCrackH / 2));
  if (c.split.a.x < c.x0 || c.split.a.x >= c.x0 + kCrackW || c.split.a.y < c.y0 ||
      c.split.a.y >= c.y0 + kCrackH || c.x < c.x0 || c.y < c.y0)
    Fail(1, "the crack at " + Pair(c.x, c.y) + " and its corner at " +
                Pair(c.split.a.x, c.split.a.y) + " do not fit one picture");
  return c;
}

void CrackPicture(const Frame& f, const Request&) {
  std::vector<int> counts, owner;
  const std::vector<Tile> tiles = Tiles(f, &counts, &owner);
  const Crack c = FindCrack(f, tiles, counts, owner);
  Magnify(f, tiles, &counts, c.x0, c.y0, kCrackW, kCrackH);
  // The corner, where each of its two tiles puts it.
  for (const POINT& p : {c.split.a, c.split.b})
    std::printf("stroke '#00E0FF' stroke-width 3 fill none circle %.1f,%.1f %.1f,%.1f\n",
                (p.x - c.x0 + 0.5) * kScale, (p.y - c.y0 + 0.5) * kScale,
                (p.x - c.x0 + 0.5) * kScale + 10, (p.y - c.y0 + 0.5) * kScale);
}

// ---- fill-demo: the fill worked by hand ------------------------------------------------

// One polygon on a small lattice, `scale` picture pixels a unit, its top
// left lattice point at (ox, oy): each pixel the square around its lattice
// point, shaded where the fill paints it; the edges; and in every row each
// edge's crossing, a red mark. Fails unless the fill paints exactly the
// pixels the brute-force model does.
void DemoPanel(const POINT* pts, int count, int cols, int rows, double ox, double oy, int scale,
               int numbered_row) {
  support::BufferSurface surface(cols, rows);
  support::PolygonList list;
  list.Add(pts, count, 1);
  support::FillThroughGdi(surface.dc(), list);
  const auto X = [&](double x) { return ox + x * scale; };
  const auto Y = [&](double y) { return oy + y * scale; };
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < cols; ++x) {
      const bool painted = surface.buffer()[y * cols + x] != 0;
      if (painted != support::reference::Inside(pts, count, x, y))
        Fail(1, "the fill and the model differ at (" + std::to_string(x) + ", " +
                    std::to_string(y) + ")");
      std::printf("stroke '#C0C0C0' stroke-width 1 fill '%s' rectangle %.1f,%.1f %.1f,%.1f\n",
                  painted ? "#8CB8FF" : "#F6F6F6", X(x - 0.5), Y(y - 0.5), X(x + 0.5), Y(y + 0.5));
    }
  }
  std::printf("push graphic-context\nstroke '#000000' stroke-width 2 fill none polygon");
  for (int k = 0; k < count; ++k) std::printf(" %.1f,%.1f", X(pts[k].x), Y(pts[k].y));
  std::printf("\npop graphic-context\n");
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x)
      std::printf("stroke none fill '#000000' circle %.1f,%.1f %.1f,%.1f\n", X(x), Y(y), X(x) + 2,
                  Y(y));
  // The crossings: an edge counts for rows from its upper end up to, not
  // including, its lower end.
  for (int y = 0; y < rows; ++y) {
    std::vector<double> xs;
    for (int k = 0; k < count; ++k) {
      POINT a = pts[k], b = pts[(k + 1) % count];
      if (a.y == b.y) continue;
      if (a.y > b.y) std::swap(a, b);
      if (y < a.y || y >= b.y) continue;
      xs.push_back(a.x + double(y - a.y) * (b.x - a.x) / (b.y - a.y));
    }
    std::sort(xs.begin(), xs.end());
    if (y == numbered_row)
      std::printf("stroke '#E02020' stroke-width 1.5 line %.1f,%.1f %.1f,%.1f\n", X(-0.5), Y(y),
                  X(cols - 0.5), Y(y));
    for (std::size_t k = 0; k < xs.size(); ++k) {
      std::printf("stroke none fill '#E02020' polygon %.1f,%.1f %.1f,%.1f %.1f,%.1f %.1f,%.1f\n",
                  X(xs[k]) - 5, Y(y), X(xs[k]), Y(y) - 5, X(xs[k]) + 5, Y(y), X(xs[k]), Y(y) + 5);
      if (y == numbered_row) Label(X(xs[k]), Y(y) - 9, std::to_string(k + 1));
    }
  }
}

// The triangle (5, 0), (10, 10), (0, 10), whose apex pixel is not painted,
// and a five-pointed star, whose middle the even-odd rule leaves empty.
void FillDemo(const Frame&, const Request&) {
  std::printf("font %s\nfont-size 15\nstroke-antialias 1\n", Quoted(kFont).c_str());
  const POINT triangle[3] = {{5, 0}, {10, 10}, {0, 10}};
  const POINT star[5] = {{10, 0}, {16, 19}, {0, 7}, {20, 7}, {4, 19}};
  DemoPanel(triangle, 3, 11, 11, 40, 50, 36, -1);
  DemoPanel(star, 5, 21, 20, 500, 50, 22, 9);
  support::BufferSurface surface(11, 11);
  support::PolygonList list;
  list.Add(triangle, 3, 1);
  support::FillThroughGdi(surface.dc(), list);
  if (surface.buffer()[5] != 0) Fail(1, "the triangle's apex pixel is painted");
  std::printf("stroke none fill '#000000' text-anchor middle\n");
  std::printf("text 220,28 'the triangle (5, 0), (10, 10), (0, 10)'\n");
  std::printf("text 720,28 'even-odd: row 9 crosses four edges'\n");
}

// ---- light: where frame N draws the cube -------------------------------------------------

void PrintLight(const Frame& f, const Request&) {
  std::printf("lit from %.9g %.9g %.9g\n", f.light.x, f.light.y, f.light.z);
  std::printf("cube drawn at %.9g %.9g %.9g\n", f.cube_at.x, f.cube_at.y, f.cube_at.z);
}

// ---- facts: the numbers the guide works out ------------------------------------------

// printf's rendering with the guide's minus sign, U+2212; never "-0".
std::string Num(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  std::string s = buf;
  if (s[0] == '-')
    s = s.find_first_not_of("-0.") == std::string::npos ? s.substr(1) : "−" + s.substr(1);
  return s;
}
std::string Pair(double x, double y, const char* format) {
  return "(" + Num(format, x) + ", " + Num(format, y) + ")";
}
std::string Triple(double x, double y, double z, const char* format = "%g") {
  return "(" + Num(format, x) + ", " + Num(format, y) + ", " + Num(format, z) + ")";
}
void Fact(const std::string& key, const std::string& value) {
  std::printf("%s\t%s\n", key.c_str(), value.c_str());
}

// The view direction F, column 2 of the view matrix.
VECTOR3D Forward(const MATRIX4D& m) { return VECTOR3D(m.m[0][2], m.m[1][2], m.m[2][2]); }

// The factor a point-lit call multiplied each byte of its colour by, from the
// intensity it recorded: gain x I + ambient, as Polygon3D shades.
double Factor(const support::CallRecord& c) { return double(LightR) * c.intensity + LightAmb; }
int Shaded(int byte, double factor) { return std::min(255, static_cast<int>(factor * byte)); }

// The first painted call of the room with a vertex at world point `at` (that
// vertex in `vertex`), or the first lit one whose centroid is `at` (vertex -1).
const support::CallRecord& RoomCall(const Frame& f, const VECTOR3D& at, bool centroid,
                                    int* vertex) {
  const auto same = [&](const VECTOR3D& p) { return p.x == at.x && p.y == at.y && p.z == at.z; };
  for (const support::CallRecord& c : f.record.calls) {
    if (support::OriginOf(c.index).cube || c.fate != kFatePainted) continue;
    if (centroid) {
      *vertex = -1;
      if (c.lit && same(c.centroid)) return c;
      continue;
    }
    const VECTOR3D t(c.translation[0], c.translation[1], c.translation[2]);
    for (std::size_t k = 0; k < c.model.size(); ++k)
      if (same(c.model[k] + t)) {
        *vertex = static_cast<int>(k);
        return c;
      }
  }
  Fail(1, "no painted tile of the frame has " + std::string(centroid ? "its centre" : "a corner") +
              " at " + Pair(at.x, at.y) + ", " + Num("%g", at.z));
}

std::uint32_t PixelAt(const Frame& f, int x, int y) { return f.pixels[y * kBlockSize + x]; }

void FactsProjection(const Frame& f, const Request&) {
  const double half = MultiplyX / 2.0, deg = 180 / kPi;
  Fact("projection.multiply-x", Num("%.9g", MultiplyX));
  Fact("projection.edge", Num("%.4f", half));
  Fact("projection.fov", Num("%.1f", 2 * std::atan(half) * deg) + "°");
  const double tan_factor = 2 * std::tan(double(kFieldOfView) / 2);
  Fact("projection.tan-factor", Num("%.4f", tan_factor));
  Fact("projection.s", Num("%.4f", 1 / double(MultiplyX)));
  Fact("projection.tan-fov", Num("%.0f", 2 * std::atan(tan_factor / 2) * deg) + "°");
  // The worked point, a corner of a tile of the wall ahead, and the worked
  // tile of the light, centre (55, 5.5, 5.5) with its corner at the middle of
  // the screen: the pipeline's own numbers for them.
  int k = 0;
  const support::CallRecord& corner = RoomCall(f, VECTOR3D(55, 11, -11), false, &k);
  const VECTOR3D cam = corner.view[k];
  const VECTOR2D screen = corner.screen[k];
  const POINT pixel = corner.points[k];
  Fact("point.camera", Triple(cam.x, cam.y, cam.z));
  Fact("point.x", Num("%.2f", screen.x));
  Fact("point.y", Num("%.2f", screen.y));
  Fact("point.pixel", Pair(pixel.x, pixel.y));
  const support::CallRecord& tile = RoomCall(f, VECTOR3D(55, 5.5f, 5.5f), true, &k);
  const COLORREF c = tile.colorOut;
  const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
  if (PixelAt(f, kBlockSize / 2, kBlockSize / 2) != (c & 0xFFFFFF))
    Fail(1, "the worked tile's colour is not the middle pixel's");
  if (r != Shaded(tile.colorIn & 0xFF, Factor(tile)) ||
      g != Shaded((tile.colorIn >> 8) & 0xFF, Factor(tile)) ||
      b != Shaded((tile.colorIn >> 16) & 0xFF, Factor(tile)))
    Fail(1, "the worked tile's colour is not its colour times its factor");
  Fact("light.d", Num("%.2f", tile.distance));
  Fact("light.i", Num("%.6f", tile.intensity));
  Fact("light.factor", Num("%.5f", Factor(tile)));
  Fact("light.colour", Triple(r, g, b));
}

// How far the view is from head-on to the nearest axis, and its pitch.
void FactsHeadOn(const Frame& f, const Request& r) {
  const int frames = r.frames;
  const VECTOR3D F = Forward(f.view());
  const double a[3] = {std::fabs(F.x), std::fabs(F.y), std::fabs(F.z)};
  const int k = int(std::max_element(a, a + 3) - a);
  const double across = std::hypot(a[(k + 1) % 3], a[(k + 2) % 3]);
  const std::string n = std::to_string(frames);
  Fact("head-on." + n, Num("%.4f", std::atan2(across, a[k])));
  const double pitch = std::atan2(double(F.z), std::hypot(double(F.x), double(F.y)));
  Fact("pitch." + n, Num("%.7f", pitch));
  Fact("pitch-deg." + n, Num("%.1f", pitch * 180 / kPi) + "°");
}

void FactsCalls(const Frame& f, const Request& r) {
  const int frames = r.frames;
  const std::string n = std::to_string(frames);
  const int faces = CubeFacesDrawn(f);
  const int tiles = f.record.Count(kFatePainted) - faces;
  Fact("calls." + n, std::to_string(tiles + faces));
  Fact("tiles." + n, std::to_string(tiles));
  Fact("faces." + n, std::to_string(faces));
}

// The first frame that puts the eye at the limit of its walk along x: from
// it on the eye stays where it is. The eye is worked back from View, a few
// float steps off the program's own; compared unrounded, it still moves by
// thousandths of a unit before the limit (49.99995 after 150 steps).
void FactsWalk(const Frame& f, const Request&) {
  for (std::size_t k = 0; k + 1 < f.eyes.size(); ++k) {
    const bool stays = std::all_of(f.eyes.begin() + k + 1, f.eyes.end(), [&](const VECTOR3D& e) {
      return e.x == f.eyes[k].x && e.y == f.eyes[k].y;
    });
    if (stays && std::fabs(f.eyes[k].x - 50) < 1e-4) {
      Fact("walk.frames", std::to_string(k + 1));
      return;
    }
  }
  Fail(1, "the eye never stops at x = 50");
}

// The near plane's worked frame: the eye at the wall x = +55, turned.
// near.link: the call of the tile that the worked corner drops.
void FactsNear(const Frame& f, const Request& r) {
  const VECTOR3D F = Forward(f.view());
  // Worked out unrounded, printed to a thousandth.
  const auto thousandths = [](double v) { return std::round(v * 1000) / 1000; };
  const VECTOR3D& eye = f.record.state.eye;
  Fact("near.eye", Pair(thousandths(eye.x), thousandths(eye.y)));
  Fact("near.gap", Num("%g", thousandths(55 - double(eye.x))));
  Fact("near.direction", Triple(F.x, F.y, F.z, "%.3g"));
  Fact("near.fx", Num("%.4f", F.x));
  Fact("near.fy", Num("%.4f", F.y));
  // The first tile dropped because its corner (55, -11, 0) failed, with the
  // view z the pipeline found for that corner.
  const support::CallRecord* dropped = nullptr;
  for (const support::CallRecord& c : f.record.calls) {
    if (c.fate != kFateNearPlane || support::OriginOf(c.index).cube || dropped) continue;
    const VECTOR3D w =
        c.model[c.nearVertex] + VECTOR3D(c.translation[0], c.translation[1], c.translation[2]);
    if (w.x == 55 && w.y == -11 && w.z == 0) dropped = &c;
  }
  if (!dropped) Fail(1, "no tile is dropped at the near plane for its corner (55, −11, 0)");
  Fact("near.corner-z", Num("%.2f", dropped->view[dropped->nearVertex].z));
  // Where the screen's left edge meets the wall at the eye's height:
  // camera x / z = -MultiplyX / 2, linear along the wall.
  const auto edge = [&](float y) {
    const VECTOR3D c = VECTOR3D(55, y, 0) * f.view();
    return double(c.x) + MultiplyX / 2.0 * c.z;
  };
  const double e0 = edge(-11), e1 = edge(0);
  Fact("near.strip", Num("%.1f", -11 + 11 * e0 / (e0 - e1)));
  int band = 0;
  while (band < kBlockSize && PixelAt(f, band, kBlockSize / 2) == 0) ++band;
  Fact("near.band", std::to_string(band));
  double lo = 1e9, hi = -1e9;
  for (float y : {0.0f, 11.0f})
    for (float z : {-55.0f, 55.0f}) {
      const double cz = (VECTOR3D(55, y, z) * f.view()).z;
      lo = std::min(lo, cz), hi = std::max(hi, cz);
    }
  Fact("near.next-lo", Num("%.2f", lo));
  Fact("near.next-hi", Num("%.2f", hi));
  LinkFact("near.link", r, dropped->index);
}

// A frame that lights the wall ahead from the cube: how bright the
// brightest painted tile of that wall is, and the peak of its curve.
void FactsLitWall(const Frame& f, const Request& r) {
  const int frames = r.frames;
  std::vector<int> counts;
  const std::vector<Tile> tiles = Tiles(f, &counts);
  double best = 0;
  int green = -1;
  for (const Tile& t : tiles)
    if (t.face == 1 && t.fate == Fate::kPainted && Factor(*t.call) > best) {
      best = Factor(*t.call);
      green = (t.call->colorOut >> 8) & 0xFF;
    }
  bool shown = false;
  for (std::uint32_t p : f.pixels) shown = shown || p == (0xFF0000u | std::uint32_t(green) << 8);
  if (!shown) Fail(1, "the brightest tile's colour is not in the frame");
  const std::string n = std::to_string(frames);
  const double h = 55 - f.light.x;
  Fact("wall.gap." + n, Num("%.1f", h));
  Fact("wall.best." + n, Num("%.2f", best));
  Fact("wall.green." + n, std::to_string(green));
  Fact("wall.peak." + n, Num("%.2f", LightAmb + LightR / h));
}

// The triangle of the fill demo row by row: the crossings by the recipe
// (rows from the top vertex up to, not including, the bottom one; pixels
// from the ceiling of the left crossing up to, not including, the ceiling
// of the right one), checked against what the fill paints.
void FactsFill(const Frame&, const Request&) {
  const POINT tri[3] = {{5, 0}, {10, 10}, {0, 10}};
  support::BufferSurface surface(11, 11);
  support::PolygonList list;
  list.Add(tri, 3, 1);
  support::FillThroughGdi(surface.dc(), list);
  Fact("fill.table", "| row y | left crossing | right crossing | pixels painted |");
  Fact("fill.table", "|---:|---:|---:|---|");
  int total = 0;
  for (int y = 0; y <= 10; ++y) {
    std::vector<double> xs;
    for (int k = 0; k < 3; ++k) {
      POINT a = tri[k], b = tri[(k + 1) % 3];
      if (a.y == b.y) continue;
      if (a.y > b.y) std::swap(a, b);
      if (y >= a.y && y < b.y) xs.push_back(a.x + double(y - a.y) * (b.x - a.x) / (b.y - a.y));
    }
    std::sort(xs.begin(), xs.end());
    const int from = xs.size() == 2 ? int(std::ceil(xs[0])) : 0;
    const int to = xs.size() == 2 ? int(std::ceil(xs[1])) : 0;
    for (int x = 0; x < 11; ++x)
      if ((surface.buffer()[y * 11 + x] != 0) != (from <= x && x < to))
        Fail(1, "the recipe and the fill differ in row " + std::to_string(y));
    total += to - from;
    const std::string painted = from == to ? "none"
                                : to - from == 1
                                    ? std::to_string(from)
                                    : std::to_string(from) + " to " + std::to_string(to - 1);
    Fact("fill.table", "| " + std::to_string(y) + " | " +
                           (xs.empty() ? std::string("no edge") : Num("%g", xs[0])) + " | " +
                           (xs.empty() ? std::string("no edge") : Num("%g", xs[1])) + " | " +
                           painted + " |");
  }
  Fact("fill.count", std::to_string(total));
}

// The frames 1 to N that light the room from elsewhere than the cube.
void FactsBounce(const Frame& f, const Request& r) {
  const int frames = r.frames;
  Fact("bounce.count", std::to_string(f.bounces.size()));
  Fact("bounce.frames", std::to_string(frames));
  if (f.bounces.empty()) Fail(1, "no frame lights the room from elsewhere than the cube");
  std::string list;
  Fact("bounce.table", "| frame | the room lit from | the cube drawn at | where they differ |");
  Fact("bounce.table", "|---:|---|---|---|");
  const char* const kAxes[3] = {"x", "y", "z"};
  for (std::size_t k = 0; k < f.bounces.size() && k < 6; ++k) {
    const Bounce& b = f.bounces[k];
    const double lit[3] = {b.lit.x, b.lit.y, b.lit.z}, drawn[3] = {b.drawn.x, b.drawn.y, b.drawn.z};
    std::string axes;
    for (int a = 0; a < 3; ++a)
      if (lit[a] != drawn[a])
        axes += (axes.empty() ? "" : ", ") + std::string(kAxes[a]) + ": " + Num("%.9g", lit[a]) +
                " → " + Num("%.9g", drawn[a]);
    list += (k ? ", " : "") + std::to_string(b.frame);
    Fact("bounce.table", "| " + std::to_string(b.frame) + " | " +
                             Triple(b.lit.x, b.lit.y, b.lit.z, "%.1f") + " | " +
                             Triple(b.drawn.x, b.drawn.y, b.drawn.z, "%.1f") + " | " + axes + " |");
  }
  Fact("bounce.first", list);
  // The example: the first whose light is more than a unit from the cube.
  for (const Bounce& b : f.bounces) {
    const double d[3] = {b.lit.x - b.drawn.x, b.lit.y - b.drawn.y, b.lit.z - b.drawn.z};
    const int k = int(
        std::max_element(d, d + 3, [](double p, double q) { return std::fabs(p) < std::fabs(q); }) -
        d);
    if (std::fabs(d[k]) <= 1) continue;
    const char* axis[3] = {"x", "y", "z"};
    const double lit[3] = {b.lit.x, b.lit.y, b.lit.z}, drawn[3] = {b.drawn.x, b.drawn.y, b.drawn.z};
    Fact("bounce.example", std::to_string(b.frame));
    Fact("bounce.example-lit", std::string(axis[k]) + " = " + Num("%.1f", lit[k]));
    Fact("bounce.example-drawn", std::string(axis[k]) + " = " + Num("%.1f", drawn[k]));
    return;
  }
  Fail(1, "no bounce frame moves the light a unit from the cube");
}

void FactsCrack(const Frame& f, const Request& r) {
  const int frames = r.frames;
  std::vector<int> counts, owner;
  const std::vector<Tile> tiles = Tiles(f, &counts, &owner);
  const Crack c = FindCrack(f, tiles, counts, owner);
  const std::vector<Split> splits = Splits(tiles);
  const Split& s = c.split;
  Fact("crack.frame", std::to_string(frames));
  Fact("crack.pixel", Pair(c.x, c.y));
  Fact("crack.splits", std::to_string(splits.size()));
  Fact("crack.face", kFaceNames[s.face]);
  Fact("crack.a", Pair(s.a.x, s.a.y));
  Fact("crack.b", Pair(s.b.x, s.b.y));
  Fact("crack.a-float", Pair(s.ax, s.ay, "%.5f"));
  Fact("crack.b-float", Pair(s.bx, s.by, "%.5f"));
  Fact("crack.window", Pair(c.x0, c.y0) + " to " + Pair(c.x0 + kCrackW - 1, c.y0 + kCrackH - 1));
  LinkFact("crack.link", r, tiles[s.first].call->index);
}

// ---- link: frame N in the page's inspector -------------------------------------------

// As CMake checks ORVIX_WEB_PAGE_URL: http(s), and nothing that would end
// the address in Markdown or HTML, or start another fragment.
bool PageAddress(const std::string& url) {
  const bool scheme = url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
  return scheme && url.find_first_of(" \"'<>&()#\t\n") == std::string::npos &&
         url.size() > std::string(url.rfind("https://", 0) == 0 ? "https://" : "http://").size();
}

// The page's link to call `call` of frame `frames` of the recording with
// these keys: "#frame=N&keys=...&call=K", after the page's address if any.
std::string Link(const std::string& page, int frames, const std::string& keys, int call) {
  std::string link = page + "#frame=" + std::to_string(frames);
  if (!keys.empty()) link += "&keys=" + keys;
  return link + "&call=" + std::to_string(call);
}

// ---- Command line ---------------------------------------------------------------------

// A fact naming where a picture of this frame opens in the page: a Markdown
// link when the page's address is known, else the link's part after the
// address, for the page that scripts/web serves or any published copy.
void LinkFact(const std::string& key, const Request& r, int call) {
  const std::string what = "frame " + std::to_string(r.frames) + ", call " + std::to_string(call);
  Fact(key, r.page.empty()
                ? "In the page's inspector: " + what + ", `" +
                      Link("", r.frames, r.keys_text, call) + "` after the page's address."
                : "[" + what + " in the page's inspector](" +
                      Link(r.page, r.frames, r.keys_text, call) + ")");
}

int LastCall(const Frame& f) { return f.record.calls.back().index; }

// Every frame makes kMaxBuildUp calls (RecordFrame checks it), so --call
// is checked as it is parsed.
void PrintLink(const Frame& f, const Request& r) {
  std::printf("%s\n",
              Link(r.page, r.frames, r.keys_text, r.call < 0 ? LastCall(f) : r.call).c_str());
}

// What follows a command's name before its options.
enum class Arg { kNone, kLabel, kCrop, kWindow };

struct Command {
  const char* name;  // a facts command is "facts NAME"
  Arg arg;
  bool frame;  // records frame N: --frames, --keys
  bool link;   // takes --page; its facts include link.N
  void (*run)(const Frame&, const Request&);
};

const Command kCommands[] = {
    {"counts", Arg::kLabel, true, false, Counts},
    {"labels", Arg::kNone, true, false, Labels},
    {"plan", Arg::kWindow, true, false, Plan},
    {"fill-rule", Arg::kCrop, true, false, FillRule},
    {"light", Arg::kNone, true, false, PrintLight},
    {"crack", Arg::kNone, true, false, CrackPicture},
    {"fill-demo", Arg::kNone, false, false, FillDemo},
    {"link", Arg::kNone, true, true, PrintLink},
    {"facts projection", Arg::kNone, true, true, FactsProjection},
    {"facts head-on", Arg::kNone, true, true, FactsHeadOn},
    {"facts calls", Arg::kNone, true, true, FactsCalls},
    {"facts near", Arg::kNone, true, true, FactsNear},
    {"facts walk", Arg::kNone, true, true, FactsWalk},
    {"facts lit-wall", Arg::kNone, true, true, FactsLitWall},
    {"facts bounce", Arg::kNone, true, true, FactsBounce},
    {"facts crack", Arg::kNone, true, true, FactsCrack},
    {"facts fill", Arg::kNone, false, false, FactsFill},
};

std::string Usage() {
  std::string names;
  for (const Command& c : kCommands) names += std::string(names.empty() ? "" : "|") + c.name;
  return "usage: orvix-guide " + names + " ... (see tools/guide/guide.cpp)";
}

int ParseInt(const std::string& s, int low, int high, const std::string& what) {
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || v < low || v > high)
    Fail(2, what + ": '" + s + "' is not a number from " + std::to_string(low) + " to " +
                std::to_string(high));
  return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) Fail(2, Usage());
  std::size_t next = 1;
  std::string name = args[0];
  if (name == "facts") {
    if (args.size() < 2) Fail(2, "facts needs a name");
    name += " " + args[next++];
  }
  const Command* command = nullptr;
  for (const Command& c : kCommands)
    if (name == c.name) command = &c;
  if (!command)
    Fail(2, (args[0] == "facts" ? "unknown facts '" + args[1] : "unknown command '" + name) + "'");

  Request r;
  const std::string what = args[0] + " needs ";
  switch (command->arg) {
    case Arg::kNone:
      break;
    case Arg::kLabel:
      if (args.size() <= next) Fail(2, what + "a label");
      r.label = args[next++];
      break;
    case Arg::kCrop:
      if (args.size() <= next ||
          std::sscanf(args[next].c_str(), "%d,%d,%d,%d", &r.crop[0], &r.crop[1], &r.crop[2],
                      &r.crop[3]) != 4 ||
          r.crop[0] < 0 || r.crop[1] < 0 || r.crop[2] < 1 || r.crop[3] < 1 ||
          r.crop[0] + r.crop[2] > kBlockSize || r.crop[1] + r.crop[3] > kBlockSize)
        Fail(2, what + "X,Y,W,H within the frame");
      ++next;
      break;
    case Arg::kWindow:
      if (args.size() <= next ||
          std::sscanf(args[next].c_str(), "%lf,%lf,%lf,%lf", &r.window.x0, &r.window.y0,
                      &r.window.x1, &r.window.y1) != 4 ||
          !(r.window.x0 < r.window.x1 && r.window.y0 < r.window.y1))
        Fail(2, what + "X0,Y0,X1,Y1, a window of the floor in scene units");
      ++next;
      break;
  }
  for (; next < args.size(); next += 2) {
    const std::string& option = args[next];
    const bool known = (command->frame && (option == "--frames" || option == "--keys")) ||
                       (command->link && option == "--page") ||
                       (command->run == PrintLink && option == "--call");
    if (!known) Fail(2, "unknown option '" + option + "' for " + name);
    if (next + 1 >= args.size()) Fail(2, option + " needs a value");
    const std::string& value = args[next + 1];
    std::string error;
    if (option == "--frames") {
      r.frames = ParseInt(value, 1, capture::kMaxFrames, "--frames");
    } else if (option == "--keys") {
      if (!capture::ParseKeyScript(value, &r.keys, &error)) Fail(2, error);
      // Without the blanks the parser allows, the script's characters are
      // all a URL fragment may hold as they are.
      for (const char ch : value)
        if (!std::isspace(static_cast<unsigned char>(ch))) r.keys_text += ch;
    } else if (option == "--call") {
      r.call = ParseInt(value, 0, capture::kMaxBuildUp - 1, "--call");
    } else {
      r.page = value;
    }
  }
  if (!r.page.empty() && !PageAddress(r.page))
    Fail(2, "the page's address must be http(s) without spaces, quotes, <, >, &, ( ) or #: '" +
                r.page + "'");

  const Frame frame = command->frame ? RecordFrame(r.frames, r.keys) : Frame{};
  command->run(frame, r);
  // Where each picture of this frame opens in the page.
  if (command->link && command->run != PrintLink) {
    LinkFact("link." + std::to_string(r.frames), r, LastCall(frame));
    // And a face that the back-face test dropped, where there is one.
    for (const support::CallRecord& c : frame.record.calls) {
      if (c.fate != kFateBackFace) continue;
      LinkFact("cull." + std::to_string(r.frames), r, c.index);
      break;
    }
  }
  return 0;
}
