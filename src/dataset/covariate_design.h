// The covariate part of every individual's logistic design row, built once per data set, so that
// a fit on a resample only lists which rows take part instead of copying their values again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/rows_by_record.h"

// The number of covariates a fit on these individuals takes: the first one's, 0 for nobody. The
// covariate reader gives every individual of the data set the file's count (missing values
// where a line is absent or of another length), so for a data set read from files this is the
// same whichever individual comes first, and 0 exactly when the data set has no covariates.
inline size_t covariateCountOf(const std::vector<individualRecord*>& people) {
  return people.empty() ? 0 : people.front()->covariates.size();
}

// Whether the fit can use the individual's covariates: it has the covariateCount values the
// model needs (a shorter row would be read past its end) and none is missing.
inline bool hasUsableCovariates(const individualRecord& person, size_t covariateCount) {
  if (person.covariates.size() < covariateCount) return false;
  for (double value : person.covariates)
    if (value == missingValue) return false;
  return true;
}

// Row r holds the design row of record r without its dose: [1, 0, covariates...], width
// 2 + covariates values, so that design column j of a fit is column j of the row except the
// dose's (column 1), which comes from the SNP. usable[r] says whether the fit takes the record
// at all (hasUsableCovariates with the table's count).
struct covariateDesign {
  bool valid = false;
  size_t covariates = 0;
  size_t width = 2;
  std::vector<const individualRecord*> rows;
  rowsByRecord rowByRecord;
  std::vector<double> values;   // row-major, rows.size() x width
  std::vector<uint8_t> usable;  // per row

  const double* row(int32_t r) const { return values.data() + width * static_cast<size_t>(r); }
  // One row per entry of people, in list order (repeats too), with covariateCount covariates.
  // Storage is reused: a table built again for a list no longer than before allocates nothing.
  void build(const std::vector<individualRecord*>& people, size_t covariateCount);
  // The row of every entry of list into entryRows; false when the table does not hold one of
  // them. A list in table order (with repeats, as resamples are) is matched in one walk.
  bool rowsOfList(const std::vector<individualRecord*>& list,
                  std::vector<int32_t>& entryRows) const;
  // The row of a record, -1 when the table does not hold it.
  int32_t rowOf(const individualRecord* person) const;
};

// The table of the current data set; read-only while worker threads run.
inline covariateDesign covariateTable;

// Builds the table from individuals (with covariateCountOf(individuals) covariates) unless it
// is already built. Main thread only, with no worker thread running.
void ensureCovariateDesign();
// Drops the table. Every change of the individual records or of their covariates calls this,
// so that a table never outlives the values it was built from.
void invalidateCovariateDesign();
