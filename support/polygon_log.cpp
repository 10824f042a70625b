#include "polygon_log.h"

#include "platform/gdi.h"

namespace support {

void PolygonList::Add(const POINT* pts, int count, COLORREF color) {
  items.push_back({points.size(), count, color});
  points.insert(points.end(), pts, pts + count);
}

void PolygonList::Append(const PolygonList& other) {
  for (const Item& item : other.items) Add(other.Points(item), item.count, item.color);
}

bool operator==(const PolygonList& a, const PolygonList& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const PolygonList::Item& p = a.items[i];
    const PolygonList::Item& q = b.items[i];
    if (p.count != q.count || p.color != q.color) return false;
    for (int k = 0; k < p.count; ++k) {
      const POINT u = a.Points(p)[k];
      const POINT v = b.Points(q)[k];
      if (u.x != v.x || u.y != v.y) return false;
    }
  }
  return true;
}

PolygonLog::PolygonLog() {
  gdi::SetPolygonObserver(
      [](void* context, const POINT* pts, int count, COLORREF color) {
        static_cast<PolygonList*>(context)->Add(pts, count, color);
      },
      &list_);
}

PolygonLog::~PolygonLog() { gdi::SetPolygonObserver(nullptr, nullptr); }

PolygonList Record(const std::function<void()>& draw) {
  const PolygonLog log;
  draw();
  return log.list();
}

}  // namespace support
