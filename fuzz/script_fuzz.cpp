// Fuzz target: a --script file through the token store and every option lookup.
// Inputs that ask for a generated data set (--dummy) are passed over: its size is an option
// value, so a fuzzed one only measures how long generating takes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "run/option_table.h"
#include "run/options.h"
#include "test_support/settings_snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (text.find("--dummy") != std::string_view::npos) return -1;
  memoryFile file(data, size);
  testsupport::settingsSnapshot settings;
  const std::string path = file.path();
  const char* argv[] = {"zuq", "--script", path.c_str()};
  runRefusable([&] {
    options store(3, argv);
    parseOptions(store);
    store.checkUnusedOptions();
  });
  return 0;
}
