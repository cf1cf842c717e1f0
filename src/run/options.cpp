#include "run/options.h"

#include <cstdio>
#include <fstream>
#include <iostream>

#include "dataset/input_files.h"
#include "run/exit.h"

options::options(int argc, const char* const* argv) {
  for (int i = 0; i < argc; ++i) tokens.emplace_back(argv[i]);
  tokenCount = static_cast<int32_t>(tokens.size());
  used.assign(tokens.size() + 1, 0);
  if (findOption("--script", 1)) readScriptFile(optionArgs[0]);
}

options::~options() = default;

int options::findOption(const std::string& name, int nargs) {
  if (tokenCount < 2) return 0;
  int found = 0;
  for (int i = 1; i < tokenCount;) {
    if (used[i] == 1 || tokens[i] != name) {
      ++i;
      continue;
    }
    used[i] = 1;
    if (i + nargs >= tokenCount) {
      std::cout << "Error: Option " << name << " requires " << nargs << " arguments.\n";
      plainExit(1);
    }
    // The following tokens are arguments whatever they are, even option names.
    for (int a = 0; a < nargs; ++a) {
      used[i + 1 + a] = 1;
      argIndex[a] = i + 1 + a;
      optionArgs[a] = tokens[i + 1 + a].c_str();
    }
    found = 1;
    i += nargs + 1;
  }
  return found;
}

void options::readScriptFile(const char* fileName) {
  // Copy the name first: appending tokens may move the text that optionArgs points into.
  const std::string name = fileName;
  std::ifstream in;
  if (!openInputFile(in, name)) {
    std::cout << "Error: Cannot open script file '" << name << "'.\n";
    plainExit(1);
  }
  std::string word;
  while (in >> word) {
    tokens.push_back(word);
    used.push_back(0);
  }
  tokenCount = static_cast<int32_t>(tokens.size());
  used.resize(tokens.size() + 1, 0);
  // Growing tokens may have moved the texts that optionArgs pointed into.
  optionArgs[0] = tokens[argIndex[0]].c_str();
}

void options::checkUnusedOptions() {
  if (tokenCount <= 1) return;
  for (int i = 1; i < tokenCount; ++i) {
    if (used[i] != 0) continue;
    std::cout << "Error: Option " << tokens[i] << " not understood.\n"
              << "\nTry running zuq --help for a list of command line options.\n";
    plainExit(1);
  }
}

void options::printCommandLine() {
  for (int i = 1; i < tokenCount; ++i) {
    if (tokens[i] == "--script") {
      ++i;
      continue;
    }
    std::cout << tokens[i] << ' ';
  }
}
