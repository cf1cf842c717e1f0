// The upper tail of a Poisson mixture of central distributions, the sum over i of w_i Q_i with
// Poisson weights w_i of mean m and central upper tails Q_i that rise with i by steps,
// Q_(i+1) = Q_i + s_i: the noncentral chi-square and noncentral F upper tails, summed as such so
// that a tiny one keeps its relative precision.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

#include "numerics/distribution_utilities.h"

// ln 1e-321: a tail bounded below it is taken as 0.
inline constexpr double logNegligibleTail = -739.0;

// Above this mean the lower sums form the weight and step at their centre through gammaFactor:
// as e to differences of ln Gamma values near m ln m they would lose m ln m times the rounding
// (3e-7 at a noncentrality of 1e8).
inline constexpr double largeWeightMean = 1e4;

// The largest noncentrality that the sums take: their terms grow as its square root (some
// 1e6 each way at 1e10). Beyond it only the tails that the Chernoff bounds show negligible are
// given.
inline constexpr double largestSummedNoncentrality = 1e10;

// A scaled sum that grows past 2^600 is brought back by 2^-600 at a time.
inline constexpr double rescaleAbove = 0x1p600, rescaleBy = 0x1p-600;
inline constexpr double rescaleLog = 600.0 * std::numbers::ln2;

// Where the sum starts: the Poisson mode c (0 for a mean below 1) and the weight, the tail and
// the step s_c there. Where the centre's tail or step would underflow, weight, tail and step are
// given divided by one common factor e^logScale (and logScale is 0 otherwise).
struct mixtureStart {
  long centre = 0;
  double mean = 0;
  double weight = 0, tail = 0, step = 0;
  double logScale = 0;
};

// The central upper tail at the Poisson mode, from the one at the lower sum's centre, which is
// the mode but for a mean below 1 (mode 0, centre 1): there it is the centre's less the step
// s_0, unless that subtraction loses more than a bit (far out, where the heavier weight's term
// would lose its digits), and then the central routine's own, which exact(tail) writes over the
// difference (a routine that fails leaves it).
template <typename ExactTail>
double tailAtMode(long mode, long centre, double centreTail, double step, ExactTail exact) {
  if (mode == centre) return centreTail;
  double tail = centreTail - step;
  if (!(tail >= centreTail / 2.0)) exact(tail);
  return tail;
}

// The start at the given centre of the Poisson weights of the given mean, from the centre's
// weight, central tail and step. Where the tail or the step is below 1e-290 (where they lose
// digits or underflow) the start is scaled by the weight times the step: logStep() gives ln s_c,
// and tailOverStep() the ratio of the tail to the step, which is only asked for where the tail
// itself is that small.
template <typename LogStep, typename TailOverStep>
mixtureStart scaledStartAt(long centre, double mean, double weight, double tail, double step,
                           LogStep logStep, TailOverStep tailOverStep) {
  constexpr double smallestUnscaled = 1e-290;
  mixtureStart start;
  start.centre = centre;
  start.mean = mean;
  start.weight = weight;
  start.tail = tail;
  start.step = step;
  if (tail >= smallestUnscaled && step >= smallestUnscaled) return start;
  const double lnStep = logStep();
  start.tail = tail >= smallestUnscaled ? std::exp(std::log(tail) - lnStep) : tailOverStep();
  start.logScale = std::log(start.weight) + lnStep;
  start.weight = 1.0;
  start.step = 1.0;
  return start;
}

// The Poisson weight e^-m m^i / i! of mean m, with the cancellation of its exponent kept out.
inline double poissonWeight(long i, double mean) {
  return gammaFactor(static_cast<double>(i) + 1.0, mean) / mean;
}

// The upper sum's start at the Poisson mode of the given mean, from the mode's central upper
// tail and its step (scaledStartAt).
template <typename LogStep, typename TailOverStep>
mixtureStart mixtureStartAt(long mode, double mean, double tail, double step, LogStep logStep,
                            TailOverStep tailOverStep) {
  return scaledStartAt(mode, mean, poissonWeight(mode, mean), tail, step, logStep,
                       tailOverStep);
}

// The sum, from the centre downwards and then upwards, each way until a bound on the rest falls
// below 1e-15 of the sum. ratio(i) = s_(i+1)/s_i must be monotone in i and tend to ratioLimit,
// so that max(ratio(i), ratioLimit) bounds every later ratio. The bounds: below the mode the
// weights fall by i/m or faster and every lower tail is at most Q_i, so the rest is at most
// Q_i w_i (i/m)/(1 - i/m); above it the weights fall by r = m/(i + 1) or faster and the products
// w_i s_i by v = r max(ratio(i), ratioLimit), so the rest is at most r/(1 - r) w_i
// (Q_i + s_i/(1 - v)). Going down, Q_i loses digits to the subtractions but its absolute error
// stays that of the centre, which the falling weights keep from the sum; going up it only adds.
template <typename StepRatio>
double poissonMixtureUpperTail(const mixtureStart& start, StepRatio ratio, double ratioLimit) {
  constexpr double eps = 1e-15;
  // A safety net only: the bounds end the sum long before it for every finite argument.
  constexpr long termLimit = 10000000;
  // Far out in the tail the scaled upper tails grow, and are rescaled.
  const double m = start.mean, inverseMean = 1.0 / m;
  double sum = start.weight * start.tail;

  // The bounds are compared multiplied out, without their divisions: the loops run once per term.
  double weight = start.weight, tail = start.tail, step = start.step;
  for (long i = start.centre, taken = 0; i > 0 && taken < termLimit; ++taken) {
    // The reciprocal first keeps the division out of the chain of steps.
    step *= 1.0 / ratio(i - 1);
    tail -= step;
    weight *= static_cast<double>(i) * inverseMean;
    --i;
    // A tail that the subtractions took to 0 or below is rounding; the lower ones are smaller.
    if (!(tail > 0.0)) break;
    const double term = weight * tail;
    sum += term;
    const double fall = static_cast<double>(i) * inverseMean, near = eps * sum;
    // The bound cannot hold while the term times the fall is above eps times the sum.
    if (term * fall > near) continue;
    if (fall < 1.0 && !(term * fall > near * (1.0 - fall))) break;
  }

  double logScale = start.logScale;
  weight = start.weight;
  tail = start.tail;
  step = start.step;
  double nextRatio = ratio(start.centre);
  double r = m / static_cast<double>(start.centre + 1);
  for (long i = start.centre, taken = 0; taken < termLimit; ++i, ++taken) {
    tail += step;
    step *= nextRatio;
    weight *= r;
    const double term = weight * tail;
    sum += term;
    nextRatio = ratio(i + 1);
    r = m / static_cast<double>(i + 2);
    const double near = eps * sum;
    // The bound cannot hold while r times the term is above eps times the sum; written so that
    // a value that is not a number ends the sum too.
    if (!(r * term > near)) {
      const double v = r * std::max(nextRatio, ratioLimit);
      const double rest = r * weight * (tail * (1.0 - v) + step);
      if (!(r >= 1.0) && !(v >= 1.0) && !(rest > near * (1.0 - r) * (1.0 - v))) break;
    }
    if (tail > rescaleAbove) {
      tail *= rescaleBy;
      step *= rescaleBy;
      sum *= rescaleBy;
      logScale += rescaleLog;
    }
  }
  return logScale == 0.0 ? sum : std::exp(logScale + std::log(sum));
}

// The most terms a lower sum takes on one side of its centre: 1000 plus 40 standard deviations
// of the weights, beyond which every weight is below e^-800 of the largest, so that all the terms
// left add up to less than the smallest normal number.
inline long lowerSumTermLimit(double mean) {
  return 1000 + static_cast<long>(40.0 * std::sqrt(mean));
}

// The scale of a lower sum: the true sum is e^logScale times the computed one. A sum that starts
// scaled can grow by many orders going down from its centre (the central lower tails may rise far
// faster than the weights fall): whenever its tail passes 2^600 its values are rescaled. The sum
// upwards starts again from the unrescaled centre, so its weight takes the same factors
// (upwardWeight).
struct lowerSumScale {
  double logScale = 0, upwardWeight = 1;

  explicit lowerSumScale(double startLogScale) : logScale(startLogScale) {}
  // When tail has passed 2^600, multiplies every value by the power of 2 that brings tail near 1:
  // one step down may multiply it by up to a/y, 1e301 for an x of 1e-300.
  template <typename... Values>
  void rescaleIfLarge(double tail, Values&... values) {
    if (!(tail > rescaleAbove) || !(tail < INFINITY)) return;
    const int exponent = std::ilogb(tail);
    const double by = std::ldexp(1.0, -exponent);
    ((values *= by), ...);
    upwardWeight *= by;
    logScale += exponent * std::numbers::ln2;
  }
  double trueValue(double sum) const {
    return logScale == 0.0 ? sum : std::exp(logScale + std::log(sum));
  }
};

// P and Q of a Poisson mixture, the smaller tail by its own sum and the other as its complement:
// the upper sum first where the tails at the centre say it is the smaller (upperFirst), the lower
// sum where it comes out above 1/2 or was not tried, and the upper sum after a lower one above
// 1/2. Without upperAllowed (a failed ratio at the centre), and for arguments that are not
// numbers, the lower sum and its complement alone.
template <typename LowerSum, typename UpperSum>
void mixtureTails(bool upperFirst, bool upperAllowed, LowerSum lowerSum, UpperSum upperSum,
                  double& P, double& Q) {
  double upper = -1;
  if (upperFirst && upperAllowed) {
    upper = upperSum();
    if (upper <= 0.5) {
      Q = upper;
      P = 0.5 + (0.5 - Q);
      return;
    }
  }
  P = lowerSum();
  if (!(P > 0.5) || !upperAllowed) {
    Q = 0.5 + (0.5 - P);
    return;
  }
  Q = upper >= 0.0 ? upper : upperSum();
}
