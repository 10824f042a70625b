// For the recorder's tests and the golden frames': a folder per test, and PNG
// files written and read back.
#ifndef ORVIX_TESTS_CAPTURE_HARNESS_H
#define ORVIX_TESTS_CAPTURE_HARNESS_H

#include <gtest/gtest.h>
#include <stb_image.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/image.h"

namespace harness {

// An empty folder of the current test's own, under the build tree.
inline std::string TestOutputDir() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string dir =
      std::string(ORVIX_TEST_OUTPUT_DIR) + "/" + test->test_suite_name() + "." + test->name();
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// A PNG file, for the golden frames and the comparison's own images.
inline bool WritePng(const std::string& path, const std::uint32_t* pixels, int width, int height) {
  const std::vector<unsigned char> png = capture::EncodePng(pixels, width, height);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  out.close();
  return !png.empty() && out.good();
}

// `count` pixels of three bytes each, red first, as 0x00BBGGRR: byte by byte,
// so the same on a big-endian target.
inline std::vector<std::uint32_t> Pixels(const unsigned char* rgb, std::size_t count) {
  std::vector<std::uint32_t> pixels(count);
  for (std::size_t i = 0; i < count; ++i, rgb += 3)
    pixels[i] = std::uint32_t{rgb[0]} | std::uint32_t{rgb[1]} << 8 | std::uint32_t{rgb[2]} << 16;
  return pixels;
}

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00BBGGRR, as presented
};

// False when the file is missing or not an image.
inline bool LoadPng(const std::string& path, Image* image) {
  int channels = 0;
  unsigned char* rgb = stbi_load(path.c_str(), &image->width, &image->height, &channels, 3);
  if (rgb) image->pixels = Pixels(rgb, std::size_t(image->width) * image->height);
  stbi_image_free(rgb);
  return rgb != nullptr;
}

}  // namespace harness

#endif  // ORVIX_TESTS_CAPTURE_HARNESS_H
