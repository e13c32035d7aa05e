// Whole-file reads and writes for the tests, in binary, and a fixture that
// runs each test in a fresh directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "temp_dir.h"

inline std::string Read_file(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void Write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The names in `dir` other than `kept`: what a test left there besides it.
inline std::vector<std::string> Names_besides(const std::filesystem::path& dir,
                                              const std::string& kept) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename() != kept) names.push_back(e.path().filename().string());
  return names;
}

// The working directory is a new temporary one during each test; it is
// removed afterwards unless the test failed.
class In_temp_dir : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');  // a parameterised test's
    dir_ = Make_temp_dir("tavrel-" + name);
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    if (!HasFailure()) std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_, old_;
};
