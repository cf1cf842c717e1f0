#include "association/genotype_counts.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>

namespace {

// The kernels (planeKernel, see the header) are the inner loop of every in-process scan; they
// give the same sums, and the processor decides which one runs (see countAgainstPlanes below).

// Any x86-64 processor: one popcount per word and stream. Compiled twice below, with and
// without the popcount instruction, and chosen with the other kernels at start-up (an ifunc
// resolver, as target_clones makes, would run before a sanitizer's runtime is ready).
__attribute__((always_inline)) inline void countWordByWord(const uint64_t* low,
                                                           const uint64_t* high,
                                                           const uint64_t* weights, int planes,
                                                           size_t words, uint32_t* sums) {
  for (int p = 0; p < planes; ++p, weights += words) {
    uint64_t h0 = 0, h1 = 0, l0 = 0, l1 = 0, b0 = 0, b1 = 0;
    for (size_t w = 0; w < words; w += 2) {
      const uint64_t m0 = weights[w], m1 = weights[w + 1];
      const uint64_t hi0 = high[w] & m0, hi1 = high[w + 1] & m1;
      const uint64_t lo0 = low[w] & m0, lo1 = low[w + 1] & m1;
      h0 += static_cast<uint64_t>(std::popcount(hi0));
      h1 += static_cast<uint64_t>(std::popcount(hi1));
      l0 += static_cast<uint64_t>(std::popcount(lo0));
      l1 += static_cast<uint64_t>(std::popcount(lo1));
      b0 += static_cast<uint64_t>(std::popcount(hi0 & lo0));
      b1 += static_cast<uint64_t>(std::popcount(hi1 & lo1));
    }
    sums[3 * p] = static_cast<uint32_t>(h0 + h1);
    sums[3 * p + 1] = static_cast<uint32_t>(l0 + l1);
    sums[3 * p + 2] = static_cast<uint32_t>(b0 + b1);
  }
}

__attribute__((target("popcnt")))
void countWordByWordPopcnt(const uint64_t* low, const uint64_t* high, const uint64_t* weights,
                           int planes, size_t words, uint32_t* sums) {
  countWordByWord(low, high, weights, planes, words, sums);
}

void countWordByWordPlain(const uint64_t* low, const uint64_t* high, const uint64_t* weights,
                          int planes, size_t words, uint32_t* sums) {
  countWordByWord(low, high, weights, planes, words, sums);
}

// Bit counts of the 32 bytes of v, by a lookup of each half byte in a 16-entry table.
__attribute__((target("avx2"))) inline __m256i byteCounts(__m256i v) {
  const __m256i table = _mm256_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4,  //
                                         0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4);
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i lowHalves = _mm256_and_si256(v, nibble);
  const __m256i highHalves = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
  return _mm256_add_epi8(_mm256_shuffle_epi8(table, lowHalves),
                         _mm256_shuffle_epi8(table, highHalves));
}

// The sum of the four 64-bit lanes of the byte sums of v.
__attribute__((target("avx2"))) inline uint64_t sumOfBytes(__m256i v) {
  const __m256i lanes = _mm256_sad_epu8(v, _mm256_setzero_si256());
  return static_cast<uint64_t>(_mm256_extract_epi64(lanes, 0)) +
         static_cast<uint64_t>(_mm256_extract_epi64(lanes, 1)) +
         static_cast<uint64_t>(_mm256_extract_epi64(lanes, 2)) +
         static_cast<uint64_t>(_mm256_extract_epi64(lanes, 3));
}

// AVX2: four words at a time, bit counts kept per byte and added up every 31 steps (a byte
// gains at most 8 per step, so it cannot overflow).
__attribute__((target("avx2")))
void countFourWordsAtATime(const uint64_t* low, const uint64_t* high, const uint64_t* weights,
                           int planes, size_t words, uint32_t* sums) {
  for (int p = 0; p < planes; ++p, weights += words) {
    uint64_t h = 0, l = 0, b = 0;
    for (size_t start = 0; start < words; start += 4 * 31) {
      const size_t stop = std::min(words, start + 4 * 31);
      __m256i hBytes = _mm256_setzero_si256();
      __m256i lBytes = _mm256_setzero_si256();
      __m256i bBytes = _mm256_setzero_si256();
      for (size_t w = start; w < stop; w += 4) {
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + w));
        const __m256i hi =
            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(high + w)), m);
        const __m256i lo =
            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(low + w)), m);
        hBytes = _mm256_add_epi8(hBytes, byteCounts(hi));
        lBytes = _mm256_add_epi8(lBytes, byteCounts(lo));
        bBytes = _mm256_add_epi8(bBytes, byteCounts(_mm256_and_si256(hi, lo)));
      }
      h += sumOfBytes(hBytes);
      l += sumOfBytes(lBytes);
      b += sumOfBytes(bBytes);
    }
    sums[3 * p] = static_cast<uint32_t>(h);
    sums[3 * p + 1] = static_cast<uint32_t>(l);
    sums[3 * p + 2] = static_cast<uint32_t>(b);
  }
}

// Chosen once, when the program starts (static initialisation runs before the processor
// model is known, hence the explicit set-up).
const planeKernel countAgainstPlanes = [] {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return countFourWordsAtATime;
  return __builtin_cpu_supports("popcnt") ? countWordByWordPopcnt : countWordByWordPlain;
}();

}  // namespace

std::vector<namedPlaneKernel> availablePlaneKernels() {
  __builtin_cpu_init();
  std::vector<namedPlaneKernel> kernels = {{"word by word", countWordByWordPlain}};
  if (__builtin_cpu_supports("popcnt")) kernels.push_back({"popcnt", countWordByWordPopcnt});
  if (__builtin_cpu_supports("avx2")) kernels.push_back({"avx2", countFourWordsAtATime});
  return kernels;
}

namespace {

// The most planes a counter can have: two groups of at most 32 bits.
constexpr int maxPlanes = 64;

}  // namespace

// Maps every listed individual to its row and counts it there. Lists in data-set order (with
// repeats) walk the rows once; any other order falls back to a search per individual.
bool cellCounter::takeRows() {
  const snpMajorGenotypes& copy = snpMajor;
  if (!rowsOfList(copy.rows, copy.rowByRecord, *people_, entryRows_)) return false;
  multiplicity_.assign(copy.rows.size(), 0);
  for (const int32_t row : entryRows_) ++multiplicity_[static_cast<size_t>(row)];
  return true;
}

void cellCounter::reset(const std::vector<individualRecord*>& people) {
  people_ = &people;
  copy_ = nullptr;
  if (!snpMajor.valid || !takeRows()) return;
  const snpMajorGenotypes& copy = snpMajor;
  const uint32_t largest =
      multiplicity_.empty() ? 0 : *std::max_element(multiplicity_.begin(), multiplicity_.end());
  bits_ = std::bit_width(largest);
  const size_t words = copy.wordsPerPlane;
  weights_.assign(2 * static_cast<size_t>(bits_) * words, 0);
  totals_[0] = totals_[1] = 0;
  for (size_t r = 0; r < multiplicity_.size(); ++r) {
    const uint32_t m = multiplicity_[r];
    if (m == 0) continue;
    // The scans' case rule: phenotype exactly 2.0; anyone else counts as a control.
    const int group = copy.rows[r]->phenotype == 2.0 ? 1 : 0;
    totals_[group] += static_cast<int32_t>(m);
    uint64_t* plane = weights_.data() + static_cast<size_t>(group * bits_) * words + r / 64;
    for (int b = 0; b < bits_; ++b, plane += words) {
      *plane |= static_cast<uint64_t>((m >> b) & 1u) << (r % 64);
    }
  }
  copy_ = &copy;
}

genotypeCells cellCounter::cells(int column) const {
  if (copy_ == nullptr || column < 0 || column >= copy_->columns) {
    return countGenotypeCells(*people_, column);
  }
  uint32_t sums[3 * maxPlanes];
  const int planes = 2 * bits_;
  countAgainstPlanes(copy_->lowPlane(column), copy_->highPlane(column), weights_.data(), planes,
                     copy_->wordsPerPlane, sums);
  // Per group: high = heterozygous + A22, low = missing + A22, both = A22.
  int32_t cell[2][3];
  for (int group = 0; group < 2; ++group) {
    int64_t high = 0, low = 0, both = 0;
    for (int b = 0; b < bits_; ++b) {
      const uint32_t* s = sums + 3 * (group * bits_ + b);
      high += static_cast<int64_t>(s[0]) << b;
      low += static_cast<int64_t>(s[1]) << b;
      both += static_cast<int64_t>(s[2]) << b;
    }
    cell[group][0] = static_cast<int32_t>(totals_[group] - high - low + both);
    cell[group][1] = static_cast<int32_t>(high - both);
    cell[group][2] = static_cast<int32_t>(both);
  }
  genotypeCells c;
  c.ctrlA11 = cell[0][0];
  c.ctrlA12 = cell[0][1];
  c.ctrlA22 = cell[0][2];
  c.caseA11 = cell[1][0];
  c.caseA12 = cell[1][1];
  c.caseA22 = cell[1][2];
  return c;
}

void cellCounter::cellsOf(const std::vector<snpRecord*>& snps,
                          std::vector<genotypeCells>& out) const {
  out.resize(snps.size());
  for (size_t k = 0; k < snps.size(); ++k) out[k] = cells(snps[k]->index);
}
