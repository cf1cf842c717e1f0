// --random and --makefemale: the phenotypes and sex codes of the individuals in the filesets that
// the run hands to plink, as the .fam files give them and as plink itself reads them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "run_zuq.h"

namespace {

const std::string separated = dataPath("separated");

// A run whose scan of all individuals goes through plink (--slow) and whose files stay
// (--debug); --single with --top 1 ends it after that scan, with one fileset of its own.
zuqRun scanThroughPlink(const std::vector<std::string>& extra) {
  std::vector<std::string> args = {"--file", separated, "--plink", plinkPath(), "--slow",
                                   "--debug", "--single", "--alpha", "1", "--top", "1"};
  args.insert(args.end(), extra.begin(), extra.end());
  return runZuq(args);
}

// The base name (directory included) of the fileset of the scan of all individuals.
std::string scanFileset(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    const std::string ending = ".all.fam";
    if (name.rfind("temp.zuq.", 0) == 0 && name.size() > ending.size() &&
        name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
      return dir + "/" + name.substr(0, name.size() - 4);
    }
  }
  return dir + "/<no scan fileset>";
}

// Checks both filesets of the run (the scan's and snp-0) against the expected .fam rows.
void expectFamilies(const zuqRun& run, const std::vector<std::vector<std::string>>& expected) {
  for (const std::string& fam :
       {scanFileset(run.directory) + ".fam", run.directory + "/snp-0.fam"}) {
    SCOPED_TRACE(fam);
    EXPECT_EQ(tableRows(readFile(fam)), expected);
  }
}

TEST(IndividualOptions, MakefemaleGivesEveryIndividualSexCodeOne) {
  ASSERT_FALSE(plinkPath().empty()) << "plink 1.07 is not installed";
  // Those that the filesets hold.
  const auto phenotyped = famFields(phenotypedPedRows(separated + ".ped"));
  struct Case {
    std::vector<std::string> extra;
    bool allOne;
  } cases[] = {{{}, false}, {{"--makefemale"}, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.extra));
    const zuqRun run = scanThroughPlink(c.extra);
    ASSERT_EQ(run.status, 0) << run.out;
    std::vector<std::vector<std::string>> expected = phenotyped;
    std::map<std::string, int> sexes;  // plink's codes: 1 male, 2 female, else unknown
    for (auto& row : expected) {
      if (c.allOne) row[4] = "1";
      ++sexes[row[4]];
    }
    if (!c.allOne) {
      ASSERT_GT(sexes["2"], 0);  // the fixture has all three codes, so the option shows
      ASSERT_GT(sexes["0"], 0);
    }
    expectFamilies(run, expected);
    std::ostringstream read;
    read << sexes["1"] << " males, " << sexes["2"] << " females, and " << sexes["0"]
         << " of unspecified sex\n";
    EXPECT_NE(readFile(scanFileset(run.directory) + ".log").find(read.str()), std::string::npos)
        << read.str();
  }
}

// separated_random.expected: for a seed, the phenotype that the generator draws for each
// individual of the .ped in order (written by make_option_fixtures.py).
std::map<int, std::vector<std::string>> drawnPhenotypes() {
  std::map<int, std::vector<std::string>> drawn;
  for (const auto& row : tableRows(readFile(dataPath("separated_random.expected")))) {
    if (row[0] == "#") continue;
    drawn[std::stoi(row[0])] = std::vector<std::string>(row.begin() + 1, row.end());
  }
  return drawn;
}

TEST(IndividualOptions, RandomDrawsThePhenotypesOfTheSeed) {
  ASSERT_FALSE(plinkPath().empty()) << "plink 1.07 is not installed";
  const auto drawn = drawnPhenotypes();
  ASSERT_EQ(drawn.size(), 2u);
  ASSERT_NE(drawn.at(5), drawn.at(6));
  const auto families = famFields(tableRows(readFile(separated + ".ped")));
  std::map<int, std::vector<std::string>> famsOfSeed;
  for (int seed : {5, 6, 5}) {
    SCOPED_TRACE(seed);
    const zuqRun run = scanThroughPlink({"--random", "--seed", std::to_string(seed)});
    ASSERT_EQ(run.status, 0) << run.out;
    // Every individual gets a phenotype, also the two that the file gave none.
    const std::vector<std::string>& phenotypes = drawn.at(seed);
    ASSERT_EQ(phenotypes.size(), families.size());
    std::vector<std::vector<std::string>> expected = families;
    int cases = 0;
    for (size_t k = 0; k < expected.size(); ++k) {
      expected[k][5] = phenotypes[k];
      cases += phenotypes[k] == "2";
    }
    const int controls = static_cast<int>(families.size()) - cases;
    expectFamilies(run, expected);
    const std::string summary = "Binary trait:\n    " + std::to_string(cases) + " cases.\n    " +
                                std::to_string(controls) + " controls.\n    0 missing.\n\n";
    EXPECT_NE(run.out.find(summary), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Individuals remaining after filtering: " +
                           std::to_string(families.size()) + "\n"),
              std::string::npos);
    EXPECT_NE(readFile(scanFileset(run.directory) + ".log")
                  .find(std::to_string(cases) + " cases, " + std::to_string(controls) +
                        " controls and 0 missing\n"),
              std::string::npos);
    famsOfSeed[seed].push_back(readFile(run.directory + "/snp-0.fam"));
  }
  // The same seed draws the same cases and controls, another seed others.
  EXPECT_EQ(famsOfSeed[5][0], famsOfSeed[5][1]);
  EXPECT_NE(famsOfSeed[5][0], famsOfSeed[6][0]);
}

}  // namespace
