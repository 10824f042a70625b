// Exact signed 128-bit arithmetic, only as much as the polygon fill and its
// brute-force reference need: the product of two 64-bit values, comparison,
// and floor division by a positive 64-bit value.
//
// Two implementations with one interface. `native` is the compiler's
// __int128 (GCC and Clang on 64-bit targets); `portable` is two 64-bit words,
// for compilers without it (32-bit x86 and ARM). `wide::` names the native
// one where it exists and the portable one elsewhere, or everywhere when
// ORVIX_PORTABLE_INT128 is defined: the tests build the fill a second time
// that way, so that the portable path is checked on every run.
#ifndef ORVIX_PLATFORM_INT128_H
#define ORVIX_PLATFORM_INT128_H

#include <cstdint>

namespace wide {

namespace portable {

// Two's complement in two words: the value is hi 2^64 + lo, with hi's top bit
// as the sign.
struct Int128 {
  std::uint64_t hi;
  std::uint64_t lo;
};

// |a|, right for INT64_MIN too (2^63 fits unsigned).
inline std::uint64_t Magnitude(std::int64_t a) {
  return a < 0 ? 0 - static_cast<std::uint64_t>(a) : static_cast<std::uint64_t>(a);
}

inline Int128 Negate(Int128 v) {
  const std::uint64_t lo = ~v.lo + 1;
  return {~v.hi + (lo == 0 ? 1u : 0u), lo};
}

// The full product of two unsigned 64-bit values, from four 32 x 32 -> 64
// products. The middle sum stays below 3 2^32: no carry is lost.
inline Int128 MultiplyUnsigned(std::uint64_t a, std::uint64_t b) {
  constexpr std::uint64_t kLow = 0xFFFFFFFFu;
  const std::uint64_t a0 = a & kLow, a1 = a >> 32;
  const std::uint64_t b0 = b & kLow, b1 = b >> 32;
  const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const std::uint64_t middle = (p00 >> 32) + (p01 & kLow) + (p10 & kLow);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & kLow)};
}

// a b, exact for any two 64-bit values (|a b| <= 2^126).
inline Int128 Multiply(std::int64_t a, std::int64_t b) {
  const Int128 p = MultiplyUnsigned(Magnitude(a), Magnitude(b));
  return (a < 0) != (b < 0) ? Negate(p) : p;
}

inline bool Less(Int128 a, Int128 b) {
  // Signed order of the high words: flipping the sign bit makes it unsigned order.
  constexpr std::uint64_t kSign = std::uint64_t{1} << 63;
  if (a.hi != b.hi) return (a.hi ^ kSign) < (b.hi ^ kSign);
  return a.lo < b.lo;
}

// floor(n / d) for d > 0, with the remainder n - floor(n / d) d (in [0, d))
// in *remainder. The quotient must fit in 64 bits, as it does wherever the
// fill divides (|quotient| <= 2^32).
inline std::int64_t FloorDivide(Int128 n, std::int64_t d, std::int64_t* remainder) {
  const bool negative = (n.hi >> 63) != 0;
  const Int128 m = negative ? Negate(n) : n;  // |n|; n > -2^127 here
  const auto divisor = static_cast<std::uint64_t>(d);
  // Long division, high word first, then the low word bit by bit. The
  // running remainder stays below d < 2^63, so doubling it cannot overflow.
  std::uint64_t r = m.hi % divisor;
  std::uint64_t q = 0;
  for (int bit = 63; bit >= 0; --bit) {
    r = (r << 1) | ((m.lo >> bit) & 1u);
    q <<= 1;
    if (r >= divisor) {
      r -= divisor;
      q |= 1u;
    }
  }
  if (!negative) {
    *remainder = static_cast<std::int64_t>(r);
    return static_cast<std::int64_t>(q);
  }
  // -(q d + r) = -(q + 1) d + (d - r) when r > 0.
  // Negated in unsigned arithmetic: q may be 2^63, whose negation -2^63 is
  // the one quotient that has no positive int64_t.
  if (r == 0) {
    *remainder = 0;
    return static_cast<std::int64_t>(0 - q);
  }
  *remainder = static_cast<std::int64_t>(divisor - r);
  return static_cast<std::int64_t>(~q);  // -q - 1
}

}  // namespace portable

#ifdef __SIZEOF_INT128__
namespace native {

__extension__ typedef __int128 Int128;

inline Int128 Multiply(std::int64_t a, std::int64_t b) { return static_cast<Int128>(a) * b; }

inline bool Less(Int128 a, Int128 b) { return a < b; }

inline std::int64_t FloorDivide(Int128 n, std::int64_t d, std::int64_t* remainder) {
  auto q = static_cast<std::int64_t>(n / d);
  auto r = static_cast<std::int64_t>(n % d);  // C++ division truncates: r has n's sign
  if (r < 0) {
    --q;
    r += d;
  }
  *remainder = r;
  return q;
}

}  // namespace native
#endif

#if defined(__SIZEOF_INT128__) && !defined(ORVIX_PORTABLE_INT128)
using native::FloorDivide;
using native::Int128;
using native::Less;
using native::Multiply;
#else
using portable::FloorDivide;
using portable::Int128;
using portable::Less;
using portable::Multiply;
#endif

}  // namespace wide

#endif  // ORVIX_PLATFORM_INT128_H
