#include "numerics/student_t.h"

#include <cmath>

#include "numerics/distributions.h"
#include "numerics/incomplete_beta.h"
#include "numerics/machine_constants.h"

void studentTCdf(double t, double df, double& P, double& Q) {
  const double tt = t * t;
  const double dfptt = df + tt;
  const double x = df / dfptt;
  const double y = tt / dfptt;
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
  if (which < 1 || which > 3) {
    status = -1;
    bound = which < 1 ? 1.0 : 3.0;
    return;
  }
  if (which != 1) {
    status = -1;
    bound = 3.0;
    return;
  }
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
