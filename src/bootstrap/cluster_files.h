// The partial-results file of a cluster instance: its writers and its strict readers.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bootstrap/result_records.h"

// One record line: index, alleleUn, p, un, alleleUd, ud, alleleUe, ue, separated by single
// blanks. Numbers are written as a fresh stream writes them, whatever the state of out.
void writeResultRecord(std::ostream& out, const resultRecord& record);
// nSig, replicatesSeen, the naiveResults records, then the level-0 replicates.
void writeBootstrapState(std::ostream& out, const std::vector<replicate>& replicates);
// The rows of level1Uboots: their count, then per row its length and its values. The last line
// (partialFileLastLine) follows.
void writeLevel1Uboots(std::ostream& out);

// What identifies the SNP list of a data set: the record lines name SNPs by index only, and the
// naive records cover only the significant SNPs, so a data set that differs beyond them would
// put replicate results under other SNPs. The SNP-list line is "snps", the SNP count and the
// 64-bit FNV-1a hash of the SNP names in index order, each name followed by "\n" (16 lowercase
// hex digits), separated by single blanks.
struct snpListId {
  int count = 0;
  uint64_t hash = 0;
  bool operator==(const snpListId&) const = default;
};
snpListId snpListIdOf(const std::vector<snpRecord*>& list);
// The SNP-list line of the data set's snps, with its "\n": the last line of the files of the
// version before the instance part.
std::string snpListLine();

// The last line of a partial file: the SNP-list line (without its "\n"), then " instance ", k/n
// of the instance that wrote the file, " content " and the 64-bit FNV-1a hash (16 lowercase hex
// digits) of every byte of the file before those digits, so of all its other lines and of the
// start of this one. It tells a copy of another instance's file, and a file changed after it was
// written. Files of earlier versions end with the SNP-list line alone, or with the level-1 part.
struct partialFileEnd {
  snpListId snpList;
  int instance = 0;       // k; 0 when the line (of an earlier version) does not say
  int instanceCount = 0;  // n
};
// The last line, with its "\n", of the partial file of instance k of n whose other lines are
// read from body (to its end; body.bad() tells a failed read).
std::string partialFileLastLine(std::istream& body, int k, int n);

// A partial-results file being read, line by line. Every fault (a missing or cut-short line, a
// field that does not parse, a count out of range, text after the end) ends the run with an
// error that names the file and the line; a content that does not match the last line's hash,
// with one that names the file.
class partialResultsReader {
 public:
  partialResultsReader(std::istream& in, std::string fileName);

  // The next line without its "\n"; what names the expected content for the error message.
  std::string nextLine(const char* what);
  // The next line as one integer from low to high.
  int nextCount(const char* what, int low, int high);
  // True when nothing follows the last line read.
  bool atEnd();
  // Ends the run unless nothing follows the last line read; last names what ends the file.
  void expectEnd(const char* last = "the level-1 part");
  [[noreturn]] void malformed(const std::string& why) const;
  // The FNV-1a hash of every byte of the lines read so far.
  uint64_t contentHash() const { return contentHash_; }
  // Ends the run: the file's content is not the one its last line was written for.
  [[noreturn]] void changedContent() const;

  const std::string& fileName() const { return fileName_; }

 private:
  std::istream& in_;
  std::string fileName_;
  int lineNumber_ = 0;
  uint64_t contentHash_;
};

// Reads one record line; its SNP is the joining data set's SNP at the record's index. un, ud
// and ue start as missingValue.
void readResultRecord(resultRecord& record, partialResultsReader& in);
// Sets nSig and naiveResults from the file, adds its count to replicatesSeen and appends its
// level-0 replicates to the list.
void readBootstrapState(partialResultsReader& in, std::vector<replicate>& replicates);
// Appends the file's level-1 Uboot rows to level1Uboots. Call after readBootstrapState (a row
// holds at most nSig values).
void readLevel1Uboots(partialResultsReader& in);
// Reads the last line that follows the level-1 part, checks the file's content against it and
// that nothing follows it. Files of older versions end after the level-1 part (no last line) or
// with the SNP-list line alone (no instance, and no content to check).
std::optional<partialFileEnd> readLastLine(partialResultsReader& in);
