// Headless USER/KERNEL: everything happens in memory, time included.
#include "platform/headless.h"

#include "platform/user.h"

namespace headless {
namespace {

struct State {
  DWORD ticks = 0;
  std::vector<DWORD> sleeps;
  bool fail_window = false;
  UINT queued_message = 0;
  int queued_count = 0;
  int close_after = -1;  // no close request unless asked for
  bool close_pending = false;
  int frames = 0;
  std::function<void(int, const std::uint32_t*)> on_present;
};

State& Get() {
  static State state;
  return state;
}

}  // namespace

void Reset() {
  user::ResetUser();
  Get() = State{};
}

void SetTickCount(DWORD ms) { Get().ticks = ms; }
void AdvanceTickCount(DWORD ms) { Get().ticks += ms; }  // unsigned: wraps modulo 2^32
const std::vector<DWORD>& Sleeps() { return Get().sleeps; }
void SetKeyDown(int vk, bool down) { user::Keys().Set(vk, down); }
void TapKey(int vk) { user::Keys().Tap(vk); }
void FailWindowCreation(bool fail) { Get().fail_window = fail; }

void QueueMessages(UINT msg, int n) {
  Get().queued_message = msg;
  Get().queued_count = n > 0 ? n : 0;
}

void CloseAfterFrames(int frames) {
  State& s = Get();
  s.close_after = frames;
  s.close_pending = frames >= 0 && s.frames >= frames;
}

int FramesPresented() { return Get().frames; }

void OnPresent(std::function<void(int frame, const std::uint32_t* pixels)> f) {
  Get().on_present = std::move(f);
}

}  // namespace headless

namespace user {

bool BackendCreateWindow(Window&, int, int) { return !headless::Get().fail_window; }

void BackendDestroyWindow(Window&) {}

void BackendPollKeys() {}  // the caller sets the keys directly

bool BackendNextMessage(MSG* msg) {
  headless::State& s = headless::Get();
  Window* w = MainWindow();
  if (!w) return false;
  if (s.queued_count > 0) {
    --s.queued_count;
    msg->hwnd = w->handle;
    msg->message = s.queued_message;
    msg->time = s.ticks;
    return true;
  }
  if (s.close_pending) {
    s.close_pending = false;
    msg->hwnd = w->handle;
    msg->message = WM_CLOSE;
    msg->time = s.ticks;
    return true;
  }
  return false;
}

ClientArea BackendClientArea(Window& window) { return {window.pixels.data()}; }

void BackendPresent(Window& window) {
  headless::State& s = headless::Get();
  ++s.frames;
  if (s.on_present) s.on_present(s.frames, window.pixels.data());
  if (s.close_after >= 0 && s.frames == s.close_after) s.close_pending = true;
}

}  // namespace user

DWORD WINAPI GetTickCount(void) { return headless::Get().ticks; }

void WINAPI Sleep(DWORD dwMilliseconds) {
  headless::State& s = headless::Get();
  s.sleeps.push_back(dwMilliseconds);
  s.ticks += dwMilliseconds;
}
