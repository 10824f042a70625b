// orvix-capture: the command line and key script, the PNG and GIF writers,
// and recordings. A recording runs once per process (the renderer keeps its
// scene in statics), so each in-process one has a TEST of its own, and tests
// that compare recordings run the program itself, once per recording.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_harness.h"
#include "platform/headless.h"

namespace {

namespace fs = std::filesystem;
using capture::KeyScript;
using harness::Image;

// ---- The command line ------------------------------------------------------

capture::Options Parse(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"orvix-capture"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  capture::Options options;
  std::string error;
  EXPECT_TRUE(capture::ParseArguments(static_cast<int>(argv.size()), argv.data(), &options, &error))
      << error;
  return options;
}

TEST(CaptureOptions, DefaultsAndBothSpellingsOfAValue) {
  const capture::Options defaults = Parse({"--out", "d"});
  EXPECT_EQ(defaults.frames, 90);
  EXPECT_EQ(defaults.start_tick, 0u);
  EXPECT_EQ(defaults.every, 1);
  EXPECT_TRUE(defaults.keys.holds.empty());
  EXPECT_TRUE(defaults.keys.taps.empty());
  EXPECT_EQ(defaults.gif_path, "");

  const capture::Options o = Parse({"--frames=108000", "--start-tick", "4294967295", "--every=7",
                                    "--gif", "a.gif", "--keys=space:3-"});
  EXPECT_EQ(o.frames, 108000);
  EXPECT_EQ(o.start_tick, 4294967295u);
  EXPECT_EQ(o.every, 7);
  EXPECT_EQ(o.gif_path, "a.gif");
  EXPECT_EQ(o.out_dir, "");
  EXPECT_TRUE(o.keys.Held(VK_SPACE, 108000));

  // --help ends the command line: what precedes it is checked, not what follows.
  EXPECT_TRUE(Parse({"--help", "--frames", "0"}).help);
  const char* const error_first[] = {"orvix-capture", "--frames", "0", "--help"};
  capture::Options unused;
  std::string error;
  EXPECT_FALSE(capture::ParseArguments(4, error_first, &unused, &error));
}

TEST(CaptureOptions, KeyScriptHoldsAndTaps) {
  KeyScript s;
  std::string error;
  ASSERT_TRUE(capture::ParseKeyScript(" right:1-15, space:20-,UP:7 ,tap:down@30", &s, &error))
      << error;
  EXPECT_FALSE(s.Held(VK_RIGHT, 0));
  EXPECT_TRUE(s.Held(VK_RIGHT, 1));
  EXPECT_TRUE(s.Held(VK_RIGHT, 15));
  EXPECT_FALSE(s.Held(VK_RIGHT, 16));
  EXPECT_FALSE(s.Held(VK_SPACE, 19));
  EXPECT_TRUE(s.Held(VK_SPACE, 20));
  EXPECT_TRUE(s.Held(VK_SPACE, capture::kMaxFrames));
  EXPECT_FALSE(s.Held(VK_UP, 6));
  EXPECT_TRUE(s.Held(VK_UP, 7));
  EXPECT_FALSE(s.Held(VK_UP, 8));
  EXPECT_TRUE(s.Tapped(VK_DOWN, 30));
  EXPECT_FALSE(s.Tapped(VK_DOWN, 29));
  EXPECT_FALSE(s.Held(VK_DOWN, 30));
  EXPECT_FALSE(s.Held(VK_LEFT, 10));

  // Touching is not overlapping; different keys may share frames.
  EXPECT_TRUE(capture::ParseKeyScript("left:1-5,left:6-9,tap:left@10", &s, &error)) << error;
  EXPECT_TRUE(s.Held(VK_LEFT, 5) && s.Held(VK_LEFT, 6) && s.Tapped(VK_LEFT, 10));
  EXPECT_TRUE(capture::ParseKeyScript("left:1-9,space:1-9,tap:up@5,tap:down@5", &s, &error))
      << error;
}

TEST(CaptureOptions, FrameFileNamesSortInFrameOrder) {
  EXPECT_EQ(capture::FrameFileName(1, 90), "frame-0001.png");
  EXPECT_EQ(capture::FrameFileName(9999, 9999), "frame-9999.png");
  EXPECT_EQ(capture::FrameFileName(7, 10000), "frame-00007.png");
  EXPECT_EQ(capture::FrameFileName(10000, 10000), "frame-10000.png");
  EXPECT_EQ(capture::FrameFileName(5, 108000), "frame-000005.png");
}

// Every bad command line: one line on stderr that names the problem, status
// 2, and nothing rendered or created.
TEST(CaptureBadInput, CommandLines) {
  const std::string dir = harness::TestOutputDir();
  const std::string never = dir + "/never";
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--frames", "0"}, "--frames: '0' is not a frame count from 1 to 108000"},
      {{"--frames", "-3"}, "--frames: '-3' is not a frame count"},
      {{"--frames", "108001"}, "--frames: '108001' is not a frame count"},
      {{"--frames=99999999999999999999999"}, "--frames: '99999999999999999999999'"},
      {{"--frames", "12x"}, "--frames: '12x'"},
      {{"--frames", "5", "--frames", "6"}, "--frames is given twice"},
      {{"--frames"}, "--frames needs a value"},
      {{"--gif="}, "--gif needs a value"},
      {{"--fps", "30"}, "unknown option '--fps'"},
      {{"--fps=30"}, "unknown option '--fps'"},
      {{"-f"}, "unexpected argument '-f'"},
      {{"frames"}, "unexpected argument 'frames'"},
      {{"--start-tick", "4294967296"}, "--start-tick: '4294967296' is not a tick count"},
      {{"--every", "0"}, "--every: '0' is not a number"},
      {{"--every", "91"}, "--every 91 keeps none of the 90 frames"},
      {{"--keys", " "}, "--keys needs a value"},
      {{"--keys", "rigth:1-5"}, "--keys: unknown key 'rigth' in 'rigth:1-5'"},
      {{"--keys", "tap:jump@3"}, "--keys: unknown key 'jump' in 'tap:jump@3'"},
      {{"--keys", "right"}, "--keys: 'right' is neither KEY:FRAMES nor tap:KEY@FRAME"},
      {{"--keys", "tap:up-3"}, "'tap:up-3': a tap is written tap:KEY@FRAME"},
      {{"--keys", "right:1-x"}, "'x' in 'right:1-x' is not a frame"},
      {{"--keys", "right:-5"}, "a frame number is missing in 'right:-5'"},
      {{"--keys", "tap:up@"}, "a frame number is missing in 'tap:up@'"},
      {{"--keys", "right:9-3"}, "'right:9-3' ends before it starts"},
      {{"--keys", "right:0-15"}, "frame 0 in 'right:0-15': frames count from 1"},
      {{"--keys", "right:1-5,,up:2"}, "empty entry"},
      {{"--keys", "right:1-5,"}, "empty entry"},
      {{"--keys", "right:1-5,right:5-9"},
       "'right:5-9' overlaps 'right:1-5' (both hold right at frame 5)"},
      {{"--keys", "right:30-,left:1-90,right:40"},
       "'right:40' overlaps 'right:30-' (both hold right at frame 40)"},
      {{"--keys", "up:1-10,tap:up@4"},
       "'tap:up@4' falls on a frame where 'up:1-10' already holds up"},
      {{"--keys", "tap:up@4,tap:UP@4"}, "taps up twice at frame 4"},
      {{"--keys", "right:91-95"}, "right at frame 91 is after the last frame (90)"},
      {{"--frames", "10", "--keys", "tap:up@11"},
       "the tap of up at frame 11 is after the last frame (10)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--out", never};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.message);
    const harness::Outcome run = harness::RunInProcess(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.find("orvix-capture: "), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;  // exactly one line
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(never));
  }

  const harness::Outcome nothing = harness::RunInProcess({"--frames", "3"});
  EXPECT_EQ(nothing.status, 2);
  EXPECT_EQ(nothing.err,
            "orvix-capture: nothing to write: give --out DIR, --gif FILE or both (see --help)\n");
  EXPECT_EQ(headless::FramesPresented(), 0);
}

// Outputs that cannot be made are bad input too: found before the first
// frame, with the path in the message.
TEST(CaptureBadInput, UnusableOutputs) {
  const std::string dir = harness::TestOutputDir();
  const std::string file = dir + "/file";
  std::ofstream(file) << "x";
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--out", file + "/sub"}, "cannot create folder " + file + "/sub: "},
      {{"--out", file}, file},
      {{"--out", "/proc"}, "cannot write in folder /proc: "},
      {{"--gif", dir + "/missing/a.gif"}, "cannot create " + dir + "/missing/a.gif: "},
      {{"--gif", dir}, "cannot create " + dir + ": "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const harness::Outcome run = harness::RunInProcess(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  }
  EXPECT_EQ(headless::FramesPresented(), 0);
  EXPECT_EQ(harness::ReadFile(file), "x");
}

TEST(CaptureHelp, GoesToStdoutAndRendersNothing) {
  for (const char* flag : {"--help", "-h"}) {
    const harness::Outcome run = harness::RunInProcess({flag});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, capture::Usage());
    EXPECT_EQ(run.err, "");
  }
  EXPECT_EQ(headless::FramesPresented(), 0);
}

// ---- Writers ---------------------------------------------------------------

TEST(CaptureGifDelay, FollowsTheFrameGridWithoutDrift) {
  // Frames start every 3.3 cs: 0, 3.3, 6.6, 9.9, 13.2, 16.5, ... rounded
  // 0, 3, 7, 10, 13, 17, 20, 23, 26, 30, 33.
  const int expected[10] = {3, 4, 3, 3, 4, 3, 3, 3, 4, 3};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(capture::GifDelay(i, 1), expected[i]) << i;
  // Every 2nd frame: 0, 6.6, 13.2, 19.8 -> 0, 7, 13, 20.
  EXPECT_EQ(capture::GifDelay(0, 2), 7);
  EXPECT_EQ(capture::GifDelay(1, 2), 6);
  EXPECT_EQ(capture::GifDelay(2, 2), 7);
  // An hour of frames plays for an hour of 33 ms frames, to the centisecond.
  long total = 0;
  for (int i = 0; i < 108000; ++i) total += capture::GifDelay(i, 1);
  EXPECT_EQ(total, 108000L * 33 / 10);
}

TEST(CapturePng, RoundTripsRedInTheLowByte) {
  const std::string dir = harness::TestOutputDir();
  // No symmetry, and red, green and blue each alone somewhere.
  const std::vector<std::uint32_t> pixels = {0x000000FFu, 0x0000FF00u, 0x00FF0000u,
                                             0x00123456u, 0x00FFFFFFu, 0x00000001u};
  std::string error;
  ASSERT_TRUE(capture::WritePng(dir + "/a.png", pixels.data(), 3, 2, &error)) << error;
  Image back;
  ASSERT_TRUE(harness::LoadPng(dir + "/a.png", &back));
  EXPECT_EQ(back.width, 3);
  EXPECT_EQ(back.height, 2);
  EXPECT_EQ(back.pixels, pixels);
  const std::string png = harness::ReadFile(dir + "/a.png");
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(static_cast<unsigned char>(png[25]), 2u);  // IHDR colour type: RGB, no alpha

  EXPECT_FALSE(capture::WritePng(dir + "/none/a.png", pixels.data(), 3, 2, &error));
  EXPECT_EQ(error, "cannot write " + dir + "/none/a.png: No such file or directory");
  // A full disk shows only when the buffered bytes are flushed at close.
  EXPECT_FALSE(capture::WritePng("/dev/full", pixels.data(), 3, 2, &error));
  EXPECT_EQ(error, "cannot write /dev/full: No space left on device");
}

// The whole GIF read back with giflib: size, frames, per-frame palette,
// delays and the loop.
struct GifContents {
  int width = 0, height = 0;
  std::vector<std::vector<std::uint32_t>> frames;
  std::vector<int> delays;
  bool loops_forever = false;
};

GifContents ReadGif(const std::string& path) {
  GifContents c;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (!gif) {
    ADD_FAILURE() << "cannot open " << path << ": " << GifErrorString(error);
    return c;
  }
  if (DGifSlurp(gif) != GIF_OK) ADD_FAILURE() << "cannot read " << path;
  c.width = gif->SWidth;
  c.height = gif->SHeight;
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    const ColorMapObject* map =
        image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
    std::vector<std::uint32_t> pixels;
    const int n = image.ImageDesc.Width * image.ImageDesc.Height;
    for (int p = 0; p < n; ++p) {
      const GifColorType& rgb = map->Colors[image.RasterBits[p]];
      pixels.push_back(std::uint32_t{rgb.Red} | std::uint32_t{rgb.Green} << 8 |
                       std::uint32_t{rgb.Blue} << 16);
    }
    c.frames.push_back(pixels);
    GraphicsControlBlock gcb;
    c.delays.push_back(DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK ? gcb.DelayTime : -1);
    if (i == 0) {
      for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
        const ExtensionBlock& app = image.ExtensionBlocks[e];
        const ExtensionBlock& data = image.ExtensionBlocks[e + 1];
        if (app.Function == APPLICATION_EXT_FUNC_CODE && app.ByteCount == 11 &&
            std::string(reinterpret_cast<const char*>(app.Bytes), 11) == "NETSCAPE2.0" &&
            data.ByteCount == 3 && data.Bytes[0] == 1 && data.Bytes[1] == 0 && data.Bytes[2] == 0)
          c.loops_forever = true;
      }
    }
  }
  DGifCloseFile(gif, &error);
  return c;
}

TEST(CaptureGif, UpTo256ColoursAreKeptExactlyWithDelaysAndLoop) {
  const std::string dir = harness::TestOutputDir();
  // Three colours with no symmetry, then 256 colours: a full palette.
  std::vector<std::uint32_t> a(16 * 16), b(16 * 16);
  for (std::uint32_t i = 0; i < a.size(); ++i) {
    a[i] = i % 3 == 0 ? 0x000000FFu : i % 3 == 1 ? 0x00FF0000u : 0x00102030u;
    b[i] = i | (255 - i) << 8 | ((i * 7) & 0xFF) << 16;  // red tells them apart
  }
  capture::GifWriter gif;
  std::string error;
  ASSERT_TRUE(gif.Open(dir + "/a.gif", 16, 16, &error)) << error;
  ASSERT_TRUE(gif.AddFrame(a.data(), 3, &error)) << error;
  ASSERT_TRUE(gif.AddFrame(b.data(), 4, &error)) << error;
  ASSERT_TRUE(gif.Finish(&error)) << error;

  const GifContents c = ReadGif(dir + "/a.gif");
  EXPECT_EQ(c.width, 16);
  EXPECT_EQ(c.height, 16);
  ASSERT_EQ(c.frames.size(), 2u);
  EXPECT_EQ(c.frames[0], a);
  EXPECT_EQ(c.frames[1], b);
  EXPECT_EQ(c.delays, (std::vector<int>{3, 4}));
  EXPECT_TRUE(c.loops_forever);
  EXPECT_EQ(harness::ReadFile(dir + "/a.gif").substr(0, 6), "GIF89a");
}

TEST(CaptureGif, ManyColoursGetTheNearestOfAQuantizedPalette) {
  const std::string dir = harness::TestOutputDir();
  // 4096 colours: a red/green ramp across, blue down.
  std::vector<std::uint32_t> ramp(64 * 64);
  for (std::uint32_t y = 0; y < 64; ++y)
    for (std::uint32_t x = 0; x < 64; ++x)
      ramp[y * 64 + x] = (x * 4) | (255 - x * 4) << 8 | (y * 4) << 16;
  capture::GifWriter gif;
  std::string error;
  ASSERT_TRUE(gif.Open(dir + "/ramp.gif", 64, 64, &error)) << error;
  ASSERT_TRUE(gif.AddFrame(ramp.data(), 3, &error)) << error;
  ASSERT_TRUE(gif.Finish(&error)) << error;

  const GifContents c = ReadGif(dir + "/ramp.gif");
  ASSERT_EQ(c.frames.size(), 1u);
  ASSERT_EQ(c.frames[0].size(), ramp.size());
  int worst = 0;
  long total = 0;
  for (std::size_t i = 0; i < ramp.size(); ++i) {
    for (int shift : {0, 8, 16}) {
      const int want = static_cast<int>((ramp[i] >> shift) & 0xFF);
      const int got = static_cast<int>((c.frames[0][i] >> shift) & 0xFF);
      worst = std::max(worst, std::abs(want - got));
      total += std::abs(want - got);
    }
  }
  // Median cut over 4096 colours into 256 boxes, after giflib's cut to 5
  // bits a channel: a few steps off on average, never a box away.
  EXPECT_LE(worst, 48);
  EXPECT_LE(total, 10L * 3 * 64 * 64);
}

TEST(CaptureGif, AWriteFailureIsReported) {
  std::vector<std::uint32_t> noise(64 * 64);
  std::uint32_t seed = 12345;
  for (std::uint32_t& p : noise) p = (seed = seed * 1103515245u + 12345u) >> 8;
  capture::GifWriter gif;
  std::string error;
  ASSERT_TRUE(gif.Open("/dev/full", 64, 64, &error)) << error;
  bool ok = true;
  for (int i = 0; i < 4 && ok; ++i) ok = gif.AddFrame(noise.data(), 3, &error);
  if (ok) ok = gif.Finish(&error);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error.find("cannot write /dev/full"), 0u) << error;
  EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
}

// ---- Recordings in this process: one per TEST -------------------------------

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CaptureRun, EveryKthFrameToPngsAndOneGifSilently) {
  const std::string dir = harness::TestOutputDir();
  const harness::Outcome run = harness::RunInProcess(
      {"--frames", "6", "--every", "2", "--out", dir + "/png", "--gif", dir + "/all.gif"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // no terminal, no progress
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(headless::FramesPresented(), 6);
  EXPECT_EQ(FilesIn(dir + "/png"),
            (std::vector<std::string>{"frame-0002.png", "frame-0004.png", "frame-0006.png"}));

  const GifContents gif = ReadGif(dir + "/all.gif");
  EXPECT_EQ(gif.width, 512);
  EXPECT_EQ(gif.height, 512);
  EXPECT_EQ(gif.delays, (std::vector<int>{7, 6, 7}));
  ASSERT_EQ(gif.frames.size(), 3u);
  // A flat-shaded frame has far fewer than 256 colours: the GIF is lossless.
  for (int i = 0; i < 3; ++i) {
    Image png;
    ASSERT_TRUE(harness::LoadPng(dir + "/png/" + capture::FrameFileName(2 * i + 2, 6), &png));
    EXPECT_EQ(gif.frames[i], png.pixels) << "frame " << 2 * i + 2;
  }
  EXPECT_NE(gif.frames[0], gif.frames[1]);  // the cube moves
}

TEST(CaptureRun, ProgressLineCountsFramesOnTheErrorStream) {
  const std::string dir = harness::TestOutputDir();
  const harness::Outcome run = harness::RunInProcess({"--frames", "3", "--out", dir}, true);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "\rorvix-capture: frame 1/3\rorvix-capture: frame 2/3\rorvix-capture: frame 3/3\n");
}

// The second frame's file is taken by a folder: the run names it, stops
// through the program's own exit path, and leaves no half GIF.
TEST(CaptureRun, AFailedWriteMidwayNamesTheFileAndStops) {
  const std::string dir = harness::TestOutputDir();
  fs::create_directories(dir + "/png/frame-0002.png");
  const harness::Outcome run =
      harness::RunInProcess({"--frames", "5", "--out", dir + "/png", "--gif", dir + "/all.gif"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "orvix-capture: cannot write " + dir + "/png/frame-0002.png: Is a directory\n");
  EXPECT_EQ(headless::FramesPresented(), 2);
  EXPECT_EQ(FilesIn(dir + "/png"), (std::vector<std::string>{"frame-0001.png", "frame-0002.png"}));
  EXPECT_FALSE(fs::exists(dir + "/all.gif"));
}

TEST(CaptureRun, OneRecordingPerProcess) {
  const std::string dir = harness::TestOutputDir();
  ASSERT_EQ(harness::RunInProcess({"--frames", "1", "--out", dir + "/a"}).status, 0);
  const harness::Outcome again = harness::RunInProcess({"--frames", "1", "--out", dir + "/b"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("one recording per process"), std::string::npos) << again.err;
  EXPECT_EQ(headless::FramesPresented(), 1);
}

// ---- Recordings compared: the program, once per recording ------------------

// Runs the program into DIR/NAME and returns its frames.
std::vector<Image> Record(const std::string& dir, const std::string& name,
                          std::vector<std::string> args) {
  const std::string out = dir + "/" + name;
  args.insert(args.end(), {"--out", out});
  const harness::Outcome run = harness::RunProgram(args, dir);
  EXPECT_EQ(run.status, 0) << name << ": " << run.err;
  EXPECT_EQ(run.err, "") << name;
  std::vector<Image> frames;
  for (const std::string& file : FilesIn(out)) {
    frames.emplace_back();
    EXPECT_TRUE(harness::LoadPng(out + "/" + file, &frames.back())) << file;
  }
  return frames;
}

bool Same(const Image& a, const Image& b) { return a.pixels == b.pixels; }

TEST(CaptureProgram, SameCommandSameBytes) {
  const std::string dir = harness::TestOutputDir();
  for (const char* name : {"a", "b"}) {
    const harness::Outcome run =
        harness::RunProgram({"--frames", "4", "--keys", "right:2-3,tap:up@3,space:1-", "--out",
                             dir + "/" + name, "--gif", dir + "/" + name + ".gif"},
                            dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");
  }
  ASSERT_EQ(FilesIn(dir + "/a").size(), 4u);
  EXPECT_EQ(FilesIn(dir + "/a"), FilesIn(dir + "/b"));
  for (const std::string& file : FilesIn(dir + "/a"))
    EXPECT_EQ(harness::ReadFile(dir + "/a/" + file), harness::ReadFile(dir + "/b/" + file)) << file;
  EXPECT_EQ(harness::ReadFile(dir + "/a.gif"), harness::ReadFile(dir + "/b.gif"));
}

TEST(CaptureProgram, ReportsBadInputAndHelpThroughItsExitStatus) {
  const std::string dir = harness::TestOutputDir();
  const harness::Outcome bad = harness::RunProgram({"--out", dir, "--keys", "jump:1"}, dir);
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err,
            "orvix-capture: --keys: unknown key 'jump' in 'jump:1' (keys: left, right, up, down, "
            "space)\n");
  EXPECT_EQ(bad.out, "");
  const harness::Outcome help = harness::RunProgram({"--help"}, dir);
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, capture::Usage());
  EXPECT_EQ(help.err, "");
}

// A tap before frame 2 turns the view once, in frame 2, exactly as holding
// the key for frame 2 alone does; frame 1 is untouched.
TEST(CaptureProgram, ATapCountsOnceInItsFrame) {
  const std::string dir = harness::TestOutputDir();
  const std::vector<Image> still = Record(dir, "still", {"--frames", "3"});
  const std::vector<Image> tap = Record(dir, "tap", {"--frames", "3", "--keys", "tap:right@2"});
  const std::vector<Image> hold = Record(dir, "hold", {"--frames", "3", "--keys", "right:2"});
  ASSERT_EQ(still.size(), 3u);
  ASSERT_EQ(tap.size(), 3u);
  ASSERT_EQ(hold.size(), 3u);
  EXPECT_TRUE(Same(tap[0], still[0]));
  EXPECT_FALSE(Same(tap[1], still[1]));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Same(tap[i], hold[i])) << "frame " << i + 1;
}

// Frame 1 of a hold from frame 1 is already turned: keys are set before
// WinMain runs.
TEST(CaptureProgram, KeysForTheFirstFrameAreDownBeforeIt) {
  const std::string dir = harness::TestOutputDir();
  const std::vector<Image> still = Record(dir, "still", {"--frames", "1"});
  const std::vector<Image> left = Record(dir, "left", {"--frames", "1", "--keys", "left:1"});
  ASSERT_EQ(still.size(), 1u);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_FALSE(Same(still[0], left[0]));
}

// The cube's spin follows the tick count, one turn every 2000 ms; all else
// steps per frame. So a start 2000 ms later draws the same frames and one an
// eighth of a turn later does not (by frame 10 the cube has drifted off the
// eye and is seen).
TEST(CaptureProgram, StartTickSetsTheClock) {
  const std::string dir = harness::TestOutputDir();
  const std::vector<std::string> tenth = {"--frames", "10", "--every", "10"};
  const auto with_start = [&](const char* tick) {
    std::vector<std::string> args = tenth;
    args.insert(args.end(), {"--start-tick", tick});
    return Record(dir, std::string("t") + tick, args);
  };
  const std::vector<Image> t0 = Record(dir, "t0", tenth);
  const std::vector<Image> t2000 = with_start("2000");
  const std::vector<Image> t250 = with_start("250");
  ASSERT_EQ(t0.size(), 1u);
  ASSERT_EQ(t2000.size(), 1u);
  ASSERT_EQ(t250.size(), 1u);
  EXPECT_TRUE(Same(t0[0], t2000[0]));
  EXPECT_FALSE(Same(t0[0], t250[0]));
}

}  // namespace
