#include "numerics/noncentral_chi_square.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/non_central_chi_squared.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <cmath>
#include <cstdio>
#include <limits>
#include <span>
#include <string>

#include "numerics/accuracy_test_support.h"
#include "numerics/chi_square.h"
#include "numerics/search_test_support.h"

namespace {

using accuracy::quietPolicy;
using accuracy::relativeError;
using search::relativeDistance;
using oracleChi = boost::math::non_central_chi_squared_distribution<long double, quietPolicy>;

// The lower sum runs until a falling term is below 1e-15 of the sum, so P is good to rounding of
// the sum of many terms; where P is the smaller tail, Q = 1 - P carries that error absolutely.
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

// The x of the grids: (sqrt(df + nc) + t)^2 from t = -3 outwards, so that Q falls about as
// e^(-t^2/2), until Boost's complement is below 1e-300.
template <typename Visit>
void upperTailGrid(double df, double nc, const oracleChi& oracle, Visit visit) {
  for (double t = -3; t < 60; t += 0.25) {
    const double x = std::pow(std::sqrt(df + nc) + t, 2);
    if (t < 0 && x >= df + nc) continue;
    const long double exactQ = cdf(complement(oracle, static_cast<long double>(x)));
    if (exactQ < 1e-300L) return;
    visit(x, exactQ);
  }
}

// The rows of the table: the noncentrality's range, and whether the central tail at the Poisson
// mode lies below the smallest value that the sum starts from unscaled (1e-290).
std::string upperTailBranch(double x, double df, double nc) {
  const long double centreQ =
      boost::math::gamma_q(df / 2.0L + std::floor(nc / 2), x / 2.0L, quietPolicy());
  const char* range = nc <= 10 ? "nc 0.01..10" : nc <= 150 ? "nc 150" : "nc 3000..9000";
  return std::string(range) + (centreQ < 1e-290L ? ", centre tail below 1e-290" : "");
}

// Q is summed as its own series where it is the smaller tail, so it keeps its relative
// precision far below 1 - P's rounding: within 1e-12 of Boost down to 1e-300 (the errors seen are
// below 6e-13). Where P is the smaller, Q = 1 - P is near 1 and within 1e-10.
TEST(NoncentralChiSquareCdf, UpperTailMatchesBoostsComplementDownTo1e300) {
  accuracy::branchTable table;
  for (double df : {0.5, 1.0, 3.0, 20.0, 200.0}) {
    for (double nc : {0.01, 1.0, 10.0, 150.0, 3000.0, 9000.0}) {
      const oracleChi oracle(df, nc);
      upperTailGrid(df, nc, oracle, [&](double x, long double exactQ) {
        double P = 0, Q = 0;
        noncentralChiSquareCdf(x, df, nc, P, Q);
        const double error = relativeError(Q, exactQ);
        EXPECT_LE(error, exactQ <= 0.5L ? 1e-12 : 1e-10) << "x " << x << " df " << df << " nc " << nc;
        char where[80];
        std::snprintf(where, sizeof where, "x %.8g df %g nc %g", x, df, nc);
        table.add(upperTailBranch(x, df, nc), error, exactQ, where);
      });
    }
  }
  table.print("noncentralChiSquareCdf Q against Boost's complement, Q >= 1e-300:");
  EXPECT_EQ(table.rows().count("nc 3000..9000, centre tail below 1e-290"), 1u);
  EXPECT_EQ(table.rows().count("nc 0.01..10, centre tail below 1e-290"), 1u);
}

// Beyond the last representable upper tail Q is 0 and P 1, never a rounding residue of either
// sign; the bound that ends such a sum at once also keeps an x near 1e300 from summing terms up
// to its peak. Arguments that are not numbers give numbers that are not.
TEST(NoncentralChiSquareCdf, EndsFarUpperTailsAtZero) {
  const struct { double x, df, nc; } far[] = {
      {1e300, 5, 100}, {1e6, 3, 1e4}, {1.01e8, 3, 1e8}, {2000, 0.5, 0.01}};
  for (const auto& c : far) {
    double P = 7, Q = 7;
    noncentralChiSquareCdf(c.x, c.df, c.nc, P, Q);
    EXPECT_EQ(Q, 0.0) << c.x << " " << c.df << " " << c.nc;
    EXPECT_EQ(P, 1.0) << c.x << " " << c.df << " " << c.nc;
  }
  const struct { double x, df, nc; } notNumbers[] = {{NAN, 3, 4}, {10, NAN, 4}, {10, 3, NAN}};
  for (const auto& c : notNumbers) {
    double P = 7, Q = 7;
    noncentralChiSquareCdf(c.x, c.df, c.nc, P, Q);
    EXPECT_TRUE(std::isnan(P) && std::isnan(Q)) << c.x << " " << c.df << " " << c.nc;
  }
}

// A noncentrality in the millions spreads the weights over thousands of terms each way: the
// lower sum takes them all (a fixed limit of 1000 gave P = 0.0089 for 0.1587 at 1e8). Its centre
// weight and step come from gammaFactor: as e to differences of ln Gamma values near nc ln nc
// they were good to only 3e-7 at 1e8.
TEST(NoncentralChiSquareCdf, LowerTailOfALargeNoncentralitySumsAllItsTerms) {
  for (double nc : {1e5, 1e6, 1e7, 1e8}) {
    for (double z : {-3.0, -1.0}) {
      const double df = 3, x = nc + df + z * std::sqrt(2 * (df + 2 * nc));
      double P = 0, Q = 0;
      noncentralChiSquareCdf(x, df, nc, P, Q);
      EXPECT_LE(relativeError(P, cdf(oracleChi(df, nc), static_cast<long double>(x))), 1e-11)
          << "x " << x << " nc " << nc;
    }
  }
}

// The far lower tails, from x near 0 (where the terms rise all the way down to index 0) to
// below the mean (where they rise and fall about a peak many terms below the centre). At the
// first points the central term at the centre underflows, and P, a normal number, came out 0; at
// the others a P below 1e-20 came out about half its value. The oracle sums every term directly.
TEST(NoncentralChiSquareCdf, FarLowerTailsMatchADirectSum) {
  double P = 0, Q = 0;
  noncentralChiSquareCdf(2.4808721287e-31, 0.5, 20, P, Q);
  EXPECT_NEAR(P, 9.40e-13, 0.01e-13);
  accuracy::branchTable table;
  for (double df : {0.5, 3.0, 200.0}) {
    for (double nc : {20.0, 150.0, 3000.0}) {
      for (double x : {1e-300, 1e-100, 2.4808721287e-31, 1e-8, 0.01, 0.1, 0.3, 0.5}) {
        if (x >= 0.01) x *= df + nc;
        const long double exact = accuracy::poissonMixtureLowerTail(nc, [&](long i) {
          return boost::math::gamma_p(df / 2.0L + i, x / 2.0L, quietPolicy());
        });
        if (exact < 1e-300L || exact > 1e-8L) continue;
        noncentralChiSquareCdf(x, df, nc, P, Q);
        const double error = relativeError(P, exact);
        EXPECT_LE(error, 1e-11) << "x " << x << " df " << df << " nc " << nc;
        const long double centreP =
            boost::math::gamma_p(df / 2.0L + std::floor(nc / 2), x / 2.0L, quietPolicy());
        char where[80];
        std::snprintf(where, sizeof where, "x %.8g df %g nc %g", x, df, nc);
        table.add(centreP < 1e-308L ? "centre term underflows" : "centre term normal", error,
                  exact, where);
      }
    }
  }
  table.print("noncentralChiSquareCdf P against a direct sum, 1e-300 <= P <= 1e-8:");
  EXPECT_EQ(table.rows().count("centre term underflows"), 1u);
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

// A front end case: the arguments, the status and bound expected, and P where it is given.
struct chiStatusCase {
  const char* name;
  int which;
  double P, Q, x, df, nc;
  int status;
  double bound;
  double expectedP = NAN;
};

void expectStatuses(std::span<const chiStatusCase> cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = c.P, Q = c.Q, x = c.x, df = c.df, nc = c.nc, bound = 7;
    int status = 99;
    noncentralChiSquareDistribution(c.which, P, Q, x, df, nc, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
    if (!std::isnan(c.expectedP)) {
      EXPECT_EQ(P, c.expectedP);
    }
  }
}

TEST(NoncentralChiSquareDistribution, ReportsEveryStatusWithItsBound) {
  const chiStatusCase cases[] = {
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
  expectStatuses(cases);
}

// Arguments that are infinite or not numbers are refused in every mode, with the lower limit (NaN,
// -infinity) or the largest double (+infinity) as bound; a noncentrality beyond the sums gives
// the tails its bounds settle and status 10 elsewhere, in every mode. Each case returns at once:
// before, an infinite or huge noncentrality never returned and NaN gave status 0.
TEST(NoncentralChiSquareDistribution, RefusesArgumentsThatAreNotNumbersAndEndsHugeOnes) {
  const double inf = INFINITY, nan = NAN, top = std::numeric_limits<double>::max();
  const chiStatusCase cases[] = {
      {"x NaN", 1, 0, 0, nan, 3, 4, -4, 0, nan},
      {"x infinite", 1, 0, 0, inf, 3, 4, -4, top, nan},
      {"df NaN", 1, 0, 0, 5, nan, 4, -5, 0, nan},
      {"df infinite", 2, 0.5, 0.5, 0, inf, 4, -5, top, nan},
      {"noncentrality infinite", 1, 0, 0, 5, 3, inf, -6, top, nan},
      {"noncentrality -infinity", 3, 0.5, 0.5, 5, 0, -inf, -6, 0, nan},
      {"noncentrality NaN", 2, 0.5, 0.5, 0, 3, nan, -6, 0, nan},
      {"P NaN", 2, nan, 0.5, 0, 3, 4, -2, 0, nan},
      {"Q NaN", 4, 0.5, nan, 5, 3, 0, -3, 0, nan},
      {"x NaN in mode 3", 3, 0.5, 0.5, nan, 0, 4, -4, 0, nan},
      {"df NaN in mode 4", 4, 0.5, 0.5, 5, nan, 0, -5, 0, nan},
      // Far below the mean of a noncentrality of 1e300, P is 0 for certain; at the mean the sums
      // cannot be taken.
      {"noncentrality 1e300, x far below", 1, 0, 0, 10, 3, 1e300, 0, 7, 0.0},
      {"noncentrality 1e300, x at it", 1, 0, 0, 1e300, 3, 1e300, 10, 7, nan},
      {"noncentrality 1e12, x at it", 1, 0, 0, 1e12, 3, 1e12, 10, 7, nan},
      {"noncentrality 1e300, x searched", 2, 0.5, 0.5, 0, 3, 1e300, 10, 7, nan},
      {"noncentrality 1e300, df searched", 3, 0.5, 0.5, 1e300, 0, 1e300, 10, 7, nan},
  };
  expectStatuses(cases);
  // The cumulative routine itself: NaN for both tails.
  for (double nc : {inf, nan}) {
    double P = 7, Q = 7;
    noncentralChiSquareCdf(5, 3, nc, P, Q);
    EXPECT_TRUE(std::isnan(P) && std::isnan(Q)) << nc;
  }
}

// The noncentral chi-square front end run in mode `which` (2 to 4) from P and Q, the unknown
// started at 0 and the other arguments the point's; status 0 expected. The point and the
// arguments searched.
struct chiArguments { double x, df, nc; };

double& unknownOf(int which, chiArguments& a) { return which == 2 ? a.x : which == 3 ? a.df : a.nc; }

chiArguments searchNoncentralChiSquare(int which, double P, double Q, chiArguments a) {
  unknownOf(which, a) = 0;
  int status = 99;
  double bound = 7;
  noncentralChiSquareDistribution(which, P, Q, a.x, a.df, a.nc, status, bound);
  EXPECT_EQ(status, 0);
  return a;
}

// Every search ends where the cumulative routine meets the smaller of P and Q; that point is
// where Boost's cdf meets P to the accuracy of the sums.
TEST(NoncentralChiSquareDistribution, SearchesSolveForP) {
  for (chiArguments point : {chiArguments{5, 3, 2}, chiArguments{60, 10, 40},
                             chiArguments{2500, 4, 2400}}) {
    double P = 0, Q = 0;
    noncentralChiSquareCdf(point.x, point.df, point.nc, P, Q);
    for (int which = 2; which <= 4; ++which) {
      SCOPED_TRACE(testing::Message() << point.x << " " << point.df << " " << point.nc << " mode "
                                      << which);
      chiArguments found = searchNoncentralChiSquare(which, P, Q, point);
      EXPECT_LE(relativeDistance(unknownOf(which, found), unknownOf(which, point)), 1e-7);
      EXPECT_LE(relativeError(P, cdf(oracleChi(found.df, found.nc),
                                     static_cast<long double>(found.x))),
                1e-7);
    }
  }
}

// Quantiles of small upper tails: the searches compare Q, whose digits the upper sum keeps, so
// every unknown comes back from a Q that 1 - P could not even hold. Q is Boost's complement at the
// point, so the point's own value of the unknown is the exact answer.
TEST(NoncentralChiSquareDistribution, SearchesFindTheUnknownOfASmallUpperTail) {
  for (double df : {1.0, 20.0}) {
    for (double nc : {4.0, 500.0}) {
      for (double t : {7.0, 15.0, 25.0, 35.0}) {
        chiArguments point{std::pow(std::sqrt(df + nc) + t, 2), df, nc};
        const double Q = static_cast<double>(
            cdf(complement(oracleChi(df, nc), static_cast<long double>(point.x))));
        for (int which = 2; which <= 4; ++which) {
          SCOPED_TRACE(testing::Message() << "x " << point.x << " df " << df << " nc " << nc
                                          << " Q " << Q << " mode " << which);
          chiArguments found = searchNoncentralChiSquare(which, 0.5 + (0.5 - Q), Q, point);
          EXPECT_LE(relativeDistance(unknownOf(which, found), unknownOf(which, point)), 1e-7);
        }
      }
    }
  }
}

}  // namespace
