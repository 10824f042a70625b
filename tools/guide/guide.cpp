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
//   orvix-guide crack --frames N [--keys S]         draw commands of the first crack of frame
//                                                   N's room, magnified (as fill-rule)
//   orvix-guide fill-demo                           draw commands of the fill worked by hand:
//                                                   a triangle and a star, magnified
//   orvix-guide facts NAME --frames N [--keys S]    the numbers the guide works out from frame
//                                                   N, one "key<TAB>value" a line; NAME is
//                                                   projection, head-on, calls, near, walk,
//                                                   lit-wall, bounce, crack or fill
//
// Draw commands are ImageMagick's MVG, written to standard output for
// convert ... -draw "$(orvix-guide ...)" (Debian's ImageMagick policy refuses
// -draw @FILE). Bad input: one line on stderr, exit 2; a frame that does
// not show what the guide says it does: exit 1.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "Main.h"
#include "capture/capture.h"
#include "platform/gdi.h"
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
  MATRIX4D view;                      // View while frame N was drawn
  VECTOR3D light;                     // where frame N lights the room from
  VECTOR3D cube_at;                   // where frame N draws the cube (World's row 3)
  std::vector<Bounce> bounces;        // frames 1 to N where the two differ
  std::vector<VECTOR3D> eyes;         // where frames 1 to N put the eye
  support::PolygonList room;          // frame N's Polygon calls under the point light
  support::PolygonList cube;          // and unlit: the cube's faces
  std::vector<std::uint32_t> pixels;  // as presented, 0x00BBGGRR
};

// The program's own loop on the headless backend, as orvix-capture runs it:
// the same clock, keys and frames.
Frame RecordFrame(int frames, const capture::KeyScript& keys) {
  Frame f;
  f.light = Light;  // the cube's start, before any frame moves it
  gdi::SetPolygonObserver(
      [](void* context, const POINT* pts, int count, COLORREF color) {
        Frame* frame = static_cast<Frame*>(context);
        const bool room = getLightType() == kLightPoint;
        if (room) frame->light = Light;  // what the room is lit from, as it is painted
        (room ? frame->room : frame->cube).Add(pts, count, color);
      },
      &f);
  const int status = capture::Play(frames, 0, keys, [&](int frame, const std::uint32_t* pixels) {
    // World is still the cube's: its row 3 is where this frame drew it.
    const VECTOR3D drawn(World.m[3][0], World.m[3][1], World.m[3][2]);
    if (drawn.x != f.light.x || drawn.y != f.light.y || drawn.z != f.light.z)
      f.bounces.push_back({frame, f.light, drawn});
    // Row 3 of LookAt is -(eye . column j), rows 0-2 orthonormal.
    const MATRIX4D& m = View;
    VECTOR3D eye(0, 0, 0);
    for (int j = 0; j < 3; ++j) eye = eye - VECTOR3D(m.m[0][j], m.m[1][j], m.m[2][j]) * m.m[3][j];
    f.eyes.push_back(eye);
    if (frame == frames) {
      f.cube_at = drawn;
      f.view = View;
      f.pixels.assign(pixels, pixels + kBlockSize * kBlockSize);
      return;
    }
    f.room = {};
    f.cube = {};
    f.light = Light;  // moved by this frame: the next room is lit from here, unless it says else
  });
  gdi::SetPolygonObserver(nullptr, nullptr);
  if (status != 0 || headless::FramesPresented() != frames) Fail(1, "the program did not run");
  return f;
}

// ---- The room's tiles, one at a time ---------------------------------------

// The names of the room's faces, in the order of kRoom. Tiles() checks that
// the tiles drawn one by one are the frame's own calls.
const char* const kFaceNames[6] = {"wall x = −55", "wall x = +55",  "wall y = +55",
                                   "wall y = −55", "floor z = +55", "ceiling z = −55"};

VECTOR3D Corner(const float (&c)[3]) { return VECTOR3D(c[0], c[1], c[2]); }

enum class Fate {
  kNear,       // a corner not beyond the near plane: dropped
  kAway,       // facing away: dropped
  kOffScreen,  // handed to Polygon, paints nothing
  kPainted,    // paints pixels
};

struct Tile {
  int face;
  int i, j;             // its place in the face's grid, as DrawTiles counts
  VECTOR3D corners[4];  // world space, in the order of the quad
  Fate fate;
  support::PolygonList drawn;  // its Polygon call, if any
  int pixels = 0;              // how many it paints
};

bool BeyondNearPlane(const Tile& tile, const MATRIX4D& view) {
  for (const VECTOR3D& c : tile.corners)
    if (!((c * view).z > NearClip)) return false;
  return true;
}

// Every tile of frame `f`'s room, each drawn alone through DrawWall or
// DrawFloor with the frame's view and light, and what became of it. Leaves
// the frame's polygons painted on `counts` (how many times each pixel is).
std::vector<Tile> Tiles(const Frame& f, std::vector<int>* counts) {
  View = f.view;
  Light = f.light;
  LightType = kLightPoint;
  support::BufferSurface scratch(kBlockSize, kBlockSize);
  counts->assign(kBlockSize * kBlockSize, 0);
  std::vector<Tile> tiles;
  support::PolygonList all;
  for (int k = 0; k < 6; ++k) {
    const RoomFace& face = kRoom[k];
    const VECTOR3D d = Corner(face.to) - Corner(face.from);
    const float n = static_cast<float>(kRoomTiles);
    // DrawWall's U runs in x and y, DrawFloor's in x only; V takes the rest.
    const VECTOR3D U = face.horizontal ? VECTOR3D(d.x / n, 0, 0) : VECTOR3D(d.x / n, d.y / n, 0);
    const VECTOR3D V = face.horizontal ? VECTOR3D(0, d.y / n, d.z / n) : VECTOR3D(0, 0, d.z / n);
    for (int i = 0; i < kRoomTiles; ++i) {
      for (int j = 0; j < kRoomTiles; ++j) {
        Tile t;
        t.face = k;
        t.i = i;
        t.j = j;
        VECTOR3D from = Corner(face.from) + U * float(i) + V * float(j);
        const VECTOR3D to = from + U + V;
        t.corners[0] = from;
        t.corners[1] = from + U;
        t.corners[2] = to;
        t.corners[3] = from + V;
        t.drawn = support::Record([&] {
          if (face.horizontal) {
            DrawFloor(1, 1, &from, &to, face.color);
          } else {
            DrawWall(1, 1, &from, &to, face.color);
          }
        });
        all.Append(t.drawn);
        if (t.drawn.size() == 0) {
          t.fate = BeyondNearPlane(t, f.view) ? Fate::kAway : Fate::kNear;
        } else {
          // Painted alone on a cleared buffer, as the fill paints it.
          std::fill(scratch.pixels(), scratch.pixels() + kBlockSize * kBlockSize, 0u);
          const support::PolygonList::Item& item = t.drawn.items[0];
          support::PolygonList marked;
          marked.Add(t.drawn.Points(item), item.count, 1);
          support::FillThroughGdi(scratch.dc(), marked);
          for (int p = 0; p < kBlockSize * kBlockSize; ++p) {
            if (scratch.buffer()[p] == 0) continue;
            ++t.pixels;
            ++(*counts)[p];
          }
          t.fate = t.pixels > 0 ? Fate::kPainted : Fate::kOffScreen;
        }
        tiles.push_back(t);
      }
    }
  }
  if (!(all == f.room)) Fail(1, "the tiles drawn one by one are not the frame's room");
  return tiles;
}

// ---- counts: one row of the table ---------------------------------------------

void Counts(const std::string& label, const Frame& f) {
  std::vector<int> counts;
  const std::vector<Tile> tiles = Tiles(f, &counts);
  int fates[4] = {};
  for (const Tile& t : tiles) ++fates[static_cast<int>(t.fate)];
  const int empty = static_cast<int>(std::count(counts.begin(), counts.end(), 0));
  const int twice =
      static_cast<int>(std::count_if(counts.begin(), counts.end(), [](int c) { return c > 1; }));
  std::cout << "| " << label << " | " << fates[static_cast<int>(Fate::kNear)] << " | "
            << fates[static_cast<int>(Fate::kAway)] << " | "
            << fates[static_cast<int>(Fate::kOffScreen)] << " | "
            << fates[static_cast<int>(Fate::kPainted)] << " | " << f.cube.size() << " of 6 | "
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
  const VECTOR3D v = world * f.view;
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

void Labels(const Frame& f) {
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

// A window of the floor plan, in scene units, drawn 400 pixels across.
struct PlanWindow {
  double x0, y0, x1, y1;
  double Scale() const { return 400 / std::max(x1 - x0, y1 - y0); }
  double X(double x) const { return 20 + (x - x0) * Scale(); }
  double Y(double y) const { return 20 + (y - y0) * Scale(); }
};

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
void Plan(const Frame& f, const PlanWindow& w) {
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

  // The eye, the view direction, the field of view and the near plane. Row
  // 3 of LookAt is -(eye . column j) and rows 0-2 are orthonormal, so
  // eye = -(row 3) x (rows 0-2) transposed.
  const MATRIX4D& m = f.view;
  const double ex = -(m.m[3][0] * m.m[0][0] + m.m[3][1] * m.m[0][1] + m.m[3][2] * m.m[0][2]);
  const double ey = -(m.m[3][0] * m.m[1][0] + m.m[3][1] * m.m[1][1] + m.m[3][2] * m.m[1][2]);
  const double flen = std::hypot(m.m[0][2], m.m[1][2]);
  const double dx = m.m[0][2] / flen, dy = m.m[1][2] / flen;  // the view direction
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
    if (t.drawn.size() == 0) continue;
    const support::PolygonList::Item& item = t.drawn.items[0];
    const POINT* pts = t.drawn.Points(item);
    LONG left = pts[0].x, right = pts[0].x, top = pts[0].y, bottom = pts[0].y;
    for (int k = 1; k < item.count; ++k) {
      left = std::min(left, pts[k].x), right = std::max(right, pts[k].x);
      top = std::min(top, pts[k].y), bottom = std::max(bottom, pts[k].y);
    }
    if (right < x0 - 1 || left > x0 + w || bottom < y0 - 1 || top > y0 + h) continue;
    std::printf("polygon");
    for (int k = 0; k < item.count; ++k) {
      std::printf(" %.1f,%.1f", px(pts[k].x), py(pts[k].y));
      edges.emplace_back(pts[k], pts[(k + 1) % item.count]);
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

void FillRule(const Frame& f, int x0, int y0, int w, int h) {
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

// DrawTiles' arithmetic, so that a corner's screen position can be shown
// before it is truncated: each component rounded once.
float TileStep(float to, float from, int count) {
  return static_cast<float>((double(to) - double(from)) / double(static_cast<float>(count)));
}
float TileOffset(int index, float step, float corner) {
  return static_cast<float>(double(static_cast<float>(index)) * step + corner);
}

// A corner of the room's grid that two painting tiles hand to Polygon as
// different points.
struct Split {
  int face, u, v;         // the corner: lattice point (u, v) of face `face`
  POINT a, b;             // as the first and the second tile hand it over
  double ax, ay, bx, by;  // their screen positions before truncation
};

// Where tile t puts its corner k on the screen, as the pipeline works it
// out: World's row 3 is the tile's own translation, so Matrix's row 3 is
// rounded for this tile alone.
void CornerOnScreen(const Tile& t, int k, double* sx, double* sy) {
  const RoomFace& face = kRoom[t.face];
  const int n = kRoomTiles;
  VECTOR3D U, V;
  if (face.horizontal) {
    U = VECTOR3D(TileStep(face.to[0], face.from[0], n), 0, 0);
    V = VECTOR3D(0, TileStep(face.to[1], face.from[1], n), TileStep(face.to[2], face.from[2], n));
  } else {
    U = VECTOR3D(TileStep(face.to[0], face.from[0], n), TileStep(face.to[1], face.from[1], n), 0);
    V = VECTOR3D(0, 0, TileStep(face.to[2], face.from[2], n));
  }
  World.Identity();
  World.m[3][0] = TileOffset(t.i, U.x, face.from[0]);
  World.m[3][1] =
      face.horizontal ? TileOffset(t.j, V.y, face.from[1]) : TileOffset(t.i, U.y, face.from[1]);
  World.m[3][2] = TileOffset(t.j, V.z, face.from[2]);
  UpdateCamera();
  const VECTOR3D quad[4] = {VECTOR3D(0, 0, 0), U, U + V, V};
  const VECTOR3D P = quad[k] * Matrix;
  *sx = support::ScreenX(P.x, P.z);
  *sy = support::ScreenY(P.y, P.z);
}

// Every corner of a face's grid that two painting tiles of the frame put at
// different points (corners shared by two faces are not compared).
std::vector<Split> Splits(const std::vector<Tile>& tiles) {
  constexpr int kDu[4] = {0, 1, 1, 0}, kDv[4] = {0, 0, 1, 1};  // the quad's corners
  struct Seen {
    const Tile* tile;
    int k;
    POINT p;
    bool split;
  };
  std::vector<Seen> seen(6 * (kRoomTiles + 1) * (kRoomTiles + 1), Seen{nullptr, 0, {}, false});
  std::vector<Split> splits;
  for (const Tile& t : tiles) {
    if (t.fate != Fate::kPainted) continue;
    const POINT* pts = t.drawn.Points(t.drawn.items[0]);
    for (int k = 0; k < 4; ++k) {
      const int u = t.i + kDu[k], v = t.j + kDv[k];
      Seen& s = seen[(t.face * (kRoomTiles + 1) + u) * (kRoomTiles + 1) + v];
      if (!s.tile) {
        s = {&t, k, pts[k], false};
        continue;
      }
      if (s.split || (s.p.x == pts[k].x && s.p.y == pts[k].y)) continue;
      s.split = true;
      Split split{t.face, u, v, s.p, pts[k], 0, 0, 0, 0};
      CornerOnScreen(*s.tile, s.k, &split.ax, &split.ay);
      CornerOnScreen(t, k, &split.bx, &split.by);
      if (TruncateToInt(split.ax) != s.p.x || TruncateToInt(split.ay) != s.p.y ||
          TruncateToInt(split.bx) != pts[k].x || TruncateToInt(split.by) != pts[k].y)
        Fail(1, "a corner's screen position is not the one the tile handed over");
      splits.push_back(split);
    }
  }
  return splits;
}

std::string Pair(double x, double y, const char* format = "%g");

struct Crack {
  int x, y;     // the first pixel, row by row, that no tile paints and the frame shows black
  Split split;  // the split corner nearest to it
  int x0, y0;   // the magnified window, kCrackW x kCrackH pixels, holding both
};
constexpr int kCrackW = 26, kCrackH = 22;

Crack FindCrack(const Frame& f, const std::vector<Tile>& tiles, const std::vector<int>& counts) {
  const std::vector<Split> splits = Splits(tiles);
  if (splits.empty()) Fail(1, "the frame's tiles agree on every corner");
  // The split corner with a pixel that no tile paints and the frame shows
  // black nearest to it, and that pixel.
  Crack c{-1, -1, {}, 0, 0};
  double best = 1e18;
  for (const Split& s : splits)
    for (int p = 0; p < kBlockSize * kBlockSize; ++p) {
      if (counts[p] != 0 || f.pixels[p] != 0) continue;
      const double d = std::hypot(s.a.x - p % kBlockSize, s.a.y - p / kBlockSize);
      if (d < best) best = d, c.x = p % kBlockSize, c.y = p / kBlockSize, c.split = s;
    }
  if (c.x < 0) Fail(1, "the frame has no crack");
  const int mx = (c.x + c.split.a.x) / 2, my = (c.y + c.split.a.y) / 2;
  c.x0 = std::max(0, std::min(kBlockSize - kCrackW, mx - kCrackW / 2));
  c.y0 = std::max(0, std::min(kBlockSize - kCrackH, my - kCrackH / 2));
  if (c.split.a.x < c.x0 || c.split.a.x >= c.x0 + kCrackW || c.split.a.y < c.y0 ||
      c.split.a.y >= c.y0 + kCrackH || c.x < c.x0 || c.y < c.y0)
    Fail(1, "the crack at " + Pair(c.x, c.y) + " and its corner at " +
                Pair(c.split.a.x, c.split.a.y) + " do not fit one picture");
  return c;
}

void CrackPicture(const Frame& f) {
  std::vector<int> counts;
  const std::vector<Tile> tiles = Tiles(f, &counts);
  const Crack c = FindCrack(f, tiles, counts);
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
void FillDemo() {
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

void PrintLight(const Frame& f) {
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

// The point light's factor for a tile of the wall x = +55 with this centre,
// as Polygon3D works it out: normal (1, 0, 0), into the wall.
double WallFactor(const VECTOR3D& centre, const VECTOR3D& light) {
  const VECTOR3D L = centre - light;
  const double len = L.Length();
  const float intensity = static_cast<float>(double(L.x) / (len * len));
  return double(LightR) * intensity + LightAmb;
}
int Shaded(int byte, double factor) { return std::min(255, static_cast<int>(factor * byte)); }

std::uint32_t PixelAt(const Frame& f, int x, int y) { return f.pixels[y * kBlockSize + x]; }

void FactsProjection(const Frame& f) {
  const double half = MultiplyX / 2.0, deg = 180 / kPi;
  Fact("projection.multiply-x", Num("%.9g", MultiplyX));
  Fact("projection.edge", Num("%.4f", half));
  Fact("projection.fov", Num("%.1f", 2 * std::atan(half) * deg) + "°");
  const double tan_factor = 2 * std::tan(double(kFieldOfView) / 2);
  Fact("projection.tan-factor", Num("%.4f", tan_factor));
  Fact("projection.s", Num("%.4f", 1 / double(MultiplyX)));
  Fact("projection.tan-fov", Num("%.0f", 2 * std::atan(tan_factor / 2) * deg) + "°");
  // The worked point: a corner of a tile of the wall ahead.
  const VECTOR3D world(55, 11, -11);
  const VECTOR3D cam = world * f.view;
  const float sx = support::ScreenX(cam.x, cam.z), sy = support::ScreenY(cam.y, cam.z);
  const POINT pixel{TruncateToInt(sx), TruncateToInt(sy)};
  bool drawn = false;
  for (const POINT& p : f.room.points) drawn = drawn || (p.x == pixel.x && p.y == pixel.y);
  if (!drawn) Fail(1, "the worked point is no corner the frame hands to Polygon");
  Fact("point.camera", Triple(cam.x, cam.y, cam.z));
  Fact("point.x", Num("%.2f", sx));
  Fact("point.y", Num("%.2f", sy));
  Fact("point.pixel", Pair(pixel.x, pixel.y));
  // The worked tile of the light: centre (55, 5.5, 5.5), its corner at the
  // middle of the screen.
  const VECTOR3D centre(55, 5.5f, 5.5f);
  const VECTOR3D L = centre - f.light;
  const double factor = WallFactor(centre, f.light);
  const COLORREF wall = kRoom[1].color;
  const int r = Shaded(wall & 0xFF, factor), g = Shaded((wall >> 8) & 0xFF, factor),
            b = Shaded((wall >> 16) & 0xFF, factor);
  const std::uint32_t p = PixelAt(f, kBlockSize / 2, kBlockSize / 2);
  if (int(p & 0xFF) != r || int((p >> 8) & 0xFF) != g || int((p >> 16) & 0xFF) != b)
    Fail(1, "the worked tile's colour is not the middle pixel's");
  Fact("light.d", Num("%.2f", L.Length()));
  Fact("light.i", Num("%.6f", (factor - LightAmb) / LightR));
  Fact("light.factor", Num("%.5f", factor));
  Fact("light.colour", Triple(r, g, b));
}

// How far the view is from head-on to the nearest axis, and its pitch.
void FactsHeadOn(const Frame& f, int frames) {
  const VECTOR3D F = Forward(f.view);
  const double a[3] = {std::fabs(F.x), std::fabs(F.y), std::fabs(F.z)};
  const int k = int(std::max_element(a, a + 3) - a);
  const double across = std::hypot(a[(k + 1) % 3], a[(k + 2) % 3]);
  const std::string n = std::to_string(frames);
  Fact("head-on." + n, Num("%.4f", std::atan2(across, a[k])));
  const double pitch = std::atan2(double(F.z), std::hypot(double(F.x), double(F.y)));
  Fact("pitch." + n, Num("%.7f", pitch));
  Fact("pitch-deg." + n, Num("%.1f", pitch * 180 / kPi) + "°");
}

void FactsCalls(const Frame& f, int frames) {
  const std::string n = std::to_string(frames);
  Fact("calls." + n, std::to_string(f.room.size() + f.cube.size()));
  Fact("tiles." + n, std::to_string(f.room.size()));
  Fact("faces." + n, std::to_string(f.cube.size()));
}

// The first frame that puts the eye at the limit of its walk along x.
void FactsWalk(const Frame& f) {
  for (std::size_t k = 0; k < f.eyes.size(); ++k)
    if (std::round(f.eyes[k].x * 1000) / 1000 >= 50) {
      Fact("walk.frames", std::to_string(k + 1));
      return;
    }
  Fail(1, "the eye never reaches x = 50");
}

// The near plane's worked frame: the eye at the wall x = +55, turned.
void FactsNear(const Frame& f) {
  const VECTOR3D F = Forward(f.view);
  const MATRIX4D& m = f.view;
  const double ex = -(m.m[3][0] * m.m[0][0] + m.m[3][1] * m.m[0][1] + m.m[3][2] * m.m[0][2]);
  const double ey = -(m.m[3][0] * m.m[1][0] + m.m[3][1] * m.m[1][1] + m.m[3][2] * m.m[1][2]);
  Fact("near.eye", Pair(std::round(ex * 1000) / 1000, std::round(ey * 1000) / 1000));
  Fact("near.gap", Num("%g", 55 - std::round(ex * 1000) / 1000));
  Fact("near.direction", Triple(F.x, F.y, F.z, "%.3g"));
  Fact("near.fx", Num("%.4f", F.x));
  Fact("near.fy", Num("%.4f", F.y));
  const VECTOR3D corner(55, -11, 0);
  Fact("near.corner-z", Num("%.2f", (corner * f.view).z));
  // Where the screen's left edge meets the wall at the eye's height:
  // camera x / z = -MultiplyX / 2, linear along the wall.
  const auto edge = [&](float y) {
    const VECTOR3D c = VECTOR3D(55, y, 0) * f.view;
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
      const double cz = (VECTOR3D(55, y, z) * f.view).z;
      lo = std::min(lo, cz), hi = std::max(hi, cz);
    }
  Fact("near.next-lo", Num("%.2f", lo));
  Fact("near.next-hi", Num("%.2f", hi));
}

// A frame that lights the wall ahead from the cube: how bright the
// brightest painted tile of that wall is, and the peak of its curve.
void FactsLitWall(const Frame& f, int frames) {
  std::vector<int> counts;
  const std::vector<Tile> tiles = Tiles(f, &counts);
  double best = 0;
  for (const Tile& t : tiles)
    if (t.face == 1 && t.fate == Fate::kPainted) {
      VECTOR3D c(0, 0, 0);
      for (const VECTOR3D& v : t.corners) c = c + v * 0.25f;
      best = std::max(best, WallFactor(c, f.light));
    }
  const int green = Shaded(128, best);
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
void FactsFill() {
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
void FactsBounce(const Frame& f, int frames) {
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

void FactsCrack(const Frame& f, int frames) {
  std::vector<int> counts;
  const std::vector<Tile> tiles = Tiles(f, &counts);
  const Crack c = FindCrack(f, tiles, counts);
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
}

// ---- Command line ---------------------------------------------------------------------

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
  if (args.empty())
    Fail(2,
         "usage: orvix-guide counts|labels|plan|fill-rule|light|crack|fill-demo|facts ... (see "
         "tools/guide/guide.cpp)");
  const std::string& command = args[0];
  std::size_t next = 1;
  std::string label;
  int crop[4] = {};
  PlanWindow window{};
  if (command == "counts") {
    if (args.size() < 2) Fail(2, "counts needs a label");
    label = args[next++];
  } else if (command == "fill-rule") {
    if (args.size() < 2 ||
        std::sscanf(args[1].c_str(), "%d,%d,%d,%d", &crop[0], &crop[1], &crop[2], &crop[3]) != 4 ||
        crop[0] < 0 || crop[1] < 0 || crop[2] < 1 || crop[3] < 1 ||
        crop[0] + crop[2] > kBlockSize || crop[1] + crop[3] > kBlockSize)
      Fail(2, "fill-rule needs X,Y,W,H within the frame");
    ++next;
  } else if (command == "plan") {
    if (args.size() < 2 ||
        std::sscanf(args[1].c_str(), "%lf,%lf,%lf,%lf", &window.x0, &window.y0, &window.x1,
                    &window.y1) != 4 ||
        !(window.x0 < window.x1 && window.y0 < window.y1))
      Fail(2, "plan needs X0,Y0,X1,Y1, a window of the floor in scene units");
    ++next;
  } else if (command == "facts") {
    if (args.size() < 2) Fail(2, "facts needs a name");
    label = args[next++];
  } else if (command == "fill-demo") {
    FillDemo();
    return 0;
  } else if (command != "labels" && command != "light" && command != "crack") {
    Fail(2, "unknown command '" + command + "'");
  }
  int frames = 1;
  capture::KeyScript keys;
  for (; next < args.size(); next += 2) {
    if (next + 1 >= args.size()) Fail(2, args[next] + " needs a value");
    std::string error;
    if (args[next] == "--frames") {
      frames = ParseInt(args[next + 1], 1, capture::kMaxFrames, "--frames");
    } else if (args[next] == "--keys") {
      if (!capture::ParseKeyScript(args[next + 1], &keys, &error)) Fail(2, error);
    } else {
      Fail(2, "unknown option '" + args[next] + "'");
    }
  }

  const Frame frame = RecordFrame(frames, keys);
  if (command == "counts") Counts(label, frame);
  if (command == "labels") Labels(frame);
  if (command == "plan") Plan(frame, window);
  if (command == "fill-rule") FillRule(frame, crop[0], crop[1], crop[2], crop[3]);
  if (command == "light") PrintLight(frame);
  if (command == "crack") CrackPicture(frame);
  if (command == "facts") {
    if (label == "projection") {
      FactsProjection(frame);
    } else if (label == "head-on") {
      FactsHeadOn(frame, frames);
    } else if (label == "calls") {
      FactsCalls(frame, frames);
    } else if (label == "near") {
      FactsNear(frame);
    } else if (label == "walk") {
      FactsWalk(frame);
    } else if (label == "lit-wall") {
      FactsLitWall(frame, frames);
    } else if (label == "bounce") {
      FactsBounce(frame, frames);
    } else if (label == "crack") {
      FactsCrack(frame, frames);
    } else if (label == "fill") {
      FactsFill();
    } else {
      Fail(2, "unknown facts '" + label + "'");
    }
  }
  return 0;
}
