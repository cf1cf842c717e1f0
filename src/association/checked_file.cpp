#include "association/checked_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Big enough that a .bed chunk or a long .bim leaves in few calls, small enough for every
// thread of a scan through plink to hold one.
constexpr size_t bufferBytes = size_t{1} << 16;

}  // namespace

checkedFile::checkedFile(const std::string& path) : buffer(bufferBytes), out(this) {
  // Not inherited by the plink processes that other threads start meanwhile.
  descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    fail(errno);
    out.setstate(std::ios::badbit);
  }
  setp(buffer.data(), buffer.data() + buffer.size());
}

checkedFile::~checkedFile() {
  if (descriptor >= 0) ::close(descriptor);
}

bool checkedFile::close() {
  if (descriptor < 0) return false;
  writeBuffer();
  if (::close(descriptor) != 0) fail(errno);
  descriptor = -1;
  return failure.empty();
}

void checkedFile::fail(int error) {
  if (failure.empty()) failure = std::strerror(error);
}

bool checkedFile::writeAll(const char* data, size_t size) {
  if (!failure.empty()) return false;
  while (size > 0) {
    const ssize_t written = ::write(descriptor, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      fail(written < 0 ? errno : EIO);
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool checkedFile::writeBuffer() {
  const bool written = writeAll(pbase(), static_cast<size_t>(pptr() - pbase()));
  setp(buffer.data(), buffer.data() + buffer.size());
  return written;
}

checkedFile::int_type checkedFile::overflow(int_type c) {
  if (!writeBuffer()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

std::streamsize checkedFile::xsputn(const char* data, std::streamsize size) {
  if (size < epptr() - pptr()) {
    std::memcpy(pptr(), data, static_cast<size_t>(size));
    pbump(static_cast<int>(size));
    return size;
  }
  // A large block (a .bed chunk) goes straight to the file after what is buffered.
  if (!writeBuffer() || !writeAll(data, static_cast<size_t>(size))) return 0;
  return size;
}

int checkedFile::sync() { return writeBuffer() ? 0 : -1; }

std::string createFailureLine(const std::string& name, const std::string& reason) {
  return "Error: Cannot create " + name + " (" + reason + ").\n";
}

std::string writeFailureLine(const std::string& name, const std::string& reason) {
  return "Error: Cannot write to output file " + name + " (" + reason + ").\n";
}
