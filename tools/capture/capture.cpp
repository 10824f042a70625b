// The recording: the program's own loop on the headless backend, with the
// key script played and the frames written from the present hook.
#include "capture/capture.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "Main.h"
#include "capture/image.h"
#include "capture/outputs.h"
#include "frame_record.h"
#include "platform/headless.h"

namespace capture {
namespace {

constexpr int kWidth = kBlockSize;  // what headless::OnPresent hands over
constexpr int kHeight = kBlockSize;

void Report(std::ostream& err, const std::string& message) {
  err << "orvix-capture: " << message << '\n' << std::flush;
}

// The status and the line of a recording stopped by `signal` after `done`
// frames: 128 + the signal's number, as a shell reports a process it ended.
int Interrupted(std::ostream& err, int signal, int done, int frames) {
  const std::string name = signal == SIGINT    ? "SIGINT"
                           : signal == SIGTERM ? "SIGTERM"
                           : signal == SIGHUP  ? "SIGHUP"
                                               : "signal " + std::to_string(signal);
  Report(err, "recording interrupted by " + name + " after " + std::to_string(done) + " of " +
                  std::to_string(frames) + " frames");
  return 128 + signal;
}

// --help or --version written, or one line and status 1: a full disk or a
// closed standard output is a failure like any other write.
// A text longer than the stream's buffer fails while it is written, before
// the flush: errno is cleared before both.
int Write(std::ostream& out, std::ostream& err, const std::string& text, const char* what) {
  errno = 0;
  out << text;
  out.flush();
  if (out) return kOk;
  // A stream that wrote nothing and set no errno was closed (see main.cpp).
  Report(err, std::string("cannot write ") + what +
                  " to standard output: " + Reason(errno != 0 ? errno : EBADF));
  return kWriteFailed;
}

using Keep = std::function<bool(const std::uint32_t*, const std::string& name, int delay_cs)>;

// --build-up: the last frame as it is painted, replayed from its record, for
// readers who want to see the painter's algorithm at work. Image 1 is the
// cleared back buffer, then one before every `step`-th painted polygon after
// it, then the frame as presented, named as wide as the most images a frame
// can give. The clear shows 0.5 s, each step 0.05 s, the whole frame 3 s.
bool KeepBuildUp(const support::FrameRecord& record, const std::uint32_t* whole, int step,
                 const Keep& keep) {
  const int most = (kMaxBuildUp + step - 1) / step + 1;
  std::vector<std::uint32_t> painting(std::size_t{kWidth} * kHeight, 0u);
  int images = 0, painted = 0, replayed = -1;
  for (const support::CallRecord& call : record.calls) {
    if (call.fate != kFatePainted || painted++ % step != 0) continue;
    support::ReplayOnto(painting.data(), record, replayed, call.index - 1, kWidth, kHeight);
    replayed = call.index - 1;
    ++images;
    if (!keep(painting.data(), FrameFileName(images, most), images == 1 ? 50 : 5)) return false;
  }
  return keep(whole, FrameFileName(++images, most), 300);
}

// The trace of one frame: its line, then one line per Polygon3D call, with
// the keys as the script names them ("tap:up" for a tap).
void Trace(std::FILE* file, const std::string& name, int frame, const KeyScript& keys,
           const support::FrameRecord& record, std::string* failure) {
  std::vector<std::string> names;
  for (const KeyName& key : kKeyNames) {
    if (keys.Held(key.vk, frame)) names.push_back(key.name);
    if (keys.Tapped(key.vk, frame)) names.push_back(std::string("tap:") + key.name);
  }
  errno = 0;
  bool ok =
      std::fputs(support::FrameLine(frame, record.state.tick, names, record).c_str(), file) >= 0 &&
      std::fputc('\n', file) != EOF;
  for (std::size_t i = 0; ok && i < record.calls.size(); ++i)
    ok = std::fputs(support::CallLine(frame, record.calls[i]).c_str(), file) >= 0 &&
         std::fputc('\n', file) != EOF;
  if (!ok) *failure = "cannot write " + Quote(name) + ": " + Reason(errno != 0 ? errno : EIO);
}

// A held key that stays held is not pressed again, so it is not seen as a
// new press.
void ApplyKeys(const KeyScript& keys, int frame) {
  for (const KeyName& key : kKeyNames) {
    headless::SetKeyDown(key.vk, keys.Held(key.vk, frame));
    if (keys.Tapped(key.vk, frame)) headless::TapKey(key.vk);
  }
}

}  // namespace

std::string FrameFileName(int frame, int frames) {
  int digits = 4;
  for (int n = frames; n >= 10000; n /= 10) ++digits;
  // Padded by hand: GCC 12 for s390x warns that %0*d might not fit a fixed buffer.
  std::string number = std::to_string(frame);
  if (number.size() < static_cast<std::size_t>(digits))
    number.insert(0, digits - number.size(), '0');
  return "frame-" + number + ".png";
}

int Play(int frames, DWORD start_tick, const KeyScript& keys,
         const std::function<void(int frame, const std::uint32_t* pixels)>& presented) {
  headless::Reset();
  headless::SetTickCount(start_tick);
  headless::CloseAfterFrames(frames);
  ApplyKeys(keys, 1);
  headless::OnPresent([&](int frame, const std::uint32_t* pixels) {
    presented(frame, pixels);
    ApplyKeys(keys, frame + 1);
  });
  static char command_line[] = "";
  const int status = WinMain(nullptr, nullptr, command_line, 1);
  headless::OnPresent(nullptr);
  return status;
}

int Run(const Options& options, std::ostream& err, bool progress) {
  static bool recorded = false;
  if (recorded) {
    Report(err, "one recording per process: the renderer's state would carry over");
    return kWriteFailed;
  }

  // Everything is checked before anything is made, and everything is made
  // before the first frame: a refusal leaves the folders as they were.
  Outputs outputs;
  std::string failure;
  std::vector<std::string> notes;
  if (!outputs.Check(options, &failure) || !outputs.Prepare(&notes, &failure)) {
    // Opening a FIFO waits for a reader: a signal there is no bad input.
    if (const int signal = InterruptSignal()) return Interrupted(err, signal, 0, options.frames);
    Report(err, failure);
    return kBadInput;
  }
  for (const std::string& note : notes) Report(err, note);
  if (const int signal = InterruptSignal()) return Interrupted(err, signal, 0, options.frames);
  recorded = true;

  GifWriter gif;
  // The GIF writer's failures follow the file's name.
  const auto gif_failed = [&] { failure = "cannot write " + Quote(options.gif_path) + failure; };
  if (outputs.gif() && !gif.Open(outputs.gif(), kWidth, kHeight, &failure)) {
    gif_failed();
    Report(err, failure);
    return kWriteFailed;  // ~Outputs leaves nothing
  }
  // One image to DIR/NAME and the GIF.
  const Keep keep = [&](const std::uint32_t* pixels, const std::string& name, int delay_cs) {
    if (!options.out_dir.empty()) {
      const std::vector<unsigned char> png = EncodePng(pixels, kWidth, kHeight);
      if (png.empty()) {
        failure = "out of memory";
      } else {
        outputs.WriteFrame(name, png, &failure);
      }
    }
    if (failure.empty() && outputs.gif() && !gif.AddFrame(pixels, delay_cs, &failure)) gif_failed();
    return failure.empty();
  };
  std::unique_ptr<support::FrameRecorder> recorder;
  if (outputs.trace() || options.build_up != 0) {
    recorder = std::make_unique<support::FrameRecorder>();
    recorder->Restart();
  }

  // Keys for frame k + 1 are set once frame k is out; a failed write, a
  // signal or a lack of memory asks the program to close, so that it still
  // leaves through its own exit path (no exception crosses WinMain). A
  // signal is looked at between frames: the frame being written is
  // finished first.
  int kept = 0;
  int done = 0;  // frames whose files are written whole
  const int status = Play(
      options.frames, options.start_tick, options.keys,
      [&](int frame, const std::uint32_t* pixels) {
        if (!failure.empty() || done < frame - 1) return;
        if (InterruptSignal() != 0) {
          headless::CloseAfterFrames(frame);
          return;
        }
        try {
          // A kept frame's images (the frame whole, or as it is painted),
          // then its trace.
          const bool whole = options.build_up == 0 && frame % options.every == 0;
          if (whole || (options.build_up != 0 && frame == options.frames)) {
            const support::FrameRecord record =
                recorder ? recorder->Take() : support::FrameRecord{};
            if (whole)
              keep(pixels, FrameFileName(frame, options.frames), GifDelay(kept++, options.every));
            else
              KeepBuildUp(record, pixels, options.build_up, keep);
            if (outputs.trace() && failure.empty())
              Trace(outputs.trace(), options.trace_path, frame, options.keys, record, &failure);
          }
          if (recorder) recorder->Restart();
        } catch (const std::bad_alloc&) {
          failure = "out of memory";
        }
        if (!failure.empty()) {
          // A GIF write that a signal cut short comes after the frame's
          // PNG, which is whole: the frame counts.
          if (InterruptSignal() != 0) done = frame;
          headless::CloseAfterFrames(frame);
          return;
        }
        done = frame;
        if (progress)
          err << "\rorvix-capture: frame " << frame << '/' << options.frames << std::flush;
      });
  recorder.reset();
  if (progress) err << '\n';

  // A signal outranks the write error it may have caused (EINTR).
  if (const int signal = InterruptSignal()) {
    gif.Abandon();
    outputs.Abandon();
    return Interrupted(err, signal, done, options.frames);
  }
  const int presented = headless::FramesPresented();
  if (failure.empty() && status != 0)
    failure = "the program exited with status " + std::to_string(status);
  if (failure.empty() && presented != options.frames)
    failure = "the program presented " + std::to_string(presented) + " of " +
              std::to_string(options.frames) + " frames";
  if (failure.empty() && outputs.gif() && !gif.Finish(&failure)) gif_failed();
  if (failure.empty()) outputs.Commit(&failure);
  if (!failure.empty()) {
    // Half a GIF or trace looks like a whole one that ends early: leave
    // none, and the one that was there before as it was.
    gif.Abandon();
    outputs.Abandon();
    Report(err, failure);
    return kWriteFailed;
  }
  return kOk;
}

int Main(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress) {
  // Out of memory anywhere: what Run made is undone as the exception leaves
  // it (temporary files, empty folders it created, the lock).
  try {
    Options options;
    std::string error;
    if (!ParseArguments(argc, argv, &options, &error)) {
      Report(err, error);
      return kBadInput;
    }
    if (options.help) {
      return Write(out, err, Usage(), "the help");
    }
    if (options.version) {
      return Write(out, err, "orvix-capture " ORVIX_VERSION "\n", "the version");
    }
    return Run(options, err, progress);
  } catch (const std::bad_alloc&) {
    err << "orvix-capture: out of memory\n" << std::flush;  // allocates nothing
    return kWriteFailed;
  } catch (const std::exception& e) {  // none is expected: a fault, still undone
    err << "orvix-capture: " << Quote(e.what()) << '\n' << std::flush;  // one line
    return kWriteFailed;
  }
}

}  // namespace capture
