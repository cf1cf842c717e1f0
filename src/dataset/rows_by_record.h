// A table with one row per individual record (the SNP-major genotype copy, the covariate design)
// finds the row of a record it is handed through an index of its rows sorted by record.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "dataset/dataset.h"

using rowsByRecord = std::vector<std::pair<const individualRecord*, int32_t>>;

// Every record of rows with its row, sorted by record.
inline void indexRowsByRecord(const std::vector<individualRecord*>& rows, rowsByRecord& index) {
  index.clear();
  index.reserve(rows.size());
  for (size_t r = 0; r < rows.size(); ++r) index.emplace_back(rows[r], static_cast<int32_t>(r));
  std::sort(index.begin(), index.end());
}

// The row of a record, -1 when the index does not hold it.
inline int32_t rowOfRecord(const rowsByRecord& index, const individualRecord* person) {
  const auto found = std::lower_bound(
      index.begin(), index.end(), person,
      [](const rowsByRecord::value_type& entry, const individualRecord* key) {
        return entry.first < key;
      });
  if (found == index.end() || found->first != person) return -1;
  return found->second;
}
