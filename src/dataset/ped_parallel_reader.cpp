// The .ped reader on several threads. A genotype's code depends on the first two distinct
// letters of its column in file order (the file's alleles). Each thread reads the records of a
// part of a block, taking the letters of its part after those met before the block; merged in
// file order, the parts' letters give the file's first two up to the end of the block. A letter
// that is not among a column's first two can only come after both, so with them known every
// code and message is the one of the reading in order. A part whose own letters agree with the
// merged ones already has those codes and messages; the few others are read again with the
// merged letters, and so are the rare ones with messages whose line numbers were not known yet.
// Messages and records are handed out in file order, up to the first faulty line.
#include <algorithm>
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
constexpr size_t firstPedBlockSize = size_t{1} << 20;

// A run of whole lines of a block, read by one thread.
struct pedChunk {
  const char* begin = nullptr;
  const char* end = nullptr;  // after its last line
  int lines = 0;              // read, up to and including a faulty one
  int firstLine = 0;          // the line number of its first line, when numbered
  bool numbered = false;      // whether firstLine was known when it was read
  // The letters its records were read with: those met before its block, then its own.
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

// The columns still without a second letter. Every chunk of a block starts from the letters met
// before it, so only in these columns can its letters differ from those: after the first lines
// of a file they are few, and merging and comparing the chunks' letters of a block costs
// little.
std::vector<int> openColumns(const pedAlleleColumns& alleles) {
  std::vector<int> open;
  for (size_t j = 0; j < alleles.allele2.size(); ++j) {
    if (alleles.allele2[j] == 0) open.push_back(static_cast<int>(j));
  }
  return open;
}

// Enters a column's letters from a chunk after those of the chunks before it. The chunk's two
// are its first two distinct letters after those before its block, so the first new ones among
// them are the first new ones of the chunk.
void mergeAlleles(pedAlleleColumns& into, const pedAlleleColumns& chunk,
                  const std::vector<int>& open) {
  for (const int j : open) {
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

// Reads a chunk's records and messages up to its first faulty line, registering its letters
// after those of start.
void readChunkRecords(pedChunk& chunk, const pedAlleleColumns& start,
                      const std::string& fileName) {
  chunk.alleles = start;
  chunk.lines = 0;
  forEachLine(chunk.begin, chunk.end, [&](pedLineText& line) {
    line.lineNumber = chunk.firstLine + chunk.lines++;
    individualRecord* person = nullptr;
    const pedLineFault fault = readPedRecord(line, chunk.alleles, chunk.messages, person);
    if (fault != pedLineFault::none) {
      chunk.fatal = pedFaultMessage(fault, fileName, line.lineNumber);
      return false;
    }
    chunk.people.push_back(person);
    return true;
  });
}

void discardRecords(pedChunk& chunk) {
  for (individualRecord* person : chunk.people) delete person;
  chunk.people.clear();
  chunk.messages.kept.clear();
  chunk.fatal.clear();
}

// Numbers the lines of the chunks up to the first with a faulty line (the reading ends there);
// nextLine is the number of the block's first line and moves on past the block.
void numberLines(std::vector<pedChunk>& chunks, int& nextLine) {
  for (pedChunk& chunk : chunks) {
    chunk.firstLine = nextLine;
    nextLine += chunk.lines;
    if (!chunk.fatal.empty()) break;
  }
}

// Whether a chunk read with its own letters has the codes and messages it would have with the
// merged ones: in each column its letters are the merged ones or the start of them. A column
// with the first letter only has no other letter in the chunk, and its pairs code alike with
// either; a column without letters has only missing pairs.
bool agreesWithFileOrder(const pedAlleleColumns& chunk, const pedAlleleColumns& merged,
                         const std::vector<int>& open) {
  for (const int j : open) {
    if (chunk.allele1[j] == 0) continue;
    if (chunk.allele1[j] != merged.allele1[j]) return false;
    if (chunk.allele2[j] != 0 && chunk.allele2[j] != merged.allele2[j]) return false;
  }
  return true;
}

// Whether a chunk read before the merged letters and its line numbers were known must be read
// again.
bool needsRereading(const pedChunk& chunk, const pedAlleleColumns& merged,
                    const std::vector<int>& open) {
  const bool unnumberedMessages =
      !chunk.numbered && !(chunk.messages.kept.empty() && chunk.fatal.empty());
  return unnumberedMessages || !agreesWithFileOrder(chunk.alleles, merged, open);
}

// Prints the chunks' messages and appends their records in file order; the first faulty line
// ends the run after the messages of the lines before it.
void deliverChunks(std::vector<pedChunk>& chunks) {
  for (size_t c = 0; c < chunks.size(); ++c) {
    std::cout << chunks[c].messages.kept;
    if (!chunks[c].fatal.empty()) {
      std::cout << chunks[c].fatal;
      for (size_t rest = c; rest < chunks.size(); ++rest) discardRecords(chunks[rest]);
      fatalExit(1);
    }
    for (individualRecord* person : chunks[c].people) {
      person->index = static_cast<int32_t>(individuals.size());
      individuals.push_back(person);
    }
  }
}

// Merges the chunks' letters in file order into alleles, up to the first chunk with a faulty
// line (the reading ends there); returns the number of chunks merged.
size_t mergeChunkAlleles(pedAlleleColumns& alleles, const std::vector<pedChunk>& chunks,
                         const std::vector<int>& open) {
  size_t merged = 0;
  while (merged < chunks.size()) {
    mergeAlleles(alleles, chunks[merged].alleles, open);
    if (!chunks[merged++].fatal.empty()) break;
  }
  return merged;
}

// Reads the lines of one block; nextLine is the line number of its first line and moves on.
void readBlock(const char* begin, const char* end, pedAlleleColumns& alleles, int& nextLine,
               const std::string& fileName, int threads) {
  std::vector<pedChunk> chunks = splitIntoChunks(begin, end, threads * chunksPerThread);
  if (!chunks.empty()) {
    chunks[0].firstLine = nextLine;
    chunks[0].numbered = true;
  }
  const pedAlleleColumns beforeBlock = alleles;
  const int count = static_cast<int>(chunks.size());
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads) if (count > 1)
  for (int c = 0; c < count; ++c) readChunkRecords(chunks[c], beforeBlock, fileName);
  const std::vector<int> open = openColumns(beforeBlock);
  const size_t merged = mergeChunkAlleles(alleles, chunks, open);
  numberLines(chunks, nextLine);
  std::vector<int> again;
  for (size_t c = 0; c < merged; ++c) {
    if (needsRereading(chunks[c], alleles, open)) again.push_back(static_cast<int>(c));
  }
  const int rereads = static_cast<int>(again.size());
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads) if (rereads > 1)
  for (int k = 0; k < rereads; ++k) {
    pedChunk& chunk = chunks[static_cast<size_t>(again[k])];
    discardRecords(chunk);
    readChunkRecords(chunk, alleles, fileName);
  }
  deliverChunks(chunks);
}

}  // namespace

void readPedBlocksOnThreads(int fd, const std::string& fileName, pedAlleleColumns& alleles,
                            size_t blockSize, int threads) {
  pedBlockReader reader(fd, threads);
  int nextLine = 1;
  // A small first block: its letters, known when the large blocks are read, make nearly all of
  // their chunks agree with the file's order at once.
  size_t bytes = std::min(blockSize, firstPedBlockSize);
  for (;;) {
    const pedBlockReader::status status = reader.next(bytes);
    bytes = blockSize;
    if (status == pedBlockReader::status::end) break;
    if (status == pedBlockReader::status::readError) cannotReadPedFile(fileName);
    readBlock(reader.lines(), reader.lines() + reader.linesLength(), alleles, nextLine, fileName,
              threads);
  }
}
