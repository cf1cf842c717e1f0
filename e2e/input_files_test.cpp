// Reading and preparing the data set end to end: the .map/.ped readers, the phenotype summary,
// the alternative phenotype and covariate files, and the SNP filters (--strictmaf among them),
// with their messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "run_zuq.h"

namespace {

// What a run prints from "Reading input files." on, the line itself left out.
std::string afterReading(const std::string& out) {
  const std::string mark = "Reading input files.\n";
  const size_t at = out.find(mark);
  return at == std::string::npos ? "<not reached>" : out.substr(at + mark.size());
}

// The prepared-data lines, cut before the analysis flow starts.
std::string preparation(const std::string& out) {
  const std::string rest = afterReading(out);
  const std::string last = "Individuals remaining after filtering: ";
  const size_t at = rest.find(last);
  if (at == std::string::npos) return rest;
  return rest.substr(0, rest.find('\n', at) + 1);
}

std::vector<std::string> smallArgs(std::vector<std::string> extra) {
  std::vector<std::string> args = {"--file", dataPath("small"), "--slow"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

// small.map stops at its fourth line, chromosome X: the .ped file has the three SNPs before.
const std::string mapStop =
    ": the SNPs from there on are not part of the data set (a .ped file that has their "
    "genotypes then has too many genotypes per line).\n";
const std::string smallRead =
    "Warning: Reading of map file " + dataPath("small.map") +
    " stops at line 4, whose chromosome code \"X\" is not a whole number" + mapStop +
    "Map file contains 3 SNP ids. \nPedigree file contains 8 individuals.\n";

TEST(InputFiles, PreparationMessagesFollowTheOptions) {
  struct Case {
    std::vector<std::string> extra;
    std::string expected;
  } cases[] = {
      {{},
       smallRead +
           "Binary trait:\n    3 cases.\n    3 controls.\n    2 missing.\n\n"
           "Warning: Deleting 2 individuals with missing phenotype.\n\n"
           "SNPs remaining after filtering: 3\nIndividuals remaining after filtering: 6\n"},
      {{"--pheno", dataPath("pheno.txt")},
       smallRead + "Reading alternative phenotype from file " + dataPath("pheno.txt") +
           "\nRead alternative phenotype for 3 individuals\n"
           "Warning: 5 individuals with no phenotype.\n"
           "Binary trait:\n    2 cases.\n    1 controls.\n    5 missing.\n\n"
           "Warning: Deleting 5 individuals with missing phenotype.\n\n"
           "SNPs remaining after filtering: 3\nIndividuals remaining after filtering: 3\n"},
      {{"--missing-phenotype", "0"},
       smallRead +
           "Binary trait:\n    3 cases.\n    3 controls.\n    2 missing.\n\n"
           "Warning: Deleting 2 individuals with missing phenotype.\n\n"
           "SNPs remaining after filtering: 3\nIndividuals remaining after filtering: 6\n"},
      {{"--qt"},
       smallRead +
           "Quantitative trait:\n     minimum 0\n     maximum 2\n     average 1.29\n"
           "          sd 0.756\n\n"
           "Warning: Deleting 1 individuals with missing phenotype.\n\n"
           "SNPs remaining after filtering: 3\nIndividuals remaining after filtering: 7\n"},
      {{"--qt", "--resampling", "1"},
       smallRead +
           "Binary trait:\n    3 cases.\n    3 controls.\n    2 missing.\n\n"
           "Warning: Deleting 2 individuals with missing phenotype.\n\n"
           "SNPs remaining after filtering: 3\nIndividuals remaining after filtering: 6\n"},
      {{"--chr", "1", "--debug"},
       smallRead +
           "Binary trait:\n    3 cases.\n    3 controls.\n    2 missing.\n\n"
           "Warning: Deleting 2 individuals with missing phenotype.\n\n"
           "Selecting only chromosome 1 for analysis.\nRemoving 1 snps.\n   Done (2 snps left)\n"
           "Filtering SNPs based on maf = 0  maf in cases = 0 maf in controls = 0\n"
           "SNPs remaining after filtering: 2\nIndividuals remaining after filtering: 6\n"},
      {{"--exclude", dataPath("exclude.txt"), "--extract", dataPath("extract.txt")},
       smallRead +
           "Binary trait:\n    3 cases.\n    3 controls.\n    2 missing.\n\n"
           "Warning: Deleting 2 individuals with missing phenotype.\n\n"
           "Reading list of SNPs to exclude from file " + dataPath("exclude.txt") +
           "\nReading list of SNPs to keep from file " + dataPath("extract.txt") +
           "\n1 SNPs were excluded from file " + dataPath("exclude.txt") +
           "\n1 SNPs were deleted, not present in file " + dataPath("extract.txt") +
           "\nSNPs remaining after filtering: 1\nIndividuals remaining after filtering: 6\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.extra));
    const zuqRun run = runZuq(smallArgs(c.extra));
    EXPECT_EQ(preparation(run.out), c.expected);
  }
}

// maf_groups: m2 is rare (0.1) in cases only, m3 in controls only; m4 and m5 stand exactly at
// 0.2 in cases and in controls. --maf tests the controls' frequency (the MAF of a case-control
// study), --strictmaf that and both groups' own, each strictly.
TEST(InputFiles, StrictMafAppliesTheThresholdInCasesAndInControls) {
  const std::string read =
      "Map file contains 6 SNP ids. \nPedigree file contains 80 individuals.\n"
      "Binary trait:\n    40 cases.\n    40 controls.\n    0 missing.\n\n";
  const std::string remaining4 =
      "SNPs remaining after filtering: 4\nIndividuals remaining after filtering: 80\n";
  struct Case {
    std::vector<std::string> extra;
    std::string filtering;  // the lines after the phenotype summary
    std::vector<std::string> kept;
  } cases[] = {
      {{"--maf", "0.2"},
       "Deleting 1 SNPs failing maf frequency test (maf < 0.2).\n"
       "SNPs remaining after filtering: 5\nIndividuals remaining after filtering: 80\n",
       {"m1", "m2", "m4", "m5", "m6"}},
      {{"--strictmaf", "0.2"},
       "Deleting 2 SNPs failing maf frequency test (maf < 0.2).\n" + remaining4,
       {"m1", "m4", "m5", "m6"}},
      {{"--strictmaf", "0.2", "--debug"},
       "Filtering SNPs based on maf = 0.2  maf in cases = 0.2 maf in controls = 0.2\n"
       "Deleting 2 SNPs failing maf frequency test (maf < 0.2).\n"
       "Removing 2 snps.\n   Done (4 snps left)\n" + remaining4,
       {"m1", "m4", "m5", "m6"}},
      // --strictmaf is looked up after --maf and sets the overall threshold too.
      {{"--maf", "0.3", "--strictmaf", "0.2"},
       "Deleting 2 SNPs failing maf frequency test (maf < 0.2).\n" + remaining4,
       {"m1", "m4", "m5", "m6"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.extra));
    // --single with --top 1 ends the run once the statistics of the kept SNPs are written.
    std::vector<std::string> args = {"--file", dataPath("maf_groups"), "--plink", plinkPath(),
                                     "--stats", "--single", "--alpha", "1", "--top", "1"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const zuqRun run = runZuq(args);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(preparation(run.out), read + c.filtering);
    std::vector<std::string> kept;
    for (const auto& row : tableRows(readFile(run.directory + "/zuq.stats"))) {
      if (row[0] != "CHR") kept.push_back(row[1]);
    }
    EXPECT_EQ(kept, c.kept);
  }
}

// covar.txt names F9, who is not in the data set, and gives F5 one value where the others have
// two: F5's covariates are all missing, as for the individuals the file does not name.
TEST(InputFiles, CovariatesAreReadAndListedInModelTxt) {
  const zuqRun run = runZuq(smallArgs({"--covar", dataPath("covar.txt"), "--qt"}));
  const std::string expectedReading =
      "Reading covariate file " + dataPath("covar.txt") +
      "\nCovariates header line: FID IID AGE SMOKE\n"
      "Warning: Individual (F9,I9) present in covariates file does not appear in genotype "
      "data.\n"
      "Number of covariates: 2\n"
      "Warning: Cannot find covariates for individual F4,I4\n"
      "Warning: Individual (F5,I5) has 1 covariate values in covariates file, not 2; its "
      "covariates are taken as missing.\n"
      "Warning: Cannot find covariates for individual F6,I6\n"
      "Warning: Cannot find covariates for individual F7,I7\n"
      "Warning: Cannot find covariates for individual F8,I8\n";
  EXPECT_NE(run.out.find(smallRead + expectedReading), std::string::npos) << run.out;
  EXPECT_EQ(readFile(run.directory + "/model.txt"),
            "F1 I1 2\t1 ~ G 30 1 \n"
            "F2 I2 2\t2 ~ G 41 0 \n"
            "F3 I3 2\t0 ~ G NA 1 \n"
            "F4 I4 2\tNA ~ G NA NA \n"
            "F5 I5 2\t2 ~ G NA NA \n"
            "F6 I6 2\t1 ~ G NA NA \n"
            "F7 I7 2\t2 ~ G NA NA \n"
            "F8 I8 2\t1 ~ G NA NA \n");
}

TEST(InputFiles, BadInputEndsWithAClearMessage) {
  const std::string map3 = "1 a 0 1\n1 b 0 2\n1 c 0 3\n";
  struct Case {
    std::string name;
    std::string ped;  // written as case.ped unless empty
    std::string map;  // written as case.map unless empty
    std::string expected;
  } cases[] = {
      {"no ped file", "", map3,
       "Map file contains 3 SNP ids. \nError: Cannot open input file case.ped\n"},
      {"no map file", "F I 0 0 1 1 A A\n", "", "Error: Cannot open input file case.map\n"},
      {"short line", "F I 0 0 1 1 A A C C T T\nF J 0 0 1 2 A A C C\n", map3,
       "Map file contains 3 SNP ids. \n"
       "Error: Not enough SNP's read from ped file file case.ped line 2\n"},
      {"long line", "F I 0 0 1 1 A A C C T T G G\n", map3,
       "Map file contains 3 SNP ids. \nError: Too many genotype data on line 1!\n"},
      {"trailing empty line", "F I 0 0 1 1 A A C C T T\n\n", map3,
       "Map file contains 3 SNP ids. \n"
       "Error: Cannot read all items from ped file input line 2\n"},
      {"ped file is a directory", "", map3,
       "Map file contains 3 SNP ids. \nError: Cannot open input file case.ped\n"},
      {"six fields missing", "F I 0 0 1\n", map3,
       "Map file contains 3 SNP ids. \n"
       "Error: Cannot read all items from ped file input line 1\n"},
      {"one allele letter too many", "F I 0 0 1 1 A A C C T T\nF J 0 0 1 2 A A C C T T G\n", map3,
       "Map file contains 3 SNP ids. \nError: Too many genotype data on line 2!\n"},
      {"one leading field too many", "F I 0 0 0 1 1 A A C C T T\n", map3,
       "Map file contains 3 SNP ids. \nError: Too many genotype data on line 1!\n"},
      {"non-numeric chromosome", "F I 0 0 1 1 A A C C T T\n", "1 a 0 1\nX b 0 2\n1 c 0 3\n",
       "Warning: Reading of map file case.map stops at line 2, whose chromosome code \"X\" is "
       "not a whole number" + mapStop +
           "Map file contains 1 SNP ids. \nError: Too many genotype data on line 1!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = makeWorkDirectory();
    if (!c.ped.empty()) writeFile(dir + "/case.ped", c.ped);
    if (c.name == "ped file is a directory") std::filesystem::create_directory(dir + "/case.ped");
    if (!c.map.empty()) writeFile(dir + "/case.map", c.map);
    const zuqRun run = runZuq({"--file", "case", "--slow"}, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(afterReading(run.out), c.expected);
  }
}

TEST(InputFiles, OddButReadableInputIsRead) {
  const std::string longId(300000, 'x');
  struct Case {
    std::string name;
    std::string ped;
    std::string expected;  // the reader's messages
  } cases[] = {
      {"windows line ends", "F I 0 0 1 1 A A C G\r\nF J 0 0 1 2 A G G G\r\n",
       "Map file contains 2 SNP ids. \nPedigree file contains 2 individuals.\n"},
      {"no final newline", "F I 0 0 1 1 A A C G\nF J 0 0 1 2 A G G G",
       "Map file contains 2 SNP ids. \nPedigree file contains 2 individuals.\n"},
      {"very long ids", longId + " " + longId + " 0 0 1 1 A A C G\n",
       "Map file contains 2 SNP ids. \nPedigree file contains 1 individuals.\n"},
      {"third allele", "F I 0 0 1 1 A A C G\nF J 0 0 1 2 A G G G\nF K 0 0 1 2 T T C C\n",
       "Map file contains 2 SNP ids. \n!! Error in genotype line 3, SNP 0 : T (A G)\n"
       "Pedigree file contains 3 individuals.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = makeWorkDirectory();
    writeFile(dir + "/case.ped", c.ped);
    writeFile(dir + "/case.map", "1 a 0 1\n1 b 0 2\n");
    const zuqRun run = runZuq({"--file", "case", "--slow"}, dir);
    const std::string read = afterReading(run.out);
    EXPECT_EQ(read.substr(0, read.find("Binary trait:\n")), c.expected);
  }
}

// A/T where the SNP's alleles are A and G is no genotype of the SNP: it is reported and read as
// missing, so it adds no G to the cases' allele frequency (as a heterozygote it would add one).
TEST(InputFiles, GenotypeWithAThirdAlleleIsReadAsMissing) {
  const std::string dir = makeWorkDirectory();
  writeFile(dir + "/case.ped",
            "F1 I1 0 0 1 1 A A\nF2 I2 0 0 1 1 A G\nF3 I3 0 0 1 2 A T\nF4 I4 0 0 1 2 G G\n");
  writeFile(dir + "/case.map", "1 a 0 1\n");
  const zuqRun run = runZuq({"--file", "case", "--slow", "--stats"}, dir);
  EXPECT_NE(afterReading(run.out).find("Map file contains 1 SNP ids. \n"
                                       "!! Error in genotype line 3, SNP 0 : T (A G)\n"
                                       "Pedigree file contains 4 individuals.\n"),
            std::string::npos);
  const auto stats = tableRows(readFile(dir + "/zuq.stats"));
  ASSERT_EQ(stats.size(), 2u);
  // Cases: G G alone, so no copy of A; controls: A A and A G, so one G in four.
  EXPECT_EQ(stats[1], (std::vector<std::string>{"1", "a", "1", "A", "G", "0.250", "0.000",
                                                "0.250"}));
}

TEST(InputFiles, CpuBelowOneRunsOneThreadAndCleansUp) {
  const zuqRun run = runZuq(smallArgs({"--cpu", "0"}));
  EXPECT_NE(run.out.find("Warning: --cpu 0 is not a thread count; using 1 cpu.\n"
                         "Setting number of cpus to use to 1.\n\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("SNPs remaining after filtering: 3\n"), std::string::npos);
}

}  // namespace
