#include "association/snp_order.h"

#include <algorithm>

bool snpPrecedes(const snpRecord* a, const snpRecord* b) {
  if (a->chromosome != b->chromosome) return a->chromosome < b->chromosome;
  return a->position < b->position;
}

void sortSnpsByPosition(std::vector<snpRecord*>& snpList) {
  if (std::is_sorted(snpList.begin(), snpList.end(), snpPrecedes)) return;
  std::stable_sort(snpList.begin(), snpList.end(), snpPrecedes);
}
