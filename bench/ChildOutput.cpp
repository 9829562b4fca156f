#include "bench/ChildOutput.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace bench {

TempDirectory::TempDirectory(const std::string& prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr)
    path_ = pattern;
}

TempDirectory::~TempDirectory() {
  std::error_code ignored;
  if (!path_.empty())
    std::filesystem::remove_all(path_, ignored);
}

std::string lastLine(const std::string& text, size_t bound) {
  constexpr const char* kBlanks = " \t\r";
  std::istringstream lines(text);
  std::string last;
  for (std::string line; std::getline(lines, line);) {
    if (line.find_first_not_of(kBlanks) != std::string::npos)
      last = line;
  }
  last.erase(last.find_last_not_of(kBlanks) + 1);
  if (last.size() > bound)
    last = last.substr(0, bound) + "...";
  for (char& c : last) {
    if (static_cast<unsigned char>(c) < ' ' || c == '\x7f')
      c = '?';
  }
  return last;
}

}  // namespace bench
