#include "bootstrap/cluster_runs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/confidence_intervals.h"
#include "bootstrap/correlation.h"
#include "bootstrap/level0.h"
#include "bootstrap/level12.h"
#include "bootstrap/result_records.h"
#include "bootstrap/results_writers.h"
#include "bootstrap/uboot.h"
#include "run/exit.h"
#include "run/output_file.h"
#include "run/random_generator.h"
#include "run/settings.h"
#include "run/temp_files.h"

namespace {

// The name clusterFile was opened on, for the error of an incomplete write.
std::string clusterFilePath;

// Set-up errors come before any temporary file exists, and before the temporary-name prefix is
// complete, so they end without the clean-up (which would try names in the working directory).
void checkInstanceArguments(int k, int n) {
  if (n < 1 || k < 1 || k > n) {
    std::cout << "Error: --cluster k/n needs n of at least 1 and k from 1 to n (got " << k << "/"
              << n << ").\n";
    plainExit(1);
  }
  if (keepCount != -1) {
    // The cut renumbers the SNPs of the instance, and the join, which runs no naive scan,
    // would read the stored SNP indexes against the uncut data set.
    std::cout << "Error: --keep cannot be used with --cluster: the join could not find the SNPs "
                 "of the reduced data set.\n";
    plainExit(1);
  }
}

// A number as a partial file holds it: six significant digits, as a fresh stream writes it.
std::string asStored(double x) {
  std::ostringstream text;
  text << x;
  return text.str();
}

bool sameAsStored(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || asStored(a) == asStored(b);
}

// Naive records in a fixed order that does not depend on how a sort broke ties of equal p (a file
// of an earlier version ranked them by address): by p as stored, ties by SNP index. The copies
// carry p in its stored form, which prints as the original does.
std::vector<resultRecord> canonicalOrder(std::vector<resultRecord> records) {
  for (resultRecord& record : records) record.p = std::strtod(asStored(record.p).c_str(), nullptr);
  std::sort(records.begin(), records.end(), lessResultByP);
  return records;
}

// What tells a file's naive records from the join's own, or "" when they agree to the precision
// the file keeps.
std::string naiveDifference(const std::vector<resultRecord>& own,
                            const std::vector<resultRecord>& stored) {
  if (own.size() != stored.size()) {
    return std::to_string(stored.size()) + " significant SNPs in the file, " +
           std::to_string(own.size()) + " in this data set";
  }
  const std::vector<resultRecord> a = canonicalOrder(own);
  const std::vector<resultRecord> b = canonicalOrder(stored);
  for (size_t i = 0; i < a.size(); ++i) {
    const std::string name = b[i].snp->name;
    if (a[i].snp != b[i].snp) {
      return "significant SNP " + std::to_string(i + 1) + " is SNP index " +
             std::to_string(b[i].snp->index) + " (" + name + " here) in the file, " +
             a[i].snp->name + " in this data set";
    }
    if (!sameAsStored(a[i].p, b[i].p)) {
      return name + " has p " + asStored(b[i].p) + " in the file, " + asStored(a[i].p) +
             " in this data set";
    }
    if (a[i].alleleUn != b[i].alleleUn || !sameAsStored(a[i].un, b[i].un)) {
      return name + " has the naive estimate " + asStored(b[i].un) + " (" + b[i].alleleUn +
             ") in the file, " + asStored(a[i].un) + " (" + a[i].alleleUn +
             ") in this data set";
    }
  }
  return "";
}

// What tells the SNP list of the instance's data set from the join's own, or "" when they agree
// or the file (of an older version) does not say.
std::string snpListDifference(const std::optional<snpListId>& stored) {
  if (!stored) return "";
  const snpListId own = snpListIdOf(snps);
  if (stored->count != own.count) {
    return "the instance's data set has " + std::to_string(stored->count) + " SNPs, this one " +
           std::to_string(own.count);
  }
  if (stored->hash != own.hash) {
    return "the SNP names of the instance's data set are not those of this one, in the same "
           "order";
  }
  return "";
}

// The file's records carry SNPs by their index in the instance's data set: a file of another
// data set, other filters or other options would put every result under another SNP. The naive
// records show it for the significant SNPs; the SNP list, where the file carries one, for the
// SNPs of the replicates as well.
void checkFileMatchesThisRun(const std::vector<resultRecord>& own,
                             const std::optional<snpListId>& snpList, const std::string& name) {
  std::string difference = naiveDifference(own, naiveResults);
  if (difference.empty()) difference = snpListDifference(snpList);
  if (difference.empty()) return;
  std::cout << "Error: Cluster results file " << name
            << " does not belong to this analysis (" << difference
            << "): join with the input files, filters and options of the instances.\n";
  fatalExit(1);
}

// A file that names its instance must be the file of instance i of n, the one its name says: a
// copy of another instance's file would count that instance's replicates twice.
void checkFileIsOfInstance(const std::optional<partialFileEnd>& end, int i, int n,
                           const std::string& name) {
  if (!end || end->instance == 0) return;  // an earlier version's file does not say
  if (end->instance == i && end->instanceCount == n) return;
  std::cout << "Error: Cluster results file " << name << " was written by instance "
            << end->instance << " of " << end->instanceCount << ": the join needs the file of "
            << "instance " << i << " of " << n << " under this name.\n";
  fatalExit(1);
}

// What stands under name when it is not a regular file (symbolic links followed), or "" when it
// is one or when nothing is there (the open then fails and says so). Opening a FIFO would wait
// for a writer, and a directory or a device is no file of an instance.
std::string notRegularFileKind(const std::string& name) {
  struct stat status {};
  if (stat(name.c_str(), &status) != 0 || S_ISREG(status.st_mode)) return "";
  if (S_ISDIR(status.st_mode)) return "a directory";
  if (S_ISFIFO(status.st_mode)) return "a FIFO";
  if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return "a device";
  if (S_ISSOCK(status.st_mode)) return "a socket";
  return "of another kind";
}

void checkIsRegularFile(const std::string& name) {
  const std::string kind = notRegularFileKind(name);
  if (kind.empty()) return;
  std::cout << "Error: Cluster results file " << name << " is not a regular file (it is " << kind
            << ").\n";
  fatalExit(1);
}

// A file without the instance part of the last line (an earlier version's, or one whose last
// line was removed) cannot show that it is the file of its instance as written.
void warnIfUnchecked(const std::optional<partialFileEnd>& end, const std::string& name) {
  if (end && end->instance != 0) return;
  std::cout << "Warning: Cluster results file " << name << " has no last line naming its "
            << "instance and the hash of its content (a file of an earlier version, or one whose "
            << "last line was removed): it was read without its instance and content check.\n";
}

// What a partial file holds before its last line (all of it when it has none), as a hash.
struct partialFileBody {
  uint64_t hash = 0;
  std::string name;
};

// Two instances draw other resamples, so two files with the same content before their last lines
// are one file twice, whatever their last lines say or whether they have one: its replicates
// would count twice. A file without any replicate or level-1 row is the exception: instances
// whose share found nothing write the same lines by design, and such a file adds nothing.
void checkNotACopy(const partialFileBody& body, bool carriesResamples,
                   std::vector<partialFileBody>& earlier) {
  if (!carriesResamples) return;
  for (const partialFileBody& other : earlier) {
    if (other.hash != body.hash) continue;
    std::cout << "Error: Cluster results files " << other.name << " and " << body.name
              << " have the same content before their last lines: one is a copy of the other, "
              << "and the join would count its replicates twice.\n";
    fatalExit(1);
  }
  earlier.push_back(body);
}

// Reads partial file i of n: its level-0 replicates into the list, its level-1 rows into
// level1Uboots, its nSig and naive records into the globals, each checked. Returns whether it
// carried a replicate or a row.
bool readPartialFile(int i, int n, const std::vector<resultRecord>& own,
                     std::vector<replicate>& replicates, partialFileBody& body) {
  body.name = clusterFileName(i, n);
  std::cout << "Reading partial results from file " << body.name << ".\n";
  checkIsRegularFile(body.name);
  std::ifstream in(body.name);
  if (!in.is_open()) {
    std::cout << "Error: Cannot open cluster results file: " << body.name << "\n";
    fatalExit(1);
  }
  const size_t replicatesBefore = replicates.size();
  const size_t rowsBefore = level1Uboots.size();
  partialResultsReader reader(in, body.name);
  readBootstrapState(reader, replicates);
  readLevel1Uboots(reader);
  body.hash = reader.contentHash();
  const std::optional<partialFileEnd> end = readLastLine(reader);
  warnIfUnchecked(end, body.name);
  checkFileIsOfInstance(end, i, n, body.name);
  checkFileMatchesThisRun(own, end ? std::optional(end->snpList) : std::nullopt, body.name);
  return replicates.size() > replicatesBefore || level1Uboots.size() > rowsBefore;
}

// Reads the partial files 1 to n in order: level-0 replicates into the list, level-1 rows into
// level1Uboots; nSig and naiveResults are those of the files, each of which must agree with the
// join's own naive records to the precision the file keeps, and no two of which may be one file.
void readPartialFiles(int n, const std::vector<resultRecord>& own,
                      std::vector<replicate>& replicates) {
  std::vector<partialFileBody> bodies;
  for (int i = 1; i <= n; ++i) {
    partialFileBody body;
    const bool carriesResamples = readPartialFile(i, n, own, replicates, body);
    checkNotACopy(body, carriesResamples, bodies);
  }
}

// The naive selection and estimates of this run's own data set, as every instance made them.
std::vector<resultRecord> ownNaiveResults() {
  naiveResults.clear();
  std::vector<snpRecord*> significant = computeNaiveEstimate();
  computeNaiveOddsRatios(individuals, significant);
  std::vector<resultRecord> own = naiveResults;
  naiveResults.clear();
  return own;
}

// Ends the file at path, written so far, with its last line, which checks the content before it.
// The system's reason when that failed; empty when it did not.
std::string appendLastLine(const std::string& path) {
  std::ifstream body(path, std::ios::binary);
  if (!body.is_open()) return std::strerror(errno);
  const std::string line = partialFileLastLine(body, clusterIndex, clusterCount);
  if (body.bad()) return std::strerror(errno);
  outputFileStream out;
  out.open(path, std::ios::binary | std::ios::app);
  out << line;
  out.close();
  return out.failure();
}

void truncateNegativeUboots() {
  const size_t ranks = std::min(uboot.size(), static_cast<size_t>(std::max(nSig, 0)));
  for (size_t k = 0; k < ranks; ++k) {
    if (uboot[k] < 0 && uboot[k] != missingValue) uboot[k] = 0;
  }
}

}  // namespace

int clusterShare(int k, int n, int total) { return total / n + (total % n >= k ? 1 : 0); }

std::string clusterFileName(int k, int n) {
  return outFileName + "." + std::to_string(k) + "." + std::to_string(n);
}

void setUpClusterInstance() {
  const int k = clusterIndex;
  const int n = clusterCount;
  checkInstanceArguments(k, n);
  clusterFilePath = clusterFileName(k, n);
  // The file is written under a name of its own and renamed into place once complete, so that a
  // join never takes the file of an instance that was stopped half-way for a finished one. An
  // old file goes at once: it belongs to an earlier analysis.
  std::remove(clusterFilePath.c_str());
  // Named for removal before it exists: an end that comes between the two would leave it.
  addTemporaryName(incompleteFileName(clusterFilePath));
  clusterFile.open(incompleteFileName(clusterFilePath), std::ios::out | std::ios::trunc);
  if (!clusterFile.is_open()) {
    std::cout << "Error: Cannot create cluster results file: " << clusterFilePath << " ("
              << clusterFile.failure() << ").\n";
    plainExit(1);
  }
  nL0 = clusterShare(k, n, nL0);
  nL1 = clusterShare(k, n, nL1);
  // 32-bit arithmetic that wraps instead of overflowing.
  const int seed = static_cast<int>(static_cast<uint32_t>(k) * 7777u +
                                    static_cast<uint32_t>(runSeed));
  rng.seed(seed);
  std::cout << "Clustering instance " << k << " of " << n << "\n"
            << "  Will run " << nL0 << " level 0 bootstraps.\n"
            << "  Will run " << nL1 << " level 1 bootstraps.\n"
            << "  Using seed " << seed << " for random number generation.\n";
}

void closeClusterFile() {
  if (!clusterFile.is_open()) return;
  clusterFile.close();
  const std::string incomplete = incompleteFileName(clusterFilePath);
  std::string reason = clusterFile.failure();
  if (reason.empty()) reason = appendLastLine(incomplete);
  if (reason.empty() && std::rename(incomplete.c_str(), clusterFilePath.c_str()) != 0) {
    reason = std::strerror(errno);
  }
  if (!reason.empty()) {
    std::cout << "Error: Cannot write cluster results file: " << clusterFilePath << " (" << reason
              << ").\n";
    fatalExit(1);
  }
}

void joinClusterResults() {
  std::cout << "\nJoining the results from cluster runs..\n";
  const int n = clusterCount;
  if (n < 1) {
    std::cout << "Error: --join needs the number of cluster runs, at least 1 (got " << n
              << ").\n";
    fatalExit(1);
  }
  if (keepCount != -1) {
    // Instances refuse --keep, and the cut would renumber the SNPs the files refer to.
    std::cout << "Error: --keep cannot be used with --join: the instances ran without it.\n";
    fatalExit(1);
  }
  // As a single run does when its analysis starts: a join that fails must not leave the table of
  // an earlier join under the name, where it would pass for this one's.
  removeOldOutputFile();
  joinPartialFiles(n, ownNaiveResults());
}

void joinPartialFiles(int n, const std::vector<resultRecord>& ownNaive) {
  std::vector<replicate> replicates;
  readPartialFiles(n, ownNaive, replicates);
  // The files keep six significant digits, enough for the check but not for the table: the
  // naive columns and the Un of Uboot come from this run's own scan, exactly as a single run
  // computes them (the scan also set naiveP for psig.txt).
  naiveResults = ownNaive;

  std::cout << "L0 size is " << replicates.size() << "\n";
  if (!replicates.empty()) std::cout << "L0[0] is " << replicates[0].size() << "\n";

  // No correlation was computed in this run: those that Uboot needs take all threads first, in
  // the order in which it meets them.
  if (adjCor != 0) {
    resetCorrelationState();
    computeCorrelationsInParallel(correlationOrder(naiveResults, replicates));
  }
  uboot = computeUboot(naiveResults, replicates, 1);
  if (noTruncate == 0) truncateNegativeUboots();

  if (adjCimaf != 0 && !level1Uboots.empty()) {
    std::cout << "Warning: Cluster results files carry no level-1 SNPs, so the confidence "
                 "intervals of a join take no MAF factor (as with --adj.cimaf 0).\n";
  }
  computeConfidenceIntervals();
  writeResults();
}
