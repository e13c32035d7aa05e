// A new, empty temporary directory, for the tests, the fuzz targets and the
// benchmark alike (no test framework needed).
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

// Creates `prefix-NNNN` in the system's temporary folder, a name nobody had,
// and returns its path.
inline std::filesystem::path Make_temp_dir(const std::string& prefix) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto dir =
        std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(random()));
    std::error_code ec;
    if (std::filesystem::create_directory(dir, ec)) return dir;
  }
  throw std::runtime_error("no temporary directory for " + prefix);
}
