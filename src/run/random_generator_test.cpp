#include "run/random_generator.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// The generator's sequence written as the plain recurrence x(n) = x(n-33) + x(n-13) over the
// LCG-filled start words, independent of the circular buffer the class keeps.
std::vector<uint32_t> recurrence(int32_t seed, int count) {
  std::vector<uint32_t> x(33);
  x[0] = static_cast<uint32_t>(seed);
  for (int k = 1; k < 33; ++k) x[k] = x[k - 1] * 1103515245u + 12345u;
  // The state words are consumed from the top: word 32 first, with word 12 as its partner.
  std::vector<uint32_t> seq(x.rbegin(), x.rend());
  for (int n = 0; n < 330 + count; ++n) {
    const size_t i = seq.size();
    seq.push_back(seq[i - 33] + seq[i - 13]);
  }
  return std::vector<uint32_t>(seq.end() - count, seq.end());
}

TEST(RandomGenerator, FollowsTheLaggedFibonacciRecurrenceAfterWarmUp) {
  for (int32_t seed : {0, 1, 5, 12345, -7, 2147483647}) {
    SCOPED_TRACE(seed);
    randomGenerator g(seed);
    const std::vector<uint32_t> expected = recurrence(seed, 200);
    for (int n = 0; n < 200; ++n) ASSERT_EQ(g.next(), expected[n]) << "draw " << n;
  }
}

TEST(RandomGenerator, ReseedingRepeatsTheSequenceWhateverCameBefore) {
  randomGenerator a(99);
  for (int n = 0; n < 1000; ++n) a.next();
  a.seed(5);
  randomGenerator b(5);
  for (int n = 0; n < 500; ++n) ASSERT_EQ(a.next(), b.next());
  EXPECT_EQ(a.seedValue, 5);
}

TEST(RandomGenerator, DrawsStayInTheirRanges) {
  randomGenerator g(3);
  for (int n = 0; n < 10000; ++n) {
    EXPECT_EQ(g.indexBelow(1), 0);
    const int i = g.indexBelow(7);
    EXPECT_GE(i, 0);
    EXPECT_LT(i, 7);
    const double u = g.uniform();
    EXPECT_GE(u, 0.0);
    EXPECT_LE(u, 1.0);
    const double p = g.phenotype();
    EXPECT_TRUE(p == 1.0 || p == 2.0);
  }
}

// A batch of words is the same as as many single steps, from every position of the ring and
// for batches shorter and longer than the ring, and leaves the generator where they leave it.
TEST(RandomGenerator, BatchOfWordsEqualsSingleSteps) {
  const int counts[] = {0, 1, 12, 13, 14, 32, 33, 34, 46, 66, 67, 100, 1000, 4999};
  for (int offset = 0; offset < 33; ++offset) {
    for (int count : counts) {
      SCOPED_TRACE(std::to_string(offset) + " steps first, batch of " + std::to_string(count));
      randomGenerator single(99);
      for (int k = 0; k < offset; ++k) single.next();
      randomGenerator batch = single;
      std::vector<uint32_t> drawn(static_cast<size_t>(count) + 1);
      batch.words(count, drawn.data());
      int mismatches = 0;
      for (int k = 0; k < count; ++k) mismatches += drawn[static_cast<size_t>(k)] != single.next();
      EXPECT_EQ(mismatches, 0);
      for (int k = 0; k < 40; ++k) mismatches += batch.next() != single.next();
      EXPECT_EQ(mismatches, 0);
      EXPECT_EQ(batch.feed, single.feed);
      EXPECT_EQ(batch.lag, single.lag);
      EXPECT_EQ(rngEntryCount, 0);
    }
  }
}

// A batch of indexes is the same as as many single draws, for bounds of every size: the
// remainder through the precomputed inverse must be exact for every word.
TEST(RandomGenerator, BatchOfIndexesEqualsSingleDraws) {
  const int bounds[] = {1, 2, 3, 7, 10, 255, 256, 1000, 4999, 65536, 1 << 30,
                        2147483646, 2147483647};
  for (int bound : bounds) {
    SCOPED_TRACE(bound);
    randomGenerator single(1234);
    randomGenerator batch(1234);
    std::vector<int> drawn(5000);
    batch.indexesBelow(bound, static_cast<int>(drawn.size()), drawn.data());
    int mismatches = 0;
    for (int value : drawn) mismatches += value != single.indexBelow(bound) ? 1 : 0;
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(batch.next(), single.next());
    EXPECT_EQ(rngEntryCount, 0);
  }
  // Words at the edges of the range of x >> 1, by the remainder written out.
  for (uint32_t word : {0u, 1u, 0x7fffffffu, 0x80000000u, 0xfffffffeu, 0xffffffffu}) {
    for (int bound : bounds) {
      randomGenerator g(1);
      // One step adds state[lag] to state[feed]: make the sum the chosen word.
      const uint32_t lagWord = g.state[g.lag];
      g.state[g.feed] = word - lagWord;
      int index = -1;
      g.indexesBelow(bound, 1, &index);
      EXPECT_EQ(index, static_cast<int>((word >> 1) % static_cast<uint32_t>(bound)))
          << word << " mod " << bound;
    }
  }
}

// A claim hands over exactly the words words(count) would give, and leaves the generator where
// they leave it: short claims that step, and long ones that jump by the cached linear map (the
// same length twice, to use the cache), from every position of the ring.
TEST(RandomGenerator, ClaimGivesTheWordsAndMovesPastThem) {
  const int64_t counts[] = {0, 1, 32, 33, 511, 512, 513, 1000, 1000, 30000, 123457, 2000003};
  for (int offset = 0; offset < 33; offset += 4) {
    randomGenerator stepped(4711);
    for (int k = 0; k < offset; ++k) stepped.next();
    randomGenerator jumped = stepped;
    for (int64_t count : counts) {
      SCOPED_TRACE(std::to_string(offset) + " steps first, claim of " + std::to_string(count));
      std::vector<uint32_t> expected(static_cast<size_t>(count) + 1);
      stepped.words(static_cast<int>(count), expected.data());
      claimedWords claimed;
      jumped.claim(count, claimed);
      ASSERT_EQ(claimed.left(), count);
      std::vector<uint32_t> taken(static_cast<size_t>(count) + 1);
      // In two parts, as a sampler takes a batch resample by resample.
      const int first = static_cast<int>(count / 3);
      claimed.take(first, taken.data());
      claimed.take(static_cast<int>(count) - first, taken.data() + first);
      EXPECT_EQ(claimed.left(), 0);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end() - 1, taken.begin()));
      EXPECT_EQ(jumped.feed, stepped.feed);
      EXPECT_EQ(jumped.lag, stepped.lag);
      EXPECT_TRUE(std::equal(jumped.state, jumped.state + 33, stepped.state));
      EXPECT_EQ(rngEntryCount, 0);
    }
  }
}

TEST(RandomGeneratorDeathTest, TakingMoreThanTheClaimAbortsTheProgram) {
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        randomGenerator g(1);
        claimedWords claimed;
        g.claim(10, claimed);
        uint32_t words[11];
        claimed.take(11, words);
      },
      testing::ExitedWithCode(1),
      "^Internal error: more random words taken than claimed.. Program aborted\n$");
}

TEST(RandomGeneratorDeathTest, ADrawInsideAnotherDrawAbortsTheProgram) {
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);  // the message goes to standard output
        randomGenerator g(1);
        rngEntryCount = 1;  // another caller is inside a step
        g.next();
      },
      testing::ExitedWithCode(1), "^RNG Double Entry.. Program aborted\n$");
}

}  // namespace
