// The PLINK binary fileset handed to plink: <base>.bim, .fam, .bed and, with covariates, .cov.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dataset/covariates.h"
#include "dataset/dataset.h"
#include "run/exit.h"
#include "run/settings.h"
#include "run/temp_files.h"
#include "association/plink_runner.h"

namespace {

[[noreturn]] void cannotWrite(const std::string& message) {
  std::cout << message;
  fatalExit(1);
}

// A file that could not be written in full would reach plink as a shorter fileset (fewer SNPs,
// individuals or covariate lines), which plink may well analyse without complaint. Closing
// flushes the last buffer, so the check comes after it.
void closeOrFail(std::ofstream& file, const std::string& message) {
  file.close();
  if (file.fail()) cannotWrite(message);
}

// The .bim and .cov messages begin with "Error: ", those of .fam and .bed do not.
std::string bimFailure(const std::string& fileName) {
  return "Error: Cannot write to output file " + fileName + "\n";
}
std::string famFailure(const std::string& fileName) {
  return "Cannot write to output file " + fileName + "\n";
}
std::string bedFailure(const std::string& fileName) {
  return "Cannot write to output file " + fileName + "\n";
}
std::string covFailure(const std::string& fileName) {
  return "Error: Cannot write to output file " + fileName + "\n";
}

// Guards the allele completion when it does happen on a worker thread.
std::mutex alleleCompletion;

// The allele pair plink is given for a SNP, stored back into the record for the rest of the run:
// an unset allele1 becomes 'X' when allele2 is '0' and '0' otherwise (allele2 tested before its
// own completion); then an unset allele2 becomes '0'.
//
// Several worker threads may write filesets holding the same SNP at once. By design the first
// fileset, for the scan of all individuals on the main thread before any worker exists,
// completes every SNP, and later calls only read. Should a worker still be the first to meet an
// unset allele (when that scan ran in process, say), it completes the pair under the lock from a
// fresh read, so no thread acts on a half-completed pair; the reads outside the lock are atomic
// so that they never race with that write.
std::pair<char, char> completeAlleles(snpRecord& snp) {
  std::atomic_ref<char> first(snp.allele1);
  std::atomic_ref<char> second(snp.allele2);
  char allele1 = first.load(std::memory_order_acquire);
  char allele2 = second.load(std::memory_order_acquire);
  if (allele1 != 0 && allele2 != 0) return {allele1, allele2};
  std::lock_guard<std::mutex> hold(alleleCompletion);
  allele1 = first.load(std::memory_order_relaxed);
  allele2 = second.load(std::memory_order_relaxed);
  if (allele1 == 0) {
    allele1 = allele2 == '0' ? 'X' : '0';
    first.store(allele1, std::memory_order_release);
  }
  if (allele2 == 0) {
    allele2 = '0';
    second.store(allele2, std::memory_order_release);
  }
  return {allele1, allele2};
}

// The individual id of the k-th entry of a fileset: its own, or "i" and k with newfids (an
// individual listed twice in a resample then gets two distinct ids).
std::string filesetId(const individualRecord& person, size_t k, int newfids) {
  return newfids != 0 ? "i" + std::to_string(k) : person.individualId;
}

void writeFamFile(const std::string& fileName, const std::vector<individualRecord*>& people,
                  int newfids) {
  std::ofstream file(fileName, std::ios::trunc);
  if (!file) cannotWrite(famFailure(fileName));
  for (size_t k = 0; k < people.size(); ++k) {
    const individualRecord& person = *people[k];
    file << person.familyId << ' ' << filesetId(person, k, newfids) << ' ' << person.fatherId
         << ' ' << person.motherId << ' ' << person.sex << ' ' << person.phenotype << '\n';
  }
  closeOrFail(file, famFailure(fileName));
}

// SNP blocks are packed into a buffer of about this size and written in one call.
constexpr size_t bedChunkBytes = size_t{1} << 20;
// SNPs packed side by side: one pass over the individuals serves them all, so each individual's
// genotype words are fetched once per tile rather than once per SNP.
constexpr size_t bedTileSnps = 64;

// Where a SNP's codes lie in every individual's genotype words.
struct codeLocation {
  size_t word;
  int shift;
};

// The .bed blocks of count SNPs (their locations given), one after another from out, each of
// blockBytes bytes: the code of the k-th individual in byte k/4 at bits 2*(k mod 4), the first of
// each four in the lowest bits; unused bit pairs of a block's last byte are 0.
// Precondition: every location lies within every individual's genotype words.
void packSnpTile(const std::vector<const uint64_t*>& genotypes, const codeLocation* where,
                 size_t count, size_t blockBytes, unsigned char* out) {
  const size_t n = genotypes.size();
  // The words are read through local pointers: a byte store may alias anything, so reading
  // them through the vector would reload every pointer for every byte.
  size_t k = 0;
  for (; k + 4 <= n; k += 4) {
    const uint64_t* const g0 = genotypes[k];
    const uint64_t* const g1 = genotypes[k + 1];
    const uint64_t* const g2 = genotypes[k + 2];
    const uint64_t* const g3 = genotypes[k + 3];
    unsigned char* byte = out + k / 4;
    for (size_t i = 0; i < count; ++i, byte += blockBytes) {
      const size_t w = where[i].word;
      const int s = where[i].shift;
      *byte = static_cast<unsigned char>((g0[w] >> s & 3u) | (g1[w] >> s & 3u) << 2 |
                                         (g2[w] >> s & 3u) << 4 | (g3[w] >> s & 3u) << 6);
    }
  }
  if (k == n) return;
  unsigned char* byte = out + k / 4;
  for (size_t i = 0; i < count; ++i, byte += blockBytes) {
    unsigned last = 0;
    for (size_t m = k; m < n; ++m) {
      last |= static_cast<unsigned>(genotypes[m][where[i].word] >> where[i].shift & 3u)
              << (2 * (m - k));
    }
    *byte = static_cast<unsigned char>(last);
  }
}

// Packs count SNPs of the list, from first on, into consecutive blocks at out.
void packSnpBlocks(const std::vector<const uint64_t*>& genotypes,
                   const std::vector<snpRecord*>& snpList, size_t first, size_t count,
                   size_t blockBytes, unsigned char* out) {
  codeLocation where[bedTileSnps];
  for (size_t done = 0; done < count; done += bedTileSnps) {
    const size_t tile = std::min(bedTileSnps, count - done);
    for (size_t i = 0; i < tile; ++i) {
      const int column = snpList[first + done + i]->index;
      where[i] = {static_cast<size_t>(column) >> 5, 2 * (column & 31)};
    }
    packSnpTile(genotypes, where, tile, blockBytes, out + done * blockBytes);
  }
}

}  // namespace

void plinkRunner::writeBinaryFileset(const std::string& base,
                                     const std::vector<individualRecord*>& people,
                                     const std::vector<snpRecord*>& snpList, int newfids) {
  // A run that ends meanwhile (a fatal error on another thread, a signal) removes the files
  // only once they are complete.
  const temporaryFileWork work;
  writeBimFile(base + ".bim", snpList);
  writeFamFile(base + ".fam", people, newfids);
  writeBedFile(base, people, snpList);
  if (useCovariates) writeCovFile(base + ".cov", people, newfids);
}

void plinkRunner::writeBimFile(const std::string& fileName, const std::vector<snpRecord*>& snpList) {
  std::ofstream file(fileName, std::ios::trunc);
  if (!file) cannotWrite(bimFailure(fileName));
  for (snpRecord* snp : snpList) {
    const auto [allele1, allele2] = completeAlleles(*snp);
    file << snp->chromosome << '\t' << snp->name << '\t' << snp->geneticDistance << '\t'
         << snp->position << '\t' << allele1 << '\t' << allele2 << '\n';
  }
  closeOrFail(file, bimFailure(fileName));
}

// Runs for every scan through plink of every resample: the codes are taken straight from the
// genotype words and leave in chunks of whole SNP blocks, never one genotype at a time.
void plinkRunner::writeBedFile(const std::string& base,
                               const std::vector<individualRecord*>& people,
                               const std::vector<snpRecord*>& snpList) {
  const std::string fileName = base + ".bed";
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  if (!file) cannotWrite(bedFailure(fileName));
  // 0x01: SNP-major order.
  const char magic[3] = {0x6C, 0x1B, 0x01};
  file.write(magic, sizeof magic);
  const size_t blockBytes = (people.size() + 3) / 4;
  if (blockBytes > 0 && !snpList.empty()) {
    std::vector<const uint64_t*> genotypes(people.size());
    for (size_t k = 0; k < people.size(); ++k) genotypes[k] = people[k]->genotypes.data();
    const size_t blocksPerChunk = std::max<size_t>(1, bedChunkBytes / blockBytes);
    std::vector<unsigned char> chunk(std::min(blocksPerChunk, snpList.size()) * blockBytes);
    for (size_t first = 0; first < snpList.size(); first += blocksPerChunk) {
      const size_t count = std::min(blocksPerChunk, snpList.size() - first);
      packSnpBlocks(genotypes, snpList, first, count, blockBytes, chunk.data());
      file.write(reinterpret_cast<const char*>(chunk.data()),
                 static_cast<std::streamsize>(count * blockBytes));
    }
  }
  closeOrFail(file, bedFailure(fileName));
}

void plinkRunner::writeCovFile(const std::string& fileName,
                               const std::vector<individualRecord*>& people, int newfids) {
  // Without the file plink's --covar run would fail later, far from the cause.
  std::ofstream file(fileName, std::ios::trunc);
  if (!file) cannotWrite(covFailure(fileName));
  if (!covariateHeaderLine.empty()) file << covariateHeaderLine << '\n';
  for (size_t k = 0; k < people.size(); ++k) {
    const individualRecord& person = *people[k];
    file << person.familyId << ' ' << filesetId(person, k, newfids) << ' ';
    for (double value : person.covariates) {
      if (value == missingValue) {
        file << "-9 ";
      } else {
        file << value << ' ';
      }
    }
    file << '\n';
  }
  closeOrFail(file, covFailure(fileName));
}
