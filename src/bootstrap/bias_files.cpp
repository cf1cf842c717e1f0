#include "bootstrap/bias_files.h"

#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>

#include "bootstrap/analysis_flow.h"
#include "dataset/missing_value.h"
#include "run/output_file.h"

namespace {

enum class biasValue { difference, ud, ue };

// The value a cell shows, or missingValue for "NA" (as is any value that is no finite number).
double cellValue(const resultRecord& record, biasValue which) {
  if (which == biasValue::ud) return record.ud;
  if (which == biasValue::ue) return record.ue;
  if (record.ud == missingValue || record.ue == missingValue) return missingValue;
  return record.ud - record.ue;
}

void writeBiasCell(std::ostream& out, double value) {
  if (value == missingValue || !std::isfinite(value)) {
    out << "      NA ";
    return;
  }
  char cell[400];  // "%.6f" of the largest double takes 316 characters
  std::snprintf(cell, sizeof cell, "%.6f ", value);
  out << cell;
}

void writeBiasTable(std::ostream& out, biasValue which, const std::vector<replicate>& replicates) {
  for (int k = 0; k < nSig; ++k) out << naiveResults[k].snp->name << " ";
  out << "\n";
  for (const replicate& records : replicates) {
    for (int k = 0; k < nSig; ++k) {
      writeBiasCell(out, static_cast<size_t>(k) < records.size() ? cellValue(records[k], which)
                                                                  : missingValue);
    }
    out << "\n";
  }
}

// The analysis goes on without a file that cannot be written, but the user asked for it and
// is told.
void writeBiasFile(const char* fileName, biasValue which,
                   const std::vector<replicate>& replicates) {
  writeOutputFileOrWarn(fileName, [which, &replicates](std::ostream& out) {
    writeBiasTable(out, which, replicates);
  });
}

}  // namespace

void writeBiasFiles(const std::vector<replicate>& replicates) {
  writeBiasFile("all-bias.txt", biasValue::difference, replicates);
  writeBiasFile("ud-bias.txt", biasValue::ud, replicates);
  writeBiasFile("ue-bias.txt", biasValue::ue, replicates);
}
