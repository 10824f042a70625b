// The software GDI: DCs, bitmaps, brushes and pens in a handle table, and the
// three raster operations the renderer needs (Polygon, FillRect, BitBlt).
//
// Pixels are COLORREF values (0x00BBGGRR), rows top-down. Handles are not
// pointers but encoded slot indices with a generation, so a stale or foreign
// handle is recognised and refused instead of being dereferenced.
#include "platform/gdi.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <vector>

__extension__ typedef __int128 int128;  // GCC and Clang; exact products of two 33-bit values

namespace gdi {
namespace {

enum class Kind : std::uint8_t { Free, DC, Bitmap, Brush, Pen };

struct Object {
  Kind kind = Kind::Free;
  bool stock = false;
  std::uint32_t generation = 0;
  int selections = 0;  // how many DCs hold this object selected

  // Brush and pen.
  COLORREF color = 0;
  bool null = false;  // NULL_BRUSH, NULL_PEN: paint nothing

  // Bitmap, or the caller-owned surface of a surface DC.
  int width = 0;
  int height = 0;
  std::unique_ptr<std::uint32_t[]> owned;
  std::uint32_t* pixels = nullptr;

  // DC: selected objects, as slot indices.
  std::uint32_t bitmap = 0;
  std::uint32_t brush = 0;
  std::uint32_t pen = 0;
  bool surface = false;  // a surface or screen DC: draws into its own pixels
  bool drawn = false;    // a surface DC that some operation has painted on
};

// One row's crossing of a polygon edge, stepped exactly from row to row.
// With N(y) = x0 * dy + (y - y0) * dx the edge's crossing is N / dy; `x` is
// its ceiling and `e` = x * dy - N, kept in [0, dy). All 64-bit: |dx| and dy
// are below 2^32, so nothing here can overflow.
struct Edge {
  std::int64_t top;     // first row, already clipped to the bitmap
  std::int64_t bottom;  // one past the last row, clipped
  std::int64_t x;
  std::int64_t e;
  std::int64_t q;   // floor(dx / dy)
  std::int64_t r;   // dx - q * dy, in [0, dy)
  std::int64_t dy;  // > 0
};

// A handle is a slot and its generation, never a pointer: four zero bits, the
// slot index + 1 above them, the generation in the rest. 64-bit pointers give
// the slot 28 bits and the generation 32; 32-bit pointers (WebAssembly) give
// the slot 16 bits, more objects than a Windows process may hold, and the
// generation 12, so a stale handle is refused until its slot has been reused
// 4096 times.
constexpr int kSlotBits = sizeof(std::uintptr_t) == 8 ? 28 : 16;
constexpr std::uintptr_t kSlotMask = (std::uintptr_t{1} << kSlotBits) - 1;
static_assert(sizeof(std::uintptr_t) == 8 || sizeof(std::uintptr_t) == 4, "32 or 64-bit pointers");

class HandleTable {
 public:
  static HandleTable& Get() {
    static HandleTable table;
    return table;
  }

  // kNone when every slot a handle can name is in use.
  std::uint32_t Create(Kind kind) {
    std::uint32_t index;
    if (!free_.empty()) {
      index = free_.back();
      free_.pop_back();
    } else if (objects_.size() < kSlotMask) {
      index = static_cast<std::uint32_t>(objects_.size());
      objects_.emplace_back();
    } else {
      return kNone;
    }
    Object& o = objects_[index];
    const std::uint32_t generation = o.generation + 1;
    o = Object{};
    o.kind = kind;
    o.generation = generation;
    ++live_;
    return index;
  }

  void Destroy(std::uint32_t index) {
    Object& o = objects_[index];
    const std::uint32_t generation = o.generation;
    o = Object{};  // releases an owned bitmap
    o.generation = generation;
    free_.push_back(index);
    --live_;
  }

  void* Handle(std::uint32_t index) const {
    // The generation's high bits fall off the top when pointers have 32 bits.
    const std::uintptr_t value =
        (static_cast<std::uintptr_t>(objects_[index].generation) << (4 + kSlotBits)) |
        (static_cast<std::uintptr_t>(index + 1) << 4);
    return reinterpret_cast<void*>(value);
  }

  // The slot a handle names, or null when the handle is not a live object.
  Object* Find(const void* handle, std::uint32_t* index_out = nullptr) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    const std::uintptr_t slot = (value >> 4) & kSlotMask;
    if (slot == 0 || slot > objects_.size()) return nullptr;
    const auto index = static_cast<std::uint32_t>(slot - 1);
    Object& o = objects_[index];
    if (o.kind == Kind::Free || Handle(index) != handle) return nullptr;  // generation, low bits
    if (index_out) *index_out = index;
    return &o;
  }

  Object& At(std::uint32_t index) { return objects_[index]; }

  std::uint32_t Stock(int i) {
    if (i < 0 || i > NULL_PEN || stock_[i] == kNone) return kNone;
    return stock_[i];
  }
  std::uint32_t DefaultBitmap() const { return default_bitmap_; }

  DWORD Live() const { return live_; }

  // Scratch of the general fill, kept so that no polygon allocates once warm.
  std::vector<Edge>& Edges() { return edges_; }
  std::vector<Edge*>& Active() { return active_; }
  std::vector<std::int64_t>& Crossings() { return crossings_; }

  PolygonObserver observer = nullptr;
  void* observer_context = nullptr;

  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

 private:
  HandleTable() {
    for (auto& s : stock_) s = kNone;
    stock_[WHITE_BRUSH] = MakeStock(Kind::Brush, RGB(255, 255, 255), false);
    stock_[1] = MakeStock(Kind::Brush, RGB(192, 192, 192), false);  // LTGRAY_BRUSH
    stock_[2] = MakeStock(Kind::Brush, RGB(128, 128, 128), false);  // GRAY_BRUSH
    stock_[3] = MakeStock(Kind::Brush, RGB(64, 64, 64), false);     // DKGRAY_BRUSH
    stock_[BLACK_BRUSH] = MakeStock(Kind::Brush, RGB(0, 0, 0), false);
    stock_[NULL_BRUSH] = MakeStock(Kind::Brush, 0, true);
    stock_[WHITE_PEN] = MakeStock(Kind::Pen, RGB(255, 255, 255), false);
    stock_[BLACK_PEN] = MakeStock(Kind::Pen, RGB(0, 0, 0), false);
    stock_[NULL_PEN] = MakeStock(Kind::Pen, 0, true);
    // Every memory DC starts with this 1 x 1 bitmap, as on Windows.
    default_bitmap_ = MakeStock(Kind::Bitmap, 0, false);
    Object& b = objects_[default_bitmap_];
    b.width = b.height = 1;
    b.owned.reset(new std::uint32_t[1]{0});
    b.pixels = b.owned.get();
  }

  std::uint32_t MakeStock(Kind kind, COLORREF color, bool null) {
    const std::uint32_t index = Create(kind);
    --live_;  // stock objects are not the program's to count
    Object& o = objects_[index];
    o.stock = true;
    o.color = color;
    o.null = null;
    return index;
  }

  std::deque<Object> objects_;  // stable addresses while slots are added
  std::vector<std::uint32_t> free_;
  DWORD live_ = 0;
  std::uint32_t stock_[NULL_PEN + 1];
  std::uint32_t default_bitmap_ = kNone;
  std::vector<Edge> edges_;
  std::vector<Edge*> active_;
  std::vector<std::int64_t> crossings_;
};

// Where a DC draws: its surface, or the bitmap selected into it.
struct Target {
  std::uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
};

Object* FindDC(HDC dc) {
  Object* o = HandleTable::Get().Find(dc);
  return (o && o->kind == Kind::DC) ? o : nullptr;
}

Target TargetOf(const Object& dc) {
  if (dc.surface) return {dc.pixels, dc.width, dc.height};
  const Object& b = HandleTable::Get().At(dc.bitmap);
  return {b.pixels, b.width, b.height};
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {  // b > 0
  std::int64_t q = a / b;
  if ((a % b) != 0 && a < 0) --q;
  return q;
}

// Prepares one edge for rows [max(y0, 0), min(y1, height)). Returns false when
// the edge is horizontal or crosses no row of the bitmap.
bool MakeEdge(POINT a, POINT b, int height, Edge* edge) {
  if (a.y == b.y) return false;  // horizontal edges bound no span
  if (a.y > b.y) std::swap(a, b);
  const std::int64_t y0 = a.y;
  const std::int64_t y1 = b.y;
  const std::int64_t top = std::max<std::int64_t>(y0, 0);
  const std::int64_t bottom = std::min<std::int64_t>(y1, height);
  if (top >= bottom) return false;
  const std::int64_t dy = y1 - y0;                               // 1 .. 2^32 - 1
  const std::int64_t dx = static_cast<std::int64_t>(b.x) - a.x;  // |dx| < 2^32
  edge->top = top;
  edge->bottom = bottom;
  edge->dy = dy;
  edge->q = FloorDiv(dx, dy);
  edge->r = dx - edge->q * dy;
  // The crossing at the first row: ceil(n / dy) with n = (top - y0) * dx.
  const std::int64_t skipped = top - y0;
  if (skipped == 0) {  // the edge starts inside the bitmap: most edges
    edge->x = a.x;
    edge->e = 0;
  } else if (skipped < (std::int64_t{1} << 31) && dx < (std::int64_t{1} << 31) &&
             dx > -(std::int64_t{1} << 31)) {  // the product fits in 62 bits
    const std::int64_t n = skipped * dx;
    std::int64_t c = n / dy;
    if (c * dy < n) ++c;
    edge->x = a.x + c;
    edge->e = c * dy - n;
  } else {  // the first row may lie 2^32 rows below y0: 128 bits
    const int128 n = static_cast<int128>(skipped) * dx;
    int128 c = n / dy;
    if (c * dy < n) ++c;
    edge->x = a.x + static_cast<std::int64_t>(c);
    edge->e = static_cast<std::int64_t>(c * dy - n);
  }
  return true;
}

void FillSpan(std::uint32_t* row, std::int64_t a, std::int64_t b, int width, std::uint32_t color) {
  if (a < 0) a = 0;
  if (b > width) b = width;
  if (a < b) std::fill(row + a, row + b, color);
}

// One row down: the crossing x moves by dx / dy, carried exactly in e. No
// branch: the carry is as good as random for most slopes.
inline void Step(std::int64_t& x, std::int64_t& e, std::int64_t q, std::int64_t r,
                 std::int64_t dy) {
  e -= r;
  const std::int64_t carry = -static_cast<std::int64_t>(e < 0);  // 0 or -1
  x += q - carry;
  e += dy & carry;
}

inline void Step(Edge* edge) { Step(edge->x, edge->e, edge->q, edge->r, edge->dy); }

bool ByTop(const Edge& a, const Edge& b) { return a.top < b.top; }

// `rows` rows between two edges: the span between their crossings (which one
// is left does not matter, and the edges of a self-intersecting polygon may
// cross). The edges are stepped in locals, which stay in registers (two Edge
// pointers might alias, which would keep their fields in memory), and are
// stored back for the next band.
void FillBand(std::uint32_t* row, int width, std::int64_t rows, Edge* left, Edge* right,
              std::uint32_t color) {
  std::int64_t ax = left->x, ae = left->e;
  const std::int64_t aq = left->q, ar = left->r, ady = left->dy;
  std::int64_t bx = right->x, be = right->e;
  const std::int64_t bq = right->q, br = right->r, bdy = right->dy;
  for (; rows > 0; --rows, row += width) {
    FillSpan(row, std::min(ax, bx), std::max(ax, bx), width, color);
    Step(ax, ae, aq, ar, ady);
    Step(bx, be, bq, br, bdy);
  }
  left->x = ax, left->e = ae;
  right->x = bx, right->e = be;
}

// How often y turns around the polygon, horizontal edges skipped. Two means
// y-monotone (convex polygons are): every row crosses exactly two edges.
int TurnsInY(const POINT* pts, int count) {
  int turns = 0;
  int first = 0;
  int last = 0;
  for (int i = 0; i < count; ++i) {
    const LONG y0 = pts[i].y;
    const LONG y1 = pts[i + 1 == count ? 0 : i + 1].y;
    if (y0 == y1) continue;
    const int direction = y1 > y0 ? 1 : -1;
    if (first == 0) {
      first = direction;
    } else if (direction != last) {
      ++turns;
    }
    last = direction;
  }
  if (first != last) ++turns;  // around the corner from the last edge to the first
  return turns;
}

// One side of a y-monotone polygon, walked downward from its top vertex.
struct Chain {
  const POINT* pts;
  int count;
  int vertex;  // where the current edge ends
  int step;    // +1 or -1 around the polygon
  Edge edge;

  // Moves to the edge that covers row y (edges above the bitmap or above y
  // are passed over). False when the chain has no such edge.
  bool Advance(std::int64_t y, int height) {
    for (int walked = 0; walked < count; ++walked) {
      const POINT a = pts[vertex];
      vertex += step;
      if (vertex == count) vertex = 0;
      if (vertex < 0) vertex = count - 1;
      const POINT b = pts[vertex];
      if (b.y < a.y) return false;  // past the bottom
      if (b.y > a.y && b.y > y && MakeEdge(a, b, height, &edge)) return true;
    }
    return false;
  }
};

// The common case, with neither sorting nor an active list.
void FillMonotone(std::uint32_t* pixels, int width, int height, const POINT* pts, int count,
                  std::uint32_t color) {
  int top = 0;
  LONG bottom_y = pts[0].y;
  for (int i = 1; i < count; ++i) {
    if (pts[i].y < pts[top].y) top = i;
    bottom_y = std::max(bottom_y, pts[i].y);
  }
  std::int64_t y = std::max<std::int64_t>(pts[top].y, 0);
  const std::int64_t end = std::min<std::int64_t>(bottom_y, height);
  if (y >= end) return;
  Chain forward{pts, count, top, 1, {}};
  Chain backward{pts, count, top, -1, {}};
  if (!forward.Advance(y, height) || !backward.Advance(y, height)) return;
  std::uint32_t* row = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
  for (;;) {
    const std::int64_t band_end = std::min({forward.edge.bottom, backward.edge.bottom, end});
    FillBand(row, width, band_end - y, &forward.edge, &backward.edge, color);
    row += static_cast<std::size_t>(band_end - y) * static_cast<std::size_t>(width);
    y = band_end;
    if (y >= end) return;
    if (forward.edge.bottom <= y && !forward.Advance(y, height)) return;
    if (backward.edge.bottom <= y && !backward.Advance(y, height)) return;
  }
}

}  // namespace

void FillPolygon(std::uint32_t* pixels, int width, int height, const POINT* pts, int count,
                 std::uint32_t color) {
  if (!pixels || !pts || count < 3 || width <= 0 || height <= 0) return;
  const int turns = TurnsInY(pts, count);
  if (turns == 0) return;  // every edge horizontal
  if (turns == 2) {
    FillMonotone(pixels, width, height, pts, count, color);
    return;
  }
  HandleTable& table = HandleTable::Get();
  std::vector<Edge>& edges = table.Edges();
  edges.clear();
  if (edges.capacity() < static_cast<std::size_t>(count)) edges.reserve(count);
  std::int64_t first = height;
  std::int64_t last = 0;
  for (int i = 0; i < count; ++i) {
    Edge edge;
    if (MakeEdge(pts[i], pts[i + 1 == count ? 0 : i + 1], height, &edge)) {
      first = std::min(first, edge.top);
      last = std::max(last, edge.bottom);
      edges.push_back(edge);
    }
  }
  if (edges.size() < 2) return;
  std::sort(edges.begin(), edges.end(), ByTop);

  std::vector<Edge*>& active = table.Active();
  std::vector<std::int64_t>& xs = table.Crossings();
  active.clear();
  if (active.capacity() < edges.size()) active.reserve(edges.size());
  if (xs.size() < edges.size()) xs.resize(edges.size());
  std::int64_t* x = xs.data();
  std::size_t next = 0;
  // Rows go in bands between events (an edge starting or ending), so that
  // the active set only changes between bands.
  for (std::int64_t y = first; y < last;) {
    while (next < edges.size() && edges[next].top == y) active.push_back(&edges[next++]);
    active.erase(std::remove_if(active.begin(), active.end(),
                                [y](const Edge* edge) { return edge->bottom <= y; }),
                 active.end());
    std::int64_t end = next < edges.size() ? edges[next].top : last;
    for (const Edge* edge : active) end = std::min(end, edge->bottom);

    std::uint32_t* row = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    if (active.size() == 2) {
      FillBand(row, width, end - y, active[0], active[1], color);
      y = end;
      continue;
    }
    for (; y < end; ++y, row += width) {
      // Insertion sort: the crossings of a row are few and mostly in order.
      std::size_t n = 0;
      for (Edge* edge : active) {
        std::size_t j = n++;
        while (j > 0 && x[j - 1] > edge->x) {
          x[j] = x[j - 1];
          --j;
        }
        x[j] = edge->x;
        Step(edge);
      }
      // Even-odd: a pixel is inside when an odd number of crossings lie at or
      // left of it, so the spans are [x0, x1), [x2, x3), ...
      for (std::size_t k = 0; k + 1 < n; k += 2) FillSpan(row, x[k], x[k + 1], width, color);
    }
  }
}

HDC CreateSurfaceDC(std::uint32_t* pixels, int width, int height) {
  HandleTable& table = HandleTable::Get();
  const std::uint32_t index = table.Create(Kind::DC);
  if (index == HandleTable::kNone) return nullptr;
  Object& dc = table.At(index);
  dc.surface = true;
  dc.pixels = pixels;
  dc.width = pixels ? std::max(width, 0) : 0;
  dc.height = pixels ? std::max(height, 0) : 0;
  dc.brush = table.Stock(WHITE_BRUSH);
  dc.pen = table.Stock(BLACK_PEN);
  dc.bitmap = HandleTable::kNone;
  return static_cast<HDC>(table.Handle(index));
}

HDC CreateScreenDC() { return CreateSurfaceDC(nullptr, 0, 0); }

void SetPolygonObserver(PolygonObserver observer, void* context) {
  HandleTable& table = HandleTable::Get();
  table.observer = observer;
  table.observer_context = context;
}

bool IsSurfaceDC(HDC dc, const std::uint32_t* pixels) {
  const Object* o = FindDC(dc);
  return o && o->surface && o->pixels == pixels;
}

bool SurfaceDrawn(HDC dc) {
  const Object* o = FindDC(dc);
  return o && o->surface && o->drawn;
}

}  // namespace gdi

using gdi::HandleTable;
using gdi::Kind;
using gdi::Object;

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  // Any DC, or none (the screen), is a valid model: all bitmaps are 32-bit.
  if (hdc && !gdi::FindDC(hdc)) return nullptr;
  HandleTable& table = HandleTable::Get();
  const std::uint32_t index = table.Create(Kind::DC);
  if (index == HandleTable::kNone) return nullptr;
  Object& dc = table.At(index);
  dc.bitmap = table.DefaultBitmap();
  dc.brush = table.Stock(WHITE_BRUSH);
  dc.pen = table.Stock(BLACK_PEN);
  return static_cast<HDC>(table.Handle(index));
}

BOOL WINAPI DeleteDC(HDC hdc) {
  std::uint32_t index;
  HandleTable& table = HandleTable::Get();
  Object* dc = table.Find(hdc, &index);
  if (!dc || dc->kind != Kind::DC) return FALSE;
  for (std::uint32_t held : {dc->bitmap, dc->brush, dc->pen}) {
    if (held != HandleTable::kNone) --table.At(held).selections;
  }
  table.Destroy(index);
  return TRUE;
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  if (!gdi::FindDC(hdc) || cx <= 0 || cy <= 0) return nullptr;
  // Refuse what cannot be addressed or allocated instead of failing later.
  const std::uint64_t count = static_cast<std::uint64_t>(cx) * static_cast<std::uint64_t>(cy);
  if (count > (std::uint64_t{1} << 30)) return nullptr;
  std::unique_ptr<std::uint32_t[]> pixels(new (std::nothrow) std::uint32_t[count]());
  if (!pixels) return nullptr;
  HandleTable& table = HandleTable::Get();
  const std::uint32_t index = table.Create(Kind::Bitmap);
  if (index == HandleTable::kNone) return nullptr;
  Object& b = table.At(index);
  b.width = cx;
  b.height = cy;
  b.owned = std::move(pixels);
  b.pixels = b.owned.get();
  return static_cast<HBITMAP>(table.Handle(index));
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  HandleTable& table = HandleTable::Get();
  const std::uint32_t index = table.Create(Kind::Brush);
  if (index == HandleTable::kNone) return nullptr;
  table.At(index).color = color & 0x00FFFFFFu;  // the top byte selects no palette here
  return static_cast<HBRUSH>(table.Handle(index));
}

HGDIOBJ WINAPI GetStockObject(int i) {
  HandleTable& table = HandleTable::Get();
  const std::uint32_t index = table.Stock(i);
  return index == HandleTable::kNone ? nullptr : table.Handle(index);
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  HandleTable& table = HandleTable::Get();
  Object* dc = gdi::FindDC(hdc);
  std::uint32_t index;
  Object* o = table.Find(h, &index);
  if (!dc || !o) return nullptr;
  std::uint32_t* slot;
  switch (o->kind) {
    case Kind::Bitmap:
      if (dc->surface) return nullptr;  // only memory DCs take bitmaps
      // A bitmap lives in one DC at a time.
      if (!o->stock && o->selections > 0 && dc->bitmap != index) return nullptr;
      slot = &dc->bitmap;
      break;
    case Kind::Brush:
      slot = &dc->brush;
      break;
    case Kind::Pen:
      slot = &dc->pen;
      break;
    default:
      return nullptr;
  }
  const std::uint32_t previous = *slot;
  *slot = index;
  ++o->selections;
  --table.At(previous).selections;
  return table.Handle(previous);
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  HandleTable& table = HandleTable::Get();
  std::uint32_t index;
  Object* o = table.Find(ho, &index);
  if (!o || o->kind == Kind::DC) return FALSE;
  if (o->stock) return TRUE;  // harmless, and never freed
  if (o->selections > 0) return FALSE;
  table.Destroy(index);
  return TRUE;
}

BOOL WINAPI Polygon(HDC hdc, const POINT* apt, int cpt) {
  Object* dc = gdi::FindDC(hdc);
  if (!dc || !apt || cpt < 2) return FALSE;
  const Object& brush = HandleTable::Get().At(dc->brush);
  // The pen's outline is not drawn; ORVIX selects the null pen.
  if (!brush.null) {
    const HandleTable& table = HandleTable::Get();
    if (table.observer) table.observer(table.observer_context, apt, cpt, brush.color);
    dc->drawn = true;
    const gdi::Target t = gdi::TargetOf(*dc);
    gdi::FillPolygon(t.pixels, t.width, t.height, apt, cpt, brush.color);
  }
  return TRUE;
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  Object* dc = gdi::FindDC(hDC);
  Object* brush = HandleTable::Get().Find(hbr);
  if (!dc || !lprc || !brush || brush->kind != Kind::Brush) return 0;
  if (brush->null) return 1;
  dc->drawn = true;
  const gdi::Target t = gdi::TargetOf(*dc);
  const int left = std::max<LONG>(lprc->left, 0);
  const int top = std::max<LONG>(lprc->top, 0);
  const int right = std::min<LONG>(lprc->right, t.width);
  const int bottom = std::min<LONG>(lprc->bottom, t.height);
  for (int y = top; y < bottom && left < right; ++y) {
    std::uint32_t* row = t.pixels + static_cast<std::size_t>(y) * t.width;
    std::fill(row + left, row + right, brush->color);
  }
  return 1;
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  Object* dst_dc = gdi::FindDC(hdc);
  Object* src_dc = gdi::FindDC(hdcSrc);
  if (!dst_dc || !src_dc || rop != SRCCOPY) return FALSE;
  if (cx <= 0 || cy <= 0) return TRUE;
  dst_dc->drawn = true;
  const gdi::Target dst = gdi::TargetOf(*dst_dc);
  const gdi::Target src = gdi::TargetOf(*src_dc);
  // Clip the rectangle against both bitmaps, in 64 bits so that no edge can wrap.
  std::int64_t dx = x, dy = y, sx = x1, sy = y1, w = cx, h = cy;
  const std::int64_t shift_x = std::max<std::int64_t>({0, -dx, -sx});
  const std::int64_t shift_y = std::max<std::int64_t>({0, -dy, -sy});
  dx += shift_x, sx += shift_x, w -= shift_x;
  dy += shift_y, sy += shift_y, h -= shift_y;
  w = std::min<std::int64_t>({w, dst.width - dx, src.width - sx});
  h = std::min<std::int64_t>({h, dst.height - dy, src.height - sy});
  if (w <= 0 || h <= 0) return TRUE;
  // Rows of one bitmap may overlap: copy bottom-up when moving down.
  const bool upward = dst.pixels == src.pixels && dy > sy;
  for (std::int64_t k = 0; k < h; ++k) {
    const std::int64_t row = upward ? h - 1 - k : k;
    std::memmove(dst.pixels + (dy + row) * dst.width + dx, src.pixels + (sy + row) * src.width + sx,
                 static_cast<std::size_t>(w) * sizeof(std::uint32_t));
  }
  return TRUE;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
  Object* dc = gdi::FindDC(hdc);
  if (!dc) return CLR_INVALID;
  const gdi::Target t = gdi::TargetOf(*dc);
  if (x < 0 || y < 0 || x >= t.width || y >= t.height) return CLR_INVALID;
  return t.pixels[static_cast<std::size_t>(y) * t.width + x];
}

HANDLE WINAPI GetCurrentProcess(void) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));  // as on Windows
}

DWORD WINAPI GetGuiResources(HANDLE hProcess, DWORD uiFlags) {
  if (hProcess != GetCurrentProcess() || uiFlags != GR_GDIOBJECTS) return 0;
  return HandleTable::Get().Live();
}
