// The window, the back buffer and the message loop on the headless backend:
// start-up order, exit codes, and messages going before frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Main.h"
#include "Win.h"
#include "platform/headless.h"
#include "platform/user.h"
#include "run_in_child.h"

namespace {

DWORD LiveObjects() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }

// The program states its back buffer's size, the platform its client area's.
static_assert(kBlockSize == user::kClientWidth && kBlockSize == user::kClientHeight,
              "the window shows the back buffer whole, 1:1");

class Window : public ::testing::Test {
 protected:
  Window() { headless::Reset(); }
};

TEST_IN_CHILD(Window, OpenWindowMakesTheWindowAndTheBackBuffer) {
  ASSERT_EQ(OpenWindow(), 1);
  ASSERT_NE(g_hWnd, nullptr);
  const user::Window* w = user::MainWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->title, "ORVIX SW RENDERING");
  EXPECT_EQ(w->proc, &WndProc);
  // A 512 x 512 bitmap with the null pen: Polygon paints no outline, and
  // drawing lands in the bitmap.
  ASSERT_NE(hBlockDC, nullptr);
  ASSERT_NE(hBlockBitmap, nullptr);
  EXPECT_NE(GetPixel(hBlockDC, 511, 511), CLR_INVALID);
  EXPECT_EQ(GetPixel(hBlockDC, 512, 0), CLR_INVALID);
  EXPECT_EQ(SelectObject(hBlockDC, GetStockObject(BLACK_PEN)), GetStockObject(NULL_PEN));
  // The bitmap is selected, so it cannot be deleted from under the DC.
  EXPECT_FALSE(DeleteObject(hBlockBitmap));
  // The window DC used to build it was released.
  EXPECT_EQ(LiveObjects(), 2u);
  // The class is taken: a second registration fails.
  WNDCLASSA wc{};
  wc.lpfnWndProc = WndProc;
  wc.lpszClassName = "ORVIX";
  EXPECT_EQ(RegisterClassA(&wc), 0);
}

TEST_IN_CHILD(Window, NoWindowMeansExitCodeMinusOneAndNoFrame) {
  headless::FailWindowCreation(true);
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(headless::FramesPresented(), 0);
  EXPECT_TRUE(headless::Sleeps().empty());
  EXPECT_EQ(g_hWnd, nullptr);
  EXPECT_EQ(hBlockDC, nullptr);  // WM_CREATE never came
}

TEST_IN_CHILD(Window, ATakenClassNameAlsoMeansMinusOne) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "ORVIX";
  ASSERT_NE(RegisterClassA(&wc), 0);
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(headless::FramesPresented(), 0);
}

TEST_IN_CHILD(Window, CloseAfterNFramesExitsZeroWithExactlyNFrames) {
  headless::CloseAfterFrames(7);
  bool buffer_ready_at_first_frame = false;
  headless::OnPresent([&](int frame, const std::uint32_t*) {
    if (frame == 1) buffer_ready_at_first_frame = hBlockDC != nullptr && g_hWnd != nullptr;
  });
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(headless::FramesPresented(), 7);
  EXPECT_TRUE(buffer_ready_at_first_frame);
  EXPECT_EQ(user::MainWindow(), nullptr);  // destroyed on the way out
}

TEST_IN_CHILD(Window, WaitingMessagesGoBeforeTheFrame) {
  headless::QueueMessages(WM_CLOSE, 1);  // already waiting when the loop starts
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(headless::FramesPresented(), 0);
}

TEST_IN_CHILD(Window, PresentedFramesShowTheBackBuffer) {
  headless::CloseAfterFrames(2);
  std::vector<std::uint32_t> shown;
  headless::OnPresent([&](int, const std::uint32_t* pixels) {
    shown.assign(pixels, pixels + 512 * 512);
    for (int y = 0; y < 512; y += 51)
      for (int x = 0; x < 512; x += 51)
        ASSERT_EQ(shown[std::size_t(y) * 512 + x], GetPixel(hBlockDC, x, y)) << x << "," << y;
  });
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
  EXPECT_FALSE(shown.empty());
}

TEST_IN_CHILD(Window, LiveObjectsStayConstantThroughAThousandFrames) {
  headless::CloseAfterFrames(1000);
  DWORD at_first = 0, at_last = 0;
  headless::OnPresent([&](int frame, const std::uint32_t*) {
    if (frame == 1) at_first = LiveObjects();
    if (frame == 1000) at_last = LiveObjects();
  });
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(at_first, 2u);  // the back buffer's DC and bitmap
  EXPECT_EQ(at_last, at_first);
}

// MessageLoop on its own, with a window procedure and an idle function that
// write down the order in which they run.
std::string g_trace;

LRESULT CALLBACK TraceProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN) g_trace += 'm';
  if (message == WM_DESTROY) PostQuitMessage(42);
  return DefWindowProcA(hWnd, message, wParam, lParam);
}

void TraceIdle() {
  g_trace += 'i';
  if (g_trace.size() == 8) headless::QueueMessages(WM_CLOSE, 1);
}

TEST_IN_CHILD(Window, MessageLoopHandlesOneMessageAPassAndIdlesOnlyWhenEmpty) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = TraceProc;
  wc.lpszClassName = "TRACE";
  ASSERT_NE(RegisterClassA(&wc), 0);
  const HWND hwnd =
      CreateWindowExA(0, "TRACE", "trace", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  headless::QueueMessages(WM_KEYDOWN, 3);
  g_trace.clear();
  // Ends on the quit message's code; idle never runs once WM_QUIT is waiting.
  EXPECT_EQ(MessageLoop(TraceIdle), 42);
  EXPECT_EQ(g_trace, "mmmiiiii");
}

}  // namespace
