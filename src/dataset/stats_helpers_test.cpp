#include "dataset/stats_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "dataset/missing_value.h"

namespace {

TEST(StatsHelpers, MeanSkipsMissingValues) {
  EXPECT_EQ(meanIgnoringMissing({}), missingValue);
  EXPECT_DOUBLE_EQ(meanIgnoringMissing({1, missingValue, 3}), 2.0);
  EXPECT_TRUE(std::isnan(meanIgnoringMissing({missingValue})));
}

TEST(StatsHelpers, SampleStandardDeviation) {
  // R: sd(c(2, 4, 4, 4, 5, 5, 7, 9)) = 2.138089935299395
  EXPECT_NEAR(sdIgnoringMissing({2, 4, 4, 4, 5, 5, 7, 9}), 2.138089935299395, 1e-14);
  EXPECT_NEAR(sdIgnoringMissing({2, missingValue, 4}), std::sqrt(2.0), 1e-14);
  EXPECT_EQ(sdIgnoringMissing({}), missingValue);
  EXPECT_EQ(sdIgnoringMissing({5}), missingValue);
  EXPECT_EQ(sdIgnoringMissing({missingValue, 5}), missingValue);
  // R: sd(c(0.1, 0.1, 0.1)) = 0; the one-pass variance rounds to -2.6e-18 here.
  EXPECT_EQ(sdIgnoringMissing({0.1, 0.1, 0.1}), 0.0);
}

TEST(StatsHelpers, TableAlignsFirstColumnLeftAndTheRestRight) {
  std::ostringstream out;
  printTable(out, {{"CHR", "SNP", "P"}, {"1", "rs1234567", "0.05"}});
  EXPECT_EQ(out.str(),
            "CHR        SNP     P  \n"
            "1    rs1234567  0.05  \n");
}

TEST(StatsHelpers, IntToString) {
  EXPECT_EQ(intToString(0), "0");
  EXPECT_EQ(intToString(-7), "-7");
  EXPECT_EQ(intToString(2147483647), "2147483647");
}

}  // namespace
