// The results file named by --out: checked before any data is read, replaced only when it is a
// file.
#pragma once

#include <string>

// Ends the run (status 1) when outFileName names something that is not a file (a directory, a
// device), or a file that cannot be created or written: better now than after the analysis.
void checkOutputFile();
// Removes an old results file before the analysis, so that a failed run leaves none behind.
// Only a regular file or a symbolic link is removed, never a directory or a device node.
void removeOldOutputFile();
// Why name cannot serve as the results file; empty when it can.
std::string outputFileProblem(const std::string& name);
