// The PLINK binary fileset handed to plink: <base>.bim, .fam, .bed and, with covariates, .cov.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dataset/covariates.h"
#include "dataset/dataset.h"
#include "run/exit.h"
#include "run/output_file.h"
#include "run/settings.h"
#include "run/temp_files.h"
#include "association/checked_file.h"
#include "association/plink_runner.h"

namespace {

// The first failure of any thread is printed, whole, by the thread that ends the run; a second
// thread failing meanwhile waits here for the end (outside its temporary-file work, which the
// end waits for).
std::mutex failureReport;

[[noreturn]] void endWithFailure(const std::string& message) {
  failureReport.lock();
  std::cout << message << std::flush;
  fatalExit(1);
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

// Where one file of a fileset goes: the path written, and the name the user knows it by (the
// same, unless the file is written under a name of its own until it is complete).
struct filesetFile {
  std::string path;
  std::string name;
};

// The message for a file that could not be created (its reason, then the message that says
// which file of the fileset it was), or for one that could not be written in full; empty when
// the file is complete. A file cut short would reach plink as a smaller fileset (fewer SNPs,
// individuals or covariate lines), which plink may well analyse without complaint.
std::string failureOf(checkedFile& file, const filesetFile& where,
                      std::string (*openMessage)(const std::string&)) {
  if (!file.isOpen()) return createFailureLine(where.name, file.reason()) + openMessage(where.name);
  if (!file.close()) return writeFailureLine(where.name, file.reason());
  return "";
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

std::string writeFam(const filesetFile& where, const std::vector<individualRecord*>& people,
                     int newfids) {
  checkedFile file(where.path);
  std::ostream& out = file.stream();
  for (size_t k = 0; k < people.size() && out; ++k) {
    const individualRecord& person = *people[k];
    out << person.familyId << ' ' << filesetId(person, k, newfids) << ' ' << person.fatherId
        << ' ' << person.motherId << ' ' << person.sex << ' ' << person.phenotype << '\n';
  }
  return failureOf(file, where, famFailure);
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

std::string writeBim(const filesetFile& where, const std::vector<snpRecord*>& snpList) {
  checkedFile file(where.path);
  std::ostream& out = file.stream();
  for (size_t j = 0; j < snpList.size() && out; ++j) {
    snpRecord* snp = snpList[j];
    const auto [allele1, allele2] = completeAlleles(*snp);
    out << snp->chromosome << '\t' << snp->name << '\t' << snp->geneticDistance << '\t'
        << snp->position << '\t' << allele1 << '\t' << allele2 << '\n';
  }
  return failureOf(file, where, bimFailure);
}

// Runs for every scan through plink of every resample: the codes are taken straight from the
// genotype words and leave in chunks of whole SNP blocks, never one genotype at a time.
std::string writeBed(const filesetFile& where, const std::vector<individualRecord*>& people,
                     const std::vector<snpRecord*>& snpList) {
  checkedFile file(where.path);
  if (!file.isOpen()) return failureOf(file, where, bedFailure);
  std::ostream& out = file.stream();
  // 0x01: SNP-major order.
  const char magic[3] = {0x6C, 0x1B, 0x01};
  out.write(magic, sizeof magic);
  const size_t blockBytes = (people.size() + 3) / 4;
  if (blockBytes > 0 && !snpList.empty()) {
    std::vector<const uint64_t*> genotypes(people.size());
    for (size_t k = 0; k < people.size(); ++k) genotypes[k] = people[k]->genotypes.data();
    const size_t blocksPerChunk = std::max<size_t>(1, bedChunkBytes / blockBytes);
    std::vector<unsigned char> chunk(std::min(blocksPerChunk, snpList.size()) * blockBytes);
    for (size_t first = 0; first < snpList.size() && out; first += blocksPerChunk) {
      const size_t count = std::min(blocksPerChunk, snpList.size() - first);
      packSnpBlocks(genotypes, snpList, first, count, blockBytes, chunk.data());
      out.write(reinterpret_cast<const char*>(chunk.data()),
                static_cast<std::streamsize>(count * blockBytes));
    }
  }
  return failureOf(file, where, bedFailure);
}

// Without the file plink's --covar run would fail later, far from the cause.
std::string writeCov(const filesetFile& where, const std::vector<individualRecord*>& people,
                     int newfids) {
  checkedFile file(where.path);
  std::ostream& out = file.stream();
  if (!covariateHeaderLine.empty()) out << covariateHeaderLine << '\n';
  for (size_t k = 0; k < people.size() && out; ++k) {
    const individualRecord& person = *people[k];
    out << person.familyId << ' ' << filesetId(person, k, newfids) << ' ';
    for (double value : person.covariates) {
      if (value == missingValue) {
        out << "-9 ";
      } else {
        out << value << ' ';
      }
    }
    out << '\n';
  }
  return failureOf(file, where, covFailure);
}

// The files of the fileset with base name base, in the order they are written.
std::vector<std::string> filesetNames(const std::string& base) {
  std::vector<std::string> names = {base + ".bim", base + ".fam", base + ".bed"};
  if (useCovariates) names.push_back(base + ".cov");
  return names;
}

// Writes the files of filesetNames(base), each to the path that pathOf gives for its name; the
// message of the first that fails (the rest are not written), or empty.
std::string writeFilesetFiles(const std::string& base, std::string (*pathOf)(const std::string&),
                              const std::vector<individualRecord*>& people,
                              const std::vector<snpRecord*>& snpList, int newfids) {
  const std::vector<std::string> names = filesetNames(base);
  auto where = [&](size_t k) { return filesetFile{pathOf(names[k]), names[k]}; };
  std::string failure = writeBim(where(0), snpList);
  if (failure.empty()) failure = writeFam(where(1), people, newfids);
  if (failure.empty()) failure = writeBed(where(2), people, snpList);
  if (failure.empty() && useCovariates) failure = writeCov(where(3), people, newfids);
  return failure;
}

std::string sameName(const std::string& name) { return name; }

// Renames every file from its incomplete name into place; on a failure the files renamed so
// far go again, so that the fileset is whole or absent, and the message names the file.
std::string renameIntoPlace(const std::vector<std::string>& names) {
  for (size_t k = 0; k < names.size(); ++k) {
    if (std::rename(incompleteFileName(names[k]).c_str(), names[k].c_str()) == 0) continue;
    const std::string failure = writeFailureLine(names[k], std::strerror(errno));
    for (size_t done = 0; done < k; ++done) unlink(names[done].c_str());
    return failure;
  }
  return "";
}

void endOnFailure(const std::string& failure) {
  if (!failure.empty()) endWithFailure(failure);
}

}  // namespace

void plinkRunner::writeBinaryFileset(const std::string& base,
                                     const std::vector<individualRecord*>& people,
                                     const std::vector<snpRecord*>& snpList, int newfids) {
  std::string failure;
  {
    // A run that ends meanwhile (a fatal error on another thread, a signal) removes the files
    // only once they are complete. The end of the run removes them after a failure, too: they
    // lie under the temporary prefix.
    const temporaryFileWork work;
    failure = writeFilesetFiles(base, sameName, people, snpList, newfids);
  }
  endOnFailure(failure);
}

void plinkRunner::writeWholeFileset(const std::string& base,
                                    const std::vector<individualRecord*>& people,
                                    const std::vector<snpRecord*>& snpList, int newfids) {
  const std::vector<std::string> names = filesetNames(base);
  std::string failure;
  {
    const temporaryFileWork work;
    for (const std::string& name : names) {
      // An old file goes first: it belongs to an earlier run, whatever becomes of this one.
      removeFileOrLink(name);
      addTemporaryName(incompleteFileName(name));
      removeFileOrLink(incompleteFileName(name));  // a link left there would be written through
    }
    failure = writeFilesetFiles(base, incompleteFileName, people, snpList, newfids);
    if (failure.empty()) failure = renameIntoPlace(names);
    if (!failure.empty()) {
      for (const std::string& name : names) unlink(incompleteFileName(name).c_str());
    }
  }
  endOnFailure(failure);
}

void plinkRunner::writeBimFile(const std::string& fileName, const std::vector<snpRecord*>& snpList) {
  endOnFailure(writeBim({fileName, fileName}, snpList));
}

void plinkRunner::writeBedFile(const std::string& base,
                               const std::vector<individualRecord*>& people,
                               const std::vector<snpRecord*>& snpList) {
  endOnFailure(writeBed({base + ".bed", base + ".bed"}, people, snpList));
}

void plinkRunner::writeCovFile(const std::string& fileName,
                               const std::vector<individualRecord*>& people, int newfids) {
  endOnFailure(writeCov({fileName, fileName}, people, newfids));
}
