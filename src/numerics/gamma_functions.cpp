// Gamma, its logarithms and ln Beta, with the rational approximations and Stirling coefficients
// published with the incomplete beta and gamma algorithms of Didonato and Morris.
#include <algorithm>
#include <cmath>

#include "numerics/horner.h"
#include "numerics/machine_constants.h"
#include "numerics/math_functions.h"

namespace {

// Coefficients of the Stirling remainder del(a) in powers of 1/a^2 (shared by several routines).
constexpr double stirling[] = {.833333333333333e-01, -.277777777760991e-02, .793650666825390e-03,
                               -.595202931351870e-03, .837308034031215e-03, -.165322962780713e-02};

// (1 - x^n)/(1 - x) for n = 3, 5, ..., 11, the sums that del(a + b) needs.
struct powerSums { double s3, s5, s7, s9, s11; };

powerSums sumsOfPowers(double x) {
  const double x2 = x * x;
  powerSums s{};
  s.s3 = 1.0 + (x + x2);
  s.s5 = 1.0 + (x + x2 * s.s3);
  s.s7 = 1.0 + (x + x2 * s.s5);
  s.s9 = 1.0 + (x + x2 * s.s7);
  s.s11 = 1.0 + (x + x2 * s.s9);
  return s;
}

// del(b) - del(a + b) for b the larger argument, with c = a/(a + b) and x = b/(a + b).
double stirlingDifference(double b, double c, double x) {
  const powerSums s = sumsOfPowers(x);
  const double t = (1.0 / b) * (1.0 / b);
  double w = ((((stirling[5] * s.s11 * t + stirling[4] * s.s9) * t + stirling[3] * s.s7) * t +
               stirling[2] * s.s5) * t + stirling[1] * s.s3) * t;
  w = w + stirling[0];
  return w * (c / b);
}

// Gamma(1 + x) for 0 <= x < 1.
double gammaOnePlusFraction(double x) {
  constexpr double p[] = {1.0, .553413866010467, .279648642639792, .730981088720487e-01,
                          .204493667594920e-01, .261939260042690e-02, .539637273585445e-03};
  constexpr double q[] = {1.0, .113062953091122e+01, -.567902761974940e-01, -.170458969313360,
                          .225211131035340e-01, .470059485860584e-02, -.832979206704073e-03};
  return horner(p, x) / horner(q, x);
}

// Gamma(a) for |a| < 15 by the recurrence onto [1, 2).
double gammaByRecurrence(double a) {
  double t = 1.0;
  double x = a;
  int m = static_cast<int>(a) - 1;
  if (m >= 0) {
    for (int j = 1; j <= m; ++j) {
      x -= 1.0;
      t *= x;
    }
    x -= 1.0;
    return gammaOnePlusFraction(x) * t;
  }
  t = a;
  if (a <= 0.0) {
    m = -m - 1;
    for (int j = 1; j <= m; ++j) {
      x += 1.0;
      t *= x;
    }
    x = (x + 0.5) + 0.5;
    t *= x;
    if (t == 0.0) return 0.0;
  }
  // 1/t could overflow.
  if (std::fabs(t) < 1.0e-30) {
    if (std::fabs(t) * machineDouble(3) <= 1.0001) return 0.0;
    return 1.0 / t;
  }
  return gammaOnePlusFraction(x) / t;
}

// Gamma(a) for 15 <= |a| < 1000 by Stirling's sum, reflected for negative a.
double gammaByStirling(double a) {
  constexpr double pi = 3.1415926535898;
  constexpr double d = 0.4189385332046727;  // (ln(2 pi) - 1)/2
  constexpr double r[] = {.833333333333333e-01, -.277777777770481e-02, .793650663183693e-03,
                          -.595156336428591e-03, .820756370353826e-03};
  if (std::fabs(a) >= 1.0e3) return 0.0;
  double x = a;
  double s = 0.0;
  if (a <= 0.0) {
    x = -a;
    const int n = static_cast<int>(x);
    double f = x - n;
    if (f > 0.9) f = 1.0 - f;
    s = std::sin(pi * f) / pi;
    if (n % 2 == 0) s = -s;
    if (s == 0.0) return 0.0;
  }
  const double g = horner(r, 1.0 / (x * x)) / x;
  const double w = (d + g) + (x - 0.5) * (std::log(x) - 1.0);
  if (w > 0.99999 * expArgLimit(0)) return 0.0;
  const double result = std::exp(w);
  return a < 0.0 ? (1.0 / (result * s)) / x : result;
}

}  // namespace

double logGammaOnePlus(double a) {
  constexpr double p[] = {.577215664901533, .844203922187225, -.168860593646662,
                          -.780427615533591, -.402055799310489, -.673562214325671e-01,
                          -.271935708322958e-02};
  constexpr double q[] = {1.0, .288743195473681e+01, .312755088914843e+01, .156875193295039e+01,
                          .361951990101499, .325038868253937e-01, .667465618796164e-03};
  constexpr double r[] = {.422784335098467, .848044614534529, .565221050691933,
                          .156513060486551, .170502484022650e-01, .497958207639485e-03};
  constexpr double s[] = {1.0, .124313399877507e+01, .548042109832463, .101552187439830,
                          .713309612391000e-02, .116165475989616e-03};
  if (a < 0.6) return -a * (horner(p, a) / horner(q, a));
  const double x = (a - 0.5) - 0.5;
  return x * (horner(r, x) / horner(s, x));
}

double logGamma(double a) {
  constexpr double d = .418938533204673;  // (ln(2 pi) - 1)/2
  if (a <= 0.8) return logGammaOnePlus(a) - std::log(a);
  if (a <= 2.25) return logGammaOnePlus((a - 0.5) - 0.5);
  if (a < 10.0) {
    const int n = static_cast<int>(a - 1.25);
    double t = a;
    double w = 1.0;
    for (int i = 1; i <= n; ++i) {
      t -= 1.0;
      w *= t;
    }
    return logGammaOnePlus(t - 1.0) + std::log(w);
  }
  const double t = (1.0 / a) * (1.0 / a);
  const double w = horner(stirling, t) / a;
  return (d + w) + (a - 0.5) * (std::log(a) - 1.0);
}

double gammaRecipMinusOne(double a) {
  constexpr double p[] = {.577215664901533, -.409078193005776, -.230975380857675,
                          .597275330452234e-01, .766968181649490e-02, -.514889771323592e-02,
                          .589597428611429e-03};
  constexpr double q[] = {1.0, .427569613095214, .158451672430138, .261132021441447e-01,
                          .423244297896961e-02};
  constexpr double r[] = {-.422784335098468, -.771330383816272, -.244757765222226,
                          .118378989872749, .930357293360349e-03, -.118290993445146e-01,
                          .223047661158249e-02, .266505979058923e-03, -.132674909766242e-03};
  constexpr double s[] = {1.0, .273076135303957, .559398236957378e-01};
  const double d = a - 0.5;
  const double t = d > 0.0 ? d - 0.5 : a;
  if (t == 0.0) return 0.0;
  if (t > 0.0) {
    const double w = horner(p, t) / horner(q, t);
    return d > 0.0 ? (t / a) * ((w - 0.5) - 0.5) : a * w;
  }
  const double w = horner(r, t) / horner(s, t);
  return d > 0.0 ? t * w / a : a * ((w + 0.5) + 0.5);
}

double gammaFunction(double a) {
  if (a != a) return 0.0;
  if (std::fabs(a) < 15.0) return gammaByRecurrence(a);
  return gammaByStirling(a);
}

double logGammaSum(double a, double b) {
  const double x = a + b - 2.0;
  if (x <= 0.25) return logGammaOnePlus(1.0 + x);
  if (x <= 1.25) return logGammaOnePlus(x) + logOnePlus(x);
  return logGammaOnePlus(x - 1.0) + std::log(x * (1.0 + x));
}

double betaCorrection(double a0, double b0) {
  const double a = std::min(a0, b0);
  const double b = std::max(a0, b0);
  const double h = a / b;
  const double w = stirlingDifference(b, h / (1.0 + h), 1.0 / (1.0 + h));
  const double t = (1.0 / a) * (1.0 / a);
  return horner(stirling, t) / a + w;
}

double logGammaRatio(double a, double b) {
  double h = 0, c = 0, x = 0, d = 0;
  if (a <= b) {
    h = a / b;
    c = h / (1.0 + h);
    x = 1.0 / (1.0 + h);
    d = b + (a - 0.5);
  } else {
    h = b / a;
    c = 1.0 / (1.0 + h);
    x = h / (1.0 + h);
    d = a + (b - 0.5);
  }
  const double w = stirlingDifference(b, c, x);
  const double u = d * logOnePlus(a / b);
  const double v = a * (std::log(b) - 1.0);
  return u <= v ? (w - u) - v : (w - v) - u;
}

namespace {

// ln Beta(a, b) for 8 <= a <= b.
double logBetaLarge(double a, double b) {
  constexpr double e = .918938533204673;  // ln(2 pi)/2
  const double w = betaCorrection(a, b);
  const double h = a / b;
  const double u = -(a - 0.5) * std::log(h / (1.0 + h));
  const double v = b * logOnePlus(h);
  const double base = (-0.5 * std::log(b) + e) + w;
  return u <= v ? (base - u) - v : (base - v) - u;
}

// ln Beta(a, b) for a <= b, b < 8 and a < 8, after a has been brought to [1, 2] or b > 2:
// lowers b to (1, 2] while the product of b/(a + b) is formed; w is ln of a's product so far.
double logBetaLowerB(double a, double b, double w) {
  const int n = static_cast<int>(b) - 1;
  double z = 1.0;
  for (int i = 1; i <= n; ++i) {
    b -= 1.0;
    z *= b / (a + b);
  }
  return w + std::log(z) + (logGamma(a) + (logGamma(b) - logGammaSum(a, b)));
}

// ln Beta(a, b) for 1 <= a < 8, a <= b.
double logBetaModerate(double a, double b) {
  if (a <= 2.0) {
    if (b <= 2.0) return logGamma(a) + logGamma(b) - logGammaSum(a, b);
    if (b < 8.0) return logBetaLowerB(a, b, 0.0);
    return logGamma(a) + logGammaRatio(a, b);
  }
  const int n = static_cast<int>(a) - 1;
  double w = 1.0;
  if (b > 1000.0) {
    for (int i = 1; i <= n; ++i) {
      a -= 1.0;
      w *= a / (1.0 + a / b);
    }
    return (std::log(w) - n * std::log(b)) + (logGamma(a) + logGammaRatio(a, b));
  }
  for (int i = 1; i <= n; ++i) {
    a -= 1.0;
    const double h = a / b;
    w *= h / (1.0 + h);
  }
  w = std::log(w);
  if (b < 8.0) return logBetaLowerB(a, b, w);
  return w + logGamma(a) + logGammaRatio(a, b);
}

}  // namespace

double logBeta(double a0, double b0) {
  const double a = std::min(a0, b0);
  const double b = std::max(a0, b0);
  if (a >= 8.0) return logBetaLarge(a, b);
  if (a >= 1.0) return logBetaModerate(a, b);
  if (b >= 8.0) return logGamma(a) + logGammaRatio(a, b);
  return logGamma(a) + (logGamma(b) - logGamma(a + b));
}

namespace {

// -pi cot(pi x) for x < 0.5 with |x| > 1e-9 (the reflection term of psi); false at a pole or
// beyond the largest argument the reduction can take.
bool reflectionTerm(double x, double xmax1, double& aug) {
  constexpr double piov4 = .785398163397448;
  double w = -x;
  double sgn = piov4;
  if (w <= 0.0) {
    w = -w;
    sgn = -sgn;
  }
  if (w >= xmax1) return false;
  // w becomes the fractional part of 4 |x| (reduction by multiples of pi/4).
  int nq = static_cast<int>(w);
  w -= static_cast<double>(nq);
  nq = static_cast<int>(w * 4.0);
  w = 4.0 * (w - static_cast<double>(nq) * .25);
  int n = nq / 2;
  if (n + n != nq) w = 1.0 - w;
  const double z = piov4 * w;
  int m = n / 2;
  if (m + m != n) sgn = -sgn;
  n = (nq + 1) / 2;
  m = n / 2;
  m = m + m;
  if (m != n) {
    aug = sgn * ((std::sin(z) / std::cos(z)) * 4.0);
    return true;
  }
  if (z == 0.0) return false;
  aug = sgn * ((std::cos(z) / std::sin(z)) * 4.0);
  return true;
}

// psi(x)/(x - x0) on 0.5 <= x <= 3, x0 the positive zero of psi.
double digammaCentral(double x) {
  constexpr double dx0 = 1.461632144968362341262659542325721325;
  constexpr double p1[] = {.895385022981970e-02, .477762828042627e+01, .142441585084029e+03,
                           .118645200713425e+04, .363351846806499e+04, .413810161269013e+04,
                           .130560269827897e+04};
  constexpr double q1[] = {.448452573429826e+02, .520752771467162e+03, .221000799247830e+04,
                           .364127349079381e+04, .190831076596300e+04, .691091682714533e-05};
  double den = x;
  double upper = p1[0] * x;
  for (int i = 0; i < 5; ++i) {
    den = (den + q1[i]) * x;
    upper = (upper + p1[i + 1]) * x;
  }
  return (upper + p1[6]) / (den + q1[5]) * (x - dx0);
}

// psi(x) - ln x + 1/(2x) on x > 3.
double digammaTail(double x) {
  constexpr double p2[] = {-.212940445131011e+01, -.701677227766759e+01, -.448616543918019e+01,
                           -.648157123766197};
  constexpr double q2[] = {.322703493791143e+02, .892920700481861e+02, .546117738103215e+02,
                           .777788548522962e+01};
  const double w = 1.0 / (x * x);
  double den = w;
  double upper = p2[0] * w;
  for (int i = 0; i < 3; ++i) {
    den = (den + q2[i]) * w;
    upper = (upper + p2[i + 1]) * w;
  }
  return upper / (den + q2[3]) - 0.5 / x;
}

}  // namespace

double digamma(double xx) {
  const double xmax1 = std::min(static_cast<double>(machineInteger(3)), 1.0 / machineDouble(1));
  double x = xx;
  double aug = 0.0;
  if (x < 0.5) {
    if (std::fabs(x) <= 1.0e-9) {
      if (x == 0.0) return 0.0;
      aug = -1.0 / x;
    } else if (!reflectionTerm(x, xmax1, aug)) {
      return 0.0;
    }
    x = 1.0 - x;
  }
  if (x <= 3.0) return digammaCentral(x) + aug;
  if (x < xmax1) aug = digammaTail(x) + aug;
  return aug + std::log(x);
}
