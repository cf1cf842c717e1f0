// The numerical routines' fatal error: the one way the matrix and distribution code ends the run.
#pragma once

#include <string>

// Prints "\nERROR: ", the message and a newline on standard output and ends the process with
// status 1. Temporary files are left in place (the numerical code never removes them).
[[noreturn]] void fatalError(const std::string& message);
