#include <gtest/gtest.h>
#include <omp.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dataset/covariates.h"
#include "dataset/dataset.h"
#include "run/settings.h"
#include "test_support/dataset_builder.h"
#include "test_support/fatal_output.h"
#include "test_support/plink_oracle.h"
#include "test_support/required_tools.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"
#include "association/plink_runner.h"

namespace {

using testsupport::addIndividual;
using testsupport::addSnp;
using testsupport::readWholeFile;

using testsupport::plink107;

class FilesetWriters : public testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "fast");
    ASSERT_TRUE(dir.made());
    savedHeader = covariateHeaderLine;
  }
  void TearDown() override {
    freeDataSet();
    covariateHeaderLine = savedHeader;
  }

  // Runs a call that must end through the fatal exit with status 1; returns what it printed.
  std::string fatalOutput(const std::function<void()>& call) {
    return testsupport::fatalOutput(dir, call);
  }

  testsupport::settingsSnapshot settings;
  testsupport::scratchDirectory dir{"fileset_writers"};
  std::string savedHeader;
};

individualRecord* addPerson(const std::string& fid, const std::string& iid, const std::string& sex,
                            double phenotype, std::vector<double> covariates = {},
                            const std::vector<unsigned>& codes = {}) {
  individualRecord* person = addIndividual(phenotype, codes);
  person->familyId = fid;
  person->individualId = iid;
  person->fatherId = "F" + iid;
  person->motherId = "M" + iid;
  person->sex = sex;
  person->covariates = std::move(covariates);
  return person;
}

TEST_F(FilesetWriters, BimLinesCompleteUnsetAllelesAndStoreThem) {
  struct BimCase {
    const char* name;
    int chromosome;
    double distance;
    int position;
    char allele1, allele2;
    const char* line;
    char stored1, stored2;
  };
  const BimCase cases[] = {
      {"rs1", 1, 0.0, 1000, 'A', 'G', "1\trs1\t0\t1000\tA\tG\n", 'A', 'G'},
      {"rs2", 23, 2.0, 5, 0, '0', "23\trs2\t2\t5\tX\t0\n", 'X', '0'},
      {"rs3", 2, 0.1234567, 123456789, 0, 0, "2\trs3\t0.123457\t123456789\t0\t0\n", '0', '0'},
      {"rs4", 3, 1234567.0, 7, 'C', 0, "3\trs4\t1.23457e+06\t7\tC\t0\n", 'C', '0'},
      {"rs5", 4, 0.00001, 8, 0, 'T', "4\trs5\t1e-05\t8\t0\tT\n", '0', 'T'},
      {"rs6", 0, -0.25, 0, 'X', '0', "0\trs6\t-0.25\t0\tX\t0\n", 'X', '0'},
  };
  std::string expected;
  for (const BimCase& c : cases) {
    snpRecord* snp = addSnp(c.name, c.chromosome, c.position);
    snp->geneticDistance = c.distance;
    snp->allele1 = c.allele1;
    snp->allele2 = c.allele2;
    expected += c.line;
  }
  const std::string bim = dir.file("a.bim");
  plink.writeBimFile(bim, snps);
  EXPECT_EQ(readWholeFile(bim), expected);
  for (size_t j = 0; j < std::size(cases); ++j) {
    SCOPED_TRACE(cases[j].name);
    EXPECT_EQ(snps[j]->allele1, cases[j].stored1);
    EXPECT_EQ(snps[j]->allele2, cases[j].stored2);
  }
  // The stored completion is final: a second fileset gets the same alleles, and the file is
  // rewritten, not appended to.
  plink.writeBimFile(bim, snps);
  EXPECT_EQ(readWholeFile(bim), expected);
}

TEST_F(FilesetWriters, FamLinesKeepOrRenumberIndividualIds) {
  individualRecord* a = addPerson("fa", "ia", "1", 2.0);
  individualRecord* b = addPerson("fb", "ib", "2", 1.0);
  individualRecord* c = addPerson("fc", "ic", "other", 123.4567891);
  individualRecord* d = addPerson("fd", "id", "0", 1.5);
  const std::vector<individualRecord*> resample = {a, b, a, c, d};
  struct FamCase {
    int newfids;
    std::string text;
  };
  const FamCase cases[] = {
      {0,
       "fa ia Fia Mia 1 2\nfb ib Fib Mib 2 1\nfa ia Fia Mia 1 2\n"
       "fc ic Fic Mic other 123.457\nfd id Fid Mid 0 1.5\n"},
      {1,
       "fa i0 Fia Mia 1 2\nfb i1 Fib Mib 2 1\nfa i2 Fia Mia 1 2\n"
       "fc i3 Fic Mic other 123.457\nfd i4 Fid Mid 0 1.5\n"},
      {7,
       "fa i0 Fia Mia 1 2\nfb i1 Fib Mib 2 1\nfa i2 Fia Mia 1 2\n"
       "fc i3 Fic Mic other 123.457\nfd i4 Fid Mid 0 1.5\n"},
  };
  for (const FamCase& k : cases) {
    SCOPED_TRACE("newfids " + std::to_string(k.newfids));
    const std::string base = dir.file("f" + std::to_string(k.newfids));
    plink.writeBinaryFileset(base, resample, snps, k.newfids);
    EXPECT_EQ(readWholeFile(base + ".fam"), k.text);
    EXPECT_FALSE(std::filesystem::exists(base + ".cov"));  // no covariates in use
  }
}

TEST_F(FilesetWriters, CovLinesWithHeaderMissingValuesAndRenumberedIds) {
  useCovariates = true;
  individualRecord* a = addPerson("fa", "ia", "1", 2.0, {0.5, missingValue});
  individualRecord* b = addPerson("fb", "ib", "2", 1.0, {});
  individualRecord* c = addPerson("fc", "ic", "1", 1.0, {2.0, 1234567.0, -0.0001});
  const std::vector<individualRecord*> resample = {a, b, c, a};
  struct CovCase {
    std::string header;
    int newfids;
    std::string text;
  };
  const CovCase cases[] = {
      {"FID IID age bmi", 0,
       "FID IID age bmi\nfa ia 0.5 -9 \nfb ib \nfc ic 2 1.23457e+06 -0.0001 \nfa ia 0.5 -9 \n"},
      {"", 0, "fa ia 0.5 -9 \nfb ib \nfc ic 2 1.23457e+06 -0.0001 \nfa ia 0.5 -9 \n"},
      {"FID\tIID\tx", 1,
       "FID\tIID\tx\nfa i0 0.5 -9 \nfb i1 \nfc i2 2 1.23457e+06 -0.0001 \nfa i3 0.5 -9 \n"},
  };
  for (const CovCase& k : cases) {
    SCOPED_TRACE("header '" + k.header + "' newfids " + std::to_string(k.newfids));
    covariateHeaderLine = k.header;
    const std::string base = dir.file("c");
    plink.writeBinaryFileset(base, resample, snps, k.newfids);
    EXPECT_EQ(readWholeFile(base + ".cov"), k.text);
  }
  const std::string empty = dir.file("none.cov");
  covariateHeaderLine.clear();
  plink.writeCovFile(empty, {}, 1);
  EXPECT_TRUE(std::filesystem::exists(empty));
  EXPECT_EQ(readWholeFile(empty), "");
}

// Genotype codes of the .bed fixture, varied over individuals and columns.
unsigned fixtureCode(int person, int column) {
  return static_cast<unsigned>(person * 5 + column * 3 + (person * column) % 7) % 4;
}

TEST_F(FilesetWriters, BedBlocksForEveryRemainderAndAcrossAWordBoundary) {
  constexpr int columns = 66;  // three genotype words' worth of columns plus two
  for (int j = 0; j < columns; ++j) addSnp("s" + std::to_string(j), 1, j + 1);
  for (int k = 0; k < 9; ++k) {
    std::vector<unsigned> codes;
    for (int j = 0; j < columns; ++j) codes.push_back(fixtureCode(k, j));
    addIndividual(1.0, codes)->individualId = "p" + std::to_string(k);
  }
  // Out of column order, so the blocks must follow the list and read each SNP's own column.
  const std::vector<int> listed = {33, 0, 31, 32, 30, 63, 64, 65, 1};
  std::vector<snpRecord*> snpList;
  for (int j : listed) snpList.push_back(snps[j]);

  std::vector<std::vector<int>> lists;
  for (int n = 0; n <= 9; ++n) {
    std::vector<int> people;
    for (int k = 0; k < n; ++k) people.push_back(k);
    lists.push_back(people);
  }
  lists.push_back({2, 2, 8, 0, 2});  // a resample repeats individuals
  for (const std::vector<int>& people : lists) {
    std::string trace = "individuals";
    for (int k : people) trace += " " + std::to_string(k);
    SCOPED_TRACE(trace);
    std::vector<individualRecord*> list;
    for (int k : people) list.push_back(individuals[k]);
    std::string expected = "\x6C\x1B\x01";
    for (int j : listed) {
      std::vector<unsigned char> block((people.size() + 3) / 4, 0);
      for (size_t k = 0; k < people.size(); ++k)
        block[k / 4] |= static_cast<unsigned char>(fixtureCode(people[k], j) << (2 * (k % 4)));
      expected.append(block.begin(), block.end());
    }
    const std::string base = dir.file("b");
    plink.writeBedFile(base, list, snpList);
    EXPECT_EQ(readWholeFile(base + ".bed"), expected);
  }
  // No SNPs: the magic bytes alone.
  plink.writeBedFile(dir.file("e"), {individuals[0]}, {});
  EXPECT_EQ(readWholeFile(dir.file("e.bed")), "\x6C\x1B\x01");
}

// Many SNP blocks cross the writer's chunk boundary; every block must still land in place.
TEST_F(FilesetWriters, BedOfManySnpsMatchesTheCodes) {
  constexpr int columns = 3000, people = 1401;
  for (int j = 0; j < columns; ++j) addSnp("s" + std::to_string(j), 1, j + 1);
  for (int k = 0; k < people; ++k) {
    std::vector<unsigned> codes;
    for (int j = 0; j < columns; ++j) codes.push_back(fixtureCode(k, j));
    addIndividual(1.0, codes);
  }
  plink.writeBedFile(dir.file("m"), individuals, snps);
  const std::string bed = readWholeFile(dir.file("m.bed"));
  const size_t blockBytes = (people + 3) / 4;
  ASSERT_EQ(bed.size(), 3 + columns * blockBytes);
  int wrong = 0;
  for (int j = 0; j < columns; ++j) {
    for (int k = 0; k < people; ++k) {
      const unsigned char byte = static_cast<unsigned char>(bed[3 + j * blockBytes + k / 4]);
      if (((byte >> (2 * (k % 4))) & 3u) != fixtureCode(k, j)) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0);
}

// A message of the table below with NAME replaced by the file's name.
std::string withName(std::string text, const std::string& name) {
  for (size_t at; (at = text.find("NAME")) != std::string::npos;) text.replace(at, 4, name);
  return text;
}

// A file that cannot be created gets the system's reason on a line before the writer's own
// message; one that cannot be written in full, its name and the reason on one line.
TEST_F(FilesetWriters, AFileThatCannotBeWrittenEndsTheRunWithTheReason) {
  addSnp("rs1", 1, 10)->allele1 = 'A';
  addPerson("f", "i", "1", 2.0, {1.0});
  useCovariates = true;
  struct FailureCase {
    const char* what;
    const char* blocked;  // the extension made unwritable
    bool full;            // a full device rather than a directory in the way
    const char* message;  // with NAME for the file's name
  };
  const FailureCase cases[] = {
      {".bim cannot be opened", ".bim", false,
       "Error: Cannot create NAME (Is a directory).\nError: Cannot write to output file NAME\n"},
      {".fam cannot be opened", ".fam", false,
       "Error: Cannot create NAME (Is a directory).\nCannot write to output file NAME\n"},
      {".bed cannot be opened", ".bed", false,
       "Error: Cannot create NAME (Is a directory).\nCannot write to output file NAME\n"},
      {".cov cannot be opened", ".cov", false,
       "Error: Cannot create NAME (Is a directory).\nError: Cannot write to output file NAME\n"},
      {".bim on a full device", ".bim", true,
       "Error: Cannot write to output file NAME (No space left on device).\n"},
      {".fam on a full device", ".fam", true,
       "Error: Cannot write to output file NAME (No space left on device).\n"},
      {".bed on a full device", ".bed", true,
       "Error: Cannot write to output file NAME (No space left on device).\n"},
      {".cov on a full device", ".cov", true,
       "Error: Cannot write to output file NAME (No space left on device).\n"},
  };
  int n = 0;
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string base = dir.file("x" + std::to_string(n++));
    const std::string blocked = base + c.blocked;
    if (c.full) {
      std::filesystem::create_symlink("/dev/full", blocked);
    } else {
      std::filesystem::create_directory(blocked);
    }
    EXPECT_EQ(fatalOutput([&] { plink.writeBinaryFileset(base, individuals, snps, 0); }),
              withName(c.message, blocked));
  }
  const std::string missing = dir.file("no/such/dir/x");
  EXPECT_EQ(fatalOutput([&] { plink.writeBinaryFileset(missing, individuals, snps, 0); }),
            withName("Error: Cannot create NAME (No such file or directory).\n"
                     "Error: Cannot write to output file NAME\n",
                     missing + ".bim"));
}

// Threads that fail at once: the run ends with one message, whole.
TEST_F(FilesetWriters, ThreadsFailingAtOnceGiveOneMessage) {
  for (int j = 0; j < 200; ++j) addSnp("s" + std::to_string(j), 1, j + 1)->allele1 = 'A';
  for (int k = 0; k < 50; ++k) addPerson("f", "i" + std::to_string(k), "1", 1 + k % 2);
  constexpr int writers = 16;
  for (int t = 0; t < writers; ++t) {
    std::filesystem::create_symlink("/dev/full", dir.file("t" + std::to_string(t) + ".bed"));
  }
  const std::string out = fatalOutput([&] {
    std::vector<std::thread> threads;
    for (int t = 0; t < writers; ++t) {
      threads.emplace_back([&, t] {
        plink.writeBinaryFileset(dir.file("t" + std::to_string(t)), individuals, snps, 1);
      });
    }
    for (std::thread& thread : threads) thread.join();
  });
  const std::string prefix = "Error: Cannot write to output file " + dir.file("t");
  const std::string suffix = ".bed (No space left on device).\n";
  ASSERT_EQ(out.rfind(prefix, 0), 0u) << out;
  ASSERT_GT(out.size(), prefix.size() + suffix.size()) << out;
  EXPECT_EQ(out.substr(out.size() - suffix.size()), suffix) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}

// The files of a fileset under one base name, as they lie in the directory (no others).
std::vector<std::string> namesStartingWith(const std::string& directory, const std::string& start) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(start, 0) == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A fileset left for the user is whole or absent: written under names of its own, renamed into
// place when complete, and removed altogether when a file fails, old files of its names too.
TEST_F(FilesetWriters, AWholeFilesetIsCompleteOrAbsent) {
  for (int j = 0; j < 3; ++j) addSnp("s" + std::to_string(j), 1, j + 1)->allele1 = 'A';
  for (int k = 0; k < 30; ++k) addPerson("f", "i" + std::to_string(k), "1", 1 + k % 2);
  const std::string reference = dir.file("reference");
  plink.writeBinaryFileset(reference, individuals, snps, 0);

  // The .bim takes 39 bytes, the .fam 570; the limit leaves room for the message on standard
  // output.
  struct WholeCase {
    const char* what;
    const char* failing;  // the file that fails, after the base; empty for none
    bool directory;       // a directory put in its place
    rlim_t fileSize;      // else a file-size limit that only it exceeds
    const char* message;  // with NAME for the failing file's name as the user knows it
  };
  const WholeCase cases[] = {
      {"all files written", "", false, 0, ""},
      {".bim cannot be created", ".bim.incomplete", true, 0,
       "Error: Cannot create NAME (Is a directory).\nError: Cannot write to output file NAME\n"},
      {".fam cut short after a whole .bim", ".fam.incomplete", false, 250,
       "Error: Cannot write to output file NAME (File too large).\n"},
      {".bed cannot be renamed into place", ".bed", true, 0,
       "Error: Cannot write to output file NAME (Is a directory).\n"},
  };
  int n = 0;
  for (const WholeCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string start = "w" + std::to_string(n++);
    const std::string base = dir.file(start);
    // An earlier run's fileset of the same name.
    for (const char* extension : {".bim", ".fam", ".bed"}) {
      testsupport::writeWholeFile(base + extension, "old\n");
    }
    const std::string failing = base + c.failing;
    const std::string shown = failing.substr(0, failing.rfind(".incomplete"));
    if (c.directory) {
      std::filesystem::remove(failing);
      std::filesystem::create_directory(failing);
    }
    if (c.message[0] == '\0') {
      plink.writeWholeFileset(base, individuals, snps, 0);
      EXPECT_EQ(namesStartingWith(dir.path(), start + "."),
                (std::vector<std::string>{start + ".bed", start + ".bim", start + ".fam"}));
      for (const char* extension : {".bim", ".fam", ".bed"}) {
        EXPECT_EQ(readWholeFile(base + extension), readWholeFile(reference + extension));
      }
      continue;
    }
    EXPECT_EQ(fatalOutput([&] {
                if (c.fileSize > 0) {
                  std::signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit = {c.fileSize, c.fileSize};
                  setrlimit(RLIMIT_FSIZE, &limit);
                }
                plink.writeWholeFileset(base, individuals, snps, 0);
              }),
              withName(c.message, shown));
    // Only the directory put in the way is left.
    std::vector<std::string> left;
    if (c.directory) left.push_back(start + c.failing);
    EXPECT_EQ(namesStartingWith(dir.path(), start + "."), left);
  }
}

// Worker threads write filesets of the same SNPs under their own names at the same time.
TEST_F(FilesetWriters, ConcurrentFilesetsAgree) {
  for (int j = 0; j < 40; ++j) {
    snpRecord* snp = addSnp("s" + std::to_string(j), 1, j + 1);
    snp->allele1 = j % 3 == 0 ? 0 : 'A';
    snp->allele2 = j % 3 == 0 ? (j % 2 == 0 ? '0' : 0) : 'C';
  }
  for (int k = 0; k < 30; ++k) {
    std::vector<unsigned> codes;
    for (int j = 0; j < nSnps; ++j) codes.push_back(fixtureCode(k, j));
    addPerson("f" + std::to_string(k), "i" + std::to_string(k), "1", 1 + k % 2, {}, codes);
  }
  constexpr int writers = 16;
  omp_set_num_threads(8);
#pragma omp parallel for schedule(dynamic)
  for (int t = 0; t < writers; ++t) {
    plink.writeBinaryFileset(dir.file("t" + std::to_string(t)), individuals, snps, 1);
  }
  const std::string bim = readWholeFile(dir.file("t0.bim"));
  const std::string fam = readWholeFile(dir.file("t0.fam"));
  const std::string bed = readWholeFile(dir.file("t0.bed"));
  EXPECT_NE(bim.find("1\ts0\t0\t1\tX\t0\n"), std::string::npos);
  EXPECT_NE(bim.find("1\ts3\t0\t4\t0\t0\n"), std::string::npos);
  EXPECT_EQ(bed.size(), 3 + 40 * 8u);
  for (int t = 1; t < writers; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(readWholeFile(dir.file("t" + std::to_string(t) + ".bim")), bim);
    EXPECT_EQ(readWholeFile(dir.file("t" + std::to_string(t) + ".fam")), fam);
    EXPECT_EQ(readWholeFile(dir.file("t" + std::to_string(t) + ".bed")), bed);
  }
}

// ---- plink 1.07 as the oracle ----

// A case-control .ped/.map pair of 43 individuals and 33 SNPs (a partial last .bed byte, and
// SNPs on both sides of a genotype-word boundary) with missing genotypes, a SNP nobody is typed
// for, a monomorphic one, and nonzero genetic distances.
void writePlinkFixture(const std::string& base) {
  const char* const pairs[] = {"AG", "CT", "AC", "GT", "TA", "CG"};
  constexpr int nPeople = 43, nColumns = 33;
  std::ostringstream map;
  for (int j = 0; j < nColumns; ++j)
    map << 1 + j / 20 << " snp" << j << " " << 0.125 * j << " " << 1000 + 37 * j << "\n";
  std::ostringstream ped;
  unsigned state = 12345;
  auto draw = [&](unsigned range) {
    state = state * 1103515245u + 12345u;
    return (state >> 16) % range;
  };
  for (int k = 0; k < nPeople; ++k) {
    ped << "fam" << k / 3 << " ind" << k << " 0 0 " << (k % 5 == 0 ? 0 : 1 + k % 2) << " "
        << 1 + k % 2;
    for (int j = 0; j < nColumns; ++j) {
      const char* alleles = pairs[j % 6];
      const bool untypedSnp = j == 5, monomorphic = j == 8;
      if (untypedSnp || draw(10) == 0) {
        ped << " 0 0";
        continue;
      }
      // Case status shifts the frequency so the tests have something to find.
      const unsigned threshold = k % 2 == 1 ? 6 : 4;
      const char first = monomorphic || draw(10) < threshold ? alleles[0] : alleles[1];
      const char second = monomorphic || draw(10) < threshold ? alleles[0] : alleles[1];
      ped << " " << first << " " << second;
    }
    ped << "\n";
  }
  testsupport::writeWholeFile(base + ".map", map.str());
  testsupport::writeWholeFile(base + ".ped", ped.str());
}

std::vector<std::vector<std::string>> wordsPerLine(const std::string& path) {
  std::vector<std::vector<std::string>> lines;
  for (const std::string& line : testsupport::readLines(path)) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    lines.push_back(words);
  }
  return lines;
}

class PlinkOracle : public FilesetWriters {
 protected:
  void SetUp() override {
    FilesetWriters::SetUp();
    ZUQ_NEED_PLINK107();
    original = dir.file("orig");
    writePlinkFixture(original);
    testing::internal::CaptureStdout();
    plink.readPedAndMap(original + ".ped", original + ".map");
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(nSnps, 33);
    ASSERT_EQ(nIndividuals, 43);
  }
  // Runs plink 1.07 with these arguments; true when it exited with status 0.
  bool runPlink(const std::string& args) {
    const std::string command = plink107 + " --noweb --allow-no-sex " + args + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }

  std::string original;
};

TEST_F(PlinkOracle, RecodedFilesetGivesBackTheOriginalPedAndMap) {
  const std::string ours = dir.file("ours"), recoded = dir.file("recoded");
  plink.writeBinaryFileset(ours, individuals, snps, 0);
  ASSERT_TRUE(runPlink("--bfile " + ours + " --recode --out " + recoded));
  const auto expected = wordsPerLine(original + ".ped");
  const auto got = wordsPerLine(recoded + ".ped");
  ASSERT_EQ(got.size(), expected.size());
  for (size_t k = 0; k < got.size(); ++k) {
    SCOPED_TRACE("individual " + std::to_string(k));
    ASSERT_EQ(got[k].size(), expected[k].size());
    EXPECT_EQ(std::vector(got[k].begin(), got[k].begin() + 6),
              std::vector(expected[k].begin(), expected[k].begin() + 6));
    for (size_t w = 6; w + 1 < got[k].size(); w += 2) {
      std::string gotPair = got[k][w] + got[k][w + 1];
      std::string expectedPair = expected[k][w] + expected[k][w + 1];
      std::sort(gotPair.begin(), gotPair.end());
      std::sort(expectedPair.begin(), expectedPair.end());
      EXPECT_EQ(gotPair, expectedPair) << "SNP " << (w - 6) / 2;
    }
  }
  const auto expectedMap = wordsPerLine(original + ".map");
  const auto gotMap = wordsPerLine(recoded + ".map");
  ASSERT_EQ(gotMap.size(), expectedMap.size());
  for (size_t j = 0; j < gotMap.size(); ++j) {
    SCOPED_TRACE("SNP " + std::to_string(j));
    ASSERT_EQ(gotMap[j].size(), 4u);
    EXPECT_EQ(gotMap[j][0], expectedMap[j][0]);
    EXPECT_EQ(gotMap[j][1], expectedMap[j][1]);
    EXPECT_EQ(std::stod(gotMap[j][2]), std::stod(expectedMap[j][2]));
    EXPECT_EQ(gotMap[j][3], expectedMap[j][3]);
  }
}

// The reference is plink's own binary conversion of the text data set: plink 1.07 reading the
// .ped leaves the A2 field of an untyped SNP empty in its results, reading a .bim it prints 0.
TEST_F(PlinkOracle, FullModelAndAssocOnTheFilesetEqualPlinksOwnConversion) {
  const std::string reference = dir.file("reference");
  ASSERT_TRUE(runPlink("--file " + original + " --make-bed --out " + reference));
  const std::string ours = dir.file("ours");
  // A resample-style fileset (renumbered ids) must analyse the same as the original ids.
  plink.writeBinaryFileset(ours, individuals, snps, 1);
  for (const char* test : {"model", "assoc"}) {
    SCOPED_TRACE(test);
    ASSERT_TRUE(runPlink("--bfile " + reference + " --" + test + " --out " + reference));
    ASSERT_TRUE(runPlink("--bfile " + ours + " --" + test + " --out " + ours));
    const std::string expected = readWholeFile(reference + "." + test);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(readWholeFile(ours + "." + test), expected);
  }
}

TEST_F(PlinkOracle, AssocRunWritesTheFilesetAndRunsPlink) {
  const std::string reference = dir.file("reference");
  ASSERT_TRUE(runPlink("--file " + original + " --make-bed --out " + reference));
  ASSERT_TRUE(runPlink("--bfile " + reference + " --assoc --out " + reference));
  plink.executable = plink107;
  const std::string base = dir.file("assoc");
  testing::internal::CaptureStdout();
  plink.runPlinkAssoc(base, snps);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // --silent is among the arguments
  EXPECT_EQ(wordsPerLine(base + ".fam")[42][1], "i42");
  const std::string expected = readWholeFile(reference + ".assoc");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(readWholeFile(base + ".assoc"), expected);
}

}  // namespace
