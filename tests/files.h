// Whole-file reads and writes for the tests, in binary, and a fixture that
// runs each test in a fresh directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

inline std::string Read_file(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void Write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The working directory is a new temporary one during each test; it is
// removed afterwards unless the test failed.
class In_temp_dir : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "tavrel-";
    name.append(info->name()).append("-").append(std::to_string(std::random_device{}()));
    dir_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(dir_);
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    if (!HasFailure()) std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_, old_;
};
