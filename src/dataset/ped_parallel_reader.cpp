// The .ped reader on several threads. A genotype's code depends on the first two distinct
// letters of its column in file order, so each block is read twice: a first pass gathers on
// every thread the first letters of each column in its part of the block, merged in file order;
// with the letters of the block known, the second pass reads the records on every thread. A
// letter that is not among a column's first two can only come after both, so its message is
// the one the reading in order prints. Messages and records are handed out in file order, up
// to the first faulty line.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/ped_block_reader.h"
#include "dataset/ped_file_readers.h"
#include "dataset/ped_line_scanner.h"
#include "dataset/ped_record.h"
#include "run/exit.h"

namespace {

// Parts per thread: lines differ in length, so smaller parts even out the threads' work.
constexpr int chunksPerThread = 4;

// A run of whole lines of a block, read by one thread in each pass.
struct pedChunk {
  const char* begin = nullptr;
  const char* end = nullptr;  // after its last line
  int lines = 0;
  int firstLine = 0;  // the line number of its first line
  // From the first pass: the letters met before its block, then its own, in file order.
  pedAlleleColumns alleles;
  pedMessageSink messages{pedMessageSink::mode::keep};
  std::vector<individualRecord*> people;
  std::string fatal;  // the message of its first faulty line, where its reading stopped
};

// Calls visit with each line of [begin, end) in order while visit returns true.
template <class Visit>
void forEachLine(const char* begin, const char* end, Visit visit) {
  for (const char* p = begin; p < end;) {
    const void* newline = std::memchr(p, '\n', static_cast<size_t>(end - p));
    const char* next = newline ? static_cast<const char*>(newline) + 1 : end;
    pedLineText line;
    line.text = p;
    line.length = static_cast<size_t>(next - p);
    if (!visit(line)) return;
    p = next;
  }
}

// Up to about count runs of whole lines of about equal size.
std::vector<pedChunk> splitIntoChunks(const char* begin, const char* end, int count) {
  std::vector<pedChunk> chunks;
  const size_t target = std::max<size_t>(1, static_cast<size_t>(end - begin) / count);
  for (const char* p = begin; p < end;) {
    const char* cut = end;
    if (static_cast<size_t>(end - p) > target) {
      const char* from = p + target - 1;
      const void* newline = std::memchr(from, '\n', static_cast<size_t>(end - from));
      if (newline) cut = static_cast<const char*>(newline) + 1;
    }
    chunks.emplace_back();
    chunks.back().begin = p;
    chunks.back().end = cut;
    p = cut;
  }
  return chunks;
}

bool everyColumnHasTwoAlleles(const pedAlleleColumns& alleles) {
  const std::vector<char>& second = alleles.allele2;
  return second.empty() || std::memchr(second.data(), 0, second.size()) == nullptr;
}

// The first pass over a chunk: counts its lines, and registers their letters after those met
// before the block. Silent and never fatal: a faulty line is scanned as far as the reading in
// order scans it, and the letters of later lines cannot change what that reading prints before
// it stops there. Once every column has two letters the rest cannot change them either.
void gatherAlleles(pedChunk& chunk, const pedAlleleColumns& before) {
  chunk.alleles = before;
  pedMessageSink quiet{pedMessageSink::mode::drop};
  std::vector<uint64_t> scratch(genotypeWordCount(nSnps));
  std::string fields[6];
  bool complete = everyColumnHasTwoAlleles(chunk.alleles);
  forEachLine(chunk.begin, chunk.end, [&](pedLineText& line) {
    ++chunk.lines;
    if (!complete && readLeadingFields(line, fields)) {
      scanGenotypes(line, chunk.alleles, scratch, quiet);
      complete = everyColumnHasTwoAlleles(chunk.alleles);
    }
    return true;
  });
}

// Enters a column's letters from a chunk after those of the chunks before it. The chunk's own
// two are its first two distinct letters after those before its block, so the first new ones
// among them are the first new ones of the chunk.
void mergeAlleles(pedAlleleColumns& into, const pedAlleleColumns& chunk) {
  for (size_t j = 0; j < into.allele1.size(); ++j) {
    for (const char letter : {chunk.allele1[j], chunk.allele2[j]}) {
      if (letter == 0 || letter == into.allele1[j] || letter == into.allele2[j]) continue;
      if (into.allele1[j] == 0) {
        into.allele1[j] = letter;
      } else if (into.allele2[j] == 0) {
        into.allele2[j] = letter;
      }
    }
  }
}

// The second pass over a chunk: its records, with every letter of the block already known.
void readChunkRecords(pedChunk& chunk, const pedAlleleColumns& alleles,
                      const std::string& fileName) {
  // A copy, as the scanner takes the letters writable (it finds nothing new to write here).
  pedAlleleColumns known = alleles;
  int lineNumber = chunk.firstLine;
  chunk.people.reserve(static_cast<size_t>(chunk.lines));
  forEachLine(chunk.begin, chunk.end, [&](pedLineText& line) {
    line.lineNumber = lineNumber++;
    individualRecord* person = nullptr;
    const pedLineFault fault = readPedRecord(line, known, chunk.messages, person);
    if (fault != pedLineFault::none) {
      chunk.fatal = pedFaultMessage(fault, fileName, line.lineNumber);
      return false;
    }
    chunk.people.push_back(person);
    return true;
  });
}

// Prints the chunks' messages and appends their records in file order; the first faulty line
// ends the run after the messages of the lines before it.
void deliverChunks(std::vector<pedChunk>& chunks) {
  for (size_t c = 0; c < chunks.size(); ++c) {
    std::cout << chunks[c].messages.kept;
    if (!chunks[c].fatal.empty()) {
      std::cout << chunks[c].fatal;
      for (size_t rest = c; rest < chunks.size(); ++rest) {
        for (individualRecord* person : chunks[rest].people) delete person;
      }
      fatalExit(1);
    }
    for (individualRecord* person : chunks[c].people) {
      person->index = static_cast<int32_t>(individuals.size());
      individuals.push_back(person);
    }
  }
}

// Reads the lines of one block; nextLine is the line number of its first line and moves on.
void readBlock(const char* begin, const char* end, pedAlleleColumns& alleles, int& nextLine,
               const std::string& fileName, int threads) {
  std::vector<pedChunk> chunks = splitIntoChunks(begin, end, threads * chunksPerThread);
  const int count = static_cast<int>(chunks.size());
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads) if (count > 1)
  for (int c = 0; c < count; ++c) gatherAlleles(chunks[c], alleles);
  for (pedChunk& chunk : chunks) {
    mergeAlleles(alleles, chunk.alleles);
    chunk.firstLine = nextLine;
    nextLine += chunk.lines;
  }
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads) if (count > 1)
  for (int c = 0; c < count; ++c) readChunkRecords(chunks[c], alleles, fileName);
  deliverChunks(chunks);
}

}  // namespace

void readPedBlocksOnThreads(int fd, const std::string& fileName, pedAlleleColumns& alleles,
                            size_t blockSize, int threads) {
  pedBlockReader reader(fd, blockSize, threads);
  int nextLine = 1;
  for (;;) {
    const pedBlockReader::status status = reader.next();
    if (status == pedBlockReader::status::end) break;
    if (status == pedBlockReader::status::readError) cannotReadPedFile(fileName);
    readBlock(reader.lines(), reader.lines() + reader.linesLength(), alleles, nextLine, fileName,
              threads);
  }
}
