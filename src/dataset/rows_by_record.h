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

// The row of every entry of list into entryRows. A list in row order (with repeats, as
// resamples are) is matched in one walk of rows; from the first entry out of order on, each is
// looked up in index. False when a listed record has no row.
inline bool rowsOfList(const std::vector<const individualRecord*>& rows, const rowsByRecord& index,
                       const std::vector<individualRecord*>& list, std::vector<int32_t>& entryRows) {
  entryRows.resize(list.size());
  size_t cursor = 0;
  bool inOrder = true;
  for (size_t k = 0; k < list.size(); ++k) {
    const individualRecord* person = list[k];
    if (inOrder) {
      while (cursor < rows.size() && rows[cursor] != person) ++cursor;
      if (cursor < rows.size()) {
        entryRows[k] = static_cast<int32_t>(cursor);
        continue;
      }
      inOrder = false;
    }
    const int32_t row = rowOfRecord(index, person);
    if (row < 0) return false;
    entryRows[k] = row;
  }
  return true;
}
