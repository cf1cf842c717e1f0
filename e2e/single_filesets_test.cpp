// --single: one PLINK binary fileset per significant SNP, in rank order, which plink 1.07 reads
// back to the SNP, the individuals and the genotypes of the data set and to the p of the scan;
// the run ends there, with status 0 and no results table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "run_zuq.h"

namespace {

const std::string separated = dataPath("separated");

// Half a unit in the last digit of a number printed with that many significant digits.
double halfUnit(double printed, int digits) {
  if (printed == 0) return 0;
  return 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(printed))) - (digits - 1));
}

// The two alleles of a genotype in a fixed order, so that "G A" and "A G" compare equal.
std::string genotype(std::string first, std::string second) {
  if (second < first) std::swap(first, second);
  return first + " " + second;
}

// "rs1(8.26832e-09) rs2(0.00380288) " of --debug: the significant SNPs with their p, in order.
std::vector<std::pair<std::string, double>> debugSignificantLine(const std::string& out) {
  std::vector<std::pair<std::string, double>> snps;
  const std::string mark = "Significant SNPs:\n";
  const size_t at = out.find(mark);
  if (at == std::string::npos) return snps;
  const size_t from = at + mark.size();
  for (const std::string& word : words(out.substr(from, out.find('\n', from) - from))) {
    const size_t open = word.find('(');
    snps.emplace_back(word.substr(0, open), std::stod(word.substr(open + 1)));
  }
  return snps;
}

TEST(SingleFilesets, EachSignificantSnpGetsAFilesetThatPlinkReadsBack) {
  ASSERT_FALSE(plinkPath().empty()) << "plink 1.07 is not installed";
  // The oracle: plink's TREND p of every SNP of the data set, and so the significant SNPs at
  // 0.05 in rank order.
  const std::string oracle = makeWorkDirectory();
  ASSERT_EQ(runPlink({"--file", separated, "--model", "--out", "all"}, oracle).status, 0);
  const auto trendP = plinkResults(oracle + "/all.model", "TREND", "P");
  std::vector<std::pair<double, std::string>> ranked;
  for (const auto& [snp, p] : trendP) {
    if (std::stod(p) <= 0.05) ranked.emplace_back(std::stod(p), snp);
  }
  std::sort(ranked.begin(), ranked.end());
  ASSERT_EQ(ranked.size(), 4u);  // rs1, rs2, rs3 and rs5, by the fixture's making

  const auto pedRows = phenotypedPedRows(separated + ".ped");
  const auto families = famFields(pedRows);
  const auto mapRows = tableRows(readFile(separated + ".map"));
  struct Case {
    std::vector<std::string> extra;
    size_t filesets;
  } cases[] = {{{}, 4}, {{"--top", "2"}, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.extra));
    std::vector<std::string> args = {"--file", separated, "--plink", plinkPath(), "--alpha",
                                     "0.05", "--single", "--debug"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const zuqRun run = runZuq(args);
    const std::string& dir = run.directory;
    EXPECT_EQ(run.status, 0) << run.out;

    // The run ends with one line per fileset: no analysis, no table, no closing warning.
    std::string written;
    for (size_t i = 0; i < c.filesets; ++i) {
      written += "Writing single SNP : " + ranked[i].second + "\n";
    }
    ASSERT_GE(run.out.size(), written.size());
    EXPECT_EQ(run.out.substr(run.out.size() - written.size()), written) << run.out;
    EXPECT_FALSE(std::filesystem::exists(dir + "/out.zuq"));
    EXPECT_EQ(run.out.find("Analysis finished."), std::string::npos);
    const auto printedP = debugSignificantLine(run.out);
    ASSERT_EQ(printedP.size(), c.filesets) << run.out;

    for (size_t i = 0; i < c.filesets; ++i) {
      const std::string& name = ranked[i].second;
      const std::string base = "snp-" + std::to_string(i);
      SCOPED_TRACE(base + " " + name);
      // .bim: the SNP as the .map gives it, and no other.
      const auto bim = tableRows(readFile(dir + "/" + base + ".bim"));
      ASSERT_EQ(bim.size(), 1u);
      const auto map = std::find_if(mapRows.begin(), mapRows.end(),
                                    [&name](const auto& row) { return row[1] == name; });
      ASSERT_NE(map, mapRows.end());
      EXPECT_EQ(std::vector<std::string>(bim[0].begin(), bim[0].begin() + 4), *map);
      // .fam: the individuals with a phenotype, their own ids kept.
      EXPECT_EQ(tableRows(readFile(dir + "/" + base + ".fam")), families);

      // plink's scan of the fileset gives the data set's p, and so the p that zuq printed, to
      // the digits both print (four of plink's, six of zuq's).
      ASSERT_EQ(runPlink({"--bfile", base, "--model", "--out", base}, dir).status, 0);
      const auto filesetP = plinkResults(dir + "/" + base + ".model", "TREND", "P");
      ASSERT_EQ(filesetP.count(name), 1u);
      EXPECT_EQ(filesetP.at(name), trendP.at(name));
      EXPECT_EQ(printedP[i].first, name);
      EXPECT_NEAR(printedP[i].second, ranked[i].first,
                  halfUnit(ranked[i].first, 4) + halfUnit(printedP[i].second, 6));

      // plink's recoding of the .bed gives every genotype of the .ped, missing calls included.
      ASSERT_EQ(runPlink({"--bfile", base, "--recode", "--out", base + "-back"}, dir).status, 0);
      const size_t column = 6 + 2 * static_cast<size_t>(map - mapRows.begin());
      std::vector<std::string> expected, readBack;
      for (const auto& row : pedRows) expected.push_back(genotype(row[column], row[column + 1]));
      for (const auto& row : tableRows(readFile(dir + "/" + base + "-back.ped"))) {
        readBack.push_back(row.size() == 8 ? genotype(row[6], row[7]) : "<" + row[0] + ">");
      }
      EXPECT_EQ(readBack, expected);
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/snp-" + std::to_string(c.filesets) + ".bed"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/snp-" + std::to_string(c.filesets) + ".bim"));
  }
}

}  // namespace
