// Where a recording goes, as one model: each output folder is opened once and
// everything after works relative to that descriptor (openat, mkdirat,
// renameat, unlinkat, fstatat), so no system call takes more than one name
// and a folder moved mid-run cannot redirect a write.
//
// A run goes Check -> Prepare -> frames -> Commit. Check finds everything
// that can be known before the first frame and changes nothing; Prepare makes
// the folders and the temporary files, and only then removes what --force
// removes. Every temporary file and folder is registered, in storage sized
// for the run, before it exists, so that a signal at any moment leaves
// nothing behind (SIGKILL aside: the next run into the same folder removes
// what a killed one left, when it can lock the folder).
#ifndef ORVIX_TOOLS_CAPTURE_OUTPUTS_H
#define ORVIX_TOOLS_CAPTURE_OUTPUTS_H

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture.h"

namespace capture {

// Whether `name` is one FrameFileName could give: "frame-", digits, ".png".
bool IsFrameFileName(std::string_view name);

// Opens /dev/null on standard descriptors that are closed, so that no file
// the recorder opens becomes fd 1 or 2; WasClosed tells which were.
void GuardStandardStreams();
bool WasClosed(int fd);

// SIGINT, SIGTERM and SIGHUP ask the recording to stop after the frame being
// written (InterruptSignal names the signal); blocking calls are not
// restarted, so a write to a pipe nobody reads stops too. Other signals that
// end a process remove the registered files and folders first and then end
// it as they would have. Signals ignored at start stay ignored.
void InstallSignalHandlers();
int InterruptSignal();  // 0, or the signal that asked the recording to stop

// `text` in single quotes, as every path and value is shown in a message, so
// that one message stays one line whatever it holds: a backslash goes before
// ' and \, and control characters are written \n, \t, \r or \xHH.
std::string Quote(std::string_view text);

// strerror's text.
std::string Reason(int err);

class Outputs {
 public:
  Outputs();
  ~Outputs();  // Abandon
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;

  // Checks every output against the file system and changes nothing: each
  // folder exists or can be made, can be locked and written; each file that
  // will be replaced may be (the sticky-folder rule included); --force's
  // removals are all possible; no binary output goes to a terminal unless
  // forced. Holds the folders open (and locked) from here on. False: one
  // line in `error`.
  bool Check(const Options& options, std::string* error);
  // Makes the missing folders and the temporary files, removes what a killed
  // run left and what --force removes, in that order. `notes`: lines to show
  // (a lock the filesystem cannot take, a leftover removed). False: one line
  // in `error`, and all of it undone, or a signal (InterruptSignal).
  bool Prepare(std::vector<std::string>* notes, std::string* error);

  // One PNG into the --out folder under `name`, whole or not at all.
  bool WriteFrame(const std::string& name, const std::vector<unsigned char>& png,
                  std::string* error);
  std::FILE* gif() const;
  std::FILE* trace() const;
  // Puts the GIF and the trace in place: false with one line in `error`,
  // after which neither is left.
  bool Commit(std::string* error);
  // Leaves no temporary file, nor a folder this run made that is empty.
  void Abandon();

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace capture

#endif  // ORVIX_TOOLS_CAPTURE_OUTPUTS_H
