// The .ped reader's line scanner: one reused line buffer, the six leading fields of a line, and
// its genotype part packed straight into an individual's words.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// State of the line being read. The buffer is reused for every line and only ever grows.
struct pedLineBuffer {
  char* text = nullptr;  // the current line, including its newline; malloc'd for getline(3)
  size_t capacity = 0;
  size_t length = 0;    // bytes of the current line
  size_t position = 0;  // read position, from the line start
  FILE* file = nullptr;
  int lineNumber = 1;  // 1 for the first line
};

// The alleles met so far for each SNP column; 0 means not set.
struct pedAlleleColumns {
  std::vector<char> allele1;
  std::vector<char> allele2;
};

// Takes an open file; the buffer starts with 100000 bytes.
void allocPedLineBuffers(pedLineBuffer& line, FILE* file);
// Reads the next line, up to and including its newline, and rewinds the read position; a NUL
// follows the line's text. Returns the bytes read, negative at end of file.
ssize_t readPedLine(pedLineBuffer& line);
void freePedLineBuffers(pedLineBuffer& line);

// The six whitespace-separated leading words (family, individual, father, mother, sex,
// phenotype); moves the read position past them and the whitespace after them. False when the
// line has fewer than six words.
bool readLeadingFields(pedLineBuffer& line, std::string (&fields)[6]);

// Packs the genotype pairs from the read position into words (which hold one column per entry
// of alleles, all codes 0) and registers their letters; returns the number of pairs read.
// A pair beyond the last column is fatal, and so is a lone letter after the last column unless
// it is a carriage return. A pair with a third allele is stored as missing.
int scanGenotypes(pedLineBuffer& line, pedAlleleColumns& alleles, std::vector<uint64_t>& words);
