#include "numerics/incomplete_beta.h"

#include <algorithm>
#include <cmath>

#include "numerics/beta_auxiliary.h"
#include "numerics/machine_constants.h"

namespace {

// The working parameters after the optional swap I_x(a, b) = 1 - I_y(b, a).
struct betaProblem {
  double a0, b0, x0, y0;
  bool swapped;
};

betaProblem swappedIf(bool swap, double a, double b, double x, double y) {
  if (swap) return {b, a, y, x, true};
  return {a, b, x, y, false};
}

// The pair from a computed I (lower) or 1 - I (upper), the other as its complement.
void fromLower(double& W, double& W1, double w) {
  W = w;
  W1 = 0.5 + (0.5 - w);
}
void fromUpper(double& W, double& W1, double w1) {
  W1 = w1;
  W = 0.5 + (0.5 - w1);
}

// W1 = 1 - I by n steps of the difference recurrence on b0 and then the large-a expansion.
void complementByLargeA(betaProblem& p, int n, double eps, double& W, double& W1) {
  double w1 = 0.0;
  if (n > 0) {
    w1 = betaDifference(p.b0, p.a0, p.y0, p.x0, n, eps);
    p.b0 += n;
  }
  int error = 0;
  betaAsymptoticLargeA(p.b0, p.a0, p.y0, p.x0, w1, 15.0 * eps, error);
  fromUpper(W, W1, w1);
}

// min(a, b) <= 1.
void smallParameter(betaProblem& p, double eps, double& W, double& W1) {
  if (p.b0 < std::min(eps, eps * p.a0)) {
    fromLower(W, W1, betaSmallB(p.a0, p.b0, p.x0, eps));
  } else if (p.a0 < std::min(eps, eps * p.b0) && p.b0 * p.x0 <= 1.0) {
    fromUpper(W, W1, betaSmallA(p.a0, p.b0, p.x0, eps));
  } else if (!(std::max(p.a0, p.b0) > 1.0)) {
    if (p.a0 >= std::min(0.2, p.b0) || std::pow(p.x0, p.a0) <= 0.9)
      fromLower(W, W1, betaPowerSeries(p.a0, p.b0, p.x0, eps));
    else if (p.x0 >= 0.3) fromUpper(W, W1, betaPowerSeries(p.b0, p.a0, p.y0, eps));
    else complementByLargeA(p, 20, eps, W, W1);
  } else if (p.b0 <= 1.0) {
    fromLower(W, W1, betaPowerSeries(p.a0, p.b0, p.x0, eps));
  } else if (p.x0 >= 0.3) {
    fromUpper(W, W1, betaPowerSeries(p.b0, p.a0, p.y0, eps));
  } else if (p.x0 < 0.1 && std::pow(p.x0 * p.b0, p.a0) <= 0.7) {
    fromLower(W, W1, betaPowerSeries(p.a0, p.b0, p.x0, eps));
  } else {
    complementByLargeA(p, p.b0 > 15.0 ? 0 : 20, eps, W, W1);
  }
}

// min(a, b) > 1, b0 < 40, b0 x0 > 0.7: b0 is brought below 1 by the difference recurrence,
// then the power series or, for x0 > 0.7, more differences on a0 and the large-a expansion.
void reducedB(betaProblem& p, double eps, double& W, double& W1) {
  int n = static_cast<int>(p.b0);
  p.b0 -= n;
  if (p.b0 == 0.0) {
    n -= 1;
    p.b0 = 1.0;
  }
  double w = betaDifference(p.b0, p.a0, p.y0, p.x0, n, eps);
  if (p.x0 <= 0.7) {
    w += betaPowerSeries(p.a0, p.b0, p.x0, eps);
    fromLower(W, W1, w);
    return;
  }
  if (p.a0 <= 15.0) {
    w += betaDifference(p.a0, p.b0, p.x0, p.y0, 20, eps);
    p.a0 += 20;
  }
  int error = 0;
  betaAsymptoticLargeA(p.a0, p.b0, p.x0, p.y0, w, 15.0 * eps, error);
  fromLower(W, W1, w);
}

// min(a, b) > 1, after the swap that makes lambda = a0 - (a0 + b0) x0 >= 0.
void largeParameters(betaProblem& p, double lambda, double eps, double& W, double& W1) {
  if (p.b0 < 40.0) {
    if (p.b0 * p.x0 <= 0.7) fromLower(W, W1, betaPowerSeries(p.a0, p.b0, p.x0, eps));
    else reducedB(p, eps, W, W1);
    return;
  }
  const bool contFraction = p.a0 > p.b0 ? (p.b0 <= 100.0 || lambda > 0.03 * p.b0)
                                        : (p.a0 <= 100.0 || lambda > 0.03 * p.a0);
  if (contFraction)
    fromLower(W, W1, betaContFraction(p.a0, p.b0, p.x0, p.y0, lambda, 15.0 * eps));
  else fromLower(W, W1, betaAsymptoticLarge(p.a0, p.b0, lambda, 100.0 * eps));
}

// The argument checks in the order of the error codes; 0 when all pass.
int argumentError(double a, double b, double x, double y, double eps) {
  if (a < 0.0 || b < 0.0) return 1;
  if (a == 0.0 && b == 0.0) return 2;
  if (x < 0.0 || x > 1.0) return 3;
  if (y < 0.0 || y > 1.0) return 4;
  const double z = ((x + y) - 0.5) - 0.5;
  if (std::fabs(z) > 3.0 * eps) return 5;
  return 0;
}

}  // namespace

void incompleteBetaRatio(double a, double b, double x, double y, double& W, double& W1,
                         int& error) {
  double eps = machineDouble(1);
  W = 0.0;
  W1 = 0.0;
  error = argumentError(a, b, x, y, eps);
  if (error != 0) return;
  if (x == 0.0) {
    if (a == 0.0) error = 6;
    else fromLower(W, W1, 0.0);
    return;
  }
  if (y == 0.0) {
    if (b == 0.0) error = 7;
    else fromLower(W, W1, 1.0);
    return;
  }
  if (a == 0.0 || b == 0.0) {
    fromLower(W, W1, a == 0.0 ? 1.0 : 0.0);
    return;
  }
  eps = std::max(eps, 1.e-15);
  if (std::max(a, b) < 1.e-3 * eps) {
    W = b / (a + b);
    W1 = a / (a + b);
    return;
  }
  betaProblem p{};
  if (!(std::min(a, b) > 1.0)) {
    p = swappedIf(x > 0.5, a, b, x, y);
    smallParameter(p, eps, W, W1);
  } else {
    double lambda = a > b ? (a + b) * y - b : a - (a + b) * x;
    p = swappedIf(!(lambda >= 0.0), a, b, x, y);
    lambda = std::fabs(lambda);
    largeParameters(p, lambda, eps, W, W1);
  }
  if (p.swapped) std::swap(W, W1);
}

void betaCdf(double x, double y, double a, double b, double& P, double& Q) {
  if (x <= 0.0) {
    P = 0.0;
    Q = 1.0;
    return;
  }
  if (y <= 0.0) {
    P = 1.0;
    Q = 0.0;
    return;
  }
  int error = 0;
  incompleteBetaRatio(a, b, x, y, P, Q, error);
}
