// tempPath: file names in a fresh folder of the running test's own, so that two runs of the
// suite at once, or a run after one that was killed, never meet in a file name.
//
// The folder is "<TempDir>mapbench-<pid>-<suite>.<test>": emptied (or made) on the test's
// first call, removed when the next test asks for one and when the test program ends.
// Not thread-safe: for the test's own thread.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace test {

namespace detail {

class TempFolders {
 public:
  ~TempFolders() { removeCurrent(); }

  const std::string& folderOfRunningTest() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info == nullptr ? std::string("no-test")
                                       : std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
      if (c == '/')
        c = '_';
    }
    const std::string folder =
        ::testing::TempDir() + "mapbench-" + std::to_string(::getpid()) + "-" + name;
    if (folder != current_) {
      removeCurrent();
      std::filesystem::remove_all(folder);
      std::filesystem::create_directories(folder);
      current_ = folder;
    }
    return current_;
  }

 private:
  void removeCurrent() {
    std::error_code ignored;
    if (!current_.empty())
      std::filesystem::remove_all(current_, ignored);
  }

  std::string current_;
};

}  // namespace detail

// `name` inside the running test's own folder; "" names the folder itself.
inline std::string tempPath(const std::string& name = "") {
  static detail::TempFolders folders;
  const std::string& folder = folders.folderOfRunningTest();
  return name.empty() ? folder : folder + "/" + name;
}

}  // namespace test
