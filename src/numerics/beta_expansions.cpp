// The series, continued fraction and asymptotic expansions of the incomplete beta ratio, with
// the term recurrences published with ACM TOMS 708.
#include <algorithm>
#include <cmath>

#include "numerics/beta_auxiliary.h"
#include "numerics/exact_arithmetic.h"
#include "numerics/incomplete_gamma.h"
#include "numerics/machine_constants.h"
#include "numerics/math_functions.h"

namespace {

// e^(a ln x - u), with a ln x carried exactly enough that the rounding of an exponent in the
// hundreds does not reach the result.
double powerTimesExp(double a, double x, double u) { return expOf(a * logToScale(a, x) + (-u)); }

// x^a / (a Beta(a, b)) for min(a, b) < 1, by the size of max(a, b).
double powerSeriesFactorSmall(double a, double b, double x) {
  const double a0 = std::min(a, b);
  double b0 = std::max(a, b);
  if (b0 >= 8.0) {
    const double u = logGammaOnePlus(a0) + logGammaRatio(a0, b0);
    return (a0 / a) * powerTimesExp(a, x, u);
  }
  if (b0 <= 1.0) {
    const double xa = std::pow(x, a);
    if (xa == 0.0) return 0.0;
    const double apb = a + b;
    const double z = apb > 1.0 ? (1.0 + gammaRecipMinusOne(a + b - 1.0)) / apb
                               : 1.0 + gammaRecipMinusOne(apb);
    const double c = (1.0 + gammaRecipMinusOne(a)) * (1.0 + gammaRecipMinusOne(b)) / z;
    return xa * c * (b / apb);
  }
  double u = logGammaOnePlus(a0);
  const int m = static_cast<int>(b0) - 1;
  if (m >= 1) {
    double c = 1.0;
    for (int i = 1; i <= m; ++i) {
      b0 -= 1.0;
      c = c * (b0 / (a0 + b0));
    }
    u = std::log(c) + u;
  }
  b0 -= 1.0;
  const double apb = a0 + b0;
  const double t = apb > 1.0 ? (1.0 + gammaRecipMinusOne(a0 + b0 - 1.0)) / apb
                             : 1.0 + gammaRecipMinusOne(apb);
  return powerTimesExp(a, x, u) * (a0 / a) * (1.0 + gammaRecipMinusOne(b0)) / t;
}

// The scale e^-mu that keeps betaDifference's leading factor from underflowing.
int differenceScale(double a, double b, int n) {
  if (n == 1 || a < 1.0 || a + b < 1.1 * (a + 1.0)) return 0;
  const int mu = std::abs(static_cast<int>(expArgLimit(1)));
  return std::min(mu, static_cast<int>(expArgLimit(0)));
}

// How many of betaDifference's first terms grow (added without a convergence test).
int growingTerms(double a, double b, double x, double y, int nm1) {
  if (b <= 1.0) return 0;
  if (y <= 1.e-4) return nm1;
  const double r = (b - 1.0) * x / y - a;
  if (r < 1.0) return 0;
  return r < static_cast<double>(nm1) ? static_cast<int>(r) : nm1;
}

}  // namespace

double betaPowerSeries(double a, double b, double x, double eps) {
  if (x == 0.0) return 0.0;
  double factor = 0;
  if (std::min(a, b) >= 1.0) factor = powerTimesExp(a, x, logBeta(a, b)) / a;
  else factor = powerSeriesFactorSmall(a, b, x);
  if (factor == 0.0 || a <= 0.1 * eps) return factor;
  double sum = 0.0;
  double n = 0.0;
  double c = 1.0;
  const double tol = eps / a;
  double w = 0;
  do {
    n += 1.0;
    c = c * (0.5 + (0.5 - b / n)) * x;
    w = c / (a + n);
    sum += w;
  } while (std::fabs(w) > tol);
  return factor * (1.0 + a * sum);
}

double betaDifference(double a, double b, double x, double y, int n, double eps) {
  const double apb = a + b;
  const double ap1 = a + 1.0;
  const int mu = differenceScale(a, b, n);
  double d = mu == 0 ? 1.0 : std::exp(-static_cast<double>(mu));
  const double factor = betaFactorExp(mu, a, b, x, y) / a;
  if (n == 1 || factor == 0.0) return factor;
  const int nm1 = n - 1;
  double w = d;
  const int k = growingTerms(a, b, x, y, nm1);
  for (int i = 1; i <= k; ++i) {
    const double l = i - 1;
    d = ((apb + l) / (ap1 + l)) * x * d;
    w += d;
  }
  for (int i = k + 1; i <= nm1; ++i) {
    const double l = i - 1;
    d = ((apb + l) / (ap1 + l)) * x * d;
    w += d;
    if (d <= eps * w) break;
  }
  return factor * w;
}

double betaContFraction(double a, double b, double x, double y, double lambda, double eps) {
  const double factor = betaFactor(a, b, x, y);
  if (factor == 0.0) return 0.0;
  const double c = 1.0 + lambda;
  const double c0 = b / a;
  const double c1 = 1.0 + 1.0 / a;
  const double yp1 = y + 1.0;
  double n = 0.0, p = 1.0, s = a + 1.0;
  double an = 0.0, bn = 1.0, anp1 = 1.0, bnp1 = c / c1;
  double r = c1 / c;
  for (;;) {
    n += 1.0;
    double t = n / a;
    const double w = n * (b - n) * x;
    double e = a / s;
    const double alpha = (p * (p + c0) * e * e) * (w * x);
    e = (1.0 + t) / (c1 + t + t);
    const double beta = n + w / s + e * (c + n * yp1);
    p = 1.0 + t;
    s += 2.0;
    t = alpha * an + beta * anp1;
    an = anp1;
    anp1 = t;
    t = alpha * bn + beta * bnp1;
    bn = bnp1;
    bnp1 = t;
    const double r0 = r;
    r = anp1 / bnp1;
    // Written so that a value that is not a number ends the iteration too.
    if (!(std::fabs(r - r0) > eps * r)) break;
    // Rescale so that the convergents stay representable.
    an /= bnp1;
    bn /= bnp1;
    anp1 = r;
    bnp1 = 1.0;
  }
  return factor * r;
}

namespace {

// The series of the large-a expansion: sum over n of d_n J_n, with J_0 = q/r from the
// incomplete gamma tail, the coefficients in 1/(2 nu)^2 (v) and (ln x / 2)^2 (t2). Stops when a
// term is at most eps (sum + l), after 30 terms at most; false when the sum falls to 0 or below.
bool largeASeries(double b, double z, double v, double t2, double j, double l, double eps,
                  double& sum) {
  const double bm1 = (b - 0.5) - 0.5;
  double t = 1.0, cn = 1.0, n2 = 0.0;
  double c[30], d[30];
  sum = j;
  for (int n = 1; n <= 30; ++n) {
    const double bp2n = b + n2;
    j = (bp2n * (bp2n + 1.0) * j + (z + bp2n + 1.0) * t) * v;
    n2 += 2.0;
    t *= t2;
    cn /= n2 * (n2 + 1.0);
    c[n - 1] = cn;
    double s = 0.0;
    double coef = b - n;
    for (int i = 1; i <= n - 1; ++i) {
      s += coef * c[i - 1] * d[n - i - 1];
      coef += b;
    }
    d[n - 1] = bm1 * cn + s / n;
    const double dj = d[n - 1] * j;
    sum += dj;
    if (sum <= 0.0) return false;
    if (std::fabs(dj) <= eps * (sum + l)) break;
  }
  return true;
}

}  // namespace

void betaAsymptoticLargeA(double a, double b, double x, double y, double& w, double eps,
                          int& error) {
  error = 1;
  const double bm1 = (b - 0.5) - 0.5;
  const doubleDouble nuExact = twoSum(a, 0.5 * bm1);
  const double nu = nuExact.hi;
  // z = -nu ln x as a double-double: e^-z is the size of the result, z up to |ln| of it.
  const doubleDouble lnxExact = y > 0.375 ? logToScale(nu, x) : logOnePlusToScale(nu, -y);
  const doubleDouble zExact = -(nu * lnxExact + nuExact.lo * lnxExact.hi);
  const double lnx = lnxExact.hi;
  const double z = zExact.hi;
  if (b * z == 0.0) return;
  // r = e^-z z^b / Gamma(b) with the rounded z, the one incGammaSmallA's tail sees, so that their
  // quotient starting the series keeps no exponent; u, the factor in front of the series,
  // carries the rest e^-(z - rounded z).
  const double r = b * (1.0 + gammaRecipMinusOne(b)) * std::exp(b * std::log(z)) * std::exp(-z);
  double u = logGammaRatio(b, a) + b * std::log(nu);
  u = r * std::exp(-u) * (1.0 - zExact.lo);
  if (u == 0.0) return;
  double p = 0, q = 0;
  incGammaSmallA(b, z, r, p, q, eps);
  const double v = 0.25 * ((1.0 / nu) * (1.0 / nu));
  const double t2 = 0.25 * lnx * lnx;
  double sum = 0;
  if (!largeASeries(b, z, v, t2, q / r, w / u, eps, sum)) return;
  error = 0;
  w += u * sum;
}

namespace {

// The coefficient tables of the large-a-and-b expansion, 1-based as in its recurrences.
constexpr int basymTerms = 20;  // must be even
struct basymTables { double a0[basymTerms + 2], b0[basymTerms + 2], c[basymTerms + 2],
                     d[basymTerms + 2]; };

// Fills c[i] and d[i] for i = n, n + 1 from a0[1..n+1].
void basymCoefficients(basymTables& k, int n) {
  for (int i = n; i <= n + 1; ++i) {
    const double r = -0.5 * (i + 1.0);
    k.b0[1] = r * k.a0[1];
    for (int m = 2; m <= i; ++m) {
      double bsum = 0.0;
      for (int j = 1; j <= m - 1; ++j) bsum += (j * r - (m - j)) * k.a0[j] * k.b0[m - j];
      k.b0[m] = r * k.a0[m] + bsum / m;
    }
    k.c[i] = k.b0[i] / (i + 1.0);
    double dsum = 0.0;
    for (int j = 1; j <= i - 1; ++j) dsum += k.d[i - j] * k.c[j];
    k.d[i] = -(dsum + k.c[i]);
  }
}

// The scales of the large-a-and-b expansion: h = min/max of a and b, r0 = 1/(1 + h),
// r1 = (b - a)/max, w0 = 1/sqrt(min (1 + h)).
struct basymScales { double h, r0, r1, w0; };

basymScales basymScalesFor(double a, double b) {
  if (a < b) {
    const double h = a / b;
    return {h, 1.0 / (1.0 + h), (b - a) / b, 1.0 / std::sqrt(a * (1.0 + h))};
  }
  const double h = b / a;
  return {h, 1.0 / (1.0 + h), (b - a) / a, 1.0 / std::sqrt(b * (1.0 + h))};
}

}  // namespace

double betaAsymptoticLarge(double a, double b, double lambda, double eps) {
  constexpr double e0 = 1.12837916709551;   // 2/sqrt(pi)
  constexpr double e1 = .353553390593274;   // 2^(-3/2)
  const basymScales sc = basymScalesFor(a, b);
  const double f = a * xMinusLogOnePlus(-lambda / a) + b * xMinusLogOnePlus(lambda / b);
  const double t = std::exp(-f);
  if (t == 0.0) return 0.0;
  const double z0 = std::sqrt(f);
  const double z2 = f + f;
  basymTables k{};
  k.a0[1] = (2.0 / 3.0) * sc.r1;
  k.c[1] = -0.5 * k.a0[1];
  k.d[1] = -k.c[1];
  double j0 = (0.5 / e0) * erfcScaled(1, z0);
  double j1 = e1;
  double sum = j0 + k.d[1] * sc.w0 * j1;
  double s = 1.0, hn = 1.0, w = sc.w0, znm1 = 0.5 * (z0 / e1), zn = z2;
  for (int n = 2; n <= basymTerms; n += 2) {
    hn = sc.h * sc.h * hn;
    k.a0[n] = 2.0 * sc.r0 * (1.0 + sc.h * hn) / (n + 2.0);
    s += hn;
    k.a0[n + 1] = 2.0 * sc.r1 * s / (n + 3.0);
    basymCoefficients(k, n);
    j0 = e1 * znm1 + (n - 1.0) * j0;
    j1 = e1 * zn + n * j1;
    znm1 = z2 * znm1;
    zn = z2 * zn;
    w = sc.w0 * w;
    const double t0 = k.d[n] * w * j0;
    w = sc.w0 * w;
    const double t1 = k.d[n + 1] * w * j1;
    sum += (t0 + t1);
    if ((std::fabs(t0) + std::fabs(t1)) <= eps * sum) break;
  }
  const double u = std::exp(-betaCorrection(a, b));
  return e0 * t * u * sum;
}

double betaSmallA(double a, double b, double x, double eps) {
  constexpr double g = .577215664901533;  // Euler's constant
  const double bx = b * x;
  double t = x - bx;
  const double c = b * eps > 2.e-2 ? std::log(bx) + g + t : std::log(x) + digamma(b) + g + t;
  const double tol = 5.0 * eps * std::fabs(c);
  double j = 1.0, s = 0.0, aj = 0;
  do {
    j += 1.0;
    t = t * (x - bx / j);
    aj = t / j;
    s += aj;
  } while (std::fabs(aj) > tol);
  return -a * (c + s);
}

double betaSmallB(double a, double b, double x, double eps) {
  double result = 1.0;
  if (a > 1.e-3 * eps) {
    const double t = a * std::log(x);
    if (t < expArgLimit(1)) return 0.0;
    result = std::exp(t);
  }
  // 1/Beta(a, b) is b here.
  result = (b / a) * result;
  const double tol = eps / a;
  double an = a + 1.0;
  double t = x;
  double s = t / an;
  double c = 0;
  do {
    an += 1.0;
    t = x * t;
    c = t / an;
    s += c;
  } while (std::fabs(c) > tol);
  return result * (1.0 + a * s);
}
