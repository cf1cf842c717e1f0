// Test support: the fixture data sets and their expected tables (written by
// regenerate_oracles.sh from plink and R), and the comparisons with them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "association/plink_runner.h"

namespace oracle {

inline std::string fixturePath(const std::string& name) {
  return std::string(ZUQ_SOURCE_DIR) + "/src/association/testdata/" + name;
}

// Reads base.ped/.map as the program does at start-up, without individuals of a missing
// phenotype; the caller frees the data set.
inline void loadFixture(const std::string& base) {
  testing::internal::CaptureStdout();
  plink.readPedAndMap(fixturePath(base + ".ped"), fixturePath(base + ".map"));
  plink.removeMissingPhenotypes();
  testing::internal::GetCapturedStdout();
}

// One whitespace-separated table with a header line; rows by their first field.
struct table {
  std::vector<std::string> columns;
  std::map<std::string, std::vector<std::string>> rows;
  const std::string& at(const std::string& key, const std::string& column) const {
    const auto c = std::find(columns.begin(), columns.end(), column);
    return rows.at(key).at(static_cast<size_t>(c - columns.begin()));
  }
};

inline table readTable(const std::string& name) {
  table t;
  std::ifstream file(fixturePath(name));
  std::string line, word;
  std::getline(file, line);
  for (std::istringstream header(line); header >> word;) t.columns.push_back(word);
  while (std::getline(file, line)) {
    std::istringstream in(line);
    std::vector<std::string> fields;
    while (in >> word) fields.push_back(word);
    if (fields.size() == t.columns.size()) t.rows[fields[0]] = fields;
    else ADD_FAILURE() << name << ": malformed line \"" << line << "\"";
  }
  EXPECT_FALSE(t.rows.empty()) << name;
  return t;
}

inline double relativeDifference(double ours, double theirs) {
  if (ours == theirs) return 0;
  return std::fabs(ours - theirs) / std::max(std::fabs(theirs), 1e-300);
}

// Largest relative difference seen against one oracle, for the test's closing report.
struct worst {
  double difference = 0;
  std::string where;
  void note(double d, const std::string& at) {
    if (d > difference) difference = d, where = at;
  }
};

// plink prints p with four significant digits ("NA" when it has none): ours must print the
// same, or lie within half a unit of the fourth digit.
inline void expectPlinkValue(double ours, const std::string& printed, double missing,
                             const std::string& at, worst& w) {
  SCOPED_TRACE(at);
  if (printed == "NA") {
    EXPECT_EQ(ours, missing) << "plink has no value";
    return;
  }
  ASSERT_NE(ours, missing) << "plink has " << printed;
  const double theirs = std::strtod(printed.c_str(), nullptr);
  char formatted[32];
  std::snprintf(formatted, sizeof formatted, "%.4g", ours);
  const double d = relativeDifference(ours, theirs);
  w.note(d, at);
  if (std::strtod(formatted, nullptr) != theirs) {
    EXPECT_LE(d, 5e-4) << "plink has " << printed << ", we have " << formatted;
  }
}

// R's values are written with 15 significant digits; "NA" leaves the value to the other
// oracle. Returns whether R had a value.
inline bool expectRValue(double ours, const std::string& printed, double tolerance,
                         const std::string& at, worst& w) {
  if (printed == "NA") return false;
  SCOPED_TRACE(at);
  const double theirs = std::strtod(printed.c_str(), nullptr);
  const double d = relativeDifference(ours, theirs);
  w.note(d, at);
  EXPECT_LE(d, tolerance) << "R has " << printed << ", we have " << ours;
  return true;
}

inline void report(const std::string& what, const worst& w) {
  std::printf("[ oracle   ] %-44s largest relative difference %.3g (%s)\n", what.c_str(),
              w.difference, w.where.c_str());
}

}  // namespace oracle
