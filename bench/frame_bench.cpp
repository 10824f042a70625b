// A whole frame and a single polygon through the pipeline.
//
//   frame/ours        UpdateBlock on the headless backend, the clock moved 33 ms
//                     a frame, no keys: the eye stays where the program starts
//   frame/floor       a 512 x 512 clear, then the spans of one such frame
//                     written by the faster of a plain loop and the fill's own
//                     stores (support::SpanWriter)
//   tiny-unlit/ours   support::TinyQuads' 600 quads through Polygon3D: transform,
//   tiny-lit/ours     near and back-face tests, brush, fill; the lit run adds
//                     the point light the room is drawn with
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "Draw.h"
#include "Main.h"
#include "platform/headless.h"
#include "report.h"
#include "test_surface.h"
#include "workloads.h"

namespace {

constexpr int kTinyQuads = 600;

struct Frame {
  std::vector<support::Span> spans;
  std::size_t polygons = 0;
  support::BufferSurface floor{kBlockSize, kBlockSize};
  support::SpanWriter write_spans = nullptr;  // the floor's faster way for these spans
};

// The program started and its first frame (the one-time set-up) done; the
// spans are those of the second frame. main owns the frame, so that its DC
// goes before the GDI's own statics do.
void Prepare(std::unique_ptr<Frame>* frame) {
  if (*frame) return;
  *frame = std::make_unique<Frame>();
  support::StartProgram();
  UpdateBlock();
  headless::AdvanceTickCount(33);
  const support::PolygonList list = support::Record(UpdateBlock);
  (*frame)->spans = support::ReferenceSpans(list, kBlockSize, kBlockSize);
  (*frame)->polygons = list.size();
  const HDC floor_dc = (*frame)->floor.dc();
  (*frame)->write_spans =
      support::FasterSpanWriter((*frame)->floor.pixels(), (*frame)->spans,
                                [floor_dc] { support::Clear(floor_dc, kBlockSize, kBlockSize); });
}

void SetFrameCounters(benchmark::State& state, const Frame& frame) {
  state.counters["polygons"] = static_cast<double>(frame.polygons);
  state.counters["pixels"] = static_cast<double>(support::SpanPixels(frame.spans));
}

void FrameOurs(benchmark::State& state, std::unique_ptr<Frame>* prepared) {
  Prepare(prepared);
  const Frame& frame = **prepared;
  for (auto _ : state) {
    headless::AdvanceTickCount(33);
    UpdateBlock();
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, frame);
}

void FrameFloor(benchmark::State& state, std::unique_ptr<Frame>* prepared) {
  Prepare(prepared);
  Frame& frame = **prepared;
  const HDC dc = frame.floor.dc();
  std::uint32_t* pixels = frame.floor.pixels();
  for (auto _ : state) {
    support::Clear(dc, kBlockSize, kBlockSize);
    frame.write_spans(pixels, frame.spans);
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, frame);
}

// The quads of support::TinyQuads, 2 x 2 pixels each on a 512 x 512 surface,
// put back into model space facing the camera at z = 10.
std::vector<VECTOR3D> TinyModelQuads() {
  const double pixel = 10.0 * 2.0 / std::cos(kFieldOfView / 2.0) / kBlockSize;  // model units
  const support::PolygonList screen = support::TinyQuads(kTinyQuads);
  std::vector<VECTOR3D> quads;
  for (const auto& item : screen.items) {
    const POINT corner = screen.Points(item)[0];
    const float x = static_cast<float>((corner.x - kBlockSize / 2) * pixel);
    const float y = static_cast<float>((corner.y - kBlockSize / 2) * pixel);
    const float d = static_cast<float>(2 * pixel);
    // Counter-clockwise on the y-down screen, so the back-face test passes.
    quads.insert(quads.end(), {VECTOR3D(x, y, 10), VECTOR3D(x, y + d, 10),
                               VECTOR3D(x + d, y + d, 10), VECTOR3D(x + d, y, 10)});
  }
  return quads;
}

void TinyQuadsThroughPipeline(benchmark::State& state, int light_type) {
  static const std::vector<VECTOR3D> quads = TinyModelQuads();
  support::BufferSurface surface(kBlockSize, kBlockSize);
  // The frame reads Light and LightType; put them back for its next run.
  const VECTOR3D light = Light;
  const int type = LightType;
  SetCameraProjection(kBlockSize, kBlockSize, kFieldOfView);  // the same as UpdateBlock's
  World.Identity();
  View.Identity();
  UpdateCamera();
  LightType = light_type;
  Light = VECTOR3D(0.0f, 0.0f, 0.0f);
  LightAmb = kLightAmbient;
  LightR = LightG = LightB = kLightGain;
  const auto draw = [&surface] {
    for (int k = 0; k < kTinyQuads; ++k) Polygon3D(surface.dc(), COLOR(0x4080C0), 4, &quads[4 * k]);
  };
  const std::size_t drawn = support::Record(draw).size();
  if (drawn != kTinyQuads) {
    state.SkipWithError("not every tiny quad reaches Polygon");
  } else {
    for (auto _ : state) {
      draw();
      benchmark::ClobberMemory();
    }
  }
  state.counters["polygons"] = kTinyQuads;
  Light = light;
  LightType = type;
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<Frame> frame;
  benchmark::RegisterBenchmark("frame/ours", FrameOurs, &frame)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("frame/floor", FrameFloor, &frame)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("tiny-unlit/ours", TinyQuadsThroughPipeline, kLightNone)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("tiny-lit/ours", TinyQuadsThroughPipeline, kLightPoint)
      ->Unit(benchmark::kMicrosecond);
  return bench::Main(argc, argv);
}
