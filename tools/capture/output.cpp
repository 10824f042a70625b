// Outputs: checked, prepared, and written whole or not at all.
#include "capture/output.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string_view>
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
    *error = "cannot read folder " + Quote(dir.string()) + ": " + ec.message();
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
  // A relative path none of which exists starts from the working folder,
  // which may itself be gone (then mkdir says ENOENT, and so do we).
  if (existing.empty()) existing = ".";
  if (existing != path) {
    const int err = !fs::is_directory(existing, ec) ? ENOTDIR : Probe(existing, true);
    if (err != 0) *error = "cannot create folder " + Quote(dir) + ": " + Reason(err);
    return err == 0;
  }
  if (!fs::is_directory(path, ec)) {
    *error = Quote(dir) + " is not a folder";
    return false;
  }
  // A folder another recording is writing: refused before it is read.
  FolderLock lock;
  if (const int err = lock.Lock(dir)) {
    *error = InUseOrCannotLock(dir, err);
    return false;
  }
  if (const int err = Probe(path, false)) {
    *error = "cannot write in folder " + Quote(dir) + ": " + Reason(err);
    return false;
  }
  std::vector<std::string> old;
  if (!FrameFilesIn(path, &old, error)) return false;
  if (!old.empty() && !o.force) {
    *error = Quote(dir) + " already holds " +
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
  const Target target = Resolve(name);
  if (target.error != 0) {
    *error = "cannot create " + Quote(name) + ": " + Reason(target.error);
    return false;
  }
  if (target.fd >= 0) return true;  // written in place
  const fs::path gif = Normal(target.path);
  if (!o.out_dir.empty()) {
    const fs::path out = Normal(o.out_dir);
    if (IsWithin(out, gif)) {
      *error = "--gif " + Quote(name) + " is a folder on the path of --out " + Quote(o.out_dir);
      return false;
    }
    if (gif.parent_path() == out && IsFrameFileName(gif.filename().string())) {
      *error = "--gif " + Quote(name) + " is named like a frame file of --out " + Quote(o.out_dir);
      return false;
    }
  }
  std::error_code ec;
  const fs::file_status status = fs::status(gif, ec);
  if (fs::is_directory(status)) {
    *error = "cannot create " + Quote(name) + ": " + Reason(EISDIR);
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
  if (err != 0) *error = "cannot create " + Quote(name) + ": " + Reason(err);
  return err == 0;
}

// `/proc/<this pid>/fd` or `/proc/<this pid>/task/<tid>/fd`, as canonical
// gives /dev/fd, /proc/self/fd and /proc/thread-self/fd.
bool IsOwnFdFolder(const fs::path& dir) {
  const std::string own = "/proc/" + std::to_string(getpid());
  const std::string text = dir.string();
  if (text == own + "/fd") return true;
  const std::string task = own + "/task/";
  if (text.compare(0, task.size(), task) != 0 || text.size() < task.size() + 4) return false;
  const std::string rest = text.substr(task.size());
  const std::size_t slash = rest.find('/');
  return slash != std::string::npos && slash > 0 && rest.substr(slash) == "/fd" &&
         std::all_of(rest.begin(), rest.begin() + static_cast<long>(slash),
                     [](char c) { return c >= '0' && c <= '9'; });
}

bool AllDigits(const std::string& s) {
  return !s.empty() && s.size() < 10 &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// mkstemp's six characters.
bool IsTempSuffix(std::string_view s) {
  return s.size() == 6 && std::all_of(s.begin(), s.end(), [](char c) {
           return std::isalnum(static_cast<unsigned char>(c)) != 0;
         });
}

// Removes the temporary files in `dir` (empty: the working folder) made for
// names `wanted` accepts and locked by no one.
void RemoveStaleIn(const fs::path& dir, const std::function<bool(const std::string&)>& wanted,
                   std::vector<std::string>* removed) {
  std::error_code ec;
  for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 9 || name[0] != '.' || name[name.size() - 7] != '.' ||
        !IsTempSuffix(std::string_view(name).substr(name.size() - 6)) ||
        !wanted(name.substr(1, name.size() - 8)))
      continue;
    const std::string path = (dir / name).string();
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        unlink(path.c_str()) == 0)
      removed->push_back(path);
    close(fd);
  }
}

}  // namespace

std::string InUseOrCannotLock(const std::string& dir, int err) {
  if (err == EWOULDBLOCK)
    return Quote(dir) + " is in use by another orvix-capture; one recording per folder at a time";
  return "cannot lock folder " + Quote(dir) + ": " + Reason(err);
}

Target Resolve(const std::string& path) {
  // One that was closed when the program started is /dev/null by now.
  const auto descriptor = [&path](int fd) -> Target {
    const int flags = fcntl(fd, F_GETFL);
    if (flags == -1 || WasClosed(fd) || (flags & O_ACCMODE) == O_RDONLY) return {path, -1, EBADF};
    return {path, fd, 0};
  };
  if (path == "-") return descriptor(STDOUT_FILENO);
  fs::path p = path;
  for (int links = 0; links < 40; ++links) {
    const fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
    std::error_code ec;
    const fs::path real_dir = fs::canonical(dir, ec);
    const std::string leaf = p.filename().string();
    if (!ec && AllDigits(leaf) && IsOwnFdFolder(real_dir)) return descriptor(std::stoi(leaf));
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {p.string(), -1, 0};
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = readlink(p.c_str(), link.data(), link.size());
    if (n < 0) return {path, -1, errno};
    link.resize(static_cast<std::size_t>(n));
    p = fs::path(link).is_absolute() || !p.has_parent_path() ? fs::path(link)
                                                             : p.parent_path() / link;
  }
  return {path, -1, ELOOP};
}

std::string Reason(int err) { return err != 0 ? std::strerror(err) : "write failed"; }

int LastError() { return errno != 0 ? errno : EIO; }

bool CheckOutputs(const Options& options, std::string* error) {
  return (options.out_dir.empty() || CheckFolder(options, error)) &&
         (options.gif_path.empty() || CheckGif(options, error));
}

int CreatedFolders::Create(const std::string& dir) {
  std::vector<fs::path> missing;
  std::error_code ec;
  for (fs::path p = fs::path(dir).lexically_normal(); !p.empty() && p != p.root_path();
       p = p.parent_path()) {
    if (p.filename().empty() || p.filename() == "." || p.filename() == "..") {
      if (p.has_parent_path() && p.filename().empty()) continue;  // a trailing separator
      break;
    }
    if (fs::exists(fs::symlink_status(p, ec))) break;
    missing.push_back(p);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    // The mode mkdir gives, less the umask, as for every folder made.
    if (mkdir(it->c_str(), 0777) != 0) {
      const int err = errno;
      if (err == EEXIST && fs::is_directory(*it, ec)) continue;  // made by another run
      RemoveEmpty();
      return err;
    }
    made_.push_back(it->string());
    guards_.push_back(std::make_unique<RemoveOnSignal>(it->string(), true));
  }
  return 0;
}

void CreatedFolders::RemoveEmpty() {
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) rmdir(it->c_str());
  Keep();
}

void CreatedFolders::Keep() {
  made_.clear();
  guards_.clear();
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) close(fd_);
}

int FolderLock::Lock(const std::string& dir) {
  if (fd_ >= 0) close(fd_);
  fd_ = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return errno;
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return 0;
  const int err = errno == EAGAIN ? EWOULDBLOCK : errno;
  close(fd_);
  fd_ = -1;
  return err;
}

bool PrepareOutputs(const Options& options, CreatedFolders* created, FolderLock* lock,
                    std::string* error) {
  if (options.out_dir.empty()) return true;
  const std::string& dir = options.out_dir;
  if (const int err = created->Create(dir)) {
    *error = "cannot create folder " + Quote(dir) + ": " + Reason(err);
    return false;
  }
  if (const int err = lock->Lock(dir)) {
    // Whoever holds it may be writing in a folder this run made: it stays.
    created->Keep();
    *error = InUseOrCannotLock(dir, err);
    return false;
  }
  if (!options.force) return true;
  std::vector<std::string> old;
  if (!FrameFilesIn(dir, &old, error)) return false;
  std::error_code ec;
  for (const std::string& name : old) {
    if (!fs::remove(fs::path(dir) / name, ec) && ec) {
      *error = "cannot remove " + Quote((fs::path(dir) / name).string()) + ": " + ec.message();
      return false;
    }
  }
  return true;
}

std::vector<std::string> RemoveStaleTemporaries(const Options& options) {
  std::vector<std::string> removed;
  if (!options.out_dir.empty())
    RemoveStaleIn(
        options.out_dir,
        [](const std::string& name) { return IsFrameFileName(name) || name == "orvix-capture"; },
        &removed);
  if (!options.gif_path.empty()) {
    const Target target = Resolve(options.gif_path);
    if (target.fd < 0 && target.error == 0) {
      const fs::path gif(target.path);
      const std::string leaf = gif.filename().string();
      RemoveStaleIn(
          gif.parent_path(), [&leaf](const std::string& name) { return name == leaf; }, &removed);
    }
  }
  return removed;
}

int OutputFile::Open(const std::string& path) {
  Discard();
  const Target target = Resolve(path);
  if (target.error != 0) return target.error;
  if (target.fd >= 0) {
    // Written where the descriptor points, at its offset and with its flags:
    // an appending redirection keeps what was there.
    const int fd = fcntl(target.fd, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) return errno;
    if (!(file_ = fdopen(fd, "wb"))) {
      const int err = errno;
      close(fd);
      return err;
    }
    return 0;
  }
  target_ = target.path;
  std::error_code ec;
  const fs::file_status status = fs::status(target_, ec);
  if (fs::is_directory(status)) return EISDIR;
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    errno = 0;
    file_ = std::fopen(target_.c_str(), "wb");
    return file_ ? 0 : LastError();
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
  const fs::path where(target_);
  const std::string pattern =
      (where.parent_path() / ("." + where.filename().string() + kTempSuffix)).string();
  // Locked at once; if a cleanup took the name between mkstemp and flock,
  // the file is gone from under it: try another name.
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string temp = pattern;
    const int fd = mkstemp(temp.data());
    if (fd < 0) return errno;
    guard_.Set(temp, false);
    struct stat opened, named;
    const bool ours = flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &opened) == 0 &&
                      stat(temp.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
                      opened.st_dev == named.st_dev;
    if (!ours) {
      close(fd);
      guard_.Clear();
      continue;
    }
    lock_fd_ = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (lock_fd_ < 0 || fchmod(fd, mode) != 0 || !(file_ = fdopen(fd, "wb"))) {
      const int err = errno;
      close(fd);
      temp_ = temp;
      Discard();
      return err;
    }
    temp_ = temp;
    return 0;
  }
  return EEXIST;
}

int OutputFile::Commit() {
  if (!file_) return EBADF;
  errno = 0;
  int err = std::fflush(file_) != 0 || std::ferror(file_) ? LastError() : 0;
  errno = 0;
  if (std::fclose(file_) != 0 && err == 0) err = LastError();
  file_ = nullptr;
  if (err == 0 && !temp_.empty() && std::rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
  if (err == 0) {
    temp_.clear();
    guard_.Clear();
  }
  Discard();
  return err;
}

void OutputFile::Discard() {
  if (file_) {
    // What is still buffered is dropped, not written: a stream written in
    // place may be a pipe nobody reads, where a flush would block.
    __fpurge(file_);
    std::fclose(file_);
  }
  file_ = nullptr;
  if (!temp_.empty()) std::remove(temp_.c_str());
  temp_.clear();
  guard_.Clear();
  if (lock_fd_ >= 0) close(lock_fd_);
  lock_fd_ = -1;
}

}  // namespace capture
