// The polygons a piece of drawing hands to the fill, as Polygon receives them:
// points and brush colour, in drawing order. Recorded through the software
// GDI's observer, so that tests can check what the renderer drew and the
// benchmarks can replay it.
#ifndef ORVIX_SUPPORT_POLYGON_LOG_H
#define ORVIX_SUPPORT_POLYGON_LOG_H

#include <cstddef>
#include <functional>
#include <vector>

#include "platform/win32.h"

namespace support {

// Polygons stored flat, in drawing order, so that replaying them walks memory
// once.
struct PolygonList {
  struct Item {
    std::size_t first;  // index of the first point in `points`
    int count;
    COLORREF color;
  };
  std::vector<POINT> points;
  std::vector<Item> items;

  void Add(const POINT* pts, int count, COLORREF color);
  void Append(const PolygonList& other);
  const POINT* Points(const Item& item) const { return points.data() + item.first; }
  std::size_t size() const { return items.size(); }
};

bool operator==(const PolygonList& a, const PolygonList& b);

// Records every Polygon call that paints while it lives. One at a time: it
// holds the GDI's only observer.
class PolygonLog {
 public:
  PolygonLog();
  ~PolygonLog();
  PolygonLog(const PolygonLog&) = delete;
  PolygonLog& operator=(const PolygonLog&) = delete;

  const PolygonList& list() const { return list_; }
  void Clear() { list_ = PolygonList{}; }

 private:
  PolygonList list_;
};

// Every Polygon call that paints while `draw` runs.
PolygonList Record(const std::function<void()>& draw);

}  // namespace support

#endif  // ORVIX_SUPPORT_POLYGON_LOG_H
