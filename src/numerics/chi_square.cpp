#include "numerics/chi_square.h"

#include "numerics/distributions.h"
#include "numerics/front_end_mode.h"
#include "numerics/incomplete_gamma.h"
#include "numerics/machine_constants.h"

void gammaCdf(double x, double shape, double& P, double& Q) {
  if (x <= 0.0) {
    P = 0.0;
    Q = 1.0;
    return;
  }
  incompleteGammaRatio(shape, x, P, Q, 0);
}

void chiSquareCdf(double x, double df, double& P, double& Q) {
  gammaCdf(0.5 * x, 0.5 * df, P, Q);
}

void chiSquareDistribution(int which, double& P, double& Q, double& x, double& df, int& status,
                           double& bound) {
  if (!forwardModeAsked(which, status, bound)) return;
  // Ordered comparisons: a df that is not a number passes, as the published front end lets it.
  if (x < 0.0) {
    status = -4;
    bound = 0.0;
    return;
  }
  if (df <= 0.0) {
    status = -5;
    bound = 0.0;
    return;
  }
  status = 0;
  chiSquareCdf(x, df, P, Q);
  if (P > 1.5) status = 10;
}

double chiSquareP(double x, double df) {
  if (!isRealNumber(x)) return -9;
  double P = 0, Q = 0, bound = 1;
  int status = 0;
  chiSquareDistribution(1, P, Q, x, df, status, bound);
  return status != 0 ? -9 : Q;
}
