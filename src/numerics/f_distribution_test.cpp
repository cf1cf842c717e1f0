#include "numerics/f_distribution.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/non_central_f.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <cmath>
#include <cstdio>
#include <limits>
#include <span>
#include <string>

#include "numerics/accuracy_test_support.h"
#include "numerics/search_test_support.h"

namespace {

using accuracy::quietPolicy;
using accuracy::relativeError;
using search::relativeDistance;
using search::searchTolerance;
using oracleF = boost::math::fisher_f_distribution<long double, quietPolicy>;
using oracleNoncentralF = boost::math::non_central_f_distribution<long double, quietPolicy>;

const double dfs[] = {0.5, 1.0, 2.0, 5.0, 30.0, 400.0, 1e5};

TEST(FCdf, BothTailsMatchBoostIntoTheDeepTails) {
  double worst = 0;
  for (double dfn : dfs) {
    for (double dfd : dfs) {
      for (double f = 1e-12; f < 1e40; f *= 2.3) {
        double P = 0, Q = 0;
        fCdf(f, dfn, dfd, P, Q);
        // Boost's own F distribution forms 1 - x for the upper tail and loses digits at large
        // f; the beta ratio at the long double x and 1 - x keeps them.
        const long double s = static_cast<long double>(dfd) + static_cast<long double>(dfn) * f;
        const long double x = dfd / s, y = dfn * static_cast<long double>(f) / s;
        // Boost's complement of a tiny ratio (ibetac at a tiny x) is off by up to 1e-11; the
        // larger tail is taken as 1 minus the smaller one, exact in long double.
        long double exactQ = x < 0.5L ? boost::math::ibeta(dfd / 2.0L, dfn / 2.0L, x, quietPolicy())
                                      : boost::math::ibetac(dfn / 2.0L, dfd / 2.0L, y, quietPolicy());
        long double exactP = 1.0L - exactQ;
        if (exactQ > 0.5L) {
          exactP = x < 0.5L ? boost::math::ibetac(dfd / 2.0L, dfn / 2.0L, x, quietPolicy())
                            : boost::math::ibeta(dfn / 2.0L, dfd / 2.0L, y, quietPolicy());
          exactQ = 1.0L - exactP;
        }
        for (const auto& [value, exact] : {std::pair{P, exactP}, std::pair{Q, exactQ}}) {
          if (exact < 1e-300L) continue;
          const double error = relativeError(value, exact);
          worst = std::max(worst, error);
          EXPECT_LE(error, 1e-12) << "f " << f << " dfn " << dfn << " dfd " << dfd;
        }
      }
    }
  }
  std::printf("fCdf worst relative error (both tails >= 1e-300): %.2e\n", worst);
  double P = 7, Q = 7;
  fCdf(0.0, 3, 4, P, Q);
  EXPECT_EQ(P, 0.0);
  EXPECT_EQ(Q, 1.0);
}

// The lower sum runs until a falling term is below 1e-15 of the sum, so P is good to rounding of
// the sum of many terms, and where P is the smaller tail Q = 1 - P carries that error absolutely. A noncentrality below 1e-10
// is taken as none, an error of the order of the noncentrality (seen: 5e-12 at 1e-11). The small f of the grid are
// those where the terms rise below the centre.
TEST(NoncentralFCdf, MatchesBoostWithinItsSumsCutOff) {
  double worstP = 0, worstQ = 0;
  for (double dfn : {1.0, 3.0, 10.0, 100.0}) {
    for (double dfd : {2.0, 8.0, 50.0}) {
      for (double nc : {1e-11, 0.5, 3.0, 20.0, 150.0}) {
        const oracleNoncentralF oracle(dfn, dfd, nc);
        for (double f = 0.01; f < 1e3; f *= 1.9) {
          double P = 0, Q = 0;
          noncentralFCdf(f, dfn, dfd, nc, P, Q);
          const long double exactP = cdf(oracle, static_cast<long double>(f));
          const long double exactQ = cdf(complement(oracle, static_cast<long double>(f)));
          if (exactP < 1e-8L) continue;
          const double eP = relativeError(P, exactP);
          const double eQ = std::fabs(static_cast<double>(Q - exactQ));
          worstP = std::max(worstP, eP);
          worstQ = std::max(worstQ, eQ);
          EXPECT_LE(eP, 1e-11) << "f " << f << " dfn " << dfn << " dfd " << dfd << " nc " << nc;
          EXPECT_LE(eQ, 1e-11) << "f " << f << " dfn " << dfn << " dfd " << dfd << " nc " << nc;
        }
      }
    }
  }
  std::printf("noncentralFCdf worst: P relative %.2e, Q absolute %.2e (P >= 1e-8)\n", worstP,
              worstQ);
}

// The f of the grid: from half the ratio of the chi-squares' means outwards by 1.25 at a time,
// by 1000 at a time beyond 1e6 times that ratio (the heavy tails of a small dfd), until Boost's
// complement is below 1e-300 or f passes 1e300.
template <typename Visit>
void noncentralFUpperGrid(double dfn, double nc, const oracleNoncentralF& oracle, Visit visit) {
  const double ratio = (dfn + nc) / dfn;
  for (double f = ratio / 2; f < 1e300; f *= f < 1e6 * ratio ? 1.25 : 1e3) {
    const long double exactQ = cdf(complement(oracle, static_cast<long double>(f)));
    if (exactQ < 1e-300L) return;
    visit(f, exactQ);
  }
}

// The rows of the table: dfd's range, and whether the complement at the Poisson mode,
// I_y(dfd/2, dfn/2 + mode) with y = dfd/(dfd + dfn f), lies below the smallest value that the sum
// starts from unscaled (1e-290).
std::string noncentralFBranch(double f, double dfn, double dfd, double nc) {
  const long double y = dfd / (dfd + static_cast<long double>(dfn) * f);
  const long double modeQ =
      boost::math::ibeta(dfd / 2.0L, dfn / 2.0L + std::floor(nc / 2), y, quietPolicy());
  const char* range = dfd <= 2 ? "dfd 1..2" : dfd <= 50 ? "dfd 8..50" : "dfd 400";
  return std::string(range) + (modeQ < 1e-290L ? ", mode complement below 1e-290" : "");
}

// Q is summed as its own series where it is the smaller tail, so it keeps its relative
// precision far below 1 - P's rounding: within 1e-12 of Boost down to 1e-300 (the errors seen are
// below 6e-13). Where P is the smaller, Q = 1 - P is near 1 and within 1e-10.
TEST(NoncentralFCdf, UpperTailMatchesBoostsComplementDownTo1e300) {
  accuracy::branchTable table;
  for (double dfn : {1.0, 3.0, 10.0, 100.0}) {
    for (double dfd : {1.0, 2.0, 8.0, 50.0, 400.0}) {
      for (double nc : {0.5, 3.0, 20.0, 150.0, 2000.0}) {
        const oracleNoncentralF oracle(dfn, dfd, nc);
        noncentralFUpperGrid(dfn, nc, oracle, [&](double f, long double exactQ) {
          double P = 0, Q = 0;
          noncentralFCdf(f, dfn, dfd, nc, P, Q);
          const double error = relativeError(Q, exactQ);
          EXPECT_LE(error, exactQ <= 0.5L ? 1e-12 : 1e-10) << "f " << f << " dfn " << dfn << " dfd " << dfd << " nc " << nc;
          char where[96];
          std::snprintf(where, sizeof where, "f %.6g dfn %g dfd %g nc %g", f, dfn, dfd, nc);
          table.add(noncentralFBranch(f, dfn, dfd, nc), error, exactQ, where);
        });
      }
    }
  }
  table.print("noncentralFCdf Q against Boost's complement, Q >= 1e-300:");
  EXPECT_EQ(table.rows().count("dfd 400, mode complement below 1e-290"), 1u);
  EXPECT_EQ(table.rows().count("dfd 8..50, mode complement below 1e-290"), 1u);
}

// Beyond the last representable upper tail Q is 0 and P 1, never a rounding residue of either
// sign; with a dfd near 1e300 the chi-square bound ends the sum, whose terms would otherwise peak
// only near sqrt(dfd) terms above the centre.
TEST(NoncentralFCdf, EndsFarUpperTailsAtZero) {
  const struct { double f, dfn, dfd, nc; } far[] = {{1e300, 3, 8, 20},   {1e300, 3, 1e4, 20},
                                                    {1e300, 3, 1e300, 20}, {1e10, 3, 1e300, 20},
                                                    {1e300, 1e300, 3, 20}, {1e300, 1, 8, 2000}};
  for (const auto& c : far) {
    SCOPED_TRACE(testing::Message() << c.f << " " << c.dfn << " " << c.dfd << " " << c.nc);
    double P = 7, Q = 7;
    noncentralFCdf(c.f, c.dfn, c.dfd, c.nc, P, Q);
    EXPECT_LE(Q, 1e-300);
    EXPECT_GE(Q, 0.0);
    EXPECT_EQ(P, 1.0);
  }
  double P = 7, Q = 7;
  noncentralFCdf(NAN, 3, 8, 4, P, Q);
  EXPECT_TRUE(std::isnan(P) && std::isnan(Q));
}

// The far lower tails: at the small f the central ratio at the centre underflows and P, a
// normal number, came out 0 (and the F sum took every index down to 0, a time that grew with the
// noncentrality); below the mean a P under 1e-20 came out about half its value. The oracle sums
// every term directly.
TEST(NoncentralFCdf, FarLowerTailsMatchADirectSum) {
  double P = 0, Q = 0;
  noncentralFCdf(6.1258e-12, 0.5, 1000, 50, P, Q);
  EXPECT_NEAR(P, 1.70e-14, 0.01e-14);
  accuracy::branchTable table;
  for (double dfn : {0.5, 3.0, 100.0}) {
    for (double dfd : {2.0, 50.0, 1000.0}) {
      for (double nc : {50.0, 150.0, 2000.0}) {
        for (double m : {1e-300, 1e-100, 6.1258e-12, 1e-4, 0.05, 0.2, 0.4}) {
          const double f = m * (dfn + nc) / dfn;
          const long double s = dfd + static_cast<long double>(dfn) * f;
          const long double x = dfn * static_cast<long double>(f) / s;
          const long double exact = accuracy::poissonMixtureLowerTail(nc, [&](long i) {
            return boost::math::ibeta(dfn / 2.0L + i, dfd / 2.0L, x, quietPolicy());
          });
          if (exact < 1e-300L || exact > 1e-8L) continue;
          noncentralFCdf(f, dfn, dfd, nc, P, Q);
          const double error = relativeError(P, exact);
          const long double centreP = boost::math::ibeta(dfn / 2.0L + std::floor(nc / 2),
                                                         dfd / 2.0L, x, quietPolicy());
          // From an underflowing centre the sum carries e to ln of the centre's step, some
          // -50000 at f = 1e-298, whose rounding (eps times that) the result keeps.
          EXPECT_LE(error, centreP < 1e-308L ? 1e-10 : 1e-11)
              << "f " << f << " dfn " << dfn << " dfd " << dfd << " nc " << nc;
          char where[96];
          std::snprintf(where, sizeof where, "f %.6g dfn %g dfd %g nc %g", f, dfn, dfd, nc);
          table.add(centreP < 1e-308L ? "centre ratio underflows" : "centre ratio normal", error,
                    exact, where);
        }
      }
    }
  }
  table.print("noncentralFCdf P against a direct sum, 1e-300 <= P <= 1e-8:");
  EXPECT_EQ(table.rows().count("centre ratio underflows"), 1u);
}

TEST(NoncentralFCdf, IsTheCentralOneWithoutNoncentrality) {
  for (double f : {0.1, 1.0, 7.0}) {
    double P = 0, Q = 0, Pc = 0, Qc = 0;
    noncentralFCdf(f, 3, 9, 0.0, P, Q);
    fCdf(f, 3, 9, Pc, Qc);
    EXPECT_EQ(P, Pc);
    EXPECT_EQ(Q, Qc);
  }
}

// A front end case: the arguments, the status and bound expected, and P where it is given.
struct fStatusCase {
  const char* name;
  int which;
  double P, Q, f, dfn, dfd, nc;
  int status;
  double bound;
  double expectedP = NAN;
};

void expectNoncentralStatuses(std::span<const fStatusCase> cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = c.P, Q = c.Q, f = c.f, dfn = c.dfn, dfd = c.dfd, nc = c.nc, bound = 7;
    int status = 99;
    noncentralFDistribution(c.which, P, Q, f, dfn, dfd, nc, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
    if (!std::isnan(c.expectedP)) {
      EXPECT_EQ(P, c.expectedP);
    }
  }
}

TEST(FDistribution, ReportsEveryStatusWithItsBound) {
  const fStatusCase cases[] = {
      {"which 0", 0, 0.5, 0.5, 1, 2, 3, 0, -1, 1},
      {"which 5", 5, 0.5, 0.5, 1, 2, 3, 0, -1, 4},
      {"P negative", 2, -0.5, 0.5, 1, 2, 3, 0, -2, 0},
      {"Q zero", 2, 1.0, 0.0, 1, 2, 3, 0, -3, 0},
      {"f negative", 1, 0.5, 0.5, -1, 2, 3, 0, -4, 0},
      {"dfn zero", 4, 0.5, 0.5, 1, 0, 3, 0, -5, 0},
      {"dfd zero", 2, 0.5, 0.5, 1, 2, 0, 0, -6, 0},
      {"P + Q not 1", 2, 0.5, 0.6, 1, 2, 3, 0, 3, 1},
      {"f searched", 2, 0.5, 0.5, -1, 2, 3, 0, 0, 7},
      // At f = 1 with dfn = 2 the cdf grows with dfd towards 1 - e^-1: 0.99 is out of reach.
      {"dfd above the range", 4, 0.99, 0.01, 1, 2, 3, 0, 2, 1e300},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = c.P, Q = c.Q, f = c.f, dfn = c.dfn, dfd = c.dfd, bound = 7;
    int status = 99;
    fDistribution(c.which, P, Q, f, dfn, dfd, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
  }
}

TEST(NoncentralFDistribution, ReportsEveryStatusWithItsBound) {
  const fStatusCase cases[] = {
      {"which 6", 6, 0.5, 0.5, 1, 2, 3, 1, -1, 5},
      {"P above 1", 2, 1.5, 0.5, 1, 2, 3, 1, -2, 1},
      {"Q above 1", 2, 0.5, 1.5, 1, 2, 3, 1, -3, 1},
      {"f negative", 5, 0.5, 0.5, -1, 2, 3, 1, -4, 0},
      {"dfn negative", 1, 0.5, 0.5, 1, -2, 3, 1, -5, 0},
      {"dfd zero", 1, 0.5, 0.5, 1, 2, 0, 1, -6, 0},
      {"noncentrality negative", 2, 0.5, 0.5, 1, 2, 3, -1, -7, 0},
      {"P + Q not 1", 5, 0.5, 0.4, 1, 2, 3, 1, 3, 1},
      // Pr(F <= 1) with dfn 2, dfd 3 is 0.56 at noncentrality 0 and falls with it: 0.9 lies
      // below the range of the noncentrality.
      {"noncentrality below the range", 5, 0.9, 0.1, 1, 2, 3, 0, 1, 0},
      // Pr(F <= 1e6) with dfn 2, dfd 3 is still about 0.9995 at noncentrality 1e4: 0.99 lies
      // above the range.
      {"noncentrality above the range", 5, 0.99, 0.01, 1e6, 2, 3, 0, 2, 1e4},
  };
  expectNoncentralStatuses(cases);
}

// Arguments that are infinite or not numbers are refused in every mode of the noncentral front
// end, with the lower limit (NaN, -infinity) or the largest double (+infinity) as bound; a
// noncentrality beyond the sums gives the tails its bounds settle and status 10 elsewhere. Each
// case returns at once: before, a noncentrality of 1e12 never returned (the time grew with it,
// 1 s at 1e8) and NaN gave status 0 with an arbitrary P.
TEST(NoncentralFDistribution, RefusesArgumentsThatAreNotNumbersAndEndsHugeOnes) {
  const double inf = INFINITY, nan = NAN, top = std::numeric_limits<double>::max();
  const fStatusCase cases[] = {
      {"f NaN", 1, 0, 0, nan, 3, 10, 4, -4, 0, nan},
      {"f infinite", 1, 0, 0, inf, 3, 10, 4, -4, top, nan},
      {"dfn NaN", 2, 0.5, 0.5, 0, nan, 10, 4, -5, 0, nan},
      {"dfn infinite", 5, 0.5, 0.5, 2, inf, 10, 0, -5, top, nan},
      {"dfd NaN", 3, 0.5, 0.5, 2, 0, nan, 4, -6, 0, nan},
      {"dfd infinite", 1, 0, 0, 2, 3, inf, 4, -6, top, nan},
      {"noncentrality infinite", 1, 0, 0, 2, 3, 10, inf, -7, top, nan},
      {"noncentrality NaN", 4, 0.5, 0.5, 2, 3, 0, nan, -7, 0, nan},
      {"P NaN", 5, nan, 0.5, 2, 3, 10, 0, -2, 0, nan},
      {"Q NaN", 2, 0.5, nan, 0, 3, 10, 4, -3, 0, nan},
      // f = 2 lies far below the mean of noncentralities of 1e8 and more: P is 0 for certain.
      {"noncentrality 1e8", 1, 0, 0, 2, 3, 10, 1e8, 0, 7, 0.0},
      {"noncentrality 1e10", 1, 0, 0, 2, 3, 10, 1e10, 0, 7, 0.0},
      {"noncentrality 1e12", 1, 0, 0, 2, 3, 10, 1e12, 0, 7, 0.0},
      {"noncentrality 1e300", 1, 0, 0, 2, 3, 10, 1e300, 0, 7, 0.0},
      {"noncentrality 1e12, f at its mean", 1, 0, 0, 1e12 / 3, 3, 1e4, 1e12, 10, 7, nan},
      {"noncentrality 1e300, f searched", 2, 0.5, 0.5, 0, 3, 10, 1e300, 10, 7, nan},
  };
  expectNoncentralStatuses(cases);
  for (double nc : {inf, nan}) {
    double P = 7, Q = 7;
    noncentralFCdf(2, 3, 10, nc, P, Q);
    EXPECT_TRUE(std::isnan(P) && std::isnan(Q)) << nc;
  }
}

// ln of the smaller tail of F at the beta argument v: ln I_v(dfn/2, dfd/2) with v = dfn f/(dfn f
// + dfd) for the lower tail, ln I_v(dfd/2, dfn/2) with v = dfd/(dfn f + dfd) for the upper one.
// Boost's own F quantiles go through its inverse of the beta ratio, which loses the far tails.
long double logFTail(bool lower, double dfn, double dfd, long double v) {
  const long double r = lower ? boost::math::ibeta(dfn / 2.0L, dfd / 2.0L, v, quietPolicy())
                              : boost::math::ibeta(dfd / 2.0L, dfn / 2.0L, v, quietPolicy());
  return r > 0 ? std::log(r) : -20000.0L;
}

TEST(FDistribution, QuantileMatchesBoost) {
  double worst = 0;
  for (double dfn : {1.0, 4.0, 60.0}) {
    for (double dfd : {2.0, 9.0, 1000.0}) {
      for (double p : {1e-200, 1e-30, 1e-6, 0.05, 0.5}) {
        for (const bool lower : {true, false}) {
          SCOPED_TRACE(testing::Message() << dfn << " " << dfd << " " << p << " " << lower);
          const long double logP = std::log(static_cast<long double>(p));
          const long double v = std::exp(search::oracleRoot(
              [&](long double u) { return logFTail(lower, dfn, dfd, std::exp(u)) - logP; },
              -9000.0L, 0.0L));
          const long double exact = lower ? dfd * v / (dfn * (1 - v)) : dfd * (1 - v) / (dfn * v);
          if (exact > 1e299L) continue;
          double P = lower ? p : 1 - p, Q = lower ? 1 - p : p, f = 0, n = dfn, d = dfd,
                 bound = 7;
          int status = 99;
          fDistribution(2, P, Q, f, n, d, status, bound);
          ASSERT_EQ(status, 0);
          if (exact > 1e-42L) worst = std::max(worst, relativeDistance(f, exact));
          EXPECT_TRUE(search::withinSearchTolerance(f, exact)) << f << " " << exact;
        }
      }
    }
  }
  std::printf("F mode 2 worst relative error (quantiles above 1e-42): %.2e\n", worst);
}

// dfn and dfd from P, Q, f and the other df: the oracle solves Boost's cdf. The cdf need not be
// monotone in a df: Pr(F <= f) falls from 1 (dfn near 0) and may dip below its limit for an
// infinite dfn, Pr(chi2_dfd/dfd >= 1/f), before rising to it; a target below that limit then has
// two answers and the search reports one outside its range. Likewise for dfd, whose limit is
// Pr(chi2_dfn/dfn <= f). The grid keeps the targets with one answer.
TEST(FDistribution, DegreesOfFreedomSolveBoostsCdf) {
  int solved = 0;
  for (double f : {0.2, 3.0, 8.0}) {
    for (double dfn : {2.0, 15.0}) {
      for (double dfd : {4.0, 40.0}) {
        SCOPED_TRACE(testing::Message() << f << " " << dfn << " " << dfd);
        const long double exactP = cdf(oracleF(dfn, dfd), static_cast<long double>(f));
        const double P = static_cast<double>(exactP), Q = static_cast<double>(1 - exactP);
        const auto solve = [&](bool numerator) {
          return search::oracleRoot(
              [&](long double v) {
                const oracleF o(numerator ? v : dfn, numerator ? dfd : v);
                return cdf(o, static_cast<long double>(f)) - exactP;
              },
              numerator ? dfn / 50 : dfd / 50, numerator ? dfn * 50 : dfd * 50);
        };
        int status = 99;
        double Pv = P, Qv = Q, fv = f, n = 0, d = dfd, bound = 7;
        const long double dfnLimit = boost::math::gamma_q(dfd / 2.0L, dfd / (2.0L * f), quietPolicy());
        if (exactP > dfnLimit) {
          fDistribution(3, Pv, Qv, fv, n, d, status, bound);
          ASSERT_EQ(status, 0);
          EXPECT_LE(relativeDistance(n, solve(true)), searchTolerance);
          ++solved;
        }
        const long double dfdLimit = boost::math::gamma_p(dfn / 2.0L, dfn * f / 2.0L, quietPolicy());
        if (exactP < dfdLimit) {
          n = dfn;
          d = 0;
          fDistribution(4, Pv, Qv, fv, n, d, status, bound);
          ASSERT_EQ(status, 0);
          EXPECT_LE(relativeDistance(d, solve(false)), searchTolerance);
          ++solved;
        }
      }
    }
  }
  EXPECT_GE(solved, 12);
}

// The noncentral F front end run in mode `which` (2 to 5) from P and Q, the unknown started at 0
// and the other arguments the point's; status 0 expected. The point and the arguments searched.
struct fArguments { double f, dfn, dfd, nc; };

double& unknownOf(int which, fArguments& a) {
  return which == 2 ? a.f : which == 3 ? a.dfn : which == 4 ? a.dfd : a.nc;
}

fArguments searchNoncentralF(int which, double P, double Q, fArguments a) {
  unknownOf(which, a) = 0;
  int status = 99;
  double bound = 7;
  noncentralFDistribution(which, P, Q, a.f, a.dfn, a.dfd, a.nc, status, bound);
  EXPECT_EQ(status, 0);
  return a;
}

// Every search of the noncentral front end ends where its own cumulative routine meets the
// smaller of P and Q, and that point is where Boost's cdf meets P to the accuracy of the sums.
TEST(NoncentralFDistribution, SearchesSolveForP) {
  fArguments point{2.5, 4, 12, 6};
  double P = 0, Q = 0;
  noncentralFCdf(point.f, point.dfn, point.dfd, point.nc, P, Q);
  for (int which = 2; which <= 5; ++which) {
    SCOPED_TRACE(which);
    fArguments found = searchNoncentralF(which, P, Q, point);
    EXPECT_LE(relativeDistance(unknownOf(which, found), unknownOf(which, point)), 1e-7);
    const long double oracleP = cdf(oracleNoncentralF(found.dfn, found.dfd, found.nc),
                                    static_cast<long double>(found.f));
    EXPECT_LE(relativeError(P, oracleP), 1e-7);
  }
}

// Quantiles of small upper tails: the searches compare Q, whose digits the upper sum keeps, so
// every unknown comes back from a Q that 1 - P could not even hold. Q is Boost's complement at the
// point, so the point's own value of the unknown is the exact answer.
TEST(NoncentralFDistribution, SearchesFindTheUnknownOfASmallUpperTail) {
  for (double dfn : {3.0, 10.0}) {
    for (double dfd : {8.0, 50.0}) {
      for (double nc : {4.0, 150.0}) {
        for (double m : {8.0, 64.0, 1e4, 1e10}) {
          fArguments point{m * (dfn + nc) / dfn, dfn, dfd, nc};
          const double Q = static_cast<double>(cdf(
              complement(oracleNoncentralF(dfn, dfd, nc), static_cast<long double>(point.f))));
          for (int which = 2; which <= 5; ++which) {
            SCOPED_TRACE(testing::Message() << "f " << point.f << " dfn " << dfn << " dfd " << dfd
                                            << " nc " << nc << " Q " << Q << " mode " << which);
            fArguments found = searchNoncentralF(which, 0.5 + (0.5 - Q), Q, point);
            EXPECT_LE(relativeDistance(unknownOf(which, found), unknownOf(which, point)), 1e-7);
          }
        }
      }
    }
  }
}

}  // namespace
