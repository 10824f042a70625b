// orvix-capture: the command line and key script, the PNG and GIF writers,
// and recordings. A recording runs once per process (the renderer keeps its
// scene in statics), so each in-process one has a TEST of its own, and tests
// that compare recordings run the program itself, once per recording.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stb_image.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "capture/outputs.h"
#include "capture_harness.h"
#include "platform/headless.h"
#include "test_surface.h"
#include "workloads.h"

namespace {

namespace fs = std::filesystem;
using harness::Image;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#ifndef ORVIX_CAPTURE_EMULATOR
#define ORVIX_CAPTURE_EMULATOR ""
#endif
constexpr bool kEmulated = sizeof(ORVIX_CAPTURE_EMULATOR) > 1;

struct Outcome {
  int status;  // the exit status, or minus the signal that ended the program
  std::string out, err;
};

// capture::Main in this process: one recording per process.
Outcome RunInProcess(const std::vector<std::string>& args, bool progress = false) {
  std::vector<const char*> argv = {"orvix-capture"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const int status = capture::Main(static_cast<int>(argv.size()), argv.data(), out, err, progress);
  return {status, out.str(), err.str()};
}

std::string ReadFile(const std::string& path) {  // empty when the file is missing
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

// The program started in a process of its own, in folder `cwd`, with
// stdout and stderr in `logs`/stdout.txt and stderr.txt (so stderr is not a
// terminal); `in_child` runs after those are set up and before exec (to
// change a limit, a stream or the working folder). In a cross build, under
// the emulator, as ctest runs the tests (through a shell that execs it, so
// that the pid is the program's). Returns the pid.
pid_t Spawn(const std::vector<std::string>& args, const std::string& cwd, const std::string& logs,
            const std::function<void()>& in_child = nullptr) {
  std::vector<const char*> argv = {ORVIX_CAPTURE_BINARY};
  if (kEmulated)
    argv = {"/bin/sh", "-c", "exec " ORVIX_CAPTURE_EMULATOR "\"$0\" \"$@\"", ORVIX_CAPTURE_BINARY};
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  const std::string out = logs + "/stdout.txt", err = logs + "/stderr.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || chdir(cwd.c_str()) != 0) _exit(126);
    close(o);
    close(e);
    if (in_child) in_child();
    execv(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  return pid;
}

// Waits for a spawned program. Under an emulator, stderr without the lines
// that qemu ("qemu: uncaught target signal ...") and the shell that starts it
// ("sh: 0: getcwd() failed") print themselves: they are not the program's.
Outcome Finish(pid_t pid, const std::string& logs) {
  int raw = 0;
  waitpid(pid, &raw, 0);
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? -WTERMSIG(raw) : -999;
  std::istringstream lines(ReadFile(logs + "/stderr.txt"));
  std::string err;
  for (std::string line; std::getline(lines, line);)
    if (!kEmulated || (line.rfind("qemu: ", 0) != 0 && line.rfind("sh: ", 0) != 0))
      err += line + (lines.eof() ? "" : "\n");
  return {status, ReadFile(logs + "/stdout.txt"), err};
}

// In a child before exec: a step that must not fail.
void Must(bool ok) {
  if (!ok) _exit(126);
}

Outcome RunProgram(const std::vector<std::string>& args, const std::string& logs) {
  return Finish(Spawn(args, ".", logs), logs);
}

std::vector<std::string> FilesIn(const std::string& dir) {  // sorted
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The number of files in `dir` (none when it is missing), each a frame file
// that is whole: it ends with its IEND chunk. No temporary file either.
int WholeFramesIn(const std::string& dir) {
  if (!fs::exists(dir)) return 0;
  const std::string iend("IEND\xAE\x42\x60\x82", 8);
  const std::vector<std::string> names = FilesIn(dir);
  for (const std::string& name : names) {
    EXPECT_TRUE(capture::IsFrameFileName(name)) << dir << "/" << name;
    const std::string png = ReadFile(dir + "/" + name);
    EXPECT_TRUE(png.size() > iend.size() && png.compare(png.size() - 8, 8, iend) == 0) << name;
  }
  return static_cast<int>(names.size());
}

// ---- The command line ------------------------------------------------------

TEST(CaptureOptions, DefaultsBothSpellingsAndHelp) {
  capture::Options o;
  std::string error;
  const char* const defaults[] = {"orvix-capture", "--out", "d"};
  ASSERT_TRUE(capture::ParseArguments(3, defaults, &o, &error)) << error;
  EXPECT_EQ(o.frames, 90);
  EXPECT_EQ(o.start_tick, 0u);
  EXPECT_EQ(o.every, 1);
  EXPECT_TRUE(o.keys.entries.empty() && o.gif_path.empty() && !o.force);

  // --every 19859: the longest GIF frame, 65535 cs; 19860 is refused below.
  const char* const all[] = {"orvix-capture", "--frames=108000", "--start-tick",
                             "4294967295",    "--every=19859",   "--gif",
                             "a.gif",         "--force",         "--keys=space:3-"};
  ASSERT_TRUE(capture::ParseArguments(9, all, &o, &error)) << error;
  EXPECT_EQ(o.frames, 108000);
  EXPECT_EQ(o.start_tick, 4294967295u);
  EXPECT_EQ(o.every, 19859);
  EXPECT_TRUE(o.force);
  EXPECT_EQ(o.gif_path, "a.gif");
  EXPECT_EQ(o.out_dir, "");
  EXPECT_TRUE(o.keys.Held(VK_SPACE, 108000));

  // --help anywhere wins over everything else on the line, an option's value
  // included; nothing else is checked.
  const char* const help_last[] = {"orvix-capture", "--frames", "0", "--version", "--gif", "-h"};
  ASSERT_TRUE(capture::ParseArguments(6, help_last, &o, &error)) << error;
  EXPECT_TRUE(o.help);
  EXPECT_FALSE(o.version);

  // Every option --help describes is one the parser reads (usage.txt and
  // the option table are kept apart).
  std::istringstream usage(capture::Usage());
  int described = 0;
  for (std::string line; std::getline(usage, line);) {
    if (line.rfind("  --", 0) != 0) continue;
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    const char* const one[] = {"orvix-capture", name.c_str(), "1"};
    capture::ParseArguments(3, one, &o, &error);
    EXPECT_EQ(error.find("unknown option"), std::string::npos) << error;
    ++described;
  }
  EXPECT_EQ(described, 10);  // nine options and --version
}

TEST(CaptureOptions, KeyScriptHoldsAndTaps) {
  capture::KeyScript s;
  std::string error;
  ASSERT_TRUE(capture::ParseKeyScript(" right:1-15, space:20-,UP:7 ,TAP:down@30", &s, &error))
      << error;
  struct Probe {
    int vk, frame;
    bool held, tapped;
  };
  const Probe probes[] = {
      {VK_RIGHT, 0, false, false},     {VK_RIGHT, 1, true, false},   {VK_RIGHT, 15, true, false},
      {VK_RIGHT, 16, false, false},    {VK_SPACE, 19, false, false}, {VK_SPACE, 20, true, false},
      {VK_SPACE, 108000, true, false}, {VK_UP, 6, false, false},     {VK_UP, 7, true, false},
      {VK_UP, 8, false, false},        {VK_DOWN, 29, false, false},  {VK_DOWN, 30, false, true},
      {VK_LEFT, 10, false, false},
  };
  for (const Probe& p : probes) {
    EXPECT_EQ(s.Held(p.vk, p.frame), p.held) << p.vk << " at " << p.frame;
    EXPECT_EQ(s.Tapped(p.vk, p.frame), p.tapped) << p.vk << " at " << p.frame;
  }
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
  EXPECT_EQ(capture::FrameFileName(5, 108000), "frame-000005.png");
}

// Every bad command line: one line on stderr that names the problem, status
// 2, and nothing rendered or created.
TEST(CaptureBadInput, CommandLines) {
  const std::string never = harness::TestOutputDir() + "/never";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--frames", "0"}, "--frames: '0' is not a frame count from 1 to 108000"},
      {{"--frames", "-3"}, "--frames: '-3' is not a frame count"},
      {{"--frames", "108001"}, "--frames: '108001' is not a frame count"},
      {{"--frames=99999999999999999999999"}, "--frames: '99999999999999999999999'"},
      {{"--frames", "5", "--frames", "6"}, "--frames is given twice"},
      {{"--frames"}, "--frames needs a value"},
      {{"--gif="}, "--gif needs a value"},
      {{"--fps", "30"}, "unknown option '--fps'"},
      {{"-f"}, "unexpected argument '-f'"},
      {{"frames"}, "unexpected argument 'frames'"},
      {{"--start-tick", "4294967296"}, "--start-tick: '4294967296' is not a tick count"},
      {{"--every", "0"}, "--every: '0' is not a number"},
      {{"--every", "91"}, "--every 91 keeps none of the 90 frames"},
      {{"--frames", "40000", "--every", "19860", "--gif", never + "/a.gif"},
       "--every 19860: a frame of the GIF would show for 655.38 s, longer than the 655.35 s a "
       "GIF frame can last"},
      {{"--force=yes"}, "--force takes no value"},
      {{"--keys", " "}, "--keys needs a value"},
      {{"--keys", "rigth:1-5"}, "--keys: unknown key 'rigth' in 'rigth:1-5'"},
      {{"--keys", "tap:jump@3"}, "--keys: unknown key 'jump' in 'tap:jump@3'"},
      {{"--keys", "right"}, "--keys: 'right' is neither KEY:FRAMES nor tap:KEY@FRAME"},
      {{"--keys", "tap:up-3"}, "'tap:up-3': a tap is written tap:KEY@FRAME"},
      {{"--keys", "right:1-x"}, "'x' in 'right:1-x' is not a frame"},
      {{"--keys", "right:-5"}, "a frame number is missing in 'right:-5'"},
      {{"--keys", "right:9-3"}, "'right:9-3' ends before it starts"},
      {{"--keys", "right:0-15"}, "frame 0 in 'right:0-15': frames count from 1"},
      {{"--keys", "right:1-5,,up:2"}, "empty entry"},
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
      {{"--build-up", "0"}, "--build-up: '0' is not a number of polygons from 1 to 606"},
      {{"--build-up", "607"}, "--build-up: '607' is not a number of polygons"},
      {{"--build-up", "5", "--build-up", "6"}, "--build-up is given twice"},
      {{"--build-up", "5", "--every", "1"}, "--every does not go with it"},
  };
  for (const auto& [case_args, message] : cases) {
    std::vector<std::string> args = {"--out", never};
    args.insert(args.end(), case_args.begin(), case_args.end());
    const Outcome run = RunInProcess(args);
    EXPECT_EQ(run.status, 2) << message;
    EXPECT_EQ(run.err.find("orvix-capture: "), 0u) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;  // exactly one line
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(never)) << message;
  }
  const Outcome nothing = RunInProcess({"--frames", "3"});
  EXPECT_EQ(nothing.status, 2);
  EXPECT_EQ(nothing.err,
            "orvix-capture: nothing to write: give --out DIR, --gif FILE or --trace FILE (see "
            "--help)\n");
  EXPECT_EQ(headless::FramesPresented(), 0);
}

// Outputs that cannot be made, or that clash, are bad input too: found before
// the first frame and before anything is created, with the path in the
// message.
TEST(CaptureBadInput, UnusableOutputs) {
  const std::string dir = harness::TestOutputDir();
  const std::string file = dir + "/file";
  std::ofstream(file) << "x";
  const std::string old = dir + "/old";  // a folder with a frame of an earlier recording
  fs::create_directories(old);
  std::ofstream(old + "/frame-10000.png") << "x";
  fs::create_symlink("loop", dir + "/loop");
  const std::string fresh = dir + "/new/a/b";  // never to be created
  // A frame name taken by a folder: --force could not remove it, so it
  // removes nothing.
  const std::string taken = dir + "/taken";
  fs::create_directories(taken + "/frame-0002.png");
  std::ofstream(taken + "/frame-0001.png") << "x";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--out", file + "/sub"}, "cannot create folder '" + file + "/sub': Not a directory"},
      {{"--out", file}, "'" + file + "' is not a folder"},
      {{"--out", "/proc"}, "cannot write in folder '/proc': "},
      {{"--out", old},
       "'" + old + "' already holds a frame file, frame-10000.png; --force removes the frame"},
      {{"--gif", dir}, "cannot create '" + dir + "': Is a directory"},
      {{"--out", fresh, "--gif", dir + "/missing/a.gif"},
       "cannot create '" + dir + "/missing/a.gif': No such file or directory"},
      {{"--out", fresh, "--frames", "2", "--gif", dir + "/new/a/b/frame-0002.png"},
       "is named like a frame file of --out '" + fresh + "'"},
      {{"--out", fresh, "--gif", dir + "/new"},
       "--gif '" + dir + "/new' is a folder on the path of --out '" + fresh + "'"},
      // A path stays on the message's one line, whatever it holds.
      {{"--out", file + "/a\nb'\x01\\"},
       "cannot create folder '" + file + "/a\\nb\\'\\x01\\\\': Not a directory"},
      // The folders made before the last one failed are removed again.
      {{"--out", dir + "/made/" + std::string(300, 'x')}, "': File name too long"},
      // Through a link that loops, nothing can be made.
      {{"--gif", dir + "/loop"}, "cannot create '" + dir + "/loop': Too many levels"},
      // Descriptors that cannot be written: a closed one, standard input.
      {{"--gif", "/dev/fd/999"}, "cannot create '/dev/fd/999': Bad file descriptor"},
      {{"--gif", "/proc/self/fd/0"}, "cannot create '/proc/self/fd/0': Bad file descriptor"},
      {{"--out", taken, "--force"}, "cannot remove '" + taken + "/frame-0002.png': Is a directory"},
      {{"--out", taken}, "'" + taken + "' already holds 2 frame files, frame-0001.png to"},
      {{"--trace", dir + "/missing/t.jsonl"},
       "cannot create '" + dir + "/missing/t.jsonl': No such file or directory"},
      {{"--gif", dir + "/a", "--trace", dir + "/./a"}, "--gif and --trace name the same file"},
  };
  for (const auto& [args, message] : cases) {
    const Outcome run = RunInProcess(args);
    EXPECT_EQ(run.status, 2) << message;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  }
  EXPECT_EQ(headless::FramesPresented(), 0);
  // Nothing made, nothing removed, no probe file left.
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"file", "loop", "old", "taken"}));
  EXPECT_EQ(FilesIn(old), std::vector<std::string>{"frame-10000.png"});
  EXPECT_EQ(FilesIn(taken), (std::vector<std::string>{"frame-0001.png", "frame-0002.png"}));
  EXPECT_EQ(ReadFile(file), "x");
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
  ASSERT_TRUE(harness::WritePng(dir + "/a.png", pixels.data(), 3, 2));
  Image back;
  ASSERT_TRUE(harness::LoadPng(dir + "/a.png", &back));
  EXPECT_EQ(back.width, 3);
  EXPECT_EQ(back.height, 2);
  EXPECT_EQ(back.pixels, pixels);
  EXPECT_EQ(ReadFile(dir + "/a.png")[25], 2);  // IHDR colour type: RGB, no alpha
}

// A GIF read back: its frames as a viewer shows them, their delays in cs, and
// whether it loops forever (a NETSCAPE2.0 block with a loop count of 0).
struct Gif {
  int width = 0, height = 0;
  std::vector<std::vector<std::uint32_t>> frames;  // 0x00BBGGRR
  std::vector<int> delays;
  bool loops_forever = false;
};

Gif ReadGif(const std::string& path) {
  const std::string bytes = ReadFile(path);
  Gif gif;
  int* delays = nullptr;
  int count = 0, channels = 0;
  unsigned char* rgb = stbi_load_gif_from_memory(
      reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()), &delays,
      &gif.width, &gif.height, &count, &channels, 3);
  EXPECT_NE(rgb, nullptr) << "cannot read " << path;
  const std::size_t size = std::size_t(gif.width) * gif.height;
  for (int i = 0; rgb && i < count; ++i) {
    gif.frames.push_back(harness::Pixels(rgb + 3 * size * i, size));
    gif.delays.push_back(delays[i] / 10);  // stb_image gives them in ms
  }
  stbi_image_free(rgb);
  stbi_image_free(delays);
  gif.loops_forever = bytes.find(std::string("NETSCAPE2.0\3\1\0\0", 15)) != std::string::npos;
  return gif;
}

// Square frames of `side` pixels to a GIF at `path`, shown 3, 4, 5, ... cs:
// the first error, or none.
std::string WriteGif(const std::string& path, int side,
                     const std::vector<std::vector<std::uint32_t>>& frames) {
  capture::GifWriter gif;
  std::string error;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = gif.Open(file, side, side, &error);
  for (std::size_t i = 0; ok && i < frames.size(); ++i)
    ok = gif.AddFrame(frames[i].data(), 3 + static_cast<int>(i), &error);
  if (ok) gif.Finish(&error);
  std::fclose(file);
  return error;
}

// Up to 256 colours a frame are kept exactly. More go through giflib's median
// cut (after its cut to 5 bits a channel): each pixel gets a colour a few
// steps from its own.
TEST(CaptureGif, KeepsUpTo256ColoursExactlyAndNearColoursBeyondWithDelaysAndLoop) {
  const std::string dir = harness::TestOutputDir();
  // Three colours with no symmetry; 256 colours, a full palette; 4096.
  std::vector<std::uint32_t> three(64 * 64), full(64 * 64), ramp(64 * 64);
  for (std::uint32_t i = 0; i < three.size(); ++i) {
    three[i] = i % 3 == 0 ? 0x000000FFu : i % 3 == 1 ? 0x00FF0000u : 0x00102030u;
    const std::uint32_t c = i % 256;
    full[i] = c | (255 - c) << 8 | ((c * 7) & 0xFF) << 16;  // red tells them apart
    ramp[i] = (i % 64) * 4 | (255 - (i % 64) * 4) << 8 | (i / 64 * 4) << 16;
  }
  ASSERT_EQ(WriteGif(dir + "/a.gif", 64, {three, full, ramp}), "");

  const Gif gif = ReadGif(dir + "/a.gif");
  EXPECT_EQ(gif.width, 64);
  EXPECT_EQ(gif.height, 64);
  ASSERT_EQ(gif.frames.size(), 3u);
  EXPECT_EQ(gif.frames[0], three);
  EXPECT_EQ(gif.frames[1], full);
  EXPECT_EQ(gif.delays, (std::vector<int>{3, 4, 5}));
  EXPECT_TRUE(gif.loops_forever);
  EXPECT_EQ(ReadFile(dir + "/a.gif").substr(0, 6), "GIF89a");
  long total = 0;
  for (std::size_t i = 0; i < ramp.size(); ++i)
    for (int shift : {0, 8, 16})
      total += std::abs(static_cast<int>((ramp[i] >> shift) & 0xFF) -
                        static_cast<int>((gif.frames[2][i] >> shift) & 0xFF));
  EXPECT_LE(total, 10L * 3 * 64 * 64);
}

TEST(CaptureGif, AWriteFailureIsReported) {
  std::vector<std::uint32_t> noise(64 * 64);
  std::uint32_t seed = 12345;
  for (std::uint32_t& p : noise) p = (seed = seed * 1103515245u + 12345u) >> 8;
  const std::string error = WriteGif("/dev/full", 64, {noise, noise, noise, noise});
  // What failed and why, for the recorder to put after the file's name.
  EXPECT_TRUE(error.rfind(" (", 0) == 0 || error.rfind(": ", 0) == 0) << error;
  EXPECT_NE(error.find(": No space left on device"), std::string::npos) << error;
}

// ---- Recordings in this process: one per TEST -------------------------------

// Over the files of an earlier, longer recording: --force removes its frames
// and nothing else, and the GIF is replaced.
TEST(CaptureRun, EveryKthFrameToPngsAndOneGifSilently) {
  const std::string dir = harness::TestOutputDir();
  fs::create_directories(dir + "/png");
  for (const char* name : {"frame-0001.png", "frame-10000.png", "frame-x.png", "notes.txt"})
    std::ofstream(dir + "/png/" + name) << "old";
  std::ofstream(dir + "/all.gif") << "old";
  const Outcome run = RunInProcess({"--frames", "6", "--every", "2", "--out", dir + "/png", "--gif",
                                    dir + "/all.gif", "--force"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err + run.out, "");  // no terminal, no progress
  EXPECT_EQ(headless::FramesPresented(), 6);
  EXPECT_EQ(FilesIn(dir + "/png"),
            (std::vector<std::string>{"frame-0002.png", "frame-0004.png", "frame-0006.png",
                                      "frame-x.png", "notes.txt"}));
  // The mode fopen would have given them, not the temporary file's 0600.
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(fs::status(dir + "/png/frame-0002.png").permissions(), fs::perms(0666 & ~mask));

  const Gif gif = ReadGif(dir + "/all.gif");
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

// On a terminal a line counts the frames on the error stream; a second
// recording in the same process is refused.
TEST(CaptureRun, ProgressLineAndOneRecordingPerProcess) {
  const std::string dir = harness::TestOutputDir();
  const Outcome run = RunInProcess({"--frames", "3", "--out", dir + "/a"}, true);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "\rorvix-capture: frame 1/3\rorvix-capture: frame 2/3\rorvix-capture: frame 3/3\n");
  const Outcome again = RunInProcess({"--frames", "1", "--out", dir + "/b"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("one recording per process"), std::string::npos) << again.err;
  EXPECT_EQ(headless::FramesPresented(), 3);
}

// ---- --build-up: one frame as it is painted ---------------------------------

// The first frame as it is painted: the clear, the back buffer after every
// `step` of its Polygon calls, then the whole frame, to PNGs and to the GIF.
// The step divides the frame's polygons, so that the last step ends with the
// frame, which is kept once all the same. Expected: the frame's polygons,
// recorded in this process, replayed onto a cleared surface.
TEST(CaptureBuildUp, KeepsTheClearEveryStepAndTheWholeFrame) {
  const support::PolygonList& frame = support::RecordedFrames().first;
  const int painted = static_cast<int>(frame.size());
  int step = 7;
  while (painted % step != 0) ++step;
  ASSERT_LT(step, painted / 10);
  const std::string dir = harness::TestOutputDir();
  const Outcome run = RunProgram({"--frames", "1", "--build-up", std::to_string(step), "--out",
                                  dir + "/png", "--gif", dir + "/b.gif"},
                                 dir);
  ASSERT_EQ(run.status, 0) << run.err;

  const int images = painted / step + 1;
  std::vector<std::string> names;
  for (int i = 1; i <= images; ++i) names.push_back(capture::FrameFileName(i, 9999));
  ASSERT_EQ(FilesIn(dir + "/png"), names);

  const Gif gif = ReadGif(dir + "/b.gif");
  ASSERT_EQ(gif.frames.size(), names.size());

  support::BufferSurface expected(512, 512);
  support::Clear(expected.dc(), 512, 512);
  int replayed = 0;
  for (int i = 0; i < images; ++i) {
    for (; replayed < step * i; ++replayed) {
      support::PolygonList one;
      const support::PolygonList::Item& item = frame.items[replayed];
      one.Add(frame.Points(item), item.count, item.color);
      support::FillThroughGdi(expected.dc(), one);
    }
    Image png;
    ASSERT_TRUE(harness::LoadPng(dir + "/png/" + names[i], &png));
    EXPECT_EQ(png.pixels, expected.buffer()) << names[i] << ": after " << replayed << " polygons";
    EXPECT_EQ(gif.frames[i], png.pixels) << names[i];
    // The clear shows for 50 cs, each step for 5, the whole frame for 300.
    EXPECT_EQ(gif.delays[i], i == 0 ? 50 : i + 1 < images ? 5 : 300) << names[i];
  }
}

// --frames picks the frame: the last image is that frame as it is recorded
// whole (the golden one), and with a step as large as the frame, the clear
// is the only other image.
TEST(CaptureBuildUp, TheLastImageIsTheFrameRecordedWhole) {
  const std::string dir = harness::TestOutputDir();
  const Outcome run =
      RunInProcess({"--frames", "16", "--keys", "right:1-16", "--build-up", "606", "--out", dir});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(FilesIn(dir), (std::vector<std::string>{"frame-0001.png", "frame-0002.png"}));
  Image clear, whole, golden;
  ASSERT_TRUE(harness::LoadPng(dir + "/frame-0001.png", &clear));
  ASSERT_TRUE(harness::LoadPng(dir + "/frame-0002.png", &whole));
  ASSERT_TRUE(harness::LoadPng(std::string(ORVIX_GOLDEN_DIR) + "/turn-right-16.png", &golden));
  EXPECT_EQ(clear.pixels, std::vector<std::uint32_t>(512 * 512, 0));
  EXPECT_EQ(whole.pixels, golden.pixels);
}

// ---- Recordings compared: the program, once per recording ------------------

TEST(CaptureProgram, SameCommandSameBytes) {
  const std::string dir = harness::TestOutputDir();
  for (const std::string name : {"a", "b"}) {
    const Outcome run = RunProgram(
        {"--frames", "3", "--keys", "right:2-3,tap:up@3,space:1-", "--out", dir + "/" + name,
         "--gif", dir + "/" + name + ".gif", "--trace", dir + "/" + name + ".jsonl"},
        dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err + run.out, "");
  }
  ASSERT_EQ(FilesIn(dir + "/a").size(), 3u);
  EXPECT_EQ(FilesIn(dir + "/a"), FilesIn(dir + "/b"));
  for (const std::string& file : FilesIn(dir + "/a"))
    EXPECT_EQ(ReadFile(dir + "/a/" + file), ReadFile(dir + "/b/" + file)) << file;
  EXPECT_EQ(ReadFile(dir + "/a.gif"), ReadFile(dir + "/b.gif"));

  // The trace: every line JSON, a frame line then 606 call lines (six faces
  // of 10 x 10 tiles and the cube's six) per frame, the frames numbered as
  // the files are. The clock: frame 1 at 0; GameLoop's grid restarts after
  // it (its 1 ms present leaves it late), so frame 2 is at 1 and frame 3 a
  // frame time later, at 34.
  const std::string trace = ReadFile(dir + "/a.jsonl");
  EXPECT_EQ(trace, ReadFile(dir + "/b.jsonl"));
  const std::string check =
      "python3 -c 'import json,sys\nfor l in open(sys.argv[1]): json.loads(l)' " + dir + "/a.jsonl";
  EXPECT_EQ(std::system(check.c_str()), 0) << check;
  EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 3 * 607);
  std::vector<std::string> frame_lines;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("{\"type\":\"frame\"", 0) == 0)
      frame_lines.push_back(line.substr(0, line.find(",\"eye\"")));
  EXPECT_EQ(
      frame_lines,
      (std::vector<std::string>{
          R"({"type":"frame","version":1,"frame":1,"tick":0,"keys":["space"])",
          R"({"type":"frame","version":1,"frame":2,"tick":1,"keys":["right","space"])",
          R"({"type":"frame","version":1,"frame":3,"tick":34,"keys":["right","tap:up","space"])"}));
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), {}};
}

// A working folder whose absolute path is longer than PATH_MAX: 20 folders of
// 250 characters below `dir`, made or only opened. Its descriptor.
int OpenDeep(const std::string& dir, bool make) {
  const std::string name(250, 'l');
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < 20 && fd >= 0; ++i) {
    if (make) mkdirat(fd, name.c_str(), 0755);
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  return fd;
}

std::vector<std::string> FilesDeep(const std::string& dir) {  // through the descriptor
  const int fd = OpenDeep(dir, false);
  const std::vector<std::string> names = FilesIn("/proc/self/fd/" + std::to_string(fd));
  close(fd);
  return names;
}

// Whether the user nobody can enter and write `dir`, every folder above it
// included: the sticky-folder cases act as nobody.
bool NobodyReaches(const std::string& dir) {
  const pid_t pid = fork();
  if (pid == 0) _exit(setgid(65534) || setuid(65534) || access(dir.c_str(), W_OK | X_OK));
  int status = 1;  // as well when the fork failed
  waitpid(pid, &status, 0);
  return status == 0;
}

// What a case of EndsCleanlyHoweverItEnds needs, or checks besides the rest.
enum CaseFlags {
  kDeep = 1,      // `files` are those of the folder at the end of the long path
  kAsNobody = 2,  // runs as nobody, among files of root and of nobody (needs root)
  kMounts = 4,    // `before` mounts a small tmpfs (needs root)
  kNative = 8,    // LD_PRELOAD or an address space limit: not under sanitizers or emulators
  kPartial = 16,  // fails after a frame or more is written, and keeps them
};

// However a run ends, short of SIGKILL, it leaves no hidden file and only
// whole frames, and the GIF that was there before as it was unless it
// succeeds; refused (2), it leaves the folder as it was. Each case runs the
// program in a folder of its own with `args` (split at spaces), a setup in
// the test and one in the child (a limit, a stream, a user, the working
// folder); a signal is sent once `signal_after` is written, and leaves the
// frames written before it. In the expected message "{frames}" stands for
// the frames left in png/, "{any}" for any text within the line.
struct EndCase {
  const char* name;
  std::string args;
  std::function<void(const std::string& dir)> before;  // in the test
  std::function<void()> in_child;
  int signal;  // 0: none
  int status;  // exit status, or minus the signal that ended the program
  std::string err;
  std::string files;  // in the case's folder afterwards, sorted, at spaces
  int flags = 0;
  std::string signal_after = "png/frame-0001.png";
};

TEST(CaptureProgram, EndsCleanlyHoweverItEnds) {
  const std::string root = harness::TestOutputDir();
  const std::string record = "--frames 2000 --out png --gif a.gif --trace t.jsonl";
  const auto redirect_stdout = [](const char* path, int flags) {
    return [path, flags] { Must(dup2(open(path, flags, 0644), 1) == 1); };
  };
  const auto stdout_to_file = redirect_stdout("stdout", O_WRONLY | O_CREAT | O_TRUNC);
  const auto limit = [](auto resource, rlim_t value) {
    return [resource, value] {
      const rlimit both = {value, value};
      setrlimit(resource, &both);
    };
  };
  const auto no_core = limit(RLIMIT_CORE, 0);
  // An emulator needs far more address space than the program, and
  // AddressSanitizer reserves terabytes of it.
  const auto small_memory = limit(RLIMIT_AS, 9000 * 1024);
  const auto old_gif = [](const std::string& dir) { std::ofstream(dir + "/a.gif") << "old"; };
  bool mounted = false;  // the disk itself full: a 200 KB tmpfs, gone again however the test ends
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{root + "/full disk"};
  const auto full_disk = [&mounted, &old_gif](const std::string& dir) {
    mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=200k") == 0;
    old_gif(dir);
  };
  // After SIGKILL, what the next run finds: the temporary files of a killed
  // recording, and one that is not the recorder's.
  const auto killed_run = [](const std::string& dir) {
    fs::create_directories(dir + "/png");
    for (const char* name :
         {"png/.orvix-capture-1-Ab12Cd", ".orvix-capture-1-Xy34Zw", ".notes.txt.Xy34Zw"})
      std::ofstream(dir + "/" + name) << "half";
  };
  // A GIF to a pipe that is open but never read, one page large: the
  // program blocks in the first frame's write.
  int reader = -1;
  const auto full_pipe = [&reader](const std::string& dir) {
    const std::string pipe = dir + "/pipe";
    if (mkfifo(pipe.c_str(), 0600) == 0) reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    fcntl(reader, F_SETPIPE_SZ, 4096);
  };
  const auto closed_stdout = [] { close(1); };
  const auto gone_cwd = [] { Must(!mkdir("gone", 0755) && !chdir("gone") && !rmdir("../gone")); };
  const auto keep_txt = [](const std::string& dir) {
    std::ofstream(dir + "/keep.txt") << "keep\n";
  };
  const auto dangling = [](const std::string& dir) {
    fs::create_symlink("made.gif", dir + "/a.gif");
  };
  const auto as_nobody = [] { Must(setgid(65534) == 0 && setuid(65534) == 0); };
  // A sticky folder (1777, root's) holding files of root and of nobody.
  const auto sticky = [](std::vector<std::pair<const char*, uid_t>> files) {
    return [files](const std::string& dir) {
      chmod(dir.c_str(), 01777);
      for (const auto& [name, uid] : files) {
        std::ofstream(dir + "/" + name) << "old";
        chmod((dir + "/" + name).c_str(), 0666);
        chown((dir + "/" + name).c_str(), uid, uid);
      }
    };
  };
  const auto deep = [](const std::string& dir) { close(OpenDeep(dir, true)); };
  const auto deep_frames = [](const std::string& dir) {
    const int fd = OpenDeep(dir, true);
    mkdirat(fd, "f", 0755);
    close(openat(fd, "f/frame-0001.png", O_WRONLY | O_CREAT, 0644));
    close(fd);
  };
  const auto deep_cd = [] { Must(fchdir(OpenDeep(".", false)) == 0); };
  const auto no_locks = [] { setenv("LD_PRELOAD", ORVIX_CAPTURE_NOLOCK, 1); };
  const auto umask_all = [] { umask(0777); };
  const int master = posix_openpt(O_RDWR | O_NOCTTY);  // a terminal for standard output
  const char* tty = grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : "";
  const auto to_tty = redirect_stdout(tty, O_WRONLY | O_NOCTTY);
  std::string forty = "n";  // 40 new nested folders
  for (int i = 1; i < 40; ++i) forty += "/n";
  const std::string interrupted = "orvix-capture: recording interrupted by ";
  const std::string no_lock =
      "(No locks available): recording without the lock, so a second "
      "orvix-capture is not kept out\n";
  const EndCase cases[] = {
      {"sigint", record, old_gif, nullptr, SIGINT, 130,
       interrupted + "SIGINT after {frames} of 2000 frames\n", "a.gif png"},
      {"sigterm", record, old_gif, nullptr, SIGTERM, 143,
       interrupted + "SIGTERM after {frames} of 2000 frames\n", "a.gif png"},
      {"sighup", record, old_gif, nullptr, SIGHUP, 129,
       interrupted + "SIGHUP after {frames} of 2000 frames\n", "a.gif png"},
      {"sigterm in a blocked write", "--frames 2000 --out png --gif pipe", full_pipe, nullptr,
       SIGTERM, 143, interrupted + "SIGTERM after {frames} of 2000 frames\n", "pipe png"},
      // Ended by a signal it does not stop for: the temporary files go all
      // the same.
      {"sigquit", record, old_gif, no_core, SIGQUIT, -SIGQUIT, "", "a.gif png"},
      {"help to a full disk", "--help", nullptr, redirect_stdout("/dev/full", O_WRONLY), 0, 1,
       "orvix-capture: cannot write the help to standard output: No space left on device\n", ""},
      {"version to a closed stdout", "--version", nullptr, closed_stdout, 0, 1,
       "orvix-capture: cannot write the version to standard output: Bad file descriptor\n", ""},
      {"deleted working folder", "--frames 2 --out x", nullptr, gone_cwd, 0, 2,
       "orvix-capture: cannot create folder 'x': No such file or directory\n", ""},
      // Written in place, after what an appending redirection keeps.
      {"stdout appended", "--frames 3 --gif /dev/stdout", keep_txt,
       redirect_stdout("keep.txt", O_WRONLY | O_APPEND), 0, 0, "", "keep.txt"},
      {"dash is stdout", "--frames 3 --gif -", nullptr, stdout_to_file, 0, 0, "", "stdout"},
      // Bad input, --help and --version through the exit status; the version
      // is the one project() sets, even after an argument that is not checked.
      {"bad input", "--out x --keys jump:1", nullptr, nullptr, 0, 2,
       "orvix-capture: --keys: unknown key 'jump' in 'jump:1' (keys: left, right, up, down, "
       "space)\n",
       ""},
      {"help", "--help", nullptr, stdout_to_file, 0, 0, "", "stdout"},
      {"version", "--version --frames 0", nullptr, stdout_to_file, 0, 0, "", "stdout"},
      // A dangling link is written through, like one to an existing file.
      {"dangling link", "--frames 3 --gif a.gif", dangling, nullptr, 0, 0, "", "a.gif made.gif"},
      {"after a kill", "--frames 2 --out png --gif a.gif", killed_run, nullptr, 0, 0,
       "orvix-capture: removed 'png/.orvix-capture-1-Ab12Cd', left by a recording that was "
       "killed\norvix-capture: removed '.orvix-capture-1-Xy34Zw', left by a recording that was "
       "killed\n",
       ".notes.txt.Xy34Zw a.gif png"},
      {"out of memory", "--frames 3 --out v9 --gif v9.gif", nullptr, small_memory, 0, 1,
       "orvix-capture: out of memory\n", "", kNative},
      {"trace to a full disk", "--frames 2 --trace /dev/full", nullptr, nullptr, 0, 1,
       "orvix-capture: cannot write '/dev/full': No space left on device\n", ""},
      // A file size limit fails a write as a full disk does, anywhere; the
      // program must ignore SIGXFSZ, which the child leaves at its default
      // (killing). A frame is more than 4 KB: the first one fails, and the
      // folder the run made goes again with no frame in it.
      {"file size limit, first frame", "--frames 3 --out png --gif a.gif", old_gif,
       limit(RLIMIT_FSIZE, 4096), 0, 1,
       "orvix-capture: cannot write 'png/frame-0001.png': File too large\n", "a.gif"},
      // A frame is less than 64 KB, and the GIF grows past it within 30.
      {"file size limit, gif", "--frames 30 --out png --gif a.gif", old_gif,
       limit(RLIMIT_FSIZE, 65536), 0, 1,
       "orvix-capture: cannot write 'a.gif' (frame): File too large\n", "a.gif png", kPartial},
      {"full disk", "--frames 90 --out png --gif a.gif", full_disk, nullptr, 0, 1,
       "orvix-capture: cannot write '{any}: No space left on device\n", "a.gif png",
       kMounts | kPartial},
      // The output paths: refused before the first frame with everything as
      // it was, or recorded whole.
      {"long working folder with frames", "--frames 2 --out f --keys up:1", deep_frames, deep_cd, 0,
       2,
       "orvix-capture: 'f' already holds a frame file, frame-0001.png; --force removes the frame "
       "files before recording\n",
       "f", kDeep},
      {"long working folder", "--frames 2 --gif a.gif", deep, deep_cd, 0, 0, "", "a.gif", kDeep},
      {"no locks for the gif", "--frames 2 --gif a.gif", nullptr, no_locks, 0, 0,
       "orvix-capture: cannot lock folder '.' " + no_lock, "a.gif", kNative},
      {"no locks for the frames", "--frames 2 --out fr", nullptr, no_locks, 0, 0,
       "orvix-capture: cannot lock folder 'fr' " + no_lock, "fr", kNative},
      {"sigquit below 40 new folders", "--frames 2000 --out " + forty + " --gif a.gif", old_gif,
       no_core, SIGQUIT, -SIGQUIT, "", "a.gif n", 0, forty + "/frame-0001.png"},
      {"umask 777", "--frames 2 --out um", nullptr, umask_all, 0, 2,
       "orvix-capture: cannot create folder 'um': the umask 0777 would shut this run out of it\n",
       ""},
      {"sticky folder, root's gif", "--frames 3000 --gif a.gif", sticky({{"a.gif", 0}}), as_nobody,
       0, 2, "orvix-capture: cannot create 'a.gif': Operation not permitted\n", "a.gif", kAsNobody},
      {"sticky folder, root's frame, --force", "--frames 2 --out . --force",
       sticky({{"frame-0001.png", 65534}, {"frame-0002.png", 0}}), as_nobody, 0, 2,
       "orvix-capture: cannot remove './frame-0002.png': Operation not permitted\n",
       "frame-0001.png frame-0002.png", kAsNobody},
      {"gif to a terminal", "--frames 2 --gif -", nullptr, to_tty, 0, 2,
       "orvix-capture: --gif - would write binary to a terminal: redirect it to a file (--gif - > "
       "FILE), or add --force\n",
       ""},
  };
  for (const EndCase& c : cases) {
    if ((c.flags & kNative) && (kEmulated || kSanitized)) continue;
    const std::string dir = root + "/" + c.name, logs = dir + "-logs";
    fs::create_directories(dir);
    fs::create_directories(logs);
    if (c.before) c.before(dir);
    const char* skip =
        (c.flags & (kAsNobody | kMounts)) && geteuid() != 0 ? "needs root (CI runs as root)"
        : (c.flags & kAsNobody) && !NobodyReaches(dir) ? "nobody cannot reach it (a private build)"
        : (c.flags & kMounts) && !mounted              ? "cannot mount a tmpfs here"
                                                       : nullptr;
    if (skip) {
      std::cout << "[  SKIPPED ] " << c.name << ": " << skip << '\n';
      continue;
    }

    const pid_t pid = Spawn(Words(c.args), dir, logs, c.in_child);
    if (c.signal != 0) {
      for (int i = 0; i < 6000 && !fs::exists(dir + "/" + c.signal_after); ++i) usleep(5000);
      kill(pid, c.signal);
    }
    const Outcome run = Finish(pid, logs);
    const int frames = WholeFramesIn(dir + "/png");
    std::string err = c.err;
    if (const std::size_t at = err.find("{frames}"); at != std::string::npos)
      err.replace(at, 8, std::to_string(frames));
    if (const std::size_t at = err.find("{any}"); at != std::string::npos) {
      const std::string head = err.substr(0, at), tail = err.substr(at + 5);
      const std::size_t any = run.err.size() - head.size() - tail.size();
      if (run.err.size() >= head.size() + tail.size() && run.err.rfind(head, 0) == 0 &&
          run.err.compare(at + any, tail.size(), tail) == 0 &&
          run.err.substr(at, any).find('\n') == std::string::npos)
        err = run.err;
    }
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
    EXPECT_EQ(run.err, err) << c.name;
    EXPECT_EQ(run.out, "") << c.name;  // only where a row sends it
    EXPECT_EQ(c.flags & kDeep ? FilesDeep(dir) : FilesIn(dir), Words(c.files)) << c.name;
    if (c.flags & kAsNobody) {
      for (const std::string& name : Words(c.files))
        EXPECT_EQ(ReadFile(dir + "/" + name), "old") << c.name;
    }
    if (c.status != 0 && fs::is_regular_file(dir + "/a.gif")) {
      EXPECT_EQ(ReadFile(dir + "/a.gif"), "old") << c.name;
    }
    if (c.signal != 0 || (c.flags & kPartial)) {
      const fs::path last = dir + "/" + c.signal_after;
      EXPECT_GE(frames + WholeFramesIn(last.parent_path()), 1) << c.name;
    }
  }
  close(reader);
  close(master);
  const std::string gif_start = "GIF89a";
  EXPECT_EQ(ReadFile(root + "/stdout appended/keep.txt").substr(0, 11), "keep\n" + gif_start);
  EXPECT_EQ(ReadFile(root + "/dash is stdout/stdout").substr(0, 6), gif_start);
  EXPECT_EQ(ReadFile(root + "/help/stdout"), capture::Usage());
  EXPECT_EQ(ReadFile(root + "/version/stdout"), "orvix-capture " ORVIX_VERSION "\n");
  EXPECT_TRUE(fs::is_symlink(root + "/dangling link/a.gif"));
  EXPECT_EQ(ReadFile(root + "/dangling link/made.gif").substr(0, 6), gif_start);
  EXPECT_EQ(ReadFile(root + "/after a kill/a.gif").substr(0, 6), gif_start);
  if (!kSanitized && !kEmulated) {
    EXPECT_EQ(ReadFile(root + "/no locks for the gif/a.gif").substr(0, 6), gif_start);
    EXPECT_EQ(WholeFramesIn(root + "/no locks for the frames/fr"), 2);
  }
}

// A second recorder aimed at a folder being recorded is refused before it
// touches anything, --force or not, and the first one finishes unharmed. The
// first writes its GIF to a FIFO of one page: from its first byte there until
// the test reads the rest (a GIF of three frames is some 37 KB), the first
// holds the folder.
TEST(CaptureProgram, OneRecorderPerFolderAtATime) {
  const std::string root = harness::TestOutputDir();
  const std::string fifo = root + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const bool force : {false, true}) {
    const std::string same = root + (force ? "/forced" : "/plain");
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(fcntl(reader, F_SETPIPE_SZ, 4096), 4096);
    const pid_t first = Spawn({"--frames", "3", "--out", same, "--gif", fifo}, root, root);
    pollfd started = {reader, POLLIN, 0};
    ASSERT_EQ(poll(&started, 1, 120000), 1) << "the first recorder wrote no GIF in 2 minutes";
    std::vector<std::string> args = {"--frames", "2", "--out", same};
    if (force) args.push_back("--force");
    const std::string logs = root + "/second";
    fs::create_directories(logs);
    const Outcome second = RunProgram(args, logs);
    EXPECT_EQ(second.status, 2);
    EXPECT_EQ(second.err, "orvix-capture: '" + same +
                              "' is in use by another orvix-capture; one recording per folder at "
                              "a time\n");
    std::string gif;  // to the end, when the first closes it
    char block[4096];
    fcntl(reader, F_SETFL, 0);
    for (ssize_t n; (n = read(reader, block, sizeof block)) > 0;) gif.append(block, n);
    close(reader);
    const Outcome run = Finish(first, root);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(gif.substr(0, 6), "GIF89a");
    EXPECT_EQ(WholeFramesIn(same), 3);
  }
}

// The program's frames on the headless backend, played in a child process
// where the renderer's statics start fresh: 512 x 512 each, 0x00BBGGRR.
std::vector<std::vector<std::uint32_t>> PlayFrames(int frames, std::uint32_t start_tick,
                                                   const std::string& keys) {
  constexpr std::size_t kPixels = 512 * 512;
  const std::size_t bytes = (frames * kPixels + 1) * 4;
  auto* shared = static_cast<std::uint32_t*>(
      mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  std::uint32_t& played = shared[frames * kPixels];
  const pid_t pid = fork();
  if (pid == 0) {
    capture::KeyScript script;
    std::string error;
    if (!keys.empty() && !capture::ParseKeyScript(keys, &script, &error)) _exit(2);
    _exit(capture::Play(frames, start_tick, script, [&](int frame, const std::uint32_t* p) {
      if (frame > frames) _exit(3);
      std::copy(p, p + kPixels, shared + (frame - 1) * kPixels);
      played = static_cast<std::uint32_t>(frame);
    }));
  }
  int raw = 0;
  waitpid(pid, &raw, 0);
  EXPECT_EQ(raw, 0);
  std::vector<std::vector<std::uint32_t>> out;
  for (std::uint32_t i = 0; i < played; ++i)
    out.emplace_back(shared + i * kPixels, shared + (i + 1) * kPixels);
  munmap(shared, bytes);
  return out;
}

// A tap before frame 2 turns the view once, in frame 2, exactly as holding
// the key for frame 2 alone does; frame 1 is untouched.
TEST(CaptureFrames, ATapCountsOnceInItsFrame) {
  const auto still = PlayFrames(3, 0, "");
  const auto tap = PlayFrames(3, 0, "tap:right@2");
  const auto hold = PlayFrames(3, 0, "right:2");
  ASSERT_EQ(still.size(), 3u);
  ASSERT_EQ(tap.size(), 3u);
  EXPECT_EQ(tap[0], still[0]);
  EXPECT_NE(tap[1], still[1]);
  EXPECT_EQ(tap, hold);
}

// The cube's spin follows the tick count, one turn every 2000 ms; all else
// steps per frame. So a start 2000 ms later draws the same frames and one an
// eighth of a turn later does not (by frame 10 the cube has drifted off the
// eye and is seen).
TEST(CaptureFrames, StartTickSetsTheClock) {
  const auto t0 = PlayFrames(10, 0, "");
  ASSERT_EQ(t0.size(), 10u);
  EXPECT_EQ(PlayFrames(10, 2000, "").back(), t0.back());
  EXPECT_NE(PlayFrames(10, 250, "").back(), t0.back());
}

}  // namespace
