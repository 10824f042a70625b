// The outputs of a recording, relative to folder descriptors.
#include "capture/outputs.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <random>
#include <sstream>

namespace capture {
namespace {

// ---- What a signal removes --------------------------------------------------

// A temporary file or a made folder, by its folder's descriptor and its one
// name: the handler reads plain memory and calls unlinkat, nothing else.
enum Kind : int { kFree = 0, kFile = 1, kFolder = 2 };
struct Slot {
  volatile std::sig_atomic_t kind = kFree;
  int dir = -1;
  char name[NAME_MAX + 1] = {};
};
Slot* volatile g_slots = nullptr;
volatile std::sig_atomic_t g_slot_count = 0;
volatile std::sig_atomic_t g_interrupt = 0;
bool g_closed_at_start[3] = {false, false, false};

void RemoveRegistered() {
  Slot* const slots = g_slots;
  const int count = g_slot_count;
  // Files first; folders are registered parent first, so the deepest goes first.
  for (const int kind : {kFile, kFolder})
    for (int i = count - 1; i >= 0; --i)
      if (slots[i].kind == kind)
        unlinkat(slots[i].dir, slots[i].name, kind == kFolder ? AT_REMOVEDIR : 0);
}

// The name is written while the slot is free, and the slot is marked after.
void Arm(Slot* slot, int dir, const std::string& name, Kind kind) {
  slot->kind = kFree;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  slot->dir = dir;
  std::memcpy(slot->name, name.c_str(), std::min(name.size() + 1, sizeof(slot->name)));
  std::atomic_signal_fence(std::memory_order_seq_cst);
  slot->kind = kind;
}

void OnInterrupt(int signal) {
  if (g_interrupt == 0) g_interrupt = signal;
}

// Installed with SA_RESETHAND | SA_NODEFER: raise() ends the process as the
// signal would have, core dump included.
void OnFatal(int signal) {
  const int saved = errno;
  RemoveRegistered();
  raise(signal);
  errno = saved;
}

// Never SA_RESTART, so that a blocked write returns EINTR.
void Install(int signal, void (*handler)(int), int flags) {
  struct sigaction old {};
  if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  sigaction(signal, &action, nullptr);
}

// ---- Names, folders and files -------------------------------------------------

constexpr std::string_view kTempPrefix = ".orvix-capture-";

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

int Errno() { return errno != 0 ? errno : EIO; }

// A folder on a path: the deepest one that exists, open, and the names
// below it that are still to be made.
struct Place {
  int dir = -1;  // O_PATH; owned by State::fds
  struct stat st {};
  std::vector<std::string> missing;
  std::string shown;  // the folder as written, "" for the working folder
  bool last_failed = false;

  bool Same(const Place& o) const {
    return st.st_dev == o.st.st_dev && st.st_ino == o.st.st_ino && missing == o.missing;
  }
};

// Opens `path` one name at a time. 0, or the errno; `fds` keeps what is
// opened.
int Walk(const std::string& path, std::vector<int>* fds, Place* p) {
  p->shown = path;
  int dir = open(!path.empty() && path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  fds->push_back(dir);
  std::vector<std::string> names;
  std::istringstream parts(path);
  for (std::string name; std::getline(parts, name, '/');)
    if (!name.empty() && name != ".") names.push_back(name);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    p->last_failed = i + 1 == names.size();
    if (name.size() > NAME_MAX) return ENAMETOOLONG;
    if (!p->missing.empty()) {
      if (name == "..") return ENOENT;  // above a folder that is not there
      p->missing.push_back(name);
      continue;
    }
    const int next = openat(dir, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (next >= 0) {
      fds->push_back(dir = next);
      continue;
    }
    struct stat st;
    if (errno != ENOENT || fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return errno;
    p->missing.push_back(name);  // a dangling link is no folder to make: ENOENT above
  }
  p->last_failed = false;
  p->dir = dir;
  return fstat(dir, &p->st) == 0 ? 0 : errno;
}

// The sticky-folder rule: in a folder with mode +t, only the owner of a
// file, the owner of the folder, or root may remove or replace it.
int MayRemove(const struct stat& folder, const struct stat& file) {
  const uid_t me = geteuid();
  return (folder.st_mode & S_ISVTX) && me != 0 && me != file.st_uid && me != folder.st_uid ? EPERM
                                                                                           : 0;
}

// W_OK | X_OK on the folder itself: a read-only filesystem shows here too.
int Writable(int dir) { return faccessat(dir, ".", W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno; }

// 0; EWOULDBLOCK when another process holds it; or why it cannot be locked.
int Lock(int fd, int how) {
  if (flock(fd, how | LOCK_NB) == 0) return 0;
  return errno == EAGAIN ? EWOULDBLOCK : errno;
}

std::string InUse(const std::string& dir) {
  return Quote(dir.empty() ? "." : dir) +
         " is in use by another orvix-capture; one recording per folder at a time";
}

std::string NoLock(const std::string& dir, int err) {
  return "cannot lock folder " + Quote(dir.empty() ? "." : dir) + " (" + Reason(err) +
         "): recording without the lock, so a second orvix-capture is not kept out";
}

// A file written under a temporary name and renamed into place: registered
// before it exists, so that a signal removes it.
struct Temp {
  Slot* slot = nullptr;
  int dir = -1;
  std::string name;  // empty: none

  // Its descriptor, or minus the errno. The name, ".orvix-capture-PID-XXXXXX",
  // is short whatever the output's name, and this process's own.
  int Make(int in, mode_t mode) {
    static std::minstd_rand random(
        static_cast<unsigned>(getpid()) ^
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    dir = in;
    for (int attempt = 0; attempt < 100; ++attempt) {
      name = std::string(kTempPrefix) + std::to_string(getpid()) + "-";
      for (int i = 0; i < 6; ++i) name += kChars[random() % 62];
      Arm(slot, dir, name, kFile);
      const int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      const int err = errno;
      if (fd >= 0) return fd;
      slot->kind = kFree;
      name.clear();
      if (err != EEXIST) return -err;
    }
    return -EEXIST;
  }
  // 0, or the errno; the temporary file is gone either way.
  int Put(const std::string& as) {
    const int err = renameat(dir, name.c_str(), dir, as.c_str()) == 0 ? 0 : errno;
    if (err == 0) name.clear();
    Drop();
    return err;
  }
  void Drop() {
    if (!name.empty()) unlinkat(dir, name.c_str(), 0);
    name.clear();
    if (slot) slot->kind = kFree;
  }
};

// Removes the ".orvix-capture-*" files a killed recording left in a folder
// this run holds alone.
void RemoveLeftovers(int dir, const std::string& shown, std::vector<std::string>* notes) {
  DIR* listing = fdopendir(openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listing) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(listing))
    if (std::string_view(entry->d_name).substr(0, kTempPrefix.size()) == kTempPrefix)
      names.push_back(entry->d_name);
  closedir(listing);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    struct stat st;
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        unlinkat(dir, name.c_str(), 0) == 0)
      notes->push_back("removed " + Quote(Join(shown, name)) +
                       ", left by a recording that was killed");
  }
}

}  // namespace

// ---- The run's state ------------------------------------------------------------

// The GIF or the trace.
struct Target {
  const char* option = "";  // "--gif", "--trace"
  std::string given;        // as on the command line
  Place at;
  std::string name;
  int descriptor = -1;    // one of this process's, written in place
  bool in_place = false;  // an existing FIFO or device, opened by name
  int mode = -1;          // of the file replaced; -1: a new file, 0666 less the umask
  int lock = -1;          // the folder, opened to be locked (shared)
  int lock_error = 0;     // why it could not be locked: it is not, then
  bool alone = false;     // held exclusively until its leftovers are removed
  Temp temp;
  std::FILE* stream = nullptr;

  bool replaced() const { return !given.empty() && descriptor < 0 && !in_place; }
  bool Fail(int err, std::string* error) const {
    *error = "cannot create " + Quote(given) + ": " + Reason(err);
    return false;
  }
};

struct Outputs::State {
  std::vector<int> fds;     // every folder opened, closed at the end
  std::vector<Slot> slots;  // sized by Check, for this run
  // --out
  std::string out;
  Place out_at;
  int out_dir = -1;  // the folder, O_RDONLY, locked
  int out_lock_error = 0;
  std::vector<std::string> old_frames;
  bool force = false;
  Temp png;
  int png_fd = -1;
  std::vector<Slot*> made;  // folders this run made, parent first
  Target gif, trace;

  ~State() {
    if (g_slots == slots.data()) {
      g_slot_count = 0;
      std::atomic_signal_fence(std::memory_order_seq_cst);
      g_slots = nullptr;
    }
    for (const int fd : fds) close(fd);
  }
  int Keep(int fd) {
    if (fd >= 0) fds.push_back(fd);
    return fd;
  }
  bool CheckOut(std::string* error);
  bool CheckTarget(Target* t, std::string* error);
  bool MakeFolders(std::string* error);
  bool Open(Target* t, std::vector<std::string>* notes, std::string* error);
  void Discard(Target* t);
};

bool IsFrameFileName(std::string_view name) {
  constexpr std::string_view kPrefix = "frame-", kSuffix = ".png";
  if (name.size() <= kPrefix.size() + kSuffix.size() || name.substr(0, kPrefix.size()) != kPrefix ||
      name.substr(name.size() - kSuffix.size()) != kSuffix)
    return false;
  return std::all_of(name.begin() + kPrefix.size(), name.end() - kSuffix.size(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

void GuardStandardStreams() {
  for (int fd = 0; fd < 3; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    g_closed_at_start[fd] = true;
    open("/dev/null", O_RDWR);  // the lowest free descriptor: this one
  }
}

bool WasClosed(int fd) { return fd >= 0 && fd < 3 && g_closed_at_start[fd]; }

void InstallSignalHandlers() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) Install(signal, OnInterrupt, 0);
  for (int signal : {SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF})
    Install(signal, OnFatal, SA_RESETHAND | SA_NODEFER);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // A crash leaves nothing either (the sanitizers keep these for their reports).
  for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
    Install(signal, OnFatal, SA_RESETHAND | SA_NODEFER);
#endif
}

int InterruptSignal() { return g_interrupt; }

std::string Reason(int err) { return std::strerror(err); }

std::string Quote(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    char hex[8] = "";
    if (byte < 0x20 || byte == 0x7F) std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
    quoted += c == '\'' || c == '\\' ? std::string{'\\', c}
              : c == '\n'            ? "\\n"
              : c == '\t'            ? "\\t"
              : c == '\r'            ? "\\r"
              : hex[0] != 0          ? hex
                                     : std::string(1, c);
  }
  return quoted + "'";
}

// ---- Check: everything that can be known before the first frame --------------

bool Outputs::State::CheckOut(std::string* error) {
  const auto fail = [&](const std::string& line) {
    *error = line;
    return false;
  };
  if (const int err = Walk(out, &fds, &out_at)) {
    if (err == ENOTDIR && out_at.last_failed) return fail(Quote(out) + " is not a folder");
    return fail("cannot create folder " + Quote(out) + ": " + Reason(err));
  }
  if (!out_at.missing.empty()) {
    // A folder made here gets 0777 less the umask: it must let this run in.
    const mode_t mask = umask(0);
    umask(mask);
    if ((mask & 0700) != 0) {
      char octal[16];
      std::snprintf(octal, sizeof(octal), "%04o", static_cast<unsigned>(mask));
      return fail("cannot create folder " + Quote(out) + ": the umask " + octal +
                  " would shut this run out of it");
    }
    if (const int err = Writable(out_at.dir))
      return fail("cannot create folder " + Quote(out) + ": " + Reason(err));
    return true;
  }
  out_dir = Keep(openat(out_at.dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (out_dir < 0) return fail("cannot read folder " + Quote(out) + ": " + Reason(errno));
  // A folder another recording is writing: refused before it is read.
  out_lock_error = Lock(out_dir, LOCK_EX);
  if (out_lock_error == EWOULDBLOCK) return fail(InUse(out));
  if (const int err = Writable(out_dir))
    return fail("cannot write in folder " + Quote(out) + ": " + Reason(err));
  DIR* listing = fdopendir(dup(out_dir));
  if (!listing) return fail("cannot read folder " + Quote(out) + ": " + Reason(errno));
  errno = 0;
  while (const dirent* entry = readdir(listing))
    if (IsFrameFileName(entry->d_name)) old_frames.push_back(entry->d_name);
  const int err = errno;
  closedir(listing);
  if (err != 0) return fail("cannot read folder " + Quote(out) + ": " + Reason(err));
  std::sort(old_frames.begin(), old_frames.end());
  if (!old_frames.empty() && !force) {
    return fail(Quote(out) + " already holds " +
                (old_frames.size() == 1 ? "a frame file, " + old_frames.front()
                                        : std::to_string(old_frames.size()) + " frame files, " +
                                              old_frames.front() + " to " + old_frames.back()) +
                "; --force removes the frame files before recording");
  }
  // --force removes all of them or none.
  for (const std::string& name : old_frames) {
    struct stat st;
    const int why = fstatat(out_dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ? errno
                    : S_ISDIR(st.st_mode)                                         ? EISDIR
                                          : MayRemove(out_at.st, st);
    if (why != 0) return fail("cannot remove " + Quote(Join(out, name)) + ": " + Reason(why));
  }
  return true;
}

bool Outputs::State::CheckTarget(Target* t, std::string* error) {
  std::string path = t->given;
  bool resolved = false;
  // Follows the links to the file itself (one that dangles is written
  // through, as a shell's redirection does).
  for (int links = 0; links < 40 && !resolved && t->descriptor < 0; ++links) {
    if (path == "-") {
      t->descriptor = STDOUT_FILENO;
      break;
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? ""
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    t->name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (t->name.empty() || t->name == "." || t->name == "..") return t->Fail(EISDIR, error);
    t->at = Place{};
    if (const int err = Walk(folder, &fds, &t->at)) return t->Fail(err, error);
    if (!t->at.missing.empty()) break;  // made by --out, or nowhere: below
    struct stat own, st;
    if (t->name.find_first_not_of("0123456789") == std::string::npos &&
        stat("/proc/self/fd", &own) == 0 && own.st_dev == t->at.st.st_dev &&
        own.st_ino == t->at.st.st_ino) {
      t->descriptor = t->name.size() < 10 ? std::stoi(t->name) : INT_MAX;
    } else if (fstatat(t->at.dir, t->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return t->Fail(errno, error);
      resolved = true;
    } else if (S_ISLNK(st.st_mode)) {
      std::string link(PATH_MAX, '\0');
      const ssize_t n = readlinkat(t->at.dir, t->name.c_str(), link.data(), link.size());
      if (n < 0) return t->Fail(errno, error);
      link.resize(static_cast<std::size_t>(n));
      path = link[0] == '/' || folder.empty() ? link : Join(folder, link);
    } else if (S_ISDIR(st.st_mode)) {
      return t->Fail(EISDIR, error);
    } else if (!S_ISREG(st.st_mode)) {
      t->in_place = true;  // a stream cannot be replaced
      return true;
    } else {
      if (const int err = MayRemove(t->at.st, st)) return t->Fail(err, error);
      t->mode = static_cast<int>(st.st_mode & 07777);
      resolved = true;
    }
  }
  if (t->descriptor >= 0) {
    // One that was closed at start is /dev/null by now.
    const int flags = fcntl(t->descriptor, F_GETFL);
    if (flags == -1 || WasClosed(t->descriptor) || (flags & O_ACCMODE) == O_RDONLY)
      return t->Fail(EBADF, error);
    if (t != &gif || force || !isatty(t->descriptor)) return true;
    *error = std::string("--gif ") + (t->given == "-" ? "-" : Quote(t->given)) +
             " would write binary to a terminal: redirect it to a file (--gif - > FILE), or "
             "add --force";
    return false;
  }
  if (!resolved && t->at.missing.empty()) return t->Fail(ELOOP, error);
  // Whether `names` below t's folder are the first of the folders --out makes.
  const auto made_by_out = [&](std::vector<std::string> names) {
    return !out.empty() && t->at.st.st_dev == out_at.st.st_dev &&
           t->at.st.st_ino == out_at.st.st_ino && names.size() <= out_at.missing.size() &&
           std::equal(names.begin(), names.end(), out_at.missing.begin());
  };
  std::vector<std::string> path_to_file = t->at.missing;
  path_to_file.push_back(t->name);
  const std::string clash = made_by_out(path_to_file) ? " is a folder on the path of --out "
                            : !out.empty() && t->at.Same(out_at) && IsFrameFileName(t->name)
                                ? " is named like a frame file of --out "
                                : "";
  if (!clash.empty()) {
    *error = t->option + (" " + Quote(t->given)) + clash + Quote(out);
    return false;
  }
  if (!t->at.missing.empty()) return made_by_out(t->at.missing) || t->Fail(ENOENT, error);
  if (const int err = Writable(t->at.dir)) return t->Fail(err, error);
  if (!out.empty() && t->at.Same(out_at)) return true;  // the --out folder, locked already
  if (t == &trace && gif.lock >= 0 && gif.at.Same(t->at)) return true;  // locked with the GIF
  // Shared: GIFs of many recorders may share a folder, but no recorder
  // records frames into it meanwhile. Exclusive at first, when it can be,
  // to remove what a killed run left (a failed conversion would drop the
  // lock held).
  t->lock = Keep(openat(t->at.dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  t->lock_error = t->lock < 0 ? errno : Lock(t->lock, LOCK_EX);
  t->alone = t->lock_error == 0;
  // Another run may hold it alone for the moment it takes to clear it.
  for (int i = 0; i < 50 && t->lock_error == EWOULDBLOCK; ++i) {
    if (i > 0) usleep(20000);
    t->lock_error = Lock(t->lock, LOCK_SH);
  }
  if (t->lock_error != EWOULDBLOCK) return true;
  *error = InUse(t->at.shown);
  return false;
}

Outputs::Outputs() : s_(std::make_unique<State>()) {}

Outputs::~Outputs() { Abandon(); }

bool Outputs::Check(const Options& options, std::string* error) {
  State& s = *s_;
  s.out = options.out_dir;
  s.force = options.force;
  s.gif.option = "--gif";
  s.gif.given = options.gif_path;
  s.trace.option = "--trace";
  s.trace.given = options.trace_path;
  if (!s.out.empty() && !s.CheckOut(error)) return false;
  for (Target* t : {&s.gif, &s.trace})
    if (!t->given.empty() && !s.CheckTarget(t, error)) return false;
  if ((s.gif.descriptor >= 0 && s.gif.descriptor == s.trace.descriptor) ||
      (s.gif.replaced() && s.trace.replaced() && s.gif.at.Same(s.trace.at) &&
       s.gif.name == s.trace.name)) {
    *error = "--gif and --trace name the same file";
    return false;
  }
  // The storage a signal reads: every folder to make, and one temporary
  // file per output. Published once, with no signal in between.
  s.slots = std::vector<Slot>(s.out_at.missing.size() + 3);
  sigset_t all, saved;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &saved);
  g_slots = s.slots.data();
  g_slot_count = static_cast<int>(s.slots.size());
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  Slot* next = s.slots.data() + s.out_at.missing.size();
  s.png.slot = next++;
  s.gif.temp.slot = next++;
  s.trace.temp.slot = next;
  return true;
}

// ---- Prepare ------------------------------------------------------------------------

bool Outputs::State::MakeFolders(std::string* error) {
  int dir = out_at.dir;
  for (std::size_t i = 0; i < out_at.missing.size(); ++i) {
    const std::string& name = out_at.missing[i];
    Arm(&slots[i], dir, name, kFolder);
    if (mkdirat(dir, name.c_str(), 0777) != 0) {
      *error = "cannot create folder " + Quote(out) + ": " + Reason(errno);
      slots[i].kind = kFree;  // not this run's, if it is there at all
      return false;
    }
    made.push_back(&slots[i]);
    dir = Keep(openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir < 0) {
      *error = "cannot create folder " + Quote(out) + ": " + Reason(errno);
      return false;
    }
  }
  out_dir = dir;
  out_lock_error = Lock(out_dir, LOCK_EX);
  if (out_lock_error != EWOULDBLOCK) return true;
  *error = InUse(out);
  return false;
}

// The stream of a target, and its temporary file when it is replaced.
bool Outputs::State::Open(Target* t, std::vector<std::string>* notes, std::string* error) {
  int fd = -1;
  if (t->descriptor >= 0) {
    // Written where the descriptor points, at its offset and with its
    // flags: an appending redirection keeps what was there.
    fd = fcntl(t->descriptor, F_DUPFD_CLOEXEC, 3);
  } else if (t->in_place) {
    fd = openat(t->at.dir, t->name.c_str(), O_WRONLY | O_CLOEXEC);  // a FIFO waits for a reader
  } else {
    int dir = t->at.dir;
    for (const std::string& name : t->at.missing)  // made by --out just now
      dir = Keep(openat(dir, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (dir < 0) return t->Fail(errno, error);
    if (t->lock_error != 0) notes->push_back(NoLock(t->at.shown, t->lock_error));
    fd = t->temp.Make(dir, t->mode < 0 ? 0666 : 0600);
    if (fd < 0) return t->Fail(-fd, error);
    t->at.dir = dir;
    if (t->mode >= 0 && fchmod(fd, static_cast<mode_t>(t->mode)) != 0) {
      close(fd);
      return t->Fail(errno, error);
    }
  }
  if (fd < 0) return t->Fail(errno, error);
  if (!(t->stream = fdopen(fd, "wb"))) {
    const int err = errno;
    close(fd);
    return t->Fail(err, error);
  }
  return true;
}

bool Outputs::Prepare(std::vector<std::string>* notes, std::string* error) {
  State& s = *s_;
  std::vector<std::string> lines;
  const auto undo = [&] {
    Abandon();
    return false;
  };
  if (!s.out.empty()) {
    if (!s.out_at.missing.empty() && !s.MakeFolders(error)) return undo();
    if (s.out_lock_error != 0) lines.push_back(NoLock(s.out, s.out_lock_error));
    if (s.out_lock_error == 0) RemoveLeftovers(s.out_dir, s.out, &lines);
    s.png_fd = s.png.Make(s.out_dir, 0666);
    if (s.png_fd < 0) {
      *error = "cannot write in folder " + Quote(s.out) + ": " + Reason(-s.png_fd);
      return undo();
    }
  }
  // Leftovers go while no other recorder shares the folder.
  for (Target* t : {&s.gif, &s.trace}) {
    if (!t->alone) continue;
    RemoveLeftovers(t->lock, t->at.shown, &lines);
    Lock(t->lock, LOCK_SH);
  }
  for (Target* t : {&s.gif, &s.trace})
    if (!t->given.empty() && !s.Open(t, &lines, error)) return undo();
  // Last, as it cannot be undone; Check found each one removable.
  for (const std::string& name : s.old_frames) {
    if (unlinkat(s.out_dir, name.c_str(), 0) != 0 && errno != ENOENT) {
      *error = "cannot remove " + Quote(Join(s.out, name)) + ": " + Reason(errno);
      return undo();
    }
  }
  notes->insert(notes->end(), lines.begin(), lines.end());
  return true;
}

// ---- While recording and after -----------------------------------------------------

bool Outputs::WriteFrame(const std::string& name, const std::vector<unsigned char>& png,
                         std::string* error) {
  State& s = *s_;
  if (s.png_fd < 0) s.png_fd = s.png.Make(s.out_dir, 0666);
  int err = s.png_fd < 0 ? -s.png_fd : 0;
  for (std::size_t done = 0; err == 0 && done < png.size();) {
    const ssize_t n = write(s.png_fd, png.data() + done, png.size() - done);
    if (n < 0 && errno != EINTR) err = errno;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  if (s.png_fd >= 0 && close(s.png_fd) != 0 && err == 0) err = Errno();
  s.png_fd = -1;
  err = err != 0 ? (s.png.Drop(), err) : s.png.Put(name);
  if (err == 0) return true;
  *error = "cannot write " + Quote(Join(s.out, name)) + ": " + Reason(err);
  return false;
}

std::FILE* Outputs::gif() const { return s_->gif.stream; }
std::FILE* Outputs::trace() const { return s_->trace.stream; }

bool Outputs::Commit(std::string* error) {
  State& s = *s_;
  int err = 0;
  Target* failed = nullptr;
  for (Target* t : {&s.gif, &s.trace}) {
    if (!t->stream || err != 0) continue;
    errno = 0;
    err = std::fflush(t->stream) != 0 || std::ferror(t->stream) ? Errno() : 0;
    errno = 0;
    if (std::fclose(t->stream) != 0 && err == 0) err = Errno();
    t->stream = nullptr;
    failed = t;
  }
  for (Target* t : {&s.gif, &s.trace})
    if (err == 0 && !t->temp.name.empty()) {
      err = t->temp.Put(t->name);
      failed = t;
    }
  if (err == 0) return true;
  *error = "cannot write " + Quote(failed->given) + ": " + Reason(err);
  Abandon();
  return false;
}

void Outputs::State::Discard(Target* t) {
  if (t->stream) {
    // What is buffered is dropped: a stream written in place may be a pipe
    // nobody reads, where a flush would block.
    __fpurge(t->stream);
    std::fclose(t->stream);
    t->stream = nullptr;
  }
  t->temp.Drop();
}

void Outputs::Abandon() {
  State& s = *s_;
  s.Discard(&s.gif);
  s.Discard(&s.trace);
  if (s.png_fd >= 0) close(s.png_fd);
  s.png_fd = -1;
  s.png.Drop();
  // Folders this run made go again when nothing is left in them.
  for (auto it = s.made.rbegin(); it != s.made.rend(); ++it) {
    unlinkat((*it)->dir, (*it)->name, AT_REMOVEDIR);
    (*it)->kind = kFree;
  }
  s.made.clear();
}

}  // namespace capture
