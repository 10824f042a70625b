// Our polygon fill against the libraries a user would reach for instead, all
// filling the same polygons into the same caller-owned 512 x 512 buffer of
// 0x00BBGGRR pixels, after the same clear:
//
//   ours      a GDI surface DC over the buffer; per polygon a solid brush
//             created and selected, Polygon, the brush deleted, as Polygon3D
//             does (gdi::CreateSurfaceDC, since a memory DC's bitmap belongs
//             to the GDI)
//   cairo     image surface over the buffer, no antialiasing, even-odd,
//             vertices moved by +0.5 to sample the same lattice points
//   pixman    fan triangles, 1-bit mask, OVER an opaque solid per polygon,
//             +0.5 like cairo, pre-clipped to +-1024: it rasterises into a
//             mask as large as the triangles' bounding box, and near the
//             edge of its 16.16 range it draws nothing at all
//   sdl2_gfx  filledPolygonRGBA on a software renderer over the buffer,
//             pre-clipped to +-8000 (16-bit vertices, and its int arithmetic
//             overflows beyond about +-8192)
//   agg       binary scanline, coverage threshold 0.5, even-odd, clipped by
//             its double-precision clipper, +0.5
//   floor     the same clear, then the polygons' spans from a precomputed list
//             written by the faster of a plain loop and the fill's own stores
//             (support::SpanWriter)
//
// Conversions (colour order, fixed point, pre-clipping, triangulation) are
// done once, outside the timed loop; what is timed is what each library does
// per frame. Every contender's pixels are compared with ours once: libraries
// sample boundaries by their own rules, and the count of differing pixels
// says by how much.
#include <SDL.h>
#include <SDL2_gfxPrimitives.h>
#include <agg_pixfmt_rgba.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_base.h>
#include <agg_renderer_scanline.h>
#include <agg_scanline_bin.h>
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "report.h"
#include "test_surface.h"
#include "workloads.h"

namespace {

constexpr int kSize = 512;

struct Rgb {
  std::uint8_t r, g, b;
};
Rgb Channels(COLORREF c) {
  return {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
          static_cast<std::uint8_t>((c >> 16) & 0xFF)};
}

// The polygon in double precision, cut to [-limit, limit]^2 only when some
// vertex lies outside it, so that polygons in range keep their exact corners.
std::vector<support::PointD> InRange(const POINT* pts, int count, double limit) {
  const bool inside = std::all_of(pts, pts + count, [limit](const POINT& p) {
    return std::fabs(double(p.x)) <= limit && std::fabs(double(p.y)) <= limit;
  });
  if (!inside) return support::ClipToSquare(pts, count, limit);
  std::vector<support::PointD> out;
  for (int k = 0; k < count; ++k) out.push_back({double(pts[k].x), double(pts[k].y)});
  return out;
}

// One frame of a contender: draws a whole workload into the shared buffer.
using Draw = std::function<void()>;

// ---- The shared buffer and every library's view of it -----------------------

class Canvas {
 public:
  Canvas()
      : ours_(kSize, kSize),
        cairo_surface_(
            cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels()),
                                                CAIRO_FORMAT_RGB24, kSize, kSize, kSize * 4)),
        cairo_(cairo_create(cairo_surface_)),
        pixman_(pixman_image_create_bits(PIXMAN_x8r8g8b8, kSize, kSize, pixels(), kSize * 4)),
        sdl_surface_(SDL_CreateRGBSurfaceWithFormatFrom(pixels(), kSize, kSize, 32, kSize * 4,
                                                        SDL_PIXELFORMAT_XBGR8888)),
        sdl_renderer_(sdl_surface_ ? SDL_CreateSoftwareRenderer(sdl_surface_) : nullptr),
        agg_buffer_(reinterpret_cast<agg::int8u*>(pixels()), kSize, kSize, kSize * 4),
        agg_pixels_(agg_buffer_),
        agg_base_(agg_pixels_),
        agg_renderer_(agg_base_) {
    cairo_set_antialias(cairo_, CAIRO_ANTIALIAS_NONE);
    cairo_set_fill_rule(cairo_, CAIRO_FILL_RULE_EVEN_ODD);
    agg_rasterizer_.clip_box(0, 0, kSize, kSize);
    agg_rasterizer_.filling_rule(agg::fill_even_odd);
    agg_rasterizer_.gamma(agg::gamma_threshold(0.5));
  }
  ~Canvas() {
    if (sdl_renderer_) SDL_DestroyRenderer(sdl_renderer_);
    if (sdl_surface_) SDL_FreeSurface(sdl_surface_);
    pixman_image_unref(pixman_);
    cairo_destroy(cairo_);
    cairo_surface_destroy(cairo_surface_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool ok() const {
    return cairo_status(cairo_) == CAIRO_STATUS_SUCCESS && pixman_ && sdl_renderer_;
  }
  std::uint32_t* pixels() { return ours_.pixels(); }
  const std::vector<std::uint32_t>& buffer() const { return ours_.buffer(); }

  // The clear every contender starts its frame with.
  void Clear() { std::fill(ours_.pixels(), ours_.pixels() + kSize * kSize, 0u); }

  Draw Ours(const support::PolygonList& list) {
    return [this, &list] { support::FillThroughGdi(ours_.dc(), list); };
  }

  Draw Floor(const support::PolygonList& list) {
    auto spans =
        std::make_shared<std::vector<support::Span>>(support::ReferenceSpans(list, kSize, kSize));
    const support::SpanWriter write =
        support::FasterSpanWriter(pixels(), *spans, [this] { Clear(); });
    return [this, spans, write] { write(pixels(), *spans); };
  }

  Draw Cairo(const support::PolygonList& list) {
    struct Path {
      std::vector<support::PointD> points;
      double r, g, b;  // cairo's red is the buffer's bits 16-23: our blue
    };
    auto paths = std::make_shared<std::vector<Path>>();
    for (const auto& item : list.items) {
      Path path{InRange(list.Points(item), item.count, 1 << 22), 0, 0, 0};  // 24.8 fixed point
      const Rgb c = Channels(item.color);
      path.r = c.b / 255.0, path.g = c.g / 255.0, path.b = c.r / 255.0;
      for (auto& p : path.points) p = {p.x + 0.5, p.y + 0.5};
      if (path.points.size() >= 3) paths->push_back(std::move(path));
    }
    return [this, paths] {
      for (const Path& path : *paths) {
        cairo_set_source_rgb(cairo_, path.r, path.g, path.b);
        cairo_move_to(cairo_, path.points[0].x, path.points[0].y);
        for (std::size_t k = 1; k < path.points.size(); ++k)
          cairo_line_to(cairo_, path.points[k].x, path.points[k].y);
        cairo_close_path(cairo_);
        cairo_fill(cairo_);
      }
      cairo_surface_flush(cairo_surface_);
    };
  }

  Draw Pixman(const support::PolygonList& list) {
    struct Fan {
      std::vector<pixman_triangle_t> triangles;
      pixman_color_t color;
    };
    auto fans = std::make_shared<std::vector<Fan>>();
    for (const auto& item : list.items) {
      const std::vector<support::PointD> pts = InRange(list.Points(item), item.count, 1024);
      if (pts.size() < 3) continue;
      const auto fixed = [](const support::PointD& p) {
        return pixman_point_fixed_t{pixman_double_to_fixed(p.x + 0.5),
                                    pixman_double_to_fixed(p.y + 0.5)};
      };
      Fan fan;
      for (std::size_t k = 1; k + 1 < pts.size(); ++k)
        fan.triangles.push_back({fixed(pts[0]), fixed(pts[k]), fixed(pts[k + 1])});
      const Rgb c = Channels(item.color);  // x8r8g8b8: its red is our blue
      fan.color = {static_cast<std::uint16_t>(c.b * 257), static_cast<std::uint16_t>(c.g * 257),
                   static_cast<std::uint16_t>(c.r * 257), 0xFFFF};
      fans->push_back(std::move(fan));
    }
    return [this, fans] {
      for (const Fan& fan : *fans) {
        pixman_image_t* solid = pixman_image_create_solid_fill(&fan.color);
        pixman_composite_triangles(PIXMAN_OP_OVER, solid, pixman_, PIXMAN_a1, 0, 0, 0, 0,
                                   static_cast<int>(fan.triangles.size()), fan.triangles.data());
        pixman_image_unref(solid);
      }
    };
  }

  Draw Sdl2Gfx(const support::PolygonList& list) {
    struct Shape {
      std::vector<Sint16> x, y;
      Rgb color;
    };
    auto shapes = std::make_shared<std::vector<Shape>>();
    for (const auto& item : list.items) {
      Shape shape{{}, {}, Channels(item.color)};
      for (const support::PointD& p : InRange(list.Points(item), item.count, 8000)) {
        shape.x.push_back(static_cast<Sint16>(std::lround(p.x)));
        shape.y.push_back(static_cast<Sint16>(std::lround(p.y)));
      }
      if (shape.x.size() >= 3) shapes->push_back(std::move(shape));
    }
    return [this, shapes] {
      for (const Shape& s : *shapes) {
        filledPolygonRGBA(sdl_renderer_, s.x.data(), s.y.data(), static_cast<int>(s.x.size()),
                          s.color.r, s.color.g, s.color.b, 255);
      }
      SDL_RenderFlush(sdl_renderer_);
    };
  }

  Draw Agg(const support::PolygonList& list) {
    struct Shape {
      std::vector<support::PointD> points;
      agg::rgba8 color;
    };
    auto shapes = std::make_shared<std::vector<Shape>>();
    for (const auto& item : list.items) {
      Shape shape{
          {},
          agg::rgba8(Channels(item.color).r, Channels(item.color).g, Channels(item.color).b, 255)};
      for (int k = 0; k < item.count; ++k) {
        const POINT p = list.Points(item)[k];
        shape.points.push_back({p.x + 0.5, p.y + 0.5});
      }
      shapes->push_back(std::move(shape));
    }
    return [this, shapes] {
      agg::scanline_bin scanline;
      for (const Shape& s : *shapes) {
        agg_rasterizer_.reset();
        agg_rasterizer_.move_to_d(s.points[0].x, s.points[0].y);
        for (std::size_t k = 1; k < s.points.size(); ++k)
          agg_rasterizer_.line_to_d(s.points[k].x, s.points[k].y);
        agg_rasterizer_.close_polygon();
        agg_renderer_.color(s.color);
        agg::render_scanlines(agg_rasterizer_, scanline, agg_renderer_);
      }
    };
  }

 private:
  using AggPixels = agg::pixfmt_rgba32;  // bytes R, G, B, A: 0xAABBGGRR
  using AggBase = agg::renderer_base<AggPixels>;

  support::BufferSurface ours_;
  cairo_surface_t* cairo_surface_;
  cairo_t* cairo_;
  pixman_image_t* pixman_;
  SDL_Surface* sdl_surface_;
  SDL_Renderer* sdl_renderer_;
  agg::rendering_buffer agg_buffer_;
  AggPixels agg_pixels_;
  AggBase agg_base_;
  agg::renderer_scanline_bin_solid<AggBase> agg_renderer_;
  agg::rasterizer_scanline_aa<agg::rasterizer_sl_clip_dbl> agg_rasterizer_;
};

// ---- Workloads and contenders -------------------------------------------------

struct Workload {
  std::string name;
  std::function<support::PolygonList()> make;
  bool every_contender = true;      // else only ours, cairo and the floor
  support::PolygonList list;        // made on first use
  std::vector<std::uint32_t> ours;  // our pixels, for the comparison
  std::size_t pixels = 0;
  bool made = false;
};

struct Contender {
  std::string name;
  Draw (Canvas::*prepare)(const support::PolygonList&);
};

const Contender kContenders[] = {
    {"ours", &Canvas::Ours},        {"cairo", &Canvas::Cairo}, {"pixman", &Canvas::Pixman},
    {"sdl2_gfx", &Canvas::Sdl2Gfx}, {"agg", &Canvas::Agg},     {"floor", &Canvas::Floor},
};

// Everything built on first use, outside the timed loops, owned by main.
struct Registry {
  Canvas canvas;
  std::vector<Workload> workloads;
  std::map<std::pair<std::size_t, std::size_t>, std::pair<Draw, std::size_t>> draws;  // and diffs

  Workload& Made(std::size_t w) {
    Workload& workload = workloads[w];
    if (!workload.made) {
      workload.list = workload.make();
      workload.pixels = support::SpanPixels(support::ReferenceSpans(workload.list, kSize, kSize));
      canvas.Clear();
      canvas.Ours(workload.list)();
      workload.ours = canvas.buffer();
      workload.made = true;
    }
    return workload;
  }

  const std::pair<Draw, std::size_t>& Prepared(std::size_t w, std::size_t c) {
    auto it = draws.find({w, c});
    if (it != draws.end()) return it->second;
    const Workload& workload = Made(w);
    Draw draw = (canvas.*kContenders[c].prepare)(workload.list);
    canvas.Clear();
    draw();
    const std::size_t differing = support::CountDifferences(canvas.buffer(), workload.ours);
    return draws.emplace(std::make_pair(w, c), std::make_pair(std::move(draw), differing))
        .first->second;
  }
};

void Run(benchmark::State& state, Registry* registry, std::size_t w, std::size_t c) {
  if (!registry->canvas.ok()) {
    state.SkipWithError("a library could not make its surface");
    return;
  }
  const auto& [draw, differing] = registry->Prepared(w, c);
  for (auto _ : state) {
    registry->canvas.Clear();
    draw();
    benchmark::ClobberMemory();
  }
  const Workload& workload = registry->workloads[w];
  state.counters["polygons"] = static_cast<double>(workload.list.size());
  state.counters["pixels"] = static_cast<double>(workload.pixels);
  state.counters["differing"] = static_cast<double>(differing);
}

}  // namespace

int main(int argc, char** argv) {
  Registry registry;
  const auto add = [&registry](std::string name, std::function<support::PolygonList()> make,
                               bool every_contender = true) {
    Workload& w = registry.workloads.emplace_back();
    w.name = std::move(name);
    w.make = std::move(make);
    w.every_contender = every_contender;
  };
  add("frame-first", [] { return support::RecordedFrames().first; });
  add("frame-corner", [] { return support::RecordedFrames().corner; });
  // The room of the first frame at 5 to 80 tiles a face: how the cost grows
  // with the number of polygons (the slowest libraries sit out the series).
  add(
      "room5", [] { return support::Room(5, kSize); }, false);
  add(
      "room10", [] { return support::Room(10, kSize); }, false);
  add("room20", [] { return support::Room(20, kSize); });
  add("room40", [] { return support::Room(40, kSize); });
  add(
      "room80", [] { return support::Room(80, kSize); }, false);
  add("tiny600", [] { return support::TinyQuads(600); });
  add("far16", [] { return support::FarQuads(16); });
  for (std::size_t w = 0; w < registry.workloads.size(); ++w) {
    for (std::size_t c = 0; c < std::size(kContenders); ++c) {
      const std::string& contender = kContenders[c].name;
      if (!registry.workloads[w].every_contender && contender != "ours" && contender != "cairo" &&
          contender != "floor") {
        continue;
      }
      const std::string name = registry.workloads[w].name + "/" + contender;
      benchmark::RegisterBenchmark(name.c_str(), Run, &registry, w, c)
          ->Unit(benchmark::kMicrosecond);
    }
  }
  return bench::Main(argc, argv);
}
