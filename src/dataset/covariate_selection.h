// The covariate columns that --covar-number or --covar-name choose.
#pragma once

#include <string>
#include <vector>

// Resolves a selection list into column positions from 0, in file order, each once. The list is
// comma-separated; an item is one covariate or a range "a-b" (either order), by number from 1
// (--covar-number: "1,3-5") or by the names of the file's header line (--covar-name:
// "age,bmi-weight", a range by header position). names holds the names of the count columns,
// or nothing when the file has no header line. False, with problem set, when an item names no
// column.
bool selectCovariateColumns(const std::string& list, bool byNumber,
                            const std::vector<std::string>& names, int count,
                            std::vector<int>& columns, std::string& problem);
