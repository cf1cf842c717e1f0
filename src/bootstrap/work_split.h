// The split of a parallel region's items among its threads: contiguous blocks of ceil(N/T).
#pragma once

#include <algorithm>

// Items [begin, end) of one thread; empty when the thread's block starts at or past the end.
struct itemBlock {
  int begin = 0;
  int end = 0;
};

// Block of thread `thread` of `threads` over `items` items: blocks of items/threads rounded
// up, thread t taking [t*block, min((t+1)*block, items)). No items (or fewer than none) give
// every thread an empty block.
inline itemBlock threadBlock(int items, int threads, int thread) {
  if (items <= 0 || threads <= 0) return {};
  const long long block = (static_cast<long long>(items) + threads - 1) / threads;
  const long long begin = std::min<long long>(block * thread, items);
  const long long end = std::min<long long>(block * (thread + 1), items);
  return {static_cast<int>(begin), static_cast<int>(end)};
}
