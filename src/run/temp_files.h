// Temporary file names: the process-wide prefix and the removal of every name built on it.
#pragma once

#include <string>

// Set once the prefix is complete: before that no temporary file can exist, and names built on a
// bare --scratch directory (or on nothing) could only hit the user's own files.
inline bool tempNamesInUse = false;

// Appends "temp.zuq.", seven digits from the system generator and "." to scratchPrefix, and the
// cluster instance number and "." when clusterCount is above 0.
void completeScratchPrefix();

// The --scratch directory as a prefix: "/" added unless it is there; empty stays empty.
std::string scratchDirectoryPrefix(const std::string& directory);

// Removes every temporary name the run may have created (unless --debug, or before the prefix is
// complete); silent.
void removeTempFiles();
