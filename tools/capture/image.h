// Frames to files: one PNG per frame, or all of them as one animated GIF.
// Frames are 0x00BBGGRR pixels, row by row from the top, as presented.
#ifndef ORVIX_TOOLS_CAPTURE_IMAGE_H
#define ORVIX_TOOLS_CAPTURE_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "capture/output.h"

struct GifFileType;

namespace capture {

// 8-bit RGB, written whole or not at all (see OutputFile): false, with
// `error` naming the file and the reason, if any byte could not be written.
bool WritePng(const std::string& path, const std::uint32_t* pixels, int width, int height,
              std::string* error);

// How long kept frame `index` (0, 1, ...) of a GIF shows, in 1/100 s, when
// every `every`-th frame of the program's 33 ms grid is kept. Rounded on the
// running total, so that the GIF plays exactly as long as the program ran.
int GifDelay(int index, int every);

// The longest delay a GIF frame can have: a 16-bit count of 1/100 s.
constexpr int kMaxGifDelay = 65535;

// An animated GIF written one frame at a time, looping forever, that
// appears under its name only when Finish succeeds (see OutputFile). Each
// frame gets its own palette: its own colours when they fit in 256, else
// giflib's GifQuantizeBuffer.
class GifWriter {
 public:
  GifWriter();
  ~GifWriter();  // an unfinished file is abandoned
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  // Starts the file and writes the header.
  bool Open(const std::string& path, int width, int height, std::string* error);
  // `delay_cs` from 0 to kMaxGifDelay.
  bool AddFrame(const std::uint32_t* pixels, int delay_cs, std::string* error);
  // Writes the trailer and puts the file in place; its errors count too.
  bool Finish(std::string* error);
  // Leaves no file: what was there before stays.
  void Abandon();

 private:
  static int Write(GifFileType* gif, const unsigned char* bytes, int length);
  bool Fail(const std::string& what, int gif_error, std::string* error);

  OutputFile file_;
  GifFileType* gif_ = nullptr;  // owned: closed by Finish or Abandon
  std::string path_;
  int width_ = 0;
  int height_ = 0;
  int write_errno_ = 0;  // the first failed fwrite's errno
  bool abandoning_ = false;
  std::vector<unsigned char> red_, green_, blue_, indices_;
};

}  // namespace capture

#endif  // ORVIX_TOOLS_CAPTURE_IMAGE_H
