// Confidence intervals of Uboot from the spread of the level-1 Uboot values.
#pragma once

#include <vector>

// One entry per significant rank; missingValue where a bound cannot be computed.
inline std::vector<double> ciLower;
inline std::vector<double> ciUpper;

void computeConfidenceIntervals();
