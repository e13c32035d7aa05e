// Whole-file reads and writes for the tests, in binary.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

inline std::string Read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void Write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
