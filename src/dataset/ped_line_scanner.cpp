#include "dataset/ped_line_scanner.h"

#include <cstdlib>
#include <iostream>

#include "dataset/dataset.h"
#include "run/exit.h"

namespace {

constexpr size_t initialLineCapacity = 100000;

// Whitespace between the leading fields, as the C locale's isspace has it.
bool isFieldSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The text of a line ends at its length or at a NUL byte, whichever comes first; a NUL can only
// come from a damaged file, and taking it as a letter would clash with "allele not set".
bool atTextEnd(const char* p, const char* end) { return p == end || *p == '\0'; }

// The next allele letter, skipping blanks; -1 when the line ends first (newline or end of text).
inline int nextAlleleLetter(const char*& p, const char* end) {
  while (p != end && (*p == ' ' || *p == '\t')) ++p;
  if (atTextEnd(p, end) || *p == '\n') return -1;
  return static_cast<unsigned char>(*p++);
}

// Enters a letter of a typed genotype for one column; a third distinct letter is reported and
// left out.
void registerAllele(char letter, int column, int lineNumber, pedAlleleColumns& alleles) {
  char& first = alleles.allele1[column];
  char& second = alleles.allele2[column];
  if (letter == first || letter == second) return;
  if (first == 0) {
    first = letter;
  } else if (second == 0) {
    second = letter;
  } else {
    std::cout << "!! Error in genotype line " << lineNumber << ", SNP " << column << " : " << letter
              << " (" << first << " " << second << ")\n";
  }
}

// Precondition: neither letter is '0' and both have been registered for the column. Written
// without branches: with real data whether a pair is heterozygous is a coin toss per genotype.
unsigned typedGenotypeCode(char a, char b, char first, char second) {
  // Indexed by (a is allele 1) + 2 x (a is allele 2); index 0 is a third letter.
  static constexpr unsigned homozygousCode[3] = {missingGenotype, homozygousAllele1,
                                                 homozygousAllele2};
  const unsigned homozygous = homozygousCode[(a == first) | ((a == second) << 1)];
  return a != b ? unsigned{heterozygous} : homozygous;
}

}  // namespace

void allocPedLineBuffers(pedLineBuffer& line, FILE* file) {
  line.text = static_cast<char*>(std::malloc(initialLineCapacity));
  line.capacity = line.text ? initialLineCapacity : 0;
  line.length = 0;
  line.position = 0;
  line.file = file;
}

ssize_t readPedLine(pedLineBuffer& line) {
  // getline grows the buffer with realloc whenever a longer line comes.
  const ssize_t count = getline(&line.text, &line.capacity, line.file);
  line.length = count > 0 ? static_cast<size_t>(count) : 0;
  line.position = 0;
  return count;
}

void freePedLineBuffers(pedLineBuffer& line) {
  std::free(line.text);
  line.text = nullptr;
  line.capacity = 0;
  line.length = 0;
  line.position = 0;
}

bool readLeadingFields(pedLineBuffer& line, std::string (&fields)[6]) {
  const char* p = line.text + line.position;
  const char* const end = line.text + line.length;
  for (std::string& field : fields) {
    while (!atTextEnd(p, end) && isFieldSpace(*p)) ++p;
    if (atTextEnd(p, end)) return false;
    const char* const start = p;
    while (!atTextEnd(p, end) && !isFieldSpace(*p)) ++p;
    field.assign(start, p);
  }
  while (!atTextEnd(p, end) && isFieldSpace(*p)) ++p;
  line.position = static_cast<size_t>(p - line.text);
  return true;
}

int scanGenotypes(pedLineBuffer& line, pedAlleleColumns& alleles, std::vector<uint64_t>& words) {
  // Runs once per individual over the whole line: no allocation, one pass over the bytes.
  const int columns = static_cast<int>(alleles.allele1.size());
  const char* p = line.text + line.position;
  const char* const end = line.text + line.length;
  int column = 0;
  for (;; ++column) {
    const int a = nextAlleleLetter(p, end);
    if (a < 0) break;
    const int b = nextAlleleLetter(p, end);
    if (b < 0) break;  // a lone letter before the line end (a carriage return) is dropped
    if (column >= columns) {
      std::cout << "Error: Too many genotype data on line " << line.lineNumber << "!\n";
      fatalExit(1);
    }
    const char first = static_cast<char>(a);
    const char second = static_cast<char>(b);
    unsigned code = missingGenotype;
    if (first != '0' && second != '0') {
      const char known1 = alleles.allele1[column];
      const char known2 = alleles.allele2[column];
      // Bitwise, not short-circuit: the letters of a column vary at random from line to line.
      const bool bothKnown =
          ((first == known1) | (first == known2)) & ((second == known1) | (second == known2));
      if (!bothKnown) {
        registerAllele(first, column, line.lineNumber, alleles);
        if (second != first) registerAllele(second, column, line.lineNumber, alleles);
      }
      code = typedGenotypeCode(first, second, alleles.allele1[column], alleles.allele2[column]);
    }
    setGenotype(words, column, code);
  }
  line.position = static_cast<size_t>(p - line.text);
  return column;
}
