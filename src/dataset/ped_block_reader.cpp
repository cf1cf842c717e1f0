#include "dataset/ped_block_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// Below this a slice is not worth a thread of its own.
constexpr size_t minimumSlice = size_t{1} << 20;

// Reads count bytes at offset unless the file ends first; the bytes read, negative on an error.
ssize_t readFully(int fd, char* to, size_t count, off_t offset) {
  size_t done = 0;
  while (done < count) {
    const ssize_t got = pread(fd, to + done, count - done, offset + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

// The last newline of [begin, end), or nullptr.
const char* lastNewline(const char* begin, const char* end) {
  const void* found = end > begin ? memrchr(begin, '\n', static_cast<size_t>(end - begin)) : nullptr;
  return static_cast<const char*>(found);
}

}  // namespace

pedBlockReader::pedBlockReader(int fd, int threads) : fd(fd), threads(std::max(threads, 1)) {}

void pedBlockReader::reserve(size_t bytes) {
  if (bytes <= capacity) return;
  const size_t grown = std::max(bytes, 2 * capacity);
  std::unique_ptr<char[]> larger(new char[grown]);
  if (filled > 0) std::memcpy(larger.get(), data.get(), filled);
  data = std::move(larger);
  capacity = grown;
}

ssize_t pedBlockReader::readMore(size_t bytes) {
  reserve(filled + bytes + 1);  // and a NUL after the text
  // Slices read at once: copying from the page cache is the bulk of the time here, and each
  // thread copies (and first touches) its own part of the buffer.
  const size_t slices = std::clamp<size_t>(bytes / minimumSlice, 1, static_cast<size_t>(threads));
  const size_t sliceSize = (bytes + slices - 1) / slices;
  std::vector<ssize_t> got(slices);
#pragma omp parallel for schedule(static) num_threads(static_cast<int>(slices)) if (slices > 1)
  for (size_t i = 0; i < slices; ++i) {
    const size_t from = i * sliceSize;
    const size_t count = std::min(sliceSize, bytes - std::min(from, bytes));
    got[i] = readFully(fd, data.get() + filled + from, count, offset + static_cast<off_t>(from));
  }
  // The text read is the run of slices up to the first short one: bytes after it (a file that
  // grew meanwhile) are read again with the next block.
  size_t total = 0;
  for (size_t i = 0; i < slices; ++i) {
    if (got[i] < 0) return -1;
  }
  for (size_t i = 0; i < slices; ++i) {
    total += static_cast<size_t>(got[i]);
    if (static_cast<size_t>(got[i]) < sliceSize) break;
  }
  filled += total;
  offset += static_cast<off_t>(total);
  data[filled] = '\0';
  return static_cast<ssize_t>(total);
}

pedBlockReader::status pedBlockReader::next(size_t bytes) {
  bytes = std::max<size_t>(bytes, 1);
  // The unfinished line of the last block moves to the front.
  if (consumed > 0) std::memmove(data.get(), data.get() + consumed, filled - consumed);
  filled -= consumed;
  consumed = 0;
  for (;;) {
    const size_t searched = filled;  // the carried text holds no newline
    if (!atEnd) {
      const ssize_t got = readMore(bytes);
      if (got < 0) return status::readError;
      atEnd = got == 0;
    }
    const char* newline = lastNewline(data.get() + searched, data.get() + filled);
    if (newline != nullptr) {
      consumed = static_cast<size_t>(newline + 1 - data.get());
      return status::lines;
    }
    if (atEnd) {
      if (filled == 0) return status::end;
      consumed = filled;  // the last line, without its newline
      data[filled] = '\0';
      return status::lines;
    }
  }
}
