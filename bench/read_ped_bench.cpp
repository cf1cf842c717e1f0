// Time to read a PLINK text data set (.map then .ped) into memory.
// Usage: read_ped_bench BASE [benchmark options]; BASE.map and BASE.ped must exist (see
// make_large_ped.py).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "dataset/dataset.h"
#include "association/plink_runner.h"

namespace {

std::string baseName;

void readPedAndMap(benchmark::State& state) {
  for (auto _ : state) {
    plink.readPedAndMap(baseName + ".ped", baseName + ".map");
    state.PauseTiming();
    state.counters["individuals"] = nIndividuals;
    state.counters["snps"] = nSnps;
    freeDataSet();
    state.ResumeTiming();
  }
  // The rate counted over the .ped file alone: the .map is a small part of it.
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(baseName + ".ped")));
}
BENCHMARK(readPedAndMap)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "Usage: %s BASE [benchmark options]\n", argv[0]);
    return 2;
  }
  baseName = argv[1];
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
