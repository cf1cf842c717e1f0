// The output files: the results file named by --out, checked before any data is read, and the
// writing of an output file under a name of its own that replaces the file only once complete.
#pragma once

#include <fstream>
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
// Removes name when it is a regular file or a symbolic link, never a directory or a device node
// in the way.
void removeFileOrLink(const std::string& name);
// Why name cannot serve as the results file; empty when it can.
std::string outputFileProblem(const std::string& name);

// The name an output file is written under until it is complete, beside it in its directory.
std::string incompleteFileName(const std::string& name);
// Writes an output file under its incomplete name and renames it into place once complete, so
// that a write that fails (a full disk) leaves nothing under either name. An old file of that
// name (a file or a link, never anything else) goes first. The incomplete name is one of the
// run's temporary names, which the exits remove, and an end of the run that comes meanwhile
// waits for the write. False when the file could not be created, written or renamed; reason,
// when given, then holds the system's reason ("No space left on device").
bool writeOutputFile(const std::string& name, const std::function<void(std::ostream&)>& write,
                     std::string* reason = nullptr);
// writeOutputFile for a file the run can do without (the --allbias and --debug files): one that
// cannot be written gets "Warning: Cannot write to output file <name> (<reason>).", and the run
// goes on.
void writeOutputFileOrWarn(const std::string& name,
                           const std::function<void(std::ostream&)>& write);

// A file stream that keeps the system's reason for its first failure. errno holds that reason
// only until the next call that fails, and a stream written over a whole run (the partial file
// of a cluster instance) is checked long after its write failed.
class outputFileStream : public std::ostream {
 public:
  outputFileStream();
  void open(const std::string& name, std::ios::openmode mode = std::ios::out | std::ios::trunc);
  void close();
  bool is_open() const { return buffer.is_open(); }
  // Empty while the stream has not failed; else the system's reason for the first failure.
  std::string failure() const;

 private:
  class reasonKeepingBuffer : public std::filebuf {
   public:
    int firstError = 0;  // errno of the first failed open, write or close; 0 while none failed
    void noteFailure();

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char_type* s, std::streamsize n) override;
    int sync() override;
  };
  reasonKeepingBuffer buffer;
};
