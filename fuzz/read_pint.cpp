// The choice reader over any input: it returns a member of its set (or the
// end-of-input value) and prints one rejection per rejected line, nothing else.
#include <iostream>
#include <sstream>
#include <string>
#include <unordered_set>

#include "fuzz.h"
#include "shell/menu.h"

namespace {

// Standard input and output on strings while it lives.
struct Console {
  explicit Console(const std::string& input)
      : in(input), old_in(std::cin.rdbuf(in.rdbuf())), old_out(std::cout.rdbuf(out.rdbuf())) {}
  ~Console() {
    std::cin.rdbuf(old_in);
    std::cout.rdbuf(old_out);
  }
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  std::istringstream in;
  std::ostringstream out;
  std::streambuf* old_in;
  std::streambuf* old_out;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // First byte: how many values (1 to 5); then the values, one byte each.
  const std::size_t count = data[0] % 5 + 1;
  if (size < 1 + count) return 0;
  std::unordered_set<int> allowed;
  for (std::size_t i = 1; i <= count; ++i) allowed.insert(data[i] % 12);
  const int at_end = data[1] % 12;
  const std::string input(reinterpret_cast<const char*>(data) + 1 + count, size - 1 - count);

  Console console(input);
  const int value = Read_pint(allowed, at_end);
  std::istringstream& in = console.in;

  CHECK(allowed.contains(value));
  const std::string rejection = "输入不合法，请重新输入。\n";
  const std::string shown = console.out.str();
  CHECK(shown.size() % rejection.size() == 0);
  const std::size_t rejections = shown.size() / rejection.size();
  for (std::size_t i = 0; i < rejections; ++i)
    CHECK(shown.compare(i * rejection.size(), rejection.size(), rejection) == 0);
  // Lines read: up to where the reader stopped, a last unended line counted.
  const std::size_t consumed =
      static_cast<std::size_t>(in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in));
  const std::string read = input.substr(0, consumed);
  std::size_t lines = 0;
  for (const char c : read) lines += c == '\n';
  if (!read.empty() && read.back() != '\n') ++lines;
  const bool ended = consumed == input.size();
  CHECK(rejections == lines || rejections + 1 == lines);
  if (!ended) CHECK(rejections + 1 == lines);  // it stopped on an accepted line
  return 0;
}
