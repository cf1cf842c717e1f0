// The output files: the results file named by --out, checked before any data is read, and the
// writing of an output file under a name of its own that replaces the file only once complete.
#pragma once

#include <functional>
#include <ostream>
#include <string>

// Ends the run (status 1) when outFileName names something that is not a file (a directory, a
// device), or a file that cannot be created or written, or replaced in its directory: better now
// than after the analysis.
void checkOutputFile();
// Removes an old results file before the analysis, so that a failed run leaves none behind.
// Only a regular file or a symbolic link is removed, never a directory or a device node.
void removeOldOutputFile();
// Why name cannot serve as the results file; empty when it can.
std::string outputFileProblem(const std::string& name);

// The name an output file is written under until it is complete, beside it in its directory.
std::string incompleteFileName(const std::string& name);
// Writes an output file under its incomplete name and renames it into place once complete, so
// that a write that fails (a full disk) leaves nothing under either name. An old file of that
// name (a file or a link, never anything else) goes first. The incomplete name is one of the
// run's temporary names, which the exits remove, and an end of the run that comes meanwhile
// waits for the write. False when the file could not be created, written or renamed.
bool writeOutputFile(const std::string& name, const std::function<void(std::ostream&)>& write);
