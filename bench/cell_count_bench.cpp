// Genotype cells of every SNP over one bootstrap resample: the counting step of every in-process
// scan. Reports genotypes per second on one core (individuals x SNPs per scan, repeats counted
// once per individual), for the SNP-major bit-plane counter and for the walk over each listed
// individual's own words.
// Usage: cell_count_bench [benchmark options]
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "association/genotype_counts.h"
#include "dataset/dataset.h"
#include "dataset/snp_major_genotypes.h"
#include "test_support/dataset_builder.h"

namespace {

// A data set of n individuals (alternately control and case) and m SNPs with random codes,
// about 2% missing; the same for the same n and m.
void buildDataSet(int n, int m) {
  freeDataSet();
  for (int j = 0; j < m; ++j) testsupport::addSnp("s" + std::to_string(j), 1, j + 1);
  std::mt19937 engine(7);
  std::uniform_int_distribution<unsigned> code(0, 3);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<unsigned> codes(static_cast<size_t>(m));
  for (int i = 0; i < n; ++i) {
    for (unsigned& c : codes) {
      c = code(engine);
      if (c == missingGenotype && unit(engine) > 0.08) c = heterozygous;
    }
    testsupport::addIndividual(i % 2 == 0 ? 1.0 : 2.0, codes);
  }
}

// A resample as the sampler lists it: n draws with replacement, in data-set order.
std::vector<individualRecord*> drawResample(unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<int> pick(0, nIndividuals - 1);
  std::vector<int> counts(static_cast<size_t>(nIndividuals), 0);
  for (int k = 0; k < nIndividuals; ++k) ++counts[static_cast<size_t>(pick(engine))];
  std::vector<individualRecord*> sample;
  for (int i = 0; i < nIndividuals; ++i) sample.insert(sample.end(), counts[i], individuals[i]);
  return sample;
}

void report(benchmark::State& state) {
  const double perScan = static_cast<double>(nIndividuals) * nSnps;
  state.counters["genotypes_per_s"] =
      benchmark::Counter(perScan * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

// One scan's counting: the counter is set up for the resample and then counts every SNP.
void bitPlaneCounter(benchmark::State& state) {
  buildDataSet(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  ensureSnpMajorGenotypes();
  const std::vector<individualRecord*> sample = drawResample(11);
  std::vector<genotypeCells> cells;
  cellCounter counter;
  for (auto _ : state) {
    counter.reset(sample);
    counter.cellsOf(snps, cells);
    benchmark::DoNotOptimize(cells.data());
  }
  if (!counter.usesSnpMajorCopy()) state.SkipWithError("the counter did not use the copy");
  report(state);
  freeDataSet();
}

void pointerWalk(benchmark::State& state) {
  buildDataSet(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const std::vector<individualRecord*> sample = drawResample(11);
  std::vector<genotypeCells> cells(snps.size());
  for (auto _ : state) {
    for (size_t k = 0; k < snps.size(); ++k) cells[k] = countGenotypeCells(sample, snps[k]->index);
    benchmark::DoNotOptimize(cells.data());
  }
  report(state);
  freeDataSet();
}

void sizes(benchmark::internal::Benchmark* b) {
  b->Args({1000, 28501})->Args({5000, 10000})->Unit(benchmark::kMillisecond);
}

BENCHMARK(bitPlaneCounter)->Apply(sizes);
BENCHMARK(pointerWalk)->Apply(sizes);

// Building the copy itself, once per data set.
void buildCopy(benchmark::State& state) {
  buildDataSet(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    invalidateSnpMajorGenotypes();
    ensureSnpMajorGenotypes();
  }
  report(state);
  freeDataSet();
}
BENCHMARK(buildCopy)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
