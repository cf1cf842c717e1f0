#include "numerics/discrete_distributions.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/binomial.hpp>
#include <boost/math/distributions/negative_binomial.hpp>
#include <boost/math/distributions/poisson.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <cmath>
#include <cstdio>

#include "numerics/accuracy_test_support.h"
#include "numerics/search_test_support.h"

namespace {

using accuracy::quietPolicy;
using accuracy::relativeError;
using search::relativeDistance;
using search::searchTolerance;

// Checks both tails of one cumulative routine against the oracle's pair; returns the worst
// relative error over the tails of at least 1e-300.
double tailError(double P, double Q, long double exactP, long double exactQ) {
  double worst = 0;
  if (exactP >= 1e-300L) worst = std::max(worst, relativeError(P, exactP));
  if (exactQ >= 1e-300L) worst = std::max(worst, relativeError(Q, exactQ));
  return worst;
}

TEST(BinomialCdf, BothTailsMatchBoost) {
  double worst = 0;
  for (double n : {1.0, 10.0, 137.0, 5000.0}) {
    for (double pr : {1e-6, 0.01, 0.3, 0.5, 0.97}) {
      const boost::math::binomial_distribution<long double, quietPolicy> oracle(n, pr);
      for (double s = 0; s <= n; s = s < 20 ? s + 1 : std::ceil(s * 1.3)) {
        double P = 0, Q = 0;
        binomialCdf(s, n, pr, 1.0 - pr, P, Q);
        const long double exactP = cdf(oracle, static_cast<long double>(s));
        const long double exactQ = cdf(complement(oracle, static_cast<long double>(s)));
        const double error = s < n ? tailError(P, Q, exactP, exactQ) : 0;
        worst = std::max(worst, error);
        EXPECT_LE(error, 1e-12) << "s " << s << " n " << n << " pr " << pr;
        if (s >= n) {
          EXPECT_EQ(P, 1.0);
          EXPECT_EQ(Q, 0.0);
        }
      }
    }
  }
  std::printf("binomialCdf worst relative error: %.2e\n", worst);
}

// Counts that are not whole interpolate through the incomplete beta ratio.
TEST(BinomialCdf, InterpolatesBetweenWholeCounts) {
  for (double s : {0.5, 3.25, 9.9}) {
    double P = 0, Q = 0;
    binomialCdf(s, 20, 0.3, 0.7, P, Q);
    const long double exactP = boost::math::ibetac(s + 1.0L, 20.0L - s, 0.3L, quietPolicy());
    const long double exactQ = boost::math::ibeta(s + 1.0L, 20.0L - s, 0.3L, quietPolicy());
    EXPECT_LE(tailError(P, Q, exactP, exactQ), 1e-13) << s;
  }
}

TEST(NegBinomialCdf, BothTailsMatchBoost) {
  double worst = 0;
  for (double n : {0.5, 1.0, 7.0, 300.0}) {
    for (double pr : {1e-4, 0.05, 0.5, 0.99}) {
      const boost::math::negative_binomial_distribution<long double, quietPolicy> oracle(n, pr);
      for (double s = 0; s < 1e7; s = s < 20 ? s + 1 : std::ceil(s * 1.5)) {
        double P = 0, Q = 0;
        negBinomialCdf(s, n, pr, 1.0 - pr, P, Q);
        const double error = tailError(P, Q, cdf(oracle, static_cast<long double>(s)),
                                       cdf(complement(oracle, static_cast<long double>(s))));
        worst = std::max(worst, error);
        EXPECT_LE(error, 1e-12) << "s " << s << " n " << n << " pr " << pr;
      }
    }
  }
  std::printf("negBinomialCdf worst relative error: %.2e\n", worst);
}

TEST(PoissonCdf, BothTailsMatchBoost) {
  double worst = 0;
  for (double lambda : {1e-5, 0.3, 4.0, 50.0, 3000.0, 1e6}) {
    const boost::math::poisson_distribution<long double, quietPolicy> oracle(lambda);
    for (double s = 0; s < 1e7; s = s < 20 ? s + 1 : std::ceil(s * 1.2)) {
      double P = 0, Q = 0;
      poissonCdf(s, lambda, P, Q);
      const double error = tailError(P, Q, cdf(oracle, static_cast<long double>(s)),
                                     cdf(complement(oracle, static_cast<long double>(s))));
      worst = std::max(worst, error);
      EXPECT_LE(error, 1e-12) << "s " << s << " lambda " << lambda;
    }
  }
  std::printf("poissonCdf worst relative error: %.2e\n", worst);
  double P = 0, Q = 0;
  poissonCdf(3, 0.0, P, Q);
  EXPECT_EQ(P, 1.0);
  EXPECT_EQ(Q, 0.0);
}

struct pairStatusCase {
  const char* name;
  int which;
  double P, Q, s, n, pr, ompr;
  int status;
  double bound;
};

using pairFrontEnd = void (*)(int, double&, double&, double&, double&, double&, double&, int&,
                              double&);

void checkStatuses(pairFrontEnd frontEnd, const std::vector<pairStatusCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = c.P, Q = c.Q, s = c.s, n = c.n, pr = c.pr, ompr = c.ompr, bound = 7;
    int status = 99;
    frontEnd(c.which, P, Q, s, n, pr, ompr, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
  }
}

TEST(BinomialDistribution, ReportsEveryStatusWithItsBound) {
  checkStatuses(binomialDistribution, {
      {"which 0", 0, 0.5, 0.5, 3, 10, 0.3, 0.7, -1, 1},
      {"which 5", 5, 0.5, 0.5, 3, 10, 0.3, 0.7, -1, 4},
      {"P negative", 2, -0.5, 0.5, 3, 10, 0.3, 0.7, -2, 0},
      {"Q zero", 3, 1.0, 0.0, 3, 10, 0.3, 0.7, -3, 0},
      {"s negative", 1, 0.5, 0.5, -1, 10, 0.3, 0.7, -4, 0},
      {"s above n", 4, 0.5, 0.5, 11, 10, 0.3, 0.7, -4, 10},
      {"s above n allowed while n is searched", 3, 0.5, 0.5, 11, 1, 0.3, 0.7, 0, 7},
      {"n zero", 1, 0.5, 0.5, 0, 0, 0.3, 0.7, -5, 0},
      {"pr above 1", 2, 0.5, 0.5, 3, 10, 1.3, -0.3, -6, 1},
      {"ompr negative", 2, 0.5, 0.5, 3, 10, 0.3, -0.3, -7, 0},
      {"P + Q not 1", 2, 0.5, 0.51, 3, 10, 0.3, 0.7, 3, 1},
      {"pr + ompr above 1", 1, 0.5, 0.5, 3, 10, 0.3, 0.71, 4, 1},
      {"pr + ompr below 1", 3, 0.5, 0.5, 3, 10, 0.3, 0.69, 4, 1},
      {"pr + ompr not checked in mode 4", 4, 0.5, 0.5, 3, 10, 0.3, 0.69, 0, 7},
      // With s = n the cdf is 1 for every pr: no pr gives P = 0.5, and the zero finder, meeting
      // one sign at both ends, says above.
      {"pr search without an answer", 4, 0.5, 0.5, 4, 4, 0.3, 0.7, 2, 1},
      // An n below the start 5 of the search: s is searched in [0, n].
      {"s searched below the start", 2, 0.5, 0.5, 0, 3, 0.3, 0.7, 0, 7},
  });
}

TEST(NegBinomialDistribution, ReportsEveryStatusWithItsBound) {
  checkStatuses(negBinomialDistribution, {
      {"which 5", 5, 0.5, 0.5, 3, 10, 0.3, 0.7, -1, 4},
      {"P above 1", 2, 1.5, 0.5, 3, 10, 0.3, 0.7, -2, 1},
      {"Q above 1", 2, 0.5, 1.5, 3, 10, 0.3, 0.7, -3, 1},
      {"s negative", 3, 0.5, 0.5, -1, 10, 0.3, 0.7, -4, 0},
      {"n negative", 4, 0.5, 0.5, 3, -1, 0.3, 0.7, -5, 0},
      {"pr negative", 1, 0.5, 0.5, 3, 10, -0.3, 1.3, -6, 0},
      {"ompr above 1", 1, 0.5, 0.5, 3, 10, 0.3, 1.3, -7, 1},
      {"pr + ompr not 1", 2, 0.5, 0.5, 3, 10, 0.3, 0.6, 4, 1},
      // With n = 0 all mass lies at s = 0: no s gives P = 0.5.
      {"s below the range", 2, 0.5, 0.5, 3, 0, 0.3, 0.7, 1, 0},
  });
}

TEST(PoissonDistribution, ReportsEveryStatusWithItsBound) {
  const struct {
    const char* name;
    int which;
    double P, Q, s, lambda;
    int status;
    double bound;
  } cases[] = {
      {"which 4", 4, 0.5, 0.5, 3, 2, -1, 3},
      {"P negative", 2, -0.5, 0.5, 3, 2, -2, 0},
      {"Q zero", 3, 1.0, 0.0, 3, 2, -3, 0},
      {"s negative", 1, 0.5, 0.5, -3, 2, -4, 0},
      {"lambda negative", 2, 0.5, 0.5, 3, -2, -5, 0},
      {"P + Q not 1", 3, 0.5, 0.25, 3, 2, 3, 1},
      // Pr(S <= s) at lambda = 0.01 is at least 0.99 for every s >= 0.
      {"s below the range", 2, 0.5, 0.5, 3, 0.01, 1, 0},
      {"s not checked in mode 2", 2, 0.5, 0.5, -3, 2, 0, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = c.P, Q = c.Q, s = c.s, lambda = c.lambda, bound = 7;
    int status = 99;
    poissonDistribution(c.which, P, Q, s, lambda, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
  }
}

// s, n and pr from P and Q: whole counts come back from the oracle's cdf at them, n and pr
// solve the oracle's cdf.
TEST(BinomialDistribution, InverseModesSolveBoostsCdf) {
  for (double n : {12.0, 250.0}) {
    for (double pr : {0.02, 0.4}) {
      for (double s : {1.0, 3.0, 9.0}) {
        SCOPED_TRACE(testing::Message() << n << " " << pr << " " << s);
        // P <= Q for some of these points and P > Q for others: both tails are searched.
        const long double exactP = boost::math::ibetac(s + 1.0L, n - s, static_cast<long double>(pr), quietPolicy());
        const double P = static_cast<double>(exactP), Q = static_cast<double>(1 - exactP);
        if (P < 1e-250 || Q < 1e-15) continue;
        {
          double Pv = P, Qv = Q, sv = 0, nv = n, p = pr, q = 1 - pr, bound = 7;
          int status = 99;
          binomialDistribution(2, Pv, Qv, sv, nv, p, q, status, bound);
          ASSERT_EQ(status, 0);
          EXPECT_LE(relativeDistance(sv, s), searchTolerance);
          sv = s;
          nv = 0;
          binomialDistribution(3, Pv, Qv, sv, nv, p, q, status, bound);
          ASSERT_EQ(status, 0);
          EXPECT_LE(relativeDistance(nv, n), 2 * searchTolerance);
          nv = n;
          p = q = 0;
          binomialDistribution(4, Pv, Qv, sv, nv, p, q, status, bound);
          ASSERT_EQ(status, 0);
          EXPECT_LE(relativeDistance(p, pr), searchTolerance);
          EXPECT_EQ(p + q, 1.0);
        }
      }
    }
  }
}

TEST(NegBinomialDistribution, InverseModesSolveBoostsCdf) {
  for (double n : {2.0, 40.0}) {
    for (double pr : {0.05, 0.6}) {
      for (double s : {2.0, 30.0}) {
        SCOPED_TRACE(testing::Message() << n << " " << pr << " " << s);
        const long double exactP = boost::math::ibeta(static_cast<long double>(n), s + 1.0L, static_cast<long double>(pr), quietPolicy());
        const double P = static_cast<double>(exactP), Q = static_cast<double>(1 - exactP);
        if (P < 1e-200 || Q < 1e-15) continue;
        double Pv = P, Qv = Q, sv = 0, nv = n, p = pr, q = 1 - pr, bound = 7;
        int status = 99;
        negBinomialDistribution(2, Pv, Qv, sv, nv, p, q, status, bound);
        ASSERT_EQ(status, 0);
        EXPECT_LE(relativeDistance(sv, s), searchTolerance);
        sv = s;
        nv = 0;
        negBinomialDistribution(3, Pv, Qv, sv, nv, p, q, status, bound);
        ASSERT_EQ(status, 0);
        EXPECT_LE(relativeDistance(nv, n), searchTolerance);
        nv = n;
        p = q = 0;
        negBinomialDistribution(4, Pv, Qv, sv, nv, p, q, status, bound);
        ASSERT_EQ(status, 0);
        EXPECT_LE(relativeDistance(p, pr), searchTolerance);
      }
    }
  }
}

TEST(PoissonDistribution, InverseModesSolveBoostsCdf) {
  for (double lambda : {0.5, 8.0, 700.0}) {
    for (double s : {1.0, 6.0, 40.0, 900.0}) {
      SCOPED_TRACE(testing::Message() << lambda << " " << s);
      const long double exactP = boost::math::gamma_q(s + 1.0L, static_cast<long double>(lambda), quietPolicy());
      const double P = static_cast<double>(exactP), Q = static_cast<double>(1 - exactP);
      if (P < 1e-250 || Q < 1e-15) continue;
      double Pv = P, Qv = Q, sv = 0, l = lambda, bound = 7;
      int status = 99;
      poissonDistribution(2, Pv, Qv, sv, l, status, bound);
      ASSERT_EQ(status, 0);
      EXPECT_LE(relativeDistance(sv, s), searchTolerance);
      sv = s;
      l = 0;
      poissonDistribution(3, Pv, Qv, sv, l, status, bound);
      ASSERT_EQ(status, 0);
      // Inverted from the smaller tail, whose double keeps its digits.
      const long double exactLambda =
          P <= Q ? boost::math::gamma_q_inv(s + 1.0L, static_cast<long double>(P), quietPolicy())
                 : boost::math::gamma_p_inv(s + 1.0L, static_cast<long double>(Q), quietPolicy());
      EXPECT_LE(relativeDistance(l, exactLambda), searchTolerance);
    }
  }
}

}  // namespace
