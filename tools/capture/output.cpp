// Outputs: checked, prepared, and written whole or not at all.
#include "capture/output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace capture {
namespace {

namespace fs = std::filesystem;

// Temporary and probe files start with a dot: hidden, and never taken for a
// frame.
constexpr const char* kTempSuffix = ".XXXXXX";

// Absolute, with symbolic links resolved as far as the path exists and no
// trailing separator, so that two spellings of one place compare equal.
fs::path Normal(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) p = path;
  const fs::path resolved = fs::weakly_canonical(p, ec);
  p = ec ? p.lexically_normal() : resolved;
  if (p.filename().empty() && p.has_relative_path()) p = p.parent_path();
  return p;
}

// Whether `inner` is `outer` or lies inside it (both Normal).
bool IsWithin(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (const fs::path& part : outer) {
    if (i == inner.end() || *i != part) return false;
    ++i;
  }
  return true;
}

// Makes a file (or a folder) in `dir` and removes it: 0, or the errno.
int Probe(const fs::path& dir, bool folder) {
  std::string name = (dir / (std::string(".orvix-capture") + kTempSuffix)).string();
  if (folder) {
    if (!mkdtemp(name.data())) return errno;
    rmdir(name.c_str());
    return 0;
  }
  const int fd = mkstemp(name.data());
  if (fd < 0) return errno;
  close(fd);
  unlink(name.c_str());
  return 0;
}

// The names of the frame files in `dir`, sorted. Folders do not count: the
// recording cannot replace one anyway, and says so when it tries.
bool FrameFilesIn(const fs::path& dir, std::vector<std::string>* names, std::string* error) {
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (IsFrameFileName(name) && !fs::is_directory(it->symlink_status(ec))) names->push_back(name);
  }
  if (ec) {
    *error = "cannot read folder " + dir.string() + ": " + ec.message();
    return false;
  }
  std::sort(names->begin(), names->end());
  return true;
}

// The --out folder: there and writable, or makeable; and free of old frames.
bool CheckFolder(const Options& o, std::string* error) {
  const std::string& dir = o.out_dir;
  const fs::path path = Normal(dir);
  std::error_code ec;
  fs::path existing = path;
  while (!fs::exists(fs::symlink_status(existing, ec)) && existing.has_relative_path())
    existing = existing.parent_path();
  if (existing != path) {
    const int err = !fs::is_directory(existing, ec) ? ENOTDIR : Probe(existing, true);
    if (err != 0) *error = "cannot create folder " + dir + ": " + Reason(err);
    return err == 0;
  }
  if (!fs::is_directory(path, ec)) {
    *error = dir + " is not a folder";
    return false;
  }
  if (const int err = Probe(path, false)) {
    *error = "cannot write in folder " + dir + ": " + Reason(err);
    return false;
  }
  std::vector<std::string> old;
  if (!FrameFilesIn(path, &old, error)) return false;
  if (!old.empty() && !o.force) {
    *error = dir + " already holds " +
             (old.size() == 1 ? "a frame file, " + old.front()
                              : std::to_string(old.size()) + " frame files, " + old.front() +
                                    " to " + old.back()) +
             "; --force removes the frame files before recording";
    return false;
  }
  return true;
}

bool CheckGif(const Options& o, std::string* error) {
  const std::string& name = o.gif_path;
  const fs::path gif = Normal(name);
  if (!o.out_dir.empty()) {
    const fs::path out = Normal(o.out_dir);
    if (IsWithin(out, gif)) {
      *error = "--gif " + name + " is a folder on the path of --out " + o.out_dir;
      return false;
    }
    if (gif.parent_path() == out && IsFrameFileName(gif.filename().string())) {
      *error = "--gif " + name + " is named like a frame file of --out " + o.out_dir;
      return false;
    }
  }
  std::error_code ec;
  const fs::file_status status = fs::status(gif, ec);
  if (fs::is_directory(status)) {
    *error = "cannot create " + name + ": " + Reason(EISDIR);
    return false;
  }
  if (fs::exists(status) && !fs::is_regular_file(status)) return true;  // written in place

  const fs::path folder = gif.parent_path();
  int err = 0;
  if (!fs::exists(fs::symlink_status(folder, ec))) {
    // Made by --out before the GIF is opened.
    if (o.out_dir.empty() || !IsWithin(Normal(o.out_dir), folder)) err = ENOENT;
  } else {
    err = !fs::is_directory(folder, ec) ? ENOTDIR : Probe(folder, false);
  }
  if (err != 0) *error = "cannot create " + name + ": " + Reason(err);
  return err == 0;
}

}  // namespace

std::string Reason(int err) { return err != 0 ? std::strerror(err) : "write failed"; }

int LastError() { return errno != 0 ? errno : EIO; }

bool CheckOutputs(const Options& options, std::string* error) {
  return (options.out_dir.empty() || CheckFolder(options, error)) &&
         (options.gif_path.empty() || CheckGif(options, error));
}

bool PrepareOutputs(const Options& options, std::string* error) {
  if (options.out_dir.empty()) return true;
  const std::string& dir = options.out_dir;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) {
    *error = "cannot create folder " + dir + ": " + ec.message();
    return false;
  }
  if (!options.force) return true;
  std::vector<std::string> old;
  if (!FrameFilesIn(dir, &old, error)) return false;
  for (const std::string& name : old) {
    if (!fs::remove(fs::path(dir) / name, ec) && ec) {
      *error = "cannot remove " + (fs::path(dir) / name).string() + ": " + ec.message();
      return false;
    }
  }
  return true;
}

int OutputFile::Open(const std::string& path) {
  Discard();
  target_ = path;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::is_directory(status)) return EISDIR;
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    errno = 0;
    file_ = std::fopen(path.c_str(), "wb");
    return file_ ? 0 : LastError();
  }
  if (fs::is_symlink(fs::symlink_status(path, ec)) && fs::exists(status)) {
    const fs::path linked = fs::canonical(path, ec);
    if (!ec) target_ = linked.string();
  }

  // The mode the file would get from fopen: the old file's, or 0666 less
  // the umask for a new one (mkstemp gives 0600).
  mode_t mode = 0;
  struct stat old;
  if (stat(target_.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  const fs::path target(target_);
  std::string temp =
      (target.parent_path() / ("." + target.filename().string() + kTempSuffix)).string();
  const int fd = mkstemp(temp.data());
  if (fd < 0) return errno;
  if (fchmod(fd, mode) != 0 || !(file_ = fdopen(fd, "wb"))) {
    const int err = errno;
    close(fd);
    unlink(temp.c_str());
    return err;
  }
  temp_ = temp;
  return 0;
}

int OutputFile::Commit() {
  if (!file_) return EBADF;
  errno = 0;
  int err = std::fflush(file_) != 0 || std::ferror(file_) ? LastError() : 0;
  errno = 0;
  if (std::fclose(file_) != 0 && err == 0) err = LastError();
  file_ = nullptr;
  if (err == 0 && !temp_.empty() && std::rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
  if (err == 0) temp_.clear();
  Discard();
  return err;
}

void OutputFile::Discard() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!temp_.empty()) std::remove(temp_.c_str());
  temp_.clear();
}

}  // namespace capture
