// Polynomial evaluation in the nested form the distribution routines' coefficient tables assume.
#pragma once

#include <cstddef>

// c[0] + c[1] x + ... + c[n-1] x^(n-1), nested from the highest coefficient down, so that the
// rounding is that of the classic ((c[n-1] x + c[n-2]) x + ...) x + c[0]. Requires n >= 1.
constexpr double horner(const double* c, std::size_t n, double x) {
  double r = c[n - 1];
  for (std::size_t i = n - 1; i-- > 0;) r = r * x + c[i];
  return r;
}

template <std::size_t N>
constexpr double horner(const double (&c)[N], double x) {
  return horner(c, N, x);
}
