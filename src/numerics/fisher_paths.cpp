// Path-length bounds of the network algorithm, the bounded-composition generator and the small
// vector helpers they share. A node is a vector of row totals still to be filled (ascending);
// a completion fills them with the remaining columns, and its path is the sum over those
// columns of log(c! / prod x!), so a longer path is a more probable completion.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

#include "numerics/fatal_error.h"
#include "numerics/fisher_network.h"

namespace {

constexpr int f3xactStageSlots = 200;  // nodes per stage; two stages make the 400 slots

// Smallest sum of log x! over x with sum total and 0 <= x[i] <= caps[i] (caps ascending): fill
// the small caps that lie below the water level, share the rest as evenly as integers allow.
double evenSpreadSum(int total, int n, const int* caps, const double* fact) {
  double sum = 0;
  int left = n, rest = total, i = 0;
  while (left > 0 && static_cast<int64_t>(caps[i]) * left <= rest) {
    sum += fact[caps[i]];
    rest -= caps[i];
    ++i;
    --left;
  }
  if (left == 0) return sum;
  const int share = rest / left, extra = rest % left;
  return sum + (left - extra) * fact[share] + extra * fact[share + 1];
}

// Largest sum of log x! under the same constraints: fill the largest caps first. That vector
// majorizes every other feasible one, and a sum of a convex function is largest there.
double concentratedSum(int total, int n, const int* caps, const double* fact) {
  double sum = 0;
  for (int i = n - 1; i >= 0 && total > 0; --i) {
    const int x = std::min(caps[i], total);
    sum += fact[x];
    total -= x;
  }
  return sum;
}

double columnFactorials(int ncols, const int* cols, const double* fact) {
  double sum = 0;
  for (int j = 0; j < ncols; ++j) sum += fact[cols[j]];
  return sum;
}

// An upper bound on the largest sum of log x! over the completions: each column (then each
// row) filled on its own, the other margin only capping the cells. colsAsc ascending.
double concentratedBound(int nrows, const int* rows, int ncols, const int* colsAsc,
                         const double* fact) {
  double byColumns = 0, byRows = 0;
  for (int j = 0; j < ncols; ++j) byColumns += concentratedSum(colsAsc[j], nrows, rows, fact);
  for (int i = 0; i < nrows; ++i) byRows += concentratedSum(rows[i], ncols, colsAsc, fact);
  return std::min(byColumns, byRows);
}

// A feasible completion, its sum of log x!: every column (largest first, colsDesc) goes into
// the largest rows still open. rows ascending; work holds 2 * nrows ints.
double greedyCompletionSum(int nrows, const int* rows, int ncols, const int* colsDesc,
                           const double* fact, int* work) {
  int* open = work;
  int* next = work + nrows;
  std::copy(rows, rows + nrows, open);
  double sum = 0;
  for (int j = 0; j < ncols; ++j) {
    int rest = colsDesc[j];
    while (rest > 0) {
      const int x = std::min(open[nrows - 1], rest);
      if (x == 0) return sum;  // rows and columns of a node hold the same total; never met
      sum += fact[x];
      rest -= x;
      insertSorted(nrows, open, nrows - 1, open[nrows - 1] - x, next);
      std::swap(open, next);
    }
  }
  return sum;
}

// The key of an ascending node: its digits in the mixed radix of the multipliers.
int nodeKey(int nrows, const int* rows, const int* multipliers) {
  int64_t key = 0;
  for (int i = 0; i < nrows; ++i) key += static_cast<int64_t>(rows[i]) * multipliers[i];
  if (key < 0 || key > INT_MAX) fatalError("Bug in FEXACT: gave negative key \n");
  return static_cast<int>(key);
}

void decodeKey(int key, int nrows, const int* multipliers, int* rows) {
  for (int i = nrows - 1; i >= 0; --i) {
    rows[i] = key / multipliers[i];
    key %= multipliers[i];
  }
}

// Finds or places key in one stage of the f3xact table, keeping the largest value; the stage
// holds at most 200 nodes.
void keepLargest(int* ist, double* stv, int stage, int& count, int key, double value) {
  int slot = key % f3xactStageSlots;
  for (int probe = 0; probe < f3xactStageSlots; ++probe) {
    const int at = stage * f3xactStageSlots + slot;
    if (ist[at] == key) {
      stv[at] = std::max(stv[at], value);
      return;
    }
    if (ist[at] == -1) {
      if (count == f3xactStageSlots) break;
      ist[at] = key;
      stv[at] = value;
      ++count;
      return;
    }
    slot = (slot + 1) % f3xactStageSlots;
  }
  fatalError("Stack length exceeded in f3xact");
}

// Smallest sum of log x! over the two-row completions: upper row upper, the other row the rest
// of every column. A convex separable cost under one sum: start near the proportional split,
// then move single units while a move lowers the cost.
double twoRowSmallestSum(int upper, int ncols, const int* cols, const double* fact, int* x) {
  int total = 0;
  for (int j = 0; j < ncols; ++j) total += cols[j];
  int placed = 0;
  for (int j = 0; j < ncols; ++j) {
    x[j] = static_cast<int>(static_cast<int64_t>(cols[j]) * upper / total);
    placed += x[j];
  }
  // Cost of the next unit of column j into the upper row, and of the unit it holds last.
  auto up = [&](int j) {
    return x[j] < cols[j] ? fact[x[j] + 1] - fact[x[j]] + fact[cols[j] - x[j] - 1] -
                                fact[cols[j] - x[j]]
                          : HUGE_VAL;
  };
  auto down = [&](int j) {
    return x[j] > 0 ? fact[x[j]] - fact[x[j] - 1] + fact[cols[j] - x[j]] -
                          fact[cols[j] - x[j] + 1]
                    : -HUGE_VAL;
  };
  for (; placed < upper; ++placed) {
    int cheapest = 0;
    for (int j = 1; j < ncols; ++j)
      if (up(j) < up(cheapest)) cheapest = j;
    ++x[cheapest];
  }
  for (;;) {
    int from = 0, to = 0;
    for (int j = 1; j < ncols; ++j) {
      if (down(j) > down(from)) from = j;
      if (up(j) < up(to)) to = j;
    }
    if (from == to || down(from) <= up(to) + 1e-12 * std::fabs(up(to))) break;
    --x[from];
    ++x[to];
  }
  double sum = 0;
  for (int j = 0; j < ncols; ++j) sum += fact[x[j]] + fact[cols[j] - x[j]];
  return sum;
}

// A lower bound on the smallest sum of log x! over the completions, by relaxing the row totals
// with the prices log(r_i + 1/2): the most probable table lies near r_i c_j / N, where the
// marginal cost log x of a cell is a row price plus a column price. For each column the priced
// problem (cost log x! - price x, capped by the row totals) is solved exactly: start near the
// proportional split, then move single units while a move lowers the cost. work: 2 * nrows.
double pricedRowsBound(int nrows, const int* rows, int ncols, const int* cols,
                       const double* fact, int* work) {
  int* x = work;
  double priceSum = 0;
  for (int i = 0; i < nrows; ++i) priceSum += rows[i] + 0.5;
  auto price = [&](int i) { return std::log(rows[i] + 0.5); };
  double bound = 0;
  for (int i = 0; i < nrows; ++i) bound += price(i) * rows[i];
  auto up = [&](int i) {
    return x[i] < rows[i] ? fact[x[i] + 1] - fact[x[i]] - price(i) : HUGE_VAL;
  };
  auto down = [&](int i) {
    return x[i] > 0 ? fact[x[i]] - fact[x[i] - 1] - price(i) : -HUGE_VAL;
  };
  for (int j = 0; j < ncols; ++j) {
    int placed = 0;
    for (int i = 0; i < nrows; ++i) {
      x[i] = std::min(rows[i], static_cast<int>(cols[j] * (rows[i] + 0.5) / priceSum));
      placed += x[i];
    }
    for (; placed < cols[j]; ++placed) {
      int cheapest = 0;
      for (int i = 1; i < nrows; ++i)
        if (up(i) < up(cheapest)) cheapest = i;
      ++x[cheapest];
    }
    for (;;) {
      int from = 0, to = 0;
      for (int i = 1; i < nrows; ++i) {
        if (down(i) > down(from)) from = i;
        if (up(i) < up(to)) to = i;
      }
      if (from == to || down(from) <= up(to) + 1e-12 * std::fabs(up(to))) break;
      --x[from];
      ++x[to];
    }
    for (int i = 0; i < nrows; ++i) bound += fact[x[i]] - price(i) * x[i];
  }
  return bound;
}

}  // namespace

void sortIntegers(int n, int* v) {
  constexpr int maxPending = 10;
  int pendingLow[maxPending], pendingHigh[maxPending];
  int pending = 0;
  int low = 0, high = n - 1;
  for (;;) {
    // Quicksort the long segments, the shorter half first, so the stack stays logarithmic.
    while (high - low >= 8) {
      const int mid = low + (high - low) / 2;
      const int pivot = std::max(std::min(v[low], v[mid]),
                                 std::min(std::max(v[low], v[mid]), v[high]));
      int i = low, j = high;
      while (i <= j) {
        while (v[i] < pivot) ++i;
        while (v[j] > pivot) --j;
        if (i <= j) std::swap(v[i++], v[j--]);
      }
      if (pending == maxPending) fexactError(20, "This should never occur.");
      if (j - low > high - i) {
        pendingLow[pending] = low;
        pendingHigh[pending++] = j;
        low = i;
      } else {
        pendingLow[pending] = i;
        pendingHigh[pending++] = high;
        high = j;
      }
    }
    for (int i = low + 1; i <= high; ++i) {
      const int value = v[i];
      int j = i - 1;
      while (j >= low && v[j] > value) {
        v[j + 1] = v[j];
        --j;
      }
      v[j + 1] = value;
    }
    if (pending == 0) return;
    --pending;
    low = pendingLow[pending];
    high = pendingHigh[pending];
  }
}

double logMultinomial(int n, int count, const int* x, const double* fact) {
  double value = fact[n];
  for (int i = 0; i < count; ++i) value -= fact[x[i]];
  return value;
}

void removeElement(int count, const int* in, int index, int* out) {
  for (int i = 0, k = 0; i < count; ++i)
    if (i != index) out[k++] = in[i];
}

void insertSorted(int count, const int* in, int index, int value, int* out) {
  int k = 0;
  bool placed = false;
  for (int i = 0; i < count; ++i) {
    if (i == index) continue;
    if (!placed && value <= in[i]) {
      out[k++] = value;
      placed = true;
    }
    out[k++] = in[i];
  }
  if (!placed) out[k] = value;
}

bool columnGenerator::first(int total) {
  for (int i = count - 1; i >= 0; --i) {
    x[i] = std::min(rows[i], total);
    total -= x[i];
  }
  return total == 0;
}

bool columnGenerator::next() {
  // Move one unit from the lowest coordinate that can give one to the coordinates below it,
  // then pack those as high as they go: the successor in the order of first().
  int prefixMass = 0;
  int64_t prefixRoom = 0;
  for (int j = 0; j < count; ++j) {
    if (j > 0 && x[j] > 0 && prefixRoom > 0) {
      --x[j];
      int rest = prefixMass + 1;
      for (int i = j - 1; i >= 0; --i) {
        x[i] = std::min(rows[i], rest);
        rest -= x[i];
      }
      return true;
    }
    prefixMass += x[j];
    prefixRoom += rows[j] - x[j];
  }
  return false;
}

double shortestPathSpecial(int nrows, const int* rows, int ncols, const int* cols,
                           const double* fact) {
  // One column: the rows are its cells. One row (the others empty): every cell is a whole
  // column, so every column term is log(c!/c!) = 0.
  if (ncols == 1) {
    int total = 0;
    for (int i = 0; i < nrows; ++i) total += rows[i];
    return logMultinomial(total, nrows, rows, fact);
  }
  (void)cols;
  return 0;
}

double longestPath(int nrows, const int* rows, int ncols, const int* cols, const double* fact,
                   int* work) {
  if (ncols == 1) return shortestPathSpecial(nrows, rows, ncols, cols, fact);
  // Rows ascend, so two filled rows are the last two.
  if (nrows < 3 || rows[nrows - 3] == 0) {
    const int upper = nrows < 2 ? 0 : rows[nrows - 2];
    return columnFactorials(ncols, cols, fact) - twoRowSmallestSum(upper, ncols, cols, fact, work);
  }
  int* colsAsc = work;
  std::copy(cols, cols + ncols, colsAsc);
  sortIntegers(ncols, colsAsc);
  // The most probable completion has the smallest sum of log x!; each column spread over the
  // rows on its own (and each row over the columns) can only do better.
  double byColumns = 0, byRows = 0;
  for (int j = 0; j < ncols; ++j) byColumns += evenSpreadSum(colsAsc[j], nrows, rows, fact);
  for (int i = 0; i < nrows; ++i) byRows += evenSpreadSum(rows[i], ncols, colsAsc, fact);
  const double priced = pricedRowsBound(nrows, rows, ncols, cols, fact, work + ncols);
  return columnFactorials(ncols, cols, fact) - std::max({byColumns, byRows, priced});
}

double f3xact(int nrows, const int* rows, int ncols, const int* cols, const double* fact,
              f3xactTables& t) {
  int filledRows = 0;
  for (int i = 0; i < nrows; ++i) filledRows += rows[i] > 0;
  if (ncols == 1 || filledRows <= 1) return shortestPathSpecial(nrows, rows, ncols, cols, fact);

  // Work layout: columns descending, their ascending mirror, node rows, daughter, cells, and
  // two rows of scratch for the greedy completion.
  int* colsDesc = t.work;
  int* colsAsc = colsDesc + ncols;
  int* node = colsAsc + ncols;
  int* daughter = node + nrows;
  int* cells = daughter + nrows;
  int* scratch = cells + nrows;
  std::copy(cols, cols + ncols, colsAsc);
  sortIntegers(ncols, colsAsc);
  std::reverse_copy(colsAsc, colsAsc + ncols, colsDesc);
  const double columnTerm = columnFactorials(ncols, cols, fact);

  // best: the largest sum of log x! of a completion found so far. A node whose sum so far
  // plus the bound of its rest cannot beat it is dropped.
  double best = greedyCompletionSum(nrows, rows, ncols, colsDesc, fact, scratch);
  if (concentratedBound(nrows, rows, ncols, colsAsc, fact) <= best) return columnTerm - best;

  std::fill(t.ist, t.ist + 2 * f3xactStageSlots, -1);
  int stage = 0, count = 0;
  keepLargest(t.ist, t.stv, stage, count, nodeKey(nrows, rows, t.multipliers), 0.0);
  columnGenerator gen{nrows, node, cells};
  for (int s = 0; s + 1 < ncols; ++s) {
    const int nextStage = 1 - stage;
    const int restCols = ncols - s - 1;                      // columns after this one
    const int* restAsc = colsAsc;                            // they are the smallest ones
    int nextCount = 0;
    for (int slot = 0; slot < f3xactStageSlots; ++slot) {
      const int at = stage * f3xactStageSlots + slot;
      if (t.ist[at] == -1) continue;
      decodeKey(t.ist[at], nrows, t.multipliers, node);
      const double sofar = t.stv[at];
      t.ist[at] = -1;
      if (sofar + concentratedBound(nrows, node, restCols + 1, restAsc, fact) <= best) continue;
      for (bool more = gen.first(colsDesc[s]); more; more = gen.next()) {
        double value = sofar;
        for (int i = 0; i < nrows; ++i) {
          daughter[i] = node[i] - cells[i];
          value += fact[cells[i]];
        }
        sortIntegers(nrows, daughter);
        if (restCols == 1) {
          for (int i = 0; i < nrows; ++i) value += fact[daughter[i]];
          best = std::max(best, value);
          continue;
        }
        if (value + concentratedBound(nrows, daughter, restCols, restAsc, fact) <= best) continue;
        best = std::max(best, value + greedyCompletionSum(nrows, daughter, restCols,
                                                          colsDesc + s + 1, fact, scratch));
        keepLargest(t.ist, t.stv, nextStage, nextCount, nodeKey(nrows, daughter, t.multipliers),
                    value);
      }
    }
    stage = nextStage;
  }
  return columnTerm - best;
}
