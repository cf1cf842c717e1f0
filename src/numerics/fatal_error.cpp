#include "numerics/fatal_error.h"

#include <iostream>

#include "run/exit.h"

void fatalError(const std::string& message) {
  std::cout << "\nERROR: " << message << "\n";
  plainExit(1);
}
