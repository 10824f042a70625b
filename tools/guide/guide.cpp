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
//   orvix-guide light --frames N [--keys S]         where frame N draws the cube: x y z
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
#include "screen_projection.h"
#include "test_surface.h"
#include "workloads.h"

namespace {

constexpr const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

[[noreturn]] void Fail(int status, const std::string& message) {
  std::cerr << "orvix-guide: " << message << '\n';
  std::exit(status);
}

// ---- Frame N of a recording ----------------------------------------------

struct Frame {
  MATRIX4D view;                      // View while frame N was drawn
  VECTOR3D light;                     // where frame N draws the cube and lights the room from
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
        (getLightType() == kLightPoint ? frame->room : frame->cube).Add(pts, count, color);
      },
      &f);
  const int status = capture::Play(frames, 0, keys, [&](int frame, const std::uint32_t* pixels) {
    if (frame == frames) {
      f.view = View;
      f.pixels.assign(pixels, pixels + kBlockSize * kBlockSize);
      return;
    }
    f.room = {};
    f.cube = {};
    f.light = Light;  // moved by this frame: the next one is drawn from here
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
    const VECTOR3D U = face.floor ? VECTOR3D(d.x / n, 0, 0) : VECTOR3D(d.x / n, d.y / n, 0);
    const VECTOR3D V = face.floor ? VECTOR3D(0, d.y / n, d.z / n) : VECTOR3D(0, 0, d.z / n);
    for (int i = 0; i < kRoomTiles; ++i) {
      for (int j = 0; j < kRoomTiles; ++j) {
        Tile t;
        t.face = k;
        VECTOR3D from = Corner(face.from) + U * float(i) + V * float(j);
        const VECTOR3D to = from + U + V;
        t.corners[0] = from;
        t.corners[1] = from + U;
        t.corners[2] = to;
        t.corners[3] = from + V;
        t.drawn = support::Record([&] {
          if (face.floor) {
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
    label(ox, oy - 12, "(0, 0, 0)", "middle");
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
    if (kRoom[t.face].floor) continue;
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
    if (face.floor) continue;
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

// Pixel (x, y) is drawn as the square around its lattice point (x, y), the
// point the fill tests; points that lie exactly on an edge are ringed white.
void FillRule(const Frame& f, int x0, int y0, int w, int h) {
  constexpr int kScale = 24;
  std::vector<int> counts;
  const std::vector<Tile> tiles = Tiles(f, &counts);
  // The claim the picture makes: every pixel of it painted by exactly one tile.
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x)
      if (counts[y * kBlockSize + x] != 1)
        Fail(1, "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is painted " +
                    std::to_string(counts[y * kBlockSize + x]) + " times");

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
  // The edges as the fill receives them, between integer points.
  std::vector<std::pair<POINT, POINT>> edges;
  std::printf("push graphic-context\nstroke '#FFFFFF' stroke-width 2 fill none\n");
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
      const bool on_edge = std::any_of(edges.begin(), edges.end(), [&](const auto& e) {
        return OnEdge(e.first, e.second, x, y);
      });
      std::printf("stroke %s stroke-width 1.5 fill '#000000' circle %.1f,%.1f %.1f,%.1f\n",
                  on_edge ? "'#FFFFFF'" : "none", px(x), py(y), px(x) + (on_edge ? 4 : 2.5), py(y));
    }
  }
}

// ---- light: where frame N draws the cube -------------------------------------------------

void PrintLight(const Frame& f) {
  std::printf("%.9g %.9g %.9g\n", f.light.x, f.light.y, f.light.z);
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
    Fail(2, "usage: orvix-guide counts|labels|plan|fill-rule|light ... (see tools/guide.cpp)");
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
  } else if (command != "labels" && command != "light") {
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
  return 0;
}
