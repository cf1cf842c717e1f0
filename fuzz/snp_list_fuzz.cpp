// Fuzz target: the --exclude and --extract lists on a data set of 40 SNPs (rs1 ... rs40).
// The first byte chooses the list (even: --exclude, odd: --extract); the rest is the file.
#include <cstddef>
#include <cstdint>

#include "dataset/dataset.h"
#include "dataset/snp_filters.h"
#include "fuzz_support.h"
#include "run/settings.h"
#include "test_support/settings_snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  memoryFile file(data + 1, size - 1);
  testsupport::settingsSnapshot settings;
  buildDataSet(40, 3);
  if (data[0] & 1) {
    extractFileName = file.path();
  } else {
    excludeFileName = file.path();
  }
  runRefusable([] { applySnpLists(); });
  freeDataSet();
  return 0;
}
