// Reads a regular file in blocks of whole lines, the bytes of each block read by several
// threads at once; the unfinished last line of a block is carried into the next.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>

class pedBlockReader {
 public:
  // fd must stay open while the reader is used; it is read from its start with pread, so its
  // own file position does not matter.
  pedBlockReader(int fd, int threads);

  enum class status { lines, end, readError };
  // Reads on to the next block: about bytes bytes of new text (more when a line is longer) and
  // ending at a newline, or the rest of the file at its end.
  status next(size_t bytes);

  // The whole lines of the block. The last line of the file may lack its newline; a NUL
  // follows it.
  const char* lines() const { return data.get(); }
  size_t linesLength() const { return consumed; }

 private:
  // Appends up to bytes bytes from the file; the count, 0 at the end, negative on an error.
  ssize_t readMore(size_t bytes);
  void reserve(size_t bytes);

  int fd;
  int threads;
  std::unique_ptr<char[]> data;  // not value-initialised: it is overwritten by the file
  size_t capacity = 0;
  size_t filled = 0;    // bytes of text in data
  size_t consumed = 0;  // of them, the lines handed out by the last next()
  off_t offset = 0;     // where the file is read on
  bool atEnd = false;
};
