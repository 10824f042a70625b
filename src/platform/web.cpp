// USER/KERNEL in a web page, built with Emscripten: the page's <canvas> is the
// window, html5.h brings the keys, the page's clock is the tick count.
//
// The program's own loop runs as it stands. Sleep unwinds the wasm stack into
// the browser's event loop (Asyncify, through orvix_wait) and resumes it when
// the time is up and the page lets the program run; the key events and the
// page's own painting happen during those waits. Only the calls on the way
// from main to Sleep are instrumented for that (see the web block of
// CMakeLists.txt): the frame itself runs as plain wasm.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

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

// Sleep: the time asked, then for as long as the page holds the program
// (paused, hidden, stopped) with no timer running. The page's running()
// gives a promise that settles when it lets go, or nothing when it does not
// hold.
EM_ASYNC_JS(void, orvix_wait, (int ms), {
  await new Promise((done) => setTimeout(done, ms));
  const page = Module['orvixPage'];
  const held = page && page.running();
  if (held) await held;
});

EM_JS(void, orvix_close_canvas, (), { delete Module['orvixContext']; });
// clang-format on

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
    return true;
  }

  void Close() {
    Listen(false);
    orvix_close_canvas();
    events_.clear();
    rgba_.clear();
  }

  // A key as the keyboard gives it: into the latch and the queue.
  void Key(unsigned long code, bool down, bool repeat) {
    if (!repeat) user::Keys().Set(static_cast<int>(code), down);
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

  void Present(const user::Window& window) {
    // The canvas wants bytes R, G, B, A: the window's 0x00BBGGRR pixels are
    // R, G, B, 0 in memory, as WebAssembly is always little-endian, and need
    // only an opaque alpha. The one place a word's byte layout is assumed.
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
  static EM_BOOL OnBlur(int, const EmscriptenFocusEvent*, void*) {
    user::Keys().ReleaseAll();
    return EM_FALSE;
  }

  static EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent* event, void*) {
    if (event->hidden) user::Keys().ReleaseAll();
    return EM_FALSE;
  }

  std::deque<MSG> events_;
  std::vector<std::uint32_t> rgba_;  // the frame handed to the canvas
};

}  // namespace

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
ClientArea BackendClientArea(Window& window) { return {window.pixels.data()}; }

void BackendPresent(Window& window) { Page::Get().Present(window); }

// The latch is kept by the event callbacks, which run during Sleep.
void BackendPollKeys() {}

}  // namespace user

DWORD WINAPI GetTickCount(void) {
  // performance.now(): milliseconds since the page began to load, never going back.
  const double now = emscripten_get_now();
  return now > 0.0 ? static_cast<DWORD>(static_cast<std::uint64_t>(now)) : 0;  // wraps like Windows
}

// Browsers hold a timer nested this deep to about 4 ms, so Sleep(1) takes
// about 4 ms; the frame's 33 ms grid absorbs it. While the page holds the
// program, Sleep does not return; the tick count goes on meanwhile, as on a
// busy machine, and the frame after it restarts the grid.
void WINAPI Sleep(DWORD dwMilliseconds) {
  orvix_wait(static_cast<int>(dwMilliseconds > 0x7FFFFFFF ? 0x7FFFFFFF : dwMilliseconds));
}
