// libFuzzer: arbitrary polygons, bitmap sizes, row strides and coordinates
// through Polygon on a surface DC, compared pixel by pixel with the
// brute-force reference. Any difference, or a write outside the bitmap or
// between its rows, aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gdi.h"
#include "platform/win32.h"
#include "reference_fill.h"

namespace {

constexpr std::uint32_t kSentinel = 0x00C3C3C3;
constexpr std::uint32_t kInk = 0x00123456;
constexpr std::size_t kGuard = 256;

// Reads the input front to back; past its end every read gives 0.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::int32_t Int32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    std::int32_t out;
    std::memcpy(&out, &v, sizeof(out));
    return out;
  }
  // Mostly small coordinates near the bitmap, sometimes anything at all.
  std::int32_t Coordinate() {
    const std::uint8_t mode = Byte();
    if (mode < 160) return static_cast<std::int8_t>(Byte()) / 4 + 16;
    if (mode < 220) return static_cast<std::int16_t>((Byte() << 8) | Byte());
    return Int32();
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const int width = 1 + in.Byte() % 40;
  const int height = 1 + in.Byte() % 40;
  const int stride = width + in.Byte() % 4;  // rows may lie further apart than their width
  const int count = in.Byte() % 17;
  std::vector<POINT> pts(static_cast<std::size_t>(count));
  for (POINT& p : pts) p.x = in.Coordinate(), p.y = in.Coordinate();

  std::vector<std::uint32_t> memory(kGuard * 2 + std::size_t(stride) * height, kSentinel);
  const HDC dc = gdi::CreateSurfaceDC(memory.data() + kGuard, width, height, stride);
  const HBRUSH brush = CreateSolidBrush(kInk);
  const HGDIOBJ old = SelectObject(dc, brush);
  Polygon(dc, pts.data(), count);
  SelectObject(dc, old);
  DeleteObject(brush);
  DeleteDC(dc);

  std::vector<std::uint32_t> expected(std::size_t(width) * height, kSentinel);
  support::reference::Fill(expected, width, height, pts.data(), count, kInk);
  for (std::size_t i = 0; i < memory.size(); ++i) {
    const std::size_t row = (i - kGuard) / stride, column = (i - kGuard) % stride;
    const bool in_bitmap = i >= kGuard && i < memory.size() - kGuard && column < std::size_t(width);
    const std::uint32_t want = in_bitmap ? expected[row * width + column] : kSentinel;
    if (memory[i] != want) {
      std::fprintf(stderr, "fill differs from the reference at offset %zd of a %d x %d bitmap\n",
                   static_cast<std::ptrdiff_t>(i) - static_cast<std::ptrdiff_t>(kGuard), width,
                   height);
      for (const POINT& p : pts) std::fprintf(stderr, "  (%d, %d)\n", p.x, p.y);
      std::abort();
    }
  }
  return 0;
}
