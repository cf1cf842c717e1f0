#include "numerics/student_t.h"

#include <cmath>

#include "numerics/distributions.h"
#include "numerics/exact_arithmetic.h"
#include "numerics/front_end_mode.h"
#include "numerics/incomplete_beta.h"
#include "numerics/machine_constants.h"

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

void studentTDistribution(int which, double& P, double& Q, double& t, double& df, int& status,
                          double& bound) {
  if (!forwardModeAsked(which, status, bound)) return;
  // Tested as 0 >= df, so a df that is not a number passes, as the published front end lets it.
  if (0.0 >= df) {
    status = -5;
    bound = 0.0;
    return;
  }
  studentTCdf(t, df, P, Q);
  status = 0;
}

double tTwoSidedP(double t, double df) {
  if (!isRealNumber(t)) return -9;
  double P = 0, Q = 0, bound = 1, absT = std::fabs(t);
  int status = 0;
  studentTDistribution(1, P, Q, absT, df, status, bound);
  return status != 0 ? -9 : 2.0 * Q;
}
