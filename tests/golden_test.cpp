// Golden frames: scripted scenes played on the headless backend, as
// orvix-capture plays them, and compared pixel-exactly with
// tests/golden/*.png. Each TEST is one run of the program and needs a process
// of its own (gtest_discover_tests gives it).
// After a deliberate change to what the renderer draws, regenerate them with
//   ORVIX_UPDATE_GOLDEN=1 ctest --preset default -R GoldenFrame
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "capture_harness.h"
#include "platform/headless.h"

namespace {

namespace fs = std::filesystem;
using harness::Image;

// A golden mismatch writes NAME-actual.png and NAME-diff.png into the test's
// output folder and says where; the diff shows the expected frame dimmed to
// grey with every differing pixel in full red. With ORVIX_UPDATE_GOLDEN=1 in the
// environment the actual frame becomes the golden one instead.
constexpr const char* kRegenerate = "ORVIX_UPDATE_GOLDEN=1 ctest --preset default -R GoldenFrame";

std::string Hex(std::uint32_t bgr) {  // as #RRGGBB
  char text[8];
  std::snprintf(text, sizeof(text), "#%02X%02X%02X", bgr & 0xFF, (bgr >> 8) & 0xFF,
                (bgr >> 16) & 0xFF);
  return text;
}

std::uint32_t DimmedGrey(std::uint32_t bgr) {
  const std::uint32_t sum = (bgr & 0xFF) + ((bgr >> 8) & 0xFF) + ((bgr >> 16) & 0xFF);
  const std::uint32_t grey = sum / 12;  // a quarter of the mean: never mistaken for red
  return grey | grey << 8 | grey << 16;
}

// `actual` against the PNG at `golden_path`, exactly.
::testing::AssertionResult MatchesGolden(const Image& actual, const std::string& golden_path,
                                         const std::string& out_dir, const std::string& name) {
  const char* update = std::getenv("ORVIX_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    if (!harness::WritePng(golden_path, actual.pixels.data(), actual.width, actual.height))
      return ::testing::AssertionFailure() << "cannot write " << golden_path;
    return ::testing::AssertionSuccess() << "updated " << golden_path;
  }

  fs::create_directories(out_dir);
  const std::string actual_path = out_dir + "/" + name + "-actual.png";
  const std::string diff_path = out_dir + "/" + name + "-diff.png";
  const auto fail = [&](const std::string& why) {
    harness::WritePng(actual_path, actual.pixels.data(), actual.width, actual.height);
    return ::testing::AssertionFailure() << why << "\n  actual frame: " << actual_path;
  };

  Image expected;
  if (!harness::LoadPng(golden_path, &expected))
    return fail("no golden frame " + golden_path + "; to make it: " + kRegenerate);
  if (expected.width != actual.width || expected.height != actual.height) {
    std::ostringstream why;
    why << name << ": the frame is " << actual.width << " x " << actual.height << ", the golden "
        << expected.width << " x " << expected.height;
    return fail(why.str());
  }

  std::vector<std::uint32_t> diff(expected.pixels.size());
  std::size_t differing = 0, first = 0;
  for (std::size_t i = 0; i < diff.size(); ++i) {
    const bool same = expected.pixels[i] == actual.pixels[i];
    if (!same && differing++ == 0) first = i;
    diff[i] = same ? DimmedGrey(expected.pixels[i]) : 0x0000FFu;
  }
  if (differing == 0) return ::testing::AssertionSuccess();

  harness::WritePng(diff_path, diff.data(), expected.width, expected.height);
  std::ostringstream why;
  why << name << ": " << differing << " of " << diff.size() << " pixels differ from " << golden_path
      << ", the first at (" << first % expected.width << ", " << first / expected.width
      << "): expected " << Hex(expected.pixels[first]) << ", got " << Hex(actual.pixels[first])
      << "\n  difference: " << diff_path << "\n  after a deliberate change: " << kRegenerate;
  return fail(why.str());
}

// Plays `frames` frames under the key script on the headless backend and
// compares the last one with tests/golden/NAME.png.
void ExpectScene(const std::string& name, int frames, const std::string& keys) {
  capture::KeyScript script;
  std::string error;
  ASSERT_TRUE(keys.empty() || capture::ParseKeyScript(keys, &script, &error)) << error;
  Image frame{512, 512, {}};
  ASSERT_EQ(capture::Play(frames, 0, script,
                          [&](int, const std::uint32_t* pixels) {
                            frame.pixels.assign(pixels, pixels + 512 * 512);
                          }),
            0);
  EXPECT_EQ(headless::FramesPresented(), frames);
  EXPECT_TRUE(MatchesGolden(frame, std::string(ORVIX_GOLDEN_DIR) + "/" + name + ".png",
                            harness::TestOutputDir(), name));
}

TEST(GoldenFrame, FirstFrame) { ExpectScene("first-frame", 1, ""); }

// 16 turns of 0.1 rad: the view swings past the corner onto the next wall.
TEST(GoldenFrame, TurningRightForSixteenFrames) { ExpectScene("turn-right-16", 16, "right:1-16"); }

// A third of a unit a frame from x = 0: the eye stops at 50 by frame 150,
// 5 units short of the wall it faces.
TEST(GoldenFrame, WalkingIntoTheWallAhead) { ExpectScene("wall-ahead", 160, "space:1-"); }

// Down for 20 frames would tilt 2 rad; the pitch stops at 0.49 pi.
TEST(GoldenFrame, LookingAtTheFloorAtThePitchLimit) {
  ExpectScene("floor-pitch-limit", 20, "down:1-");
}

// The comparison itself: a single pixel off at the far corner must fail and
// leave the actual frame and a difference image where the message says.
TEST(GoldenCompare, OnePixelOffFailsAndWritesTheDifference) {
  const std::string dir = harness::TestOutputDir();
  Image expected{4, 3, std::vector<std::uint32_t>(12, 0x00336699u)};
  const std::string golden_path = dir + "/expected.png";
  ASSERT_TRUE(harness::WritePng(golden_path, expected.pixels.data(), 4, 3));

  Image actual = expected;
  EXPECT_TRUE(MatchesGolden(actual, golden_path, dir, "same"));
  EXPECT_FALSE(fs::exists(dir + "/same-diff.png"));

  actual.pixels[11] = 0x00336698u;  // (3, 2), one step less red
  const ::testing::AssertionResult result = MatchesGolden(actual, golden_path, dir, "off");
  ASSERT_FALSE(result);
  const std::string message = result.message();
  EXPECT_NE(message.find("1 of 12 pixels differ"), std::string::npos) << message;
  EXPECT_NE(message.find("(3, 2): expected #996633, got #986633"), std::string::npos) << message;
  EXPECT_NE(message.find(dir + "/off-diff.png"), std::string::npos) << message;
  EXPECT_NE(message.find(dir + "/off-actual.png"), std::string::npos) << message;

  Image written, diff;
  ASSERT_TRUE(harness::LoadPng(dir + "/off-actual.png", &written));
  EXPECT_EQ(written.pixels, actual.pixels);
  ASSERT_TRUE(harness::LoadPng(dir + "/off-diff.png", &diff));
  ASSERT_EQ(diff.pixels.size(), 12u);
  EXPECT_EQ(diff.pixels[11], 0x0000FFu);
  // (0x99 + 0x66 + 0x33) / 12 = 25: same pixels are dim grey.
  EXPECT_EQ(diff.pixels[0], 0x00191919u);

  const ::testing::AssertionResult missing =
      MatchesGolden(actual, dir + "/none.png", dir, "missing");
  ASSERT_FALSE(missing);
  EXPECT_NE(std::string(missing.message()).find(kRegenerate), std::string::npos);
}

}  // namespace
