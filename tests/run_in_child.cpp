// RunInChild: the child sends each failure through a pipe as a length, then
// "file\nline\nmessage"; the parent reports them as its own.
#include "run_in_child.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "Draw.h"
#include "Main.h"

#ifdef _WIN32
void RunInChild(const std::function<void()>& body) { body(); }
#else
namespace {

// The render state as the process started: Draw's globals are initialised
// before this file's dynamic initialisation, and put back in every child.
struct RenderState {
  MATRIX4D world, view, matrix;
  float cx, cy, mx, my, near_clip;
  VECTOR3D light;
  float ambient, r, g, b;
  int light_type;

  void Restore() const {
    World = world, View = view, Matrix = matrix;
    CXCamera = cx, CYCamera = cy, MultiplyX = mx, MultiplyY = my, NearClip = near_clip;
    Light = light, LightAmb = ambient, LightR = r, LightG = g, LightB = b;
    LightType = light_type;
  }
};
const RenderState kAtStart = {World,    View,  Matrix,   CXCamera, CYCamera, MultiplyX, MultiplyY,
                              NearClip, Light, LightAmb, LightR,   LightG,   LightB,    LightType};

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n <= 0) return false;
    p += n, size -= static_cast<std::size_t>(n);
  }
  return true;
}

class PipeReporter : public ::testing::EmptyTestEventListener {
 public:
  explicit PipeReporter(int fd) : fd_(fd) {}
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (!result.failed()) return;
    const std::string record = std::string(result.file_name() ? result.file_name() : "") + '\n' +
                               std::to_string(result.line_number()) + '\n' + result.message();
    const std::uint32_t size = static_cast<std::uint32_t>(record.size());
    if (!WriteAll(fd_, &size, sizeof size) || !WriteAll(fd_, record.data(), size)) _exit(3);
  }

 private:
  int fd_;
};

}  // namespace

void RunInChild(const std::function<void()>& body) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    close(fds[0]);
    // The parent prints the failures; the child only sends them.
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    listeners.Append(new PipeReporter(fds[1]));
    kAtStart.Restore();
    body();
    std::fflush(nullptr);
    _exit(0);  // no static destructors, no gtest epilogue: the parent goes on
  }
  close(fds[1]);
  std::string received;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) != 0;) {
    if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    if (n < 0 && errno != EINTR) break;
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
  }
  for (std::size_t at = 0; at + sizeof(std::uint32_t) <= received.size();) {
    std::uint32_t size;
    std::memcpy(&size, received.data() + at, sizeof size);
    const std::string record = received.substr(at + sizeof size, size);
    at += sizeof size + size;
    const std::size_t a = record.find('\n'), b = record.find('\n', a + 1);
    const std::string file = record.substr(0, a);
    ADD_FAILURE_AT(file.empty() ? "unknown file" : file.c_str(),
                   std::stoi(record.substr(a + 1, b - a - 1)))
        << record.substr(b + 1);
  }
  if (WIFSIGNALED(status)) {
    ADD_FAILURE() << "the test's child process was killed by signal " << WTERMSIG(status) << " ("
                  << strsignal(WTERMSIG(status)) << ")";
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    ADD_FAILURE() << "the test's child process left early, with exit code " << WEXITSTATUS(status);
  }
}
#endif
