// Support shared by the fuzz targets: the program's exits turned into an exception, so that an
// input the program refuses ends one fuzz iteration instead of the fuzzer, and the input handed
// to the readers as a file that lives in memory only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Thrown by the fuzz build's fatalExit and plainExit in place of ending the process.
struct fuzzExit {
  int code;
};

// A file in memory holding the given bytes; removed when the object ends.
class memoryFile {
 public:
  memoryFile(const uint8_t* data, size_t size);
  ~memoryFile();
  memoryFile(const memoryFile&) = delete;
  memoryFile& operator=(const memoryFile&) = delete;
  // A name the readers can open, such as /proc/self/fd/N.
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// A small data set of nSnps SNPs (chromosome 1, positions 1000, 2000, ...) and nIndividuals
// individuals ("f1" "i1", ...) with alternating control and case phenotypes.
void buildDataSet(int snpCount, int individualCount);

// Runs a reader on the input; a refusal through the program's exits ends quietly.
template <typename Reader>
void runRefusable(Reader reader) {
  try {
    reader();
  } catch (const fuzzExit&) {
  }
}
