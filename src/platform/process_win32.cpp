// Command lines through cmd, and the environment its children inherit.
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

#include "platform/platform.h"
#include "platform/win32.h"

namespace {

// Runs `line` as cmd's own command line and waits for it: %ComSpec%, else
// (unset, or it cannot start) the system folder's cmd.exe, never one found
// by a search. Says why on standard error when neither starts.
int Run_interpreter(std::wstring line) {
  std::vector<std::wstring> interpreters;
  const wchar_t* named = _wgetenv(L"ComSpec");
  if (named != nullptr && *named != L'\0') interpreters.emplace_back(named);
  wchar_t system[MAX_PATH + 1];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH + 1);
  if (n > 0 && n <= MAX_PATH) interpreters.push_back(std::wstring(system, n) + L"\\cmd.exe");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  DWORD error = ERROR_FILE_NOT_FOUND;
  // As with system(): the console and the standard handles are cmd's too.
  for (const std::wstring& cmd : interpreters) {
    if (CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                       &pi)) {
      error = ERROR_SUCCESS;
      break;
    }
    error = GetLastError();
  }
  if (error != ERROR_SUCCESS) {
    Write_err("无法启动命令解释器 cmd.exe：" + System_message(error) + "\n");
    return -1;
  }
  const auto thread = Closing_handle(pi.hThread), process = Closing_handle(pi.hProcess);
  DWORD code = 0;
  const bool waited = WaitForSingleObject(pi.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                      GetExitCodeProcess(pi.hProcess, &code);
  return waited ? static_cast<int>(code) : -1;
}

}  // namespace

void Reset_child_signal() {}

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
  // Both the C runtime's copy and the process's own, which cmd inherits.
  _wputenv_s(L"PATH", path.c_str());
  SetEnvironmentVariableW(L"PATH", path.c_str());
}

void Tell_output_code_page(const std::string& code_page) {
  std::wstring wide;
  if (!Widen(code_page, wide)) return;
  // An empty value takes the variable out, in both copies as for PATH.
  _wputenv_s(L"TAVREL_OUTPUT_CP", wide.c_str());
  SetEnvironmentVariableW(L"TAVREL_OUTPUT_CP", wide.empty() ? nullptr : wide.c_str());
}

int Run_command(const std::string& line) {
  std::cout.flush();
  std::wstring wide;
  if (!Widen(line, wide)) {
    // Only a hand-edited data file gets such bytes into a command.
    Write_err("命令行不是有效的 UTF-8 文本，无法执行：" + line + "\n");
    return -1;
  }
  return Run_interpreter(Interpreter_line(wide));
}

std::wstring Interpreter_line(std::wstring_view line) {
  // A "cmd /c " line is already cmd's own: a second cmd's parse would drop
  // the quotes around the compile line's paths, then read '&' and '^' there.
  constexpr std::wstring_view own = L"cmd /c ";
  if (line.starts_with(own)) line.remove_prefix(own.size());
  return L"cmd /d /c " + std::wstring(line);
}
