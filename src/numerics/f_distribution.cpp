#include "numerics/f_distribution.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "numerics/beta_auxiliary.h"
#include "numerics/distribution_utilities.h"
#include "numerics/front_end_mode.h"
#include "numerics/incomplete_beta.h"
#include "numerics/machine_constants.h"
#include "numerics/noncentral_chi_square.h"
#include "numerics/poisson_mixture.h"
#include "numerics/search_engines.h"
#include "numerics/tail_fractions.h"

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

namespace {

// The Poisson mode of the weights (at least 1), the beta arguments x = dfn f/(dfn f + dfd) and
// y = 1 - x, the beta parameters a = dfn/2 + centre and b = dfd/2, and the ratio I_x(a, b) (P)
// with its complement (Q) there.
struct betaCentre {
  long index = 1;
  double halfNc = 0, x = 0, y = 0, a = 0, b = 0, P = 0, Q = 0;
};

// The lower sum's start at its centre: the weight and the step I_x(a, b) - I_x(a + 1, b) =
// x^a y^b / (a B(a, b)) there, scaled where the centre's ratio or step underflows, and the step
// below, x^(a-1) y^b / ((a - 1) B(a - 1, b)), which the sum upwards starts from.
struct betaLowerStart {
  mixtureStart start;
  double stepBelow = 0;
};

betaLowerStart lowerSumStart(const betaCentre& c) {
  const double a = c.a, b = c.b, xx = c.x, yy = c.y;
  // s_(c-1)/s_c: a/((a - 1 + b) x), where a - 1 + b > 0 since a is at least 1 + dfn/2.
  const double stepRatioBelow = a / ((a - 1.0 + b) * xx);
  double weight = 0, step = 0, stepBelow = 0;
  if (c.halfNc < largeWeightMean) {
    weight = std::exp(-c.halfNc + static_cast<double>(c.index) * std::log(c.halfNc) -
                      logGammaRational(static_cast<double>(c.index + 1)));
    step = std::exp(logGammaRational(a + b) - logGammaRational(a + 1.0) - logGammaRational(b) +
                    a * std::log(xx) + b * std::log(yy));
    const double logPowers = (a - 1.0) * std::log(xx) + b * std::log(yy);
    stepBelow = std::exp(logGammaRational(a - 1.0 + b) - logGammaRational(a) -
                         logGammaRational(b) + logPowers);
  } else {
    weight = poissonWeight(c.index, c.halfNc);
    step = betaFactor(a, b, xx, yy) / a;
    stepBelow = step * stepRatioBelow;
  }
  const auto logStep = [&] { return logBetaFactor(a, b, xx, yy) - std::log(a); };
  // The continued fraction holds for the x of a far lower tail; a ratio that is small for a tiny
  // dfd instead, where x is near 1, is still a normal number whose logarithm keeps its digits.
  const auto tailOverStep = [&] {
    if (xx < (a + 1.0) / (a + b + 2.0)) return lowerBetaOverFactor(a, b, xx);
    return std::exp(std::log(c.P) - logStep());
  };
  betaLowerStart s;
  s.start = scaledStartAt(c.index, c.halfNc, weight, c.P, step, logStep, tailOverStep);
  s.stepBelow = s.start.logScale == 0.0 ? stepBelow : stepRatioBelow;
  return s;
}

// P: the Poisson-weighted sum of I_x(dfn/2 + i, dfd/2), summed from the centre outwards until a
// term falls below 1e-15 of the sum or lowerSumTermLimit terms are taken on one side.
double lowerTailSum(const betaCentre& c) {
  constexpr double eps = 1e-15;
  const long maxTerms = lowerSumTermLimit(c.halfNc);
  const betaLowerStart s = lowerSumStart(c);
  lowerSumScale scale(s.start.logScale);
  double sum = 0;
  // Not t < eps sum: a sum of terms that all underflowed ends at its first term too.
  const auto small = [&](double t) { return !(t > eps * sum); };
  const double halfNc = c.halfNc;
  const double xx = c.x, b = c.b;
  double aDown = c.a;
  double betaDown = s.start.tail;
  double aUp = aDown, betaUp = betaDown;
  sum = s.start.weight * betaDown;

  // Downwards from the centre: I_x(a - 1, b) = I_x(a, b) + x^(a-1) y^b / ((a - 1) B(a - 1, b)).
  // The ratios grow downwards faster than the weights fall when f is small, so the terms may
  // rise before they fall: the cut-off applies only to a falling term (else a tiny centre term
  // would end the sum at once and leave P many orders too small).
  double weight = s.start.weight;
  long i = s.start.centre, taken = 0;
  double downTerm = s.start.step;
  double previous = 0, term = weight * betaDown;
  while (!(small(term) && term < previous) && i > 0 && taken < maxTerms) {
    ++taken;
    weight *= static_cast<double>(i) / halfNc;
    --i;
    aDown -= 1.0;
    downTerm = (aDown + 1.0) / ((aDown + b) * xx) * downTerm;
    betaDown += downTerm;
    previous = term;
    term = weight * betaDown;
    sum += term;
    scale.rescaleIfLarge(betaDown, downTerm, betaDown, previous, term, sum);
  }

  // Upwards: I_x(a + 1, b) = I_x(a, b) - x^a y^b / (a B(a, b)).
  i = s.start.centre + 1;
  taken = 0;
  weight = s.start.weight * scale.upwardWeight;
  double upTerm = s.stepBelow;
  do {
    ++taken;
    weight *= halfNc / static_cast<double>(i);
    ++i;
    aUp += 1.0;
    upTerm = (aUp + b - 2.0) * xx / (aUp - 1.0) * upTerm;
    betaUp -= upTerm;
    sum += weight * betaUp;
    // A weight that has underflowed ends the sum even when a term is not a number.
  } while (!small(weight * betaUp) && weight > 0.0 && taken < maxTerms);
  return scale.trueValue(sum);
}

// Whether Pr(F > f) is below e^logNegligible for certain. F > f needs the denominator's
// chi-square below half its df or the numerator's above dfn f/2; the first has probability
// below e^-773 once dfd is 8000 or more (by its Chernoff bound), the second the noncentral
// chi-square bound. Below that dfd the upper sum's steps grow by at most a factor 1 + dfd/2.
bool upperTailNegligible(double f, double dfn, double dfd, double noncentrality) {
  if (!(dfd >= 8000.0)) return false;
  return !(noncentralChiSquareLogTailBound(dfn * f / 2.0, dfn, noncentrality) >
           logNegligibleTail);
}

// ln of a bound on a tail of F = (A/dfn)/(B/dfd), A noncentral chi-square with dfn degrees of
// freedom and B central with dfd: with c = dfn f/dfd, Pr(A <= cB) <= Pr(A <= ck) + Pr(B >= k)
// and Pr(A > cB) <= Pr(A > ck) + Pr(B < k) for every k, each by its Chernoff bound, the best of
// some k between the two means (B's mean dfd and A's mean over c) taken. 0 where f lies on the
// other side of the ratio of the means.
double logFTailBound(bool upper, double f, double dfn, double dfd, double noncentrality) {
  const double c = dfn * f / dfd;
  const double meanRatio = (dfn + noncentrality) / c / dfd;
  if (upper ? !(meanRatio < 1.0) : !(meanRatio > 1.0)) return 0.0;
  constexpr int points = 16;
  double best = 0.0;
  for (int j = 1; j < points; ++j) {
    const double k = dfd * std::pow(meanRatio, static_cast<double>(j) / points);
    const double numerator = upper ? noncentralChiSquareLogTailBound(c * k, dfn, noncentrality)
                                   : noncentralChiSquareLogLowerTailBound(c * k, dfn, noncentrality);
    const double denominator = upper ? noncentralChiSquareLogLowerTailBound(k, dfd, 0.0)
                                     : noncentralChiSquareLogTailBound(k, dfd, 0.0);
    best = std::min(best, std::max(numerator, denominator) + std::numbers::ln2);
  }
  return best;
}

// Whether P is below 1e-321 for certain, asked where the lower sum would be long: for a
// noncentrality beyond twice largeWeightMean, whose weights spread over hundreds of terms.
bool lowerTailNegligible(double f, double dfn, double dfd, double noncentrality) {
  if (!(noncentrality >= 2.0 * largeWeightMean)) return false;
  return !(logFTailBound(false, f, dfn, dfd, noncentrality) > logNegligibleTail);
}

// P and Q beyond the noncentralities that the sums take: a tail that its bound shows negligible
// is 0 and the other 1; else both are not a number.
void tailsBeyondTheSums(double f, double dfn, double dfd, double noncentrality, double& P,
                        double& Q) {
  P = Q = NAN;
  if (!(logFTailBound(true, f, dfn, dfd, noncentrality) > logNegligibleTail)) {
    P = 1.0;
    Q = 0.0;
  } else if (!(logFTailBound(false, f, dfn, dfd, noncentrality) > logNegligibleTail)) {
    P = 0.0;
    Q = 1.0;
  }
}

// Q: the Poisson-weighted sum of the complements 1 - I_x(a_i, b) = I_y(b, a_i), a_i = dfn/2 + i,
// which rise with i by the steps s_i = x^a_i y^b / (a_i B(a_i, b)), s_(i+1)/s_i =
// x (a_i + b)/(a_i + 1), from the Poisson mode (tailAtMode). Where the mode's complement
// underflows, the sum starts from its ratio to the step, by continued fraction.
double upperTailSum(double f, double dfn, double dfd, double noncentrality,
                    const betaCentre& c) {
  if (upperTailNegligible(f, dfn, dfd, noncentrality)) return 0.0;
  const long mode = truncToLong(c.halfNc);
  const double a = dfn / 2.0 + static_cast<double>(mode);
  const double step = betaFactor(a, c.b, c.x, c.y) / a;
  const double modeQ = tailAtMode(mode, c.index, c.Q, step, [&](double& tail) {
    double unused = 0;
    int error = 0;
    incompleteBetaRatio(a, c.b, c.x, c.y, unused, tail, error);
  });
  const mixtureStart start = mixtureStartAt(
      mode, c.halfNc, modeQ, step,
      [&] { return logBetaFactor(a, c.b, c.x, c.y) - std::log(a); },
      [&] { return a / c.b * lowerBetaOverFactor(c.b, a, c.y); });
  const double halfDfn = dfn / 2.0;
  const auto ratio = [&](long i) {
    const double a = halfDfn + static_cast<double>(i);
    return c.x * (a + c.b) / (a + 1.0);
  };
  return poissonMixtureUpperTail(start, ratio, c.x);
}

}  // namespace

void noncentralFCdf(double f, double dfn, double dfd, double noncentrality, double& P,
                    double& Q) {
  if (!isRealNumber(f) || !isRealNumber(dfn) || !isRealNumber(dfd) ||
      !isRealNumber(noncentrality)) {
    P = Q = NAN;
    return;
  }
  if (f <= 0.0) {
    P = 0.0;
    Q = 1.0;
    return;
  }
  if (noncentrality < 1e-10) {
    fCdf(f, dfn, dfd, P, Q);
    return;
  }
  if (noncentrality > largestSummedNoncentrality)
    return tailsBeyondTheSums(f, dfn, dfd, noncentrality, P, Q);
  betaCentre c;
  c.halfNc = noncentrality / 2.0;
  c.index = truncToLong(c.halfNc);
  if (c.index == 0) c.index = 1;
  betaArgumentsOfF(f, dfn, dfd, c.x, c.y);
  c.b = dfd / 2.0;
  c.a = dfn / 2.0 + static_cast<double>(c.index);
  int error = 0;
  incompleteBetaRatio(c.a, c.b, c.x, c.y, c.P, c.Q, error);
  // A ratio error shows as both 0, which takes the lower sum.
  mixtureTails(
      c.Q < c.P, true,
      [&] { return lowerTailNegligible(f, dfn, dfd, noncentrality) ? 0.0 : lowerTailSum(c); },
      [&] { return upperTailSum(f, dfn, dfd, noncentrality, c); }, P, Q);
}

namespace {

// The checks the central and noncentral front ends share: P and Q in the inverse modes, then
// f, dfn and dfd unless they are the unknown. False (status and bound set) at the first failure.
// The noncentral front end (numbersOnly) also refuses arguments that are not finite numbers.
bool fArgumentsValid(int which, double P, double Q, double f, double dfn, double dfd,
                     bool numbersOnly, int& status, double& bound) {
  if (which != 1) {
    if (numbersOnly && !probabilityIsNumberInRange(P, true, 2, status, bound)) return false;
    if (numbersOnly && !probabilityIsNumberInRange(Q, false, 3, status, bound)) return false;
    if (!probabilityInRange(P, true, 2, status, bound)) return false;
    if (!probabilityInRange(Q, false, 3, status, bound)) return false;
  }
  if (which != 2 && !argumentInDomain(f, 4, true, numbersOnly, status, bound)) return false;
  if (which != 3 && !argumentInDomain(dfn, 5, false, numbersOnly, status, bound)) return false;
  return which == 4 || argumentInDomain(dfd, 6, false, numbersOnly, status, bound);
}

}  // namespace

void fDistribution(int which, double& P, double& Q, double& f, double& dfn, double& dfd,
                   int& status, double& bound) {
  if (!whichInRange(which, 4, status, bound)) return;
  if (!fArgumentsValid(which, P, Q, f, dfn, dfd, false, status, bound)) return;
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
  if (!fArgumentsValid(which, P, Q, f, dfn, dfd, true, status, bound)) return;
  if (which != 5 && !argumentInDomain(noncentrality, 7, true, true, status, bound)) return;
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  status = 0;
  if (which == 1) {
    noncentralFCdf(f, dfn, dfd, noncentrality, P, Q);
    if (std::isnan(P)) status = 10;
    return;
  }
  double& unknown = which == 2 ? f : which == 3 ? dfn : which == 4 ? dfd : noncentrality;
  const double low = which == 3 || which == 4 ? smallest : 0.0;
  const double high = which == 5 ? noncentralityTop : searchTop;
  const auto difference = [&](double& fx) {
    double cum = 0, ccum = 0;
    noncentralFCdf(f, dfn, dfd, noncentrality, cum, ccum);
    fx = tailGap(P, Q, cum, ccum);
    return !std::isnan(cum);
  };
  searchUnknown(unknown, 5.0, low, high, difference, status, bound);
}
