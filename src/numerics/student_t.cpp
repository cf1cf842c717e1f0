#include "numerics/student_t.h"

#include <algorithm>
#include <cmath>

#include "numerics/distributions.h"
#include "numerics/exact_arithmetic.h"
#include "numerics/front_end_mode.h"
#include "numerics/horner.h"
#include "numerics/incomplete_beta.h"
#include "numerics/machine_constants.h"
#include "numerics/normal.h"
#include "numerics/search_engines.h"

namespace {

// x = df/(df + t^2) and y = t^2/(df + t^2). The tails magnify the relative error of y (and of x)
// by up to |ln p|, about df y/2: from df y/2 > 16 on, t^2 and the sum are carried exactly so
// that each quotient is within little more than half an ulp; below, the plain quotients (within
// 1.5 ulp) cost the common small statistics nothing extra.
void betaArguments(double t, double df, double& x, double& y) {
  const double tt = t * t;
  const double dfptt = df + tt;
  x = df / dfptt;
  y = tt / dfptt;
  if (!(0.5 * df * y > 16.0) || !std::isfinite(tt)) return;
  const doubleDouble exactTt = twoProduct(t, t);
  const doubleDouble exactSum = twoSum(df, exactTt.hi) + exactTt.lo;
  x = quotient({df, 0.0}, exactSum);
  y = quotient(exactTt, exactSum);
}

}  // namespace

void studentTCdf(double t, double df, double& P, double& Q) {
  double x = 0, y = 0;
  betaArguments(t, df, x, y);
  // a = I_x(df/2, 1/2) = Pr(|T| > |t|), computed with its complement.
  double a = 0, oma = 0;
  betaCdf(x, y, 0.5 * df, 0.5, a, oma);
  if (t <= 0.0) {
    P = 0.5 * a;
    Q = oma + P;
  } else {
    Q = 0.5 * a;
    P = oma + Q;
  }
}

double tInverseStart(double P, double Q, double df) {
  constexpr double coefficients[4][5] = {{1.0, 1.0, 0.0, 0.0, 0.0},
                                         {3.0, 16.0, 5.0, 0.0, 0.0},
                                         {-15.0, 17.0, 19.0, 3.0, 0.0},
                                         {-945.0, -1920.0, 1482.0, 776.0, 79.0}};
  constexpr double denominators[4] = {4.0, 96.0, 384.0, 92160.0};
  constexpr int degrees[4] = {2, 3, 4, 5};
  const double x = std::fabs(normalInverse(P, Q));
  const double xx = x * x;
  double sum = x, dfPower = 1.0;
  for (int i = 0; i < 4; ++i) {
    const double term = horner(coefficients[i], static_cast<std::size_t>(degrees[i]), xx) * x;
    dfPower *= df;
    sum += term / (dfPower * denominators[i]);
  }
  return P >= 0.5 ? sum : -sum;
}

namespace {

constexpr double tTop = 1e300;
constexpr double smallestDf = 1e-300;
constexpr double largestDf = 1e10;

// Searches t (mode 2) or df (mode 3) for the target tail, the smaller of P and Q.
void studentTSearch(int which, double P, double Q, double& t, double& df, int& status,
                    double& bound) {
  const auto evaluate = [&](double value, double& fx) {
    double cum = 0, ccum = 0;
    if (which == 2) studentTCdf(value, df, cum, ccum);
    else studentTCdf(t, value, cum, ccum);
    fx = tailGap(P, Q, cum, ccum);
    return true;
  };
  if (which == 2) {
    // For a tiny df the expansion in 1/df overflows; the search range holds the start.
    t = tInverseStart(P, Q, df);
    if (std::isnan(t)) t = 0.0;
    t = std::clamp(t, -tTop, tTop);
    reportSearchEnd(monotoneSearch(t, -tTop, tTop, evaluate), -tTop, tTop, status, bound);
    return;
  }
  df = 5.0;
  reportSearchEnd(monotoneSearch(df, smallestDf, largestDf, evaluate), smallestDf, largestDf,
                  status, bound);
}

}  // namespace

void studentTDistribution(int which, double& P, double& Q, double& t, double& df, int& status,
                          double& bound) {
  if (!whichInRange(which, 3, status, bound)) return;
  if (which != 1) {
    if (!probabilityInRange(P, false, 2, status, bound)) return;
    if (!probabilityInRange(Q, false, 3, status, bound)) return;
  }
  // Tested as 0 >= df, so a df that is not a number passes, as the published front end lets it.
  if (which != 3 && 0.0 >= df) {
    outOfRange(5, 0.0, status, bound);
    return;
  }
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  if (which == 1) {
    studentTCdf(t, df, P, Q);
    status = 0;
    return;
  }
  studentTSearch(which, P, Q, t, df, status, bound);
}

double tTwoSidedP(double t, double df) {
  if (!isRealNumber(t)) return -9;
  double P = 0, Q = 0, bound = 1, absT = std::fabs(t);
  int status = 0;
  studentTDistribution(1, P, Q, absT, df, status, bound);
  return status != 0 ? -9 : 2.0 * Q;
}
