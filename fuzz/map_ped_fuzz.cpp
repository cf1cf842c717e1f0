// Fuzz target: the .map and .ped readers. The input is the .map file up to its first NUL byte and
// the .ped file after it; an input without a NUL is a .ped file read with a fixed map of 3 SNPs.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "association/plink_runner.h"
#include "dataset/dataset.h"
#include "fuzz_support.h"

namespace {
const uint8_t threeSnpMap[] = "1 rs1 0 1000\n1 rs2 0 2000\n2 rs3 0 500\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* end = data + size;
  const uint8_t* nul = std::find(data, end, uint8_t{0});
  const bool split = nul != end;
  memoryFile map(split ? data : threeSnpMap, split ? nul - data : sizeof threeSnpMap - 1);
  memoryFile ped(split ? nul + 1 : data, split ? end - nul - 1 : size);
  freeDataSet();
  runRefusable([&] {
    plink.readPedAndMap(ped.path(), map.path());
    plink.removeMissingPhenotypes();
  });
  freeDataSet();
  return 0;
}
