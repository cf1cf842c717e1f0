// The program's own additive lagged-Fibonacci generator: x(n) = x(n-33) + x(n-13) mod 2^32.
// All randomness of the analysis comes from its one instance rng, so that a seeded run with one
// thread repeats itself exactly.
#pragma once

#include <cstdint>
#include <vector>

// Re-entry counter of rng: a detector of misuse, not a lock. Callers on worker threads hold the
// process-wide lock (the unnamed critical section) around their draws.
inline int32_t rngEntryCount = 0;

// Words of the generator's stream set aside by randomGenerator::claim for one caller, who
// takes them later, in their order, without any lock.
class claimedWords {
 public:
  // The next count words of the claim into out. Taking more than was claimed ends the program:
  // those words belong to someone else.
  void take(int count, uint32_t* out);
  int64_t left() const { return left_; }

 private:
  friend class randomGenerator;
  uint32_t state_[33] = {};
  int lag_ = 12;
  int feed_ = 32;
  int64_t left_ = 0;
};

class randomGenerator {
 public:
  randomGenerator();
  explicit randomGenerator(int s);

  void seed(int s);

  // One step: advances the state and returns the new word. Two callers inside it at once end
  // the program with "RNG Double Entry.. Program aborted".
  uint32_t next() {
    if (++rngEntryCount > 1) reentryAbort();
    const uint32_t x = ringStep(state, lag, feed);
    --rngEntryCount;
    return x;
  }
  // One step of a ring of 33 words: the word at feed grows by the word at lag, and both move
  // down by one, circularly.
  static uint32_t ringStep(uint32_t* ring, int& lagAt, int& feedAt) {
    const uint32_t x = ring[feedAt] += ring[lagAt];
    --lagAt;
    --feedAt;
    if (feedAt < 0) {
      feedAt = 32;
    } else if (lagAt < 0) {
      lagAt = 32;
    }
    return x;
  }

  // An index below n: (x >> 1) mod n.
  int indexBelow(int n) { return static_cast<int>((next() >> 1) % static_cast<uint32_t>(n)); }
  // count successive words of next() into out, the batch counted as one entry. The recurrence
  // is run over a linear buffer, many words at a time: the draws of a resample are taken under
  // the process-wide lock, so their speed bounds how many threads can resample at once.
  void words(int count, uint32_t* out);
  // Sets the next count words aside for `claimed` and moves past them, as words(count) would,
  // without producing them: a long claim is one precomputed jump (a linear map of the 33 ring
  // words, cached per count), so that callers under the process-wide lock pay for the claim and
  // generate their words after it.
  void claim(int64_t count, claimedWords& claimed);
  // count successive indexBelow(n) into out, n > 0.
  void indexesBelow(int n, int count, int* out);
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
  void skip(int64_t count);

  // The ring after count steps as a linear map of the ring before: column-major over the 33
  // words by age, oldest first, arithmetic mod 2^32.
  struct jump {
    int64_t count;
    std::vector<uint32_t> matrix;
  };
  const jump& jumpOf(int64_t count);
  std::vector<jump> jumps_;
};

// The index below n that indexBelow(n) takes from a word: (x >> 1) mod n, the remainder by a
// multiplication with the precomputed inverse of n (exact for every 32-bit word), which is
// several times faster than a division.
class indexReducer {
 public:
  explicit indexReducer(int n)
      : divisor_(static_cast<uint32_t>(n)), inverse_(UINT64_MAX / divisor_ + 1) {}
  int operator()(uint32_t word) const {
    const uint64_t low = inverse_ * (word >> 1);
    return static_cast<int>((static_cast<unsigned __int128>(low) * divisor_) >> 64);
  }

 private:
  uint64_t divisor_;
  uint64_t inverse_;
};

inline randomGenerator rng;
