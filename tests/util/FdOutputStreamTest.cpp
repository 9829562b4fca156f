#include "util/FdOutputStream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <string>

#include "util/IOError.h"

namespace util {
namespace {

std::string readAll(int fd) {
  std::string text;
  std::array<char, 256> buffer;
  ssize_t n;
  while ((n = ::read(fd, buffer.data(), buffer.size())) > 0)
    text.append(buffer.data(), n);
  return text;
}

TEST(FdOutputStreamTest, WritesReachTheDescriptorAndCloseClosesIt) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  FdOutputStream stream(fds[1]);
  stream.write("digraph g {\n");
  stream.write("}\n");
  stream.flush();
  stream.close();
  EXPECT_EQ(readAll(fds[0]), "digraph g {\n}\n");  // EOF proves the write end was closed
  ::close(fds[0]);
}

TEST(FdOutputStreamTest, AFullDeviceFailsTheWriteWithAnIOError) {
  const int fd = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(fd, 0);
  FdOutputStream stream(fd);
  EXPECT_THROW(stream.write("x"), IOError);
  ::close(fd);
}

TEST(FdOutputStreamTest, EveryOperationFailsAfterClose) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  FdOutputStream stream(fds[1]);
  stream.close();
  EXPECT_THROW(stream.write("x"), IOError);
  EXPECT_THROW(stream.flush(), IOError);
  EXPECT_THROW(stream.close(), IOError);
  ::close(fds[0]);
}

TEST(FdOutputStreamTest, AVanishedPipeReaderIsAnIOErrorWhenSigpipeIsIgnored) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  FdOutputStream stream(fds[1]);
  try {
    stream.write("x");
    ADD_FAILURE() << "write to a pipe without reader succeeded";
  } catch (const IOError& error) {
    EXPECT_NE(std::string(error.what()).find("write"), std::string::npos);
  }
  std::signal(SIGPIPE, previous);
  ::close(fds[1]);
}

TEST(FdOutputStreamTest, ClosingAnInvalidDescriptorFails) {
  FdOutputStream stream(-1);
  EXPECT_THROW(stream.close(), IOError);
}

}  // namespace
}  // namespace util
