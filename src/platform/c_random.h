// The C library's rand() as the GNU C library has it (its default additive
// feedback generator, x[i] = x[i - 3] + x[i - 31] mod 2^32, seeded by a
// multiplicative congruence and run 310 steps before the first result), for
// builds whose own C library has another generator: the web page gives the
// cube the path it takes on Linux, frame for frame.
#ifndef ORVIX_PLATFORM_C_RANDOM_H
#define ORVIX_PLATFORM_C_RANDOM_H

#include <cstdint>

namespace platform {

class GnuRandom {
 public:
  explicit GnuRandom(unsigned seed = 1) { Seed(seed); }

  void Seed(unsigned seed) {
    std::int64_t word = seed == 0 ? 1 : seed;  // seed 0 is taken as 1
    x_[0] = static_cast<std::uint32_t>(word);
    for (int i = 1; i < 31; ++i) {
      // 16807 x mod (2^31 - 1), on the seed's 32 bits read as signed.
      word = static_cast<std::int32_t>(x_[i - 1]);
      word = (16807 * word) % 2147483647;
      if (word < 0) word += 2147483647;
      x_[i] = static_cast<std::uint32_t>(word);
    }
    for (int i = 31; i < 34; ++i) x_[i] = x_[i - 31];
    next_ = 34;
    for (int i = 0; i < 310; ++i) Step();
  }

  // 0 to 2^31 - 1.
  int Next() { return static_cast<int>(Step() >> 1); }

 private:
  std::uint32_t Step() {
    const std::uint32_t v = x_[(next_ - 31) % 34] + x_[(next_ - 3) % 34];
    x_[next_ % 34] = v;
    ++next_;
    if (next_ >= 68) next_ -= 34;  // keeps next_ - 31 positive
    return v;
  }

  std::uint32_t x_[34];
  int next_ = 34;
};

}  // namespace platform

#endif  // ORVIX_PLATFORM_C_RANDOM_H
