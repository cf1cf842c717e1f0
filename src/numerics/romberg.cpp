#include "numerics/romberg.h"

#include <cmath>
#include <cstdint>

#include "numerics/fatal_error.h"

namespace {

constexpr int maxStages = 20;
constexpr int extrapolationPoints = 5;
constexpr double relativeAccuracy = 1e-10;
constexpr int maxTrapezoidStage = 62;

// One trapezoidal stage on the caller's running sum.
double refine(const realFunction& f, double a, double b, int n, double& sum) {
  if (n <= 1) {
    sum = 0.5 * (b - a) * (f(a) + f(b));
    return sum;
  }
  // 2^60 midpoints are far beyond any real use; beyond 64 the count itself cannot be formed.
  if (n > maxTrapezoidStage) fatalError("Internal error: too many stages in trapezoidStep");
  const std::uint64_t points = std::uint64_t{1} << (n - 2);
  const double count = static_cast<double>(points);
  const double del = (b - a) / count;
  double total = 0.0;
  for (std::uint64_t k = 0; k < points; k++) total += f(a + (static_cast<double>(k) + 0.5) * del);
  sum = 0.5 * (sum + (b - a) * total / count);
  return sum;
}

}  // namespace

double trapezoidStep(const realFunction& f, double a, double b, int n) {
  // One running sum per thread: a stage only ever refines the stages of its own thread.
  thread_local double sum = 0.0;
  return refine(f, a, b, n, sum);
}

void polint(const std::vector<double>& xa, const std::vector<double>& ya, double x, double& y,
            double& dy) {
  const int n = static_cast<int>(xa.size());
  if (n == 0 || ya.size() != xa.size())
    fatalError("Internal error: polint needs as many ordinates as abscissas, at least one");
  int ns = 0;
  double dif = std::fabs(x - xa[0]);
  std::vector<double> c = ya, d = ya;
  for (int i = 1; i < n; i++) {
    const double dift = std::fabs(x - xa[i]);
    if (dift < dif) {
      ns = i;
      dif = dift;
    }
  }
  y = ya[ns--];
  dy = 0.0;
  for (int m = 1; m < n; m++) {
    for (int i = 0; i < n - m; i++) {
      const double ho = xa[i] - x;
      const double hp = xa[i + m] - x;
      const double w = c[i + 1] - d[i];
      double den = ho - hp;
      if (den == 0.0) fatalError("Error in routine polint");
      den = w / den;
      d[i] = hp * den;
      c[i] = ho * den;
    }
    // Take the path through the tableau that stays closest to x: up or down from ns.
    dy = 2 * (ns + 1) < n - m ? c[ns + 1] : d[ns--];
    y += dy;
  }
}

double qromb(const realFunction& f, double a, double b) {
  std::vector<double> s(maxStages), h(maxStages);
  double sum = 0.0;
  h[0] = 1.0;
  for (int j = 0; j < maxStages; j++) {
    s[j] = refine(f, a, b, j + 1, sum);
    if (j + 1 >= extrapolationPoints) {
      const int first = j + 1 - extrapolationPoints;
      const std::vector<double> hs(h.begin() + first, h.begin() + j + 1);
      const std::vector<double> ss(s.begin() + first, s.begin() + j + 1);
      double value = 0.0, error = 0.0;
      polint(hs, ss, 0.0, value, error);
      if (std::fabs(error) <= relativeAccuracy * std::fabs(value)) return value;
    }
    if (j + 1 < maxStages) h[j + 1] = 0.25 * h[j];
  }
  fatalError("Internal error: too many steps in routine qromb");
}
