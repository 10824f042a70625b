// orvix-capture: runs the whole program, WinMain -> MessageLoop -> GameLoop,
// on the headless backend and writes the frames it presents.
//
// The renderer keeps its scene in function-local statics and never seeds
// rand(): a process can make one recording, and the same options always give
// the same frames.
#ifndef ORVIX_TOOLS_CAPTURE_H
#define ORVIX_TOOLS_CAPTURE_H

#include <cstdint>
#include <functional>
#include <ostream>

#include "capture/options.h"
#include "platform/win32.h"

namespace capture {

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
