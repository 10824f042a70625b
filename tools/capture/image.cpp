// PNG through stb_image_write, GIF through giflib, through stdio so that
// every write error is seen.
#include "capture/image.h"

#include <gif_lib.h>
#include <stb_image_write.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "capture/outputs.h"

namespace capture {
namespace {

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(context);
  const auto* bytes = static_cast<const unsigned char*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

std::uint8_t Red(std::uint32_t p) { return static_cast<std::uint8_t>(p & 0xFF); }
std::uint8_t Green(std::uint32_t p) { return static_cast<std::uint8_t>((p >> 8) & 0xFF); }
std::uint8_t Blue(std::uint32_t p) { return static_cast<std::uint8_t>((p >> 16) & 0xFF); }

// The frame's own colours as the palette, when there are at most 256 of them
// (a flat-shaded frame has far fewer): the GIF frame is then lossless, where
// GifQuantizeBuffer would first cut every channel to 5 bits. Returns the
// number of colours, or 0 when they do not fit.
int ExactPalette(const std::uint32_t* pixels, std::size_t count, GifColorType* colors,
                 unsigned char* indices) {
  std::unordered_map<std::uint32_t, unsigned char> index_of;
  index_of.reserve(512);
  std::uint32_t last_color = 0;
  unsigned char last_index = 0;
  bool have_last = false;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t p = pixels[i] & 0xFFFFFFu;
    if (!have_last || p != last_color) {  // spans of one colour are the rule
      auto it = index_of.find(p);
      if (it == index_of.end()) {
        if (index_of.size() == 256) return 0;
        const auto next = static_cast<unsigned char>(index_of.size());
        colors[next] = GifColorType{Red(p), Green(p), Blue(p)};
        it = index_of.emplace(p, next).first;
      }
      last_color = p;
      last_index = it->second;
      have_last = true;
    }
    indices[i] = last_index;
  }
  return static_cast<int>(index_of.size());
}

}  // namespace

std::vector<unsigned char> EncodePng(const std::uint32_t* pixels, int width, int height) {
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<unsigned char> rgb(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    rgb[3 * i] = Red(pixels[i]);
    rgb[3 * i + 1] = Green(pixels[i]);
    rgb[3 * i + 2] = Blue(pixels[i]);
  }
  std::vector<unsigned char> png;
  if (!stbi_write_png_to_func(AppendBytes, &png, width, height, 3, rgb.data(), width * 3))
    png.clear();  // its only failure: out of memory
  return png;
}

int GifDelay(int index, int every) {
  // Kept frame i starts at i x every x 33 ms = i x every x 3.3 cs; round the
  // start times, not the durations.
  const auto start = [every](std::int64_t i) { return (i * every * 33 + 5) / 10; };
  return static_cast<int>(start(index + 1) - start(index));
}

GifWriter::GifWriter() = default;

GifWriter::~GifWriter() { Abandon(); }

void GifWriter::Abandon() {
  if (gif_) {
    // giflib writes the trailer as it closes: into nothing, as a pipe nobody
    // reads (what a signal interrupted) would block for ever.
    abandoning_ = true;
    int ignored = 0;
    EGifCloseFile(gif_, &ignored);
    gif_ = nullptr;
  }
  file_ = nullptr;
}

int GifWriter::Write(GifFileType* gif, const unsigned char* bytes, int length) {
  auto* self = static_cast<GifWriter*>(gif->UserData);
  if (self->abandoning_) return length;
  if (length <= 0) return 0;
  // A signal to stop that came just before a write to a pipe nobody reads
  // would otherwise wait for a second one.
  if (InterruptSignal() != 0) {
    self->write_errno_ = EINTR;
    return 0;
  }
  errno = 0;
  const std::size_t n = std::fwrite(bytes, 1, static_cast<std::size_t>(length), self->file_);
  if (n != static_cast<std::size_t>(length) && self->write_errno_ == 0)
    self->write_errno_ = errno != 0 ? errno : EIO;
  return static_cast<int>(n);
}

bool GifWriter::Fail(const std::string& what, int gif_error, std::string* error) {
  const std::string reason =
      write_errno_ != 0 ? Reason(write_errno_) : std::string(GifErrorString(gif_error));
  *error = " (" + what + "): " + reason;
  Abandon();
  return false;
}

bool GifWriter::Open(std::FILE* file, int width, int height, std::string* error) {
  Abandon();
  file_ = file;
  width_ = width;
  height_ = height;
  write_errno_ = 0;
  abandoning_ = false;
  int gif_error = 0;
  gif_ = EGifOpen(this, &GifWriter::Write, &gif_error);
  if (!gif_) return Fail("header", gif_error, error);
  EGifSetGifVersion(gif_, true);  // GIF89a: delays and looping are extensions
  if (EGifPutScreenDesc(gif_, width, height, 8, 0, nullptr) == GIF_ERROR)
    return Fail("header", gif_->Error, error);

  // The NETSCAPE2.0 application extension with a loop count of 0: forever.
  static const unsigned char kLoopForever[3] = {1, 0, 0};
  if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, 3, kLoopForever) == GIF_ERROR ||
      EGifPutExtensionTrailer(gif_) == GIF_ERROR)
    return Fail("header", gif_->Error, error);

  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  red_.resize(count);
  green_.resize(count);
  blue_.resize(count);
  indices_.resize(count);
  return true;
}

bool GifWriter::AddFrame(const std::uint32_t* pixels, int delay_cs, std::string* error) {
  GifColorType colors[256] = {};
  int color_count = ExactPalette(pixels, indices_.size(), colors, indices_.data());
  if (color_count == 0) {
    // More colours than a palette holds: giflib's median cut.
    for (std::size_t i = 0; i < indices_.size(); ++i) {
      red_[i] = Red(pixels[i]);
      green_[i] = Green(pixels[i]);
      blue_[i] = Blue(pixels[i]);
    }
    color_count = 256;
    if (GifQuantizeBuffer(static_cast<unsigned>(width_), static_cast<unsigned>(height_),
                          &color_count, red_.data(), green_.data(), blue_.data(), indices_.data(),
                          colors) == GIF_ERROR)
      return Fail("palette", E_GIF_ERR_NOT_ENOUGH_MEM, error);
  }

  // A GIF palette has a power-of-two size; smaller codes compress better.
  int palette_size = 2;
  while (palette_size < color_count) palette_size *= 2;
  ColorMapObject* palette = GifMakeMapObject(palette_size, colors);
  if (!palette) return Fail("palette", E_GIF_ERR_NOT_ENOUGH_MEM, error);

  GraphicsControlBlock gcb;
  gcb.DisposalMode = DISPOSE_DO_NOT;
  gcb.UserInputFlag = false;
  gcb.DelayTime = delay_cs;
  gcb.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  EGifGCBToExtension(&gcb, extension);

  // EGifPutImageDesc copies the palette.
  const bool described =
      EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_ERROR &&
      EGifPutImageDesc(gif_, 0, 0, width_, height_, false, palette) != GIF_ERROR;
  GifFreeMapObject(palette);
  if (!described) return Fail("frame", gif_->Error, error);
  for (int y = 0; y < height_; ++y) {
    if (EGifPutLine(gif_, indices_.data() + static_cast<std::size_t>(y) * width_, width_) ==
        GIF_ERROR)
      return Fail("frame", gif_->Error, error);
  }
  return true;
}

bool GifWriter::Finish(std::string* error) {
  int gif_error = 0;
  const int closed = EGifCloseFile(gif_, &gif_error);  // frees gif_ either way
  gif_ = nullptr;
  if (closed == GIF_ERROR) return Fail("trailer", gif_error, error);
  errno = 0;
  const int err = write_errno_ != 0                               ? write_errno_
                  : std::fflush(file_) != 0 || std::ferror(file_) ? (errno != 0 ? errno : EIO)
                                                                  : 0;
  file_ = nullptr;
  if (err != 0) {
    *error = ": " + Reason(err);
    Abandon();
    return false;
  }
  return true;
}

}  // namespace capture
