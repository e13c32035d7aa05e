// UTF-8 names as file-system paths on POSIX, where a name is its bytes.
#include <system_error>

#include "platform/platform.h"

bool To_path(const std::string& utf8, std::filesystem::path& path) {
  // Windows forbids '"' in names, and cmd's quoting (copied by the stand-in)
  // would turn the rest of such a path into arguments of their own.
  if (utf8.find_first_of(std::string_view("\0\"", 2)) != std::string::npos) return false;
  path = utf8;
  return true;
}

std::string Path_for_new_window(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path here = std::filesystem::current_path(ec);
  return ec ? path : (here / path).string();
}

std::string Folder_notice() { return {}; }

bool Held_by_a_program(const std::string&) { return false; }
