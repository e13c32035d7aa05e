// Console output, line input and code pages on Windows, and the UTF-8 and
// UTF-16 conversions that every Windows file uses.
#include <windows.h>

#include <cstdlib>
#include <iostream>

#include "platform/common.h"
#include "platform/platform.h"
#include "platform/win32.h"

namespace {

// Reading a console byte-wise through the C runtime loses every non-ASCII
// character even with input code page 65001, so a console is read as UTF-16.
bool Read_console_line(HANDLE in, std::string& s, std::size_t keep) {
  static std::wstring pending;  // what one read brought beyond the line
  s.clear();
  std::size_t end;
  int interrupts = 0;
  while ((end = pending.find(L'\n')) == std::wstring::npos) {
    wchar_t buf[512];
    DWORD n = 0;
    SetLastError(ERROR_SUCCESS);
    const BOOL read = ReadConsoleW(in, buf, 512, &n, nullptr);
    // Ctrl+C interrupts the read: no end of input, since the console's own
    // handler is about to end the process without the save.
    if (n == 0 && GetLastError() == ERROR_OPERATION_ABORTED && ++interrupts < 100) {
      Sleep(10);
      continue;
    }
    if (!read || n == 0) break;
    pending.append(buf, n);
  }
  if (pending.empty() || pending[0] == 0x1A) {  // Ctrl+Z ends input, as in cmd
    pending.clear();
    return false;
  }
  std::wstring line = pending.substr(0, end);
  pending.erase(0, end == std::wstring::npos ? end : end + 1);
  if (!line.empty() && line.back() == L'\r') line.pop_back();
  s = Narrow(line);
  if (s.size() > keep) s.resize(keep);
  return true;
}

}  // namespace

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

void Write_out(std::string_view bytes) {
  static const HANDLE out = Console(STD_OUTPUT_HANDLE);
  if (out == nullptr) {
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    return;
  }
  // The C runtime's console output, and WriteConsoleA fed byte by byte, turn
  // the UTF-8 of the typewriter into mojibake on some consoles, so whole
  // characters go out as UTF-16.
  static std::string pending;
  pending.append(bytes);
  const std::size_t whole = Whole_characters(pending);
  std::wstring wide;
  Widen(pending.substr(0, whole), wide, true);
  pending.erase(0, whole);
  DWORD written = 0;
  if (!wide.empty())
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

void Set_console_utf8() {
  // The cmd window Tavrel was started from gets its own code pages back:
  // left at 65001, cmd there speaks English and console input of Chinese
  // text breaks in the programs run from it.
  static const UINT found_in = GetConsoleCP(), found_out = GetConsoleOutputCP();
  if (found_in != 0 && found_out != 0)
    std::atexit([] {
      SetConsoleCP(found_in);
      SetConsoleOutputCP(found_out);
    });
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

bool Read_line(std::string& s, std::size_t keep) {
  if (const HANDLE in = Console(STD_INPUT_HANDLE)) return Read_console_line(in, s, keep);
  return Read_stream_line(*std::cin.rdbuf(), s, keep);
}
