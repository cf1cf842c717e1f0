#include "bootstrap/cluster_files.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <utility>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/level0.h"
#include "bootstrap/level12.h"
#include "run/exit.h"

namespace {

// A number as a fresh stream writes it: six significant digits, so missingValue is 1e+81.
std::string streamText(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// Blanks, control characters, unset alleles and every byte above 127 would not survive the
// blank-separated line (or would read back as something else), so they are stored as X.
char printableAllele(char allele) { return static_cast<signed char>(allele) <= 32 ? 'X' : allele; }

bool startsWithSpace(const std::string& text) {
  return std::isspace(static_cast<unsigned char>(text[0])) != 0;
}

// The whole text is one number, without leading white space.
bool parseDouble(const std::string& text, double& value) {
  if (text.empty() || startsWithSpace(text)) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

bool parseInt(const std::string& text, int& value) {
  if (text.empty() || startsWithSpace(text)) return false;
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || errno == ERANGE) return false;
  if (number < INT_MIN || number > INT_MAX) return false;
  value = static_cast<int>(number);
  return true;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// Walks the fields of one record line: numbers end at the next blank (the last one at the end
// of the line), alleles are exactly one byte followed by a blank.
class recordFields {
 public:
  recordFields(const std::string& line, partialResultsReader& reader)
      : line_(line), reader_(reader) {}

  std::string number(int field, const char* name, bool last) {
    const size_t end = last ? line_.size() : line_.find(' ', at_);
    if (at_ > line_.size() || end == std::string::npos || end == at_) missing(field, name);
    const std::string text = line_.substr(at_, end - at_);
    at_ = end + 1;
    return text;
  }

  double real(int field, const char* name, bool last = false) {
    const std::string text = number(field, name, last);
    double value = 0;
    if (!parseDouble(text, value)) notNumber(field, name, text);
    return value;
  }

  char allele(int field, const char* name) {
    if (at_ + 1 >= line_.size() || line_[at_ + 1] != ' ') missing(field, name);
    const char allele = line_[at_];
    at_ += 2;
    return allele;
  }

  [[noreturn]] void missing(int field, const char* name) const {
    reader_.malformed("field " + std::to_string(field) + " (" + name +
                      ") of the record is missing; a record line has eight fields separated by "
                      "single blanks");
  }

  [[noreturn]] void notNumber(int field, const char* name, const std::string& text) const {
    reader_.malformed("field " + std::to_string(field) + " (" + name + ") of the record is not " +
                      "a number: " + quoted(text));
  }

 private:
  const std::string& line_;
  partialResultsReader& reader_;
  size_t at_ = 0;
};

constexpr uint64_t fnvOffsetBasis = 14695981039346656037ull;
constexpr uint64_t fnvPrime = 1099511628211ull;

uint64_t fnv1a(uint64_t hash, const char* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    hash ^= static_cast<unsigned char>(bytes[i]);
    hash *= fnvPrime;
  }
  return hash;
}

uint64_t fnv1a(uint64_t hash, const std::string& bytes) {
  return fnv1a(hash, bytes.data(), bytes.size());
}

std::string hexDigits(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// Exactly 16 lowercase hex digits, as hexDigits writes them.
bool parseHash(const std::string& text, uint64_t& value) {
  if (text.size() != 16) return false;
  value = 0;
  for (char c : text) {
    const bool digit = c >= '0' && c <= '9';
    if (!digit && !(c >= 'a' && c <= 'f')) return false;
    value = value * 16 + static_cast<uint64_t>(digit ? c - '0' : c - 'a' + 10);
  }
  return true;
}

// A count as the last line writes it: decimal digits only, no sign.
bool parseDigits(const std::string& text, int& value) {
  return text.find_first_not_of("0123456789") == std::string::npos && parseInt(text, value);
}

const char* const snpListKeyword = "snps";
const std::string instanceMark = " instance ";
const std::string contentMark = " content ";
constexpr size_t hashDigits = 16;

// What follows instanceMark in the last line: "k/n", contentMark and the content hash, with k
// from 1 to n. False when the text is not of that form.
bool parseInstancePart(const std::string& text, partialFileEnd& end, uint64_t& hash) {
  const size_t blank = text.find(' ');
  if (blank == std::string::npos) return false;
  const std::string instance = text.substr(0, blank);
  const size_t slash = instance.find('/');
  if (slash == std::string::npos || !parseDigits(instance.substr(0, slash), end.instance) ||
      !parseDigits(instance.substr(slash + 1), end.instanceCount)) {
    return false;
  }
  if (end.instance < 1 || end.instance > end.instanceCount) return false;
  if (text.compare(blank, contentMark.size(), contentMark) != 0) return false;
  return parseHash(text.substr(blank + contentMark.size()), hash);
}

// The SNP-list part of the last line, which is all of it in files of the version before the
// instance part; the messages quote the whole line.
snpListId parseSnpListPart(const std::string& line, size_t partEnd, partialResultsReader& in) {
  const std::string format = std::string("; it reads \"") + snpListKeyword +
                             "\", the SNP count and 16 hex digits, separated by single blanks";
  const std::string lead = std::string(snpListKeyword) + ' ';
  if (line.compare(0, lead.size(), lead) != 0) {
    in.malformed("expected the SNP-list line or the end of the file, found " + quoted(line) +
                 format);
  }
  const std::string part = line.substr(0, partEnd);
  const size_t blank = part.find(' ', lead.size());
  snpListId id;
  if (blank == std::string::npos ||
      !parseDigits(part.substr(lead.size(), blank - lead.size()), id.count) ||
      !parseHash(part.substr(blank + 1), id.hash)) {
    in.malformed("the SNP-list line " + quoted(line) + " is malformed" + format);
  }
  return id;
}

std::string countRange(int low, int high) {
  if (low == high) return "exactly " + std::to_string(low);
  if (high == INT_MAX) return "an integer of at least " + std::to_string(low);
  return "an integer from " + std::to_string(low) + " to " + std::to_string(high);
}

}  // namespace

void writeResultRecord(std::ostream& out, const resultRecord& record) {
  std::string line = std::to_string(record.snp->index);
  line += ' ';
  line += record.alleleUn;
  line += ' ' + streamText(record.p) + ' ' + streamText(record.un) + ' ';
  line += printableAllele(record.alleleUd);
  line += ' ' + streamText(record.ud) + ' ';
  line += printableAllele(record.alleleUe);
  line += ' ' + streamText(record.ue) + '\n';
  out << line;
}

void writeBootstrapState(std::ostream& out, const std::vector<replicate>& replicates) {
  out << std::to_string(nSig) << '\n' << std::to_string(replicatesSeen) << '\n';
  out << std::to_string(naiveResults.size()) << '\n';
  for (const resultRecord& record : naiveResults) writeResultRecord(out, record);
  out << std::to_string(replicates.size()) << '\n';
  for (const replicate& records : replicates) {
    out << std::to_string(records.size()) << '\n';
    for (const resultRecord& record : records) writeResultRecord(out, record);
  }
}

void writeLevel1Uboots(std::ostream& out) {
  out << std::to_string(level1Uboots.size()) << '\n';
  for (const std::vector<double>& row : level1Uboots) {
    std::string line = std::to_string(row.size()) + '\n';
    for (double value : row) line += streamText(value) + ' ';
    out << line + '\n';
  }
}

snpListId snpListIdOf(const std::vector<snpRecord*>& list) {
  snpListId id;
  id.count = static_cast<int>(list.size());
  id.hash = fnvOffsetBasis;
  for (const snpRecord* snp : list) id.hash = fnv1a(id.hash, snp->name + '\n');
  return id;
}

std::string snpListLine() {
  const snpListId id = snpListIdOf(snps);
  return std::string(snpListKeyword) + ' ' + std::to_string(id.count) + ' ' + hexDigits(id.hash) +
         '\n';
}

std::string partialFileLastLine(std::istream& body, int k, int n) {
  uint64_t hash = fnvOffsetBasis;
  char buffer[1 << 16];
  do {
    body.read(buffer, sizeof buffer);
    hash = fnv1a(hash, buffer, static_cast<size_t>(body.gcount()));
  } while (body);
  std::string line = snpListLine();
  line.pop_back();  // its "\n"
  line += instanceMark + std::to_string(k) + '/' + std::to_string(n) + contentMark;
  return line + hexDigits(fnv1a(hash, line)) + '\n';
}

partialResultsReader::partialResultsReader(std::istream& in, std::string fileName)
    : in_(in), fileName_(std::move(fileName)), contentHash_(fnvOffsetBasis) {}

std::string partialResultsReader::nextLine(const char* what) {
  std::string line;
  if (!std::getline(in_, line)) {
    ++lineNumber_;
    malformed(std::string("the file ends before ") + what);
  }
  ++lineNumber_;
  // getline meets the end of the file only on a last line without its "\n": a cut-off write.
  if (in_.eof()) malformed(std::string("the last line (") + what + ") is cut short (no line end)");
  contentHash_ = fnv1a(fnv1a(contentHash_, line), "\n", 1);
  return line;
}

int partialResultsReader::nextCount(const char* what, int low, int high) {
  const std::string line = nextLine(what);
  int value = 0;
  if (!parseInt(line, value) || value < low || value > high) {
    malformed(std::string("expected ") + what + " (" + countRange(low, high) + "), found " +
              quoted(line));
  }
  return value;
}

bool partialResultsReader::atEnd() { return in_.peek() == std::char_traits<char>::eof(); }

void partialResultsReader::expectEnd(const char* last) {
  if (atEnd()) return;
  ++lineNumber_;
  malformed(std::string("text follows ") + last + ", which ends the file");
}

void partialResultsReader::malformed(const std::string& why) const {
  std::cout << "Error: Cluster results file " << fileName_ << " is truncated or malformed at line "
            << lineNumber_ << ": " << why << ".\n";
  fatalExit(1);
}

void partialResultsReader::changedContent() const {
  std::cout << "Error: Cluster results file " << fileName_ << " is damaged or was edited: its "
            << "content does not match the hash in its last line.\n";
  fatalExit(1);
}

void readResultRecord(resultRecord& record, partialResultsReader& in) {
  const std::string line = in.nextLine("a record line");
  record.un = missingValue;
  record.ud = missingValue;
  record.ue = missingValue;
  recordFields fields(line, in);
  const std::string indexText = fields.number(1, "SNP index", false);
  int index = 0;
  if (!parseInt(indexText, index)) fields.notNumber(1, "SNP index", indexText);
  if (index < 0 || static_cast<size_t>(index) >= snps.size()) {
    in.malformed("SNP index " + std::to_string(index) + " is outside the data set of " +
                 std::to_string(snps.size()) +
                 " SNPs (join with the input files and filters of the instances)");
  }
  record.snp = snps[static_cast<size_t>(index)];
  record.alleleUn = fields.allele(2, "alleleUn");
  record.p = fields.real(3, "p");
  record.un = fields.real(4, "un");
  record.alleleUd = fields.allele(5, "alleleUd");
  record.ud = fields.real(6, "ud");
  record.alleleUe = fields.allele(7, "alleleUe");
  record.ue = fields.real(8, "ue", true);
}

void readBootstrapState(partialResultsReader& in, std::vector<replicate>& replicates) {
  nSig = in.nextCount("nSig, the number of significant SNPs", 1, INT_MAX);
  replicatesSeen += in.nextCount("the number of analysed resamples", 0, INT_MAX);
  const int naiveCount = in.nextCount("the number of naive records", nSig, nSig);
  naiveResults.clear();
  for (int i = 0; i < naiveCount; ++i) {
    resultRecord record;
    readResultRecord(record, in);
    naiveResults.push_back(record);
  }
  const int replicateCount = in.nextCount("the number of level-0 replicates", 0, INT_MAX);
  for (int b = 0; b < replicateCount; ++b) {
    const int recordCount = in.nextCount("the record count of a level-0 replicate", 0, nSig);
    replicate records(static_cast<size_t>(recordCount));
    for (resultRecord& record : records) readResultRecord(record, in);
    replicates.push_back(std::move(records));
  }
}

void readLevel1Uboots(partialResultsReader& in) {
  const int rowCount = in.nextCount("the number of level-1 Uboot rows", 0, INT_MAX);
  for (int j = 0; j < rowCount; ++j) {
    const int length = in.nextCount("the length of a level-1 Uboot row", 0, nSig);
    const std::string line = in.nextLine("the values of a level-1 Uboot row");
    std::vector<double> row;
    row.reserve(static_cast<size_t>(length));
    size_t at = 0;
    for (int i = 0; i < length; ++i) {
      const size_t end = line.find(' ', at);
      if (end == std::string::npos) {
        in.malformed("the level-1 Uboot row has fewer than its " + std::to_string(length) +
                     " values, each followed by one blank");
      }
      const std::string text = line.substr(at, end - at);
      double value = 0;
      if (!parseDouble(text, value)) {
        in.malformed("value " + std::to_string(i + 1) + " of the level-1 Uboot row is not a " +
                     "number: " + quoted(text));
      }
      row.push_back(value);
      at = end + 1;
    }
    if (at != line.size()) {
      in.malformed("the level-1 Uboot row has more than its " + std::to_string(length) +
                   " values");
    }
    level1Uboots.push_back(std::move(row));
  }
}

std::optional<partialFileEnd> readLastLine(partialResultsReader& in) {
  if (in.atEnd()) return std::nullopt;
  const uint64_t before = in.contentHash();
  const std::string line = in.nextLine("the SNP-list line");
  const size_t instanceAt = line.find(instanceMark);
  partialFileEnd end;
  end.snpList =
      parseSnpListPart(line, instanceAt == std::string::npos ? line.size() : instanceAt, in);
  uint64_t hash = 0;
  if (instanceAt != std::string::npos &&
      !parseInstancePart(line.substr(instanceAt + instanceMark.size()), end, hash)) {
    in.malformed("the last line " + quoted(line) + " is malformed; after the SNP list it reads "
                 "\"instance\", k/n of the instance that wrote the file, \"content\" and 16 hex "
                 "digits, separated by single blanks");
  }
  in.expectEnd("the SNP-list line");
  if (instanceAt != std::string::npos &&
      fnv1a(before, line.substr(0, line.size() - hashDigits)) != hash) {
    in.changedContent();
  }
  return end;
}
