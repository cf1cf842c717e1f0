// Test-only helpers for checking the distribution routines against Boost.Math in long double:
// the error policy, relative errors, the flat tolerance, and a per-branch and per-p-band table
// of the largest errors met.
#pragma once

#include <boost/math/policies/policy.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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

// The accuracy the p-value routines keep against the oracle for every p >= 1e-300.
constexpr double flatTolerance = 1e-13;

// The p bands of the per-band report: p >= 1e-10, then down to 1e-100, 1e-200 and 1e-300.
constexpr int bandCount = 4;
inline const char* const bandNames[bandCount] = {">= 1e-10", "1e-100..", "1e-200..", "1e-300.."};
inline int bandOf(long double p) {
  if (p >= 1e-10L) return 0;
  if (p >= 1e-100L) return 1;
  if (p >= 1e-200L) return 2;
  return 3;
}

// The largest relative error met in one branch of a method selection, and where.
struct branchRecord {
  double maxError = 0;
  std::string where;
  long double p = 0;
  int points = 0;
  double bandMax[bandCount] = {0, 0, 0, 0};
  int bandPoints[bandCount] = {0, 0, 0, 0};
};

class branchTable {
 public:
  void add(const std::string& branch, double error, long double p, const std::string& where) {
    branchRecord& r = rows_[branch];
    ++r.points;
    const int band = bandOf(p);
    ++r.bandPoints[band];
    r.bandMax[band] = std::max(r.bandMax[band], error);
    if (error >= r.maxError) {
      r.maxError = error;
      r.where = where;
      r.p = p;
    }
  }
  const std::map<std::string, branchRecord>& rows() const { return rows_; }
  // The largest error per branch with where it was met, then per branch and p band ("-" where
  // the grid has no point).
  void print(const char* title) const {
    std::printf("%s\n  %-44s %7s %10s %10s  %s\n", title, "branch", "points", "max error",
                "at p", "where");
    for (const auto& [name, r] : rows_)
      std::printf("  %-44s %7d %10.2e %10.2Le  %s\n", name.c_str(), r.points, r.maxError, r.p,
                  r.where.c_str());
    std::printf("  max error by p band:\n  %-44s", "branch");
    for (const char* band : bandNames) std::printf(" %10s", band);
    std::printf("\n");
    for (const auto& [name, r] : rows_) {
      std::printf("  %-44s", name.c_str());
      for (int b = 0; b < bandCount; ++b) {
        if (r.bandPoints[b] == 0) std::printf(" %10s", "-");
        else std::printf(" %10.2e", r.bandMax[b]);
      }
      std::printf("\n");
    }
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

// A Poisson mixture of central lower tails summed directly in long double, every index within
// 50 standard deviations of the mean (and 60 more) taken: sum over i of e^-m m^i/i! tail(i),
// m = noncentrality/2. The oracle of the far lower tails, where a noncentral routine's own
// series is not accurate; tail(i) is Boost's central ratio at index i.
template <typename CentralTail>
long double poissonMixtureLowerTail(double noncentrality, CentralTail tail) {
  const long double m = noncentrality / 2.0L;
  const long last = static_cast<long>(m + 50.0L * std::sqrt(m) + 60.0L);
  const long first = std::max(0L, static_cast<long>(m - 50.0L * std::sqrt(m) - 60.0L));
  long double sum = 0;
  for (long i = first; i <= last; ++i) {
    const long double n = static_cast<long double>(i);
    sum += std::exp(-m + n * std::log(m) - std::lgamma(n + 1.0L)) * tail(i);
  }
  return sum;
}

// Evaluates p at every (statistic, df) pair serially and on eight threads at once; every thread
// must get the serial bits (the routines keep no state between calls).
template <typename PValue>
void expectSameBitsOnThreads(const std::vector<std::pair<double, double>>& args, PValue p) {
  std::vector<double> serial;
  for (const auto& [x, df] : args) serial.push_back(p(x, df));
  std::vector<std::vector<double>> results(8);
  std::vector<std::thread> threads;
  for (auto& r : results)
    threads.emplace_back([&] {
      for (const auto& [x, df] : args) r.push_back(p(x, df));
    });
  for (auto& t : threads) t.join();
  for (const auto& r : results) EXPECT_EQ(r, serial);
}

}  // namespace accuracy
