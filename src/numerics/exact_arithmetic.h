// Error-free sums and products and double-double values for the few ill-conditioned quantities
// of the distribution routines: exponents of tails that must survive e^w with |w| in the
// hundreds, and squares inside erfc. A double-double hi + lo carries about 106 bits.
#pragma once

#include <cmath>

struct doubleDouble {
  double hi, lo;
};

// a + b exactly, as the rounded sum and its error.
inline doubleDouble twoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly for |a| >= |b| (or a = 0).
inline doubleDouble fastTwoSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// a b exactly, as the rounded product and its error (while both stay normal numbers).
inline doubleDouble twoProduct(double a, double b) {
  const double p = a * b;
  return {p, std::fma(a, b, -p)};
}

inline doubleDouble operator-(doubleDouble a) { return {-a.hi, -a.lo}; }

inline doubleDouble operator+(doubleDouble a, doubleDouble b) {
  const doubleDouble s = twoSum(a.hi, b.hi);
  return fastTwoSum(s.hi, s.lo + (a.lo + b.lo));
}

inline doubleDouble operator+(doubleDouble a, double b) {
  const doubleDouble s = twoSum(a.hi, b);
  return fastTwoSum(s.hi, s.lo + a.lo);
}

inline doubleDouble operator-(doubleDouble a, doubleDouble b) { return a + (-b); }

// c a for a plain double c.
inline doubleDouble operator*(double c, doubleDouble a) {
  const doubleDouble p = twoProduct(c, a.hi);
  return fastTwoSum(p.hi, p.lo + c * a.lo);
}

// n/d for a double-double n, as a double-double.
inline doubleDouble dividedBy(doubleDouble n, double d) {
  const double q = n.hi / d;
  return fastTwoSum(q, (std::fma(-q, d, n.hi) + n.lo) / d);
}

// a/b for double-doubles, rounded to a double within little more than half an ulp.
inline double quotient(doubleDouble a, doubleDouble b) {
  const double q = a.hi / b.hi;
  const double rest = (std::fma(-q, b.hi, a.hi) + a.lo) - q * b.lo;
  return q + rest / b.hi;
}

// e^w for a double-double w: e^hi (1 + lo), the dropped lo^2/2 being far below an ulp.
inline double expOf(doubleDouble w) {
  const double e = std::exp(w.hi);
  return e + e * w.lo;
}

// ln x for 0 < x < infinity, within 2^-57 of it (far below an ulp of the rounded logarithm), so
// that c ln x keeps its absolute precision for c in the thousands.
doubleDouble exactLog(double x);

// ln(1 + v) for v > -1, within 2^-57 of it, with 1 + v never rounded.
doubleDouble exactLogOnePlus(double v);

// ln(1 + v) for a double-double v > -1: v's low part enters to first order.
inline doubleDouble exactLogOnePlus(doubleDouble v) {
  return exactLogOnePlus(v.hi) + v.lo / (1.0 + v.hi);
}

// ln x, and ln(1 + v), as double-doubles accurate enough to be multiplied by c: c ln x stays
// within 4e-15 of its value. The rounded logarithm (lo = 0) serves while |c ln x| is small,
// the exact one beyond, so that the common small exponents cost no more than before.
inline doubleDouble logToScale(double c, double x) {
  const double l = std::log(x);
  if (std::fabs(c * l) <= 32.0) return {l, 0.0};
  return exactLog(x);
}

inline doubleDouble logOnePlusToScale(double c, double v) {
  const double l = std::log1p(v);
  if (std::fabs(c * l) <= 16.0) return {l, 0.0};
  return exactLogOnePlus(v);
}
