// The .ped reader's line scanner: the six leading fields of a line, and its genotype part packed
// straight into an individual's words. The same scanner serves the reader of one line at a time
// and the reader of whole blocks on several threads.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One line as the scanner sees it. Its text ends at length or at a NUL byte, whichever comes
// first; length counts the newline, and a line without one (the last of a file) must be
// followed by a NUL, so the scanner finds the end from the bytes alone.
struct pedLineText {
  const char* text = nullptr;
  size_t length = 0;
  size_t position = 0;  // read position, from the line start
  int lineNumber = 1;   // 1 for the first line
};

// The line reader of one line at a time: a buffer reused for every line that only ever grows.
struct pedLineBuffer {
  char* storage = nullptr;  // malloc'd for getline(3)
  size_t capacity = 0;
  FILE* file = nullptr;
  pedLineText line;
};

// The alleles met so far for each SNP column; 0 means not set.
struct pedAlleleColumns {
  std::vector<char> allele1;
  std::vector<char> allele2;
};

// Where the third-allele messages go: straight to stdout when lines are read one at a time in
// file order; kept, to be printed later in file order, when a thread reads a part of the file;
// nowhere while a thread only gathers the alleles of its part.
struct pedMessageSink {
  enum class mode { print, keep, drop };
  mode target = mode::print;
  std::string kept{};
  void add(const std::string& message);
};

// Takes an open file; the buffer starts with 100000 bytes.
void allocPedLineBuffers(pedLineBuffer& buffer, FILE* file);
// Reads the next line, up to and including its newline, into buffer.line (keeping its line
// number) and rewinds the read position; a NUL follows the line's text. Returns the bytes read,
// negative at end of file.
ssize_t readPedLine(pedLineBuffer& buffer);
void freePedLineBuffers(pedLineBuffer& buffer);

// The six whitespace-separated leading words (family, individual, father, mother, sex,
// phenotype); moves the read position past them and the whitespace after them. False when the
// line has fewer than six words.
bool readLeadingFields(pedLineText& line, std::string (&fields)[6]);

// What scanGenotypes returns for a pair beyond the last column, or a lone letter after the last
// column that is not a carriage return; the caller ends the reading there.
constexpr int tooManyGenotypePairs = -1;

// Packs the genotype pairs from the read position into words (which hold one column per entry
// of alleles, all codes 0) and registers their letters; returns the number of pairs read, or
// tooManyGenotypePairs. A pair with a third allele is reported to messages and stored as
// missing.
int scanGenotypes(pedLineText& line, pedAlleleColumns& alleles, std::vector<uint64_t>& words,
                  pedMessageSink& messages);
