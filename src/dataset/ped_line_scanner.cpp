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

// The code of a genotype whose letters are not '0', given the column's two registered alleles.
// A pair with a letter that is neither allele (a third allele, reported when it was met) is
// missing: storing it as heterozygous would make up a genotype. Written without branches: with
// real data whether a pair is heterozygous is a coin toss per genotype.
inline unsigned typedGenotypeCode(char a, char b, char first, char second) {
  // Indexed by (a is allele 1) + 2 x (a is allele 2); index 0 is a third letter.
  static constexpr unsigned homozygousCode[3] = {missingGenotype, homozygousAllele1,
                                                 homozygousAllele2};
  const bool aKnown = (a == first) | (a == second);
  const bool bKnown = (b == first) | (b == second);
  const unsigned homozygous = homozygousCode[(a == first) | ((a == second) << 1)];
  const unsigned typed = a != b ? unsigned{heterozygous} : homozygous;
  return (aKnown & bKnown) ? typed : unsigned{missingGenotype};
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
    skipBlanks(p);
    if (kindOf(p) == lineEnd) break;
    const char first = *p++;
    skipBlanks(p);
    if (kindOf(p) == lineEnd) {
      // A lone letter at the end: a carriage return of a Windows line end is dropped. Any other
      // letter means the line is one letter long (or shifted by an extra leading field), which
      // is as wrong as a pair too many; before the last column the line is short anyway.
      if (first != '\r' && column >= columns) tooManyGenotypes(line.lineNumber);
      break;
    }
    const char second = *p++;
    if (column >= columns) tooManyGenotypes(line.lineNumber);
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
