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

bool Is_network_folder(std::wstring_view folder) {
  // \\?\C:\ and \\.\ name local things; \\?\UNC\server\share does not.
  if (folder.starts_with(L"\\\\?\\UNC\\")) return true;
  return folder.starts_with(L"\\\\") && !folder.starts_with(L"\\\\?\\") &&
         !folder.starts_with(L"\\\\.\\");
}

std::string Folder_notice() {
  const std::wstring here = Current_folder();
  if (!Is_network_folder(here)) return {};
  const std::string folder = Narrow(here);
  return "当前文件夹 " + folder +
         " 在网络上：cmd 在每条命令前给出警告，并改在 Windows 文件夹中运行，所以相对路径找不到；"
         "输入完整路径仍可编译和启动。\n"
         "也可以把它映射为盘符（资源管理器的“映射网络驱动器”，或在 cmd 中输入 pushd " +
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
