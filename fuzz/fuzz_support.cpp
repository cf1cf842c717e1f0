#include "fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "dataset/dataset.h"
#include "run/exit.h"

// These replace the program's exits (the fuzz targets link them ahead of the run library), so
// that the message is printed as usual but the process goes on with the next input.
void fatalExit(int code) {
  std::cout.flush();
  throw fuzzExit{code};
}

void plainExit(int code) {
  std::cout.flush();
  throw fuzzExit{code};
}

// The readers end a read that ran out of memory this way; under the fuzzer the sanitizer's
// allocator reports such a failure itself, so this is only reached by a fault of the reader.
void memoryExit() {
  std::cout.flush();
  throw fuzzExit{1};
}

memoryFile::memoryFile(const uint8_t* data, size_t size) {
  fd_ = memfd_create("fuzz-input", 0);
  if (fd_ < 0) {
    std::perror("memfd_create");
    std::abort();
  }
  for (size_t written = 0; written < size;) {
    const ssize_t n = write(fd_, data + written, size - written);
    if (n <= 0) {
      std::perror("write");
      std::abort();
    }
    written += static_cast<size_t>(n);
  }
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

memoryFile::~memoryFile() { close(fd_); }

void buildDataSet(int snpCount, int individualCount) {
  freeDataSet();
  for (int j = 0; j < snpCount; ++j) {
    auto* snp = new snpRecord;
    snp->index = j;
    snp->chromosome = 1;
    snp->position = 1000 * (j + 1);
    snp->name = "rs" + std::to_string(j + 1);
    snp->allele1 = 'A';
    snp->allele2 = 'G';
    snps.push_back(snp);
  }
  nSnps = snpCount;
  for (int i = 0; i < individualCount; ++i) {
    auto* person = new individualRecord;
    person->index = i;
    person->familyId = "f" + std::to_string(i + 1);
    person->individualId = "i" + std::to_string(i + 1);
    person->fatherId = "0";
    person->motherId = "0";
    person->sex = "1";
    person->phenotype = 1.0 + (i % 2);
    person->genotypes.assign(genotypeWordCount(snpCount), 0);
    for (int j = 0; j < snpCount; ++j) setGenotype(person->genotypes, j, (i + j) % 4);
    individuals.push_back(person);
  }
  nIndividuals = individualCount;
}
