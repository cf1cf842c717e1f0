#include "numerics/noncentral_chi_square.h"

#include <cmath>

#include "numerics/chi_square.h"
#include "numerics/distribution_utilities.h"
#include "numerics/front_end_mode.h"
#include "numerics/machine_constants.h"
#include "numerics/poisson_mixture.h"
#include "numerics/search_engines.h"
#include "numerics/tail_fractions.h"

namespace {

// The Poisson mode of the weights, at least 1, and the central chi-square tails there.
struct chiSquareCentre {
  long index = 1;
  double halfNc = 0, P = 0, Q = 0;
};

double degreesAt(double df, long i) { return df + 2.0 * static_cast<double>(i); }

// The lower sum's start at its centre: the weight and the step there, the step between
// neighbouring chi-square terms P(a, y) - P(a + 1, y) = y^a e^-y / Gamma(a + 1), with
// a = (df + 2 centre)/2 and y = x/2; scaled where the centre's P or step underflows.
mixtureStart lowerSumStart(double x, double df, const chiSquareCentre& c) {
  const double halfNc = c.halfNc, halfX = x / 2.0;
  const long centre = c.index;
  const double a = degreesAt(df, centre) / 2.0;
  double weight = 0, step = 0;
  if (halfNc < largeWeightMean) {
    weight = std::exp(-halfNc + static_cast<double>(centre) * std::log(halfNc) -
                      logGammaRational(static_cast<double>(centre + 1)));
    step = std::exp(a * std::log(halfX) - halfX - logGammaRational(1.0 + a));
  } else {
    weight = poissonWeight(centre, halfNc);
    step = gammaFactor(a, halfX) / a;
  }
  return scaledStartAt(
      centre, halfNc, weight, c.P, step, [&] { return logGammaFactor(a, halfX) - std::log(a); },
      [&] { return lowerGammaOverFactor(a, halfX); });
}

// P: the Poisson-weighted sum of chiSquareCdf terms from the centre outwards, each way until a
// falling term is below 1e-15 of the sum or lowerSumTermLimit terms are taken on one side (a
// fixed limit would cut off the sum of a noncentrality beyond some 25000). A lower tail that the
// Chernoff bound shows negligible is 0 at once.
double lowerTailSum(double x, double df, const chiSquareCentre& c) {
  if (!(noncentralChiSquareLogLowerTailBound(x, df, 2.0 * c.halfNc) > logNegligibleTail))
    return 0.0;
  constexpr double eps = 1e-15;
  const long maxTerms = lowerSumTermLimit(c.halfNc);
  const mixtureStart start = lowerSumStart(x, df, c);
  lowerSumScale scale(start.logScale);
  double sum = 0;
  // Not t < eps sum: a sum of terms that all underflowed ends at its first term too.
  const auto small = [&](double t) { return !(t > eps * sum); };
  const double halfNc = c.halfNc;
  const double halfX = x / 2.0;
  double tail = start.tail;
  sum = start.weight * tail;

  // Downwards: each lower df adds one step to the chi-square term. The chi-square terms grow
  // downwards, for a small x faster than the weights fall, so the terms may rise before they
  // fall: the cut-off applies only to a falling term (else a tiny centre term would end the sum
  // at once). The term limit counts the terms taken, not the index, so that a noncentrality
  // beyond 2000 still sums its centre.
  double stepSum = 0, step = start.step, weight = start.weight, term = sum, previous = 0;
  long i = start.centre, taken = 0;
  do {
    ++taken;
    step = step * (degreesAt(df, i) / 2.0) / halfX;
    stepSum += step;
    weight *= static_cast<double>(i) / halfNc;
    previous = term;
    term = weight * (tail + stepSum);
    sum += term;
    --i;
    scale.rescaleIfLarge(tail + stepSum, tail, stepSum, step, term, previous, sum);
  } while (!(taken > maxTerms || (small(term) && term < previous) || i == 0));

  // Upwards: each higher df takes one step off.
  stepSum = start.step;
  step = start.step;
  weight = start.weight * scale.upwardWeight;
  i = start.centre;
  taken = 0;
  do {
    ++taken;
    weight *= halfNc / static_cast<double>(i + 1);
    term = weight * (start.tail - stepSum);
    sum += term;
    ++i;
    step = step * halfX / (degreesAt(df, i) / 2.0);
    stepSum += step;
  } while (!(taken > maxTerms || small(term)));
  return scale.trueValue(sum);
}

// Q: the Poisson-weighted sum of the central upper tails Q(a_i, x/2), a_i = df/2 + i, which rise
// with i by the steps s_i = y^a_i e^-y / Gamma(a_i + 1), s_(i+1)/s_i = y/(a_i + 1), from the
// Poisson mode (tailAtMode). Where the mode's tail underflows, the sum starts from its ratio to
// the step, by continued fraction.
double upperTailSum(double x, double df, const chiSquareCentre& c) {
  if (!(noncentralChiSquareLogTailBound(x, df, 2.0 * c.halfNc) > logNegligibleTail)) return 0.0;
  const long mode = truncToLong(c.halfNc);
  const double y = x / 2.0;
  const double a = degreesAt(df, mode) / 2.0;
  const double step = gammaFactor(a, y) / a;
  const double modeQ = tailAtMode(mode, c.index, c.Q, step, [&](double& tail) {
    double unused = 0;
    chiSquareCdf(x, degreesAt(df, mode), unused, tail);
  });
  const mixtureStart start = mixtureStartAt(
      mode, c.halfNc, modeQ, step,
      [&] { return logGammaFactor(a, y) - std::log(a); },
      [&] { return a * upperGammaOverFactor(a, y); });
  const auto ratio = [&](long i) { return y / (degreesAt(df, i) / 2.0 + 1.0); };
  return poissonMixtureUpperTail(start, ratio, 0.0);
}

}  // namespace

namespace {

// ln of the Chernoff bound e^-tx E e^tX at its best t, for either tail of the noncentral
// chi-square X: e^-tx (1 - 2t)^(-df/2) e^(noncentrality t/(1 - 2t)) in u = 1 - 2t, at the
// positive root of x u^2 - df u - noncentrality (u < 1 above the mean, u > 1 below it).
double chernoffExponent(double x, double df, double noncentrality) {
  const double u =
      (df + std::hypot(df, 2.0 * std::sqrt(noncentrality) * std::sqrt(x))) / (2.0 * x);
  return -(1.0 - u) * x / 2.0 - df / 2.0 * std::log(u) + noncentrality * (1.0 - u) / (2.0 * u);
}

// P and Q beyond the noncentralities that the sums take: a tail that its Chernoff bound shows
// negligible is 0 and the other 1; else both are not a number.
void tailsBeyondTheSums(double x, double df, double noncentrality, double& P, double& Q) {
  P = Q = NAN;
  if (!(noncentralChiSquareLogTailBound(x, df, noncentrality) > logNegligibleTail)) {
    P = 1.0;
    Q = 0.0;
  } else if (!(noncentralChiSquareLogLowerTailBound(x, df, noncentrality) > logNegligibleTail)) {
    P = 0.0;
    Q = 1.0;
  }
}

}  // namespace

double noncentralChiSquareLogTailBound(double x, double df, double noncentrality) {
  if (!(x > df + noncentrality)) return 0.0;
  return chernoffExponent(x, df, noncentrality);
}

double noncentralChiSquareLogLowerTailBound(double x, double df, double noncentrality) {
  if (!(x > 0.0 && x < df + noncentrality)) return 0.0;
  return chernoffExponent(x, df, noncentrality);
}

void noncentralChiSquareCdf(double x, double df, double noncentrality, double& P, double& Q) {
  if (!isRealNumber(x) || !isRealNumber(df) || !isRealNumber(noncentrality)) {
    P = Q = NAN;
    return;
  }
  if (x <= 0.0) {
    P = 0.0;
    Q = 1.0;
    return;
  }
  if (noncentrality <= 1e-10) {
    chiSquareCdf(x, df, P, Q);
    return;
  }
  if (noncentrality > largestSummedNoncentrality)
    return tailsBeyondTheSums(x, df, noncentrality, P, Q);
  chiSquareCentre c;
  c.halfNc = noncentrality / 2.0;
  c.index = truncToLong(c.halfNc);
  if (c.index == 0) c.index = 1;
  chiSquareCdf(x, degreesAt(df, c.index), c.P, c.Q);
  // A ratio error shows as P = 2.
  mixtureTails(
      c.Q < c.P, c.P <= 1.0, [&] { return lowerTailSum(x, df, c); },
      [&] { return upperTailSum(x, df, c); }, P, Q);
}

void noncentralChiSquareDistribution(int which, double& P, double& Q, double& x, double& df,
                                     double& noncentrality, int& status, double& bound) {
  if (!whichInRange(which, 4, status, bound)) return;
  if (which != 1) {
    if (!probabilityIsNumberInRange(P, true, 2, status, bound)) return;
    if (!probabilityIsNumberInRange(Q, false, 3, status, bound)) return;
  }
  if (which != 2 && !argumentInDomain(x, 4, true, true, status, bound)) return;
  if (which != 3 && !argumentInDomain(df, 5, false, true, status, bound)) return;
  if (which != 4 && !argumentInDomain(noncentrality, 6, true, true, status, bound)) return;
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  status = 0;
  if (which == 1) {
    noncentralChiSquareCdf(x, df, noncentrality, P, Q);
    if (std::isnan(P)) status = 10;
    return;
  }
  double& unknown = which == 2 ? x : which == 3 ? df : noncentrality;
  const double low = which == 3 ? 1e-300 : 0.0;
  const double high = which == 4 ? 1e4 : 1e300;
  const auto difference = [&](double& fx) {
    double cum = 0, ccum = 0;
    noncentralChiSquareCdf(x, df, noncentrality, cum, ccum);
    fx = tailGap(P, Q, cum, ccum);
    return !std::isnan(cum);
  };
  searchUnknown(unknown, 5.0, low, high, difference, status, bound);
}
