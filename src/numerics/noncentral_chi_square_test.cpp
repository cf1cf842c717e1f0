#include "numerics/noncentral_chi_square.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/non_central_chi_squared.hpp>

#include <cmath>
#include <cstdio>

#include "numerics/accuracy_test_support.h"
#include "numerics/chi_square.h"
#include "numerics/search_test_support.h"

namespace {

using accuracy::quietPolicy;
using accuracy::relativeError;
using search::relativeDistance;
using oracleChi = boost::math::non_central_chi_squared_distribution<long double, quietPolicy>;

// The sum runs until a falling term is below 1e-15 of the sum, so P is good to rounding of the
// sum of many terms; Q = 1 - P carries that error absolutely.
TEST(NoncentralChiSquareCdf, MatchesBoostWithinItsSumsCutOff) {
  double worstP = 0, worstQ = 0;
  for (double df : {0.5, 1.0, 3.0, 20.0, 200.0}) {
    for (double nc : {0.01, 1.0, 10.0, 150.0, 3000.0, 9000.0}) {
      const oracleChi oracle(df, nc);
      const double mean = df + nc, sd = std::sqrt(2 * (df + 2 * nc));
      for (double z = -6; z <= 8; z += 0.25) {
        const double x = mean + z * sd;
        if (x <= 0) continue;
        double P = 0, Q = 0;
        noncentralChiSquareCdf(x, df, nc, P, Q);
        const long double exactP = cdf(oracle, static_cast<long double>(x));
        const long double exactQ = cdf(complement(oracle, static_cast<long double>(x)));
        if (exactP < 1e-8L) continue;
        const double eP = relativeError(P, exactP);
        const double eQ = std::fabs(static_cast<double>(Q - exactQ));
        worstP = std::max(worstP, eP);
        worstQ = std::max(worstQ, eQ);
        EXPECT_LE(eP, 2e-11) << "x " << x << " df " << df << " nc " << nc;
        EXPECT_LE(eQ, 2e-11) << "x " << x << " df " << df << " nc " << nc;
      }
    }
  }
  std::printf("noncentralChiSquareCdf worst: P relative %.2e, Q absolute %.2e (P >= 1e-8)\n",
              worstP, worstQ);
}

TEST(NoncentralChiSquareCdf, IsTheCentralOneWithoutNoncentrality) {
  for (double x : {0.1, 2.0, 30.0}) {
    double P = 0, Q = 0, Pc = 0, Qc = 0;
    noncentralChiSquareCdf(x, 4, 1e-11, P, Q);
    chiSquareCdf(x, 4, Pc, Qc);
    EXPECT_EQ(P, Pc);
    EXPECT_EQ(Q, Qc);
  }
  double P = 7, Q = 7;
  noncentralChiSquareCdf(0.0, 4, 3, P, Q);
  EXPECT_EQ(P, 0.0);
  EXPECT_EQ(Q, 1.0);
}

TEST(NoncentralChiSquareDistribution, ReportsEveryStatusWithItsBound) {
  const struct {
    const char* name;
    int which;
    double P, Q, x, df, nc;
    int status;
    double bound;
  } cases[] = {
      {"which 0", 0, 0.5, 0.5, 1, 2, 3, -1, 1},
      {"which 5", 5, 0.5, 0.5, 1, 2, 3, -1, 4},
      {"P above 1", 2, 1.5, 0.5, 1, 2, 3, -2, 1},
      {"Q zero", 2, 1.0, 0.0, 1, 2, 3, -3, 0},
      {"x negative", 3, 0.5, 0.5, -1, 2, 3, -4, 0},
      {"df zero", 4, 0.5, 0.5, 1, 0, 3, -5, 0},
      {"noncentrality negative", 1, 0.5, 0.5, 1, 2, -3, -6, 0},
      {"P + Q not 1", 2, 0.5, 0.4, 1, 2, 3, 3, 1},
      // Pr(X <= 1) with df 2 is 0.39 without noncentrality and falls with it.
      {"noncentrality below the range", 4, 0.6, 0.4, 1, 2, 0, 1, 0},
      // Pr(X <= 10500) with df 2 falls only to 0.994 up to a noncentrality of 1e4.
      {"noncentrality above the range", 4, 0.5, 0.5, 10500, 2, 0, 2, 1e4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = c.P, Q = c.Q, x = c.x, df = c.df, nc = c.nc, bound = 7;
    int status = 99;
    noncentralChiSquareDistribution(c.which, P, Q, x, df, nc, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
  }
}

// Every search ends where the cumulative routine meets P; that point is where Boost's cdf meets
// P to the accuracy of the sum.
TEST(NoncentralChiSquareDistribution, SearchesSolveForP) {
  const struct { double x, df, nc; } points[] = {{5, 3, 2}, {60, 10, 40}, {2500, 4, 2400}};
  for (const auto& pt : points) {
    double P = 0, Q = 0;
    noncentralChiSquareCdf(pt.x, pt.df, pt.nc, P, Q);
    for (int which = 2; which <= 4; ++which) {
      SCOPED_TRACE(testing::Message() << pt.x << " " << pt.df << " " << pt.nc << " mode " << which);
      double Pv = P, Qv = Q, x = pt.x, df = pt.df, nc = pt.nc, bound = 7;
      double& unknown = which == 2 ? x : which == 3 ? df : nc;
      unknown = 0;
      int status = 99;
      noncentralChiSquareDistribution(which, Pv, Qv, x, df, nc, status, bound);
      ASSERT_EQ(status, 0);
      const double truth = which == 2 ? pt.x : which == 3 ? pt.df : pt.nc;
      EXPECT_LE(relativeDistance(unknown, truth), 1e-7);
      EXPECT_LE(relativeError(P, cdf(oracleChi(df, nc), static_cast<long double>(x))), 1e-7);
    }
  }
}

}  // namespace
