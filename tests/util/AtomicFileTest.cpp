#include "util/AtomicFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include "tests/support/FileContent.h"
#include "tests/support/TempFolder.h"

namespace util {
namespace {

namespace fs = std::filesystem;

using test::contentOf;

std::optional<std::string> writeText(const std::string& path, const std::string& text) {
  return writeFileAtomically(path, [&text](std::ostream& out) { out << text; });
}

size_t entriesIn(const std::string& folder) {
  return static_cast<size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator{}));
}

// writeFileAtomically(path, `bytes` bytes) in a child whose files may hold at most `limit`
// bytes, with SIGXFSZ at its default (ending the process) as a shell's `ulimit -f` leaves it;
// what it returned, "" on success, "killed" when the signal ended the child.
std::string writeUnderFileLimit(const std::string& path, size_t bytes, rlim_t limit) {
  int fds[2];
  if (::pipe(fds) != 0)
    return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    ::signal(SIGXFSZ, SIG_DFL);
    const rlimit fileSize{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &fileSize);
    const std::string failure = writeFileAtomically(path, [bytes](std::ostream& out) {
                                  out << std::string(bytes, 'n');
                                }).value_or("");
    const ssize_t written = ::write(fds[1], failure.data(), failure.size());
    ::_exit(written == static_cast<ssize_t>(failure.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  std::string message;
  char buffer[256];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
    message.append(buffer, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFSIGNALED(status) ? "killed" : message;
}

TEST(AtomicFileTest, AWriteThatFailsMidwayLeavesTheOldFileAndNoTemporaryFile) {
  const std::string folder = test::tempPath();
  const std::string path = folder + "/results.json";
  std::ofstream(path) << "old results\n";
  ::chmod(path.c_str(), 0640);

  // Over the limit after the first kilobyte, and past the first buffer of 64 KiB.
  for (size_t bytes : {size_t{2000}, size_t{1} << 20}) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(writeUnderFileLimit(path, bytes, 1024),
              "could not write " + path + ": " + std::strerror(EFBIG));
    EXPECT_EQ(contentOf(path), "old results\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1);
  }
  // Within the limit the file is replaced, with the old file's permissions.
  EXPECT_EQ(writeUnderFileLimit(path, 1000, 1024), "");
  EXPECT_EQ(contentOf(path), std::string(1000, 'n'));
  struct stat status {};
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1);
}

TEST(AtomicFileTest, LinksAreFollowedSpecialFilesWrittenDirectlyAndFailuresSayWhy) {
  const std::string folder = test::tempPath();
  const auto write = writeText;
  // A link stays a link; the file it names gets the new content.
  const std::string target = folder + "/target.csv", link = folder + "/link.csv";
  std::ofstream(target) << "old";
  fs::create_symlink(target, link);
  EXPECT_EQ(write(link, "new"), std::nullopt);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(contentOf(target), "new");

  EXPECT_EQ(write("/dev/null", "ignored"), std::nullopt);
  EXPECT_THAT(write("/dev/full", "x").value_or(""),
              ::testing::EndsWith(": " + std::string(std::strerror(ENOSPC))));
  EXPECT_EQ(write(folder + "/missing/x.json", "x"),
            "could not write " + folder + "/missing/x.json: " + std::strerror(ENOENT));
  EXPECT_EQ(write(folder, "x"), "could not write " + folder + ": " + std::strerror(EISDIR));
  // A write that throws removes its temporary file.
  EXPECT_THROW(writeFileAtomically(folder + "/thrown",
                                   [](std::ostream&) { throw std::runtime_error("midway"); }),
               std::runtime_error);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 2);
}

TEST(AtomicFileTest, OutputsThatNameAnInputOrEachOtherAreFound) {
  const std::string folder = test::tempPath();
  const std::string base = folder + "/base.json", hardLink = folder + "/same.json";
  std::ofstream(base) << "{}";
  fs::create_hard_link(base, hardLink);
  const std::string missing = folder + "/new.json";

  EXPECT_TRUE(sameFile(base, folder + "/./base.json"));
  EXPECT_TRUE(sameFile(base, hardLink));
  EXPECT_TRUE(sameFile(missing, folder + "/sub/../new.json"));  // neither exists
  EXPECT_FALSE(sameFile(base, missing));

  const std::vector<NamedPath> inputs = {{"BASE", base}, {"NEW", folder + "/other.json"}};
  EXPECT_EQ(outputClash(inputs, {{"--json", hardLink}}),
            "--json " + hardLink + " names the same file as BASE " + base);
  EXPECT_EQ(outputClash(inputs, {{"--json", missing}, {"--csv", folder + "//new.json"}}),
            "--csv " + folder + "//new.json names the same file as --json " + missing);
  EXPECT_EQ(outputClash(inputs, {{"--json", missing}, {"--csv", folder + "/new.csv"}}),
            std::nullopt);
  // Empty paths are no outputs; a device may take any number of them.
  EXPECT_EQ(outputClash({{"--keys", ""}}, {{"--json", ""}, {"--csv", ""}}), std::nullopt);
  EXPECT_EQ(outputClash({}, {{"--json", "/dev/null"}, {"--csv", "/dev/null"}}), std::nullopt);
}

TEST(AtomicFileTest, TheTemporaryFileIsMadeInsideTheTargetsFolder) {
  const std::string folder = test::tempPath("results");
  fs::create_directories(folder);
  size_t inTarget = 0, besideTarget = 0;
  EXPECT_EQ(writeFileAtomically(folder + "/out.json",
                                [&](std::ostream& out) {
                                  inTarget = entriesIn(folder);
                                  besideTarget = entriesIn(test::tempPath());
                                  out << "new";
                                }),
            std::nullopt);
  EXPECT_EQ(inTarget, 1u);
  EXPECT_EQ(besideTarget, 1u);  // the results folder alone
  EXPECT_EQ(contentOf(folder + "/out.json"), "new");
  EXPECT_EQ(entriesIn(folder), 1u);
}

TEST(AtomicFileTest, LinksThatNameNothingAreRefusedAndNeverReplaced) {
  const std::string folder = test::tempPath();
  const std::string dangling = folder + "/dangling", closedFd = folder + "/fd";
  fs::create_symlink(folder + "/missing.json", dangling);
  fs::create_symlink("/proc/self/fd/987", closedFd);
  for (const std::string& link : {dangling, closedFd}) {
    SCOPED_TRACE(link);
    const std::string refusal = "could not write " + link +
                                ": a symbolic link whose target does not exist or cannot be "
                                "resolved";
    EXPECT_EQ(writableRefusal(link), refusal);
    EXPECT_EQ(writeText(link, "x"), refusal);
    EXPECT_TRUE(fs::is_symlink(link));
  }
  EXPECT_FALSE(fs::exists(folder + "/missing.json"));
  EXPECT_EQ(writableRefusal(folder + "/no/such/folder.json"),
            "could not write " + folder + "/no/such/folder.json: " + std::strerror(ENOENT));
  EXPECT_EQ(writableRefusal(folder + "/new.json"), std::nullopt);
  EXPECT_EQ(entriesIn(folder), 2u);
}

// As `mapbench --json /dev/stdout > both.txt` and `... >> log.txt`: the file is written
// through the open descriptor, after what it already holds, and keeps its inode.
TEST(AtomicFileTest, AFileThisProcessHoldsOpenForWritingIsWrittenThroughItsDescriptor) {
  const std::string folder = test::tempPath();
  for (const int mode : {O_TRUNC, O_APPEND}) {
    SCOPED_TRACE(mode);
    const std::string path = folder + "/both.txt";
    std::ofstream(path) << (mode == O_APPEND ? "earlier lines\n" : "old table\n");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | mode);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "table\n", 6), 6);
    struct stat before {};
    ASSERT_EQ(::fstat(fd, &before), 0);
    for (const std::string& name : {"/proc/self/fd/" + std::to_string(fd), path})
      EXPECT_EQ(writeText(name, "{json}\n"), std::nullopt);
    ASSERT_EQ(::write(fd, "end\n", 4), 4);
    ::close(fd);
    EXPECT_EQ(contentOf(path), (mode == O_APPEND ? "earlier lines\n" : "") +
                                   std::string("table\n{json}\n{json}\nend\n"));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(entriesIn(folder), 1u);
  }
}

}  // namespace
}  // namespace util
