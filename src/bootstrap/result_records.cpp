#include "bootstrap/result_records.h"

#include <cmath>

namespace {

// SNP identity: the SNP's position in the data set, its index, unique among the SNPs of the
// data set at every sort. Unlike the record's address it depends on the data alone, so the
// order of records of equal p, and with it a seeded table, does not follow the allocator.
bool lessSnp(const snpRecord* a, const snpRecord* b) { return a->index < b->index; }

// Ascending p with every NaN after every number, ties (NaNs among themselves too) broken by SNP
// identity: a total order, so a sort gives one result whatever its stability. A plain < would
// make a NaN "equal" to all values, which is no strict weak order and scrambles a sort's result
// around it. Runs for every comparison of every resample's sorts: two compares in the usual case.
bool lessPThenSnp(double pa, const snpRecord* a, double pb, const snpRecord* b) {
  if (pa < pb) return true;
  if (pb < pa) return false;
  const bool nanA = std::isnan(pa);
  const bool nanB = std::isnan(pb);
  if (nanA != nanB) return nanB;
  return lessSnp(a, b);
}

}  // namespace

bool lessResultByP(const resultRecord& a, const resultRecord& b) {
  return lessPThenSnp(a.p, a.snp, b.p, b.snp);
}

bool lessResultBySnp(const resultRecord& a, const resultRecord& b) { return lessSnp(a.snp, b.snp); }

bool lessEstimateBySnp(const estimateRecord& a, const estimateRecord& b) {
  return lessSnp(a.snp, b.snp);
}

bool lessSignificanceByP(const significanceRecord& a, const significanceRecord& b) {
  return lessPThenSnp(a.p, a.snp, b.p, b.snp);
}

bool lessSnpByPosition(const snpRecord& a, const snpRecord& b) {
  if (a.chromosome != b.chromosome) return a.chromosome < b.chromosome;
  return a.position < b.position;
}

bool lessSnpByNaiveP(const snpRecord& a, const snpRecord& b) {
  return lessPThenSnp(a.naiveP, &a, b.naiveP, &b);
}
