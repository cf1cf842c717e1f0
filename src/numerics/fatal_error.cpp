#include "numerics/fatal_error.h"

#include <cstdio>
#include <iostream>

#include "run/exit.h"

void fatalError(const std::string& message) {
  std::cout << "\nERROR: " << message << "\n";
  plainExit(1);
}

void stopWithMessage(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  plainExit(1);
}
