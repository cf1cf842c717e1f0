// The partial-results file of a cluster instance: its writers and its strict readers.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "bootstrap/result_records.h"

// One record line: index, alleleUn, p, un, alleleUd, ud, alleleUe, ue, separated by single
// blanks. Numbers are written as a fresh stream writes them, whatever the state of out.
void writeResultRecord(std::ostream& out, const resultRecord& record);
// nSig, replicatesSeen, the naiveResults records, then the level-0 replicates.
void writeBootstrapState(std::ostream& out, const std::vector<replicate>& replicates);
// The rows of level1Uboots: their count, then per row its length and its values.
void writeLevel1Uboots(std::ostream& out);

// A partial-results file being read, line by line. Every fault (a missing or cut-short line, a
// field that does not parse, a count out of range, text after the end) ends the run with an
// error that names the file and the line.
class partialResultsReader {
 public:
  partialResultsReader(std::istream& in, std::string fileName);

  // The next line without its "\n"; what names the expected content for the error message.
  std::string nextLine(const char* what);
  // The next line as one integer from low to high.
  int nextCount(const char* what, int low, int high);
  // Ends the run unless nothing follows the last line read.
  void expectEnd();
  [[noreturn]] void malformed(const std::string& why) const;

  const std::string& fileName() const { return fileName_; }

 private:
  std::istream& in_;
  std::string fileName_;
  int lineNumber_ = 0;
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
