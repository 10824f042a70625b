// The software GDI: DCs, bitmaps, brushes and pens in a handle table, the
// selection rules, and the three drawing operations the renderer needs
// (Polygon, FillRect, BitBlt). The polygon fill itself is in raster.cpp.
//
// Bitmaps hold their pixels as Windows lays out a 32-bit DIB, 0x00RRGGBB
// (bytes B, G, R, X), rows top-down: the layout of the window surfaces of the
// usual X11 and Wayland displays, so that the frame's copy to the window needs
// no conversion. A colour goes in and out as a COLORREF (0x00BBGGRR), turned
// once per call. Surface DCs draw in the layout their owner asks for.
//
// Handles are not pointers but encoded slot indices with a generation, so a
// stale or foreign handle is recognised and refused instead of being
// dereferenced.
#include "platform/gdi.h"

#include <algorithm>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "platform/raster.h"

namespace gdi {
namespace {

enum class Kind : std::uint8_t { Free, DC, Bitmap, Brush, Pen };

constexpr std::uint32_t kNone = 0xFFFFFFFFu;  // no slot

// One slot of the handle table. A free slot holds the defaults below, apart
// from its generation and its link, so that taking it needs only the fields
// that differ.
struct Object {
  std::uintptr_t handle = 0;  // the handle that names the slot; 0, which none is, when free
  std::uint32_t generation = 0;
  std::uint32_t next_free = kNone;  // free slot: the next one
  Kind kind = Kind::Free;
  bool stock = false;
  bool null = false;     // brush and pen: NULL_BRUSH, NULL_PEN paint nothing
  bool surface = false;  // DC: a surface or screen DC, drawing into its own pixels
  bool drawn = false;    // DC: a surface DC that some operation has painted on
  PixelFormat format = PixelFormat::kXrgb8888;  // bitmap, surface DC
  int selections = 0;                           // how many DCs hold this object selected

  COLORREF color = 0;  // brush and pen

  // DC: selected objects, as slot indices.
  std::uint32_t bitmap = 0;
  std::uint32_t brush = 0;
  std::uint32_t pen = 0;

  // Bitmap, or the caller-owned surface of a surface DC.
  int width = 0;
  int height = 0;
  int stride = 0;
  std::uint32_t* pixels = nullptr;
  std::unique_ptr<std::uint32_t[]> owned;
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

// Every object, in slots reused after deletion. The polygon path calls into
// it five times per polygon (brush made, selected, used, deselected,
// deleted), so each call is a few loads and stores: a slot is found from its
// handle by a shift and one comparison with the handle it holds, a free slot
// is taken from the head of a list linked through the slots, and the table
// is a plain global with a trivial destructor: constant-initialised, so no
// guard is tested on every call, and never torn down, so that DCs that other
// files' statics release while the program exits still find it (the system
// reclaims the slots, as Windows does a process's GDI objects). The stock
// objects are made at the first creation.
class HandleTable {
 public:
  // kNone when every slot a handle can name is in use.
  std::uint32_t Create(Kind kind) {
    if (!stocked_) MakeStock();
    if (free_ == kNone && !Grow()) return kNone;
    const std::uint32_t index = free_;
    Object& o = objects_[index];
    free_ = o.next_free;
    o.kind = kind;
    ++o.generation;
    // The generation's high bits fall off the top when pointers have 32 bits.
    o.handle = (static_cast<std::uintptr_t>(o.generation) << (4 + kSlotBits)) |
               (static_cast<std::uintptr_t>(index + 1) << 4);
    ++live_;
    return index;
  }

  void Destroy(std::uint32_t index) {
    Object& o = objects_[index];
    if (o.kind == Kind::Brush) {  // the common case: only these can differ
      o.kind = Kind::Free;
      o.handle = 0;
      o.color = 0;
    } else {
      const std::uint32_t generation = o.generation;
      o = Object{};  // releases an owned bitmap
      o.generation = generation;
    }
    o.next_free = free_;
    free_ = index;
    --live_;
  }

  void* Handle(std::uint32_t index) const {
    return reinterpret_cast<void*>(objects_[index].handle);
  }

  // The slot a handle names, or null when the handle is not a live object.
  Object* Find(const void* handle, std::uint32_t* index_out = nullptr) const {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    // index + 1 is encoded: a null handle, or one without slot bits, wraps
    // to an index beyond every slot.
    const std::uint32_t index = static_cast<std::uint32_t>((value >> 4) & kSlotMask) - 1;
    if (index >= used_) return nullptr;
    Object& o = objects_[index];
    if (o.handle != value) return nullptr;  // free, another generation, or stray low bits
    if (index_out) *index_out = index;
    return &o;
  }

  // Slot references last until the next Create, which may move the slots.
  Object& At(std::uint32_t index) { return objects_[index]; }

  std::uint32_t Stock(int i) {
    if (!stocked_) MakeStock();
    if (i < 0 || i > NULL_PEN) return kNone;
    return stock_[i];
  }
  std::uint32_t DefaultBitmap() {
    if (!stocked_) MakeStock();
    return default_bitmap_;
  }

  DWORD Live() const { return live_; }

  PolygonObserver observer = nullptr;
  void* observer_context = nullptr;

 private:
  // Room for more slots, which become free; false when no handle could name them.
  bool Grow();
  void MakeStock();

  std::uint32_t MakeStock(Kind kind, COLORREF color, bool null) {
    const std::uint32_t index = Create(kind);
    --live_;  // stock objects are not the program's to count
    Object& o = objects_[index];
    o.stock = true;
    o.color = color;
    o.null = null;
    return index;
  }

  Object* objects_ = nullptr;
  std::uint32_t used_ = 0;      // slots ever taken: [0, used_) may be live
  std::uint32_t capacity_ = 0;  // slots allocated
  std::uint32_t free_ = kNone;  // the first free slot below used_, or kNone
  DWORD live_ = 0;
  bool stocked_ = false;
  std::uint32_t stock_[NULL_PEN + 1] = {kNone, kNone, kNone, kNone, kNone,
                                        kNone, kNone, kNone, kNone};
  std::uint32_t default_bitmap_ = kNone;
};

HandleTable g_table;
static_assert(std::is_trivially_destructible<HandleTable>::value, "never torn down");

bool HandleTable::Grow() {
  if (used_ == capacity_) {
    if (capacity_ >= kSlotMask) return false;
    const std::uint32_t capacity = static_cast<std::uint32_t>(
        std::min<std::uintptr_t>(std::max(64u, capacity_ * 2), kSlotMask));
    Object* grown = new (std::nothrow) Object[capacity];
    if (!grown) return false;
    std::move(objects_, objects_ + used_, grown);
    delete[] objects_;
    objects_ = grown;
    capacity_ = capacity;
  }
  free_ = used_++;  // the new slot is fresh from the constructor
  return true;
}

void HandleTable::MakeStock() {
  stocked_ = true;
  stock_[WHITE_BRUSH] = MakeStock(Kind::Brush, RGB(255, 255, 255), false);
  stock_[LTGRAY_BRUSH] = MakeStock(Kind::Brush, RGB(192, 192, 192), false);
  stock_[GRAY_BRUSH] = MakeStock(Kind::Brush, RGB(128, 128, 128), false);
  stock_[DKGRAY_BRUSH] = MakeStock(Kind::Brush, RGB(64, 64, 64), false);
  stock_[BLACK_BRUSH] = MakeStock(Kind::Brush, RGB(0, 0, 0), false);
  stock_[NULL_BRUSH] = MakeStock(Kind::Brush, 0, true);
  stock_[WHITE_PEN] = MakeStock(Kind::Pen, RGB(255, 255, 255), false);
  stock_[BLACK_PEN] = MakeStock(Kind::Pen, RGB(0, 0, 0), false);
  stock_[NULL_PEN] = MakeStock(Kind::Pen, 0, true);
  // Every memory DC starts with this 1 x 1 bitmap, as on Windows.
  default_bitmap_ = MakeStock(Kind::Bitmap, 0, false);
  Object& b = objects_[default_bitmap_];
  b.width = b.height = b.stride = 1;
  b.owned.reset(new std::uint32_t[1]{0});
  b.pixels = b.owned.get();
}

// Where a DC draws: its surface, or the bitmap selected into it.
struct Target {
  raster::Surface surface;
  PixelFormat format;

  // The pixel value of a colour in this target's layout.
  std::uint32_t Value(COLORREF color) const {
    return format == PixelFormat::kXbgr8888 ? color : raster::SwapRedBlue(color);
  }
};

inline Object* FindDC(HDC dc) {
  Object* o = g_table.Find(dc);
  return (o && o->kind == Kind::DC) ? o : nullptr;
}

Target TargetOf(const Object& dc) {
  const Object& o = dc.surface ? dc : g_table.At(dc.bitmap);
  return {{o.pixels, o.width, o.height, o.stride}, o.format};
}

}  // namespace

HDC CreateSurfaceDC(std::uint32_t* pixels, int width, int height, int stride, PixelFormat format) {
  HandleTable& table = gdi::g_table;
  const std::uint32_t index = table.Create(Kind::DC);
  if (index == gdi::kNone) return nullptr;
  Object& dc = table.At(index);
  dc.surface = true;
  dc.pixels = pixels;
  dc.width = pixels ? std::max(width, 0) : 0;
  dc.height = pixels ? std::max(height, 0) : 0;
  dc.stride = std::max(stride, dc.width);
  dc.format = format;
  dc.brush = table.Stock(WHITE_BRUSH);
  dc.pen = table.Stock(BLACK_PEN);
  dc.bitmap = gdi::kNone;
  return static_cast<HDC>(table.Handle(index));
}

HDC CreateScreenDC() { return CreateSurfaceDC(nullptr, 0, 0); }

void SetPolygonObserver(PolygonObserver observer, void* context) {
  HandleTable& table = gdi::g_table;
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
  HandleTable& table = gdi::g_table;
  const std::uint32_t index = table.Create(Kind::DC);
  if (index == gdi::kNone) return nullptr;
  Object& dc = table.At(index);
  dc.bitmap = table.DefaultBitmap();
  dc.brush = table.Stock(WHITE_BRUSH);
  dc.pen = table.Stock(BLACK_PEN);
  return static_cast<HDC>(table.Handle(index));
}

BOOL WINAPI DeleteDC(HDC hdc) {
  std::uint32_t index;
  HandleTable& table = gdi::g_table;
  Object* dc = table.Find(hdc, &index);
  if (!dc || dc->kind != Kind::DC) return FALSE;
  for (std::uint32_t held : {dc->bitmap, dc->brush, dc->pen}) {
    if (held != gdi::kNone) --table.At(held).selections;
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
  HandleTable& table = gdi::g_table;
  const std::uint32_t index = table.Create(Kind::Bitmap);
  if (index == gdi::kNone) return nullptr;
  Object& b = table.At(index);
  b.width = b.stride = cx;
  b.height = cy;
  b.owned = std::move(pixels);
  b.pixels = b.owned.get();
  return static_cast<HBITMAP>(table.Handle(index));
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  HandleTable& table = gdi::g_table;
  const std::uint32_t index = table.Create(Kind::Brush);
  if (index == gdi::kNone) return nullptr;
  table.At(index).color = color & 0x00FFFFFFu;  // the top byte selects no palette here
  return static_cast<HBRUSH>(table.Handle(index));
}

HGDIOBJ WINAPI GetStockObject(int i) {
  HandleTable& table = gdi::g_table;
  const std::uint32_t index = table.Stock(i);
  return index == gdi::kNone ? nullptr : table.Handle(index);
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  HandleTable& table = gdi::g_table;
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
  HandleTable& table = gdi::g_table;
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
  HandleTable& table = gdi::g_table;
  const Object& brush = table.At(dc->brush);
  // The pen's outline is not drawn; ORVIX selects the null pen.
  if (brush.null) return TRUE;
  const COLORREF color = brush.color;
  dc->drawn = true;
  const gdi::Target t = gdi::TargetOf(*dc);
  // Last, as it may call anything: no slot reference is used after it.
  if (table.observer) table.observer(table.observer_context, apt, cpt, color);
  raster::FillPolygon(t.surface, apt, cpt, t.Value(color));
  return TRUE;
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  Object* dc = gdi::FindDC(hDC);
  Object* brush = gdi::g_table.Find(hbr);
  if (!dc || !lprc || !brush || brush->kind != Kind::Brush) return 0;
  if (brush->null) return 1;
  dc->drawn = true;
  const gdi::Target t = gdi::TargetOf(*dc);
  raster::FillRect(t.surface, std::max<LONG>(lprc->left, 0), std::max<LONG>(lprc->top, 0),
                   std::min<LONG>(lprc->right, t.surface.width),
                   std::min<LONG>(lprc->bottom, t.surface.height), t.Value(brush->color));
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
  w = std::min<std::int64_t>({w, dst.surface.width - dx, src.surface.width - sx});
  h = std::min<std::int64_t>({h, dst.surface.height - dy, src.surface.height - sy});
  if (w <= 0 || h <= 0) return TRUE;
  // Every value now lies within the two surfaces' int sizes.
  raster::Copy(dst.surface, static_cast<int>(dx), static_cast<int>(dy), src.surface,
               static_cast<int>(sx), static_cast<int>(sy), static_cast<int>(w), static_cast<int>(h),
               dst.format != src.format);
  return TRUE;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
  Object* dc = gdi::FindDC(hdc);
  if (!dc) return CLR_INVALID;
  const gdi::Target t = gdi::TargetOf(*dc);
  if (x < 0 || y < 0 || x >= t.surface.width || y >= t.surface.height) return CLR_INVALID;
  // The colour value is its own inverse: the swap turns a pixel back into a COLORREF.
  return t.Value(t.surface.pixels[y * t.surface.stride + x]);
}

HANDLE WINAPI GetCurrentProcess(void) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));  // as on Windows
}

DWORD WINAPI GetGuiResources(HANDLE hProcess, DWORD uiFlags) {
  if (hProcess != GetCurrentProcess() || uiFlags != GR_GDIOBJECTS) return 0;
  return gdi::g_table.Live();
}
