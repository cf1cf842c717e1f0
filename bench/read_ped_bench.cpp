// Time to read a PLINK text data set (.map then .ped) into memory, and the .ped reader alone:
// one line at a time in file order, and in blocks on 1 and 8 threads.
// Usage: read_ped_bench BASE [benchmark options]; BASE.map and BASE.ped must exist (see
// make_large_ped.py).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/ped_file_readers.h"
#include "association/plink_runner.h"

namespace {

std::string baseName;

// The rate counted over the .ped file alone: the .map is a small part of it.
void countPedBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(baseName + ".ped")));
}

void readPedAndMap(benchmark::State& state) {
  for (auto _ : state) {
    plink.readPedAndMap(baseName + ".ped", baseName + ".map");
    state.PauseTiming();
    state.counters["individuals"] = nIndividuals;
    state.counters["snps"] = nSnps;
    freeDataSet();
    state.ResumeTiming();
  }
  countPedBytes(state);
}
BENCHMARK(readPedAndMap)->Unit(benchmark::kMillisecond)->Iterations(3);

// Times read on the .ped file alone, the .map read once before.
void timePedReader(benchmark::State& state,
                   const std::function<void(const std::string&, pedAlleleColumns&)>& read) {
  plink.readMapFile(baseName + ".map");
  const std::string pedName = baseName + ".ped";
  for (auto _ : state) {
    pedAlleleColumns alleles{std::vector<char>(nSnps, 0), std::vector<char>(nSnps, 0)};
    read(pedName, alleles);
    state.PauseTiming();
    state.counters["individuals"] = static_cast<double>(individuals.size());
    for (individualRecord* person : individuals) delete person;
    individuals.clear();
    state.ResumeTiming();
  }
  freeDataSet();
  countPedBytes(state);
}

void readInOrder(const std::string& name, pedAlleleColumns& alleles) {
  FILE* file = std::fopen(name.c_str(), "r");
  readPedLinesInOrder(file, name, alleles);
  std::fclose(file);
}

void readOnThreads(const std::string& name, pedAlleleColumns& alleles, size_t blockSize,
                   int threads) {
  const int fd = open(name.c_str(), O_RDONLY);
  readPedBlocksOnThreads(fd, name, alleles, blockSize, threads);
  close(fd);
}

// What a reader leaves, to compare the readers on a large file: every field of every record,
// and the alleles.
struct readOutcome {
  std::vector<std::string> fields;
  std::vector<double> phenotypes;
  std::vector<std::vector<uint64_t>> genotypes;
  std::vector<char> allele1, allele2;
  bool operator==(const readOutcome&) const = default;
};

readOutcome takeOutcome(const pedAlleleColumns& alleles) {
  readOutcome outcome{{}, {}, {}, alleles.allele1, alleles.allele2};
  for (individualRecord* p : individuals) {
    for (const std::string* field : {&p->familyId, &p->individualId, &p->fatherId, &p->motherId,
                                     &p->sex}) {
      outcome.fields.push_back(*field);
    }
    outcome.fields.push_back(std::to_string(p->index));
    outcome.phenotypes.push_back(p->phenotype);
    outcome.genotypes.push_back(p->genotypes);
    delete p;
  }
  individuals.clear();
  return outcome;
}

// 1 when the reader on threads gives what the reading in order gives; the .map must be read.
double sameAsInOrder(const std::string& name, size_t blockSize, int threads) {
  pedAlleleColumns inOrder{std::vector<char>(nSnps, 0), std::vector<char>(nSnps, 0)};
  readInOrder(name, inOrder);
  const readOutcome expected = takeOutcome(inOrder);
  pedAlleleColumns onThreads{std::vector<char>(nSnps, 0), std::vector<char>(nSnps, 0)};
  readOnThreads(name, onThreads, blockSize, threads);
  return takeOutcome(onThreads) == expected ? 1 : 0;
}

void pedLinesInOrder(benchmark::State& state) { timePedReader(state, readInOrder); }
BENCHMARK(pedLinesInOrder)->Unit(benchmark::kMillisecond)->Iterations(5);

// Arguments: the thread count, and the block size in MB (0: the reader's default).
void pedBlocksOnThreads(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  const size_t blockSize =
      state.range(1) > 0 ? static_cast<size_t>(state.range(1)) << 20 : defaultPedBlockSize;
  timePedReader(state, [=](const std::string& name, pedAlleleColumns& alleles) {
    readOnThreads(name, alleles, blockSize, threads);
  });
  plink.readMapFile(baseName + ".map");
  state.counters["same_as_in_order"] = sameAsInOrder(baseName + ".ped", blockSize, threads);
  freeDataSet();
}
BENCHMARK(pedBlocksOnThreads)
    ->ArgsProduct({{1, 8}, {0, 4, 8, 16, 64}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

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
