#include <cmath>

#include "numerics/distribution_utilities.h"
#include "numerics/gamma_distribution.h"
#include "numerics/incomplete_gamma.h"
#include "numerics/machine_constants.h"
#include "numerics/math_functions.h"

namespace {

// The settings of the iteration for double precision (the machine epsilon is below 1e-10).
constexpr double largeShape = 500.0;         // from here the normal start may be final
constexpr double smallTailLimit = 1e-28;     // b below it: the series start is final
constexpr double startAccuracy = 1e-6;       // |1 - x/a| of a final normal start
constexpr double smallStartLimit = 2e-3;     // xn/(a + 1) of a final small start
constexpr double iterationEps = 1e-10;       // the accuracy the iteration aims at
constexpr double tolerance = 1e-5;           // steps above this never end the iteration
constexpr double euler = 0.577215664901533;
constexpr double ln10 = 2.302585;

// The asymptotic start for a small tail (large y = -ln b), with s = 1 - a and z = ln y.
double largeYStart(double a, double s, double y, double z) {
  const double c1 = -(s * z);
  const double c2 = -(s * (1.0 + c1));
  const double c3 = s * ((0.5 * c1 + (2.0 - a)) * c1 + (2.5 - 1.5 * a));
  const double c4 = -(s * (((c1 / 3.0 + (2.5 - 1.5 * a)) * c1 + ((a - 6.0) * a + 7.0)) * c1 +
                           ((11.0 * a - 46.0) * a + 47.0) / 6.0));
  const double c5 =
      -(s * ((((-(c1 / 4.0) + (11.0 * a - 17.0) / 6.0) * c1 + ((-(3.0 * a) + 13.0) * a - 13.0)) *
                  c1 +
              0.5 * (((2.0 * a - 25.0) * a + 72.0) * a - 61.0)) *
                 c1 +
             (((25.0 * a - 195.0) * a + 477.0) * a - 379.0) / 12.0));
  return ((((c5 / y + c4) / y + c3) / y + c2) / y + c1) + y;
}

enum class startResult { done, iterateOnP, iterateOnQ, failedAtMax, failed };

// The start for a < 1 (equations of section 5 of the published algorithm).
startResult smallShapeStart(double a, double p, double q, double& x, double& xn) {
  const double g = gammaFunction(a + 1.0);
  const double qg = q * g;
  if (qg == 0.0) return startResult::failedAtMax;
  const double b = qg / a;
  if (qg <= 0.6 * a) {
    if (a < 0.3 && b >= 0.35) {
      const double t = std::exp(-(b + euler));
      const double u = t * std::exp(t);
      xn = t * std::exp(u);
      return startResult::iterateOnP;
    }
    if (b < 0.45) {
      if (b == 0.0) return startResult::failedAtMax;
      const double y = -std::log(b);
      const double s = 0.5 + (0.5 - a);
      const double z = std::log(y);
      const double t = y - s * z;
      if (b >= 0.15) {
        xn = y - s * std::log(t) - std::log(1.0 + s / (t + 1.0));
        return startResult::iterateOnQ;
      }
      if (b > 0.01) {
        const double u = ((t + 2.0 * (3.0 - a)) * t + (2.0 - a) * (3.0 - a)) /
                         ((t + (5.0 - a)) * t + 2.0);
        xn = y - s * std::log(t) - std::log(u);
        return startResult::iterateOnQ;
      }
      xn = largeYStart(a, s, y, z);
      if (b > smallTailLimit) return startResult::iterateOnQ;
      x = xn;
      return startResult::done;
    }
  }
  if (b * q <= 1e-8) {
    xn = std::exp(-(q / a + euler));
  } else if (p > 0.9) {
    xn = std::exp((logOnePlus(-q) + logGammaOnePlus(a)) / a);
  } else {
    xn = std::exp(std::log(p * g) / a);
  }
  if (xn == 0.0) return startResult::failed;
  xn /= 0.5 + (0.5 - xn / (a + 1.0));
  return startResult::iterateOnP;
}

// The start for a > 1: the normal quantile corrected in 1/sqrt(a), refined for the tails.
startResult largeShapeStart(double a, double p, double q, double& x, double& xn) {
  constexpr double a0 = 3.31125922108741, a1 = 11.6616720288968, a2 = 4.28342155967104,
                   a3 = 0.213623493715853;
  constexpr double b1 = 6.61053765625462, b2 = 6.40691597760039, b3 = 1.27364489782223,
                   b4 = 0.036117081018842;
  double w = q > 0.5 ? std::log(p) : std::log(q);
  const double t = std::sqrt(-(2.0 * w));
  double s = t - (((a3 * t + a2) * t + a1) * t + a0) /
                     ((((b4 * t + b3) * t + b2) * t + b1) * t + 1.0);
  if (q > 0.5) s = -s;
  const double rta = std::sqrt(a);
  const double s2 = s * s;
  xn = a + s * rta + (s2 - 1.0) / 3.0 + s * (s2 - 7.0) / (36.0 * rta) -
       ((3.0 * s2 + 7.0) * s2 - 16.0) / (810.0 * a) +
       s * ((9.0 * s2 + 256.0) * s2 - 433.0) / (38880.0 * a * rta);
  xn = std::max(xn, 0.0);
  if (a >= largeShape) {
    x = xn;
    const double d = 0.5 + (0.5 - x / a);
    if (std::fabs(d) <= startAccuracy) return startResult::done;
  }
  if (p > 0.5) {
    if (xn < 3.0 * a) return startResult::iterateOnQ;
    const double y = -(w + logGamma(a));
    const double d = std::max(2.0, a * (a - 1.0));
    if (y >= ln10 * d) {
      xn = largeYStart(a, 1.0 - a, y, std::log(y));
      return startResult::iterateOnQ;
    }
    const double am1 = a - 1.0;
    xn = y + am1 * std::log(xn) - logOnePlus(-(am1 / (xn + 1.0)));
    xn = y + am1 * std::log(xn) - logOnePlus(-(am1 / (xn + 1.0)));
    return startResult::iterateOnQ;
  }
  const double ap1 = a + 1.0;
  if (xn > 0.7 * ap1) return startResult::iterateOnP;
  w += logGamma(ap1);
  if (xn <= 0.15 * ap1) {
    const double ap2 = a + 2.0, ap3 = a + 3.0;
    x = std::exp((w + x) / a);
    x = std::exp((w + x - std::log(1.0 + x / ap1 * (1.0 + x / ap2))) / a);
    x = std::exp((w + x - std::log(1.0 + x / ap1 * (1.0 + x / ap2))) / a);
    x = std::exp((w + x - std::log(1.0 + x / ap1 * (1.0 + x / ap2 * (1.0 + x / ap3)))) / a);
    xn = x;
    if (xn <= 1e-2 * ap1) {
      return xn <= smallStartLimit * ap1 ? startResult::done : startResult::iterateOnP;
    }
  }
  double apn = ap1, term = xn / apn, sum = 1.0 + term;
  do {
    apn += 1.0;
    term *= xn / apn;
    sum += term;
  } while (term > 1e-4);
  const double tt = w - std::log(sum);
  xn = std::exp((xn + tt) / a);
  xn *= 1.0 - (a * std::log(xn) - xn - tt) / (a - 1.0);
  return startResult::iterateOnP;
}

// Schroder iteration from xn on the tail P (onP) or Q towards the target.
void schroder(double a, double p, double q, bool onP, double xn, double& x, int& error) {
  const double e = machineDouble(1);
  const double target = onP ? p : q;
  if (target <= 1e10 * machineDouble(2)) {
    x = xn;
    error = -8;
    return;
  }
  const double amax = 0.4e-10 / (e * e);
  const double am1 = (a - 0.5) - 0.5;
  for (int iteration = 1;; ++iteration) {
    if (a > amax && std::fabs(0.5 + (0.5 - xn / a)) <= 2.0 * e) {
      x = xn;
      error = -8;
      return;
    }
    if (iteration > 20) {
      error = -6;
      return;
    }
    double pn = 0, qn = 0;
    incompleteGammaRatio(a, xn, pn, qn, 0);
    const double r = pn == 0.0 || qn == 0.0 ? 0.0 : gammaFactor(a, xn);
    if (r == 0.0) {
      x = xn;
      error = -8;
      return;
    }
    const double t = onP ? (pn - p) / r : (q - qn) / r;
    const double w = 0.5 * (am1 - xn);
    double d;
    if (std::fabs(t) <= 0.1 && std::fabs(w * t) <= 0.1) {
      const double h = t * (1.0 + w * t);
      x = xn * (1.0 - h);
      if (x <= 0.0) {
        error = -7;
        return;
      }
      if (std::fabs(w) >= 1.0 && std::fabs(w) * t * t <= iterationEps) {
        error = iteration;
        return;
      }
      d = std::fabs(h);
    } else {
      x = xn * (1.0 - t);
      if (x <= 0.0) {
        error = -7;
        return;
      }
      d = std::fabs(t);
    }
    xn = x;
    if (d > tolerance) continue;
    const double computed = onP ? pn : qn;
    if (d <= iterationEps || std::fabs(target - computed) <= tolerance * target) {
      error = iteration;
      return;
    }
  }
}

}  // namespace

void incompleteGammaInverse(double a, double& x, double x0, double P, double Q, int& error) {
  x = 0.0;
  if (a <= 0.0) {
    error = -2;
    return;
  }
  if (std::fabs(P + Q - 1.0) > machineDouble(1)) {
    error = -4;
    return;
  }
  error = 0;
  if (P == 0.0) return;
  if (Q == 0.0) {
    x = machineDouble(3);
    return;
  }
  if (a == 1.0) {
    x = Q >= 0.9 ? -logOnePlus(-P) : -std::log(Q);
    return;
  }
  double xn = x0;
  startResult start;
  if (x0 > 0.0) start = P > 0.5 ? startResult::iterateOnQ : startResult::iterateOnP;
  else if (a < 1.0) start = smallShapeStart(a, P, Q, x, xn);
  else start = largeShapeStart(a, P, Q, x, xn);
  switch (start) {
    case startResult::done: return;
    case startResult::failedAtMax:
      x = machineDouble(3);
      error = -8;
      return;
    case startResult::failed:
      error = -7;
      return;
    case startResult::iterateOnP:
      // The iteration on P serves only the lower half; above it Q is the accurate tail.
      schroder(a, P, Q, P <= 0.5, xn, x, error);
      return;
    case startResult::iterateOnQ: schroder(a, P, Q, false, xn, x, error); return;
  }
}
