// Test-only helpers for the inverse modes of the distribution front ends: the oracle's own root
// of a long double function, and the relative distance of a found value from it.
#pragma once

#include <boost/math/tools/roots.hpp>
#include <boost/math/tools/toms748_solve.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace search {

// The root of f in [lo, hi] (f changing sign there) to the full long double precision.
template <typename F>
long double oracleRoot(F f, long double lo, long double hi) {
  std::uintmax_t iterations = 500;
  const auto r = boost::math::tools::toms748_solve(
      f, lo, hi, boost::math::tools::eps_tolerance<long double>(60), iterations);
  return (r.first + r.second) / 2;
}

// The tolerance of the inverse modes: the searches stop once the bracket is narrower than 1e-8
// of the answer; the small margin covers the oracle's own rounding.
constexpr double searchTolerance = 1.0001e-8;

inline double relativeDistance(double found, long double exact) {
  if (exact == 0.0L) return std::fabs(found);
  return static_cast<double>(std::fabs((found - exact) / exact));
}

// Whether a search's answer meets its stopping rule against the exact one: within 1e-8 of it, or
// within the absolute tolerance 1e-50 for answers too small for the relative one.
inline bool withinSearchTolerance(double found, long double exact) {
  return std::fabs(found - exact) <= std::max(searchTolerance * std::fabs(exact), 1.0001e-50L);
}

}  // namespace search
