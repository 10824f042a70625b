// USER/KERNEL over SDL2: the window, its keys, the clock and the present.
//
// The window DC draws straight into SDL's window surface when that holds
// 32-bit pixels without alpha that the GDI can write (0x00RRGGBB on the usual
// X11 displays, as the back buffer does, so the frame's BitBlt is a plain copy);
// the present then only hands it to the display. On any other display the
// window DC draws into the window's own pixels (0x00BBGGRR), which the present
// converts into the window surface. No SDL renderer and no vsync, which would
// stretch the 33 ms frame grid.
#include <SDL.h>
#include <SDL_syswm.h>  // with SDL's X11 driver, <X11/Xlib.h>
#include <unistd.h>
#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/extensions/Xext.h>
#endif

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/user.h"

namespace user {
// The window's icon as a BMP file's bytes, made by CMake from data/icons.
extern const unsigned char kWindowIconBmp[];
extern const std::size_t kWindowIconBmpSize;
}  // namespace user

namespace {

// The X11 window class and the Wayland app id by which a desktop ties the
// window to its desktop entry: X11 through the entry's StartupWMClass, Wayland
// through the entry's installed name (the AppStream id). SDL 2 takes both from
// the environment when its video starts; without them SDL uses the
// executable's name, which a renamed copy would change.
constexpr char kDesktopId[] = "orvix";
#ifndef ORVIX_APP_ID
#define ORVIX_APP_ID "orvix"
#endif
constexpr char kWaylandAppId[] = ORVIX_APP_ID;

volatile std::sig_atomic_t g_stop_signal = 0;  // set by SIGINT or SIGTERM, taken by Pump

// When the first stop signal came: the monotonic clock in milliseconds, cut
// to 32 bits, with the low bit set so that 0 means "none yet". One atomic
// word, as the handler may run on any thread that does not block the signal.
std::atomic<std::uint32_t> g_first_stop{0};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "used in a signal handler");

// A repeat of the first stop signal within this time is the same request:
// `timeout` signals the child and then its process group, a user may press
// Ctrl-C twice, and the close takes a frame to act.
constexpr std::uint32_t kSameRequestMs = 1000;

// The first stop signal asks for one close, and so does any repeat within
// kSameRequestMs of it. A later one ends the program as if the signal were
// not caught. That is the way out when the program is stuck, in practice in
// Xlib waiting for an X server that does not answer (stopped, or
// unreachable), before or after it took the first. Only async-signal-safe
// calls: clock_gettime, signal, raise.
void OnStopSignal(int signal) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto ms = static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
  const std::uint32_t stamp = ms | 1u;
  std::uint32_t first = 0;
  if (g_first_stop.compare_exchange_strong(first, stamp)) {
    g_stop_signal = 1;
    return;
  }
  // Both stamps odd, so a repeat in the same millisecond is 0 apart;
  // unsigned, so right across the 32-bit wrap (every 49 days).
  if (static_cast<std::uint32_t>(stamp - first) < kSameRequestMs) return;
  // Blocked while this handler runs: delivered, with its default action, as
  // it returns.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// SIGINT and SIGTERM become one close request from the start of the video
// on: a signal that comes while SDL starts is seen at the first Pump. A
// signal ignored when the program started (a shell's background job ignores
// SIGINT) stays ignored, as its starter meant.
void CatchStopSignals() {
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);  // one handler at a time on a thread
  sigaddset(&action.sa_mask, SIGTERM);
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction old;
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

#if defined(SDL_VIDEO_DRIVER_X11)
// Xlib's own answers to trouble end the process with a dump on stderr; ours
// are set before SDL opens the display and end it with one line, or not at
// all when the trouble is only that our window is gone. libX11 is SDL's (it
// links it, or loads it at run time, by this name), so loading it here finds
// the one library whose handlers are global, and it stays loaded. SDL puts a
// handler of its own in front of ours while it runs and hands every error on
// to the one it found, ours; it leaves ours in place when it quits. No
// libX11, no X11 to handle.
decltype(&XDisplayString) g_x_display_string = nullptr;
decltype(&XGetErrorText) g_x_get_error_text = nullptr;

// Our window as OnXError knows it: its X id once SDL_CreateWindow returned,
// kept after it is destroyed, as errors about it can arrive until the
// connection closes; whether SDL is still making and showing it (until then
// the only window SDL names is that one, id known or not).
::Window g_x_window = 0;
bool g_x_window_making = false;
// Set by OnXError when another client destroyed the shown window; 2 once
// Pump took it. (Xlib calls its handler on the thread whose call failed.)
int g_x_window_gone = 0;

// Xlib's own answer to a lost connection is a line on stderr and exit(),
// which runs the static destructors: ~Sdl then destroys the window on the
// dead connection, Xlib reports the loss a second time from inside exit(),
// and SDL can wait for a reply that never comes, at full speed and deaf to
// SIGTERM. Ours writes one line and ends the process at once: no call into
// SDL or Xlib after the loss. Xlib calls it for every connection, but orvix
// has only SDL's.
[[noreturn]] int OnDisplayLost(Display* display) {
  const char* name = g_x_display_string && display ? g_x_display_string(display) : nullptr;
  char line[320];  // room for the whole line with a name cut at 200 bytes
  const int n =
      std::snprintf(line, sizeof(line),
                    "orvix: X connection to %.200s broken (the X server ended or closed it)\n",
                    name && *name ? name : "the display");
  if (n > 0) {
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line, std::size_t(n));
  }
  _exit(1);
}

// Another client may destroy our window (a window manager's force-close,
// `xdotool windowclose`): the next request on it fails with BadWindow or
// BadDrawable. That is a close, taken by Pump; every later error about the
// window is its echo. While SDL still makes or shows the window, it would go
// on with one that is not there and wait for ever for it to be mapped; with
// no frame drawn yet, a close has nothing to do but end, so it ends there.
// Any other error means a request of SDL's was refused, after which nothing
// it shows can be trusted: one line, and the end, at once for the reason
// OnDisplayLost gives. (Xlib forbids requests in here; XGetErrorText reads
// a table.)
int OnXError(Display* display, XErrorEvent* error) {
  const bool ours = g_x_window != 0 ? error->resourceid == g_x_window : g_x_window_making;
  if (ours &&
      (g_x_window_gone || error->error_code == BadWindow || error->error_code == BadDrawable)) {
    if (g_x_window_making) _exit(0);
    if (g_x_window_gone == 0) g_x_window_gone = 1;
    return 0;
  }
  char what[160] = "";
  if (g_x_get_error_text) g_x_get_error_text(display, error->error_code, what, sizeof(what));
  char line[320];
  const int n = std::snprintf(
      line, sizeof(line), "orvix: X error %.160s in request %u.%u on resource 0x%lx\n",
      *what ? what : "?", unsigned(error->request_code), unsigned(error->minor_code),
      static_cast<unsigned long>(error->resourceid));
  if (n > 0) {
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line, std::size_t(n));
  }
  _exit(1);
}

// libXext reports an extension the server lacks on stderr ("extension
// RANDR missing on display"), though SDL asks only to do without it.
int OnMissingExtension(Display*, const char*, const char*) { return 0; }

template <typename Fn>
Fn Load(void* library, const char* name) {
  return library ? reinterpret_cast<Fn>(SDL_LoadFunction(library, name)) : nullptr;
}

void CatchXErrors() {
  static void* x11 = SDL_LoadObject("libX11.so.6");
  static void* xext = SDL_LoadObject("libXext.so.6");
  g_x_display_string = Load<decltype(&XDisplayString)>(x11, "XDisplayString");
  g_x_get_error_text = Load<decltype(&XGetErrorText)>(x11, "XGetErrorText");
  if (auto set = Load<decltype(&XSetIOErrorHandler)>(x11, "XSetIOErrorHandler")) {
    set(OnDisplayLost);
  }
  if (auto set = Load<decltype(&XSetErrorHandler)>(x11, "XSetErrorHandler")) set(OnXError);
  if (auto set = Load<decltype(&XSetExtensionErrorHandler)>(xext, "XSetExtensionErrorHandler")) {
    set(OnMissingExtension);
  }
  SDL_ClearError();
}

// Tells OnXError that SDL makes and shows the window, for its lifetime.
struct XWindowMaking {
  XWindowMaking() { g_x_window_making = true; }
  ~XWindowMaking() { g_x_window_making = false; }
  XWindowMaking(const XWindowMaking&) = delete;
  XWindowMaking& operator=(const XWindowMaking&) = delete;
};

// Tells OnXError the X id of the window SDL made.
void XWindowMade(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) {
    g_x_window = info.info.x11.window;
  }
}

// True once another client destroyed the window; then a close is due.
bool TakeXWindowGone() {
  const bool gone = g_x_window_gone == 1;
  if (gone) g_x_window_gone = 2;
  return gone;
}
#else
void CatchXErrors() {}
struct XWindowMaking {
  XWindowMaking() {}
};
void XWindowMade(SDL_Window*) {}
bool TakeXWindowGone() { return false; }
#endif

// An environment variable's value, or null when it is unset or empty.
const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

// One line on stderr that says which display was tried.
void ReportNoDisplay(const std::string& detail) {
  std::string where;
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    if (const char* value = Env(name)) {
      where += (where.empty() ? " at " : " and ") + std::string(name) + "=";
      // Control characters as \xNN, so that the message stays one line.
      for (const char* c = value; *c; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7f) {
          char escaped[5];
          std::snprintf(escaped, sizeof(escaped), "\\x%02x", byte);
          where += escaped;
        } else {
          where += *c;
        }
      }
    }
  }
  std::string why = where.empty() ? "DISPLAY is not set" : "";
  if (!detail.empty()) why += (why.empty() ? "" : "; ") + detail;
  std::fprintf(stderr, "orvix: cannot open a window: no display%s (%s)\n", where.c_str(),
               why.c_str());
}

// What one SDL window needs beside the shared USER window.
struct SdlWindow {
  SDL_Window* window = nullptr;
  SDL_Surface* frame = nullptr;  // wraps the USER window's pixels, owns nothing
  bool direct = false;           // the window DC draws into the window surface

  SdlWindow() = default;
  SdlWindow(const SdlWindow&) = delete;
  SdlWindow& operator=(const SdlWindow&) = delete;
  ~SdlWindow() {
    if (frame) SDL_FreeSurface(frame);
    if (window) SDL_DestroyWindow(window);
  }
};

class Sdl {
 public:
  static Sdl& Get() {
    static Sdl sdl;
    return sdl;
  }

  // Starts SDL's video on first use. False, with the reason on stderr, when
  // there is no display to open a window on.
  bool StartVideo() {
    if (video_) return true;
    CatchStopSignals();
    // SDL tries its video drivers in turn, and its Wayland one has libwayland
    // complain on stderr when XDG_RUNTIME_DIR is not set. Without that there
    // is no Wayland display to find (unless WAYLAND_DISPLAY is a socket's full
    // path), so only X11 is left to try, and without DISPLAY nothing: say so
    // ourselves, first and alone. SDL_VIDEODRIVER still picks any other
    // driver; Wayland, when asked for, is then taken out of its list.
    const char* wayland = Env("WAYLAND_DISPLAY");
    if (!Env("XDG_RUNTIME_DIR") && !(wayland && wayland[0] == '/')) {
      if (const char* asked = Env("SDL_VIDEODRIVER")) {
        std::string others;
        for (const std::string& driver : Drivers(asked)) {
          if (SDL_strcasecmp(driver.c_str(), "wayland") != 0) others += "," + driver;
        }
        if (others.empty()) {
          ReportNoDisplay("SDL video driver 'wayland' needs XDG_RUNTIME_DIR");
          return false;
        }
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, others.c_str() + 1, SDL_HINT_OVERRIDE);
      } else {
        if (!Env("DISPLAY")) {
          ReportNoDisplay("");
          return false;
        }
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
      }
    }
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");   // ours turn signals into one WM_CLOSE
    setenv("SDL_VIDEO_X11_WMCLASS", kDesktopId, 0);  // a value set by the user wins
    setenv("SDL_VIDEO_WAYLAND_WMCLASS", kWaylandAppId, 0);
    CatchXErrors();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
      ReportNoDisplay(SDL_GetError());
      return false;
    }
    video_ = true;
    // Without a display SDL falls back to a driver that shows nothing; that
    // is no window unless SDL_VIDEODRIVER asked for that very driver.
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool invisible =
        driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    if (invisible && !Asked(driver)) {
      ReportNoDisplay(std::string("SDL video driver '") + driver + "'");
      return false;
    }
    // X11 shows a window surface natively (XShm). Left to guess, SDL puts an
    // OpenGL renderer behind it, which under a software GL costs more CPU
    // than drawing the frame. Other drivers have no native surface and need
    // SDL's texture path. The environment variable still overrides this.
    if (driver && std::strcmp(driver, "x11") == 0) {
      SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    }
    return true;
  }

  // Moves every waiting SDL event into the key latch and the message queue.
  // SDL reads the display's connection at most once per millisecond: every
  // read is a few system calls, and a frame polls five keys and the message
  // queue within microseconds of each other.
  void Pump() {
    if (!video_) return;
    const DWORD now = GetTickCount();
    if (!pumped_ || now != pumped_at_) {
      SDL_PumpEvents();
      pumped_ = true;
      pumped_at_ = now;
    }
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
      switch (event.type) {
        case SDL_QUIT:
          close_requested_ = true;
          break;
        case SDL_WINDOWEVENT:
          if (event.window.event == SDL_WINDOWEVENT_CLOSE) close_requested_ = true;
          if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) user::Keys().ReleaseAll();
          break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
          const int vk = VirtualKey(event.key.keysym.sym);
          const bool down = event.type == SDL_KEYDOWN;
          if (vk == 0) break;
          if (!event.key.repeat) user::Keys().Set(vk, down);
          MSG msg{};
          msg.message = down ? WM_KEYDOWN : WM_KEYUP;
          msg.wParam = static_cast<WPARAM>(vk);
          msg.time = GetTickCount();  // SDL's timestamps count from SDL_Init
          events_.push_back(msg);
          break;
        }
        default:
          break;
      }
    }
    if (g_stop_signal) {
      g_stop_signal = 0;
      close_requested_ = true;
    }
    if (TakeXWindowGone()) close_requested_ = true;
  }

  bool NextMessage(MSG* msg, HWND hwnd) {
    Pump();
    if (!events_.empty()) {
      *msg = events_.front();
      msg->hwnd = hwnd;
      events_.pop_front();
      return true;
    }
    if (close_requested_) {
      close_requested_ = false;  // one request, one WM_CLOSE
      *msg = MSG{};
      msg->hwnd = hwnd;
      msg->message = WM_CLOSE;
      return true;
    }
    return false;
  }

  // The one SDL window; the USER window keeps a plain pointer to it.
  SdlWindow* OpenWindow(const char* title, std::uint32_t* pixels) {
    auto own = std::make_unique<SdlWindow>();
    const XWindowMaking making;
    // Shown only once it has its icon, so that a dock sees the icon at once.
    own->window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                   user::kClientWidth, user::kClientHeight, SDL_WINDOW_HIDDEN);
    XWindowMade(own->window);
    // Frames reach the display through the window surface. SDL has none for
    // some displays (8-bit palettes, 30-bit deep colour), where the window
    // would stay black: no window then, and the reason.
    if (own->window && !SDL_GetWindowSurface(own->window)) {
      std::fprintf(stderr,
                   "orvix: cannot open a window: SDL cannot draw on this display (%s); "
                   "displays of 15, 16 or 24 bits a pixel work\n",
                   SDL_GetError());
      return nullptr;
    }
    if (own->window) {
      SetIcon(own->window);
      SDL_ShowWindow(own->window);
      own->frame =
          SDL_CreateRGBSurfaceWithFormatFrom(pixels, user::kClientWidth, user::kClientHeight, 32,
                                             user::kClientWidth * 4, SDL_PIXELFORMAT_XBGR8888);
    }
    if (!own->window || !own->frame) {
      std::fprintf(stderr, "orvix: cannot open a window: %s\n", SDL_GetError());
      return nullptr;
    }
    window_ = std::move(own);
    return window_.get();
  }

  void CloseWindow() {
    window_.reset();
    events_.clear();
  }

 private:
  Sdl() = default;
  ~Sdl() {
    window_.reset();
    if (video_) SDL_Quit();
  }

  // A window without its icon still works: a failure here is not reported.
  static void SetIcon(SDL_Window* window) {
    SDL_RWops* bytes =
        SDL_RWFromConstMem(user::kWindowIconBmp, static_cast<int>(user::kWindowIconBmpSize));
    SDL_Surface* icon = SDL_LoadBMP_RW(bytes, 1);  // frees `bytes`, even on failure
    if (!icon) return;
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
  }

  // The names in a comma-separated list of drivers, empty ones left out.
  static std::vector<std::string> Drivers(const char* list) {
    std::vector<std::string> names;
    for (const char* p = list;;) {
      const char* end = std::strchr(p, ',');
      const std::size_t n = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
      if (n > 0) names.emplace_back(p, n);
      if (!end) return names;
      p = end + 1;
    }
  }

  // True when SDL_VIDEODRIVER (or what StartVideo left of it) names the driver.
  static bool Asked(const char* driver) {
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (!asked) return false;
    for (const std::string& name : Drivers(asked)) {
      if (SDL_strcasecmp(name.c_str(), driver) == 0) return true;
    }
    return false;
  }

  static int VirtualKey(SDL_Keycode key) {
    switch (key) {
      case SDLK_LEFT:
        return VK_LEFT;
      case SDLK_RIGHT:
        return VK_RIGHT;
      case SDLK_UP:
        return VK_UP;
      case SDLK_DOWN:
        return VK_DOWN;
      case SDLK_SPACE:
        return VK_SPACE;
      default:
        if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
        if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
        return 0;
    }
  }

  bool video_ = false;
  bool pumped_ = false;
  DWORD pumped_at_ = 0;  // the tick count of the last read of the display
  bool close_requested_ = false;
  std::unique_ptr<SdlWindow> window_;
  std::deque<MSG> events_;
};

}  // namespace

namespace user {

bool BackendCreateWindow(Window& window, int, int) {
  Sdl& sdl = Sdl::Get();
  if (!sdl.StartVideo()) return false;
  // The client area is the back buffer's size, whatever outer size is asked.
  window.backend = sdl.OpenWindow(window.title.c_str(), window.pixels.data());
  return window.backend != nullptr;
}

void BackendDestroyWindow(Window& window) {
  window.backend = nullptr;
  Sdl::Get().CloseWindow();
}

bool BackendNextMessage(MSG* msg) {
  Window* w = MainWindow();
  return w && Sdl::Get().NextMessage(msg, w->handle);
}

ClientArea BackendClientArea(Window& window) {
  auto* own = static_cast<SdlWindow*>(window.backend);
  const ClientArea own_pixels{window.pixels.data()};
  if (!own) return own_pixels;
  own->direct = false;
  // SDL makes the surface anew only here, after the window has changed size,
  // so it stays as it is until the next GetDC: no DC outlives its pixels.
  SDL_Surface* target = SDL_GetWindowSurface(own->window);
  if (!target || SDL_MUSTLOCK(target) || target->w < kClientWidth || target->h < kClientHeight ||
      target->pitch % 4 != 0) {
    return own_pixels;
  }
  ClientArea area{static_cast<std::uint32_t*>(target->pixels), target->pitch / 4};
  switch (target->format->format) {
    case SDL_PIXELFORMAT_XRGB8888:
      area.format = gdi::PixelFormat::kXrgb8888;
      break;
    case SDL_PIXELFORMAT_XBGR8888:
      area.format = gdi::PixelFormat::kXbgr8888;
      break;
    default:  // other layouts, and those with alpha, which our pixels leave at 0
      return own_pixels;
  }
  own->direct = true;
  return area;
}

void BackendPresent(Window& window) {
  auto* own = static_cast<SdlWindow*>(window.backend);
  if (!own) return;
  if (!own->direct) {
    SDL_Surface* target = SDL_GetWindowSurface(own->window);
    if (!target) return;
    SDL_BlitSurface(own->frame, nullptr, target, nullptr);
  }
  SDL_UpdateWindowSurface(own->window);
}

void BackendPollKeys() { Sdl::Get().Pump(); }

}  // namespace user

DWORD WINAPI GetTickCount(void) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);  // wraps every 2^32 ms, like Windows
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  timespec left;
  left.tv_sec = static_cast<time_t>(dwMilliseconds / 1000u);
  left.tv_nsec = static_cast<long>(dwMilliseconds % 1000u) * 1000000L;
  // A signal interrupts the sleep; resume with what is left.
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
