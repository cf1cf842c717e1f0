#include "run/output_file.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "run/exit.h"
#include "run/settings.h"
#include "run/temp_files.h"
#include "test_support/fatal_output.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"

namespace {

namespace fs = std::filesystem;

class OutputFile : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.made()); }
  std::string path(const std::string& name) const { return dir.file(name); }

  testsupport::settingsSnapshot settings;
  testsupport::scratchDirectory dir{"zuq-output-file"};
};

// Names of every kind the results file could be given. The check itself changes nothing.
TEST_F(OutputFile, ProblemsAreFoundBeforeTheRun) {
  testsupport::writeWholeFile(path("old.zuq"), "old table\n");
  fs::create_directory(path("empty"));
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  fs::create_symlink(path("old.zuq"), path("link.zuq"));
  fs::create_symlink(path("nowhere/x"), path("dangling.zuq"));
  struct nameCase {
    std::string name;
    std::string problem;
  };
  const nameCase cases[] = {
      {path("new.zuq"), ""},
      {path("old.zuq"), ""},
      {path("link.zuq"), ""},
      {path("dangling.zuq"), ""},  // the link is replaced by a new file
      {path("empty"), "it is a directory"},
      {path("fifo"), "it is not a regular file"},
      {"/dev/null", "it is not a regular file"},
      {path("missing/out.zuq"), "No such file or directory"},
      {path("old.zuq/out.zuq"), "Not a directory"},
      {"", "no file name"},
  };
  for (const nameCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(outputFileProblem(c.name), c.problem);
  }
  EXPECT_FALSE(fs::exists(path("new.zuq")));  // the probe file is gone again
  EXPECT_EQ(testsupport::readWholeFile(path("old.zuq")), "old table\n");
  EXPECT_TRUE(fs::is_directory(path("empty")));
}

// Permissions do not bind root, which is how the tests often run (in CI among others): there the
// checks run in a child that drops its privileges to this user ("nobody" on most systems).
constexpr uid_t unprivilegedUser = 65534;

// What probe returns, run in a child process without root's privileges; or why the child could
// not drop them.
std::string asUnprivilegedUser(const std::function<std::string()>& probe) {
  int channel[2];
  if (pipe(channel) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    std::string answer;
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(unprivilegedUser) != 0 ||
                           setuid(unprivilegedUser) != 0)) {
      answer = std::string("cannot drop root's privileges: ") + std::strerror(errno);
    } else {
      answer = probe();
    }
    const bool written = write(channel[1], answer.data(), answer.size()) ==
                         static_cast<ssize_t>(answer.size());
    _exit(written ? 0 : 1);
  }
  close(channel[1]);
  std::string answer;
  char buffer[256];
  for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, got);
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) answer += " (the child failed)";
  return answer;
}

TEST_F(OutputFile, ReadOnlyPlacesAreFound) {
  fs::create_directory(path("locked"));
  testsupport::writeWholeFile(path("locked/old.zuq"), "x");  // replaced by a rename
  testsupport::writeWholeFile(path("readonly.zuq"), "x");
  if (geteuid() == 0) {
    // The places are the user's own: only their modes refuse the writes.
    for (const char* name : {"", "locked", "locked/old.zuq", "readonly.zuq"}) {
      ASSERT_EQ(chown(path(name).c_str(), unprivilegedUser, unprivilegedUser), 0) << name;
    }
  }
  fs::permissions(path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(path("readonly.zuq"), fs::perms::owner_read);
  const std::string answers = asUnprivilegedUser([this] {
    std::string lines;
    for (const char* name : {"new.zuq", "locked/out.zuq", "locked/old.zuq", "readonly.zuq"}) {
      lines += std::string(name) + ": " + outputFileProblem(path(name)) + "\n";
    }
    return lines;
  });
  // The first, a new file in the user's own directory, shows the user can reach the places.
  EXPECT_EQ(answers,
            "new.zuq: \n"
            "locked/out.zuq: Permission denied\n"
            "locked/old.zuq: Permission denied\n"
            "readonly.zuq: Permission denied\n");
  fs::permissions(path("locked"), fs::perms::owner_all);
}

TEST_F(OutputFile, CheckEndsTheRunWithStatusOne) {
  fs::create_directory(path("empty"));
  outFileName = path("empty");
  EXPECT_EQ(testsupport::fatalOutput(dir, checkOutputFile),
            "Error: Cannot write results to file " + outFileName + " (it is a directory).\n");
  EXPECT_TRUE(fs::is_directory(path("empty")));
}

// Only a file or a link is removed before a run; the file a link points to stays.
TEST_F(OutputFile, OnlyFilesAndLinksAreRemoved) {
  testsupport::writeWholeFile(path("target"), "kept\n");
  struct removalCase {
    const char* name;
    std::function<void(const std::string&)> make;
    bool removed;
  };
  const removalCase cases[] = {
      {"file", [](const std::string& p) { testsupport::writeWholeFile(p, "old\n"); }, true},
      {"link", [this](const std::string& p) { fs::create_symlink(path("target"), p); }, true},
      {"empty directory", [](const std::string& p) { fs::create_directory(p); }, false},
      {"fifo", [](const std::string& p) { mkfifo(p.c_str(), 0600); }, false},
  };
  for (const removalCase& c : cases) {
    SCOPED_TRACE(c.name);
    outFileName = path(c.name);
    c.make(outFileName);
    removeOldOutputFile();
    EXPECT_EQ(fs::exists(fs::symlink_status(outFileName)), !c.removed);
  }
  EXPECT_EQ(testsupport::readWholeFile(path("target")), "kept\n");
  outFileName = path("absent");
  removeOldOutputFile();  // nothing there: nothing happens
}

// A file written under its incomplete name is there under its own only once complete; an old
// file of that name never stays.
TEST_F(OutputFile, AnOutputFileIsThereOnlyOnceComplete) {
  const auto writeTable = [](std::ostream& out) { out << "the table\n"; };
  const auto failHalfWay = [](std::ostream& out) {
    out << "the ta";
    out.setstate(std::ios::badbit);  // as a full disk leaves the stream
  };
  testsupport::writeWholeFile(path("victim"), "not ours\n");
  struct writeCase {
    const char* what;
    std::function<void(const std::string&)> before;
    std::function<void(std::ostream&)> write;
    bool written;
  };
  const writeCase cases[] = {
      {"a new file", [](const std::string&) {}, writeTable, true},
      {"over an old file", [](const std::string& p) { testsupport::writeWholeFile(p, "old\n"); },
       writeTable, true},
      {"over a link", [this](const std::string& p) { fs::create_symlink(path("victim"), p); },
       writeTable, true},
      {"a link left under the incomplete name",
       [this](const std::string& p) { fs::create_symlink(path("victim"), incompleteFileName(p)); },
       writeTable, true},
      {"a write that fails", [](const std::string&) {}, failHalfWay, false},
      {"a write that fails over an old file",
       [](const std::string& p) { testsupport::writeWholeFile(p, "old\n"); }, failHalfWay, false},
  };
  int n = 0;
  for (const writeCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = path("out" + std::to_string(n++) + ".zuq");
    c.before(name);
    EXPECT_EQ(writeOutputFile(name, c.write), c.written);
    EXPECT_EQ(fs::exists(fs::symlink_status(name)), c.written);
    if (c.written) {
      EXPECT_FALSE(fs::is_symlink(name));
      EXPECT_EQ(testsupport::readWholeFile(name), "the table\n");
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(incompleteFileName(name))));
  }
  EXPECT_EQ(testsupport::readWholeFile(path("victim")), "not ours\n");

  // Not a file: refused, and left as it is.
  fs::create_directory(path("empty"));
  EXPECT_FALSE(writeOutputFile(path("empty"), writeTable));
  EXPECT_TRUE(fs::is_directory(path("empty")));
  EXPECT_FALSE(fs::exists(incompleteFileName(path("empty"))));
}

// The reason the caller hears is the system's, for each step that can fail.
TEST_F(OutputFile, AFailedWriteGivesTheSystemsReason) {
  fs::create_directory(path("empty"));
  struct reasonCase {
    std::string name;
    std::string reason;
  };
  const reasonCase cases[] = {
      {path("missing/out.zuq"), "No such file or directory"},  // the incomplete name's open
      {path("empty"), "Is a directory"},                        // the rename
  };
  for (const reasonCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string reason = "unset";
    EXPECT_FALSE(writeOutputFile(c.name, [](std::ostream& out) { out << "x\n"; }, &reason));
    EXPECT_EQ(reason, c.reason);
    testing::internal::CaptureStdout();
    writeOutputFileOrWarn(c.name, [](std::ostream& out) { out << "x\n"; });
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning: Cannot write to output file " + c.name + " (" + c.reason + ").\n");
  }
  std::string reason = "unset";
  EXPECT_TRUE(writeOutputFile(path("new.zuq"), [](std::ostream& out) { out << "x\n"; }, &reason));
  EXPECT_EQ(reason, "unset");
}

// A full device, found when the buffer fills in the middle of the writing or only at the close:
// the reason is the one of that failure, whatever failed in the program since (errno of a
// removal that found no file).
TEST_F(OutputFile, AStreamKeepsTheReasonOfItsFirstFailure) {
  struct streamCase {
    const char* what;
    size_t bytes;
  };
  const streamCase cases[] = {{"at the close", 100}, {"while writing", 100000}};
  for (const streamCase& c : cases) {
    SCOPED_TRACE(c.what);
    outputFileStream out;
    out.open("/dev/full");
    ASSERT_TRUE(out.is_open());
    out << std::string(c.bytes, 'x');
    std::remove(path("absent").c_str());  // ENOENT in errno
    out << "more";
    out.close();
    EXPECT_TRUE(out.fail());
    EXPECT_EQ(out.failure(), "No space left on device");
  }
  outputFileStream out;
  out.open(path("missing/file"));
  EXPECT_FALSE(out.is_open());
  EXPECT_EQ(out.failure(), "No such file or directory");
  // Opened again, on a file that takes the data: nothing of the old failure stays.
  out.open(path("file"));
  out << "data\n";
  out.close();
  EXPECT_EQ(out.failure(), "");
  EXPECT_EQ(testsupport::readWholeFile(path("file")), "data\n");
}

// A run that ends in the middle of the write (another thread's error, a signal) leaves neither
// the half-written file nor the old one.
TEST_F(OutputFile, TheEndOfTheRunInTheMiddleOfTheWriteLeavesNothing) {
  scratchPrefix = path("p.");
  debugLevel = 0;
  tempNamesInUse = true;
  const std::string name = path("zuq.stats");
  testsupport::writeWholeFile(name, "old\n");
  testsupport::fatalOutput(dir, [&name] {
    writeOutputFile(name, [](std::ostream& out) {
      out << "half a table" << std::flush;
      fatalExit(1);
    });
  });
  EXPECT_FALSE(fs::exists(name));
  EXPECT_FALSE(fs::exists(incompleteFileName(name)));
}

}  // namespace
