// Temporary file names: the process-wide prefix and the removal of every name built on it.
#pragma once

#include <atomic>
#include <string>

// Set once the prefix is complete: before that no temporary file can exist, and names built on a
// bare --scratch directory (or on nothing) could only hit the user's own files. Atomic: the
// thread that watches for signals reads it, and what it guards (the prefix, the settings) is
// complete before it is set.
inline std::atomic<bool> tempNamesInUse = false;

// Appends "temp.zuq.", seven digits and "." to scratchPrefix, and the cluster instance number and
// "." when clusterCount is above 0. The digits mix a draw of the system generator with the
// process id, and the prefix is claimed by creating its lock file exclusively in the scratch
// directory (drawn again while the name is taken), so no two runs in one directory share it.
void completeScratchPrefix();

// The --scratch directory as a prefix: "/" added unless it is there; empty stays empty.
std::string scratchDirectoryPrefix(const std::string& directory);

// A temporary file outside the prefix (in the directory of the file it will become), removed
// with the others unless it has been renamed into place by then. Thread-safe.
void addTemporaryName(const std::string& path);

// Removes every temporary file of the run: the names added above (even with --debug: they are
// outputs cut short), and unless --debug keeps them, the fixed list of names, every file in the
// scratch directory whose name begins with the prefix (plink's by-products included; none before
// the prefix is complete) and the prefix's lock file. Silent, and allocates nothing: it must work
// when memory has run out.
void removeTempFiles();

// Held while a thread writes temporary files, so that the end of a run removes them only once
// they are complete: an object of this class waits for the end of the process when the run is
// already ending.
class temporaryFileWork {
 public:
  temporaryFileWork();
  ~temporaryFileWork();
  temporaryFileWork(const temporaryFileWork&) = delete;
  temporaryFileWork& operator=(const temporaryFileWork&) = delete;
};

// For a thread that is about to wait for the end of the run, never to come back to its work: the
// end does not wait for that work, and removes what it wrote.
void leaveTemporaryFileWork();

// For the end of the run: lets no new temporary-file work start and waits (a few seconds at
// most) for that of other threads to finish.
void stopTemporaryFileWork();
