// Logarithms to double-double precision for the tail exponents of the distribution routines.
#include "numerics/exact_arithmetic.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace {

// ln 2 split so that e ln2Hi is exact for every binary exponent e of a double.
constexpr double ln2Hi = 6.93147180369123816490e-01;  // 32 significant bits
constexpr double ln2Lo = 1.90821492927058770002e-10;
constexpr double sqrtHalf = 0.70710678118654752440;
constexpr double sqrtTwo = 1.41421356237309504880;

// (atanh r - r)/r^3 = 1/3 + t/5 + t^2/7 + ... in t = r^2, for t <= (3 - 2 sqrt 2)^2 = 0.0295,
// where the terms left out are below 2^-53 of the sum (and the tail is at most 1% of ln m).
// Evaluated in pairs (Estrin's scheme) to keep the chain of dependent operations short.
double atanhTail(double t) {
  const double t2 = t * t;
  const double t4 = t2 * t2;
  const double low = (1.0 / 3 + t * (1.0 / 5)) + t2 * (1.0 / 7 + t * (1.0 / 9));
  const double middle = (1.0 / 11 + t * (1.0 / 13)) + t2 * (1.0 / 15 + t * (1.0 / 17));
  const double high = 1.0 / 19 + t * (1.0 / 21);
  return low + t4 * (middle + t4 * high);
}

// 2 atanh(num/den) for |num/den| <= 0.172, num exact and den = den.hi + den.lo: the quotient is
// carried as a double-double, and the tail 2 r^3 (1/3 + ...) is at most 1% of the result, so its
// rounding stays far below an ulp of the sum.
doubleDouble twiceAtanh(double num, doubleDouble den) {
  const double r = num / den.hi;
  const double rLo = (std::fma(-r, den.hi, num) - r * den.lo) / den.hi;
  const double t = r * r;
  return fastTwoSum(r + r, 2.0 * rLo / (1.0 - t) + 2.0 * r * t * atanhTail(t));
}

}  // namespace

doubleDouble exactLog(double x) {
  // x = m 2^e with m in (sqrt(1/2), sqrt 2], read from the bits (subnormal x scaled up first).
  int e = 0;
  if (x < 0x1p-1022) {
    x *= 0x1p54;
    e = -54;
  }
  const auto bits = std::bit_cast<std::uint64_t>(x);
  e += static_cast<int>(bits >> 52) - 1023;
  double m = std::bit_cast<double>((bits & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL);
  if (m > sqrtTwo) {
    m *= 0.5;
    ++e;
  }
  // ln x = e ln 2 + ln m, ln m = 2 atanh((m - 1)/(m + 1)) with m - 1 exact.
  const doubleDouble lnm = twiceAtanh(m - 1.0, twoSum(m, 1.0));
  const double ed = e;
  const doubleDouble lead = twoSum(ed * ln2Hi, lnm.hi);
  return fastTwoSum(lead.hi, lead.lo + (ed * ln2Lo + lnm.lo));
}

doubleDouble exactLogOnePlus(double v) {
  // Near 0 straight from v, which is exact: ln(1 + v) = 2 atanh(v/(2 + v)).
  if (v >= sqrtHalf - 1.0 && v < sqrtTwo - 1.0) return twiceAtanh(v, twoSum(2.0, v));
  const doubleDouble s = twoSum(1.0, v);
  return exactLog(s.hi) + s.lo / s.hi;
}
