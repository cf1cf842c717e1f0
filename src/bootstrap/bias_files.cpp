#include "bootstrap/bias_files.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

#include "bootstrap/analysis_flow.h"
#include "dataset/missing_value.h"

namespace {

enum class biasValue { difference, ud, ue };

// The value a cell shows, or missingValue for "NA" (as is any value that is no finite number).
double cellValue(const resultRecord& record, biasValue which) {
  if (which == biasValue::ud) return record.ud;
  if (which == biasValue::ue) return record.ue;
  if (record.ud == missingValue || record.ue == missingValue) return missingValue;
  return record.ud - record.ue;
}

void writeBiasFile(const char* fileName, biasValue which,
                   const std::vector<replicate>& replicates) {
  std::FILE* file = std::fopen(fileName, "w");
  if (file == nullptr) {
    // The analysis goes on without the file, but the user asked for it and should know.
    std::cout << "Warning: Cannot write to output file " << fileName << "\n";
    return;
  }
  for (int k = 0; k < nSig; ++k) std::fprintf(file, "%s ", naiveResults[k].snp->name.c_str());
  std::fputs("\n", file);
  for (const replicate& records : replicates) {
    for (int k = 0; k < nSig; ++k) {
      const double value = static_cast<size_t>(k) < records.size()
                               ? cellValue(records[k], which)
                               : missingValue;
      if (value == missingValue || !std::isfinite(value)) {
        std::fputs("      NA ", file);
      } else {
        std::fprintf(file, "%.6f ", value);
      }
    }
    std::fputs("\n", file);
  }
  std::fclose(file);
}

}  // namespace

void writeBiasFiles(const std::vector<replicate>& replicates) {
  writeBiasFile("all-bias.txt", biasValue::difference, replicates);
  writeBiasFile("ud-bias.txt", biasValue::ud, replicates);
  writeBiasFile("ue-bias.txt", biasValue::ue, replicates);
}
