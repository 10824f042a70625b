// Shared USER: classes, windows, the message queue, window DCs, key latch.
#include "platform/user.h"

#include <deque>
#include <memory>

#include "platform/gdi.h"

namespace user {
namespace {

struct Class {
  std::string name;
  WNDCLASSA wc;
};

struct State {
  std::vector<Class> classes;
  std::unique_ptr<Window> window;  // ORVIX has one window; a second is refused
  std::deque<MSG> posted;
  KeyLatch keys;
};

State& Get() {
  static State state;
  return state;
}

Window* Find(HWND hwnd) {
  Window* w = Get().window.get();
  return (w && hwnd && w->handle == hwnd) ? w : nullptr;
}

std::uint8_t Index(int vk) { return static_cast<std::uint8_t>(vk & 0xFF); }

}  // namespace

void KeyLatch::Set(int vk, bool down) {
  const std::uint8_t k = Index(vk);
  if (down && !down_[k]) pressed_[k] = true;
  down_[k] = down;
}

void KeyLatch::Tap(int vk) { pressed_[Index(vk)] = true; }

short KeyLatch::Query(int vk) {
  if (vk < 0 || vk > 0xFF) return 0;
  const std::uint8_t k = Index(vk);
  const int result = (down_[k] ? 0x8000 : 0) | (pressed_[k] ? 1 : 0);
  pressed_[k] = false;
  return static_cast<short>(result);
}

void KeyLatch::ReleaseAll() {
  for (bool& d : down_) d = false;
}

void KeyLatch::Clear() {
  for (bool& d : down_) d = false;
  for (bool& p : pressed_) p = false;
}

KeyLatch& Keys() { return Get().keys; }

Window* MainWindow() { return Get().window.get(); }

void ResetUser() {
  State& s = Get();
  if (s.window) BackendDestroyWindow(*s.window);
  s.window.reset();
  s.classes.clear();
  s.posted.clear();
  s.keys.Clear();
}

}  // namespace user

using user::Get;

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
  if (!lpWndClass || !lpWndClass->lpszClassName || !lpWndClass->lpfnWndProc) return 0;
  auto& classes = Get().classes;
  for (const auto& c : classes) {
    if (c.name == lpWndClass->lpszClassName) return 0;  // already registered
  }
  classes.push_back({lpWndClass->lpszClassName, *lpWndClass});
  classes.back().wc.lpszClassName = classes.back().name.c_str();
  return static_cast<ATOM>(0xC000 + classes.size());  // the range Windows uses for atoms
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD, int, int,
                            int nWidth, int nHeight, HWND, HMENU, HINSTANCE, LPVOID) {
  user::State& s = Get();
  if (!lpClassName || s.window) return nullptr;
  const user::Class* cls = nullptr;
  for (const auto& c : s.classes) {
    if (c.name == lpClassName) cls = &c;
  }
  if (!cls) return nullptr;
  auto window = std::make_unique<user::Window>();
  window->handle = reinterpret_cast<HWND>(window.get());
  window->proc = cls->wc.lpfnWndProc;
  window->title = lpWindowName ? lpWindowName : "";
  window->pixels.assign(static_cast<std::size_t>(user::kClientWidth) * user::kClientHeight, 0);
  if (!user::BackendCreateWindow(*window, nWidth, nHeight)) return nullptr;
  user::Window* w = window.get();
  s.window = std::move(window);
  // As on Windows, the procedure sees WM_CREATE before CreateWindowExA returns;
  // -1 from it means the window is not made.
  if (w->proc(w->handle, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(w->handle);
    return nullptr;
  }
  return w->handle;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  user::Window* w = user::Find(hWnd);
  if (!w) return FALSE;
  w->proc(hWnd, WM_DESTROY, 0, 0);
  user::BackendDestroyWindow(*w);
  // Messages still queued for the window go with it.
  auto& posted = Get().posted;
  for (auto it = posted.begin(); it != posted.end();) {
    it = it->hwnd == hWnd ? posted.erase(it) : it + 1;
  }
  Get().window.reset();
  return TRUE;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR lpCursorName) {
  // The platform draws its own pointer; any non-null value stands for it.
  return lpCursorName ? reinterpret_cast<HCURSOR>(const_cast<char*>(lpCursorName)) : nullptr;
}

HBRUSH WINAPI GetSysColorBrush(int nIndex) {
  // System colour brushes belong to the system, like stock objects.
  return nIndex == COLOR_BTNFACE ? static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)) : nullptr;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
  if (Msg == WM_CLOSE) DestroyWindow(hWnd);
  return 0;
}

void WINAPI PostQuitMessage(int nExitCode) {
  MSG msg{};
  msg.message = WM_QUIT;
  msg.wParam = static_cast<WPARAM>(nExitCode);
  Get().posted.push_back(msg);
}

BOOL WINAPI PeekMessageA(MSG* lpMsg, HWND hWnd, UINT, UINT, UINT wRemoveMsg) {
  if (!lpMsg) return FALSE;
  auto& posted = Get().posted;
  if (posted.empty()) {
    MSG event{};
    if (!user::BackendNextMessage(&event)) return FALSE;
    posted.push_back(event);
  }
  // Only the whole queue is ever asked for here; a window filter would skip
  // the messages of other windows, of which there are none.
  (void)hWnd;
  *lpMsg = posted.front();
  if (wRemoveMsg & PM_REMOVE) posted.pop_front();
  return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }  // no WM_CHAR is needed

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
  if (!lpMsg) return 0;
  user::Window* w = user::Find(lpMsg->hwnd);
  return w ? w->proc(w->handle, lpMsg->message, lpMsg->wParam, lpMsg->lParam) : 0;
}

HDC WINAPI GetDC(HWND hWnd) {
  if (!hWnd) return gdi::CreateScreenDC();
  user::Window* w = user::Find(hWnd);
  if (!w) return nullptr;
  w->client = user::BackendClientArea(*w);
  return gdi::CreateSurfaceDC(w->client.pixels, user::kClientWidth, user::kClientHeight,
                              w->client.stride, w->client.format);
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
  user::Window* w = user::Find(hWnd);
  if (w && !gdi::IsSurfaceDC(hDC, w->client.pixels)) return 0;
  if (!w && (hWnd || !gdi::IsSurfaceDC(hDC, nullptr))) return 0;
  const bool present = w && gdi::SurfaceDrawn(hDC);
  DeleteDC(hDC);
  if (present) user::BackendPresent(*w);
  return 1;
}

short WINAPI GetAsyncKeyState(int vKey) {
  user::BackendPollKeys();
  return Get().keys.Query(vKey);
}
