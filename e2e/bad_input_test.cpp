// Inputs that once crashed, hung, were misread or clobbered a file: option values out of range,
// non-numbers in the phenotype and covariate files, directories given as input files, and
// results-file names that are not files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "run_zuq.h"

namespace {

namespace fs = std::filesystem;

const std::string example = dataPath("../../examples/casecontrol");

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& extra) {
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

// A short analysis of the example data set.
std::vector<std::string> exampleArgs(const std::vector<std::string>& extra) {
  return with({"--file", example, "--plink", plinkPath(), "--seed", "11", "--alpha", "1e-3",
               "--L0", "2"},
              extra);
}

// Reading only: the small fixture, no plink.
std::vector<std::string> smallArgs(const std::vector<std::string>& extra) {
  return with({"--file", dataPath("small"), "--slow"}, extra);
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(BadInput, CountsThatCannotRunAreRefusedBeforeAnyWork) {
  struct countCase {
    std::vector<std::string> extra;
    std::string error;
  };
  const std::string replicates = " is out of range: give a number from 0 to 1000000.\n";
  const countCase cases[] = {
      {{"--L0", "2147483647"}, "Error: --L0 2147483647" + replicates},
      {{"--L0", "300000000"}, "Error: --L0 300000000" + replicates},
      {{"--L1", "1", "--L2", "2000000000"}, "Error: --L2 2000000000" + replicates},
      {{"--L1", "429496729"}, "Error: --L1 429496729" + replicates},
      {{"--adj.nsample", "2147483647"},
       "Error: --adj.nsample 2147483647 is out of range: give a number from 2 to 100000.\n"},
      {{"--adj.nsample", "1"},
       "Error: --adj.nsample 1 is out of range: give a number from 2 to 100000.\n"},
      {{"--top", "0"}, "Error: --top 0 is out of range: give a number from 1 to 2147483647.\n"},
      {{"--top", "-5"}, "Error: --top -5 is out of range: give a number from 1 to 2147483647.\n"},
  };
  for (const countCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.extra));
    const zuqRun run = runZuq(smallArgs(c.extra));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.out, c.error)) << run.out;
    EXPECT_FALSE(contains(run.out, "Reading input files.")) << run.out;
  }
  const zuqRun dummy = runZuq({"--dummy", "2000000000", "2000000000"});
  EXPECT_EQ(dummy.status, 1);
  EXPECT_TRUE(contains(dummy.out, "Error: --dummy 2000000000 2000000000 is too large: at most "
                                  "1000000 individuals, 10000000 SNPs and 1000000000 "
                                  "genotypes.\n"))
      << dummy.out;
  EXPECT_FALSE(contains(dummy.out, "Generating dummy dataset"));
}

// Thread counts the runtime could not start (a stack overflow at 100000, errors at 50000, and a
// wrapped 32-bit value) run with the limit instead, to the end.
TEST(BadInput, CpuCountsBeyondTheLimitRunWithTheLimit) {
  const int limit = std::max(1024, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
  for (const char* given : {"100000", "50000", "99999999999"}) {
    SCOPED_TRACE(given);
    const zuqRun run = runZuq(exampleArgs({"--cpu", given}));
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(contains(run.out, std::string("Warning: --cpu ") + given +
                                      " is more threads than can be started here; using " +
                                      std::to_string(limit) + " cpus.\nSetting number of cpus "
                                      "to use to " + std::to_string(limit) + ".\n"))
        << run.out;
    EXPECT_GE(tableRows(readFile(run.directory + "/out.zuq")).size(), 2u);
  }
}

TEST(BadInput, DirectoriesGivenAsInputFilesGetTheMissingFileError) {
  const std::string dir = makeWorkDirectory();
  fs::create_directory(dir + "/folder");
  const std::string folder = dir + "/folder";
  struct directoryCase {
    std::vector<std::string> args;
    std::string error;
  };
  const directoryCase cases[] = {
      {smallArgs({"--exclude", folder}), "Error: Cannot open file " + folder + "\n"},
      {smallArgs({"--extract", folder}), "Error: Cannot open file " + folder + "\n"},
      {smallArgs({"--pheno", folder}), "Error: Cannot read file " + folder + "\n"},
      {smallArgs({"--covar", folder, "--qt"}), "Error: Cannot open covariates file " + folder + "\n"},
      {smallArgs({"--script", folder}), "Error: Cannot open script file '" + folder + "'.\n"},
  };
  for (const directoryCase& c : cases) {
    SCOPED_TRACE(c.error);
    const zuqRun run = runZuq(c.args, dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.out, c.error)) << run.out;
    EXPECT_FALSE(contains(run.out, "SNPs remaining after filtering")) << run.out;
  }
}

// nan, inf and their other spellings read as numbers by "%lf"; they are missing values.
TEST(BadInput, NonFinitePhenotypesAndCovariatesAreMissing) {
  const std::string dir = makeWorkDirectory();
  const std::string genotypes = " A A C G\n";
  const char* values[] = {"1", "nan", "inf", "2", "-inf", "NaN", "Infinity", "3", "nan(1)",
                          "1e999"};
  std::string ped, pheno, covar = "FID IID x\n";
  int i = 0;
  for (const char* v : values) {
    const std::string id = "f" + std::to_string(i) + " i" + std::to_string(i);
    ped += id + " 0 0 1 " + v + genotypes;
    pheno += id + " " + v + "\n";
    covar += id + " " + v + "\n";
    ++i;
  }
  writeFile(dir + "/qt.ped", ped);
  writeFile(dir + "/qt.map", "1 a 0 1\n1 b 0 2\n");
  writeFile(dir + "/pheno.txt", pheno);
  writeFile(dir + "/covar.txt", covar);
  // Phenotypes 1, 2 and 3 are read; the other seven are missing.
  const std::string summary =
      "Quantitative trait:\n     minimum 1\n     maximum 3\n     average 2\n          sd 1\n\n"
      "Warning: Deleting 7 individuals with missing phenotype.\n\n";
  struct valueCase {
    std::vector<std::string> extra;
    std::string expected;
  };
  const valueCase cases[] = {
      {{}, summary},
      {{"--pheno", "pheno.txt"},
       "Read alternative phenotype for 3 individuals\nWarning: 7 individuals with no "
       "phenotype.\n" + summary},
  };
  for (const valueCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.extra));
    const zuqRun run = runZuq(with({"--file", "qt", "--slow", "--qt"}, c.extra), dir);
    EXPECT_TRUE(contains(run.out, c.expected)) << run.out;
  }
  runZuq({"--file", "qt", "--slow", "--qt", "--covar", "covar.txt"}, dir);
  EXPECT_EQ(readFile(dir + "/model.txt"),
            "f0 i0 1\t1 ~ G 1 \nf1 i1 1\tNA ~ G NA \nf2 i2 1\tNA ~ G NA \nf3 i3 1\t2 ~ G 2 \n"
            "f4 i4 1\tNA ~ G NA \nf5 i5 1\tNA ~ G NA \nf6 i6 1\tNA ~ G NA \nf7 i7 1\t3 ~ G 3 \n"
            "f8 i8 1\tNA ~ G NA \nf9 i9 1\tNA ~ G NA \n");
}

// --out names something that is not a file, or a place where no file can be made: the run
// ends at start, before reading data, and leaves what is there as it was.
TEST(BadInput, ResultsFileNamesThatCannotServeEndTheRunAtStart) {
  struct outCase {
    const char* what;
    std::string out;   // relative to the run's directory
    std::string reason;
  };
  const outCase cases[] = {
      {"empty directory", "empty", "it is a directory"},
      {"fifo", "fifo", "it is not a regular file"},
      {"missing directory", "missing/out.zuq", "No such file or directory"},
      {"below a file", "file/out.zuq", "Not a directory"},
  };
  for (const outCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = makeWorkDirectory();
    fs::create_directory(dir + "/empty");
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    writeFile(dir + "/file", "kept\n");
    const zuqRun run = runZuq(exampleArgs({"--out", c.out}), dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.out, "Error: Cannot write results to file " + c.out + " (" +
                                      c.reason + ").\n"))
        << run.out;
    EXPECT_FALSE(contains(run.out, "Reading input files.")) << run.out;
    EXPECT_TRUE(fs::is_directory(dir + "/empty"));
    EXPECT_TRUE(fs::is_fifo(dir + "/fifo"));
    EXPECT_EQ(readFile(dir + "/file"), "kept\n");
  }
}

// A symbolic link is replaced by the results file; the file it pointed to is left alone.
TEST(BadInput, ResultsFileReplacesALinkNotItsTarget) {
  const std::string dir = makeWorkDirectory();
  writeFile(dir + "/target", "kept\n");
  fs::create_symlink(dir + "/target", dir + "/out.zuq");
  const zuqRun run = runZuq(exampleArgs({}), dir);
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_FALSE(fs::is_symlink(dir + "/out.zuq"));
  EXPECT_GE(tableRows(readFile(dir + "/out.zuq")).size(), 2u);
  EXPECT_EQ(readFile(dir + "/target"), "kept\n");
}

}  // namespace
