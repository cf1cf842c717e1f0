#include "numerics/tail_fractions.h"

#include <cmath>

#include "numerics/beta_continued_fraction.h"

namespace {

constexpr int iterationLimit = 10000;
constexpr double accuracy = 1e-15;
constexpr double tinyDenominator = 1e-300;

}  // namespace

double upperGammaOverFactor(double a, double x) {
  double b = x + 1.0 - a;
  double c = 1.0 / tinyDenominator;
  double d = 1.0 / b;
  double h = d;
  for (int i = 1; i <= iterationLimit; ++i) {
    const double an = -i * (i - a);
    b += 2.0;
    d = 1.0 / lentzAwayFromZero(an * d + b, tinyDenominator);
    c = lentzAwayFromZero(b + an / c, tinyDenominator);
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1.0) < accuracy) return h;
  }
  return NAN;
}

double lowerBetaOverFactor(double a, double b, double x) {
  double fraction = NAN;
  betaFractionLentz(a, b, x, accuracy, iterationLimit, fraction);
  return fraction;
}

double lowerGammaOverFactor(double a, double x) {
  double term = 1.0, sum = 1.0;
  for (int i = 1; i <= iterationLimit; ++i) {
    term *= x / (a + i);
    sum += term;
    if (term < accuracy * sum) return sum;
  }
  return NAN;
}
