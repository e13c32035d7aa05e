#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <cstdlib>
#include <iostream>
#include <random>

#include "platform/common.h"
#include "platform/platform.h"
#include "platform/win32.h"

namespace {

// Fails on bytes that are not UTF-8 unless `lossy`, which turns them into
// U+FFFD instead.
bool Widen(const std::string& utf8, std::wstring& wide, bool lossy = false) {
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

// The standard handle `which` when it is a console, else nullptr.
HANDLE Console(DWORD which) {
  const HANDLE h = GetStdHandle(which);
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? h : nullptr;
}

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

// Runs `line` as cmd's own command line and waits for it.
int Run_interpreter(std::wstring line) {
  const wchar_t* named = _wgetenv(L"ComSpec");
  std::wstring cmd;
  if (named != nullptr && *named != L'\0') {
    cmd = named;
  } else {
    wchar_t system[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return -1;
    cmd = std::wstring(system, n) + L"\\cmd.exe";
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // As with system(): the console and the standard handles are cmd's too.
  if (!CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                      &pi))
    return -1;
  CloseHandle(pi.hThread);
  DWORD code = 0;
  const bool waited = WaitForSingleObject(pi.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                      GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  return waited ? static_cast<int>(code) : -1;
}

// Virus scanners and the indexer open a fresh file for a moment without
// letting it be moved or removed; build tools wait for them the same way.
template <class Step>
bool Patiently(Step step) {
  for (int tries = 0;; ++tries) {
    if (step()) return true;
    const DWORD error = GetLastError();
    if (tries == 100 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
                         error != ERROR_LOCK_VIOLATION))
      return false;
    Sleep(10);
  }
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

void Drop_typed_keys() {
  if (const HANDLE in = Console(STD_INPUT_HANDLE)) FlushConsoleInputBuffer(in);
}

void Wait_for_key() {
  const HANDLE in = Console(STD_INPUT_HANDLE);
  if (in == nullptr) return;
  for (;;) {
    INPUT_RECORD r;
    DWORD n = 0;
    if (!ReadConsoleInputW(in, &r, 1, &n)) return;
    if (n == 0 || r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown) continue;
    // As with cmd's pause, Shift, Ctrl, Alt and the lock keys alone do not count.
    const WORD vk = r.Event.KeyEvent.wVirtualKeyCode;
    if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU || vk == VK_CAPITAL ||
        vk == VK_NUMLOCK || vk == VK_SCROLL || vk == VK_LWIN || vk == VK_RWIN)
      continue;
    return;
  }
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

void Set_up_pacing() {
  // The default 15.6 ms tick would turn each 1 ms pause into 15.6 ms.
  if (timeBeginPeriod(1) == TIMERR_NOERROR) std::atexit([] { timeEndPeriod(1); });
}

void Use_compiler_folder(const std::string& com_path) {
  static const std::wstring found = [] {
    const DWORD n = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring path(n, L'\0');
    const DWORD got = n == 0 ? 0 : GetEnvironmentVariableW(L"PATH", path.data(), n);
    path.resize(got < n ? got : 0);
    return path;
  }();
  std::filesystem::path compiler;
  std::error_code ec;
  if (!To_path(com_path, compiler)) return;
  std::wstring folder = std::filesystem::absolute(compiler, ec).parent_path().wstring();
  if (ec || folder.empty()) return;
  // A ';' in the folder's name would split the entry.
  if (folder.find(L';') != std::wstring::npos) folder = L'"' + folder + L'"';
  const std::wstring path = found.empty() ? folder : folder + L";" + found;
  // Both the C runtime's copy, which _wsystem hands on, and the process's own.
  _wputenv_s(L"PATH", path.c_str());
  SetEnvironmentVariableW(L"PATH", path.c_str());
}

bool Read_line(std::string& s, std::size_t keep) {
  if (const HANDLE in = Console(STD_INPUT_HANDLE)) return Read_console_line(in, s, keep);
  return Read_stream_line(*std::cin.rdbuf(), s, keep);
}

int Run_command(const std::string& line) {
  std::cout.flush();
  std::wstring wide;
  if (!Widen(line, wide)) {
    // Only a hand-edited data file gets such bytes into a command.
    std::cerr << "命令行不是有效的 UTF-8 文本，无法执行：" << line << '\n';
    return -1;
  }
  // _wsystem would hand the line to a second cmd, whose parse drops the
  // quotes around the compile line's paths and then reads '&' and '^' there.
  if (line.rfind("cmd /c ", 0) != 0) return _wsystem(wide.c_str());
  return Run_interpreter(wide);
}

void Sleep_micros(long long micros) {
  if (micros <= 0) return;
  static HANDLE timer = [] {
    HANDLE t = CreateWaitableTimerExW(nullptr, nullptr, 0x00000002 /* HIGH_RESOLUTION */,
                                      TIMER_ALL_ACCESS);
    return t ? t : CreateWaitableTimerW(nullptr, TRUE, nullptr);
  }();
  LARGE_INTEGER due;
  due.QuadPart = -micros * 10;  // relative, in 100 ns units
  if (timer && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
    WaitForSingleObject(timer, INFINITE);
  } else {
    Sleep(static_cast<DWORD>((micros + 999) / 1000));
  }
}

bool To_path(const std::string& utf8, std::filesystem::path& path) {
  std::wstring wide;
  if (utf8.find('\0') != std::string::npos || !Widen(utf8, wide)) return false;
  path = wide;
  return true;
}

bool Replace_file(const std::string& path, const std::string& bytes) {
  std::wstring target;
  if (!Widen(path, target) || bytes.size() > MAXDWORD) return false;
  // A name nobody can foresee, created only where nothing stands yet.
  std::random_device random;
  std::wstring tmp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 16 && h == INVALID_HANDLE_VALUE; ++attempt) {
    tmp = target + L"." + std::to_wstring(random()) + L".tmp";
    h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size());
  ok = FlushFileBuffers(h) && ok;
  ok = CloseHandle(h) && ok;
  // Unlike creating with truncation, a move may replace a hidden file.
  if (ok)
    ok = Patiently([&] {
      return MoveFileExW(tmp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
  if (!ok) Patiently([&] { return DeleteFileW(tmp.c_str()) != 0; });
  return ok;
}

void Mark_hidden(const std::string& path) {
  std::wstring wide;
  if (Widen(path, wide)) SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN);
}
