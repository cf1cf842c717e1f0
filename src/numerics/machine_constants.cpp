#include "numerics/machine_constants.h"

#include <cmath>
#include <limits>

int machineInteger(int i) {
  switch (i) {
    case 1: return 2;            // integer base
    case 2: return 31;           // bits of an integer
    case 3: return 2147483647;   // largest integer
    case 4: return 2;            // floating base
    case 5: return 24;           // single-precision digits
    case 6: return -125;         // single-precision smallest exponent
    case 7: return 128;          // single-precision largest exponent
    case 8: return 53;           // double-precision digits
    case 9: return -1021;        // double-precision smallest exponent
    default: return 1024;        // 10: double-precision largest exponent
  }
}

double machineDouble(int i) {
  const double b = machineInteger(4);
  const int m = machineInteger(8);
  if (i <= 1) return std::pow(b, 1 - m);
  if (i == 2) {
    const double binv = 1.0 / b;
    return ((std::pow(b, machineInteger(9) + 2) * binv) * binv) * binv;
  }
  const double z = std::pow(b, m - 1);
  const double w = ((z - 1.0) * b + (b - 1.0)) / (b * z);
  return ((w * std::pow(b, machineInteger(10) - 2)) * b) * b;
}

double expArgLimit(int l) {
  const int b = machineInteger(4);
  double lnb = 0;
  if (b == 2) lnb = .69314718055995;
  else if (b == 8) lnb = 2.0794415416798;
  else if (b == 16) lnb = 2.7725887222398;
  else lnb = std::log(static_cast<double>(b));
  const int m = (l == 0) ? machineInteger(10) : machineInteger(9) - 1;
  return 0.99999 * (m * lnb);
}

bool isRealNumber(double x) {
  constexpr double infinity = std::numeric_limits<double>::infinity();
  return x == x && x != infinity && x != -infinity;
}
