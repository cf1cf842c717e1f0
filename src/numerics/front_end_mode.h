// The argument checks shared by the distribution front ends: the mode, the probabilities of the
// inverse modes, the pairs of complementary arguments, and one argument outside its domain.
#pragma once

#include <cmath>

#include "numerics/machine_constants.h"

// True when which lies in 1..last. Otherwise writes status -1 and the bound: 1 when which is
// below 1, last when it is above.
inline bool whichInRange(int which, int last, int& status, double& bound) {
  if (which >= 1 && which <= last) return true;
  status = -1;
  bound = which < 1 ? 1.0 : static_cast<double>(last);
  return false;
}

// Reports argument number `position` as outside its domain: status -position, bound the limit it
// violated. Returns false, so that a check reads `if (x < 0) return outOfRange(...)`.
inline bool outOfRange(int position, double limit, int& status, double& bound) {
  status = -position;
  bound = limit;
  return false;
}

// A probability of an inverse mode: in [0, 1], or in (0, 1] when zero is not allowed. Otherwise
// status -position with bound 0 (too small) or 1 (too large).
inline bool probabilityInRange(double p, bool zeroAllowed, int position, int& status,
                               double& bound) {
  const bool tooSmall = zeroAllowed ? p < 0.0 : p <= 0.0;
  if (tooSmall) return outOfRange(position, 0.0, status, bound);
  if (p > 1.0) return outOfRange(position, 1.0, status, bound);
  return true;
}

// The noncentral front ends take only numbers: a probability that is not a number is outside
// its range too (bound 0).
inline bool probabilityIsNumberInRange(double p, bool zeroAllowed, int position, int& status,
                                       double& bound) {
  if (std::isnan(p)) return outOfRange(position, 0.0, status, bound);
  return probabilityInRange(p, zeroAllowed, position, status, bound);
}

// An argument of the noncentral front ends that is not a finite number: status -position with
// bound the lower limit of its domain (for NaN and -infinity) or the largest double (for
// +infinity). True for a finite one.
inline bool isFiniteArgument(double v, int position, double lowerLimit, int& status,
                             double& bound) {
  if (isRealNumber(v)) return true;
  return outOfRange(position, v > 0.0 ? machineDouble(3) : lowerLimit, status, bound);
}

// An argument whose domain starts at 0 (included when zeroAllowed): below it, status -position
// with bound 0. With numbersOnly, one that is not a finite number fails too (isFiniteArgument);
// without, it passes, as the ordered comparisons of the published front ends let it.
inline bool argumentInDomain(double v, int position, bool zeroAllowed, bool numbersOnly,
                             int& status, double& bound) {
  if (numbersOnly && !isFiniteArgument(v, position, 0.0, status, bound)) return false;
  const bool below = zeroAllowed ? v < 0.0 : v <= 0.0;
  return !below || outOfRange(position, 0.0, status, bound);
}

// Two complementary values (P and Q, or x and 1 - x) must add up to 1 within three machine
// epsilons. Otherwise writes status `code` and the bound: 0 when the sum is negative, else 1.
inline bool complementsAddUp(double a, double b, int code, int& status, double& bound) {
  const double sum = a + b;
  if (!(std::fabs(((sum - 0.5) - 0.5)) > 3.0 * machineDouble(1))) return true;
  status = code;
  bound = sum < 0.0 ? 0.0 : 1.0;
  return false;
}
