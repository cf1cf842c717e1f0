// Small shared statistics and table helpers; none keeps state.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Mean of the entries that are not missingValue; missingValue for an empty vector.
double meanIgnoringMissing(const std::vector<double>& v);
// Sample standard deviation (divisor m - 1) of the entries that are not missingValue;
// missingValue when fewer than two remain.
double sdIgnoringMissing(const std::vector<double>& v);
// Column 0 left-aligned, the others right-aligned, every cell followed by two blanks.
void printTable(std::ostream& out, const std::vector<std::vector<std::string>>& table);
std::string intToString(int value);
// Each value as "%.5g " ("NA " for missingValue), then a line end, on standard output.
void printVector(const std::vector<double>& v);
// One line per bin between the minimum and the maximum: lower bound and count.
void writeHistogram(const std::vector<double>& v, int bins, const std::string& fileName);
