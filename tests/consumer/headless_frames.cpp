// ORVIX's program for three frames on the headless backend, built from the
// installed package. Writes the first frame as a binary PPM, which
// scripts/package-check compares with the golden first frame.
#include <cstdint>
#include <cstdio>

#include "Main.h"
#include "platform/headless.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: headless_frames FIRST_FRAME.ppm\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  constexpr int kFrames = 3;
  constexpr int kSize = 512;
  headless::Reset();
  headless::CloseAfterFrames(kFrames);
  headless::OnPresent([out](int frame, const std::uint32_t* pixels) {
    if (frame != 1) return;
    std::fprintf(out, "P6\n%d %d\n255\n", kSize, kSize);
    for (int i = 0; i < kSize * kSize; ++i) {  // 0x00BBGGRR to red, green, blue
      const unsigned char rgb[3] = {static_cast<unsigned char>(pixels[i]),
                                    static_cast<unsigned char>(pixels[i] >> 8),
                                    static_cast<unsigned char>(pixels[i] >> 16)};
      std::fwrite(rgb, 1, sizeof rgb, out);
    }
  });

  static char command_line[] = "";
  const int status = WinMain(nullptr, nullptr, command_line, 1);
  const bool write_failed = std::ferror(out) != 0;
  const bool written = std::fclose(out) == 0 && !write_failed;
  if (status != 0 || headless::FramesPresented() != kFrames || !written) {
    std::fprintf(stderr, "headless_frames: WinMain returned %d after %d of %d frames%s\n", status,
                 headless::FramesPresented(), kFrames, written ? "" : "; the PPM is incomplete");
    return 1;
  }
  return 0;
}
