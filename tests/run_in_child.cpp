// RunInChild: the child's own result printer writes its failures, each at its
// file and line, under the running test's name; the parent fails the test
// when the child had a failure, crashed or left early.
#include "run_in_child.h"

#include "Draw.h"
#include "Main.h"

#ifdef _WIN32
void RunInChild(const std::function<void()>& body) { body(); }
#else
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

}  // namespace

void RunInChild(const std::function<void()>& body) {
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t pid = fork();
  ASSERT_NE(pid, -1) << std::strerror(errno);
  if (pid == 0) {
    kAtStart.Restore();
    body();
    std::fflush(nullptr);
    _exit(::testing::Test::HasFailure() ? 1 : 0);  // no static destructors, no gtest epilogue
  }
  int status = 0;
  while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) {
    ADD_FAILURE() << "the test's child process was killed by signal " << WTERMSIG(status) << " ("
                  << strsignal(WTERMSIG(status)) << ")";
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    ADD_FAILURE() << "the test's child process failed: its failures are above";
  }
}
#endif
