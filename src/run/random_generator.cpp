#include "run/random_generator.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <utility>

#include "run/exit.h"

namespace {

// Any fixed words serve: every run seeds the generator before its first draw.
constexpr uint32_t defaultState[33] = {
    0x8f3a2c61u, 0x1b7d94e5u, 0x5c02ea37u, 0xd94b6f18u, 0x27e1c8a3u, 0xa6503d7cu, 0x73c9b2f4u,
    0x0e8d5a19u, 0xc4f7016bu, 0x3a92ee5du, 0x9b15c7a0u, 0x6d4e3b82u, 0xf0a86c2eu, 0x48b3d971u,
    0xb52f0e96u, 0x1f6ca4d3u, 0xe7391b5au, 0x82d45f07u, 0x5a0e7cc9u, 0xcd63a814u, 0x34f9e26bu,
    0x9e1273bfu, 0x61ab4d05u, 0xfa5d8e30u, 0x07c6b1e8u, 0xbb2049d6u, 0x4e87f35cu, 0xd31e6a9fu,
    0x2895c742u, 0x93fa0db1u, 0x6c4721eau, 0xe05b9436u, 0x15d8fe7bu};

}  // namespace

randomGenerator::randomGenerator() : lag(12), feed(32) {
  for (int k = 0; k < 33; ++k) state[k] = defaultState[k];
}

randomGenerator::randomGenerator(int s) : randomGenerator() { seed(s); }

void randomGenerator::seed(int s) {
  seedValue = s;
  state[0] = static_cast<uint32_t>(s);
  for (int k = 1; k < 33; ++k) state[k] = state[k - 1] * 1103515245u + 12345u;
  lag = 12;
  feed = 32;
  for (int k = 0; k < 330; ++k) next();
}

namespace {

// The ring holds the last 33 words, the oldest at feed and younger ones below it (circularly);
// lag sits 20 below feed. Then word n + i is word n + i - 33 plus word n + i - 13.
bool usualRing(int lag, int feed) { return (feed - lag + 33) % 33 == 20; }

// Four words, added lane by lane (mod 2^32).
typedef uint32_t fourWords __attribute__((vector_size(16)));

fourWords loadFour(const uint32_t* p) {
  fourWords v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void storeFour(uint32_t* p, fourWords v) { std::memcpy(p, &v, sizeof v); }

// count words of the ring (state, lag, feed) into out, advancing it.
void generate(uint32_t* state, int& lag, int& feed, int count, uint32_t* out) {
  if (count < 33 || !usualRing(lag, feed)) {
    for (int k = 0; k < count; ++k) out[k] = randomGenerator::ringStep(state, lag, feed);
    return;
  }
  uint32_t head[33];  // by age, oldest first
  for (int j = 0; j < 33; ++j) head[j] = state[(feed - j + 33) % 33];
  for (int i = 0; i < 13; ++i) out[i] = head[i] + head[i + 20];
  for (int i = 13; i < 33; ++i) out[i] = head[i] + out[i - 13];
  // Each word depends on words 13 and 33 back: blocks of 13 words are independent, and are
  // added four at a time. A block's partners are the previous block, loaded in the pieces it
  // was stored in, so the loads take their words straight from the pending stores.
  int i = 33;
  for (; i + 13 <= count; i += 13) {
    uint32_t* block = out + i;
    storeFour(block, loadFour(block - 33) + loadFour(block - 13));
    storeFour(block + 4, loadFour(block - 29) + loadFour(block - 9));
    storeFour(block + 8, loadFour(block - 25) + loadFour(block - 5));
    block[12] = block[-21] + block[-1];
  }
  for (; i < count; ++i) out[i] = out[i - 33] + out[i - 13];
  feed = ((feed - count) % 33 + 33) % 33;
  lag = (feed - 20 + 33) % 33;
  for (int j = 0; j < 33; ++j) state[(feed - j + 33) % 33] = out[count - 33 + j];
}

// Claims shorter than this step through the words: the jump's linear map costs about as much.
constexpr int64_t jumpFrom = 512;

using ringMatrix = std::vector<uint32_t>;  // 33 x 33, column-major, mod 2^32

ringMatrix multiply(const ringMatrix& a, const ringMatrix& b) {
  ringMatrix c(33 * 33, 0);
  for (int k = 0; k < 33; ++k)
    for (int i = 0; i < 33; ++i) {
      const uint32_t factor = b[static_cast<size_t>(i + 33 * k)];
      for (int j = 0; j < 33; ++j)
        c[static_cast<size_t>(j + 33 * k)] += a[static_cast<size_t>(j + 33 * i)] * factor;
    }
  return c;
}

// One step on the ring by age: the oldest word leaves, and the new youngest is the old oldest
// plus the word 13 back (age 20).
ringMatrix oneStep() {
  ringMatrix step(33 * 33, 0);
  for (int j = 0; j < 32; ++j) step[static_cast<size_t>(j + 33 * (j + 1))] = 1;
  step[static_cast<size_t>(32 + 33 * 0)] = 1;
  step[static_cast<size_t>(32 + 33 * 20)] = 1;
  return step;
}

}  // namespace

void randomGenerator::words(int count, uint32_t* out) {
  if (++rngEntryCount > 1) reentryAbort();
  generate(state, lag, feed, count, out);
  --rngEntryCount;
}

void randomGenerator::claim(int64_t count, claimedWords& claimed) {
  if (++rngEntryCount > 1) reentryAbort();
  std::copy(state, state + 33, claimed.state_);
  claimed.lag_ = lag;
  claimed.feed_ = feed;
  claimed.left_ = count;
  skip(count);
  --rngEntryCount;
}

void randomGenerator::skip(int64_t count) {
  if (count < jumpFrom || !usualRing(lag, feed)) {
    for (int64_t k = 0; k < count; ++k) ringStep(state, lag, feed);
    return;
  }
  const ringMatrix& matrix = jumpOf(count).matrix;
  uint32_t head[33];
  for (int j = 0; j < 33; ++j) head[j] = state[(feed - j + 33) % 33];
  uint32_t moved[33] = {};
  for (int k = 0; k < 33; ++k)
    for (int j = 0; j < 33; ++j) moved[j] += matrix[static_cast<size_t>(j + 33 * k)] * head[k];
  feed = static_cast<int>(((feed - count) % 33 + 33) % 33);
  lag = (feed - 20 + 33) % 33;
  for (int j = 0; j < 33; ++j) state[(feed - j + 33) % 33] = moved[j];
}

const randomGenerator::jump& randomGenerator::jumpOf(int64_t count) {
  for (const jump& known : jumps_)
    if (known.count == count) return known;
  // The power by squaring: about 2 log2(count) products of 33 x 33, once per claim length.
  ringMatrix power = oneStep();
  ringMatrix result;
  for (int64_t rest = count; rest > 0; rest >>= 1) {
    if ((rest & 1) != 0) result = result.empty() ? power : multiply(power, result);
    if (rest > 1) power = multiply(power, power);
  }
  // Runs claim a few lengths (one per resample size); a bound keeps a stray caller from growing
  // the cache without end.
  if (jumps_.size() >= 8) jumps_.erase(jumps_.begin());
  jumps_.push_back({count, std::move(result)});
  return jumps_.back();
}

void claimedWords::take(int count, uint32_t* out) {
  if (count > left_) {
    std::cout << "Internal error: more random words taken than claimed.. Program aborted\n";
    plainExit(1);
  }
  generate(state_, lag_, feed_, count, out);
  left_ -= count;
}

void randomGenerator::indexesBelow(int n, int count, int* out) {
  static_assert(sizeof(int) == sizeof(uint32_t));
  uint32_t* words32 = reinterpret_cast<uint32_t*>(out);
  words(count, words32);
  const indexReducer reduce(n);
  for (int k = 0; k < count; ++k) out[k] = reduce(words32[k]);
}

void randomGenerator::reentryAbort() {
  std::cout << "RNG Double Entry.. Program aborted\n";
  plainExit(1);
}
