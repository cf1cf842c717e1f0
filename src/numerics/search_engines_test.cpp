#include "numerics/search_engines.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <functional>
#include <vector>

#include "numerics/chi_square.h"
#include "numerics/f_distribution.h"
#include "numerics/student_t.h"

namespace {

// Drives the zero finder by hand over [lo, hi] and counts the evaluations.
struct zeroRun {
  int status;
  double x, xlo, xhi;
  bool qleft, qhi;
  int evaluations;
};

zeroRun runZeroFinder(const std::function<double(double)>& f, double lo, double hi,
                      double absTol = 1e-50, double relTol = 1e-8) {
  zeroFinderState state;
  zeroFinderSetup(state, lo, hi, absTol, relTol);
  zeroRun r{0, 0, 0, 0, false, false, 0};
  double fx = 0;
  zeroFinderStep(state, r.status, r.x, fx, r.xlo, r.xhi, r.qleft, r.qhi);
  while (r.status == 1) {
    fx = f(r.x);
    ++r.evaluations;
    zeroFinderStep(state, r.status, r.x, fx, r.xlo, r.xhi, r.qleft, r.qhi);
  }
  return r;
}

struct zeroCase {
  const char* name;
  std::function<double(double)> f;
  double lo, hi, root;
};

TEST(ZeroFinder, NarrowsTheBracketToTheRelativeTolerance) {
  const zeroCase cases[] = {
      {"cubic", [](double x) { return x * x * x - 2.0; }, 0.0, 5.0, std::cbrt(2.0)},
      {"decreasing", [](double x) { return std::exp(-x) - 0.25; }, 0.0, 100.0, std::log(4.0)},
      {"root at an end", [](double x) { return x - 1.0; }, 1.0, 3.0, 1.0},
      {"steep", [](double x) { return std::tanh(50.0 * (x - 0.3)); }, -1.0, 1.0, 0.3},
      {"flat then steep", [](double x) { return std::pow(x, 9.0) - 1e-9; }, 0.0, 1.0, 0.1},
      {"tiny root", [](double x) { return x - 1e-40; }, 0.0, 1.0, 1e-40},
      // Products of two such values underflow: the signs must be compared, not multiplied.
      {"values near 1e-300", [](double x) { return x < 0.3 ? -1e-290 : 1e-300 * (x - 0.2); },
       0.0, 1.0, 0.3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const zeroRun r = runZeroFinder(c.f, c.lo, c.hi);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.x, r.xlo);
    EXPECT_NEAR(r.x, c.root, 1e-8 * c.root);
    EXPECT_LE(std::fabs(r.xhi - r.xlo), 1e-8 * std::fabs(r.xlo) * 1.0000001);
    EXPECT_LT(r.evaluations, 1200);
  }
}

TEST(ZeroFinder, TellsWhereTheZeroLiesWhenTheEndsShareASign) {
  const struct {
    const char* name;
    std::function<double(double)> f;
    bool qleft, qhi;
  } cases[] = {
      {"increasing, below 0: zero to the right", [](double x) { return x - 5.0; }, false, false},
      {"increasing, above 0: zero to the left", [](double x) { return x + 5.0; }, true, true},
      {"decreasing, above 0: zero to the right", [](double x) { return 5.0 - x; }, false, true},
      {"decreasing, below 0: zero to the left", [](double x) { return -5.0 - x; }, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const zeroRun r = runZeroFinder(c.f, 0.0, 1.0);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.qleft, c.qleft);
    EXPECT_EQ(r.qhi, c.qhi);
    EXPECT_EQ(r.evaluations, 2);
  }
}

struct invrRun {
  int status;
  double x;
  bool qleft, qhi;
};

invrRun runInvr(const std::function<double(double)>& f, double start, double small, double big) {
  invrState state;
  invrSetup(state, small, big, 0.5, 0.5, 5.0, 1e-50, 1e-8);
  invrRun r{0, start, false, false};
  double fx = 0;
  invrStep(state, r.status, r.x, fx, r.qleft, r.qhi);
  while (r.status == 1) invrStep(state, r.status, r.x, f(r.x), r.qleft, r.qhi);
  return r;
}

TEST(Invr, FindsTheAnswerFromAnyStartInEitherDirection) {
  const struct {
    const char* name;
    std::function<double(double)> f;
    double start, answer;
  } cases[] = {
      {"increasing, answer above the start", [](double x) { return std::log(x) - 10.0; }, 5,
       std::exp(10.0)},
      {"increasing, answer below the start", [](double x) { return std::log(x) + 100.0; }, 5,
       std::exp(-100.0)},
      {"decreasing, answer above", [](double x) { return 1e-3 - 1.0 / x; }, 5, 1e3},
      {"decreasing, answer below", [](double x) { return 1.0 / x - 1e4; }, 5, 1e-4},
      {"answer at the start", [](double x) { return x - 5.0; }, 5, 5},
      {"huge answer", [](double x) { return std::log(x) - 600.0; }, 5, std::exp(600.0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const invrRun r = runInvr(c.f, c.start, 1e-300, 1e300);
    EXPECT_EQ(r.status, 0);
    EXPECT_NEAR(r.x, c.answer, 1e-8 * c.answer);
  }
}

TEST(Invr, ReportsAnAnswerOutsideTheRangeWithItsSide) {
  const struct {
    const char* name;
    std::function<double(double)> f;
    bool qleft, qhi;
  } cases[] = {
      {"increasing, answer below", [](double x) { return x + 1.0; }, true, false},
      {"increasing, answer above", [](double x) { return x - 1e6; }, false, true},
      {"decreasing, answer below", [](double x) { return -x - 1.0; }, true, true},
      {"decreasing, answer above", [](double x) { return 1e6 - x; }, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const invrRun r = runInvr(c.f, 5.0, 0.0, 100.0);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.qleft, c.qleft);
    EXPECT_EQ(r.qhi, c.qhi);
  }
}

TEST(Invr, StopsWithStatusOneOnAStartOutsideTheRange) {
  EXPECT_EXIT(runInvr([](double x) { return x; }, 200.0, 0.0, 100.0),
              testing::ExitedWithCode(1), "^ SMALL, X, BIG not monotone in INVR\n$");
  EXPECT_EXIT(runInvr([](double x) { return x; }, NAN, 0.0, 100.0), testing::ExitedWithCode(1),
              "not monotone in INVR");
}

// Interleaved searches on one thread: each keeps its own state, so stepping two at once gives
// what each gives alone.
TEST(Invr, TwoSearchesSteppedInTurnDoNotMeet) {
  const auto f = [](double x) { return std::log(x) - 3.0; };
  const auto g = [](double x) { return 1e-2 - 1.0 / x; };
  invrState a, b;
  invrSetup(a, 1e-300, 1e300, 0.5, 0.5, 5.0, 1e-50, 1e-8);
  invrSetup(b, 1e-300, 1e300, 0.5, 0.5, 5.0, 1e-50, 1e-8);
  int sa = 0, sb = 0;
  double xa = 5, xb = 5;
  bool l = false, h = false;
  invrStep(a, sa, xa, 0, l, h);
  invrStep(b, sb, xb, 0, l, h);
  while (sa == 1 || sb == 1) {
    if (sa == 1) invrStep(a, sa, xa, f(xa), l, h);
    if (sb == 1) invrStep(b, sb, xb, g(xb), l, h);
  }
  EXPECT_EQ(xa, runInvr(f, 5, 1e-300, 1e300).x);
  EXPECT_EQ(xb, runInvr(g, 5, 1e-300, 1e300).x);
}

// The front ends' searches on several OpenMP threads at once give the serial bits.
TEST(SearchFrontEnds, GiveTheSerialResultsOnManyThreads) {
  std::vector<double> ps;
  for (double p = 1e-12; p < 1; p *= 3.7) ps.push_back(p);
  const auto searches = [](double p) {
    std::vector<double> r;
    double P = 1 - p, Q = p, x = 0, df = 3.5, t = 0, bound = 0;
    int status = 0;
    r.push_back(chiSquareQuantile(p, 7.0));
    studentTDistribution(2, P, Q, t, df, status, bound);
    r.push_back(t);
    x = 20;
    chiSquareDistribution(3, P, Q, x, df, status, bound);
    r.push_back(df);
    double f = 0, dfn = 4, dfd = 9;
    fDistribution(2, P, Q, f, dfn, dfd, status, bound);
    r.push_back(f);
    return r;
  };
  std::vector<std::vector<double>> serial;
  for (double p : ps) serial.push_back(searches(p));
  const int threads = 8;
  std::vector<std::vector<std::vector<double>>> parallel(threads);
#pragma omp parallel for num_threads(threads) schedule(static, 1)
  for (int t = 0; t < threads; ++t) {
    for (double p : ps) parallel[t].push_back(searches(p));
  }
  for (int t = 0; t < threads; ++t) EXPECT_EQ(parallel[t], serial) << "thread " << t;
}

}  // namespace
