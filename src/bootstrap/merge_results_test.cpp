#include "bootstrap/merge_results.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "run/settings.h"
#include "test_support/settings_snapshot.h"

namespace {

using namespace std::string_literals;

// Natural logarithms from R: print(log(c(4, 2, 25, 1.5, 0.5)), digits = 17).
constexpr double ln4 = 1.38629436111989057;
constexpr double ln2 = 0.69314718055994529;
constexpr double ln25 = 3.21887582486820056;
constexpr double ln1_5 = 0.40546510810816438;
constexpr double lnHalf = -0.69314718055994529;
constexpr double na = missingValue;

// A death test's pattern: the whole output of the dying process, taken literally.
std::string literally(const std::string& text) {
  std::string pattern = "^";
  for (char c : text) {
    if (std::string(".[]{}()*+?^$|\\").find(c) != std::string::npos) pattern += '\\';
    pattern += c;
  }
  return pattern + "$";
}

class MergeResults : public testing::Test {
 protected:
  void SetUp() override {
    const char* names[] = {"rs1", "rs2", "rs3"};
    for (int k = 0; k < 3; ++k) {
      snp[k].name = names[k];
      snp[k].index = k;
      snp[k].allele1 = 'A';
      snp[k].allele2 = 'G';
    }
    studyType = 1;
    silent = 1;
    largeOrWarnings = 0;
  }

  resultRecord result(int k, double p) const {
    resultRecord r;
    r.snp = const_cast<snpRecord*>(&snp[k]);
    r.p = p;
    return r;
  }
  estimateRecord estimate(int k, double effect, char allele) const {
    estimateRecord e;
    e.snp = const_cast<snpRecord*>(&snp[k]);
    e.effect = effect;
    e.allele = allele;
    return e;
  }

  testsupport::settingsSnapshot settings;
  std::array<snpRecord, 3> snp;
};

void expectLog(double actual, double expected) {
  if (expected == na) {
    EXPECT_EQ(actual, na);
  } else {
    EXPECT_NEAR(actual, expected, 1e-15);
  }
}

TEST_F(MergeResults, NaiveEstimateIsOrientedAboveOneAndLogged) {
  struct Case {
    double effect;
    char allele;
    double un;
    char alleleUn;
    std::string output;
  };
  const std::string warning = "Warning: Log Odds Ratio > 3 found for snp: rs1 OR=3.21888\n";
  const Case cases[] = {
      {0.25, 'A', ln4, 'G', ""},
      {0.25, 'G', ln4, 'A', ""},
      {4.0, 'A', ln4, 'A', ""},
      {1.0, 'A', 0.0, 'A', ""},
      {0.5, 'C', ln2, 'C', ""},  // an allele the SNP does not have stays
      {na, 'A', na, 'A', ""},
      {25.0, 'A', ln25, 'A', warning},
      {0.04, 'G', ln25, 'A', warning},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.effect << " " << c.allele);
    std::vector<resultRecord> results = {result(0, 0.01)};
    std::vector<estimateRecord> estimates = {estimate(0, c.effect, c.allele)};
    testing::internal::CaptureStdout();
    mergeResults(results, estimates);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
    ASSERT_EQ(results.size(), 1u);
    expectLog(results[0].un, c.un);
    EXPECT_EQ(results[0].alleleUn, c.alleleUn);
    EXPECT_EQ(results[0].p, 0.01);
  }
}

TEST_F(MergeResults, NaiveMergeAlignsBySnpAndEndsSortedByP) {
  std::vector<resultRecord> results = {result(2, 0.02), result(0, 0.03), result(1, 0.01)};
  std::vector<estimateRecord> estimates = {estimate(1, 4.0, 'A'), estimate(2, 0.5, 'G'),
                                           estimate(0, 2.0, 'A')};
  mergeResults(results, estimates);
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].snp, &snp[1]);
  EXPECT_NEAR(results[0].un, ln4, 1e-15);
  EXPECT_EQ(results[0].alleleUn, 'A');
  EXPECT_EQ(results[1].snp, &snp[2]);
  EXPECT_NEAR(results[1].un, ln2, 1e-15);
  EXPECT_EQ(results[1].alleleUn, 'A');
  EXPECT_EQ(results[2].snp, &snp[0]);
  EXPECT_NEAR(results[2].un, ln2, 1e-15);
  EXPECT_EQ(results[2].alleleUn, 'A');
}

TEST_F(MergeResults, ResamplePairIsOrientedToTheAlleleOfUd) {
  struct Case {
    double ud;
    char alleleUd;
    double ue;
    char alleleUe;
    double expectedUd, expectedUe;
    char expectedAlleleUd, expectedAlleleUe;
  };
  const Case cases[] = {
      {0.5, 'A', 1.5, 'A', ln2, 0.0, 'G', 'G'},    // other side of 1: ue becomes 1
      {2.0, 'A', 4.0, 'G', ln2, 0.0, 'A', 'A'},    // 4 for G is 0.25 for A, then 1
      {2.0, 'A', 4.0, 'A', ln2, ln4, 'A', 'A'},
      {0.25, 'A', 0.5, 'A', ln4, ln2, 'G', 'G'},
      {0.5, 'A', 4.0, 'G', ln2, ln4, 'G', 'G'},
      {0.5, 'G', 1.5, 'A', ln2, ln1_5, 'A', 'A'},
      {1.0, 'A', 0.5, 'A', 0.0, lnHalf, 'A', 'A'},  // ud exactly 1 lies on neither side
      {0.5, 'C', 0.5, 'C', ln2, ln2, 'C', 'C'},
      {na, 'A', 2.0, 'A', na, na, 'A', 'A'},
      {2.0, 'A', na, 'G', na, na, 'A', 'G'},
      {na, 'A', -1.0, 'A', na, na, 'A', 'A'},       // missing is no error, even beside a negative
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ud << c.alleleUd << " " << c.ue << c.alleleUe);
    std::vector<resultRecord> results = {result(0, 0.01)};
    std::vector<estimateRecord> d = {estimate(0, c.ud, c.alleleUd)};
    std::vector<estimateRecord> e = {estimate(0, c.ue, c.alleleUe)};
    testing::internal::CaptureStdout();
    mergeResults(results, d, e);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(results.size(), 1u);
    const resultRecord& r = results[0];
    expectLog(r.ud, c.expectedUd);
    expectLog(r.ue, c.expectedUe);
    EXPECT_EQ(r.alleleUd, c.expectedAlleleUd);
    EXPECT_EQ(r.alleleUe, c.expectedAlleleUe);
    EXPECT_EQ(r.un, r.ud);
    EXPECT_EQ(r.alleleUn, r.alleleUd);
  }
}

TEST_F(MergeResults, ResampleMergeAlignsBySnpAndEndsSortedByP) {
  std::vector<resultRecord> results = {result(0, 0.03), result(2, 0.01), result(1, 0.02)};
  std::vector<estimateRecord> d = {estimate(2, 4.0, 'A'), estimate(0, 2.0, 'A'),
                                   estimate(1, 0.25, 'G')};
  std::vector<estimateRecord> e = {estimate(1, 0.5, 'G'), estimate(2, 2.0, 'A'),
                                   estimate(0, 4.0, 'A')};
  mergeResults(results, d, e);
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].snp, &snp[2]);
  EXPECT_NEAR(results[0].ud, ln4, 1e-15);
  EXPECT_NEAR(results[0].ue, ln2, 1e-15);
  EXPECT_EQ(results[1].snp, &snp[1]);
  EXPECT_NEAR(results[1].ud, ln4, 1e-15);
  EXPECT_NEAR(results[1].ue, ln2, 1e-15);
  EXPECT_EQ(results[1].alleleUd, 'A');
  EXPECT_EQ(results[2].snp, &snp[0]);
  EXPECT_NEAR(results[2].ud, ln2, 1e-15);
  EXPECT_NEAR(results[2].ue, ln4, 1e-15);
}

// SNPs whose records lie in memory in an order unlike their order in the data set (slot j of the
// storage holds the SNP of index slotIndex[j]), each estimate of its own size so that a record
// merged with another SNP's estimate shows. Records of equal p end in data-set order in both
// merges, NaN p last; the address order would give the slot order.
TEST_F(MergeResults, TiesOfEqualPFollowTheDataSetOrderNotTheMemoryOrder) {
  constexpr int n = 8;
  const int slotIndex[n] = {5, 2, 7, 0, 3, 6, 1, 4};
  std::array<snpRecord, n> storage;
  std::array<snpRecord*, n> byIndex{};
  for (int j = 0; j < n; ++j) {
    storage[j].index = slotIndex[j];
    storage[j].name = "rs" + std::to_string(slotIndex[j]);
    storage[j].allele1 = 'A';
    storage[j].allele2 = 'G';
    byIndex[slotIndex[j]] = &storage[j];
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    std::array<double, n> pByIndex;
    std::vector<int> expected;  // indexes in merged order
  };
  const Case cases[] = {
      {"all equal", {.01, .01, .01, .01, .01, .01, .01, .01}, {0, 1, 2, 3, 4, 5, 6, 7}},
      {"ties and NaNs", {.02, .01, nan, .02, .01, nan, .01, .02}, {1, 4, 6, 0, 3, 7, 2, 5}},
      {"all NaN", {nan, nan, nan, nan, nan, nan, nan, nan}, {0, 1, 2, 3, 4, 5, 6, 7}},
      {"one tie among distinct p", {.5, .4, .3, .2, .1, .2, .05, .6}, {6, 4, 3, 5, 2, 1, 0, 7}},
  };
  for (const Case& c : cases) {
    for (const bool resample : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.what << (resample ? ", resample" : ", naive"));
      std::vector<resultRecord> results;
      for (int j = 0; j < n; ++j) {  // in memory order
        resultRecord r;
        r.snp = &storage[j];
        r.p = c.pByIndex[slotIndex[j]];
        results.push_back(r);
      }
      std::vector<estimateRecord> d, e;
      for (int k = n - 1; k >= 0; --k) {  // in reverse data-set order
        estimateRecord estimate;
        estimate.snp = byIndex[k];
        estimate.allele = 'A';
        estimate.effect = 2.0 + k;
        d.push_back(estimate);
        estimate.effect = 3.0 + k;
        e.push_back(estimate);
      }
      if (resample) {
        mergeResults(results, d, e);
      } else {
        mergeResults(results, d);
      }
      std::vector<int> order;
      for (const resultRecord& r : results) {
        order.push_back(r.snp->index);
        const double own = std::log(2.0 + r.snp->index);
        EXPECT_NEAR(resample ? r.ud : r.un, own, 1e-15) << r.snp->name;
        if (resample) EXPECT_NEAR(r.ue, std::log(3.0 + r.snp->index), 1e-15) << r.snp->name;
      }
      EXPECT_EQ(order, c.expected);
    }
  }
}

TEST_F(MergeResults, LargeEstimateWarningsDependOnTheStudyType) {
  struct Case {
    int studyType;
    bool naiveWarns, resampleWarns;
  };
  const Case cases[] = {{0, false, true}, {1, true, false}, {2, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.studyType);
    studyType = c.studyType;
    largeOrWarnings = 0;

    std::vector<resultRecord> naive = {result(0, 0.01)};
    std::vector<estimateRecord> estimates = {estimate(0, 25.0, 'A')};
    testing::internal::CaptureStdout();
    mergeResults(naive, estimates);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              c.naiveWarns ? "Warning: Log Odds Ratio > 3 found for snp: rs1 OR=3.21888\n" : "");

    std::vector<resultRecord> resampled = {result(1, 0.01), result(2, 0.02)};
    std::vector<estimateRecord> d = {estimate(1, 25.0, 'A'), estimate(2, 2.0, 'A')};
    std::vector<estimateRecord> e = {estimate(1, 2.0, 'A'), estimate(2, 25.0, 'A')};
    testing::internal::CaptureStdout();
    mergeResults(resampled, d, e);
    const std::string output = testing::internal::GetCapturedStdout();
    if (c.resampleWarns) {
      // The warnings come in SNP-identity order, the order of the SNPs in the data set.
      EXPECT_EQ(output,
                "Warning: Log Odds Ratio > 3 found for snp: rs2 UdOR=3.21888 UeOR=0.693147\n"
                "Warning: Log Odds Ratio > 3 found for snp: rs3 UdOR=0.693147 UeOR=3.21888\n");
    } else {
      EXPECT_EQ(output, "");
    }
    EXPECT_EQ(largeOrWarnings.load(), (c.naiveWarns ? 1 : 0) + (c.resampleWarns ? 2 : 0));
  }
}

TEST_F(MergeResults, WarningsStopAtTheTwoHundredth) {
  struct Case {
    int studyType;
    bool resample;
  };
  const Case cases[] = {{1, false}, {0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resample ? "resample" : "naive");
    studyType = c.studyType;
    largeOrWarnings = 199;
    std::vector<resultRecord> results = {result(0, 0.01), result(1, 0.02), result(2, 0.03)};
    std::vector<estimateRecord> d, e;
    for (int k = 0; k < 3; ++k) {
      d.push_back(estimate(k, 30.0, 'A'));
      e.push_back(estimate(k, 30.0, 'A'));
    }
    testing::internal::CaptureStdout();
    if (c.resample) {
      mergeResults(results, d, e);
    } else {
      mergeResults(results, d);
    }
    const std::string output = testing::internal::GetCapturedStdout();
    size_t lines = 0;
    for (char ch : output) lines += ch == '\n';
    EXPECT_EQ(lines, 1u) << output;
    EXPECT_EQ(largeOrWarnings.load(), 200);
  }
}

TEST_F(MergeResults, NegativeOddsRatioEndsTheRun) {
  const double pairs[][2] = {{-0.5, 2.0}, {2.0, -0.5}};
  for (const auto& pair : pairs) {
    SCOPED_TRACE(testing::Message() << pair[0] << " " << pair[1]);
    std::vector<resultRecord> results = {result(0, 0.01)};
    std::vector<estimateRecord> d = {estimate(0, pair[0], 'A')};
    std::vector<estimateRecord> e = {estimate(0, pair[1], 'A')};
    EXPECT_EXIT(
        {
          dup2(STDERR_FILENO, STDOUT_FILENO);
          mergeResults(results, d, e);
        },
        testing::ExitedWithCode(1), literally("Negative odds ratio found! \n"));
  }
}

TEST_F(MergeResults, MisalignedListsEndTheRun) {
  struct Case {
    const char* name;
    std::vector<int> results, d, e;  // SNPs of each list; an empty e means the naive variant
    std::string message;
  };
  const Case cases[] = {
      {"naive, other SNP", {0}, {1}, {},
       "Error: mergeResults: cannot merge results, snp's are not in expected order.\n"
       "Expected: rs1 Got: rs2\n"},
      {"naive, fewer estimates", {0, 1}, {0}, {},
       "Error: mergeResults: didn't get the same # of snps for the results (2) and the "
       "estimates (1).\n"},
      {"naive, more estimates", {0}, {0, 1}, {},
       "Error: mergeResults: didn't get the same # of snps for the results (1) and the "
       "estimates (2).\n"},
      {"resample, other D SNP", {0}, {1}, {0},
       "Error: mergeResults: cannot merge, snp's are not in expected order.\n"
       "Expected: rs1 Got: rs2 rs1\n"},
      {"resample, other E SNP", {0}, {0}, {2},
       "Error: mergeResults: cannot merge, snp's are not in expected order.\n"
       "Expected: rs1 Got: rs1 rs3\n"},
      {"resample, D and E differ", {0, 1}, {0, 1}, {0},
       "Error: mergeResults: didn't get the same # of snps for D and E steps.\n"},
      {"resample, fewer estimates than records", {0, 1}, {0}, {0},
       "Error: mergeResults: didn't get the same # of snps for the results (2) and the D and E "
       "steps (1).\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<resultRecord> results;
    for (int k : c.results) results.push_back(result(k, 0.01));
    std::vector<estimateRecord> d, e;
    for (int k : c.d) d.push_back(estimate(k, 2.0, 'A'));
    for (int k : c.e) e.push_back(estimate(k, 2.0, 'A'));
    EXPECT_EXIT(
        {
          dup2(STDERR_FILENO, STDOUT_FILENO);
          if (c.e.empty()) {
            mergeResults(results, d);
          } else {
            mergeResults(results, d, e);
          }
        },
        testing::ExitedWithCode(1), literally(c.message));
  }
}

TEST_F(MergeResults, EmptyListsMergeToNothing) {
  std::vector<resultRecord> results;
  std::vector<estimateRecord> d, e;
  mergeResults(results, d);
  mergeResults(results, d, e);
  EXPECT_TRUE(results.empty());
}

TEST(OtherAllele, SwapsTheSnpAllelesAndKeepsAnyOtherCharacter) {
  snpRecord snp;
  snp.allele1 = 'A';
  snp.allele2 = 'G';
  snpRecord monomorphic;
  monomorphic.allele1 = 'T';
  struct Case {
    const snpRecord* snp;
    char allele, expected;
  };
  const Case cases[] = {
      {&snp, 'A', 'G'}, {&snp, 'G', 'A'}, {&snp, 'C', 'C'}, {&snp, 0, 0},
      {&monomorphic, 'T', 0}, {&monomorphic, 0, 'T'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.allele));
    EXPECT_EQ(otherAllele(*c.snp, c.allele), c.expected);
  }
}

// Expected lines from Python's printf-style formatting of the same format.
TEST_F(MergeResults, PrintResultMatrixWritesOneLinePerRecordUnlessSilent) {
  snp[1].name = "rs_0123456789abcdef";
  resultRecord first = result(0, 0.001);
  first.ud = ln2;
  first.ue = 0.0;
  first.alleleUd = first.alleleUe = 'A';
  resultRecord second = result(1, 3.25e-05);
  second.ud = ln1_5;
  second.ue = lnHalf;
  second.alleleUd = second.alleleUe = 'C';
  resultRecord third = result(2, 1.5e-8);
  third.ud = ln4;
  third.ue = na;
  third.alleleUd = third.alleleUe = 'G';
  const std::vector<resultRecord> records = {first, second, third};

  testing::internal::CaptureStdout();
  printResultMatrix("L1[N]", "    ", records);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  silent = 0;
  testing::internal::CaptureStdout();
  printResultMatrix("L1[N]", "    ", records);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Matrix L1[N]\n"
            "        0:             rs1 p=       0.001   UdOR,A1=(2.000,A)   UeOR,A1=(1.000,A)\n"
            "        1: rs_0123456789abcdef p=    3.25e-05   UdOR,A1=(1.500,C)   "
            "UeOR,A1=(0.500,C)\n"
            "        2:             rs3 p=     1.5e-08   UdOR,A1=(4.000,G)   "
            "UeOR,A1=( inf,G)\n");
}

TEST_F(MergeResults, PrintResultMatrixKeepsLongNamesAndUnsetAllelesWhole) {
  silent = 0;
  snp[0].name = std::string(1500, 'x');
  resultRecord longName = result(0, 0.02);
  longName.ud = ln2;
  longName.ue = 0.0;
  longName.alleleUd = longName.alleleUe = 'A';
  resultRecord unsetAllele = result(1, 0.02);
  snp[1].name = "N";
  unsetAllele.ud = ln2;
  unsetAllele.ue = 0.0;
  testing::internal::CaptureStdout();
  printResultMatrix("L2[N][M]", "       ", {longName, unsetAllele});
  const std::string expected =
      "Matrix L2[N][M]\n"
      "           0: " + std::string(1500, 'x') +
      " p=        0.02   UdOR,A1=(2.000,A)   UeOR,A1=(1.000,A)\n" +
      "           1:               N p=        0.02   UdOR,A1=(2.000,\0)   UeOR,A1=(1.000,\0)\n"s;
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}

// A scan of 40 SNPs stored in reverse data-set order, p in groups of four equal values, every
// third p NaN: ascending p, NaN last, and every tie, NaNs too, in data-set order.
TEST(ResultOrders, SortByPPutsNaNLastAndBreaksTiesByDataSetOrder) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr size_t n = 40;
  std::vector<snpRecord> storage(n);
  std::vector<significanceRecord> scan(n);
  for (size_t j = 0; j < n; ++j) {
    storage[j].index = static_cast<int32_t>(n - 1 - j);
    const size_t i = n - 1 - j;
    scan[j].snp = &storage[j];
    scan[j].p = (i % 3 == 0) ? nan : double(10 - i / 4) / 100;
  }
  std::sort(scan.begin(), scan.end(), lessSignificanceByP);
  size_t firstNaN = 0;
  while (firstNaN < scan.size() && !std::isnan(scan[firstNaN].p)) ++firstNaN;
  EXPECT_EQ(firstNaN, 26u);
  for (size_t i = 1; i < firstNaN; ++i) {
    const bool tieInOrder =
        scan[i - 1].p == scan[i].p && scan[i - 1].snp->index < scan[i].snp->index;
    EXPECT_TRUE(scan[i - 1].p < scan[i].p || tieInOrder) << i;
  }
  for (size_t i = firstNaN; i < scan.size(); ++i) {
    EXPECT_TRUE(std::isnan(scan[i].p));
    if (i > firstNaN) EXPECT_LT(scan[i - 1].snp->index, scan[i].snp->index);
  }
}

TEST(ResultOrders, SnpsByPositionCompareChromosomeFirst) {
  snpRecord a, b;
  struct Case {
    int chrA, posA, chrB, posB;
    bool less;
  };
  const Case cases[] = {
      {1, 500, 2, 100, true}, {2, 100, 1, 500, false}, {3, 10, 3, 20, true}, {3, 20, 3, 20, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.chrA << ":" << c.posA << " " << c.chrB << ":" << c.posB);
    a.chromosome = c.chrA;
    a.position = c.posA;
    b.chromosome = c.chrB;
    b.position = c.posB;
    EXPECT_EQ(lessSnpByPosition(a, b), c.less);
  }
}

}  // namespace
