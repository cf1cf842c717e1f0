// A file written for plink through its own descriptor, so that a create, write or close that
// fails keeps the system's reason for the message that ends the run.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

class checkedFile : private std::streambuf {
 public:
  // Creates path, or truncates it, for writing; isOpen tells whether that worked.
  explicit checkedFile(const std::string& path);
  // Closes the descriptor if close was not called, without checking: the file is given up.
  ~checkedFile() override;
  checkedFile(const checkedFile&) = delete;
  checkedFile& operator=(const checkedFile&) = delete;

  bool isOpen() const { return descriptor >= 0; }
  // The stream to write to. After the first failure nothing more reaches the file.
  std::ostream& stream() { return out; }
  // Writes what is buffered and closes the file; true when it was created and every byte
  // written, the close included (a full disk may show only there).
  bool close();
  // The system's reason for the first failure ("No space left on device"); empty when none.
  const std::string& reason() const { return failure; }

 private:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;
  int sync() override;
  bool writeBuffer();
  bool writeAll(const char* data, size_t size);
  void fail(int error);

  int descriptor = -1;
  std::string failure;
  std::vector<char> buffer;
  std::ostream out;
};

// The line that gives the reason a file could not be created; the message that says what the
// file was for follows it.
std::string createFailureLine(const std::string& name, const std::string& reason);
// The message for a file that was created but could not be written in full.
std::string writeFailureLine(const std::string& name, const std::string& reason);
