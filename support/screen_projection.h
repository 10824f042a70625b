// The screen position Polygon3D gives a view-space point, written out here
// independently from the documented formula: (x / (z * factor) + 0.5) * size,
// in double, rounded to float before the truncation to pixels.
#ifndef ORVIX_SUPPORT_SCREEN_PROJECTION_H
#define ORVIX_SUPPORT_SCREEN_PROJECTION_H

#include "Draw.h"

namespace support {

inline float ScreenX(float x, float z) {
  return static_cast<float>((double(x) / (double(z) * MultiplyX) + 0.5) * CXCamera);
}
inline float ScreenY(float y, float z) {
  return static_cast<float>((double(y) / (double(z) * MultiplyY) + 0.5) * CYCamera);
}

}  // namespace support

#endif  // ORVIX_SUPPORT_SCREEN_PROJECTION_H
