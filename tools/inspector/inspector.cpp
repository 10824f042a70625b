// The frame inspector's side in the program: the page asks for a frame, and
// this sets the Polygon3D listener for that frame only, hands its record to
// the page as the recorder's trace lines, and replays it on demand. Nothing is
// listening while the inspector is closed.
//
// A link (#frame=N&keys=...&call=K) runs the program on the recorder's clock
// with the keys of its script, frames 1 to N - 1 unseen, and inspects frame N.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Main.h"
#include "frame_record.h"
#include "platform/gdi.h"
#include "platform/web.h"

// clang-format off
// The frame's trace lines (the frame, its calls, then one line of what the
// page needs besides), handed to the page's inspector.
EM_JS(void, orvix_inspector_show, (const char* lines), {
  Module['orvixPage'].inspect(UTF8ToString(lines));
});

// width x height pixels 0x00BBGGRR as an ImageData (R, G, B, 0 in memory on
// little-endian WebAssembly; the alpha is made opaque here).
EM_JS(void, orvix_inspector_picture, (const std::uint32_t* pixels, int width, int height), {
  const bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4).slice();
  for (let i = 3; i < bytes.length; i += 4) bytes[i] = 255;
  Module['orvixPage'].picture(new ImageData(bytes, width, height));
});

EM_JS(void, orvix_inspector_text, (const char* what, const char* text), {
  Module['orvixPage'].answer(UTF8ToString(what), UTF8ToString(text));
});

EM_JS(void, orvix_inspector_coverage, (const std::uint8_t* counts, int n), {
  Module['orvixPage'].coverage(new Uint8Array(HEAPU8.buffer, counts, n).slice());
});
// clang-format on

namespace {

constexpr const char* kKeyNames[web::kKeyCount] = {"left", "right", "up", "down", "space"};

// The key script that gives frames 1 to `frame` these keys, in the recorder's
// syntax; a key held through `frame` is held "to the end" (first-).
std::string KeyScriptOf(const std::vector<web::FrameKeys>& keys, int frame) {
  std::string out;
  const auto add = [&](const std::string& entry) {
    if (!out.empty()) out += ',';
    out += entry;
  };
  const int last = std::min<int>(frame, static_cast<int>(keys.size()));
  for (int k = 0; k < web::kKeyCount; ++k) {
    int first = 0;
    for (int f = 1; f <= last + 1; ++f) {
      const bool held = f <= last && ((keys[f - 1] >> k) & 1u);
      if (held && first == 0) first = f;
      if (!held && first != 0) {
        std::string entry = std::string(kKeyNames[k]) + ':' + std::to_string(first);
        if (f - 1 == last) {
          entry += '-';
        } else if (f - 1 != first) {
          entry += '-' + std::to_string(f - 1);
        }
        add(entry);
        first = 0;
      }
    }
    for (int f = 1; f <= last; ++f) {
      if ((keys[f - 1] >> (web::kKeyCount + k)) & 1u)
        add(std::string("tap:") + kKeyNames[k] + '@' + std::to_string(f));
    }
  }
  return out;
}

class Inspector {
 public:
  static Inspector& Get() {
    static Inspector inspector;
    return inspector;
  }

  // Records frame `frame` from its first call on: call it before the frame
  // is drawn.
  void Arm(int frame) {
    if (!recorder_) recorder_ = std::make_unique<support::FrameRecorder>();
    recorder_->Restart();
    target_ = frame;
  }

  void Close() {
    recorder_.reset();
    target_ = 0;
    want_ = false;
  }

  // A link's frame: armed when the frame before it is presented.
  void Link(int frame) {
    if (frame == 1) {
      Arm(1);
    } else {
      link_ = frame;
    }
  }

  void Presented(int frame) {
    if (link_ != 0 && frame + 1 == link_) {
      link_ = 0;
      Arm(frame + 1);
    } else if (want_ && target_ == 0) {
      want_ = false;
      Arm(frame + 1);
    } else if (recorder_ && frame == target_) {
      frame_ = recorder_->Take();
      number_ = frame;
      tick_ = web::FrameTick();
      Show();
    }
  }

  void Want() { want_ = true; }

  void Replay(int upto) {
    pixels_ = support::Replay(frame_, upto, kBlockSize, kBlockSize);
    orvix_inspector_picture(pixels_.data(), kBlockSize, kBlockSize);
  }

  // Every painted call that paints pixel (x, y), in order, with its colour:
  // each painted alone on a scratch copy where only that pixel is looked at.
  void History(int x, int y) {
    std::string out = "[";
    if (x >= 0 && y >= 0 && x < kBlockSize && y < kBlockSize) {
      std::vector<std::uint32_t> scratch(static_cast<std::size_t>(kBlockSize) * kBlockSize, 0u);
      std::uint32_t& pixel = scratch[static_cast<std::size_t>(y) * kBlockSize + x];
      const HDC dc = gdi::CreateSurfaceDC(scratch.data(), kBlockSize, kBlockSize);
      SelectObject(dc, GetStockObject(NULL_PEN));
      bool first = true;
      for (const support::CallRecord& c : frame_.calls) {
        if (c.fate != kFatePainted) continue;
        pixel = 0xFF000000u;  // byte 3 is never painted
        Paint(dc, c, c.colorOut);
        if (pixel == 0xFF000000u) continue;
        if (!first) out += ',';
        first = false;
        char colour[8];  // "#rrggbb", as the trace writes colours
        std::snprintf(colour, sizeof colour, "#%02x%02x%02x", static_cast<unsigned>(pixel & 0xFF),
                      static_cast<unsigned>((pixel >> 8) & 0xFF),
                      static_cast<unsigned>((pixel >> 16) & 0xFF));
        out += "{\"index\":" + std::to_string(c.index) + ",\"color\":\"" + colour + "\"}";
      }
      DeleteDC(dc);
    }
    out += ']';
    orvix_inspector_text("history", out.c_str());
  }

  // How many painted calls paint each pixel: 0 inside the room is a crack,
  // 2 an overlap.
  void Coverage() {
    std::vector<std::uint32_t> scratch(static_cast<std::size_t>(kBlockSize) * kBlockSize, 0u);
    std::vector<std::uint8_t> counts(scratch.size(), 0);
    const HDC dc = gdi::CreateSurfaceDC(scratch.data(), kBlockSize, kBlockSize);
    SelectObject(dc, GetStockObject(NULL_PEN));
    for (const support::CallRecord& c : frame_.calls) {
      if (c.fate != kFatePainted || c.points.empty()) continue;
      Paint(dc, c, 1);
      long x0 = c.points[0].x, x1 = x0, y0 = c.points[0].y, y1 = y0;
      for (const POINT& p : c.points) {
        x0 = std::min<long>(x0, p.x), x1 = std::max<long>(x1, p.x);
        y0 = std::min<long>(y0, p.y), y1 = std::max<long>(y1, p.y);
      }
      x0 = std::max(x0, 0L), y0 = std::max(y0, 0L);
      x1 = std::min<long>(x1, kBlockSize - 1), y1 = std::min<long>(y1, kBlockSize - 1);
      for (long y = y0; y <= y1; ++y) {
        for (long x = x0; x <= x1; ++x) {
          const std::size_t i = static_cast<std::size_t>(y) * kBlockSize + x;
          if (scratch[i] == 0) continue;
          scratch[i] = 0;
          if (counts[i] < 255) ++counts[i];
        }
      }
    }
    DeleteDC(dc);
    orvix_inspector_coverage(counts.data(), static_cast<int>(counts.size()));
  }

 private:
  static void Paint(HDC dc, const support::CallRecord& c, COLORREF colour) {
    const HBRUSH brush = CreateSolidBrush(colour);
    const HGDIOBJ previous = SelectObject(dc, brush);
    Polygon(dc, c.points.data(), static_cast<int>(c.points.size()));
    SelectObject(dc, previous);
    DeleteObject(brush);
  }

  void Show() {
    const std::vector<web::FrameKeys>& keys = web::KeysOfFrames();
    std::vector<std::string> held;
    const web::FrameKeys mine =
        number_ >= 1 && static_cast<std::size_t>(number_) <= keys.size() ? keys[number_ - 1] : 0;
    for (int k = 0; k < web::kKeyCount; ++k)
      if ((mine >> k) & 1u) held.emplace_back(kKeyNames[k]);
    std::string text = support::FrameLine(number_, tick_, held, frame_) + '\n';
    for (const support::CallRecord& c : frame_.calls) text += support::CallLine(number_, c) + '\n';
    char numbers[400];
    std::snprintf(numbers, sizeof numbers,
                  "{\"type\":\"inspector\",\"near\":%.9g,\"multiply\":[%.9g,%.9g],"
                  "\"size\":[%.9g,%.9g],\"ambient\":%.9g,\"gain\":[%.9g,%.9g,%.9g],"
                  "\"room\":55,\"tiles\":%d,",
                  double(NearClip), double(MultiplyX), double(MultiplyY), double(CXCamera),
                  double(CYCamera), double(LightAmb), double(LightR), double(LightG),
                  double(LightB), kRoomTiles);
    text += numbers;
    // Where each call's World placed it (its row 3): the plan shows the chosen
    // tile where it lies in the room.
    text += "\"translation\":[";
    for (std::size_t i = 0; i < frame_.calls.size(); ++i) {
      const float* t = frame_.calls[i].translation;
      std::snprintf(numbers, sizeof numbers, "%s[%.9g,%.9g,%.9g]", i ? "," : "", double(t[0]),
                    double(t[1]), double(t[2]));
      text += numbers;
    }
    text += "],\"keys\":\"" + KeyScriptOf(keys, number_) + "\"}";
    orvix_inspector_show(text.c_str());
  }

  std::unique_ptr<support::FrameRecorder> recorder_;
  int target_ = 0;
  int link_ = 0;
  bool want_ = false;
  support::FrameRecord frame_;
  int number_ = 0;
  DWORD tick_ = 0;
  std::vector<std::uint32_t> pixels_;
};

void Presented(void*, int frame) { Inspector::Get().Presented(frame); }

std::vector<web::FrameKeys> g_script;

}  // namespace

// The page's calls, made while the program sleeps (between frames).
extern "C" {

// A link's key script, one frame's keys at a time (web::FrameKeys), then
// orvix_link: before the program starts.
EMSCRIPTEN_KEEPALIVE void orvix_link_keys(int keys) {
  g_script.push_back(static_cast<web::FrameKeys>(keys));
}

EMSCRIPTEN_KEEPALIVE void orvix_link(int frame, unsigned start_tick) {
  web::SetStartTick(start_tick);
  web::ScriptKeys(std::move(g_script));
  web::ShowFrom(frame);
  Inspector::Get().Link(frame);
  web::OnPresent(&Presented, nullptr);
}

// Inspect the next frame that begins.
EMSCRIPTEN_KEEPALIVE void orvix_inspect() {
  web::OnPresent(&Presented, nullptr);
  Inspector::Get().Want();
}

// Inspect the frame after the one presented: called while the program is
// held after a present.
EMSCRIPTEN_KEEPALIVE void orvix_inspect_next() { Inspector::Get().Arm(web::FramesPresented() + 1); }

// The program runs on with the keyboard's keys, whatever a link scripted.
EMSCRIPTEN_KEEPALIVE void orvix_inspect_close() {
  Inspector::Get().Close();
  web::EndScript();
}
EMSCRIPTEN_KEEPALIVE void orvix_inspect_replay(int upto) { Inspector::Get().Replay(upto); }
EMSCRIPTEN_KEEPALIVE void orvix_inspect_history(int x, int y) { Inspector::Get().History(x, y); }
EMSCRIPTEN_KEEPALIVE void orvix_inspect_coverage() { Inspector::Get().Coverage(); }

}  // extern "C"
