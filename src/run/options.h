// The command-line token store: the words of the command line and of a --script file, looked
// up one option at a time by exact name, with a record of which words were consumed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class options {
 public:
  options(int argc, const char* const* argv);
  virtual ~options();

  // 1 when an unconsumed token equals name; every occurrence is consumed with the nargs tokens
  // after it, and optionArgs holds the arguments of the last one.
  int findOption(const std::string& name, int nargs);
  // Ends the process (status 1) at the first token that no lookup consumed.
  void checkUnusedOptions();
  // Writes the tokens back, each followed by a blank, leaving out --script and its file name.
  void printCommandLine();

  int32_t tokenCount = 0;
  std::vector<std::string> tokens;
  std::vector<int32_t> used;
  const char* optionArgs[2] = {nullptr, nullptr};

 private:
  int argIndex[2] = {0, 0};  // token positions behind optionArgs
  void readScriptFile(const char* fileName);
};
