#include "numerics/normal_approximations.h"

#include <cerrno>
#include <cmath>
#include <limits>

namespace {

// Abramowitz and Stegun 26.2.17.
constexpr double tailScale = 0.2316419;
constexpr double tailCoefficients[5] = {0.319381530, -0.356563782, 1.781477937, -1.821255978,
                                        1.330274429};
constexpr double rootTwoPi = 2.50662827463;

// Acklam: central region numerator and denominator, tail numerator and denominator.
constexpr double a[6] = {-3.969683028665376e+01, 2.209460984245205e+02, -2.759285104469687e+02,
                         1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
constexpr double b[5] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                         6.680131188771972e+01, -1.328068155288572e+01};
constexpr double c[6] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                         -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
constexpr double d[4] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                         3.754408661907416e+00};
constexpr double lowerRegion = 0.02425;
constexpr double upperRegion = 1.0 - lowerRegion;

// The lower-tail quantile from q = sqrt(-2 ln p) (the upper tail is its negative).
double tailQuantile(double q) {
  return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
         ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
}

}  // namespace

double normalCdfApprox(double x) {
  const double t = 1.0 / (1.0 + tailScale * std::fabs(x));
  double poly = 0.0;
  for (int i = 4; i >= 0; i--) poly = t * (tailCoefficients[i] + poly);
  const double tail = std::exp(-0.5 * x * x) / rootTwoPi * poly;
  return x >= 0.0 ? 1.0 - tail : tail;
}

double normalQuantile(double p) {
  errno = 0;
  if (std::isnan(p)) {
    errno = EDOM;
    return p;
  }
  if (p < 0.0 || p > 1.0) {
    errno = EDOM;
    return 0.0;
  }
  if (p == 0.0 || p == 1.0) {
    errno = ERANGE;
    return p == 0.0 ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  }
  if (p < lowerRegion) return tailQuantile(std::sqrt(-2.0 * std::log(p)));
  if (p > upperRegion) return -tailQuantile(std::sqrt(-2.0 * std::log(1.0 - p)));
  const double q = p - 0.5;
  const double r = q * q;
  return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
         (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
}
