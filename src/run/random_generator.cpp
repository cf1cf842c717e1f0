#include "run/random_generator.h"

#include <iostream>

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

void randomGenerator::reentryAbort() {
  std::cout << "RNG Double Entry.. Program aborted\n";
  plainExit(1);
}
