// Fisher's exact test by the network algorithm: the tables of a stage are nodes (the row totals
// still open, ascending) reached by paths (the columns placed so far); past path lengths of a
// node are kept in a binary tree and equal ones merged, and a node's remaining paths are
// bounded so that whole sub-networks are counted or dropped at once.
#include "numerics/fisher_exact.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "numerics/fatal_error.h"
#include "numerics/fisher_network.h"

namespace {

constexpr double pathTolerance = 3.45254e-7;  // path lengths closer than this are equal
constexpr int emptyKey = -9999;
// Units of workspace per key: key, node pointer and node queue (2 * ldkey integers each), the
// two bounds and the completion weight (2 * ldkey reals each), and 30 past paths per key
// (2 * ldstp reals, 6 * ldstp integers).
constexpr int unitsPerKey = 318;
constexpr int pastPathsPerKey = 30;

struct freeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// The two alternating stages of the network: hash table of node keys with the node's bounds
// and the root of its tree of past paths, and the pool of past paths.
struct networkStages {
  int ldkey = 0, ldstp = 0;
  int* key = nullptr;       // 2 * ldkey; emptyKey marks a free slot
  int* ipoin = nullptr;     // 2 * ldkey; root of the node's past-path tree, -1 none
  int* queue = nullptr;     // 2 * ldkey; slots in the order the nodes were placed
  double* dlp = nullptr;    // 2 * ldkey; longest remaining path
  double* dsp = nullptr;    // 2 * ldkey; shortest remaining path
  double* drn = nullptr;    // 2 * ldkey; log weight of all completions, less the table's
  double* stp = nullptr;    // 2 * ldstp; past path lengths
  int* ifrq = nullptr;      // 2 * ldstp; how many paths share the length
  int* nl = nullptr;        // 2 * ldstp; shorter lengths
  int* nr = nullptr;        // 2 * ldstp; longer lengths
  int nodes[2] = {0, 0}, popped[2] = {0, 0}, paths[2] = {0, 0};
};

// The slot of the node of key in stage h, or -1.
int findNode(const networkStages& n, int h, int key) {
  int slot = key % n.ldkey;
  for (int probe = 0; probe < n.ldkey; ++probe) {
    const int at = h * n.ldkey + slot;
    if (n.key[at] == key) return at;
    if (n.key[at] == emptyKey) return -1;
    slot = (slot + 1) % n.ldkey;
  }
  return -1;
}

// Places a node that is not in stage h yet; code 6 when the stage's table is full.
int placeNode(networkStages& n, int h, int key) {
  if (n.nodes[h] == n.ldkey)
    fexactError(6, "LDKEY is too small for this problem.\n"
                   "Try increasing the size of the workspace.");
  int slot = key % n.ldkey;
  while (n.key[h * n.ldkey + slot] != emptyKey) slot = (slot + 1) % n.ldkey;
  const int at = h * n.ldkey + slot;
  n.key[at] = key;
  n.ipoin[at] = -1;
  n.queue[h * n.ldkey + n.nodes[h]++] = at;
  return at;
}

int newPastPath(networkStages& n, int h, double pastp, int freq) {
  if (n.paths[h] == n.ldstp)
    fexactError(7, "LDSTP is too small for this problem.\n"
                   "Try increasing the size of the workspace.");
  const int e = h * n.ldstp + n.paths[h]++;
  n.stp[e] = pastp;
  n.ifrq[e] = freq;
  n.nl[e] = n.nr[e] = -1;
  return e;
}

// Adds freq paths of length pastp to the node at slot of stage h: merged with a length within
// the tolerance, else a new leaf of the tree. A merge that would overflow the count makes a
// second entry instead, so that no path is lost.
void pushNode(networkStages& n, int h, int slot, double pastp, int freq) {
  int* link = &n.ipoin[slot];
  while (*link != -1) {
    const int e = *link;
    if (pastp < n.stp[e] - pathTolerance) {
      link = &n.nl[e];
    } else if (pastp > n.stp[e] + pathTolerance || n.ifrq[e] > INT_MAX - freq) {
      link = &n.nr[e];
    } else {
      n.ifrq[e] += freq;
      return;
    }
  }
  const int e = newPastPath(n, h, pastp, freq);
  *link = e;  // after the carve: link may point into the pool, which does not move
}

// Takes the next node of stage h off its table (the slot becomes free) and decodes its row
// totals into rows; returns its slot, or -1 when the stage is done.
int popNode(networkStages& n, int h, int nro, const int* kyey, int* rows) {
  if (n.popped[h] == n.nodes[h]) return -1;
  const int at = n.queue[h * n.ldkey + n.popped[h]++];
  int key = n.key[at];
  n.key[at] = emptyKey;
  for (int i = nro - 1; i >= 0; --i) {
    rows[i] = key / kyey[i];
    key %= kyey[i];
  }
  return at;
}

void clearStage(networkStages& n, int h) {
  n.nodes[h] = n.popped[h] = n.paths[h] = 0;
}

// Every (length, count) of a node's tree, in any order.
void collectPaths(const networkStages& n, int root, std::vector<int>& pending,
                  std::vector<std::pair<double, int>>& out) {
  out.clear();
  pending.clear();
  if (root != -1) pending.push_back(root);
  while (!pending.empty()) {
    const int e = pending.back();
    pending.pop_back();
    out.emplace_back(n.stp[e], n.ifrq[e]);
    if (n.nl[e] != -1) pending.push_back(n.nl[e]);
    if (n.nr[e] != -1) pending.push_back(n.nr[e]);
  }
}

int keyOf(int nro, const int* rows, const int* kyey) {
  int64_t key = 0;
  for (int i = 0; i < nro; ++i) key += static_cast<int64_t>(rows[i]) * kyey[i];
  return static_cast<int>(key);  // bounded by the largest key, checked to fit
}

// The arrays whose size follows from the table, and the margins.
struct networkProblem {
  int nro = 0, nco = 0, ntot = 0;
  int* iro = nullptr;   // nro row totals, ascending (the shorter margin)
  int* ico = nullptr;   // nco column totals, ascending: the stages, smallest first
  int* kyey = nullptr;  // key multipliers
  int* idif = nullptr;  // cells of the column being placed
  int* irn = nullptr;   // daughter rows
  int* node = nullptr;  // rows of the node being expanded
  int* work = nullptr;  // 8 * (nrow + ncol + 1) for the bounds
  double* fact = nullptr;
  f3xactTables shortest;
  double obs = 0, dro = 0;
};

struct nodeBounds {
  double longest, shortest, weight;
};

double shortestOf(networkProblem& p, const int* rows, int firstCol) {
  return f3xact(p.nro, rows, p.nco - firstCol, p.ico + firstCol, p.fact, p.shortest);
}

// The longest path and the weight of a node; the shortest path, the costly one, is left NaN
// for shortestOf, as a node whose paths are all counted never needs it.
nodeBounds cheapBoundsOf(networkProblem& p, const int* rows, int firstCol) {
  const int ncols = p.nco - firstCol;
  const int* cols = p.ico + firstCol;
  int total = 0;
  for (int i = 0; i < p.nro; ++i) total += rows[i];
  return {longestPath(p.nro, rows, ncols, cols, p.fact, p.work), std::nan(""),
          logMultinomial(total, p.nro, rows, p.fact) - p.dro};
}

// The main loop: stage s places column ico[s] into every node of the stage and sends each
// past path on to the daughter, counting it when all its completions are at most as probable
// as the observed table, dropping it when none is, keeping it otherwise.
double fexactDriver(networkProblem& p, networkStages& n) {
  const nodeBounds root = cheapBoundsOf(p, p.iro, 0);
  if (root.longest <= p.obs) return std::exp(root.weight);
  if (shortestOf(p, p.iro, 0) > p.obs) return 0;
  pushNode(n, 0, placeNode(n, 0, keyOf(p.nro, p.iro, p.kyey)), 0.0, 1);

  double pre = 0;
  std::vector<int> pending;
  std::vector<std::pair<double, int>> pasts;
  columnGenerator gen{p.nro, p.node, p.idif};
  for (int s = 0; s + 1 < p.nco; ++s) {
    const int h = s % 2, next = 1 - h;
    const int column = p.ico[s];
    const bool lastStage = s + 2 == p.nco;  // daughters have one column left: fully known
    for (int at; (at = popNode(n, h, p.nro, p.kyey, p.node)) != -1;) {
      collectPaths(n, n.ipoin[at], pending, pasts);
      if (pasts.empty()) continue;
      for (bool more = gen.first(column); more; more = gen.next()) {
        for (int i = 0; i < p.nro; ++i) p.irn[i] = p.node[i] - p.idif[i];
        sortIntegers(p.nro, p.irn);
        const double step = logMultinomial(column, p.nro, p.idif, p.fact);
        if (lastStage) {
          const double rest = logMultinomial(p.ico[s + 1], p.nro, p.irn, p.fact);
          for (const auto& [length, count] : pasts)
            if (length + step + rest <= p.obs)
              pre += count * std::exp(length + step + rest - p.dro);
          continue;
        }
        // A daughter takes a slot only once a path is kept for it; until then its bounds are
        // worked out again for every parent that reaches it.
        const int key = keyOf(p.nro, p.irn, p.kyey);
        int daughter = findNode(n, next, key);
        nodeBounds b = daughter != -1
                           ? nodeBounds{n.dlp[daughter], n.dsp[daughter], n.drn[daughter]}
                           : cheapBoundsOf(p, p.irn, s + 1);
        for (const auto& [length, count] : pasts) {
          const double pastp = length + step;
          if (pastp + b.longest <= p.obs) {
            pre += count * std::exp(pastp + b.weight);
            continue;
          }
          if (std::isnan(b.shortest)) b.shortest = shortestOf(p, p.irn, s + 1);
          if (pastp + b.shortest <= p.obs) {
            if (daughter == -1) {
              daughter = placeNode(n, next, key);
              n.dlp[daughter] = b.longest;
              n.dsp[daughter] = b.shortest;
              n.drn[daughter] = b.weight;
            }
            pushNode(n, next, daughter, pastp, count);
          }
        }
      }
    }
    clearStage(n, h);
  }
  return pre;
}

// Row and column totals of the network: the shorter margin becomes the rows.
void marginsOf(int nrow, int ncol, const double* table, int ldtabl, networkProblem& p) {
  const bool swapped = nrow > ncol;
  p.nro = swapped ? ncol : nrow;
  p.nco = swapped ? nrow : ncol;
  auto cell = [&](int i, int j) {
    return static_cast<int>(swapped ? table[j + i * ldtabl] : table[i + j * ldtabl]);
  };
  p.obs = pathTolerance;
  for (int j = 0; j < p.nco; ++j) {
    p.ico[j] = 0;
    for (int i = 0; i < p.nro; ++i) p.ico[j] += cell(i, j);
  }
  for (int i = 0; i < p.nro; ++i) {
    p.iro[i] = 0;
    for (int j = 0; j < p.nco; ++j) p.iro[i] += cell(i, j);
  }
  for (int j = 0; j < p.nco; ++j) {
    p.obs += p.fact[p.ico[j]];
    for (int i = 0; i < p.nro; ++i) p.obs -= p.fact[cell(i, j)];
  }
  sortIntegers(p.nro, p.iro);
  sortIntegers(p.nco, p.ico);
}

// Key multipliers: mixed radix over the ascending row totals (a daughter's i-th smallest total
// never exceeds the table's). Code 5 when the largest key does not fit an int.
void keyMultipliers(networkProblem& p) {
  int64_t multiplier = 1, largest = 0;
  for (int i = 0; i < p.nro; ++i) {
    if (multiplier > INT_MAX) break;
    p.kyey[i] = static_cast<int>(multiplier);
    largest += static_cast<int64_t>(p.iro[i]) * multiplier;
    multiplier *= static_cast<int64_t>(p.iro[i]) + 1;
  }
  if (multiplier - 1 > INT_MAX || largest > INT_MAX)
    fexactError(5, "The hash table key cannot be computed because the largest key\n"
                   "is larger than the largest representable int.\n"
                   "The algorithm cannot proceed.\n"
                   "Reduce the workspace size, or use `exact = FALSE'.");
}

// Summed in extended precision, so that the rounding of tens of thousands of terms does not
// pile up in the large log factorials whose differences make the probabilities.
void logFactorials(int ntot, double* fact) {
  long double sum = 0;
  fact[0] = 0;
  for (int i = 1; i <= ntot; ++i) {
    sum += std::log(static_cast<long double>(i));
    fact[i] = static_cast<double>(sum);
  }
}

}  // namespace

void fexactError(int code, const char* text) {
  (void)text;  // the code alone is printed
  fatalError("FEXACT error " + formatInt(code));
}

int64_t allocWorkspace(fexactWorkspace& ws, int64_t count, int type) {
  const int64_t unitsEach = type == 4 ? 2 : 1;
  int64_t start = ws.used;
  if (type == 4 && start % 2 != 0) ++start;
  if (count < 0 || start + count * unitsEach > ws.units) fexactError(40, "Out of workspace.");
  ws.used = start + count * unitsEach;
  return start;
}

int* workspaceInts(fexactWorkspace& ws, int64_t count) {
  return static_cast<int*>(ws.storage) + allocWorkspace(ws, count, 2);
}

double* workspaceReals(fexactWorkspace& ws, int64_t count) {
  return static_cast<double*>(ws.storage) + allocWorkspace(ws, count, 4) / 2;
}

void FEXACT(int nrow, int ncol, const double* table, int ldtabl, double expect, double percnt,
            double emin, double& prt, double& pre, int workspace) {
  (void)expect, (void)percnt, (void)emin;
  if (nrow > ldtabl) fexactError(1, "NROW must be less than or equal to LDTABL.");
  if (ncol < 2) fexactError(4, "NCOL must be at least 2");
  int64_t ntot = 0;
  for (int j = 0; j < ncol; ++j)
    for (int i = 0; i < nrow; ++i) {
      const double cell = table[i + static_cast<int64_t>(j) * ldtabl];
      if (cell < 0) fexactError(2, "All elements of TABLE must be positive.");
      ntot += static_cast<int64_t>(cell);
    }
  if (ntot == 0)
    fexactError(3, "All elements of TABLE are zero.\nPRT and PRE are set to missing values.");

  // Zero-filled integer units held as reals, so that both kinds may be carved from them.
  const int64_t units = std::max(workspace, 0) / 2 * 2;
  std::unique_ptr<void, freeDeleter> storage(std::calloc(units / 2 + 1, sizeof(double)));
  fexactWorkspace ws{storage.get(), units, 0};

  networkProblem p;
  const int k = nrow + ncol + 1;
  p.iro = workspaceInts(ws, k);
  p.ico = workspaceInts(ws, k);
  p.kyey = workspaceInts(ws, k);
  p.idif = workspaceInts(ws, k);
  p.irn = workspaceInts(ws, k);
  p.node = workspaceInts(ws, k);
  p.work = workspaceInts(ws, 8 * static_cast<int64_t>(k));
  p.shortest.ist = workspaceInts(ws, 400);
  p.shortest.stv = workspaceReals(ws, 400);
  p.shortest.work = p.work;
  p.shortest.multipliers = p.kyey;
  p.fact = workspaceReals(ws, ntot + 1);
  p.ntot = static_cast<int>(ntot);
  logFactorials(p.ntot, p.fact);
  marginsOf(nrow, ncol, table, ldtabl, p);
  keyMultipliers(p);
  p.dro = logMultinomial(p.ntot, p.nro, p.iro, p.fact);
  prt = std::exp(p.obs - pathTolerance - p.dro);

  // The rest is shared by the hash tables and past paths of the two stages.
  networkStages n;
  n.ldkey = static_cast<int>((ws.units - ws.used) / unitsPerKey - 1);
  if (n.ldkey < 1) fexactError(40, "Out of workspace.");
  n.ldstp = pastPathsPerKey * n.ldkey;
  n.key = workspaceInts(ws, 2 * n.ldkey);
  n.ipoin = workspaceInts(ws, 2 * n.ldkey);
  n.queue = workspaceInts(ws, 2 * n.ldkey);
  n.dlp = workspaceReals(ws, 2 * n.ldkey);
  n.dsp = workspaceReals(ws, 2 * n.ldkey);
  n.drn = workspaceReals(ws, 2 * n.ldkey);
  n.stp = workspaceReals(ws, 2 * static_cast<int64_t>(n.ldstp));
  n.ifrq = workspaceInts(ws, 2 * static_cast<int64_t>(n.ldstp));
  n.nl = workspaceInts(ws, 2 * static_cast<int64_t>(n.ldstp));
  n.nr = workspaceInts(ws, 2 * static_cast<int64_t>(n.ldstp));
  std::fill(n.key, n.key + 2 * n.ldkey, emptyKey);
  pre = fexactDriver(p, n);
}

double fisherExactP(const intTable& table) {
  if (table.empty() || table[0].empty()) return -9;
  const int rows = static_cast<int>(table.size());
  const int cols = static_cast<int>(table[0].size());
  for (const auto& row : table)
    if (static_cast<int>(row.size()) != cols)
      fatalError("Fisher exact test: every row of the table must have " + formatInt(cols) +
                 " cells");
  if (static_cast<int64_t>(rows) * cols > fisherMaxCells)
    fatalError("Fisher exact test: the table has more than " + formatInt(fisherMaxCells) +
               " cells");
  // Column by column, as the network algorithm reads it.
  double cells[fisherMaxCells];
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) cells[i + j * rows] = table[i][j];
  double prt = 0, pre = 0;
  FEXACT(rows, cols, cells, rows, -1, 100, 0, prt, pre, fisherWorkspaceUnits);
  return pre;
}
