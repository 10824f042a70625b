// Where a recording goes: every output checked before anything is created,
// the --out folder made ready, and files that appear under their names only
// once they are whole.
#ifndef ORVIX_TOOLS_CAPTURE_OUTPUT_H
#define ORVIX_TOOLS_CAPTURE_OUTPUT_H

#include <cstdio>
#include <string>

#include "capture/options.h"

namespace capture {

// strerror's text, or "write failed" for 0.
std::string Reason(int err);

// errno after a failed call, or EIO when the C library set none.
int LastError();

// Checks the outputs against the file system and creates nothing (where a
// file or folder must be made, one is made and removed at once): the --out
// folder exists or can be made, can be written, and holds no frame files
// unless --force; the GIF can be made, and is neither that folder nor named
// like one of its frames. On failure returns false and sets `error` to one
// line that names the path and the reason.
bool CheckOutputs(const Options& options, std::string* error);

// Creates the --out folder and, with --force, removes its frame files; the
// step after CheckOutputs.
bool PrepareOutputs(const Options& options, std::string* error);

// A file that appears under its name only once it is complete: written to a
// hidden temporary file beside it and renamed into place by Commit. Until
// then a file of that name stays as it was, and a failure leaves nothing.
// A path to something other than a regular file (/dev/stdout, a FIFO) is
// written in place, as a stream cannot be replaced; through a symbolic link,
// the file it points to is replaced and the link stays.
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
};

}  // namespace capture

#endif  // ORVIX_TOOLS_CAPTURE_OUTPUT_H
