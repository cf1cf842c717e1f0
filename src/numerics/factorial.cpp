#include "numerics/factorial.h"

long double factorial(int n) {
  long double product = 1.0L;
  for (int k = 2; k <= n; k++) product *= k;
  return product;
}
