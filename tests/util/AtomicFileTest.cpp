#include "util/AtomicFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
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

namespace util {
namespace {

namespace fs = std::filesystem;

using test::contentOf;

// A fresh, empty folder of the test's own.
std::string freshFolder(const std::string& name) {
  const std::string folder = ::testing::TempDir() + name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

// writeFileAtomically(path, `bytes` bytes) in a child whose files may hold at most `limit`
// bytes (SIGXFSZ ignored, so the write fails with EFBIG); what it returned, "" on success.
std::string writeUnderFileLimit(const std::string& path, size_t bytes, rlim_t limit) {
  int fds[2];
  if (::pipe(fds) != 0)
    return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    ::signal(SIGXFSZ, SIG_IGN);
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
  return message;
}

TEST(AtomicFileTest, AWriteThatFailsMidwayLeavesTheOldFileAndNoTemporaryFile) {
  const std::string folder = freshFolder("atomic_limit");
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
  fs::remove_all(folder);
}

TEST(AtomicFileTest, LinksAreFollowedSpecialFilesWrittenDirectlyAndFailuresSayWhy) {
  const std::string folder = freshFolder("atomic_kinds");
  auto write = [](const std::string& path, const std::string& text) {
    return writeFileAtomically(path, [&text](std::ostream& out) { out << text; });
  };
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
  fs::remove_all(folder);
}

TEST(AtomicFileTest, OutputsThatNameAnInputOrEachOtherAreFound) {
  const std::string folder = freshFolder("atomic_clash");
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
  fs::remove_all(folder);
}

}  // namespace
}  // namespace util
