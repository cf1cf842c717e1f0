// The program's own additive lagged-Fibonacci generator: x(n) = x(n-33) + x(n-13) mod 2^32.
// All randomness of the analysis comes from its one instance rng, so that a seeded run with one
// thread repeats itself exactly.
#pragma once

#include <cstdint>

// Re-entry counter of rng: a detector of misuse, not a lock. Callers on worker threads hold the
// process-wide lock (the unnamed critical section) around their draws.
inline int32_t rngEntryCount = 0;

class randomGenerator {
 public:
  randomGenerator();
  explicit randomGenerator(int s);

  void seed(int s);

  // One step: advances the state and returns the new word. Two callers inside it at once end
  // the program with "RNG Double Entry.. Program aborted".
  uint32_t next() {
    if (++rngEntryCount > 1) reentryAbort();
    const uint32_t x = state[feed] += state[lag];
    --lag;
    --feed;
    if (feed < 0) {
      feed = 32;
    } else if (lag < 0) {
      lag = 32;
    }
    --rngEntryCount;
    return x;
  }

  // An index below n: (x >> 1) mod n.
  int indexBelow(int n) { return static_cast<int>((next() >> 1) % static_cast<uint32_t>(n)); }
  // count successive indexBelow(n) into out, n > 0. The remainder by the fixed n is taken by a
  // multiplication with its precomputed inverse (exact for every 32-bit word, so the indexes
  // are those of indexBelow): the draws of a resample run under the process-wide lock, and a
  // division per draw was most of their time. The batch counts as one entry.
  void indexesBelow(int n, int count, int* out) {
    if (++rngEntryCount > 1) reentryAbort();
    const uint64_t divisor = static_cast<uint32_t>(n);
    const uint64_t inverse = UINT64_MAX / divisor + 1;
    for (int k = 0; k < count; ++k) {
      const uint32_t x = state[feed] += state[lag];
      --lag;
      --feed;
      if (feed < 0) {
        feed = 32;
      } else if (lag < 0) {
        lag = 32;
      }
      const uint64_t low = inverse * (x >> 1);
      out[k] = static_cast<int>((static_cast<unsigned __int128>(low) * divisor) >> 64);
    }
    --rngEntryCount;
  }
  // A uniform real in [0, 1], 1.0 included.
  double uniform() { return static_cast<double>(next() >> 1) / 2147483647.0; }
  // A phenotype 1.0 or 2.0.
  double phenotype() { return static_cast<double>(((next() >> 1) & 1u) + 1u); }

  uint32_t state[33];
  int lag;
  int feed;
  int32_t seedValue = 0;

 private:
  [[noreturn]] static void reentryAbort();
};

inline randomGenerator rng;
