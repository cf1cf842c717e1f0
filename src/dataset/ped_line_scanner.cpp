#include "dataset/ped_line_scanner.h"

#include <immintrin.h>

#include <array>
#include <cstdlib>
#include <iostream>

#include "dataset/dataset.h"

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
void registerAllele(char letter, int column, int lineNumber, pedAlleleColumns& alleles,
                    pedMessageSink& messages) {
  char& first = alleles.allele1[column];
  char& second = alleles.allele2[column];
  if (letter == first || letter == second) return;
  if (first == 0) {
    first = letter;
  } else if (second == 0) {
    second = letter;
  } else if (messages.target != pedMessageSink::mode::drop) {
    messages.add("!! Error in genotype line " + std::to_string(lineNumber) + ", SNP " +
                 std::to_string(column) + " : " + letter + " (" + first + " " + second + ")\n");
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
unsigned otherGenotypeCode(char a, char b, int column, int lineNumber, pedAlleleColumns& alleles,
                           pedMessageSink& messages) {
  if (a == '0' || b == '0') return missingGenotype;
  registerAllele(a, column, lineNumber, alleles, messages);
  if (b != a) registerAllele(b, column, lineNumber, alleles, messages);
  const char first = alleles.allele1[column];
  const char second = alleles.allele2[column];
  const bool known = ((a == first) | (a == second)) & ((b == first) | (b == second));
  if (!known) return missingGenotype;
  return knownGenotypeCode(static_cast<unsigned>(a == second) + (b == second));
}

// Spreads the 8 bits of b to the even bits of 16: bit i goes to bit 2i.
constexpr std::array<uint16_t, 256> evenBits = [] {
  std::array<uint16_t, 256> spread{};
  for (unsigned b = 0; b < 256; ++b) {
    for (unsigned i = 0; i < 8; ++i) spread[b] |= static_cast<uint16_t>(((b >> i) & 1u) << (2 * i));
  }
  return spread;
}();

// Eight genotypes at once, for the usual layout: 32 bytes of blank, letter, blank, letter, every
// letter a registered allele of its column (so neither '0' nor a new or third letter). Gives
// their 2-bit codes, column i at bits 2i, or -1 when the 32 bytes are anything else; the
// caller then takes the genotypes one by one. Preconditions: 32 bytes are readable at p and 8
// allele entries at known1 and known2.
__attribute__((target("ssse3")))
int eightKnownGenotypes(const char* p, const char* known1, const char* known2) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  // Separators: bytes 0 and 2 of every four must be blanks.
  auto blanks = [](__m128i v) {
    return _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                                          _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
  };
  if ((blanks(a) & 0x5555) != 0x5555 || (blanks(b) & 0x5555) != 0x5555) return -1;
  // First letters (bytes 1 of every four) to bytes 0-3, second letters (bytes 3) to 4-7.
  const __m128i gather = _mm_setr_epi8(1, 5, 9, 13, 3, 7, 11, 15, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i fromA = _mm_shuffle_epi8(a, gather);
  const __m128i fromB = _mm_shuffle_epi8(b, gather);
  // Bytes 0-7 the first letters of the eight genotypes, 8-15 their second letters.
  const __m128i letters = _mm_unpacklo_epi32(fromA, fromB);
  const __m128i k1 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(known1));
  const __m128i k2 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(known2));
  const __m128i columns1 = _mm_unpacklo_epi64(k1, k1);
  const __m128i columns2 = _mm_unpacklo_epi64(k2, k2);
  const int match1 = _mm_movemask_epi8(_mm_cmpeq_epi8(letters, columns1));
  const int match2 = _mm_movemask_epi8(_mm_cmpeq_epi8(letters, columns2));
  const int nul = _mm_movemask_epi8(_mm_cmpeq_epi8(letters, _mm_setzero_si128()));
  // An unset allele is 0 and only a NUL would match it; a set allele is never '0'.
  if ((match1 | match2) != 0xffff || nul != 0) return -1;
  const unsigned both2 = static_cast<unsigned>(match2 & (match2 >> 8)) & 0xffu;
  const unsigned any2 = static_cast<unsigned>(match2 | (match2 >> 8)) & 0xffu;
  // Copies of allele 2: none is code 0, one code 2, two code 3.
  return evenBits[both2] | (evenBits[any2] << 1);
}

const bool haveSsse3 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3") != 0;
}();

}  // namespace

void pedMessageSink::add(const std::string& message) {
  if (target == mode::print) {
    std::cout << message;
  } else if (target == mode::keep) {
    kept += message;
  }
}

void allocPedLineBuffers(pedLineBuffer& buffer, FILE* file) {
  buffer.storage = static_cast<char*>(std::malloc(initialLineCapacity));
  buffer.capacity = buffer.storage ? initialLineCapacity : 0;
  buffer.file = file;
  buffer.line.text = buffer.storage;
  buffer.line.length = 0;
  buffer.line.position = 0;
}

ssize_t readPedLine(pedLineBuffer& buffer) {
  // getline grows the buffer with realloc whenever a longer line comes.
  const ssize_t count = getline(&buffer.storage, &buffer.capacity, buffer.file);
  buffer.line.text = buffer.storage;
  buffer.line.length = count > 0 ? static_cast<size_t>(count) : 0;
  buffer.line.position = 0;
  return count;
}

void freePedLineBuffers(pedLineBuffer& buffer) {
  std::free(buffer.storage);
  buffer.storage = nullptr;
  buffer.capacity = 0;
  buffer.line = pedLineText{};
}

bool readLeadingFields(pedLineText& line, std::string (&fields)[6]) {
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

int scanGenotypes(pedLineText& line, pedAlleleColumns& alleles, std::vector<uint64_t>& words,
                  pedMessageSink& messages) {
  // Runs once per individual over the whole line: no allocation, one pass over the bytes, and
  // the codes of 32 columns gathered in a register before they are stored. The text ends with
  // its newline or a NUL, so the byte classes alone find the end.
  const int columns = static_cast<int>(alleles.allele1.size());
  const char* p = line.text + line.position;
  const char* const end = line.text + line.length;
  // The leading fields may have taken the whole line, newline and all; the byte after it may
  // be the next line's.
  if (p >= end) return 0;
  int column = 0;
  uint64_t packed = 0;
  for (;; ++column) {
    // Eight at a time where they fill a quarter of a word, and the line and the columns have
    // eight more.
    if (haveSsse3 && (column & 7) == 0 && columns - column >= 8 && end - p >= 32) {
      const int codes = eightKnownGenotypes(p, &alleles.allele1[column], &alleles.allele2[column]);
      if (codes >= 0) {
        packed |= static_cast<uint64_t>(codes) << (2 * (column & 31));
        p += 32;
        column += 7;  // and one more by the loop
        if ((column & 31) == 31) {
          words[static_cast<size_t>(column >> 5)] = packed;
          packed = 0;
        }
        continue;
      }
    }
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
        if (first != '\r' && column >= columns) return tooManyGenotypePairs;
        break;
      }
      second = *p++;
    }
    if (column >= columns) return tooManyGenotypePairs;
    // Both letters registered (a '0' never is): the common case, decided by counting matches.
    const char known1 = alleles.allele1[column];
    const char known2 = alleles.allele2[column];
    const unsigned copies2 = static_cast<unsigned>(first == known2) + (second == known2);
    const unsigned copies1 = static_cast<unsigned>(first == known1) + (second == known1);
    const unsigned code =
        copies1 + copies2 == 2
            ? knownGenotypeCode(copies2)
            : otherGenotypeCode(first, second, column, line.lineNumber, alleles, messages);
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
