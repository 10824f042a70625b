// Records every painting Polygon call (points and brush colour) while alive.
#ifndef ORVIX_TESTS_POLYGON_LOG_H
#define ORVIX_TESTS_POLYGON_LOG_H

#include <vector>

#include "platform/gdi.h"

class PolygonLog {
 public:
  struct Entry {
    std::vector<POINT> points;
    COLORREF color;
  };

  PolygonLog() { gdi::SetPolygonObserver(&PolygonLog::Record, this); }
  ~PolygonLog() { gdi::SetPolygonObserver(nullptr, nullptr); }
  PolygonLog(const PolygonLog&) = delete;
  PolygonLog& operator=(const PolygonLog&) = delete;

  const std::vector<Entry>& entries() const { return entries_; }
  void Clear() { entries_.clear(); }

 private:
  static void Record(void* self, const POINT* pts, int count, COLORREF color) {
    static_cast<PolygonLog*>(self)->entries_.push_back({{pts, pts + count}, color});
  }

  std::vector<Entry> entries_;
};

#endif  // ORVIX_TESTS_POLYGON_LOG_H
