#include "numerics/f_distribution.h"

#include <cmath>

#include "numerics/distribution_utilities.h"
#include "numerics/front_end_mode.h"
#include "numerics/incomplete_beta.h"
#include "numerics/search_engines.h"

namespace {

constexpr double searchTop = 1e300;
constexpr double smallest = 1e-300;
constexpr double noncentralityTop = 1e4;

// The beta arguments x = dfn f/(dfn f + dfd) and y = 1 - x, the smaller formed directly.
void betaArgumentsOfF(double f, double dfn, double dfd, double& x, double& y) {
  const double product = dfn * f;
  const double sum = dfd + product;
  y = dfd / sum;
  if (y > 0.5) {
    x = product / sum;
    y = 1.0 - x;
  } else {
    x = 1.0 - y;
  }
}

}  // namespace

void fCdf(double f, double dfn, double dfd, double& P, double& Q) {
  if (f <= 0.0) {
    P = 0.0;
    Q = 1.0;
    return;
  }
  const double product = dfn * f;
  const double sum = dfd + product;
  double x = dfd / sum, y;
  if (x > 0.5) {
    y = product / sum;
    x = 1.0 - y;
  } else {
    y = 1.0 - x;
  }
  int error = 0;
  incompleteBetaRatio(0.5 * dfd, 0.5 * dfn, x, y, Q, P, error);
}

void noncentralFCdf(double f, double dfn, double dfd, double noncentrality, double& P,
                    double& Q) {
  constexpr double eps = 1e-15;
  if (f <= 0.0) {
    P = 0.0;
    Q = 1.0;
    return;
  }
  if (noncentrality < 1e-10) {
    fCdf(f, dfn, dfd, P, Q);
    return;
  }
  double sum = 0;
  const auto small = [&](double t) { return sum < 1e-20 || t < eps * sum; };
  const double halfNc = noncentrality / 2.0;
  long centre = truncToLong(halfNc);
  if (centre == 0) centre = 1;
  const double centreWeight =
      std::exp(-halfNc + static_cast<double>(centre) * std::log(halfNc) -
               logGammaRational(static_cast<double>(centre + 1)));
  double xx = 0, yy = 0;
  betaArgumentsOfF(f, dfn, dfd, xx, yy);
  const double b = dfd / 2.0;
  double aDown = dfn / 2.0 + static_cast<double>(centre);
  double betaDown = 0, unused = 0;
  int error = 0;
  incompleteBetaRatio(aDown, b, xx, yy, betaDown, unused, error);
  double aUp = aDown, betaUp = betaDown;
  sum = centreWeight * betaDown;

  // Downwards from the centre: I_x(a - 1, b) = I_x(a, b) + x^(a-1) y^b / ((a - 1) B(a - 1, b)).
  // The ratios grow downwards faster than the weights fall when f is small, so the terms may
  // rise before they fall: the cut-off applies only to a falling term (else a tiny centre term
  // would end the sum at once and leave P many orders too small).
  double weight = centreWeight;
  long i = centre;
  double downTerm = std::exp(logGammaRational(aDown + b) - logGammaRational(aDown + 1.0) -
                             logGammaRational(b) + aDown * std::log(xx) + b * std::log(yy));
  double previous = 0, term = weight * betaDown;
  while (!(small(term) && term < previous) && i > 0) {
    weight *= static_cast<double>(i) / halfNc;
    --i;
    aDown -= 1.0;
    downTerm = (aDown + 1.0) / ((aDown + b) * xx) * downTerm;
    betaDown += downTerm;
    previous = term;
    term = weight * betaDown;
    sum += term;
  }

  // Upwards: I_x(a + 1, b) = I_x(a, b) - x^a y^b / (a B(a, b)).
  i = centre + 1;
  weight = centreWeight;
  const double logPowers = (aUp - 1.0) * std::log(xx) + b * std::log(yy);
  double upTerm = aUp - 1.0 + b == 0.0
                      ? std::exp(-logGammaRational(aUp) - logGammaRational(b) + logPowers)
                      : std::exp(logGammaRational(aUp - 1.0 + b) - logGammaRational(aUp) -
                                 logGammaRational(b) + logPowers);
  do {
    weight *= halfNc / static_cast<double>(i);
    ++i;
    aUp += 1.0;
    upTerm = (aUp + b - 2.0) * xx / (aUp - 1.0) * upTerm;
    betaUp -= upTerm;
    sum += weight * betaUp;
    // A weight that has underflowed ends the sum even when a term is not a number.
  } while (!small(weight * betaUp) && weight > 0.0);
  P = sum;
  Q = 0.5 + (0.5 - P);
}

namespace {

// The checks the central and noncentral front ends share: P and Q in the inverse modes, then
// f, dfn and dfd unless they are the unknown. False (status and bound set) at the first failure.
bool fArgumentsValid(int which, double P, double Q, double f, double dfn, double dfd,
                     int& status, double& bound) {
  if (which != 1) {
    if (!probabilityInRange(P, true, 2, status, bound)) return false;
    if (!probabilityInRange(Q, false, 3, status, bound)) return false;
  }
  if (which != 2 && f < 0.0) {
    outOfRange(4, 0.0, status, bound);
    return false;
  }
  if (which != 3 && dfn <= 0.0) {
    outOfRange(5, 0.0, status, bound);
    return false;
  }
  if (which != 4 && dfd <= 0.0) {
    outOfRange(6, 0.0, status, bound);
    return false;
  }
  return true;
}

}  // namespace

void fDistribution(int which, double& P, double& Q, double& f, double& dfn, double& dfd,
                   int& status, double& bound) {
  if (!whichInRange(which, 4, status, bound)) return;
  if (!fArgumentsValid(which, P, Q, f, dfn, dfd, status, bound)) return;
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  status = 0;
  if (which == 1) {
    fCdf(f, dfn, dfd, P, Q);
    return;
  }
  const auto difference = [&](double& fx) {
    double cum = 0, ccum = 0;
    fCdf(f, dfn, dfd, cum, ccum);
    fx = tailGap(P, Q, cum, ccum);
    return true;
  };
  double& unknown = which == 2 ? f : which == 3 ? dfn : dfd;
  const double low = which == 2 ? 0.0 : smallest;
  searchUnknown(unknown, 5.0, low, searchTop, difference, status, bound);
}

void noncentralFDistribution(int which, double& P, double& Q, double& f, double& dfn,
                             double& dfd, double& noncentrality, int& status, double& bound) {
  if (!whichInRange(which, 5, status, bound)) return;
  if (!fArgumentsValid(which, P, Q, f, dfn, dfd, status, bound)) return;
  if (which != 5 && noncentrality < 0.0) {
    outOfRange(7, 0.0, status, bound);
    return;
  }
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  status = 0;
  if (which == 1) {
    noncentralFCdf(f, dfn, dfd, noncentrality, P, Q);
    return;
  }
  double& unknown = which == 2 ? f : which == 3 ? dfn : which == 4 ? dfd : noncentrality;
  const double low = which == 3 || which == 4 ? smallest : 0.0;
  const double high = which == 5 ? noncentralityTop : searchTop;
  const auto difference = [&](double& fx) {
    double cum = 0, ccum = 0;
    noncentralFCdf(f, dfn, dfd, noncentrality, cum, ccum);
    fx = P - cum;
    return true;
  };
  searchUnknown(unknown, 5.0, low, high, difference, status, bound);
}
