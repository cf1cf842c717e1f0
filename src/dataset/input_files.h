// Opening the text files a run reads besides the data set: SNP lists, phenotype and covariate
// files, script files.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

// Opens name for reading; false when it cannot be opened or is a directory. A directory opens
// for reading on Linux and then reads as an empty file, which would pass for a list naming
// nothing: its callers end with the error a missing file gets.
inline bool openInputFile(std::ifstream& file, const std::string& name) {
  std::error_code ignored;
  if (std::filesystem::is_directory(name, ignored)) return false;
  file.open(name);
  return file.is_open();
}
