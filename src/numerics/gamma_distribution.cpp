#include "numerics/gamma_distribution.h"

#include "numerics/chi_square.h"
#include "numerics/front_end_mode.h"
#include "numerics/incomplete_beta.h"
#include "numerics/search_engines.h"

namespace {

constexpr double searchTop = 1e300;
constexpr double smallest = 1e-300;

}  // namespace

void gammaDistribution(int which, double& P, double& Q, double& x, double& shape, double& scale,
                       int& status, double& bound) {
  if (!whichInRange(which, 4, status, bound)) return;
  if (which != 1) {
    if (!probabilityInRange(P, true, 2, status, bound)) return;
    if (!probabilityInRange(Q, false, 3, status, bound)) return;
  }
  if (which != 2 && x < 0.0) return void(outOfRange(4, 0.0, status, bound));
  if (which != 3 && shape <= 0.0) return void(outOfRange(5, 0.0, status, bound));
  if (which != 4 && scale <= 0.0) return void(outOfRange(6, 0.0, status, bound));
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  status = 0;
  if (which == 1) {
    gammaCdf(x * scale, shape, P, Q);
    if (P > 1.5) status = 10;
    return;
  }
  if (which == 2 || which == 4) {
    double standard = 0;
    int error = 0;
    incompleteGammaInverse(shape, standard, -1.0, P, Q, error);
    if (error < 0) {
      status = 10;
      return;
    }
    if (which == 2) x = standard / scale;
    else scale = standard / x;
    return;
  }
  const auto difference = [&](double& fx) {
    double cum = 2, ccum = 2;
    gammaCdf(x * scale, shape, cum, ccum);
    if ((P <= Q ? cum : ccum) > 1.5) return false;
    fx = tailGap(P, Q, cum, ccum);
    return true;
  };
  searchUnknown(shape, 5.0, smallest, searchTop, difference, status, bound);
}

void betaDistribution(int which, double& P, double& Q, double& x, double& y, double& a,
                      double& b, int& status, double& bound) {
  if (!whichInRange(which, 4, status, bound)) return;
  if (which != 1) {
    if (!probabilityInRange(P, true, 2, status, bound)) return;
    if (!probabilityInRange(Q, false, 3, status, bound)) return;
  }
  if (which != 2) {
    if (!probabilityInRange(x, true, 4, status, bound)) return;
    if (!probabilityInRange(y, true, 5, status, bound)) return;
  }
  if (which != 3 && a <= 0.0) return void(outOfRange(6, 0.0, status, bound));
  if (which != 4 && b <= 0.0) return void(outOfRange(7, 0.0, status, bound));
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  if (which != 2 && !complementsAddUp(x, y, 4, status, bound)) return;
  status = 0;
  if (which == 1) {
    betaCdf(x, y, a, b, P, Q);
    return;
  }
  const auto difference = [&](double& fx) {
    double cum = 0, ccum = 0;
    betaCdf(x, y, a, b, cum, ccum);
    fx = tailGap(P, Q, cum, ccum);
    return true;
  };
  if (which == 2) return searchComplementPair(P <= Q, x, y, difference, status, bound);
  searchUnknown(which == 3 ? a : b, 5.0, smallest, searchTop, difference, status, bound);
}
