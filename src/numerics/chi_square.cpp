#include "numerics/chi_square.h"

#include "numerics/distributions.h"
#include "numerics/front_end_mode.h"
#include "numerics/incomplete_gamma.h"
#include "numerics/machine_constants.h"
#include "numerics/search_engines.h"

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

namespace {

constexpr double searchTop = 1e300;
constexpr double smallestDf = 1e-300;

// Searches x (mode 2) or df (mode 3) for the target tail, the smaller of P and Q. The ratio
// routine's error value (P = 2, Q left alone) shows in whichever tail is compared.
void chiSquareSearch(int which, double P, double Q, double& x, double& df, int& status,
                     double& bound) {
  const auto difference = [&](double& fx) {
    double cum = 2, ccum = 2;
    chiSquareCdf(x, df, cum, ccum);
    if ((P <= Q ? cum : ccum) > 1.5) return false;
    fx = tailGap(P, Q, cum, ccum);
    return true;
  };
  searchUnknown(which == 2 ? x : df, 5.0, which == 2 ? 0.0 : smallestDf, searchTop, difference,
                status, bound);
}

}  // namespace

void chiSquareDistribution(int which, double& P, double& Q, double& x, double& df, int& status,
                           double& bound) {
  if (!whichInRange(which, 3, status, bound)) return;
  if (which != 1) {
    if (!probabilityInRange(P, true, 2, status, bound)) return;
    if (!probabilityInRange(Q, false, 3, status, bound)) return;
  }
  // Ordered comparisons: a df that is not a number passes, as the published front end lets it.
  if (which != 2 && x < 0.0) {
    outOfRange(4, 0.0, status, bound);
    return;
  }
  if (which != 3 && df <= 0.0) {
    outOfRange(5, 0.0, status, bound);
    return;
  }
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  if (which == 1) {
    status = 0;
    chiSquareCdf(x, df, P, Q);
    if (P > 1.5) status = 10;
    return;
  }
  chiSquareSearch(which, P, Q, x, df, status, bound);
}

double chiSquareP(double x, double df) {
  if (!isRealNumber(x)) return -9;
  double P = 0, Q = 0, bound = 1;
  int status = 0;
  chiSquareDistribution(1, P, Q, x, df, status, bound);
  return status != 0 ? -9 : Q;
}

double chiSquareQuantile(double p, double df) {
  if (!isRealNumber(p)) return -9;
  if (p >= 1.0) return 0.0;
  double P = 1.0 - p, Q = p, x = 0, bound = 0;
  int status = 0;
  chiSquareDistribution(2, P, Q, x, df, status, bound);
  return status == 0 ? x : -9;
}
