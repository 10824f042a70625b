// For the recorder's tests and the golden frames': a folder per test, the
// recorder run in this process or as its own program, the program's frames
// played in a child process, and PNG files written and read back.
#ifndef ORVIX_TESTS_CAPTURE_HARNESS_H
#define ORVIX_TESTS_CAPTURE_HARNESS_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/image.h"

namespace harness {

namespace fs = std::filesystem;

// An empty folder of the current test's own, under the build tree.
inline std::string TestOutputDir() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string dir =
      std::string(ORVIX_TEST_OUTPUT_DIR) + "/" + test->test_suite_name() + "." + test->name();
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// capture::Main in this process: one recording per process.
inline Outcome RunInProcess(const std::vector<std::string>& args, bool progress = false) {
  std::vector<const char*> argv = {"orvix-capture"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const int status = capture::Main(static_cast<int>(argv.size()), argv.data(), out, err, progress);
  return {status, out.str(), err.str()};
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();  // empty when the file is missing
}

// The program started in a process of its own, in folder `cwd`, with
// stdout and stderr in `logs`/stdout.txt and stderr.txt; `in_child` runs
// after those are set up and before exec (to change a limit, a stream or the
// working folder). In a cross build, under the emulator (through a shell
// that execs it, so that the pid is the program's). Returns the pid.
#ifndef ORVIX_CAPTURE_EMULATOR
#define ORVIX_CAPTURE_EMULATOR ""
#endif
constexpr bool kEmulated = sizeof(ORVIX_CAPTURE_EMULATOR) > 1;
inline pid_t Spawn(const std::vector<std::string>& args, const std::string& cwd,
                   const std::string& logs, const std::function<void()>& in_child = nullptr) {
  std::vector<const char*> argv = {ORVIX_CAPTURE_BINARY};
  if (kEmulated)
    argv = {"/bin/sh", "-c", "exec " ORVIX_CAPTURE_EMULATOR "\"$0\" \"$@\"", ORVIX_CAPTURE_BINARY};
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  const std::string out = logs + "/stdout.txt", err = logs + "/stderr.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || chdir(cwd.c_str()) != 0) _exit(126);
    close(o);
    close(e);
    if (in_child) in_child();
    execv(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  return pid;
}

// Under an emulator, stderr without the lines that qemu ("qemu: uncaught
// target signal ...") and the shell that starts it ("sh: 0: getcwd() failed")
// print themselves: they are not the program's.
inline std::string ProgramLines(const std::string& err) {
  if (!kEmulated) return err;
  std::istringstream lines(err);
  std::string out;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("qemu: ", 0) != 0 && line.rfind("sh: ", 0) != 0)
      out += line + (lines.eof() ? "" : "\n");
  return out;
}

// Waits for a spawned program: its exit status, or minus the signal that
// ended it, and what it printed.
inline Outcome Finish(pid_t pid, const std::string& logs) {
  int raw = 0;
  waitpid(pid, &raw, 0);
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? -WTERMSIG(raw) : -999;
  return {status, ReadFile(logs + "/stdout.txt"), ProgramLines(ReadFile(logs + "/stderr.txt"))};
}

// The orvix-capture program in a process of its own, in this folder, with
// stdout and stderr in files of `dir` (so stderr is not a terminal); in a
// cross build under the build's emulator (qemu-user), as ctest runs the tests.
inline Outcome RunProgram(const std::vector<std::string>& args, const std::string& dir) {
  return Finish(Spawn(args, ".", dir), dir);
}

// A PNG file, for the golden frames and the comparison's own images.
inline bool WritePng(const std::string& path, const std::uint32_t* pixels, int width, int height) {
  const std::vector<unsigned char> png = capture::EncodePng(pixels, width, height);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  out.close();
  return !png.empty() && out.good();
}

// The program's frames on the headless backend, in a child process, where
// the renderer's statics start fresh: 512 x 512 each, 0x00BBGGRR.
inline std::vector<std::vector<std::uint32_t>> PlayFrames(int frames, std::uint32_t start_tick,
                                                          const std::string& keys) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    std::FILE* out = fdopen(fds[1], "wb");
    capture::KeyScript script;
    std::string error;
    if (!keys.empty() && !capture::ParseKeyScript(keys, &script, &error)) _exit(2);
    const int status = capture::Play(frames, start_tick, script, [&](int, const std::uint32_t* p) {
      if (std::fwrite(p, 4, 512 * 512, out) != 512 * 512) _exit(3);
    });
    _exit(std::fclose(out) == 0 ? status : 3);
  }
  close(fds[1]);
  std::FILE* in = fdopen(fds[0], "rb");
  std::vector<std::vector<std::uint32_t>> out;
  for (std::vector<std::uint32_t> frame(512 * 512);
       std::fread(frame.data(), 4, frame.size(), in) == frame.size();)
    out.push_back(frame);
  std::fclose(in);
  int raw = 0;
  waitpid(pid, &raw, 0);
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << raw;
  return out;
}

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00BBGGRR, as presented
};

// False when the file is missing or not an image.
inline bool LoadPng(const std::string& path, Image* image) {
  int w = 0, h = 0, channels = 0;
  unsigned char* rgb = stbi_load(path.c_str(), &w, &h, &channels, 3);
  if (!rgb) return false;
  image->width = w;
  image->height = h;
  image->pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (std::size_t i = 0; i < image->pixels.size(); ++i) {
    image->pixels[i] = std::uint32_t{rgb[3 * i]} | std::uint32_t{rgb[3 * i + 1]} << 8 |
                       std::uint32_t{rgb[3 * i + 2]} << 16;
  }
  stbi_image_free(rgb);
  return true;
}

}  // namespace harness

#endif  // ORVIX_TESTS_CAPTURE_HARNESS_H
