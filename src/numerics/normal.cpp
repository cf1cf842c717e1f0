#include "numerics/normal.h"

#include <cmath>

#include "numerics/distribution_utilities.h"
#include "numerics/fatal_error.h"
#include "numerics/front_end_mode.h"
#include "numerics/horner.h"
#include "numerics/machine_constants.h"

namespace {

constexpr double invSqrtTwoPi = 0.39894228040143267794;

// e^(-y^2/2) r with y^2 split into a part that is exact in double precision and a small rest,
// so that the factor keeps its relative accuracy far out in the tail.
double gaussianFactor(double y, double r) {
  const double yRounded = std::trunc(y * 16.0) / 16.0;
  const double rest = (y - yRounded) * (y + yRounded);
  return std::exp(-yRounded * yRounded * 0.5) * std::exp(-rest * 0.5) * r;
}

}  // namespace

void normalCdf(double x, double& P, double& Q) {
  constexpr double a[] = {2.2352520354606839287e00, 1.6102823106855587881e02,
                          1.0676894854603709582e03, 1.8154981253343561249e04,
                          6.5682337918207449113e-2};
  constexpr double b[] = {4.7202581904688241870e01, 9.7609855173777669322e02,
                          1.0260932208618978205e04, 4.5507789335026729956e04};
  constexpr double c[] = {3.9894151208813466764e-1, 8.8831497943883759412e00,
                          9.3506656132177855979e01, 5.9727027639480026226e02,
                          2.4945375852903726711e03, 6.8481904505362823326e03,
                          1.1602651437647350124e04, 9.8427148383839780218e03,
                          1.0765576773720192317e-8};
  constexpr double d[] = {2.2266688044328115691e01, 2.3538790178262499861e02,
                          1.5193775994075548050e03, 6.4855582982667607550e03,
                          1.8615571640885098091e04, 3.4900952721145977266e04,
                          3.8912003286093271411e04, 1.9685429676859990727e04};
  constexpr double p[] = {2.1589853405795699e-1, 1.274011611602473639e-1,
                          2.2235277870649807e-2, 1.421619193227893466e-3,
                          2.9112874951168792e-5, 2.307344176494017303e-2};
  constexpr double q[] = {1.28426009614491121e00, 4.68238212480865118e-1,
                          6.59881378689285515e-2, 3.78239633202758244e-3,
                          7.29751555083966205e-5};
  const double eps = machineDouble(1) * 0.5;
  const double tiny = machineDouble(2);
  const double y = std::fabs(x);
  if (y <= 0.66291) {
    const double xsq = y > eps ? x * x : 0.0;
    double num = a[4] * xsq, den = xsq;
    for (int i = 0; i < 3; ++i) {
      num = (num + a[i]) * xsq;
      den = (den + b[i]) * xsq;
    }
    const double t = x * (num + a[3]) / (den + b[3]);
    P = 0.5 + t;
    Q = 0.5 - t;
  } else {
    double tail;
    if (y <= std::sqrt(32.0)) {
      double num = c[8] * y, den = y;
      for (int i = 0; i < 7; ++i) {
        num = (num + c[i]) * y;
        den = (den + d[i]) * y;
      }
      tail = gaussianFactor(y, (num + c[7]) / (den + d[7]));
    } else {
      const double xsq = 1.0 / (x * x);
      double num = p[5] * xsq, den = xsq;
      for (int i = 0; i < 4; ++i) {
        num = (num + p[i]) * xsq;
        den = (den + q[i]) * xsq;
      }
      const double r = (invSqrtTwoPi - xsq * (num + p[4]) / (den + q[4])) / y;
      tail = gaussianFactor(y, r);
    }
    // tail is the smaller of the two: the lower one for x < 0.
    P = x > 0.0 ? 1.0 - tail : tail;
    Q = x > 0.0 ? tail : 1.0 - tail;
  }
  if (P < tiny) P = 0.0;
  if (Q < tiny) Q = 0.0;
}

double normalInverseStart(double p) {
  constexpr double numerator[] = {-0.322232431088e0, -1.000000000000e0, -0.342242088547e0,
                                  -0.204231210245e-1, -0.453642210148e-4};
  constexpr double denominator[] = {0.993484626060e-1, 0.588581570495e0, 0.531103462366e0,
                                    0.103537752850e0, 0.38560700634e-2};
  const double sign = p <= 0.5 ? -1.0 : 1.0;
  const double z = p <= 0.5 ? p : 1.0 - p;
  const double y = std::sqrt(-2.0 * std::log(z));
  return sign * (y + horner(numerator, y) / horner(denominator, y));
}

double normalInverse(double P, double Q) {
  constexpr int maxIterations = 100;
  constexpr double tolerance = 1e-13;
  // Work on the smaller tail, where the quantile is negative, and mirror at the end.
  const bool lower = P <= Q;
  const double pp = lower ? P : Q;
  const double start = normalInverseStart(pp);
  double x = start;
  for (int i = 0; i < maxIterations; ++i) {
    double cum = 0, ccum = 0;
    normalCdf(x, cum, ccum);
    const double density = invSqrtTwoPi * std::exp(-0.5 * x * x);
    const double dx = (cum - pp) / density;
    x -= dx;
    // A quantile of exactly 0 (P = 1/2) stops on the zero step rather than on 0/0.
    if (dx == 0.0 || std::fabs(dx / x) < tolerance) return lower ? x : -x;
  }
  return lower ? start : -start;
}

double DLANOR(double x) {
  constexpr double logSqrtTwoPi = 0.91893853320467274177;
  // The asymptotic series of Q(x) x sqrt(2 pi) e^(x^2/2) - 1 in 1/x^2: (-1)^k (2k - 1)!!.
  constexpr double series[] = {-1.0e0,         3.0e0,          -15.0e0,        105.0e0,
                               -945.0e0,       10395.0e0,      -135135.0e0,    2027025.0e0,
                               -34459425.0e0,  654729075.0e0,  -13749310575.0e0,
                               316234143225.0e0};
  const double xx = std::fabs(x);
  if (xx < 5.0) stopWithMessage(" Argument too small in DLANOR");
  const double approx = -logSqrtTwoPi - 0.5 * xx * xx - std::log(xx);
  const double xx2 = xx * xx;
  const double correction = horner(series, 1.0 / xx2) / xx2;
  return approx + logOnePlusTwin(correction);
}

void normalDistribution(int which, double& P, double& Q, double& x, double& mean, double& sd,
                        int& status, double& bound) {
  if (!whichInRange(which, 4, status, bound)) return;
  if (which != 1) {
    if (!probabilityInRange(P, false, 2, status, bound)) return;
    if (!probabilityInRange(Q, false, 3, status, bound)) return;
    if (!complementsAddUp(P, Q, 3, status, bound)) return;
  }
  if (which != 4 && sd <= 0.0) {
    outOfRange(6, 0.0, status, bound);
    return;
  }
  status = 0;
  if (which == 1) {
    normalCdf((x - mean) / sd, P, Q);
    return;
  }
  const double z = normalInverse(P, Q);
  if (which == 2) x = sd * z + mean;
  else if (which == 3) mean = x - sd * z;
  else sd = (x - mean) / z;
}
