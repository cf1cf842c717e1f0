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
  const bool lowerTail = P <= Q;
  double value = 5.0;
  const searchEnd end = monotoneSearch(value, smallest, searchTop, [&](double v, double& fx) {
    double cum = 2, ccum = 2;
    gammaCdf(x * scale, v, cum, ccum);
    const double computed = lowerTail ? cum : ccum;
    if (computed > 1.5) return false;
    fx = (lowerTail ? P : Q) - computed;
    return true;
  });
  shape = value;
  reportSearchEnd(end, smallest, searchTop, status, bound);
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
  const bool lowerTail = P <= Q;
  const auto difference = [&](double& fx) {
    double cum = 0, ccum = 0;
    betaCdf(x, y, a, b, cum, ccum);
    fx = lowerTail ? P - cum : Q - ccum;
    return true;
  };
  if (which == 2) {
    // The zero finder runs on x when P is the smaller tail and on y otherwise, so that the
    // variate near 1 keeps the digits of its complement.
    double value = 0.5;
    const searchEnd end = bracketedSearch(value, 0.0, 1.0, [&](double v, double& fx) {
      x = lowerTail ? v : 1.0 - v;
      y = lowerTail ? 1.0 - v : v;
      return difference(fx);
    });
    x = lowerTail ? value : 1.0 - value;
    y = lowerTail ? 1.0 - value : value;
    reportSearchEnd(end, 0.0, 1.0, status, bound);
    return;
  }
  double& unknown = which == 3 ? a : b;
  double value = 5.0;
  const searchEnd end = monotoneSearch(value, smallest, searchTop, [&](double v, double& fx) {
    unknown = v;
    return difference(fx);
  });
  unknown = value;
  reportSearchEnd(end, smallest, searchTop, status, bound);
}
