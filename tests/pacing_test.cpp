// GameLoop's pacing on the headless backend's virtual clock: the first frame,
// early, exact and late frames, the longest lead, and the wrap of the tick
// count, read from the Sleep calls a frame makes.
#include <gtest/gtest.h>

#include <vector>

#include "Main.h"
#include "Win.h"
#include "platform/headless.h"
#include "run_in_child.h"

namespace {

class Pacing : public ::testing::Test {
 protected:
  void Start(DWORD ticks) {
    headless::Reset();
    headless::SetTickCount(ticks);
    ASSERT_EQ(OpenWindow(), 1);
    // Work a frame "takes" is added when it is presented, after its Sleep(1).
    headless::OnPresent([this](int, const std::uint32_t*) {
      if (work_ >= 0) {
        headless::AdvanceTickCount(static_cast<DWORD>(work_));
      } else {
        headless::SetTickCount(set_to_);
      }
    });
  }

  // Runs one frame and returns the sleeps it made.
  std::vector<DWORD> Frame(long work = 0) {
    work_ = work;
    const std::size_t before = headless::Sleeps().size();
    GameLoop();
    return {headless::Sleeps().begin() + static_cast<std::ptrdiff_t>(before),
            headless::Sleeps().end()};
  }

  // Runs one frame whose clock is set to `ticks` when it is presented.
  std::vector<DWORD> FrameEndingAt(DWORD ticks) {
    set_to_ = ticks;
    return Frame(-1);
  }

  using Sleeps = std::vector<DWORD>;
  long work_ = 0;
  DWORD set_to_ = 0;
};

TEST_IN_CHILD(Pacing, FirstFrameDoesNotWaitAndSetsTheGrid) {
  Start(1000);
  // Due at 1000, the frame ends at 1001 (its Sleep(1)): late, so the grid
  // restarts at 1001 and the next frame is due at 1034.
  EXPECT_EQ(Frame(), (Sleeps{1}));
  EXPECT_EQ(GetTickCount(), 1001u);
  EXPECT_EQ(Frame(), (Sleeps{1, 32}));
  EXPECT_EQ(GetTickCount(), 1034u);
  EXPECT_EQ(headless::FramesPresented(), 2);
}

TEST_IN_CHILD(Pacing, EarlyFramesKeepASteady33MsGrid) {
  Start(5000);
  Frame();
  std::vector<DWORD> starts;
  for (int i = 0; i < 8; ++i) {
    starts.push_back(GetTickCount());
    EXPECT_EQ(Frame(i % 3 * 5), (Sleeps{1, 32u - i % 3 * 5})) << i;
  }
  for (std::size_t i = 1; i < starts.size(); ++i) EXPECT_EQ(starts[i] - starts[i - 1], 33u);
}

TEST_IN_CHILD(Pacing, ExactFrameMakesNoSecondSleep) {
  Start(0);
  Frame();                            // next due at 34
  EXPECT_EQ(Frame(32), (Sleeps{1}));  // 1 + 1 + 32 = 34: due exactly now
  EXPECT_EQ(GetTickCount(), 34u);
  EXPECT_EQ(Frame(), (Sleeps{1, 32}));  // the next one is due 33 later, at 67
  EXPECT_EQ(GetTickCount(), 67u);
}

TEST_IN_CHILD(Pacing, LateFrameRestartsTheGridWithoutCatchingUp) {
  Start(0);
  Frame();                            // due next at 34
  EXPECT_EQ(Frame(50), (Sleeps{1}));  // ends at 52: 18 ms late
  EXPECT_EQ(GetTickCount(), 52u);
  EXPECT_EQ(Frame(), (Sleeps{1, 32}));  // due at 52 + 33 = 85, not at 67
  EXPECT_EQ(GetTickCount(), 85u);
}

TEST_IN_CHILD(Pacing, LeadOf66SleepsAndLeadOf67Restarts) {
  Start(10000);
  Frame();  // next due at 10034
  EXPECT_EQ(FrameEndingAt(10034 - 66), (Sleeps{1, 66}));
  EXPECT_EQ(GetTickCount(), 10034u);  // next due at 10067
  EXPECT_EQ(FrameEndingAt(10067 - 67), (Sleeps{1}));
  EXPECT_EQ(GetTickCount(), 10000u);
  EXPECT_EQ(Frame(), (Sleeps{1, 32}));  // the grid restarted at 10000
  EXPECT_EQ(GetTickCount(), 10033u);
}

TEST_IN_CHILD(Pacing, TheGridSurvivesTheWrapOfTheTickCount) {
  Start(0xFFFFFFFFu - 40);
  Frame();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Frame(3), (Sleeps{1, 29})) << i;
  EXPECT_EQ(GetTickCount(), static_cast<DWORD>(0xFFFFFFFFu - 40 + 1 + 4 * 33));
  EXPECT_LT(GetTickCount(), 1000u);  // wrapped
  // A frame late across the wrap restarts the grid; no huge sleep.
  EXPECT_EQ(FrameEndingAt(GetTickCount() + 40), (Sleeps{1}));
}

TEST_IN_CHILD(Pacing, EachFrameSleepsOneMsBeforeReleasingTheWindowDc) {
  Start(0);
  const DWORD objects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  int frames_seen = 0;
  headless::OnPresent([&](int frame, const std::uint32_t*) {
    frames_seen = frame;
    // The present happens on ReleaseDC, after the 1 ms sleep: the window DC
    // was held through it.
    ASSERT_FALSE(headless::Sleeps().empty()) << "frame " << frame << " came before any Sleep";
    EXPECT_EQ(headless::Sleeps().back(), 1u) << "frame " << frame;
  });
  for (int i = 0; i < 5; ++i) GameLoop();
  EXPECT_EQ(frames_seen, 5);
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objects);
}

}  // namespace
