// Frames to files: one PNG per frame, or all of them as one animated GIF.
// Frames are 0x00BBGGRR pixels, row by row from the top, as presented.
#ifndef ORVIX_TOOLS_CAPTURE_IMAGE_H
#define ORVIX_TOOLS_CAPTURE_IMAGE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct GifFileType;

namespace capture {

// 8-bit RGB PNG bytes; empty when out of memory.
std::vector<unsigned char> EncodePng(const std::uint32_t* pixels, int width, int height);

// How long kept frame `index` (0, 1, ...) of a GIF shows, in 1/100 s, when
// every `every`-th frame of the program's 33 ms grid is kept. Rounded on the
// running total, so that the GIF plays exactly as long as the program ran.
int GifDelay(int index, int every);

// The longest delay a GIF frame can have: a 16-bit count of 1/100 s.
constexpr int kMaxGifDelay = 65535;

// An animated GIF written one frame at a time to a stream the caller owns,
// looping forever. Each frame gets its own palette: its own colours when
// they fit in 256, else giflib's GifQuantizeBuffer. A failure's `error` is
// what failed and why, to follow the file's name: " (frame): reason", or
// ": reason" for the flush.
class GifWriter {
 public:
  GifWriter();
  ~GifWriter();  // an unfinished file is abandoned
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  // Writes the header.
  bool Open(std::FILE* file, int width, int height, std::string* error);
  // `delay_cs` from 0 to kMaxGifDelay (the options are checked for it).
  bool AddFrame(const std::uint32_t* pixels, int delay_cs, std::string* error);
  // Writes the trailer and flushes.
  bool Finish(std::string* error);
  // Writes nothing more.
  void Abandon();

 private:
  static int Write(GifFileType* gif, const unsigned char* bytes, int length);
  bool Fail(const std::string& what, int gif_error, std::string* error);

  std::FILE* file_ = nullptr;
  GifFileType* gif_ = nullptr;  // owned: closed by Finish or Abandon
  int width_ = 0;
  int height_ = 0;
  int write_errno_ = 0;  // the first failed fwrite's errno
  bool abandoning_ = false;
  std::vector<unsigned char> red_, green_, blue_, indices_;
};

}  // namespace capture

#endif  // ORVIX_TOOLS_CAPTURE_IMAGE_H
