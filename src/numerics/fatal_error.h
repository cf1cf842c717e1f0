// The numerical routines' fatal errors: the only ways the matrix and distribution code ends the run.
#pragma once

#include <string>

// Prints "\nERROR: ", the message and a newline on standard output and ends the process with
// status 1. Temporary files are left in place (the numerical code never removes them).
[[noreturn]] void fatalError(const std::string& message);

// The distribution library's stop, for a search or series asked about an argument it cannot
// serve: writes the message and a newline on standard error and ends the process with status 1
// (a failure, never a success). Temporary files are left in place.
[[noreturn]] void stopWithMessage(const std::string& message);
