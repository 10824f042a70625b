// USER/KERNEL in a web page, built with Emscripten: the page's <canvas> is the
// window, html5.h brings the keys, the page's clock is the tick count.
//
// The program's own loop runs as it stands. Sleep unwinds the wasm stack into
// the browser's event loop (Asyncify, through orvix_wait) and resumes it when
// the time is up and the page lets the program run; the key events and the
// page's own painting happen during those waits. The tick count is the
// recorder's (see platform/web.h): it moves by what Sleep asks, and Sleep
// waits until the page's clock has caught up with it. Only the calls on the way
// from main to Sleep are instrumented for that (see the web block of
// CMakeLists.txt): the frame itself runs as plain wasm.
#include "platform/web.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

#include "platform/c_random.h"
#include "platform/user.h"

// The page hands its canvas over as Module.canvas. Sizes the canvas's bitmap
// to the client area, keeps its 2D context for the presents and shows the
// window's title as the page's. 0 on success; 1 when there is no canvas, 2
// when the browser gives it no 2D context.
// clang-format off
EM_JS(int, orvix_open_canvas, (const char* title, int width, int height), {
  const canvas = Module['canvas'];
  if (!(canvas instanceof HTMLCanvasElement)) return 1;
  canvas.width = width;
  canvas.height = height;
  const context = canvas.getContext('2d', {alpha: false});
  if (!context) return 2;
  Module['orvixContext'] = context;
  document.title = UTF8ToString(title);
  return 0;
});

// One putImageData of width x height RGBA pixels straight from wasm memory;
// the page hears of the first (its loading line goes).
EM_JS(void, orvix_put_frame, (const std::uint32_t* rgba, int width, int height), {
  const bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
  Module['orvixContext'].putImageData(new ImageData(bytes, width, height), 0, 0);
  if (!Module['orvixShown']) {
    Module['orvixShown'] = true;
    if (Module['orvixPage']) Module['orvixPage'].shown();
  }
});

// Sleep: the time asked, then, when `hold`, for as long as the page holds the
// program (paused, hidden, stopped, inspected) with no timer running. The
// page's running() gives a promise that settles when it lets go, or nothing
// when it does not hold.
EM_ASYNC_JS(void, orvix_wait, (int ms, int hold), {
  await new Promise((done) => setTimeout(done, ms));
  const page = Module['orvixPage'];
  const held = hold && page && page.running();
  if (held) await held;
});

EM_JS(void, orvix_close_canvas, (), { delete Module['orvixContext']; });
// clang-format on

namespace web {
const int kKeyCodes[kKeyCount] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_SPACE};
}  // namespace web

namespace {

// The keys the program reads. Their browser key codes are their virtual-key
// codes; the page's own action for them (scrolling) is stopped, and for no
// other key.
bool ProgramKey(unsigned long code) {
  return code == VK_LEFT || code == VK_RIGHT || code == VK_UP || code == VK_DOWN ||
         code == VK_SPACE;
}

class Page {
 public:
  static Page& Get() {
    static Page page;
    return page;
  }

  // False, with the reason on stderr, when the page has no usable canvas.
  bool Open(const user::Window& window) {
    const int result =
        orvix_open_canvas(window.title.c_str(), user::kClientWidth, user::kClientHeight);
    if (result != 0) {
      std::fprintf(
          stderr, "orvix: cannot open a window: %s\n",
          result == 1 ? "the page has no canvas" : "the browser gives the canvas no 2D context");
      return false;
    }
    rgba_.assign(window.pixels.size(), 0);
    Listen(true);
    NextFrameKeys(1);
    return true;
  }

  void Close() {
    Listen(false);
    orvix_close_canvas();
    events_.clear();
    rgba_.clear();
  }

  // A key as the keyboard gives it: into the queue, and into the latch; the
  // program's keys reach the latch only between frames (NextFrameKeys).
  void Key(unsigned long code, bool down, bool repeat) {
    // A repeat does not hold again a key let go when the page lost the focus.
    const int k = KeyIndex(code);
    if (!repeat && k >= 0) {
      if (down && !live_down_[k]) live_pressed_[k] = true;
      live_down_[k] = down;
    } else if (!repeat) {
      user::Keys().Set(static_cast<int>(code), down);
    }
    MSG msg{};
    msg.message = down ? WM_KEYDOWN : WM_KEYUP;
    msg.wParam = static_cast<WPARAM>(code);
    msg.time = GetTickCount();  // the event's timestamp has another origin
    events_.push_back(msg);
  }

  bool NextMessage(MSG* msg, HWND hwnd) {
    if (events_.empty()) return false;
    *msg = events_.front();
    msg->hwnd = hwnd;
    events_.pop_front();
    return true;
  }

  void ReleaseAll() {
    user::Keys().ReleaseAll();
    for (bool& d : live_down_) d = false;
  }

  // Sets the latch for frame `frame` as the recorder's key script would:
  // from the script while it lasts, else from what the keyboard and the
  // page's controls did since the frame before. The frame's keys are kept.
  void NextFrameKeys(int frame) {
    web::FrameKeys keys = 0;
    if (frame >= 1 && static_cast<std::size_t>(frame) <= script_.size()) {
      keys = script_[frame - 1];
    } else {
      for (int k = 0; k < web::kKeyCount; ++k) {
        if (live_down_[k]) keys |= 1u << k;
        if (live_pressed_[k] && !live_down_[k]) keys |= 1u << (web::kKeyCount + k);
      }
    }
    for (bool& p : live_pressed_) p = false;
    for (int k = 0; k < web::kKeyCount; ++k) {
      user::Keys().Set(web::kKeyCodes[k], (keys >> k) & 1u);
      if ((keys >> (web::kKeyCount + k)) & 1u) user::Keys().Tap(web::kKeyCodes[k]);
    }
    frame_keys_.push_back(keys);
  }

  void Present(const user::Window& window) {
    ++frames_;
    NextFrameKeys(frames_ + 1);
    if (hook_) hook_(hook_context_, frames_);
    if (frames_ < show_from_) return;
    // The canvas wants bytes R, G, B, A: the window's 0x00BBGGRR pixels are
    // R, G, B, 0 in memory, as WebAssembly is always little-endian, and need
    // only an opaque alpha. One of the two places a word's byte layout is
    // assumed; the inspector's picture (tools/inspector) is the other.
    const std::vector<std::uint32_t>& pixels = window.pixels;
    for (std::size_t i = 0; i < pixels.size(); ++i) rgba_[i] = pixels[i] | 0xFF000000u;
    orvix_put_frame(rgba_.data(), user::kClientWidth, user::kClientHeight);
  }

 private:
  Page() = default;

  // The keys as they bubble up to the window, so that a focused button of
  // the page keeps Space and Enter for itself (it stops them on the way).
  void Listen(bool on) {
    const char* window = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(window, this, EM_FALSE, on ? OnKey : nullptr);
    emscripten_set_keyup_callback(window, this, EM_FALSE, on ? OnKey : nullptr);
    emscripten_set_blur_callback(window, this, EM_TRUE, on ? OnBlur : nullptr);
    emscripten_set_visibilitychange_callback(this, EM_TRUE, on ? OnVisibility : nullptr);
  }

  // Every key the browser codes as a virtual key goes into the latch and the
  // queue, as on Windows; true (no default action) for the program's keys.
  static EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* event, void* self) {
    const unsigned long code = event->keyCode;
    if (code == 0 || code > 0xFF) return EM_FALSE;
    static_cast<Page*>(self)->Key(code, type == EMSCRIPTEN_EVENT_KEYDOWN, event->repeat);
    return ProgramKey(code) ? EM_TRUE : EM_FALSE;
  }

  // A key released while the page has no focus sends its keyup elsewhere.
  static EM_BOOL OnBlur(int, const EmscriptenFocusEvent*, void* self) {
    static_cast<Page*>(self)->ReleaseAll();
    return EM_FALSE;
  }

  static EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent* event, void* self) {
    if (event->hidden) static_cast<Page*>(self)->ReleaseAll();
    return EM_FALSE;
  }

  static int KeyIndex(unsigned long code) {
    for (int k = 0; k < web::kKeyCount; ++k)
      if (static_cast<unsigned long>(web::kKeyCodes[k]) == code) return k;
    return -1;
  }

  std::deque<MSG> events_;
  std::vector<std::uint32_t> rgba_;  // the frame handed to the canvas
  bool live_down_[web::kKeyCount] = {};
  bool live_pressed_[web::kKeyCount] = {};  // went down since the frame before

 public:
  // Set and read by the functions of platform/web.h.
  std::vector<web::FrameKeys> script_;
  std::vector<web::FrameKeys> frame_keys_;
  int frames_ = 0;
  int show_from_ = 1;
  web::PresentHook hook_ = nullptr;
  void* hook_context_ = nullptr;
};

// The recorder's clock: ticks move by what Sleep asks. Sleep then waits
// until the page's clock is as far on from where the two were last set
// together. The wait that ends a frame (the first Sleep after a present) sets
// them together again when the page is late, as the program restarts its own
// grid on a late frame: a page held, hidden or too slow never hurries to
// catch up.
class Clock {
 public:
  static Clock& Get() {
    static Clock clock;
    return clock;
  }

  DWORD ticks = 0;
  DWORD frame_tick = 0;
  bool presented = false;  // since the last Sleep

  void Sleep(DWORD ms, bool fast) {
    ticks += ms;  // wraps like Windows
    const bool grid = presented;
    presented = false;
    const double now = emscripten_get_now();
    if (fast) {
      // Frames not shown: back to the browser now and then, so that the
      // page stays responsive.
      if (now - last_yield_ > 50.0) {
        orvix_wait(0, 0);
        last_yield_ = emscripten_get_now();
      }
      based_ = false;
      return;
    }
    double wait = based_ ? wall_base_ + double(DWORD(ticks - tick_base_)) - now : 0.0;
    if (!based_ || (grid && wait < 0.0) || wait > double(ms) + 66.0) {
      wall_base_ = now;
      tick_base_ = ticks;
      based_ = true;
      wait = 0.0;
    }
    orvix_wait(wait > 0.0 ? static_cast<int>(wait) : 0, 1);
    last_yield_ = emscripten_get_now();
  }

 private:
  bool based_ = false;
  double wall_base_ = 0.0;
  DWORD tick_base_ = 0;
  double last_yield_ = 0.0;
};

}  // namespace

namespace web {

void SetStartTick(DWORD ms) { Clock::Get().ticks = ms; }
void ScriptKeys(std::vector<FrameKeys> keys) { Page::Get().script_ = std::move(keys); }

void EndScript() {
  Page& page = Page::Get();
  // The keys of the frame after the latest present are set already.
  const std::size_t begun = static_cast<std::size_t>(page.frames_) + 1;
  if (page.script_.size() > begun) page.script_.resize(begun);
}
void ShowFrom(int frame) { Page::Get().show_from_ = frame; }
int FramesPresented() { return Page::Get().frames_; }
DWORD FrameTick() { return Clock::Get().frame_tick; }
const std::vector<FrameKeys>& KeysOfFrames() { return Page::Get().frame_keys_; }

void OnPresent(PresentHook hook, void* context) {
  Page::Get().hook_ = hook;
  Page::Get().hook_context_ = context;
}

}  // namespace web

// The page's on-screen controls hold and release the program's keys here,
// as the keyboard does; any other code is ignored.
extern "C" EMSCRIPTEN_KEEPALIVE void orvix_hold(int code, int down) {
  if (code > 0 && ProgramKey(static_cast<unsigned long>(code)) && user::MainWindow()) {
    Page::Get().Key(static_cast<unsigned long>(code), down != 0, false);
  }
}

namespace user {

bool BackendCreateWindow(Window& window, int, int) {
  // The client area is the back buffer's size, whatever outer size is asked.
  return Page::Get().Open(window);
}

void BackendDestroyWindow(Window&) { Page::Get().Close(); }

bool BackendNextMessage(MSG* msg) {
  Window* w = MainWindow();
  return w && Page::Get().NextMessage(msg, w->handle);
}

// The canvas takes its pixels through one conversion (an opaque alpha) in
// Present, so the window DC draws on the window's own pixels.
// Asked at every GetDC of the window: the program's frame begins with one.
ClientArea BackendClientArea(Window& window) {
  Clock::Get().frame_tick = Clock::Get().ticks;
  return {window.pixels.data()};
}

void BackendPresent(Window& window) {
  Page::Get().Present(window);
  Clock::Get().presented = true;
}

// The latch is kept by the event callbacks, which run during Sleep.
void BackendPollKeys() {}

}  // namespace user

DWORD WINAPI GetTickCount(void) { return Clock::Get().ticks; }

// Browsers hold a timer nested this deep to about 4 ms, so Sleep(1) takes
// about 4 ms; the frame's 33 ms grid absorbs it. While the page holds the
// program, Sleep does not return, and the tick count waits too. Frames not
// to be shown (a run to a linked frame) do not wait at all.
void WINAPI Sleep(DWORD dwMilliseconds) {
  const Page& page = Page::Get();
  Clock::Get().Sleep(dwMilliseconds, page.frames_ + 1 < page.show_from_);
}

// The C library's generator as on Linux, so that the cube takes the same path
// in the page as in the recorder (Emscripten's C library has another).
namespace {
platform::GnuRandom& Random() {
  static platform::GnuRandom random;
  return random;
}
}  // namespace

extern "C" int rand(void) { return Random().Next(); }
extern "C" void srand(unsigned seed) { Random().Seed(seed); }
