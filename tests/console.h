// Puts standard input and output of the code under test on strings.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

struct Console {
  explicit Console(const std::string& input)
      : in(input), old_in(std::cin.rdbuf(in.rdbuf())), old_out(std::cout.rdbuf(out.rdbuf())) {}
  ~Console() {
    std::cin.rdbuf(old_in);
    std::cout.rdbuf(old_out);
  }
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // What the code under test has not read yet.
  std::string rest() { return std::string(std::istreambuf_iterator<char>(in.rdbuf()), {}); }

  std::istringstream in;
  std::ostringstream out;
  std::streambuf* old_in;
  std::streambuf* old_out;
};
