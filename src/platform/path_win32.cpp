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

std::string Folder_notice() {
  std::wstring here(MAX_PATH, L'\0');
  DWORD n = GetCurrentDirectoryW(MAX_PATH, here.data());
  if (n >= MAX_PATH) {
    here.resize(n);
    n = GetCurrentDirectoryW(n, here.data());
  }
  here.resize(n < here.size() ? n : 0);
  // cmd refuses any current folder that begins with two backslashes.
  if (here.rfind(L"\\\\", 0) != 0) return {};
  const std::string folder = Narrow(here);
  return "当前文件夹 " + folder +
         " 在网络上，cmd 不能在这里运行命令，编译和启动都会失败。\n"
         "请先把它映射为盘符（资源管理器的“映射网络驱动器”，或在 cmd 中输入 pushd " +
         folder + "），再从那个盘符启动 Tavrel。\n";
}

bool Held_by_a_program(const std::string& path) {
  std::filesystem::path p;
  if (!To_path(path, p)) return false;
  // Shared every way, so that only a running image (or a holder that denies
  // writers) refuses; a reader such as a virus scanner does not.
  const HANDLE h =
      CreateFileW(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}
