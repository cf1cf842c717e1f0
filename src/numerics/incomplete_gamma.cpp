#include "numerics/incomplete_gamma.h"

#include <algorithm>
#include <cmath>

#include "numerics/exact_arithmetic.h"
#include "numerics/horner.h"
#include "numerics/machine_constants.h"
#include "numerics/math_functions.h"

namespace {

constexpr double ln10 = 2.30258509299405;
constexpr double rt2pin = .398942280401433;  // 1/sqrt(2 pi)
constexpr double rtpi = 1.77245385090552;    // sqrt(pi)
constexpr double third = .333333333333333;

// Settings of one accuracy column: requested accuracy, the a from which the large-a expansions
// are used, the half-width of the Temme region (before dividing by sqrt a), and the x from
// which the asymptotic series for large x is used.
struct accuracyColumn { double acc0, big, e00, x00; };
constexpr accuracyColumn columns[] = {
    {5.e-15, 20.0, .25e-3, 31.0}, {5.e-7, 14.0, .25e-1, 17.0}, {5.e-4, 10.0, .14, 9.7}};

// Temme's coefficients: row k holds d_k0 followed by d_k1, d_k2, ... (row 0 starts with -1/3),
// so that c_k = horner(row k, z) and the expansions truncate a row by taking a prefix.
constexpr double d0[] = {-third, .833333333333333e-01, -.148148148148148e-01,
                         .115740740740741e-02, .352733686067019e-03, -.178755144032922e-03,
                         .391926317852244e-04, -.218544851067999e-05, -.185406221071516e-05,
                         .829671134095309e-06, -.176659527368261e-06, .670785354340150e-08,
                         .102618097842403e-07, -.438203601845335e-08};
constexpr double d1[] = {-.185185185185185e-02, -.347222222222222e-02, .264550264550265e-02,
                         -.990226337448560e-03, .205761316872428e-03, -.401877572016461e-06,
                         -.180985503344900e-04, .764916091608111e-05, -.161209008945634e-05,
                         .464712780280743e-08, .137863344691572e-06, -.575254560351770e-07,
                         .119516285997781e-07};
constexpr double d2[] = {.413359788359788e-02, -.268132716049383e-02, .771604938271605e-03,
                         .200938786008230e-05, -.107366532263652e-03, .529234488291201e-04,
                         -.127606351886187e-04, .342357873409614e-07, .137219573090629e-05,
                         -.629899213838006e-06, .142806142060642e-06};
constexpr double d3[] = {.649434156378601e-03, .229472093621399e-03, -.469189494395256e-03,
                         .267720632062839e-03, -.756180167188398e-04, -.239650511386730e-06,
                         .110826541153473e-04, -.567495282699160e-05, .142309007324359e-05};
constexpr double d4[] = {-.861888290916712e-03, .784039221720067e-03, -.299072480303190e-03,
                         -.146384525788434e-05, .664149821546512e-04, -.396836504717943e-04,
                         .113757269706784e-04};
constexpr double d5[] = {-.336798553366358e-03, -.697281375836586e-04, .277275324495939e-03,
                         -.199325705161888e-03, .679778047793721e-04};
constexpr double d6[] = {.531307936463992e-03, -.592166437353694e-03, .270878209671804e-03};
constexpr double d70 = .344367606892378e-03;

void setPair(double& P, double& Q, double p, double q) {
  P = p;
  Q = q;
}

// Writes P and Q from a computed lower tail.
void fromLower(double& P, double& Q, double p) { setPair(P, Q, p, 0.5 + (0.5 - p)); }

// Writes P and Q from a computed upper tail.
void fromUpper(double& P, double& Q, double q) { setPair(P, Q, 0.5 + (0.5 - q), q); }

// The limit pair for a vanishing r or an unrepresentable result: all mass below or above x.
void limitPair(double a, double x, double& P, double& Q) {
  if (x <= a) setPair(P, Q, 0.0, 1.0);
  else setPair(P, Q, 1.0, 0.0);
}

// a ln x - x as a double-double: e^(a ln x - x) keeps its relative precision where the exponent
// is in the hundreds.
doubleDouble powerExponent(double a, double x) { return a * logToScale(a, x) + (-x); }

// a = 1/2: P and Q from erf and erfc of sqrt x.
void halfShape(double x, double& P, double& Q) {
  if (x >= 0.25) fromUpper(P, Q, erfcOfRoot(x));
  else fromLower(P, Q, errorFunction(std::sqrt(x)));
}

// a < 1, x < 1.1: the Taylor series for P(a, x)/x^a, summed until a term is at most tol.
void smallShapeTaylor(double a, double x, double tol, double& P, double& Q) {
  double an = 3.0;
  double c = x;
  double sum = x / (a + 3.0);
  double t = 0;
  do {
    an += 1.0;
    c = -c * (x / an);
    t = c / (a + an);
    sum += t;
  } while (std::fabs(t) > tol);
  const double j = a * x * ((sum / 6.0 - 0.5 / (a + 2.0)) * x + 1.0 / (a + 1.0));
  const double z = a * std::log(x);
  const double h = gammaRecipMinusOne(a);
  const double g = 1.0 + h;
  const bool nearOne = x < 0.25 ? z > -.13394 : a < x / 2.59;
  if (!nearOne) {
    fromLower(P, Q, std::exp(z) * g * (0.5 + (0.5 - j)));
    return;
  }
  // x^a is close to 1: Q from e^z - 1, which keeps its relative precision.
  const double l = expMinusOne(z);
  const double q = ((0.5 + (0.5 + l)) * j - l) * g - h;
  if (q < 0.0) setPair(P, Q, 1.0, 0.0);
  else fromUpper(P, Q, q);
}

// The continued fraction for Q/r, iterated until two convergents agree to tol.
void gammaContFraction(double a, double x, double r, double tol, double& P, double& Q) {
  double a2nm1 = 1.0;
  double a2n = 1.0;
  double b2nm1 = x;
  double b2n = x + (1.0 - a);
  double c = 1.0;
  double am0 = 0, an0 = 0;
  do {
    a2nm1 = x * a2n + c * a2nm1;
    b2nm1 = x * b2n + c * b2nm1;
    am0 = a2nm1 / b2nm1;
    c += 1.0;
    const double cma = c - a;
    a2n = a2nm1 + cma * a2n;
    b2n = b2nm1 + cma * b2n;
    an0 = a2n / b2n;
  } while (std::fabs(an0 - am0) >= tol * an0);
  fromUpper(P, Q, r * an0);
}

// Up to 20 leading terms of a series, kept so that they can be added back smallest first.
struct leadingTerms {
  double term[20];
  int count = 0;
};

// Adds the stored terms onto sum from the last (smallest) to the first.
double addBackwards(const leadingTerms& lead, double sum) {
  for (int n = lead.count; n-- > 0;) sum += lead.term[n];
  return sum;
}

// x <= max(a, ln 10): the Taylor series for P/r.
void taylorOverR(double a, double x, double r, double acc, double& P, double& Q) {
  leadingTerms lead;
  double apn = a + 1.0;
  double t = x / apn;
  lead.term[lead.count++] = t;
  for (int n = 2; n <= 20; ++n) {
    apn += 1.0;
    t = t * (x / apn);
    if (t <= 1.e-3) break;
    if (n == 20) break;  // the 20th term starts the tail sum instead of being stored
    lead.term[lead.count++] = t;
  }
  double sum = t;
  const double tol = 0.5 * acc;
  do {
    apn += 1.0;
    t = t * (x / apn);
    sum += t;
  } while (t > tol);
  fromLower(P, Q, (r / a) * (1.0 + addBackwards(lead, sum)));
}

// x >= x0: the asymptotic series for Q/r.
void asymptoticOverR(double a, double x, double r, double acc, double& P, double& Q) {
  leadingTerms lead;
  double amn = a - 1.0;
  double t = amn / x;
  lead.term[lead.count++] = t;
  for (int n = 2; n <= 20; ++n) {
    amn -= 1.0;
    t = t * (amn / x);
    if (std::fabs(t) <= 1.e-3) break;
    if (n == 20) break;
    lead.term[lead.count++] = t;
  }
  double sum = t;
  while (std::fabs(t) > acc) {
    amn -= 1.0;
    t = t * (amn / x);
    sum += t;
  }
  fromUpper(P, Q, (r / x) * (1.0 + addBackwards(lead, sum)));
}

// Picks the series for a given r = e^-x x^a / Gamma(a) (a >= 1).
void seriesChoice(double a, double x, double r, const accuracyColumn& col, double acc,
                  double& P, double& Q) {
  if (r == 0.0) {
    limitPair(a, x, P, Q);
    return;
  }
  if (x <= std::max(a, ln10)) taylorOverR(a, x, r, acc, P, Q);
  else if (x < col.x00) gammaContFraction(a, x, r, std::max(5.0 * machineDouble(1), acc), P, Q);
  else asymptoticOverR(a, x, r, acc, P, Q);
}

// a >= 1 and 2a whole, a <= x < x0: Q as a finite sum (Poisson tail or its half-integer twin).
void finiteSum(double a, double x, int i, double& P, double& Q) {
  double sum = 0, t = 0, c = 0;
  int n = 0;
  if (a == static_cast<double>(i)) {
    sum = std::exp(-x);
    t = sum;
    n = 1;
    c = 0.0;
  } else {
    const double rtx = std::sqrt(x);
    sum = erfcOfRoot(x);
    t = std::exp(-x) / (rtpi * rtx);
    n = 0;
    c = -0.5;
  }
  while (n != i) {
    ++n;
    c += 1.0;
    t = (x * t) / c;
    sum += t;
  }
  fromUpper(P, Q, sum);
}

// 1 <= a < big.
void moderateShape(double a, double x, const accuracyColumn& col, double acc, double& P,
                   double& Q) {
  if (a <= x && x < col.x00) {
    const double twoa = a + a;
    const int m = static_cast<int>(twoa);
    if (twoa == static_cast<double>(m)) {
      finiteSum(a, x, m / 2, P, Q);
      return;
    }
  }
  const double r = expOf(powerExponent(a, x)) / gammaFunction(a);
  seriesChoice(a, x, r, col, acc, P, Q);
}

// Temme's t polynomial in z and u = 1/a for the column's accuracy; shortForm selects the
// expansion about l = 1.
double temmePolynomial(int column, bool shortForm, double z, double u) {
  if (column == 0 && shortForm) {
    const double c[] = {horner(d0, 8, z), horner(d1, 7, z), horner(d2, 6, z), horner(d3, 5, z),
                        horner(d4, 3, z), horner(d5, 3, z), horner(d6, 2, z), d70};
    return horner(c, u);
  }
  if (column == 0) {
    const double c[] = {horner(d0, z), horner(d1, z), horner(d2, z), horner(d3, z),
                        horner(d4, z), horner(d5, z), horner(d6, z), d70};
    return horner(c, u);
  }
  if (column == 1 && shortForm) {
    const double c[] = {horner(d0, 3, z), horner(d1, 2, z), d2[0]};
    return horner(c, u);
  }
  if (column == 1) {
    const double c[] = {horner(d0, 7, z), horner(d1, 5, z), horner(d2, 2, z)};
    return horner(c, u);
  }
  return shortForm ? horner(d0, 2, z) : horner(d0, 4, z);
}

// y = a (l - 1 - ln l) = (x - a) - a ln(x/a) as a double-double, l = x/a rounded. ln(x/a) is
// ln l plus the exact remainder of the division over x: neither the rounding of l (which
// a (l - 1 - ln l) would magnify by |x - a|) nor that of a product of the size of y reaches e^-y.
doubleDouble tailExponent(double a, double x, double l) {
  const double remainder = std::fma(-a, l, x);  // x - a l, exact
  const doubleDouble lnRatio = exactLog(l) + remainder / x;
  return twoSum(x, -a) - a * lnRatio;
}

// a >= big, x/a = l: Temme's expansion, false when the result is indeterminate.
bool temme(double a, double l, double s, double z, doubleDouble y, int column, double e,
           double& P, double& Q) {
  const double rta = std::sqrt(a);
  const bool atOne = std::fabs(s) <= columns[column].e00 / rta;
  double c = 0, w = 0;
  if (atOne) {
    if (a * e * e > 3.28e-3) return false;
    c = 0.5 + (0.5 - y.hi);
    w = (0.5 - std::sqrt(y.hi) * (0.5 + (0.5 - y.hi / 3.0)) / rtpi) / c;
  } else {
    if (std::fabs(s) <= 2.0 * e && a * e * e > 3.28e-3) return false;
    c = expOf(-y);
    w = 0.5 * erfcScaled(1, std::sqrt(y.hi));
  }
  const double u = 1.0 / a;
  z = std::sqrt(z + z);
  if (l < 1.0) z = -z;
  const bool shortForm = atOne || (column == 0 && std::fabs(s) <= 1.e-3);
  const double t = temmePolynomial(column, shortForm, z, u);
  if (l < 1.0) fromLower(P, Q, c * (w - rt2pin * t / rta));
  else fromUpper(P, Q, c * (w + rt2pin * t / rta));
  return true;
}

// a >= big: Temme's expansion near x = a, else r by Stirling and the series choice.
// Returns false on an indeterminate result.
bool largeShape(double a, double x, int column, double acc, double e, double& P, double& Q) {
  const double l = x / a;
  if (l == 0.0) {
    setPair(P, Q, 0.0, 1.0);
    return true;
  }
  const double s = 0.5 + (0.5 - l);
  const double z = xMinusOneMinusLog(l);
  if (z >= 700.0 / a) {
    if (std::fabs(s) <= 2.0 * e) return false;
    limitPair(a, x, P, Q);
    return true;
  }
  const doubleDouble y = tailExponent(a, x, l);
  if (std::fabs(s) <= 0.4) return temme(a, l, s, z, y, column, e, P, Q);
  const double v = (1.0 / a) * (1.0 / a);
  const double t1 = (((0.75 * v - 1.0) * v + 3.5) * v - 105.0) / (a * 1260.0);
  const double r = rt2pin * std::sqrt(a) * expOf((-y) + t1);
  seriesChoice(a, x, r, columns[column], acc, P, Q);
  return true;
}

// a < 1 (or a not a number).
void smallShape(double a, double x, double acc, double e, double& P, double& Q) {
  if (a == 0.5) {
    halfShape(x, P, Q);
    return;
  }
  if (x < 1.1) {
    smallShapeTaylor(a, x, 3.0 * acc / (a + 1.0), P, Q);
    return;
  }
  const double u = a * expOf(powerExponent(a, x));
  if (u == 0.0) {
    setPair(P, Q, 1.0, 0.0);
    return;
  }
  const double r = u * (1.0 + gammaRecipMinusOne(a));
  gammaContFraction(a, x, r, std::max(5.0 * e, acc), P, Q);
}

}  // namespace

void incompleteGammaRatio(double a, double x, double& P, double& Q, int ind) {
  const double e = machineDouble(1);
  if (a < 0.0 || x < 0.0 || (a == 0.0 && x == 0.0)) {
    P = 2.0;
    return;
  }
  if (a * x == 0.0) {
    limitPair(a, x, P, Q);
    return;
  }
  const int column = (ind == 0 || ind == 1) ? ind : 2;
  const accuracyColumn& col = columns[column];
  const double acc = std::max(col.acc0, e);
  if (!(a >= 1.0)) {
    smallShape(a, x, acc, e, P, Q);
  } else if (a < col.big) {
    moderateShape(a, x, col, acc, P, Q);
  } else if (!largeShape(a, x, column, acc, e, P, Q)) {
    P = 2.0;
  }
}

void incGammaSmallA(double a, double x, double r, double& P, double& Q, double eps) {
  if (a * x == 0.0) {
    limitPair(a, x, P, Q);
    return;
  }
  if (a == 0.5) {
    halfShape(x, P, Q);
    return;
  }
  if (x < 1.1) {
    smallShapeTaylor(a, x, 0.1 * eps / (a + 1.0), P, Q);
    return;
  }
  gammaContFraction(a, x, r, eps, P, Q);
}
