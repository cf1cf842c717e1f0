// ln(1 + x), x - ln(1 + x), e^x - 1, e^(mu + x), erf and erfc, with the rational approximations
// published with the incomplete beta and gamma algorithms of Didonato and Morris.
#include <cmath>

#include "numerics/exact_arithmetic.h"
#include "numerics/horner.h"
#include "numerics/machine_constants.h"
#include "numerics/math_functions.h"

namespace {

// 2t (1/(1 - r) - r w(t)) + w1 with r = h/(2 + h), t = r^2: the series shared by
// xMinusLogOnePlus and xMinusOneMinusLog after their argument reduction.
double logSeries(double h, double w1) {
  constexpr double p[] = {.333333333333333, -.224696413112536, .620886815375787e-02};
  constexpr double q[] = {1.0, -.127408923933623e+01, .354508718369557};
  const double r = h / (h + 2.0);
  const double t = r * r;
  const double w = horner(p, t) / horner(q, t);
  return 2.0 * t * (1.0 / (1.0 - r) - r * w) + w1;
}

constexpr double reductionA = .566749439387324e-01;
constexpr double reductionB = .456512608815524e-01;

// 1/sqrt(pi).
constexpr double rsqrtPi = .564189583547756;

// erf(x)/x on |x| <= 0.5, as a function of t = x^2.
double erfSmall(double t) {
  constexpr double a[] = {.128379167095513, .479137145607681e-01, .323076579225834e-01,
                          -.133733772997339e-02, .771058495001320e-04};
  constexpr double b[] = {1.0, .375795757275549, .538971687740286e-01, .301048631703895e-02};
  return (horner(a, t) + 1.0) / horner(b, t);
}

// e^(x^2) erfc(x) on 0.5 < x <= 4.
double erfcMiddle(double ax) {
  constexpr double p[] = {3.00459261020162e+02, 4.51918953711873e+02, 3.39320816734344e+02,
                          1.52989285046940e+02, 4.31622272220567e+01, 7.21175825088309e+00,
                          5.64195517478974e-01, -1.36864857382717e-07};
  constexpr double q[] = {3.00459260956983e+02, 7.90950925327898e+02, 9.31354094850610e+02,
                          6.38980264465631e+02, 2.77585444743988e+02, 7.70001529352295e+01,
                          1.27827273196294e+01, 1.00000000000000e+00};
  return horner(p, ax) / horner(q, ax);
}

// The rational part R(t)/t of e^(x^2) erfc(x) x beyond 4, t = 1/x^2: (c - t R(t)) / |x|.
double erfcTailRatio(double t) {
  constexpr double r[] = {2.82094791773523e-01, 4.65807828718470e+00, 2.13688200555087e+01,
                          2.62370141675169e+01, 2.10144126479064e+00};
  constexpr double s[] = {1.0, 1.80124575948747e+01, 9.90191814623914e+01, 1.87114811799590e+02,
                          9.41537750555460e+01};
  return horner(r, t) / horner(s, t);
}

}  // namespace

double logOnePlus(double a) {
  constexpr double p[] = {1.0, -.129418923021993e+01, .405303492862024, -.178874546012214e-01};
  constexpr double q[] = {1.0, -.162752256355323e+01, .747811014037616, -.845104217945565e-01};
  if (std::fabs(a) > 0.375) return std::log(1.0 + a);
  const double t = a / (a + 2.0);
  const double t2 = t * t;
  return 2.0 * t * (horner(p, t2) / horner(q, t2));
}

double xMinusLogOnePlus(double x) {
  if (x < -0.39 || x > 0.57) return x - std::log((x + 0.5) + 0.5);
  if (x < -0.18) {
    const double h = (x + 0.3) / 0.7;
    return logSeries(h, reductionA - h * 0.3);
  }
  if (x > 0.18) {
    const double h = 0.75 * x - 0.25;
    return logSeries(h, reductionB + h / 3.0);
  }
  return logSeries(x, 0.0);
}

double xMinusOneMinusLog(double x) {
  if (x < 0.61 || x > 1.57) return ((x - 0.5) - 0.5) - std::log(x);
  if (x < 0.82) {
    const double u = (x - 0.7) / 0.7;
    return logSeries(u, reductionA - u * 0.3);
  }
  if (x > 1.18) {
    const double u = 0.75 * x - 1.0;
    return logSeries(u, reductionB + u / 3.0);
  }
  return logSeries((x - 0.5) - 0.5, 0.0);
}

double expMinusOne(double x) {
  constexpr double p[] = {1.0, .914041914819518e-09, .238082361044469e-01};
  constexpr double q[] = {1.0, -.499999999085958, .107141568980644, -.119041179760821e-01,
                          .595130811860248e-03};
  if (std::fabs(x) <= 0.15) return x * (horner(p, x) / horner(q, x));
  const double w = std::exp(x);
  if (x > 0.0) return w * (0.5 + (0.5 - 1.0 / w));
  return (w - 0.5) - 0.5;
}

double expSum(int mu, double x) {
  if (x > 0.0) {
    if (mu <= 0) {
      const double w = mu + x;
      if (w >= 0.0) return std::exp(w);
    }
  } else if (mu >= 0) {
    const double w = mu + x;
    if (w <= 0.0) return std::exp(w);
  }
  return std::exp(static_cast<double>(mu)) * std::exp(x);
}

double errorFunction(double x) {
  const double ax = std::fabs(x);
  if (ax <= 0.5) return x * erfSmall(x * x);
  if (ax >= 5.8) return x > 0.0 ? 1.0 : -1.0;
  double value = 0;
  if (ax <= 4.0) {
    value = 0.5 + (0.5 - std::exp(-x * x) * erfcMiddle(ax));
  } else {
    const double x2 = x * x;
    const double t = 1.0 / x2;
    value = (rsqrtPi - erfcTailRatio(t) / x2) / ax;
    value = 0.5 + (0.5 - std::exp(-x2) * value);
  }
  return x < 0.0 ? -value : value;
}

namespace {

// e^(x^2) erfc(x) for |x| > 0.5 from the rational forms, taken at |x|; 0 in place of the unscaled
// value when e^(-x^2) would underflow (unscaled = true only).
bool erfcAboveHalf(double x, bool unscaled, double& value) {
  const double ax = std::fabs(x);
  if (ax <= 4.0) {
    value = erfcMiddle(ax);
    return true;
  }
  if (unscaled && (x > 100.0 || x * x > -expArgLimit(1))) return false;
  const double t = (1.0 / x) * (1.0 / x);
  value = (rsqrtPi - t * erfcTailRatio(t)) / ax;
  return true;
}

}  // namespace

double erfcScaled(int ind, double x) {
  const double ax = std::fabs(x);
  if (ax <= 0.5) {
    const double t = x * x;
    const double value = 0.5 + (0.5 - x * erfSmall(t));
    return ind != 0 ? std::exp(t) * value : value;
  }
  // x^2 exactly: its rounding would reach e^(-x^2) magnified by x^2 (up to 708).
  const doubleDouble square = twoProduct(x, x);
  if (ax > 4.0 && x <= -5.6) return ind != 0 ? 2.0 * expOf(square) : 2.0;
  double value = 0;
  if (!erfcAboveHalf(x, ind == 0, value)) return 0.0;
  if (ind != 0) return x < 0.0 ? 2.0 * expOf(square) - value : value;
  value = expOf(-square) * value;
  return x < 0.0 ? 2.0 - value : value;
}

double erfcOfRoot(double x) {
  const double rtx = std::sqrt(x);
  if (rtx <= 0.5) return erfcScaled(0, rtx);
  double value = 0;
  if (!erfcAboveHalf(rtx, true, value)) return 0.0;
  return std::exp(-x) * value;
}
