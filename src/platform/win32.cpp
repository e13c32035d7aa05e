// What every Windows file of the layer and the pauser's share: UTF-8 and
// UTF-16, and the console's handles.
#include "platform/win32.h"

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                      nullptr, nullptr);
  return utf8;
}

bool Widen(const std::string& utf8, std::wstring& wide, bool lossy) {
  wide.clear();
  if (utf8.empty()) return true;
  const DWORD flags = lossy ? 0 : MB_ERR_INVALID_CHARS;
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, nullptr, 0);
  if (n <= 0) return false;
  wide.resize(static_cast<std::size_t>(n));
  MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, wide.data(), n);
  return true;
}

HANDLE Console(DWORD which) {
  const HANDLE h = GetStdHandle(which);
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? h : nullptr;
}

std::string System_message(DWORD error, const std::string& insert) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  LocalFree(text);
  while (!message.empty() &&
         (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  std::string told = Narrow(message);
  // Inserts were ignored: each %1 to %9 stands for what the caller names.
  for (std::size_t at = 0; !insert.empty() && (at = told.find('%', at)) != std::string::npos;) {
    if (at + 1 < told.size() && told[at + 1] >= '1' && told[at + 1] <= '9') {
      told.replace(at, 2, insert);
      at += insert.size();
    } else {
      ++at;
    }
  }
  return told + "（错误 " + std::to_string(error) + "）";
}

std::wstring Current_folder() {
  // Asked for its size first: the folder may change in between, so again.
  for (int tries = 0; tries < 3; ++tries) {
    const DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return {};
    std::wstring here(n, L'\0');
    const DWORD got = GetCurrentDirectoryW(n, here.data());
    if (got < n) {
      here.resize(got);
      return here;
    }
  }
  return {};
}
