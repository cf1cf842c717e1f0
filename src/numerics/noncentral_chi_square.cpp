#include "numerics/noncentral_chi_square.h"

#include <cmath>

#include "numerics/chi_square.h"
#include "numerics/distribution_utilities.h"
#include "numerics/front_end_mode.h"
#include "numerics/search_engines.h"

void noncentralChiSquareCdf(double x, double df, double noncentrality, double& P, double& Q) {
  constexpr double eps = 1e-15;
  constexpr long maxTerms = 1000;
  if (x <= 0.0) {
    P = 0.0;
    Q = 1.0;
    return;
  }
  if (noncentrality <= 1e-10) {
    chiSquareCdf(x, df, P, Q);
    return;
  }
  double sum = 0;
  const auto small = [&](double t) { return sum < 1e-20 || t < eps * sum; };
  const auto dfOf = [&](long i) { return df + 2.0 * static_cast<double>(i); };
  const double halfNc = noncentrality / 2.0;
  long centre = truncToLong(halfNc);
  if (centre == 0) centre = 1;
  const double halfX = x / 2.0;
  const double centreWeight =
      std::exp(-halfNc + static_cast<double>(centre) * std::log(halfNc) -
               logGammaRational(static_cast<double>(centre + 1)));
  double centreP = 0, unused = 0;
  chiSquareCdf(x, dfOf(centre), centreP, unused);
  // The step between neighbouring chi-square terms at the centre: P(a, y) - P(a + 1, y) =
  // y^a e^-y / Gamma(a + 1), with a = (df + 2 centre)/2 and y = x/2.
  const double centreHalfDf = dfOf(centre) / 2.0;
  const double centreStep = std::exp(centreHalfDf * std::log(halfX) - halfX -
                                     logGammaRational(1.0 + centreHalfDf));
  sum = centreWeight * centreP;

  // Downwards: each lower df adds one step to the chi-square term. The chi-square terms grow
  // downwards, for a small x faster than the weights fall, so the terms may rise before they
  // fall: the cut-off applies only to a falling term (else a tiny centre term would end the sum
  // at once). The term limit counts the terms taken, not the index, so that a noncentrality
  // beyond 2000 still sums its centre.
  double stepSum = 0, step = centreStep, weight = centreWeight, term = sum, previous = 0;
  long i = centre, taken = 0;
  do {
    ++taken;
    step = step * (dfOf(i) / 2.0) / halfX;
    stepSum += step;
    weight *= static_cast<double>(i) / halfNc;
    previous = term;
    term = weight * (centreP + stepSum);
    sum += term;
    --i;
  } while (!(taken > maxTerms || (small(term) && term < previous) || i == 0));

  // Upwards: each higher df takes one step off.
  stepSum = centreStep;
  step = centreStep;
  weight = centreWeight;
  i = centre;
  taken = 0;
  do {
    ++taken;
    weight *= halfNc / static_cast<double>(i + 1);
    term = weight * (centreP - stepSum);
    sum += term;
    ++i;
    step = step * halfX / (dfOf(i) / 2.0);
    stepSum += step;
  } while (!(taken > maxTerms || small(term)));
  P = sum;
  Q = 0.5 + (0.5 - P);
}

void noncentralChiSquareDistribution(int which, double& P, double& Q, double& x, double& df,
                                     double& noncentrality, int& status, double& bound) {
  if (!whichInRange(which, 4, status, bound)) return;
  if (which != 1) {
    if (!probabilityInRange(P, true, 2, status, bound)) return;
    if (!probabilityInRange(Q, false, 3, status, bound)) return;
  }
  if (which != 2 && x < 0.0) return void(outOfRange(4, 0.0, status, bound));
  if (which != 3 && df <= 0.0) return void(outOfRange(5, 0.0, status, bound));
  if (which != 4 && noncentrality < 0.0) return void(outOfRange(6, 0.0, status, bound));
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  status = 0;
  if (which == 1) {
    noncentralChiSquareCdf(x, df, noncentrality, P, Q);
    return;
  }
  double& unknown = which == 2 ? x : which == 3 ? df : noncentrality;
  const double low = which == 3 ? 1e-300 : 0.0;
  const double high = which == 4 ? 1e4 : 1e300;
  const auto difference = [&](double& fx) {
    double cum = 0, ccum = 0;
    noncentralChiSquareCdf(x, df, noncentrality, cum, ccum);
    fx = P - cum;
    return true;
  };
  searchUnknown(unknown, 5.0, low, high, difference, status, bound);
}
