#include "association/checked_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support/scratch_files.h"

namespace {

using testsupport::readWholeFile;

// Pieces of every size around the 64 KiB buffer, as characters and as blocks, must land in the
// file in order: single characters that fill the buffer, blocks that straddle its end, and blocks
// larger than it that go to the file directly.
TEST(CheckedFile, PiecesOfEverySizeLandInOrder) {
  testsupport::scratchDirectory dir("checked_file");
  ASSERT_TRUE(dir.made());
  const std::vector<size_t> sizes = {1, 65535, 1, 2, 65536, 7, 65537, 200000, 3, 131072, 1};
  std::string expected;
  checkedFile file(dir.file("pieces"));
  ASSERT_TRUE(file.isOpen()) << file.reason();
  for (size_t k = 0; k < sizes.size(); ++k) {
    std::string piece(sizes[k], '\0');
    for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<char>('a' + (i * 7 + k) % 26);
    expected += piece;
    if (piece.size() == 1) {
      file.stream() << piece[0];
    } else {
      file.stream().write(piece.data(), static_cast<std::streamsize>(piece.size()));
    }
  }
  EXPECT_TRUE(file.close()) << file.reason();
  EXPECT_EQ(file.reason(), "");
  EXPECT_EQ(readWholeFile(dir.file("pieces")), expected);
}

// The reason is the system's, from the create, the write that fails or the last write at close.
TEST(CheckedFile, FailuresKeepTheSystemsReason) {
  testsupport::scratchDirectory dir("checked_file");
  ASSERT_TRUE(dir.made());
  std::filesystem::create_directory(dir.file("a directory"));
  struct failureCase {
    std::string path;
    size_t bytes;  // written before close
    bool opens;
    std::string reason;
  };
  const failureCase cases[] = {
      {dir.file("no/such/directory"), 0, false, "No such file or directory"},
      {dir.file("a directory"), 0, false, "Is a directory"},
      {"/dev/full", 10, true, "No space left on device"},      // at close
      {"/dev/full", 300000, true, "No space left on device"},  // while writing
  };
  for (const failureCase& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.bytes));
    checkedFile file(c.path);
    EXPECT_EQ(file.isOpen(), c.opens);
    const std::string text(c.bytes, 'x');
    file.stream() << text;
    if (c.bytes > 65536) {
      EXPECT_FALSE(file.stream());  // the failed write shows at once
    }
    EXPECT_FALSE(file.close());
    EXPECT_EQ(file.reason(), c.reason);
  }
}

}  // namespace
