// The two ways of reading the lines of an open .ped file into individuals: one line at a time in
// file order, and in blocks whose lines are read on several threads. Both give the same records,
// alleles and messages; both end the run through the fatal exit at the first faulty line, after
// the messages of the lines before it, and on a read error.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "dataset/ped_line_scanner.h"

// Blocks of this size keep a file of gigabytes out of memory and a block within the processor's
// last-level cache while it is read, yet give every thread megabytes of lines. Blocks of 64 MB
// took twice the processor time of these on one thread (page faults and cache misses).
constexpr size_t defaultPedBlockSize = size_t{16} << 20;

// Appends a record per line of file to individuals and registers the alleles of each column.
void readPedLinesInOrder(FILE* file, const std::string& fileName, pedAlleleColumns& alleles);

// The same for a regular file read from its descriptor in blocks of about blockSize bytes (a
// longer line makes its block longer), the lines of each block read on threads threads.
void readPedBlocksOnThreads(int fd, const std::string& fileName, pedAlleleColumns& alleles,
                            size_t blockSize, int threads);

// The end of a run whose .ped file failed to read.
[[noreturn]] void cannotReadPedFile(const std::string& fileName);
