// The noncentral chi-square and noncentral F cumulative routines and their quantile modes over
// a fixed grid of degrees of freedom, noncentralities and points: below the mean, and from the
// mean out into the far upper tail. Reports evaluations per second on one core.
// Usage: noncentral_bench [benchmark options]
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "numerics/f_distribution.h"
#include "numerics/noncentral_chi_square.h"

namespace {

struct chiPoint { double x, df, nc; };
struct fPoint { double f, dfn, dfd, nc; };

const double chiDfs[] = {1.0, 4.0, 30.0};
const double chiNcs[] = {0.5, 8.0, 100.0, 2000.0};
const double fDfns[] = {1.0, 4.0, 20.0};
const double fDfds[] = {3.0, 12.0, 80.0};
const double fNcs[] = {0.5, 8.0, 100.0, 1000.0};

// x = mean + z sd for the z given; points at or below 0 are left out.
std::vector<chiPoint> chiGrid(const std::vector<double>& zs) {
  std::vector<chiPoint> points;
  for (double df : chiDfs)
    for (double nc : chiNcs)
      for (double z : zs) {
        const double x = df + nc + z * std::sqrt(2.0 * (df + 2.0 * nc));
        if (x > 0.0) points.push_back({x, df, nc});
      }
  return points;
}

// f = m (dfn + nc)/dfn for the multiples m given: the ratio of the numerator's and the
// denominator's means, scaled.
std::vector<fPoint> fGrid(const std::vector<double>& multiples) {
  std::vector<fPoint> points;
  for (double dfn : fDfns)
    for (double dfd : fDfds)
      for (double nc : fNcs)
        for (double m : multiples) points.push_back({m * (dfn + nc) / dfn, dfn, dfd, nc});
  return points;
}

void perEvaluation(benchmark::State& state, size_t points) {
  state.counters["evaluations_per_s"] = benchmark::Counter(
      static_cast<double>(points) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

void chiCdf(benchmark::State& state, const std::vector<chiPoint>& points) {
  for (auto _ : state)
    for (const chiPoint& p : points) {
      double P = 0, Q = 0;
      noncentralChiSquareCdf(p.x, p.df, p.nc, P, Q);
      benchmark::DoNotOptimize(Q);
    }
  perEvaluation(state, points.size());
}

void fCdfs(benchmark::State& state, const std::vector<fPoint>& points) {
  for (auto _ : state)
    for (const fPoint& p : points) {
      double P = 0, Q = 0;
      noncentralFCdf(p.f, p.dfn, p.dfd, p.nc, P, Q);
      benchmark::DoNotOptimize(Q);
    }
  perEvaluation(state, points.size());
}

void chiSquareBelowMean(benchmark::State& state) { chiCdf(state, chiGrid({-3, -2, -1, -0.5})); }
void chiSquareUpperTail(benchmark::State& state) {
  chiCdf(state, chiGrid({0.5, 1, 2, 4, 8, 16}));
}
void noncentralFBelowMean(benchmark::State& state) { fCdfs(state, fGrid({0.25, 0.5, 0.8})); }
void noncentralFUpperTail(benchmark::State& state) { fCdfs(state, fGrid({1.5, 2, 4, 10, 50})); }

// Times one pass over a grid of searches; pass() runs them and returns how many it ran.
template <typename Pass>
void searches(benchmark::State& state, Pass pass) {
  size_t count = 0;
  for (auto _ : state) count = pass();
  perEvaluation(state, count);
}

// The x of a lower-tail probability (P = 0.05) and of an upper-tail one (Q = 0.01), which every
// version of the search can reach.
void chiSquareQuantiles(benchmark::State& state) {
  searches(state, [] {
    size_t count = 0;
    for (double df : chiDfs)
      for (double nc : chiNcs)
        for (double q : {0.95, 0.01}) {
          double P = 1.0 - q, Q = q, x = 0, d = df, n = nc, bound = 0;
          int status = 0;
          noncentralChiSquareDistribution(2, P, Q, x, d, n, status, bound);
          benchmark::DoNotOptimize(x);
          ++count;
        }
    return count;
  });
}

void noncentralFQuantiles(benchmark::State& state) {
  searches(state, [] {
    size_t count = 0;
    for (double dfn : fDfns)
      for (double dfd : fDfds)
        for (double nc : fNcs)
          for (double q : {0.95, 0.01}) {
            double P = 1.0 - q, Q = q, f = 0, n = dfn, d = dfd, c = nc, bound = 0;
            int status = 0;
            noncentralFDistribution(2, P, Q, f, n, d, c, status, bound);
            benchmark::DoNotOptimize(f);
            ++count;
          }
    return count;
  });
}

BENCHMARK(chiSquareBelowMean)->Unit(benchmark::kMicrosecond);
BENCHMARK(chiSquareUpperTail)->Unit(benchmark::kMicrosecond);
BENCHMARK(noncentralFBelowMean)->Unit(benchmark::kMicrosecond);
BENCHMARK(noncentralFUpperTail)->Unit(benchmark::kMicrosecond);
BENCHMARK(chiSquareQuantiles)->Unit(benchmark::kMicrosecond);
BENCHMARK(noncentralFQuantiles)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
