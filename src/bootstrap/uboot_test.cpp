#include "bootstrap/uboot.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bootstrap/correlation.h"
#include "bootstrap/level_test_data.h"
#include "dataset/stats_helpers.h"
#include "run/random_generator.h"
#include "run/settings.h"
#include "test_support/bootstrap_snapshot.h"
#include "test_support/settings_snapshot.h"
#include "association/scan_test_data.h"

namespace {

using leveltest::countLines;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Puts back every setting, the bootstrap results and the generator; empties the data set and
// the correlation state.
class ubootGuard {
 public:
  ubootGuard() : rng_(rng) {}
  ~ubootGuard() {
    rng = rng_;
    freeDataSet();
    resetCorrelationState();
  }

 private:
  testsupport::settingsSnapshot settings_;
  testsupport::bootstrapSnapshot results_;
  randomGenerator rng_;
};

struct pairCase {
  const char* what;
  double ud, ue;
  char alleleUd, alleleUe;
  double logUd, logUe;
};

TEST(CorrelationPair, OrientsUeOnUdsSideOfOneBeforeTakingLogs) {
  const pairCase cases[] = {
      {"opposite sides: Ue becomes 1, then both inverted", 0.5, 4, 'A', 'A', std::log(2.0), 0},
      {"allele flip, then opposite sides", 0.5, 0.25, 'A', 'G', std::log(2.0), 0},
      {"allele flip puts Ue on Ud's side", 2, 0.5, 'A', 'G', std::log(2.0), std::log(2.0)},
      {"both below 1: both inverted", 0.5, 0.25, 'C', 'C', std::log(2.0), std::log(4.0)},
      {"both above 1: unchanged", 2, 3, 'C', 'C', std::log(2.0), std::log(3.0)},
      {"Ud exactly 1 is on neither side", 1, 0.5, 'C', 'C', 0, std::log(0.5)},
  };
  for (const pairCase& c : cases) {
    SCOPED_TRACE(c.what);
    double ud = c.ud;
    double ue = c.ue;
    char alleleUe = c.alleleUe;
    orientCorrelationPair(ud, ue, c.alleleUd, alleleUe);
    EXPECT_NEAR(ud, c.logUd, 1e-15);
    EXPECT_NEAR(ue, c.logUe, 1e-15);
    EXPECT_EQ(alleleUe, c.alleleUd);
  }
}

TEST(CorrelationPair, KeepsOddsRatiosBetween1e20And1e10Inclusive) {
  struct keepCase {
    double ud, ue;
    bool kept;
  };
  const keepCase cases[] = {
      {1e-20, 1e10, true},         {1.5, 0.7, true},
      {1e-20 * 0.999, 1, false},   {1, 1e10 * 1.000001, false},
      {0, 1, false},               {1, missingValue, false},
      {missingValue, 1, false},    {1, inf, false},
      {nan, 1, false},
  };
  for (const keepCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.ud) + " " + std::to_string(c.ue));
    EXPECT_EQ(usableCorrelationPair(c.ud, c.ue), c.kept);
  }
}

TEST(CorrelationPrefix, CarriesTheScratchPrefixAndTheThreadNumber) {
  ubootGuard guard;
  scratchPrefix = "/scratch/temp.zuq.0012345.";
  EXPECT_EQ(correlationPrefix("cor_Ud"), "/scratch/temp.zuq.0012345.cpu0cor_Ud");
  std::vector<std::string> names(3);
#pragma omp parallel num_threads(3)
  names[static_cast<size_t>(omp_get_thread_num())] = correlationPrefix("cor_Ue");
  for (int t = 0; t < 3; ++t) {
    EXPECT_EQ(names[static_cast<size_t>(t)],
              "/scratch/temp.zuq.0012345.cpu" + std::to_string(t) + "cor_Ue");
  }
}

double twoPassSd(const std::vector<double>& v) {
  double mean = 0;
  for (double x : v) mean += x;
  mean /= static_cast<double>(v.size());
  double squares = 0;
  for (double x : v) squares += (x - mean) * (x - mean);
  return std::sqrt(squares / static_cast<double>(v.size() - 1));
}

// The DUMMY estimate gives every SNP an odds ratio 1 + U from rng, so the fields can be
// followed draw by draw: per pass one draw per individual for the resample, two for Ud and
// two for Ue; at the end two for the estimate on all individuals.
TEST(UdUeCorrelation, FollowsTheResampleAndEstimateDraws) {
  scantest::settingsGuard settings;
  ubootGuard guard;
  scantest::buildDataSet(8);  // 4 cases, 4 controls
  estimateType = 66;
  silent = 1;
  debugLevel = 0;
  for (int passes : {0, 1, 5}) {
    SCOPED_TRACE(std::to_string(passes) + " passes");
    adjNsample = passes;
    snpRecord& snp = *snps[3];
    snp.covUdUe = snp.sdUd = snp.absLogOrFull = missingValue;
    resetCorrelationState();
    rng.seed(77);
    randomGenerator replay(77);
    std::vector<double> uds, ues;
    for (int pass = 0; pass < passes; ++pass) {
      for (int draw = 0; draw < 8; ++draw) replay.next();
      uds.push_back(std::log(1 + replay.uniform()));
      replay.next();
      ues.push_back(std::log(1 + replay.uniform()));
      replay.next();
    }
    const double full = std::log(1 + replay.uniform());

    testing::internal::CaptureStdout();
    computeUdUeCorrelation(snp);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(countLines(out, "Computing Ud/Ue correlation for snp: rs3"), 1);
    EXPECT_EQ(countLines(out, "DUMMY estimation.. n= 1"), 2 * passes + 1);

    EXPECT_NEAR(snp.absLogOrFull, full, 1e-15);
    if (passes == 0) {
      EXPECT_EQ(snp.covUdUe, 0.0);  // 0 / -1
      EXPECT_TRUE(std::signbit(snp.covUdUe));
      EXPECT_EQ(snp.sdUd, missingValue);
    } else if (passes == 1) {
      EXPECT_TRUE(std::isnan(snp.covUdUe));  // 0 / 0
      EXPECT_EQ(snp.sdUd, missingValue);
    } else {
      double meanUd = 0;
      double meanUe = 0;
      for (int i = 0; i < passes; ++i) {
        meanUd += uds[i] / passes;
        meanUe += ues[i] / passes;
      }
      double sum = 0;
      for (int i = 0; i < passes; ++i) sum += (uds[i] - meanUd) * (ues[i] - meanUe);
      EXPECT_NEAR(snp.covUdUe, sum / (passes - 1), 1e-15);
      EXPECT_NEAR(snp.sdUd, twoPassSd(uds), 1e-12);
    }

    // Once computed, a SNP is never computed again: no output, no draw.
    const randomGenerator before = rng;
    testing::internal::CaptureStdout();
    computeUdUeCorrelation(snp);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(rng.feed, before.feed);
    EXPECT_EQ(rng.lag, before.lag);
  }
}

TEST(UdUeCorrelation, PrintsPairsWhenVerboseAndDebugLines) {
  scantest::settingsGuard settings;
  ubootGuard guard;
  scantest::buildDataSet(8);
  estimateType = 66;
  adjNsample = 3;
  silent = 0;
  debugLevel = 1;
  resetCorrelationState();
  testing::internal::CaptureStdout();
  computeUdUeCorrelation(*snps[0]);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(countLines(out, "EEE Ud Ue "), 3);
  EXPECT_EQ(countLines(out, "UdOR C "), 3);
  EXPECT_NE(out.find(" UeOR C "), std::string::npos);
  EXPECT_EQ(countLines(out, "rs0 Covariance = "), 1);
  EXPECT_NE(out.find(" Cor = "), std::string::npos);
  EXPECT_NE(out.find(" Un="), std::string::npos);
}

TEST(UdUeCorrelation, LargeEffectWarningsOnlyWithoutStrataAndUpTo200) {
  scantest::settingsGuard settings;
  ubootGuard guard;
  scantest::buildDataSet(8);
  estimateType = 66;
  adjNsample = 3;
  silent = 1;
  maxLogOddsRatio = -1;  // every DUMMY pair, whose logs are at least 0, counts as large
  struct warningCase {
    int studyType, before, lines;
  };
  const warningCase cases[] = {{0, 0, 3}, {1, 0, 0}, {2, 0, 0}, {0, 199, 1}, {0, 200, 0}};
  for (const warningCase& c : cases) {
    SCOPED_TRACE("studyType " + std::to_string(c.studyType) + ", " + std::to_string(c.before) +
                 " warnings before");
    studyType = c.studyType;
    largeOrWarnings = c.before;
    snps[0]->covUdUe = missingValue;
    resetCorrelationState();
    testing::internal::CaptureStdout();
    computeUdUeCorrelation(*snps[0]);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(countLines(out, "Warning: Log Odds Ratio > -1 found for snp: rs0 UdOR="), c.lines);
    EXPECT_EQ(largeOrWarnings.load(), c.before + c.lines);
  }
}

// The allelic estimate of a SNP without a single typed genotype is missing on every subset:
// every pair is rejected, and there is no full-data effect to correct towards.
TEST(UdUeCorrelation, MissingFullDataEstimateLeavesAbsLogOrMissing) {
  scantest::settingsGuard settings;
  ubootGuard guard;
  scantest::buildDataSet(20);
  for (individualRecord* person : individuals) setGenotype(person->genotypes, 2, missingGenotype);
  estimateType = 2;
  adjNsample = 4;
  silent = 1;
  resetCorrelationState();
  testing::internal::CaptureStdout();
  computeUdUeCorrelation(*snps[2]);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(snps[2]->absLogOrFull, missingValue);
  EXPECT_EQ(snps[2]->sdUd, missingValue);
  EXPECT_EQ(snps[2]->covUdUe, 0.0);
}

// Without covariates the correlation step fits Ud and Ue from the draw counts of a resample,
// never building its lists; it must give what the fits on the lists give. With --debug the lists
// are built (the step then prints per-pair lines), so the two routes meet on the same draws.
TEST(UdUeCorrelation, DrawCountsGiveTheEstimatesOfTheResampleLists) {
  scantest::settingsGuard settings;
  ubootGuard guard;
  scantest::buildDataSet(61);  // 30 cases, 31 controls, a rare SNP, about 2% missing genotypes
  estimateType = 0;
  adjNsample = 12;
  silent = 0;
  // Everything but the lines only --debug prints.
  const auto withoutDebugLines = [](const std::string& text) {
    std::string kept;
    size_t at = 0;
    while (at < text.size()) {
      const size_t end = text.find('\n', at) + 1;
      const std::string line = text.substr(at, end - at);
      if (line.rfind("EEE ", 0) != 0 && line.find(" Covariance = ") == std::string::npos)
        kept += line;
      at = end;
    }
    return kept;
  };
  for (snpRecord* snp : snps) {
    SCOPED_TRACE(snp->name);
    std::string output[2];
    double fields[2][3];
    uint32_t next[2];
    for (int route = 0; route < 2; ++route) {
      debugLevel = route;  // 0: from the draw counts; 1: on the lists
      snp->covUdUe = snp->sdUd = snp->absLogOrFull = missingValue;
      resetCorrelationState();
      rng.seed(303);
      testing::internal::CaptureStdout();
      computeUdUeCorrelation(*snp);
      output[route] = withoutDebugLines(testing::internal::GetCapturedStdout());
      fields[route][0] = snp->covUdUe;
      fields[route][1] = snp->sdUd;
      fields[route][2] = snp->absLogOrFull;
      next[route] = rng.next();
    }
    EXPECT_GE(countLines(output[0], "UdOR "), 1);  // the rare SNP loses pairs to missing Ue
    EXPECT_EQ(output[0], output[1]);
    for (int f = 0; f < 3; ++f) EXPECT_EQ(std::memcmp(&fields[0][f], &fields[1][f], 8), 0);
    EXPECT_EQ(next[0], next[1]);
  }
}

// Three SNPs whose Uboot fields a case sets directly; rank k of the reference is SNP k.
class UbootFixture : public testing::Test {
 protected:
  void SetUp() override {
    scantest::buildDataSet(4, {{0.3, 0.3}, {0.3, 0.3}, {0.3, 0.3}});
    const double mafs[] = {0.2, 0.3, 0.4};
    for (int j = 0; j < 3; ++j) snps[j]->maf = mafs[j];
    reference = {record(0, 0.5, 0, 0), record(1, 0.8, 0, 0)};
    debugLevel = 0;
  }
  static resultRecord record(int snp, double un, double ud, double ue) {
    resultRecord r;
    r.snp = snps[static_cast<size_t>(snp)];
    r.un = un;
    r.ud = ud;
    r.ue = ue;
    return r;
  }
  static void setFields(int snp, double absLogOrFull, double covariance, double sdUd) {
    snps[static_cast<size_t>(snp)]->absLogOrFull = absLogOrFull;
    snps[static_cast<size_t>(snp)]->covUdUe = covariance;
    snps[static_cast<size_t>(snp)]->sdUd = sdUd;
  }

  scantest::settingsGuard settings;
  ubootGuard guard;
  std::vector<resultRecord> reference;
};

struct ubootCase {
  const char* what;
  int adjCor, mafCorrection;
  double absLogOrFull, covariance, sdUd;  // of SNP 1
  std::vector<std::vector<std::array<double, 3>>> replicates;  // {snp, ud, ue} per rank
  double rank0, rank1;
  std::array<double, 3> mafs = {0.2, 0.3, 0.4};  // of SNPs 0, 1, 2
};

// From R: testdata/interval_oracles.R.
const double mafScaled = -0.0353150026;
const double mafScaledWithoutSnp1 = -0.1123724357;

TEST_F(UbootFixture, MeanDifferencePerRankWithAdjustments) {
  const double zero = 0.0;
  const ubootCase cases[] = {
      {"plain mean", 0, 0, 0, 0, 0,
       {{{0, .4, .1}, {1, .9, .3}}, {{1, .6, .2}}, {}}, 0.15, 0.2},
      {"no replicate reaches a rank", 0, 0, 0, 0, 0, {{{0, .4, .1}}}, 0.2, missingValue},
      {"no replicate at all", 0, 0, 0, 0, 0, {}, missingValue, missingValue},
      {"zero, subnormal, infinite, NaN and missing pairs are dropped", 0, 0, 0, 0, 0,
       {{{0, .4, 0}}, {{0, 1e-310, .1}}, {{0, inf, .1}}, {{0, .4, nan}},
        {{0, missingValue, .1}}, {{0, .4, missingValue}}, {{0, .4, .1}}},
       0.2, missingValue},
      {"largest double and smallest normal are kept", 0, 0, 0, 0, 0,
       {{{0, DBL_MAX, DBL_MIN}}}, 0.5 - DBL_MAX, missingValue},
      {"allele-frequency scale", 0, 1, 0, 0, 0, {{{1, .5, .1}}, {{2, .7, .2}}}, mafScaled,
       missingValue},
      {"correlation adjustment, negative result kept", 1, 0, 0.3, 0.02, 0.2,
       {{{1, .7, .1}}}, -0.3, missingValue},
      {"adjusted Ue of exactly 0 is dropped", 1, 0, 0.5, 0.25, 0.5, {{{1, .75, .25}}},
       missingValue, missingValue},  // .25 - (.75 - .5) * .25 / .25, exact in binary
      {"no full-data estimate: Ue unadjusted", 1, 0, missingValue, 0.02, 0.2,
       {{{1, .7, .1}}}, -0.1, missingValue},
      {"one kept correlation pair: NaN covariance drops the pair", 1, 0, 0.3, nan,
       missingValue, {{{1, .7, .1}}}, missingValue, missingValue},
      {"no kept correlation pair: Ue unadjusted", 1, 0, 0.3, -zero, missingValue,
       {{{1, .7, .1}}}, -0.1, missingValue},
      // A reference SNP whose minor allele is absent from the controls has a genotype SD of 0:
      // there is no scale, hence no Uboot (not un - d / 0).
      {"reference SNP with genotype SD 0: no Uboot", 0, 1, 0, 0, 0,
       {{{1, .5, .1}}, {{2, .7, .2}}}, missingValue, missingValue, {0, 0.3, 0.4}},
      {"reference SNP of frequency 1: no Uboot", 0, 1, 0, 0, 0,
       {{{1, .5, .1}}}, missingValue, missingValue, {1, 0.3, 0.4}},
      {"reference SNP without calls: no Uboot", 0, 1, 0, 0, 0,
       {{{1, .5, .1}}}, missingValue, missingValue, {nan, 0.3, 0.4}},
      {"replicate SNP with genotype SD 0 is left out, not counted as 0", 0, 1, 0, 0, 0,
       {{{1, .5, .1}}, {{2, .7, .2}}}, mafScaledWithoutSnp1, missingValue, {0.2, 0, 0.4}},
      {"replicate SNP without calls is left out", 0, 1, 0, 0, 0,
       {{{1, .5, .1}}, {{2, .7, .2}}}, mafScaledWithoutSnp1, missingValue, {0.2, nan, 0.4}},
      {"only replicate SNPs without a scale: no Uboot", 0, 1, 0, 0, 0,
       {{{1, .5, .1}}, {{2, .7, .2}}}, missingValue, missingValue, {0.2, 0, 1}},
      {"without the MAF correction no SD is needed", 0, 0, 0, 0, 0,
       {{{1, .5, .1}}, {{2, .7, .2}}}, 0.05, missingValue, {0, 0, 1}},
  };
  for (const ubootCase& c : cases) {
    SCOPED_TRACE(c.what);
    adjCor = c.adjCor;
    mafCorrection = c.mafCorrection;
    setFields(0, 0, 0, 1);  // SNPs 0 and 2: computed, adjustment (Ud - 0) * 0 / 1 = 0
    setFields(2, 0, 0, 1);
    setFields(1, c.absLogOrFull, c.covariance, c.sdUd);
    for (size_t j = 0; j < 3; ++j) snps[j]->maf = c.mafs[j];
    resetCorrelationState();
    std::vector<replicate> replicates;
    for (const auto& rows : c.replicates) {
      replicate r;
      for (const auto& cell : rows) {
        r.push_back(record(static_cast<int>(cell[0]), 0, cell[1], cell[2]));
      }
      replicates.push_back(r);
    }
    testing::internal::CaptureStdout();
    const std::vector<double> got = computeUboot(reference, replicates, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // nothing computed, no debug
    ASSERT_EQ(got.size(), 2u);
    const double expected[] = {c.rank0, c.rank1};
    for (int k = 0; k < 2; ++k) {
      SCOPED_TRACE("rank " + std::to_string(k));
      if (expected[k] == missingValue) {
        EXPECT_EQ(got[k], missingValue);
      } else {
        EXPECT_NEAR(got[k], expected[k], 1e-7 * std::max(1.0, std::fabs(expected[k])));
      }
    }
  }
}

TEST_F(UbootFixture, DebugLinesPerReplicateAndPerRank) {
  adjCor = 0;
  mafCorrection = 0;
  debugLevel = 1;
  const std::vector<replicate> replicates = {{record(0, 0, .4, .1)}};
  struct modeCase {
    int mode;
    std::string expected;
  };
  const modeCase cases[] = {
      {1,
       "Computing uboot using 1 iterations,,,\n0.5 0.8 ...\n"
       "COR: rs0 0.5 rs0 1e+81 0.4 0.1 0.1 1e+81 1e+81\n"
       "DDD bias: 0.2\n"
       "   SNP   0:rs0 computed bias using 1 samples: Un[k]=0.5 Uboot=0.2 Bias=0.3 "
       "Bias.SD=1e+81 Ud.SD=1e+81 Ue.SD=1e+81\n"
       "   SNP   1:rs1 computed bias using 0 samples: Un[k]=0.8 Uboot=1e+81 Bias=-1e+81 "
       "Bias.SD=1e+81 Ud.SD=1e+81 Ue.SD=1e+81\n"},
      {0,
       "Computing uboot using 1 iterations,,,\n0.5 0.8 ...\n"
       "COR: rs0 0.5 rs0 1e+81 0.4 0.1 0.1 1e+81 1e+81\n"
       "DDD bias: 0.2\n"},
  };
  for (const modeCase& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode));
    testing::internal::CaptureStdout();
    computeUboot(reference, replicates, c.mode);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.expected);
  }
}

// Lines of text that are exactly the given line.
int linesEqual(const std::string& text, const std::string& line) {
  int count = 0;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (text.compare(at, end - at, line) == 0) ++count;
    at = end + 1;
  }
  return count;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return false;
  }
  return true;
}

// A data set of 12 SNPs with frequencies, whose correlations come from dummy estimates (draws
// of the generator) over 4 resamples each, and no printing of pairs.
void useDummyCorrelations() {
  scantest::buildDataSet(40);
  for (size_t j = 0; j < snps.size(); ++j) snps[j]->maf = 0.1 + 0.03 * static_cast<double>(j);
  estimateType = 66;
  adjCor = 1;
  adjNsample = 4;
  mafCorrection = 1;
  silent = 1;
  debugLevel = 0;
}

// Eight level-1 threads meet the same SNPs without correlations at the same moment: each SNP
// must be computed exactly once, and every thread must see the published fields.
TEST(UbootThreads, EachCorrelationComputedOnceAndResultsMatchOneThread) {
  scantest::settingsGuard settings;
  ubootGuard guard;
  useDummyCorrelations();
  const int ranks = 3;
  std::vector<resultRecord> reference;
  for (int k = 0; k < ranks; ++k) {
    resultRecord r;
    r.snp = snps[static_cast<size_t>(k)];
    r.un = 0.4 - 0.1 * k;
    reference.push_back(r);
  }
  // 20 replicates over 9 of the 12 SNPs, so that SNPs 9 to 11 are never met.
  std::vector<replicate> replicates;
  for (int b = 0; b < 20; ++b) {
    replicate rows;
    for (int k = 0; k < ranks; ++k) {
      resultRecord r;
      r.snp = snps[static_cast<size_t>((b + 4 * k) % 9)];
      r.ud = 0.3 + 0.01 * b + 0.05 * k;
      r.ue = 0.1 + 0.02 * ((7 * b + k) % 5);
      rows.push_back(r);
    }
    replicates.push_back(rows);
  }
  struct routeCase {
    const char* what;
    bool sizedTable;
  };
  const routeCase routes[] = {{"per-SNP state table", true}, {"SNPs outside the table", false}};
  for (const routeCase& route : routes) {
    SCOPED_TRACE(route.what);
    for (snpRecord* snp : snps) snp->covUdUe = snp->sdUd = snp->absLogOrFull = missingValue;
    if (route.sizedTable) {
      resetCorrelationState();
    } else {
      std::vector<snpRecord*> none;
      std::swap(none, snps);
      resetCorrelationState();  // an empty table
      std::swap(none, snps);
    }
    const int threads = 8;
    std::vector<std::vector<double>> results(threads);
    omp_set_num_threads(threads);
    testing::internal::CaptureStdout();
#pragma omp parallel num_threads(threads)
    results[static_cast<size_t>(omp_get_thread_num())] = computeUboot(reference, replicates, 2);
    const std::string out = testing::internal::GetCapturedStdout();
    for (size_t j = 0; j < snps.size(); ++j) {
      SCOPED_TRACE(snps[j]->name);
      EXPECT_EQ(linesEqual(out, "Computing Ud/Ue correlation for snp: " + snps[j]->name),
                j < 9 ? 1 : 0);
      EXPECT_EQ(snps[j]->covUdUe != missingValue, j < 9);
    }
    testing::internal::CaptureStdout();
    const std::vector<double> single = computeUboot(reference, replicates, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    for (int t = 0; t < threads; ++t) {
      SCOPED_TRACE("thread " + std::to_string(t));
      EXPECT_TRUE(sameBits(results[static_cast<size_t>(t)], single));
    }
    for (double value : single) EXPECT_TRUE(std::isfinite(value) && value != missingValue);
  }
}

// Called alone, the ranks share out among the threads: every rank's value is the one that one
// thread gives, with the correlations computed before or on first use.
TEST(UbootThreads, RanksOnAllThreadsGiveTheValuesOfOneThread) {
  scantest::settingsGuard settings;
  ubootGuard guard;
  useDummyCorrelations();
  const int ranks = static_cast<int>(snps.size());
  std::vector<resultRecord> reference;
  for (int k = 0; k < ranks; ++k) {
    resultRecord r;
    r.snp = snps[static_cast<size_t>(k)];
    r.un = 0.5 - 0.01 * k;
    reference.push_back(r);
  }
  std::vector<replicate> replicates;
  for (int b = 0; b < 30; ++b) {
    replicate rows;
    for (int k = 0; k < ranks - b % 4; ++k) {  // some replicates short of the last ranks
      resultRecord r;
      r.snp = snps[static_cast<size_t>((b + 5 * k) % ranks)];
      r.ud = 0.3 + 0.01 * b + 0.02 * k;
      r.ue = 0.1 + 0.02 * ((7 * b + k) % 5);
      rows.push_back(r);
    }
    replicates.push_back(rows);
  }
  resetCorrelationState();
  testing::internal::CaptureStdout();
  omp_set_num_threads(8);
  const std::vector<double> computedOnUse = computeUboot(reference, replicates, 1);
  omp_set_num_threads(1);
  const std::vector<double> oneThread = computeUboot(reference, replicates, 1);
  omp_set_num_threads(8);
  const std::vector<double> allThreads = computeUboot(reference, replicates, 1);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(sameBits(allThreads, oneThread));
  // Computed on first use on several threads, the correlations are those used afterwards.
  EXPECT_TRUE(sameBits(computedOnUse, oneThread));
  int finite = 0;
  for (double value : oneThread) finite += std::isfinite(value) && value != missingValue;
  EXPECT_EQ(finite, ranks);
}

// The parallel step over the significant SNPs: 10 SNPs on 4 threads, each computed once.
TEST(Correlations, EverySignificantSnpComputedOnceOnAllThreads) {
  scantest::settingsGuard settings;
  ubootGuard guard;
  scantest::buildDataSet(20);
  estimateType = 66;
  adjNsample = 2;
  silent = 1;
  for (int j = 0; j < 10; ++j) {
    resultRecord r;
    r.snp = snps[static_cast<size_t>(j)];
    naiveResults.push_back(r);
  }
  omp_set_num_threads(4);
  testing::internal::CaptureStdout();
  computeCorrelations();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Computing Ud/Ue correlation for significant snps..\n", 0), 0u);
  for (size_t j = 0; j < snps.size(); ++j) {
    SCOPED_TRACE(snps[j]->name);
    EXPECT_EQ(linesEqual(out, "Computing Ud/Ue correlation for snp: " + snps[j]->name),
              j < 10 ? 1 : 0);
    EXPECT_EQ(snps[j]->absLogOrFull != missingValue, j < 10);
  }
}

}  // namespace
