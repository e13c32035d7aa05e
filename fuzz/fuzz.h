// Shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "temp_dir.h"

// Splits fuzz input at a separator byte into at least `n` pieces.
inline std::vector<std::string> Pieces(const std::uint8_t* data, std::size_t size, char sep,
                                       std::size_t n) {
  std::vector<std::string> pieces(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (static_cast<char>(data[i]) == sep)
      pieces.emplace_back();
    else
      pieces.back().push_back(static_cast<char>(data[i]));
  }
  while (pieces.size() < n) pieces.emplace_back();
  return pieces;
}

// Fails the run loudly: libFuzzer keeps the input that did it.
#define CHECK(cond)                                                                  \
  do {                                                                               \
    if (!(cond)) {                                                                   \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      __builtin_trap();                                                              \
    }                                                                                \
  } while (0)

// Moves into a new temporary directory for the rest of the run, removed at
// exit. Corpus folders must therefore be given as absolute paths.
inline void Enter_temp_dir() {
  static const std::filesystem::path dir = Make_temp_dir("tavrel-fuzz");
  std::filesystem::current_path(dir);
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  });
}
