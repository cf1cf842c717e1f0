#include "bootstrap/result_records.h"

#include <cmath>
#include <functional>

namespace {

// Ascending p with every NaN after every number: a plain < would make a NaN "equal" to all
// values, which is no strict weak order and leaves a sort's result scrambled around it.
bool lessP(double a, double b) {
  if (std::isnan(a)) return false;
  if (std::isnan(b)) return true;
  return a < b;
}

// SNP identity: the address of the record, one fixed total order for the whole run.
bool lessSnp(const snpRecord* a, const snpRecord* b) { return std::less<const snpRecord*>()(a, b); }

}  // namespace

bool lessResultByP(const resultRecord& a, const resultRecord& b) { return lessP(a.p, b.p); }

bool lessResultBySnp(const resultRecord& a, const resultRecord& b) { return lessSnp(a.snp, b.snp); }

bool lessEstimateBySnp(const estimateRecord& a, const estimateRecord& b) {
  return lessSnp(a.snp, b.snp);
}

bool lessSignificanceByP(const significanceRecord& a, const significanceRecord& b) {
  return lessP(a.p, b.p);
}

bool lessSnpByPosition(const snpRecord& a, const snpRecord& b) {
  if (a.chromosome != b.chromosome) return a.chromosome < b.chromosome;
  return a.position < b.position;
}

bool lessSnpByNaiveP(const snpRecord& a, const snpRecord& b) { return lessP(a.naiveP, b.naiveP); }
