// The source-path test and the executable's path: any line is answered
// without harm, and an accepted one ends in .cpp in some case and gives the
// same line with .exe in place of it.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "build/run.h"
#include "fuzz.h"

namespace {

// A few real sources to find, in a working directory of the run's own.
const bool ready = [] {
  Enter_temp_dir();
  for (const char* file : {"a.cpp", "X.CPP", "x.Cpp", ".cpp", "archive.tar.cpp", "中 文.cpp"})
    std::ofstream(file) << "int main() {}\n";
  std::filesystem::create_directory("d.cpp");
  return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)ready;
  const std::string fpath(reinterpret_cast<const char*>(data), size);
  if (!Is_source(fpath)) return 0;
  CHECK(fpath.size() > 3 && fpath.find('\0') == std::string::npos);
  std::string ext = fpath.substr(fpath.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  CHECK(ext == ".cpp");
  CHECK(Exe_path(fpath) == fpath.substr(0, fpath.size() - 4) + ".exe");
  return 0;
}
