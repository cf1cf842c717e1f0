#include "numerics/discrete_distributions.h"

#include "numerics/chi_square.h"
#include "numerics/front_end_mode.h"
#include "numerics/incomplete_beta.h"
#include "numerics/search_engines.h"

namespace {

constexpr double searchTop = 1e300;
constexpr double smallest = 1e-300;

using cdfOfFour = void (*)(double, double, double, double, double&, double&);

// Checks of pr and ompr (arguments 6 and 7) and of their sum, for the modes that take them.
bool probabilityPairValid(int which, double pr, double ompr, int& status, double& bound) {
  if (which == 4) return true;
  if (!probabilityInRange(pr, true, 6, status, bound)) return false;
  if (!probabilityInRange(ompr, true, 7, status, bound)) return false;
  return true;
}

// The searches of the binomial and negative binomial front ends: s (mode 2) and n (mode 3) by
// the monotone search over [low, high], pr (mode 4) by the zero finder over [0, 1] on the
// smaller tail, pr when P is the smaller, ompr otherwise.
void countSearch(cdfOfFour cdf, int which, double P, double Q, double& s, double& n, double& pr,
                 double& ompr, double low, double high, int& status, double& bound) {
  const auto difference = [&](double& fx) {
    double cum = 0, ccum = 0;
    cdf(s, n, pr, ompr, cum, ccum);
    fx = tailGap(P, Q, cum, ccum);
    return true;
  };
  if (which == 4) return searchComplementPair(P <= Q, pr, ompr, difference, status, bound);
  searchUnknown(which == 2 ? s : n, 5.0 < high ? 5.0 : high, low, high, difference, status, bound);
}

}  // namespace

void binomialCdf(double s, double n, double pr, double ompr, double& P, double& Q) {
  if (s < n) {
    betaCdf(pr, ompr, s + 1.0, n - s, Q, P);
    return;
  }
  P = 1.0;
  Q = 0.0;
}

void negBinomialCdf(double s, double n, double pr, double ompr, double& P, double& Q) {
  betaCdf(pr, ompr, n, s + 1.0, P, Q);
}

void poissonCdf(double s, double lambda, double& P, double& Q) {
  double chiP = 2, chiQ = 2;
  chiSquareCdf(2.0 * lambda, 2.0 * (s + 1.0), chiP, chiQ);
  if (chiP > 1.5) chiQ = 2.0;
  P = chiQ;
  Q = chiP;
}

void binomialDistribution(int which, double& P, double& Q, double& s, double& n, double& pr,
                          double& ompr, int& status, double& bound) {
  if (!whichInRange(which, 4, status, bound)) return;
  if (which != 1) {
    if (!probabilityInRange(P, true, 2, status, bound)) return;
    if (!probabilityInRange(Q, false, 3, status, bound)) return;
  }
  if (which != 2) {
    if (s < 0.0) return void(outOfRange(4, 0.0, status, bound));
    if (which != 3 && s > n) return void(outOfRange(4, n, status, bound));
  }
  if (which != 3 && n <= 0.0) return void(outOfRange(5, 0.0, status, bound));
  if (!probabilityPairValid(which, pr, ompr, status, bound)) return;
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  if (which != 4 && !complementsAddUp(pr, ompr, 4, status, bound)) return;
  status = 0;
  if (which == 1) {
    binomialCdf(s, n, pr, ompr, P, Q);
    return;
  }
  const double high = which == 2 ? n : searchTop;
  const double low = which == 2 ? 0.0 : smallest;
  countSearch(binomialCdf, which, P, Q, s, n, pr, ompr, low, high, status, bound);
}

void negBinomialDistribution(int which, double& P, double& Q, double& s, double& n, double& pr,
                             double& ompr, int& status, double& bound) {
  if (!whichInRange(which, 4, status, bound)) return;
  if (which != 1) {
    if (!probabilityInRange(P, true, 2, status, bound)) return;
    if (!probabilityInRange(Q, false, 3, status, bound)) return;
  }
  if (which != 2 && s < 0.0) return void(outOfRange(4, 0.0, status, bound));
  if (which != 3 && n < 0.0) return void(outOfRange(5, 0.0, status, bound));
  if (!probabilityPairValid(which, pr, ompr, status, bound)) return;
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  if (which != 4 && !complementsAddUp(pr, ompr, 4, status, bound)) return;
  status = 0;
  if (which == 1) {
    negBinomialCdf(s, n, pr, ompr, P, Q);
    return;
  }
  countSearch(negBinomialCdf, which, P, Q, s, n, pr, ompr, 0.0, searchTop, status, bound);
}

void poissonDistribution(int which, double& P, double& Q, double& s, double& lambda, int& status,
                         double& bound) {
  if (!whichInRange(which, 3, status, bound)) return;
  if (which != 1) {
    if (!probabilityInRange(P, true, 2, status, bound)) return;
    if (!probabilityInRange(Q, false, 3, status, bound)) return;
  }
  if (which != 2 && s < 0.0) return void(outOfRange(4, 0.0, status, bound));
  if (which != 3 && lambda < 0.0) return void(outOfRange(5, 0.0, status, bound));
  if (which != 1 && !complementsAddUp(P, Q, 3, status, bound)) return;
  if (which == 1) {
    poissonCdf(s, lambda, P, Q);
    status = P > 1.5 ? 10 : 0;
    return;
  }
  const auto difference = [&](double& fx) {
    double cum = 0, ccum = 0;
    poissonCdf(s, lambda, cum, ccum);
    if ((P <= Q ? cum : ccum) > 1.5) return false;
    fx = tailGap(P, Q, cum, ccum);
    return true;
  };
  searchUnknown(which == 2 ? s : lambda, 5.0, 0.0, searchTop, difference, status, bound);
}
