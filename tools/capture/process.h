// What the recorder does as a process: standard streams that may be closed,
// signals that end a recording early, and the files and folders to remove
// however the run ends (short of SIGKILL, which the next run cleans up after:
// see RemoveStaleTemporaries in output.h).
#ifndef ORVIX_TOOLS_CAPTURE_PROCESS_H
#define ORVIX_TOOLS_CAPTURE_PROCESS_H

#include <string>

namespace capture {

// Opens /dev/null on standard descriptors that are closed, so that no file
// the recorder opens becomes fd 1 or 2 and receives its messages. Notes
// which were closed: WasClosed tells.
void GuardStandardStreams();
bool WasClosed(int fd);

// SIGINT, SIGTERM and SIGHUP ask the recording to stop after the frame being
// written (InterruptSignal then names the signal). Blocking calls are not
// restarted, so a write to a pipe nobody reads stops too. Other signals that
// end a process remove the registered files first and then end it as they
// would have. Signals ignored when the program starts (nohup, a background
// job's SIGINT) stay ignored.
void InstallSignalHandlers();
// 0, or the signal that asked the recording to stop.
int InterruptSignal();
// "SIGINT" and so on.
std::string SignalName(int signal);

// A file or an empty folder to remove if the process is ended by a signal
// while this object lives; the owner removes it itself on every other path.
// Registration is async-signal-safe to read: the handler unlinks what is
// registered, with no allocation.
class RemoveOnSignal {
 public:
  RemoveOnSignal() = default;
  RemoveOnSignal(const std::string& path, bool folder) { Set(path, folder); }
  ~RemoveOnSignal() { Clear(); }
  RemoveOnSignal(const RemoveOnSignal&) = delete;
  RemoveOnSignal& operator=(const RemoveOnSignal&) = delete;

  void Set(const std::string& path, bool folder);
  void Clear();

 private:
  int slot_ = -1;
};

}  // namespace capture

#endif  // ORVIX_TOOLS_CAPTURE_PROCESS_H
