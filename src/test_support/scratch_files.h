// Test support: whole files read and written in one call, and fresh scratch directories that
// are removed at the end of a test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace testsupport {

// The bytes of a file; empty when it cannot be read.
inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The lines of a text file without their line ends; none when it cannot be read.
inline std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Creates or replaces a file with exactly these bytes.
inline void writeWholeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A new, empty directory <temporary directory>/<label>-XXXXXX, removed with everything in it
// when the object ends. A failure to create it is a test failure; made() then says false and
// path() is empty.
class scratchDirectory {
 public:
  explicit scratchDirectory(const std::string& label) {
    std::string pattern = testing::TempDir() + label + "-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    } else {
      ADD_FAILURE() << "cannot create a scratch directory " << pattern;
    }
  }
  ~scratchDirectory() {
    if (path_.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  scratchDirectory(const scratchDirectory&) = delete;
  scratchDirectory& operator=(const scratchDirectory&) = delete;

  bool made() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  // The path of a file inside the directory.
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A scratch directory that is also the working directory until the object ends, for code that
// writes its files into the working directory.
class scratchWorkingDirectory : public scratchDirectory {
 public:
  explicit scratchWorkingDirectory(const std::string& label)
      : scratchDirectory(label), previous_(workingDirectory()) {
    if (!made()) return;
    std::error_code error;
    std::filesystem::current_path(path(), error);
    if (error) ADD_FAILURE() << "cannot enter " << path() << ": " << error.message();
  }
  ~scratchWorkingDirectory() {
    std::error_code error;
    std::filesystem::current_path(previous_, error);
  }

 private:
  static std::filesystem::path workingDirectory() {
    std::error_code error;
    return std::filesystem::current_path(error);
  }

  std::filesystem::path previous_;
};

}  // namespace testsupport
