// UTF-8 names as file-system paths on Windows, where names are UTF-16.
#include "platform/platform.h"
#include "platform/win32.h"

bool To_path(const std::string& utf8, std::filesystem::path& path) {
  std::wstring wide;
  if (utf8.find('\0') != std::string::npos || !Widen(utf8, wide)) return false;
  path = wide;
  return true;
}

std::string Path_for_new_window(const std::string& path) { return path; }
