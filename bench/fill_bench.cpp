// The polygon fill beside its floor: a clear and then a screenful of polygons
// through Polygon on a memory DC, as the renderer draws, against the same
// clear and the same pixels written from a precomputed span list (by the
// faster of a plain loop and the fill's own stores, see support::SpanWriter).
//
// Workloads:
//   gridN            N x N adjacent, slightly perspective quads covering 512 x 512
//   room-tilesN      the first frame's room with N x N tiles per face, 512 x 512
//   room-sizeS       the first frame's room, 10 x 10 tiles, projected for S x S
#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "Main.h"
#include "report.h"
#include "test_surface.h"
#include "workloads.h"

namespace {

struct Workload {
  support::PolygonList list;
  int size = 0;
  std::vector<support::Span> spans;
  std::unique_ptr<support::TestSurface> ours;     // memory DC and bitmap, like the back buffer
  std::unique_ptr<support::BufferSurface> floor;  // plain buffer for the span loop
  support::SpanWriter write_spans = nullptr;      // the floor's faster way for these spans
  bool agree = false;                             // ours paints exactly the floor's pixels
};

// Workloads are built on first use, outside any timed loop. main owns them,
// so that their DCs go before the GDI's own statics do.
using Cache = std::map<std::string, std::unique_ptr<Workload>>;

Workload& Get(Cache* cache, const std::string& name,
              const std::function<support::PolygonList()>& make, int size) {
  std::unique_ptr<Workload>& w = (*cache)[name];
  if (w) return *w;
  w = std::make_unique<Workload>();
  w->list = make();
  w->size = size;
  w->spans = support::ReferenceSpans(w->list, size, size);
  w->ours = std::make_unique<support::TestSurface>(size, size);
  w->floor = std::make_unique<support::BufferSurface>(size, size);
  support::Clear(w->ours->dc(), size, size);
  support::FillThroughGdi(w->ours->dc(), w->list);
  const HDC floor_dc = w->floor->dc();
  w->write_spans = support::FasterSpanWriter(
      w->floor->pixels(), w->spans, [floor_dc, size] { support::Clear(floor_dc, size, size); });
  support::Clear(floor_dc, size, size);
  w->write_spans(w->floor->pixels(), w->spans);
  w->agree = w->ours->Pixels() == w->floor->buffer();
  return *w;
}

void SetCounters(benchmark::State& state, const Workload& w) {
  state.counters["polygons"] = static_cast<double>(w.list.size());
  state.counters["pixels"] = static_cast<double>(support::SpanPixels(w.spans));
  state.counters["size"] = w.size;
}

void Register(Cache* cache, const std::string& name, std::function<support::PolygonList()> make,
              int size) {
  benchmark::RegisterBenchmark((name + "/ours").c_str(), [cache, name, make,
                                                          size](benchmark::State& state) {
    Workload& w = Get(cache, name, make, size);
    if (!w.agree) {
      state.SkipWithError("the fill and the floor paint differently");
      return;
    }
    const HDC dc = w.ours->dc();
    for (auto _ : state) {
      support::Clear(dc, size, size);
      support::FillThroughGdi(dc, w.list);
      benchmark::ClobberMemory();
    }
    SetCounters(state, w);
  })->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark((name + "/floor").c_str(), [cache, name, make,
                                                           size](benchmark::State& state) {
    Workload& w = Get(cache, name, make, size);
    const HDC dc = w.floor->dc();
    std::uint32_t* pixels = w.floor->pixels();
    for (auto _ : state) {
      support::Clear(dc, size, size);
      w.write_spans(pixels, w.spans);
      benchmark::ClobberMemory();
    }
    SetCounters(state, w);
  })->Unit(benchmark::kMicrosecond);
}

}  // namespace

int main(int argc, char** argv) {
  Cache cache;
  for (int n : {10, 20, 40}) {
    Register(
        &cache, "grid" + std::to_string(n), [n] { return support::GridQuads(n, 512); }, 512);
  }
  for (int tiles : {5, 10, 20, 40, 80}) {
    Register(
        &cache, "room-tiles" + std::to_string(tiles), [tiles] { return support::Room(tiles, 512); },
        512);
  }
  for (int size : {512, 1024, 2048}) {
    Register(
        &cache, "room-size" + std::to_string(size),
        [size] { return support::Room(kRoomTiles, size); }, size);
  }
  return bench::Main(argc, argv);
}
