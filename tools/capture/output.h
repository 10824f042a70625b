// Where a recording goes: every output checked before anything is created,
// the --out folder made ready, and files that appear under their names only
// once they are whole.
#ifndef ORVIX_TOOLS_CAPTURE_OUTPUT_H
#define ORVIX_TOOLS_CAPTURE_OUTPUT_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "capture/options.h"
#include "capture/process.h"

namespace capture {

// strerror's text, or "write failed" for 0.
std::string Reason(int err);

// errno after a failed call, or EIO when the C library set none.
int LastError();

// The line for a --out folder that cannot be locked: in use (EWOULDBLOCK)
// or another errno.
std::string InUseOrCannotLock(const std::string& dir, int err);

// Where a path leads once its symbolic links are followed: `path`, the file
// at the end of the links (which need not exist: a dangling link is written
// through, as a shell's redirection does), or `fd` >= 0 when it names one of
// this process's open descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N,
// and "-" for standard output), which is written in place. `error`: an errno.
struct Target {
  std::string path;
  int fd = -1;
  int error = 0;
};
Target Resolve(const std::string& path);

// Checks the outputs against the file system and creates nothing (where a
// file or folder must be made, one is made and removed at once): the --out
// folder exists or can be made, can be written, and holds no frame files
// unless --force; the GIF can be made, and is neither that folder nor named
// like one of its frames. On failure returns false and sets `error` to one
// line that names the path and the reason.
bool CheckOutputs(const Options& options, std::string* error);

// The folders a run made, removed again when it ends with them empty (a run
// that failed before its first frame), a signal's end included.
class CreatedFolders {
 public:
  CreatedFolders() = default;
  ~CreatedFolders() { RemoveEmpty(); }
  CreatedFolders(const CreatedFolders&) = delete;
  CreatedFolders& operator=(const CreatedFolders&) = delete;

  // Makes `dir` and the folders missing above it: 0, or the errno, after
  // which the ones made are removed.
  int Create(const std::string& dir);
  void RemoveEmpty();
  // Leaves them, whatever they hold: they are no longer this run's alone.
  void Keep();

 private:
  std::vector<std::string> made_;  // parent first
  std::vector<std::unique_ptr<RemoveOnSignal>> guards_;
};

// An advisory lock on the --out folder (flock on the folder itself, so no
// file is added): one recording per folder at a time, released by the
// kernel however the holder ends.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // 0; EWOULDBLOCK when another process holds it; or the errno.
  int Lock(const std::string& dir);

 private:
  int fd_ = -1;
};

// Creates the --out folder (recorded in `created`) and takes its lock, then,
// with --force, removes its frame files; the step after CheckOutputs. A
// folder in use is refused before anything in it is touched.
bool PrepareOutputs(const Options& options, CreatedFolders* created, FolderLock* lock,
                    std::string* error);

// Temporary files that a recording killed by SIGKILL left beside the outputs
// (".frame-0001.png.XXXXXX" in the --out folder, ".NAME.XXXXXX" beside the
// GIF): those no live recording holds locked are removed. Returns their
// paths.
std::vector<std::string> RemoveStaleTemporaries(const Options& options);

// A file that appears under its name only once it is complete: written to a
// hidden temporary file beside it and renamed into place by Commit. Until
// then a file of that name stays as it was, and a failure leaves nothing.
// A path to something other than a regular file (a FIFO, a device, or one
// of this process's descriptors: see Resolve) is written in place, as a
// stream cannot be replaced; through a symbolic link, the file it points to
// is written (made if missing) and the link stays. The temporary file is
// locked while it lives, so that RemoveStaleTemporaries leaves it alone.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Discard(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // 0, or the errno of the failure.
  int Open(const std::string& path);
  std::FILE* get() const { return file_; }
  // Flushes, closes and renames: 0, or the errno of the first failure (a
  // write error the stream saw included), after which nothing is left.
  int Commit();
  // Closes without committing and removes the temporary file.
  void Discard();

 private:
  std::FILE* file_ = nullptr;
  std::string target_;  // the file to replace
  std::string temp_;    // empty when written in place
  int lock_fd_ = -1;    // holds the temporary file's lock until it is renamed
  RemoveOnSignal guard_;
};

}  // namespace capture

#endif  // ORVIX_TOOLS_CAPTURE_OUTPUT_H
