#include "dataset/ped_line_scanner.h"

#include <array>
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

// Byte classes of the genotype part: separators between letters, the line's end (its newline
// or the NUL that the line reader puts after the text), and letters.
enum byteKind : unsigned char { alleleLetter = 0, alleleBlank = 1, lineEnd = 2 };

constexpr std::array<unsigned char, 256> byteKinds = [] {
  std::array<unsigned char, 256> kinds{};
  kinds[static_cast<unsigned char>(' ')] = alleleBlank;
  kinds[static_cast<unsigned char>('\t')] = alleleBlank;
  kinds[static_cast<unsigned char>('\n')] = lineEnd;
  kinds[0] = lineEnd;
  return kinds;
}();

inline unsigned char kindOf(const char* p) { return byteKinds[static_cast<unsigned char>(*p)]; }

inline void skipBlanks(const char*& p) {
  while (kindOf(p) == alleleBlank) ++p;
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

// The code of a pair whose letters are both registered alleles of the column: the number of
// copies of allele 2 (0, 1, 2) gives code 0, 2 or 3. Without branches: with real data whether
// a pair is heterozygous is a coin toss per genotype.
inline unsigned knownGenotypeCode(unsigned copiesOfAllele2) {
  return copiesOfAllele2 + (copiesOfAllele2 != 0);
}

// The code of any other pair: '0' in either place is missing and registers nothing; otherwise
// its letters are registered. A pair with a letter that is neither allele (a third allele,
// reported when it was met) is missing: storing it as heterozygous would make up a genotype.
unsigned otherGenotypeCode(char a, char b, int column, int lineNumber, pedAlleleColumns& alleles) {
  if (a == '0' || b == '0') return missingGenotype;
  registerAllele(a, column, lineNumber, alleles);
  if (b != a) registerAllele(b, column, lineNumber, alleles);
  const char first = alleles.allele1[column];
  const char second = alleles.allele2[column];
  const bool known = ((a == first) | (a == second)) & ((b == first) | (b == second));
  if (!known) return missingGenotype;
  return knownGenotypeCode(static_cast<unsigned>(a == second) + (b == second));
}

[[noreturn]] void tooManyGenotypes(int lineNumber) {
  std::cout << "Error: Too many genotype data on line " << lineNumber << "!\n";
  fatalExit(1);
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
  // Runs once per individual over the whole line: no allocation, one pass over the bytes, and
  // the codes of 32 columns gathered in a register before they are stored. The text ends with
  // a NUL (the line reader's), so the byte classes alone find the end.
  const int columns = static_cast<int>(alleles.allele1.size());
  const char* p = line.text + line.position;
  int column = 0;
  uint64_t packed = 0;
  for (;; ++column) {
    char first;
    char second;
    if (kindOf(p) == alleleBlank && kindOf(p + 1) == alleleLetter &&
        kindOf(p + 2) == alleleBlank && kindOf(p + 3) == alleleLetter) {
      // The usual layout, one blank before each letter. The tests stop at the text's final
      // NUL, so no byte past it is read.
      first = p[1];
      second = p[3];
      p += 4;
    } else {
      skipBlanks(p);
      if (kindOf(p) == lineEnd) break;
      first = *p++;
      skipBlanks(p);
      if (kindOf(p) == lineEnd) {
        // A lone letter at the end: a carriage return of a Windows line end is dropped. Any
        // other letter means the line is one letter long (or shifted by an extra leading
        // field), which is as wrong as a pair too many; before the last column the line is
        // short anyway.
        if (first != '\r' && column >= columns) tooManyGenotypes(line.lineNumber);
        break;
      }
      second = *p++;
    }
    if (column >= columns) tooManyGenotypes(line.lineNumber);
    // Both letters registered (a '0' never is): the common case, decided by counting matches.
    const char known1 = alleles.allele1[column];
    const char known2 = alleles.allele2[column];
    const unsigned copies2 = static_cast<unsigned>(first == known2) + (second == known2);
    const unsigned copies1 = static_cast<unsigned>(first == known1) + (second == known1);
    const unsigned code =
        copies1 + copies2 == 2
            ? knownGenotypeCode(copies2)
            : otherGenotypeCode(first, second, column, line.lineNumber, alleles);
    packed |= static_cast<uint64_t>(code) << (2 * (column & 31));
    if ((column & 31) == 31) {
      words[static_cast<size_t>(column >> 5)] = packed;
      packed = 0;
    }
  }
  if ((column & 31) != 0) words[static_cast<size_t>(column >> 5)] = packed;
  line.position = static_cast<size_t>(p - line.text);
  return column;
}
