#include "dataset/covariate_design.h"

#include <algorithm>

void covariateDesign::build(const std::vector<individualRecord*>& people, size_t covariateCount) {
  covariates = covariateCount;
  width = 2 + covariateCount;
  rows.assign(people.begin(), people.end());
  values.resize(width * people.size());
  usable.resize(people.size());
  for (size_t r = 0; r < people.size(); ++r) {
    const individualRecord& person = *people[r];
    double* row = values.data() + width * r;
    row[0] = 1.0;
    row[1] = 0.0;  // the dose's column, filled by no one: a fit takes the SNP's dose instead
    usable[r] = hasUsableCovariates(person, covariateCount) ? 1 : 0;
    // An unusable row is never read; a short one has fewer values than the table's count.
    for (size_t c = 0; c < covariateCount; ++c)
      row[2 + c] = usable[r] != 0 ? person.covariates[c] : missingValue;
  }
  rowByRecord.clear();
  valid = true;
}

bool covariateDesign::rowsOfList(const std::vector<individualRecord*>& list,
                                 std::vector<int32_t>& entryRows) const {
  return ::rowsOfList(rows, rowByRecord, list, entryRows);
}

int32_t covariateDesign::rowOf(const individualRecord* person) const {
  return rowOfRecord(rowByRecord, person);
}

void ensureCovariateDesign() {
  if (covariateTable.valid) return;
  covariateTable.build(individuals, covariateCountOf(individuals));
  // Only the data set's table answers lists in another order; a list's own table never needs to.
  indexRowsByRecord(individuals, covariateTable.rowByRecord);
}

void invalidateCovariateDesign() {
  covariateDesign& table = covariateTable;
  table.valid = false;
  table.covariates = 0;
  table.width = 2;
  std::vector<const individualRecord*>().swap(table.rows);
  rowsByRecord().swap(table.rowByRecord);
  std::vector<double>().swap(table.values);
  std::vector<uint8_t>().swap(table.usable);
}
