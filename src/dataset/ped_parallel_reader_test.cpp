#include <fcntl.h>
#include <gtest/gtest.h>
#include <omp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/ped_file_readers.h"
#include "test_support/fatal_output.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"
#include "association/plink_runner.h"

namespace {

using namespace std::string_literals;

// What a reader left behind: its output, every record field by field, and the alleles.
struct personRow {
  int32_t index;
  std::string familyId, individualId, fatherId, motherId, sex;
  double phenotype;
  std::vector<uint64_t> genotypes;
  bool operator==(const personRow&) const = default;
};

struct readResult {
  std::string output;
  std::vector<personRow> people;
  std::vector<char> allele1, allele2;
};

void PrintTo(const personRow& row, std::ostream* out) {
  *out << row.index << " " << row.familyId << " " << row.individualId << " " << row.phenotype;
  for (uint64_t word : row.genotypes) *out << " " << std::hex << word << std::dec;
}

// A .map of n SNPs, written and read so that nSnps and snps are set.
void readMapOf(const testsupport::scratchDirectory& dir, int n) {
  std::string text;
  for (int j = 0; j < n; ++j)
    text += "1 rs" + std::to_string(j) + " 0 " + std::to_string(j + 1) + "\n";
  const std::string path = dir.file("data.map");
  testsupport::writeWholeFile(path, text);
  testing::internal::CaptureStdout();
  plink.readMapFile(path);
  testing::internal::GetCapturedStdout();
}

// Lines of random genotypes: each pair is one of spellings, the first more often; phenotypes
// of every kind (number, missing code, word).
std::string randomLines(int lines, int columns, unsigned seed,
                        const std::vector<std::string>& spellings, const std::string& lineEnd) {
  std::mt19937 engine(seed);
  const char* const phenotypes[] = {"2", "1", "-9", "1.5", "x"};
  std::string ped;
  for (int i = 0; i < lines; ++i) {
    ped += "fam" + std::to_string(i) + " ind" + std::to_string(i) + " 0 0 " +
           std::to_string(1 + i % 2) + " " + phenotypes[i % 5];
    for (int j = 0; j < columns; ++j) {
      const size_t k = engine() % 3 != 0 ? engine() % 2 : engine() % spellings.size();
      ped += spellings[k];
    }
    ped += lineEnd;
  }
  return ped;
}

const std::vector<std::string> usualPairs = {" A A", " A G", " G G", " 0 0"};
const std::vector<std::string> withThirdLetters = {" A G", " G G", " A A", " 0 0",
                                                   " T T", " A T", " C G", " G A"};

// 40 lines of a column that stays C C until line 25 brings T, then line 30 a third letter; the
// other columns are usual.
std::string lateSecondAllele() {
  std::string ped = randomLines(40, 4, 7, usualPairs, "\n");
  std::string out;
  int line = 0;
  for (size_t start = 0; start < ped.size();) {
    const size_t end = ped.find('\n', start) + 1;
    std::string text = ped.substr(start, end - start - 1);
    ++line;
    text += line == 25 ? " C T" : line == 30 ? " G C" : line == 33 ? " T T" : " C C";
    out += text + "\n";
    start = end;
  }
  return out;
}

std::string withoutFinalNewline(std::string text) {
  text.pop_back();
  return text;
}

class PedParallelReader : public testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "fast");
    ASSERT_TRUE(dir.made());
  }
  void TearDown() override { freeDataSet(); }

  std::string writePed(const std::string& text) {
    const std::string path = dir.file("data.ped");
    testsupport::writeWholeFile(path, text);
    return path;
  }

  // Runs a reader on fresh alleles and takes its records out of individuals.
  readResult run(const std::function<void(pedAlleleColumns&)>& reader) {
    readResult result;
    pedAlleleColumns alleles{std::vector<char>(nSnps, 0), std::vector<char>(nSnps, 0)};
    testing::internal::CaptureStdout();
    reader(alleles);
    result.output = testing::internal::GetCapturedStdout();
    for (individualRecord* p : individuals) {
      result.people.push_back({p->index, p->familyId, p->individualId, p->fatherId, p->motherId,
                               p->sex, p->phenotype, p->genotypes});
      delete p;
    }
    individuals.clear();
    result.allele1 = alleles.allele1;
    result.allele2 = alleles.allele2;
    return result;
  }

  // The readers name the file in their messages by a fixed label: a death-test child that
  // starts afresh writes its own copy of the file elsewhere.
  static void inOrder(const std::string& path, pedAlleleColumns& alleles) {
    FILE* file = std::fopen(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    readPedLinesInOrder(file, fileLabel, alleles);
    std::fclose(file);
  }
  static void onThreads(const std::string& path, pedAlleleColumns& alleles, size_t blockSize,
                        int threads) {
    const int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    readPedBlocksOnThreads(fd, fileLabel, alleles, blockSize, threads);
    close(fd);
  }
  // Expects the reader on threads to end the run with status 1 after printing exactly
  // expected. The child is a fresh process: a forked one would wait forever for the OpenMP
  // threads of this process. Its stdout goes to the stderr that the death test compares.
  void expectFatalOnThreads(const std::string& path, size_t blockSize, int threads,
                            const std::string& expected) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    pedAlleleColumns alleles{std::vector<char>(nSnps, 0), std::vector<char>(nSnps, 0)};
    EXPECT_EXIT(
        {
          dup2(STDERR_FILENO, STDOUT_FILENO);
          onThreads(path, alleles, blockSize, threads);
        },
        testing::ExitedWithCode(1), testing::Eq(expected));
    GTEST_FLAG_SET(death_test_style, "fast");
  }

  static constexpr const char* fileLabel = "data.ped";

  testsupport::settingsSnapshot settings;
  testsupport::scratchDirectory dir{"ped_parallel_reader"};
};

// Thread counts and block sizes: blocks of a few bytes split every line from the next and make
// each line longer than its block; blocks of 700 bytes hold a few lines, each of which a thread
// reads apart from the others; the default holds the whole file.
const int threadCounts[] = {1, 2, 3, 8};
const size_t blockSizes[] = {5, 64, 700, defaultPedBlockSize};

TEST_F(PedParallelReader, GivesTheRecordsAllelesAndMessagesOfTheReadingInOrder) {
  struct ReadCase {
    const char* name;
    int columns;
    std::string ped;
    size_t people;  // what the reading in order gives, so that each case shows what it says
    bool messages;
  };
  std::string nulLines;
  for (int i = 0; i < 20; ++i) nulLines += "f" + std::to_string(i) + " i 0 0 1 2 A G G G\0 x y\n"s;
  const ReadCase cases[] = {
      {"ordinary file", 37, randomLines(50, 37, 1, usualPairs, "\n"), 50, false},
      {"third alleles in many lines", 33, randomLines(60, 33, 2, withThirdLetters, "\n"), 60, true},
      {"a second allele late in the file", 5, lateSecondAllele(), 40, true},
      {"missing and half-missing pairs", 9,
       randomLines(30, 9, 3, {" A G", " 0 0", " A 0", " 0 G", " G G"}, "\n"), 30, false},
      {"Windows line ends", 12, randomLines(30, 12, 4, withThirdLetters, "\r\n"), 30, true},
      {"no final newline", 8, withoutFinalNewline(randomLines(25, 8, 5, usualPairs, "\n")), 25,
       false},
      {"NUL after the genotypes", 2, nulLines, 20, false},
      {"lines far longer than a block", 300, randomLines(6, 300, 6, withThirdLetters, "\n"), 6,
       true},
      {"other blanks", 6, randomLines(20, 6, 8, {" AG", "\tG\tG", "  A  A", " 0 0"}, "\n"), 20,
       false},
      {"empty file", 3, "", 0, false},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    readMapOf(dir, c.columns);
    const std::string path = writePed(c.ped);
    const readResult expected = run([&](pedAlleleColumns& a) { inOrder(path, a); });
    ASSERT_EQ(expected.people.size(), c.people);
    EXPECT_EQ(expected.output.find("!! Error in genotype line") != std::string::npos, c.messages);
    for (int threads : threadCounts) {
      for (size_t blockSize : blockSizes) {
        SCOPED_TRACE(std::to_string(threads) + " threads, blocks of " + std::to_string(blockSize));
        const readResult got =
            run([&](pedAlleleColumns& a) { onThreads(path, a, blockSize, threads); });
        EXPECT_EQ(got.output, expected.output);
        EXPECT_EQ(got.people, expected.people);
        EXPECT_EQ(got.allele1, expected.allele1);
        EXPECT_EQ(got.allele2, expected.allele2);
      }
    }
    freeDataSet();
  }
}

// A faulty line ends the run after exactly the messages of the lines before it, wherever it
// falls among the blocks and threads' parts; the lines around it bring third alleles of their
// own, before and after.
TEST_F(PedParallelReader, FaultyLineEndsTheRunAfterTheMessagesOfTheLinesBeforeIt) {
  struct FaultCase {
    const char* name;
    std::string line;
    std::string message;  // {file} and {line} stand for the .ped file name and line number
  };
  const FaultCase faults[] = {
      {"too few leading fields", "f i 0 0 1\n",
       "Error: Cannot read all items from ped file input line {line}\n"},
      {"too few genotypes", "f i 0 0 1 2 A G A G\n",
       "Error: Not enough SNP's read from ped file file {file} line {line}\n"},
      {"too many genotypes", "f i 0 0 1 2 A G A G T T A G\n",
       "Error: Too many genotype data on line {line}!\n"},
      {"a lone letter after the last pair", "f i 0 0 1 2 A G A G T T A\n",
       "Error: Too many genotype data on line {line}!\n"},
  };
  const int lines = 30;
  const std::string good = randomLines(lines, 3, 9, withThirdLetters, "\n");
  readMapOf(dir, 3);
  for (const FaultCase& fault : faults) {
    for (int at : {1, 16, lines}) {
      SCOPED_TRACE(std::string(fault.name) + " at line " + std::to_string(at));
      // The faulty line replaces line number at.
      std::string ped;
      size_t start = 0;
      for (int line = 1; line <= lines; ++line) {
        const size_t end = good.find('\n', start) + 1;
        ped += line == at ? fault.line : good.substr(start, end - start);
        start = end;
      }
      const std::string path = writePed(ped);
      std::string message = fault.message;
      if (const size_t brace = message.find("{file}"); brace != std::string::npos)
        message.replace(brace, 6, fileLabel);
      message.replace(message.find("{line}"), 6, std::to_string(at));
      // The reading in order forks no threads, so its child may be a plain fork. No ASSERT
      // here: a fresh child runs this code again without that child's output.
      pedAlleleColumns alleles{std::vector<char>(3, 0), std::vector<char>(3, 0)};
      const std::string expected =
          testsupport::fatalOutput(dir, [&] { inOrder(path, alleles); });
      EXPECT_TRUE(expected.ends_with(message)) << expected;
      if (at == lines) {
        EXPECT_NE(expected.find("!! Error in genotype line"), std::string::npos);
      }
      for (int threads : threadCounts) {
        for (size_t blockSize : blockSizes) {
          SCOPED_TRACE(std::to_string(threads) + " threads, blocks of " +
                       std::to_string(blockSize));
          expectFatalOnThreads(path, blockSize, threads, expected);
        }
      }
    }
  }
}

// A pipe can be read only once and in order: it takes the reading one line at a time, whatever
// the thread count.
TEST_F(PedParallelReader, PipeIsReadInOrder) {
  readMapOf(dir, 2);
  const std::string fifo = dir.file("data.ped");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string ped = "a a 0 0 1 2 A G C C\nb b 0 0 1 2 G G C T\n";
  std::thread writer([&] { testsupport::writeWholeFile(fifo, ped); });
  const int threadsBefore = omp_get_max_threads();
  omp_set_num_threads(8);
  testing::internal::CaptureStdout();
  plink.readPedFile(fifo);
  const std::string output = testing::internal::GetCapturedStdout();
  writer.join();
  omp_set_num_threads(threadsBefore);
  EXPECT_EQ(output, "Pedigree file contains 2 individuals.\n");
  ASSERT_EQ(nIndividuals, 2);
  EXPECT_EQ(individuals[1]->familyId, "b");
  EXPECT_EQ(snps[1]->allele2, 'T');
}

}  // namespace
