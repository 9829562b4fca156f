// contentOf: a file's whole content as bytes, for tests that check what a program wrote.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace test {

// The file's bytes; empty when it cannot be read.
inline std::string contentOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace test
