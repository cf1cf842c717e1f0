#include <gtest/gtest.h>
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "run/settings.h"
#include "test_support/fatal_output.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"
#include "association/plink_runner.h"

namespace {

using namespace std::string_literals;

// A .map file of n SNPs on chromosome 1 named rs0, rs1, ...
std::string mapOf(int n) {
  std::string text;
  for (int j = 0; j < n; ++j)
    text += "1 rs" + std::to_string(j) + " 0 " + std::to_string(100 * (j + 1)) + "\n";
  return text;
}

class PedMapReaders : public testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "fast");
    ASSERT_TRUE(dir.made());
  }
  void TearDown() override { freeDataSet(); }

  std::string write(const std::string& name, const std::string& content) {
    const std::string path = dir.file(name);
    testsupport::writeWholeFile(path, content);
    return path;
  }
  std::string readMap(const std::string& content) {
    const std::string path = write("data.map", content);
    testing::internal::CaptureStdout();
    plink.readMapFile(path);
    return testing::internal::GetCapturedStdout();
  }
  // What readMap prints for a reading that stops at the line and for the reason in stop (the
  // warning's words after "stops at line "; empty: the reading reached the end), and count SNPs.
  std::string mapMessages(const std::string& stop, int count) {
    const std::string warning =
        stop.empty() ? ""
                     : "Warning: Reading of map file " + dir.file("data.map") + " stops at line " +
                           stop +
                           ": the SNPs from there on are not part of the data set (a .ped file "
                           "that has their genotypes then has too many genotypes per line).\n";
    return warning + "Map file contains " + std::to_string(count) + " SNP ids. \n";
  }
  std::string readPed(const std::string& content) {
    const std::string path = write("data.ped", content);
    testing::internal::CaptureStdout();
    plink.readPedFile(path);
    return testing::internal::GetCapturedStdout();
  }
  // Runs a call that must end through the fatal exit with status 1; returns what it printed.
  // The child is a fork, which cannot start OpenMP threads once this process has started some:
  // it reads on one thread (the reading on threads has its faults tested apart).
  std::string fatalOutput(const std::function<void()>& call) {
    return testsupport::fatalOutput(dir, [&] {
      omp_set_num_threads(1);
      call();
    });
  }
  std::vector<unsigned> codesOf(int person) const {
    std::vector<unsigned> codes;
    for (int j = 0; j < nSnps; ++j) codes.push_back(genotypeAt(individuals[person]->genotypes, j));
    return codes;
  }

  testsupport::settingsSnapshot settings;
  testsupport::scratchDirectory dir{"ped_map_readers"};
};

TEST_F(PedMapReaders, MapIsAStreamOfTokensEndedByTheFirstUnreadableOne) {
  struct MapCase {
    const char* name;
    std::string text;
    int count;
    std::string stop;
  };
  std::string tenth = mapOf(9) + "X rs9 0 1000\n1 rs10 0 1100\n";
  const std::string record =
      "\" does not read as chromosome code, SNP name, genetic distance and base-pair position";
  const MapCase cases[] = {
      {"empty file", "", 0, ""},
      {"records across lines", "1 rs0 0 100 1\nrs1 0\n200\n", 2, ""},
      {"non-numeric chromosome at record 10", tenth, 9,
       "10, whose chromosome code \"X\" is not a whole number"},
      {"truncated last record", "1 rs0 0 100\n1 rs1 0\n", 1,
       "2, whose SNP record \"1 rs1 0" + record},
      {"word where the position belongs", "1 rs0 0 x\n", 0,
       "1, whose SNP record \"1 rs0 0 x" + record},
  };
  for (const MapCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(readMap(c.text), mapMessages(c.stop, c.count));
    ASSERT_EQ(nSnps, c.count);
    ASSERT_EQ(snps.size(), static_cast<size_t>(c.count));
    for (int j = 0; j < c.count; ++j) {
      EXPECT_EQ(snps[j]->index, j);
      EXPECT_EQ(snps[j]->name, "rs" + std::to_string(j));
      EXPECT_EQ(snps[j]->position, 100 * (j + 1));
    }
    freeDataSet();
  }
}

// The warning names the line where the reading stopped and the word that stopped it, exactly as
// the extraction of a 32-bit chromosome code, a word, a real and a 32-bit position sees it.
TEST_F(PedMapReaders, MapStopIsNamedWithItsLineAndCode) {
  struct StopCase {
    const char* name;
    std::string text;
    int count;
    std::string stop;
  };
  const std::string shifted =
      " (the words of the file are read four to a SNP, whatever its lines)";
  const StopCase cases[] = {
      {"only letter codes", "X a 0 1\nY b 0 2\nXY c 0 3\nMT d 0 4\n", 0,
       "1, whose chromosome code \"X\" is not a whole number"},
      {"letter code in the middle", "1 a 0 1\n1 b 0 2\nY c 0 3\n1 d 0 4\n", 2,
       "3, whose chromosome code \"Y\" is not a whole number"},
      {"the first of several letter codes", "1 a 0 1\nMT b 0 2\n1 c 0 3\nX d 0 4\n", 1,
       "2, whose chromosome code \"MT\" is not a whole number"},
      // 1 is read and x becomes the name: the distance then meets rs0.
      {"digit and letter", "1x rs0 0 1\n1 rs1 0 2\n", 0,
       "1, whose chromosome code \"1x\" is not a whole number"},
      {"decimal point", "1.5 rs0 0 7\n", 0,
       "1, whose chromosome code \"1.5\" is not a whole number"},
      {"signed, large and blank-led codes", "-1 a 0 1\n27 b 0 2\n 0 c 0 3\n+4 d 0 4\n", 4, ""},
      {"blank lines and windows line ends", "\n\n1 a 0 1\r\n\r\n  XY b 0 2\r\n", 1,
       "5, whose chromosome code \"XY\" is not a whole number"},
      {"letter code at the end without newline", "1 a 0 1\nX", 1,
       "2, whose chromosome code \"X\" is not a whole number"},
      {"beyond 32 bits", "-2147483648 a 0 1\n2147483648 b 0 2\n", 1,
       "2, whose chromosome code \"2147483648\" is out of range"},
      {"lines of three words", "1 a 1000\n1 b 2000\n", 1,
       "2, where \"b\", read as a chromosome code, is not a whole number" + shifted},
      {"a word too many", "1 a 0 1 extra\n1 b 0 2\n", 1,
       "1, where \"extra\", read as a chromosome code, is not a whole number" + shifted},
      {"position beyond 32 bits", "1 a 0 1\n1 b 0 3000000000\n", 1,
       "2, whose SNP record \"1 b 0 3000000000\" does not read as chromosome code, SNP name, "
       "genetic distance and base-pair position"},
      {"a long word is cut", std::string(100, 'z') + " a 0 1\n", 0,
       "1, whose chromosome code \"" + std::string(60, 'z') + "...\" is not a whole number"},
      {"blanks after the last record", "1 a 0 1\n   \n\t\n", 1, ""},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(readMap(c.text), mapMessages(c.stop, c.count));
    EXPECT_EQ(nSnps, c.count);
    freeDataSet();
  }
}

// One warning for all repeated ids, after the count; the SNPs are all read.
TEST_F(PedMapReaders, RepeatedSnpIdsAreCountedOnce) {
  struct RepeatCase {
    const char* name;
    std::vector<std::string> ids;
    std::string warning;  // after "Warning: "; empty: none
  };
  const std::string lists = ". --exclude and --extract act on every SNP that has a listed id.\n";
  const RepeatCase cases[] = {
      {"unique", {"a", "b", "c"}, ""},
      {"one pair", {"a", "b", "a"}, "1 SNP id occurs more than once in map file MAP; the first "
                                    "to repeat is a (SNPs 1 and 3 of the file)"},
      // b repeats first; a three times still counts as one id.
      {"several", {"a", "b", "b", "a", "c", "a", "c", "d"},
       "3 SNP ids occur more than once in map file MAP; the first to repeat is b (SNPs 2 and 3 "
       "of the file)"},
      {"ids that differ in case or by a letter", {"rs1", "RS1", "rs1a", "rs"}, ""},
  };
  for (const RepeatCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text;
    for (const std::string& id : c.ids) text += "1 " + id + " 0 1\n";
    std::string expected = "Map file contains " + std::to_string(c.ids.size()) + " SNP ids. \n";
    if (!c.warning.empty()) {
      std::string warning = c.warning;
      warning.replace(warning.find("MAP"), 3, dir.file("data.map"));
      expected += "Warning: " + warning + lists;
    }
    EXPECT_EQ(readMap(text), expected);
    EXPECT_EQ(nSnps, static_cast<int>(c.ids.size()));
    freeDataSet();
  }
  // A second file read after the first is checked on its own SNPs.
  readMap("1 a 0 1\n");
  EXPECT_EQ(readMap("1 a 0 1\n1 b 0 1\n"), "Map file contains 3 SNP ids. \n");
}

// plink's codes of X, Y, XY and MT: one warning after the count, naming the first such SNP.
TEST_F(PedMapReaders, SexChromosomeCodesAreCountedOnce) {
  struct CodeCase {
    const char* name;
    std::vector<int> codes;
    std::string warning;  // the count and the first SNP, as the warning words them; empty: none
  };
  const CodeCase cases[] = {
      {"autosomes and codes around the range", {1, 22, 27, 0, -23}, ""},
      {"one on X", {1, 23, 2}, "1 SNP of map file MAP has a chromosome code from 23 to 26, "
                               "which plink reads as X, Y, XY and MT; the first is s1 (SNP 2 of "
                               "the file, code 23)"},
      {"every code of the range", {5, 26, 1, 24, 25, 23, 22},
       "4 SNPs of map file MAP have a chromosome code from 23 to 26, which plink reads as X, Y, "
       "XY and MT; the first is s1 (SNP 2 of the file, code 26)"},
  };
  const std::string routes =
      ". The tests and estimates run in zuq treat them as autosomes, while plink (--slow, "
      "--useplink, --R) applies its rules for sex chromosomes and mitochondria: the two routes "
      "can give these SNPs different results.\n";
  for (const CodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text;
    for (size_t j = 0; j < c.codes.size(); ++j) {
      text += std::to_string(c.codes[j]) + " s" + std::to_string(j) + " 0 1\n";
    }
    std::string expected = mapMessages("", static_cast<int>(c.codes.size()));
    if (!c.warning.empty()) {
      std::string warning = c.warning;
      warning.replace(warning.find("MAP"), 3, dir.file("data.map"));
      expected += "Warning: " + warning + routes;
    }
    EXPECT_EQ(readMap(text), expected);
    freeDataSet();
  }
  // A second file read after the first is checked on its own SNPs.
  readMap("23 a 0 1\n");
  EXPECT_EQ(readMap("1 b 0 1\n"), mapMessages("", 2));
}

TEST_F(PedMapReaders, MapFieldsFollowStreamExtraction) {
  readMap("11 rs7\t2.5e-1  123456\n-3 a 0 0\n1.5 0 7\n");
  ASSERT_EQ(nSnps, 3);
  EXPECT_EQ(snps[0]->chromosome, 11);
  EXPECT_EQ(snps[0]->name, "rs7");
  EXPECT_EQ(snps[0]->geneticDistance, 0.25);
  EXPECT_EQ(snps[0]->position, 123456);
  EXPECT_EQ(snps[1]->chromosome, -3);
  // An integer stops at the dot; the rest of the token is the next field.
  EXPECT_EQ(snps[2]->chromosome, 1);
  EXPECT_EQ(snps[2]->name, ".5");
  EXPECT_EQ(snps[2]->geneticDistance, 0.0);
  EXPECT_EQ(snps[2]->position, 7);
  EXPECT_EQ(snps[2]->allele1, 0);
}

TEST_F(PedMapReaders, MapAppendsAfterExistingSnps) {
  readMap(mapOf(2));
  readMap(mapOf(3));
  ASSERT_EQ(nSnps, 5);
  for (int j = 0; j < 5; ++j) EXPECT_EQ(snps[j]->index, j);
}

TEST_F(PedMapReaders, MissingFilesAreFatal) {
  const std::string missing = dir.file("none");
  EXPECT_EQ(fatalOutput([&] { plink.readMapFile(missing + ".map"); }),
            "Error: Cannot open input file " + missing + ".map\n");
  EXPECT_EQ(fatalOutput([&] { plink.readPedFile(missing + ".ped"); }),
            "Error: Cannot open input file " + missing + ".ped\n");
}

TEST_F(PedMapReaders, ReadsRecordsAndReportsTheCount) {
  readMap(mapOf(2));
  const std::string out =
      readPed("fam1 ind1 dad mum 2 1.5 A G C C\n fam2\tind2 0 0 1 -9 G G C T\n");
  EXPECT_EQ(out, "Pedigree file contains 2 individuals.\n");
  ASSERT_EQ(nIndividuals, 2);
  ASSERT_EQ(individuals.size(), 2u);
  const individualRecord& first = *individuals[0];
  EXPECT_EQ(first.index, 0);
  EXPECT_EQ(first.familyId, "fam1");
  EXPECT_EQ(first.individualId, "ind1");
  EXPECT_EQ(first.fatherId, "dad");
  EXPECT_EQ(first.motherId, "mum");
  EXPECT_EQ(first.sex, "2");
  EXPECT_EQ(first.phenotype, 1.5);
  EXPECT_TRUE(first.covariates.empty());
  EXPECT_EQ(individuals[1]->index, 1);
  EXPECT_EQ(individuals[1]->familyId, "fam2");
  EXPECT_EQ(individuals[1]->phenotype, missingValue);
  EXPECT_EQ(codesOf(0), (std::vector<unsigned>{2, 0}));
  EXPECT_EQ(codesOf(1), (std::vector<unsigned>{3, 2}));
  EXPECT_EQ(snps[0]->allele1, 'A');
  EXPECT_EQ(snps[0]->allele2, 'G');
  EXPECT_EQ(snps[1]->allele1, 'C');
  EXPECT_EQ(snps[1]->allele2, 'T');
}

TEST_F(PedMapReaders, BlanksBetweenAllelesAreOptional) {
  struct LineCase {
    const char* name;
    std::string genotypes;
  };
  const LineCase cases[] = {
      {"blank", "A G C C T T"},
      {"no blanks", "AGCCTT"},
      {"tabs", "A\tG\tC\tC\tT\tT"},
      {"runs of blanks", "A \t G  CC\t\tT T \t "},
      {"Windows line end", "A G C C T T\r"},
      {"Windows line end after a blank", "A G C C T T \r"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    readMap(mapOf(3));
    EXPECT_EQ(readPed("f i 0 0 1 2 A A C C T T\nf j 0 0 1 2 " + c.genotypes + "\n"),
              "Pedigree file contains 2 individuals.\n");
    EXPECT_EQ(codesOf(1), (std::vector<unsigned>{2, 0, 0}));
    EXPECT_EQ(snps[0]->allele2, 'G');
    freeDataSet();
  }
}

TEST_F(PedMapReaders, WhitespaceOfEveryKindSeparatesTheLeadingFields) {
  readMap(mapOf(1));
  readPed("\tf1\ri1\v0\f0  1 2\r0 0\r\nf2 i2 0 0 1 2\rA G\r\nf3 i3 0 0 1 2 A A\r\n");
  ASSERT_EQ(nIndividuals, 3);
  EXPECT_EQ(individuals[0]->individualId, "i1");
  EXPECT_EQ(individuals[0]->motherId, "0");
  EXPECT_EQ(codesOf(0), std::vector<unsigned>{1});
  EXPECT_EQ(codesOf(1), std::vector<unsigned>{2});
  EXPECT_EQ(codesOf(2), std::vector<unsigned>{0});
}

TEST_F(PedMapReaders, ZeroInEitherPlaceIsMissingAndRegistersNothing) {
  readMap(mapOf(1));
  readPed("a a 0 0 1 2 0 A\nb b 0 0 1 2 A 0\nc c 0 0 1 2 0 0\nd d 0 0 1 2 G G\ne e 0 0 1 2 A G\n");
  const unsigned expected[] = {1, 1, 1, 0, 2};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(codesOf(i)[0], expected[i]) << i;
  EXPECT_EQ(snps[0]->allele1, 'G');
  EXPECT_EQ(snps[0]->allele2, 'A');
}

// A genotype with a third allele is no genotype of the SNP: whichever letter is the third, it
// is reported once and stored as missing, never as a made-up heterozygote.
TEST_F(PedMapReaders, ThirdLetterIsReportedStoredAsMissingAndReadingGoesOn) {
  readMap(mapOf(2));
  const std::string out = readPed(
      "a a 0 0 1 2 C C A A\n"
      "b b 0 0 1 2 C C A G\n"
      "c c 0 0 1 2 c c T T\n"
      "d d 0 0 1 2 C C A T\n"
      "e e 0 0 1 2 C C T G\n"
      "f f 0 0 1 2 C C G G\n");
  EXPECT_EQ(out,
            "!! Error in genotype line 3, SNP 1 : T (A G)\n"
            "!! Error in genotype line 4, SNP 1 : T (A G)\n"
            "!! Error in genotype line 5, SNP 1 : T (A G)\n"
            "Pedigree file contains 6 individuals.\n");
  const unsigned expectedSnp1[] = {0, 2, 1, 1, 1, 3};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(codesOf(i)[1], expectedSnp1[i]) << i;
  EXPECT_EQ(snps[1]->allele1, 'A');
  EXPECT_EQ(snps[1]->allele2, 'G');
  // Letters are compared as they stand: lower-case c is a second allele.
  EXPECT_EQ(snps[0]->allele1, 'C');
  EXPECT_EQ(snps[0]->allele2, 'c');
  EXPECT_EQ(codesOf(2)[0], 3u);
}

// Long lines mixing every kind of pair, against the reading rules written out plainly: letters
// registered in file order, '0' missing, a third allele reported and missing, codes by the
// copies of allele 2. The pairs come in runs of the usual layout and in other spellings, so
// that every kind of pair meets every position within a run of eight columns.
TEST_F(PedMapReaders, MixedLinesFollowTheReadingRules) {
  const char* const spellings[] = {" A A", " A G", " G G", " G A", " 0 0", " A 0", " 0 G",
                                   " T T", " A T", " T G", "\tA\tG", "  G  G", " AG",  " C C"};
  const int columns = 77;
  const int lines = 40;
  std::mt19937 engine(31);
  std::uniform_int_distribution<int> pick(0, 13);
  std::uniform_int_distribution<int> usual(0, 3);
  std::string ped;
  std::vector<std::vector<std::pair<char, char>>> pairs(lines);
  for (int i = 0; i < lines; ++i) {
    ped += "f" + std::to_string(i) + " i 0 0 1 2";
    for (int j = 0; j < columns; ++j) {
      // Mostly the usual A/G pairs, now and then anything else.
      const int k = engine() % 4 != 0 ? usual(engine) : pick(engine);
      const std::string text = spellings[k];
      ped += text;
      std::string letters;
      for (char c : text) {
        if (c != ' ' && c != '\t') letters += c;
      }
      pairs[i].push_back({letters[0], letters[1]});
    }
    ped += i % 3 == 0 ? "\r\n" : "\n";
  }
  // The rules, one genotype at a time.
  std::vector<char> first(columns, 0), second(columns, 0);
  std::string messages;
  std::vector<std::vector<unsigned>> expected(lines);
  for (int i = 0; i < lines; ++i) {
    for (int j = 0; j < columns; ++j) {
      const auto [a, b] = pairs[i][j];
      unsigned code = 1;
      if (a != '0' && b != '0') {
        // A homozygous pair registers its letter once.
        for (int n = 0; n < (a == b ? 1 : 2); ++n) {
          const char letter = n == 0 ? a : b;
          if (letter == first[j] || letter == second[j]) continue;
          if (first[j] == 0) {
            first[j] = letter;
          } else if (second[j] == 0) {
            second[j] = letter;
          } else {
            messages += "!! Error in genotype line " + std::to_string(i + 1) + ", SNP " +
                        std::to_string(j) + " : " + letter + " (" + first[j] + " " + second[j] +
                        ")\n";
          }
        }
        const bool known = (a == first[j] || a == second[j]) && (b == first[j] || b == second[j]);
        const int copies2 = (a == second[j]) + (b == second[j]);
        if (known) code = copies2 == 0 ? 0 : copies2 == 1 ? 2 : 3;
      }
      expected[i].push_back(code);
    }
  }
  readMap(mapOf(columns));
  EXPECT_EQ(readPed(ped), messages + "Pedigree file contains 40 individuals.\n");
  for (int i = 0; i < lines; ++i) ASSERT_EQ(codesOf(i), expected[i]) << "line " << i + 1;
  for (int j = 0; j < columns; ++j) {
    EXPECT_EQ(snps[j]->allele1, first[j]) << j;
    EXPECT_EQ(snps[j]->allele2, second[j]) << j;
  }
}

TEST_F(PedMapReaders, UntypedAndMonomorphicSnpsKeepUnsetAlleles) {
  readMap(mapOf(2));
  readPed("a a 0 0 1 2 0 0 T T\nb b 0 0 1 2 0 0 T T\n");
  EXPECT_EQ(snps[0]->allele1, 0);
  EXPECT_EQ(snps[0]->allele2, 0);
  EXPECT_EQ(snps[1]->allele1, 'T');
  EXPECT_EQ(snps[1]->allele2, 0);
}

// The first individual is heterozygous A/C everywhere, so allele1 is A and allele2 C in every
// column and each later genotype has a known code.
TEST_F(PedMapReaders, CodesArePackedInTheirColumnsWithZeroWordsBeyond) {
  const char* const pairs[] = {"A A", "0 0", "A C", "C C"};
  auto codeAt = [](int i, int j) { return static_cast<unsigned>((7 * i + 3 * j + i * j) % 4); };
  for (int people : {1, 2, 5}) {
    for (int columns : {0, 1, 31, 32, 33, 63, 64, 65}) {
      SCOPED_TRACE(std::to_string(people) + " individuals, " + std::to_string(columns) + " SNPs");
      std::string ped;
      for (int i = 0; i <= people; ++i) {
        ped += "f" + std::to_string(i) + " i 0 0 1 2";
        for (int j = 0; j < columns; ++j)
          ped += std::string(" ") + (i == 0 ? "A C" : pairs[codeAt(i, j)]);
        ped += "\n";
      }
      readMap(mapOf(columns));
      readPed(ped);
      ASSERT_EQ(nIndividuals, people + 1);
      for (int i = 0; i <= people; ++i) {
        const std::vector<uint64_t>& words = individuals[i]->genotypes;
        ASSERT_EQ(words.size(), static_cast<size_t>(columns / 32 + 2));
        for (int j = 0; j < columns; ++j) {
          const unsigned expected = i == 0 ? 2u : codeAt(i, j);
          ASSERT_EQ((words[j / 32] >> (2 * (j % 32))) & 3u, expected) << i << "," << j;
        }
        const int usedBits = 2 * (columns % 32);
        const uint64_t lastWordTail =
            usedBits > 0 ? words[columns / 32] >> usedBits : words[columns / 32];
        EXPECT_EQ(lastWordTail, 0u);
        for (size_t w = columns / 32 + 1; w < words.size(); ++w) EXPECT_EQ(words[w], 0u);
      }
      freeDataSet();
    }
  }
}

TEST_F(PedMapReaders, LongFieldsAndLinesAreReadWhole) {
  const int columns = 40000;  // 160000 bytes of genotypes: past the first buffer size
  const std::string longId(5000, 'x');
  std::string ped;
  for (int i = 0; i < 3; ++i) {
    ped += longId + std::to_string(i) + " " + longId + " 0 0 1 2";
    for (int j = 0; j < columns; ++j) ped += (i + j) % 2 ? " A C" : " C C";
    ped += "\n";
  }
  readMap(mapOf(columns));
  EXPECT_EQ(readPed(ped), "Pedigree file contains 3 individuals.\n");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(individuals[i]->familyId, longId + std::to_string(i));
    EXPECT_EQ(individuals[i]->individualId, longId);
    EXPECT_EQ(individuals[i]->sex, "1");
  }
  EXPECT_EQ(snps[0]->allele1, 'C');
  EXPECT_EQ(snps[0]->allele2, 'A');
  EXPECT_EQ(genotypeAt(individuals[2]->genotypes, columns - 1), 2u);
  EXPECT_EQ(genotypeAt(individuals[1]->genotypes, columns - 1), 3u);  // C is its allele2
}

TEST_F(PedMapReaders, FaultyLinesAreFatalAndNameTheirLine) {
  struct FatalCase {
    const char* name;
    int columns;
    std::string ped;
    std::string message;  // {file} stands for the .ped file name
  };
  const std::string good = "f i 0 0 1 2 A G A G\n";
  std::string homozygous8;
  for (int j = 0; j < 8; ++j) homozygous8 += " A A";
  const FatalCase cases[] = {
      {"trailing empty line", 2, good + good + "\n",
       "Error: Cannot read all items from ped file input line 3\n"},
      {"five fields", 2, good + "f i 0 0 1\n",
       "Error: Cannot read all items from ped file input line 2\n"},
      {"blank line", 2, "  \t\r\n", "Error: Cannot read all items from ped file input line 1\n"},
      {"after lines of six fields only", 0, "f i 0 0 1 2\nf i 0 0 1 2\r\nf\n",
       "Error: Cannot read all items from ped file input line 3\n"},
      {"one pair too many", 2, good + "f i 0 0 1 2 A G A G A G\n",
       "Error: Too many genotype data on line 2!\n"},
      {"genotypes without SNPs", 0, "f i 0 0 1 2 A G\n",
       "Error: Too many genotype data on line 1!\n"},
      {"one pair short", 2, good + good + "f i 0 0 1 2 A G\n",
       "Error: Not enough SNP's read from ped file file {file} line 3\n"},
      {"short last line without newline", 2, good + "f i 0 0 1 2 A G",
       "Error: Not enough SNP's read from ped file file {file} line 2\n"},
      {"one letter too many", 2, good + "f i 0 0 1 2 A G A G A\n",
       "Error: Too many genotype data on line 2!\n"},
      {"one letter too many before a Windows line end", 2, "f i 0 0 1 2 A G A G A\r\n",
       "Error: Too many genotype data on line 1!\n"},
      {"one letter too many at the end of the file", 2, "f i 0 0 1 2 A G A G G",
       "Error: Too many genotype data on line 1!\n"},
      {"one leading field too many", 2, good + "f i x 0 0 1 2 A G A G\n",
       "!! Error in genotype line 2, SNP 0 : 2 (A G)\nError: Too many genotype data on line 2!\n"},
      {"lone letter without SNPs", 0, "f i 0 0 1 2 A\n",
       "Error: Too many genotype data on line 1!\n"},
      {"half a pair", 2, "f i 0 0 1 2 A G A\n",
       "Error: Not enough SNP's read from ped file file {file} line 1\n"},
      {"text cut by a NUL byte", 2, "f i 0 0 1 2 A G\0A G\n"s,
       "Error: Not enough SNP's read from ped file file {file} line 1\n"},
      // A is allele 1 and no column has an allele 2 yet: the NUL must not pass for it.
      {"NUL byte where a letter of a long line belongs", 16,
       "f i 0 0 1 2" + homozygous8 + homozygous8 + "\nf i 0 0 1 2" + homozygous8 + " \0 A"s +
           homozygous8.substr(4) + "\n"s,
       "Error: Not enough SNP's read from ped file file {file} line 2\n"},
  };
  for (const FatalCase& c : cases) {
    SCOPED_TRACE(c.name);
    readMap(mapOf(c.columns));
    const std::string path = write("data.ped", c.ped);
    std::string expected = c.message;
    if (const size_t at = expected.find("{file}"); at != std::string::npos)
      expected.replace(at, 6, path);
    EXPECT_EQ(fatalOutput([&] { plink.readPedFile(path); }), expected);
    freeDataSet();
  }
}

TEST_F(PedMapReaders, MapWithTenthRecordUnreadableStopsPedAtItsFirstLine) {
  readMap(mapOf(9) + "X rs9 0 1000\n");
  std::string line = "f i 0 0 1 2";
  for (int j = 0; j < 10; ++j) line += " A G";
  const std::string path = write("data.ped", line + "\n" + line + "\n");
  EXPECT_EQ(fatalOutput([&] { plink.readPedFile(path); }),
            "Error: Too many genotype data on line 1!\n");
}

TEST_F(PedMapReaders, ReadPedAndMapReadsTheMapFirst) {
  const std::string map = write("d.map", mapOf(1));
  const std::string ped = write("d.ped", "f i 0 0 1 2 A G\n");
  testing::internal::CaptureStdout();
  plink.readPedAndMap(ped, map);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Map file contains 1 SNP ids. \nPedigree file contains 1 individuals.\n");
  EXPECT_EQ(nSnps, 1);
  EXPECT_EQ(nIndividuals, 1);
}

TEST_F(PedMapReaders, ParseValueOrMissing) {
  struct ValueCase {
    const char* code;
    const char* text;
    double value;
  };
  const ValueCase cases[] = {
      {"-9", "-9", missingValue}, {"-9", "-9.0", -9.0},       {"-9", "2x", 2.0},
      {"-9", "x", missingValue},  {"-9", "", missingValue},   {"-9", " 1.5", 1.5},
      {"-9", "-9 ", -9.0},        {"-9", "1e3", 1000.0},      {"-9", "+2", 2.0},
      {"0", "0", missingValue},   {"0", "-9", -9.0},          {"0", "0.0", 0.0},
      {"NA", "NA", missingValue}, {"NA", "na", missingValue},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(std::string(c.code) + " / \"" + c.text + "\"");
    missingPhenotype = c.code;
    EXPECT_EQ(plink.parseValueOrMissing(c.text), c.value);
  }
}

TEST_F(PedMapReaders, RemoveMissingPhenotypesKeepsOrderAndIndex) {
  readMap(mapOf(1));
  readPed("a a 0 0 1 2 A A\nb b 0 0 1 -9 A A\nc c 0 0 1 1 A G\nd d 0 0 1 x A A\ne e 0 0 1 2 G G\n");
  testing::internal::CaptureStdout();
  plink.removeMissingPhenotypes();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning: Deleting 2 individuals with missing phenotype.\n\n");
  ASSERT_EQ(nIndividuals, 3);
  ASSERT_EQ(individuals.size(), 3u);
  const int expectedIndex[] = {0, 2, 4};
  const char* const expectedId[] = {"a", "c", "e"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(individuals[i]->index, expectedIndex[i]);
    EXPECT_EQ(individuals[i]->familyId, expectedId[i]);
  }
  testing::internal::CaptureStdout();
  plink.removeMissingPhenotypes();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(nIndividuals, 3);
}

}  // namespace
