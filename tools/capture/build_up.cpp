#include "capture/build_up.h"

#include <utility>

#include "Main.h"
#include "capture/options.h"
#include "platform/gdi.h"

namespace capture {

int BuildUpDelay(int index, bool last) {
  if (last) return 300;
  return index == 1 ? 50 : 5;
}

BuildUp::BuildUp(int frame, int step, Keep keep)
    : frame_(frame),
      step_(step),
      keep_(std::move(keep)),
      pixels_(static_cast<std::size_t>(kBlockSize) * kBlockSize),
      copy_dc_(gdi::CreateSurfaceDC(pixels_.data(), kBlockSize, kBlockSize)) {
  gdi::SetPolygonObserver(
      [](void* self, const POINT*, int, COLORREF) { static_cast<BuildUp*>(self)->BeforePolygon(); },
      this);
}

BuildUp::~BuildUp() {
  Stop();
  DeleteDC(copy_dc_);
}

void BuildUp::Stop() {
  if (!stopped_) gdi::SetPolygonObserver(nullptr, nullptr);
  stopped_ = true;
}

// Called before each fill: the back buffer then holds `painted_` polygons.
void BuildUp::BeforePolygon() {
  if (stopped_ || presented_ != frame_ - 1) return;
  if (painted_ % step_ == 0) {
    BitBlt(copy_dc_, 0, 0, kBlockSize, kBlockSize, hBlockDC, 0, 0, SRCCOPY);
    if (!keep_(pixels_.data(), ++images_, false)) Stop();
  }
  ++painted_;
}

void BuildUp::Presented(int frame, const std::uint32_t* pixels) {
  presented_ = frame;
  if (stopped_ || frame != frame_) return;
  // The presented frame is the back buffer after its last polygon (with no
  // polygon at all, the clear itself).
  keep_(pixels, ++images_, true);
  Stop();
}

}  // namespace capture
