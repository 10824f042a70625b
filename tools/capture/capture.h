// orvix-capture: runs the whole program, WinMain -> MessageLoop -> GameLoop,
// on the headless backend and writes the frames it presents. Its command
// line (options.cpp) is checked whole before a frame is rendered, so that bad
// input costs nothing and leaves no files behind.
//
// The renderer keeps its scene in function-local statics and never seeds
// rand(): a process can make one recording, and the same options always give
// the same frames.
#ifndef ORVIX_TOOLS_CAPTURE_H
#define ORVIX_TOOLS_CAPTURE_H

#include <cstdint>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "Main.h"
#include "platform/win32.h"

namespace capture {

// Frames count from 1, the first frame presented, like the file names
// (frame-0001.png is frame 1) and headless::OnPresent.
constexpr int kDefaultFrames = 90;
constexpr int kMaxFrames = 108000;  // one hour at 30 frames per second
constexpr int kToTheEnd = kMaxFrames + 1;
// The most Polygon calls a frame makes, every tile of the room's six faces and
// every face of the cube (6 x 10 x 10 + 6 = 606): the largest step
// --build-up takes.
constexpr int kMaxBuildUp = static_cast<int>(std::size(kRoom)) * kRoomTiles * kRoomTiles +
                            static_cast<int>(std::size(kCubeColors));

// A key held while frames `first` to `last` (inclusive) are rendered
// (kToTheEnd: until the recording ends), or tapped: pressed and released
// just before frame `first`, so that it reads as pressed once, in that frame.
struct KeyEntry {
  int vk;
  int first;
  int last;  // == first for a tap
  bool tap;
  std::string text;  // as the script writes it, for messages
};

struct KeyScript {
  std::vector<KeyEntry> entries;

  bool Held(int vk, int frame) const;
  bool Tapped(int vk, int frame) const;
};

// The five keys the renderer reads, by the names a script uses.
struct KeyName {
  const char* name;
  int vk;
};
extern const KeyName kKeyNames[5];

// Parses "right:1-15,space:20-,up:7,tap:down@30". Holds of one key must not
// share a frame, and a tap must not fall on a frame its key is held. On
// failure returns false and sets `error` to one line naming the bad entry.
bool ParseKeyScript(std::string_view text, KeyScript* script, std::string* error);

struct Options {
  int frames = kDefaultFrames;
  std::uint32_t start_tick = 0;  // ms, what GetTickCount() reads at the first frame
  KeyScript keys;
  std::string out_dir;     // empty: no PNGs
  int every = 1;           // keep frames every, 2 every, ...
  std::string gif_path;    // empty: no GIF
  std::string trace_path;  // empty: no trace
  int build_up = 0;        // 0: whole frames; else the last frame as it is painted, in
                           // steps of this many polygons (capture_build_up.h)
  bool force = false;      // remove the frame files already in out_dir; binary to a terminal
  bool help = false;
  bool version = false;
};

// Parses argv[1..argc-1]. Accepts "--name value" and "--name=value". With
// --help (or else --version) anywhere on the line nothing else is checked. On
// failure returns false and sets `error` to one line that names the problem.
// The files are not looked at here: see Outputs::Check.
bool ParseArguments(int argc, const char* const* argv, Options* options, std::string* error);

// The --help text.
std::string Usage();

// Exit statuses; and 128 + N for a recording that signal N stopped.
constexpr int kOk = 0;
constexpr int kWriteFailed = 1;  // while recording, out of memory, or the program itself failed
constexpr int kBadInput = 2;     // nothing was rendered (a folder in use included)

// "frame-0042.png": four digits, more when the recording needs them, so that
// the names of one recording sort in frame order.
std::string FrameFileName(int frame, int frames);

// Runs the program, WinMain -> MessageLoop -> GameLoop, on the headless
// backend from tick `start_tick` until it has presented `frames` frames, with
// the key script played: `presented` sees each frame as it is presented,
// before the next frame's keys are set, and may end the run early with
// headless::CloseAfterFrames. Returns WinMain's status.
int Play(int frames, DWORD start_tick, const KeyScript& keys,
         const std::function<void(int frame, const std::uint32_t* pixels)>& presented);

// Makes the recording. Every output is checked before any is created, and
// all of them are ready before the first frame, so that an unusable path is
// bad input and leaves nothing behind. The --out folder is locked for the
// whole run. A signal that InstallSignalHandlers catches stops it between
// frames. Messages go to `err`, one line each; with `progress`, a line that
// counts the frames is kept up to date there as well.
int Run(const Options& options, std::ostream& err, bool progress);

// The program: parses argv, prints --help or --version to `out`, or runs.
// Out of memory anywhere is one line and kWriteFailed.
int Main(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress);

}  // namespace capture

#endif  // ORVIX_TOOLS_CAPTURE_H
