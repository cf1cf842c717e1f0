// Test-only helpers for checking the distribution routines against Boost.Math in long double:
// the error policy, relative errors, and a per-branch table of the largest errors met.
#pragma once

#include <boost/math/policies/policy.hpp>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace accuracy {

// Boost reports underflow and overflow by throwing unless told otherwise; the oracle must
// return its (tiny or huge) values instead.
using quietPolicy = boost::math::policies::policy<
    boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::underflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::evaluation_error<boost::math::policies::ignore_error>,
    boost::math::policies::domain_error<boost::math::policies::ignore_error>>;

inline double relativeError(double value, long double exact) {
  if (exact == 0.0L) return value == 0.0 ? 0.0 : INFINITY;
  return static_cast<double>(std::fabs((static_cast<long double>(value) - exact) / exact));
}

// The rounding budget of a double-precision evaluation of e^w with |w| = logSize: the routines
// build tails as exponentials of arguments that carry one rounding each, so their relative
// error grows with the size of those arguments (|ln p|, and |x - a| where x/a is rounded).
inline double tailTolerance(double logSize) {
  return 1e-13 + 4.0 * std::ldexp(1.0, -53) * logSize;
}

// The largest relative error met in one branch of a method selection, and where.
struct branchRecord {
  double maxError = 0;
  std::string where;
  long double p = 0;
  int points = 0;
};

class branchTable {
 public:
  void add(const std::string& branch, double error, long double p, const std::string& where) {
    branchRecord& r = rows_[branch];
    ++r.points;
    if (error >= r.maxError) {
      r.maxError = error;
      r.where = where;
      r.p = p;
    }
  }
  const std::map<std::string, branchRecord>& rows() const { return rows_; }
  void print(const char* title) const {
    std::printf("%s\n  %-34s %7s %10s %10s  %s\n", title, "branch", "points", "max error",
                "at p", "where");
    for (const auto& [name, r] : rows_)
      std::printf("  %-34s %7d %10.2e %10.2Le  %s\n", name.c_str(), r.points, r.maxError, r.p,
                  r.where.c_str());
  }

 private:
  std::map<std::string, branchRecord> rows_;
};

// A geometric grid from lo with the given number of points per decade, plus extra points.
template <typename Visit>
void geometricGrid(double lo, double hi, int perDecade, Visit visit) {
  const double ratio = std::pow(10.0, 1.0 / perDecade);
  for (double v = lo; v < hi; v *= ratio) {
    if (!visit(v)) return;
  }
}

}  // namespace accuracy
