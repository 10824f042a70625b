// --build-up: one frame kept as it is painted, for readers who want to see
// the painter's algorithm at work: the clear, the room tile by tile, then the
// cube over it.
#ifndef ORVIX_TOOLS_CAPTURE_BUILD_UP_H
#define ORVIX_TOOLS_CAPTURE_BUILD_UP_H

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/win32.h"

namespace capture {

// How long build-up image `index` (1, 2, ...) of a GIF shows, in 1/100 s: the
// clear and the finished frame long enough to be seen, each step briefly.
int BuildUpDelay(int index, bool last);

// Watches the Polygon calls of frame `frame` through the software GDI's
// polygon observer and hands over images of the back buffer: image 1 before
// the frame's first Polygon (the cleared buffer), then one after every
// `step` calls, then the finished frame as presented. Every Polygon call of
// the program goes to the back buffer (Polygon3D draws on hBlockDC only), so
// counting the observer's calls counts the back buffer's. Holds the GDI's
// only observer while it lives.
class BuildUp {
 public:
  // Writes one image, 0x00BBGGRR, kBlockSize x kBlockSize; false stops the
  // build-up (the caller keeps its reason).
  using Keep = std::function<bool(const std::uint32_t* pixels, int index, bool last)>;

  BuildUp(int frame, int step, Keep keep);
  ~BuildUp();
  BuildUp(const BuildUp&) = delete;
  BuildUp& operator=(const BuildUp&) = delete;

  // From the present hook: frame `frame` is out with these pixels.
  void Presented(int frame, const std::uint32_t* pixels);

 private:
  void BeforePolygon();
  void Stop();

  int frame_;
  int step_;
  Keep keep_;
  int presented_ = 0;  // frames presented so far
  int painted_ = 0;    // Polygon calls of frame_ so far
  int images_ = 0;
  bool stopped_ = false;
  std::vector<std::uint32_t> pixels_;  // the back buffer copied out, 0x00BBGGRR
  HDC copy_dc_;                        // a DC over pixels_
};

}  // namespace capture

#endif  // ORVIX_TOOLS_CAPTURE_BUILD_UP_H
