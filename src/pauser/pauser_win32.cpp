#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>

#include <atomic>
#include <chrono>
#include <iterator>
#include <string>
#include <vector>

#include "pauser/pauser.h"
#include "platform/platform.h"
#include "platform/win32.h"

namespace {

// While the program runs, Ctrl+C and Ctrl+Break are its own: we stay to
// tell how it ended. The event reaches us on a thread of its own and can
// come late, so one that follows the program's end by less than
// LATE_EVENT_MS is still the program's.
std::atomic<ULONGLONG> keys_are_ours_from{~0ULL};
std::atomic<DWORD> status{0};
constexpr ULONGLONG LATE_EVENT_MS = 300;

// A handler, unlike ignoring the events outright, is not inherited by the
// child. At the final prompt Ctrl+C closes the window like any other key.
BOOL WINAPI Keep_running(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (GetTickCount64() >= keys_are_ours_from) ExitProcess(status);
  return TRUE;
}

bool Is_file(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A bare name means the file in the working directory first (CreateProcess
// would look in our own folder before it); else CreateProcess searches.
std::wstring Here_first(std::wstring name) {
  if (name.size() >= 2 && name.front() == L'"' && name.back() == L'"')
    name = name.substr(1, name.size() - 2);
  if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos) return {};
  const std::wstring dir = Current_folder();
  if (dir.empty()) return {};
  const std::wstring base = dir + L"\\" + name;
  if (Is_file(base)) return base;
  if (Is_file(base + L".exe")) return base + L".exe";
  return {};
}

// The code page in TAVREL_OUTPUT_CP when it is a valid one, else 0.
UINT Output_code_page_named() {
  wchar_t value[8];
  const DWORD n = GetEnvironmentVariableW(L"TAVREL_OUTPUT_CP", value, std::size(value));
  if (n == 0 || n >= std::size(value)) return 0;
  UINT cp = 0;
  for (DWORD i = 0; i < n; ++i) {
    if (value[i] < L'0' || value[i] > L'9') return 0;
    cp = cp * 10 + static_cast<UINT>(value[i] - L'0');
  }
  return IsValidCodePage(cp) ? cp : 0;
}

// User and kernel time of the program and all it started: the job's
// accounting, or the process's own times without a job. In seconds.
double Cpu_seconds(HANDLE job, HANDLE process) {
  const auto secs = [](ULONGLONG ticks) { return static_cast<double>(ticks) / 1e7; };
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION account{};
  if (job != nullptr && QueryInformationJobObject(job, JobObjectBasicAccountingInformation,
                                                  &account, sizeof account, nullptr))
    return secs(account.TotalUserTime.QuadPart + account.TotalKernelTime.QuadPart);
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
  const auto ticks = [](FILETIME t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return secs(ticks(kernel) + ticks(user));
}

}  // namespace

bool Program_named(int, char**, std::string& program) {
  const std::wstring_view line = After_program(GetCommandLineW());
  if (line.empty()) return false;
  program = Narrow(std::wstring(Program_token(line)));
  return true;
}

Pauser_run Run_program(int, char**) {
  SetConsoleCtrlHandler(Keep_running, TRUE);
  // The program's command line is ours without our own name, passed on
  // as it came, so its arguments reach it unchanged.
  std::wstring line(After_program(GetCommandLineW()));
  const std::wstring program(Program_token(line));
  const std::wstring app = Here_first(program);

  // Closing the window ends the pauser, and the job takes the program along.
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  const auto job_closing = Closing_handle(job);
  if (job != nullptr) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  // Tavrel names the code page the program writes in: the console shows it
  // for the program's run, then ours comes back before the summary. The
  // input code page stays: multi-byte input at 65001 is lost on older consoles.
  const UINT ours = GetConsoleOutputCP(), theirs = Output_code_page_named();
  const bool switched = theirs != 0 && ours != 0 && theirs != ours && SetConsoleOutputCP(theirs);
  const auto giving_back = Scoped{[switched, ours] {
    if (switched) SetConsoleOutputCP(ours);
  }};
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  Pauser_run run;
  const auto t0 = std::chrono::steady_clock::now();
  if (!CreateProcessW(app.empty() ? nullptr : app.c_str(), line.data(), nullptr, nullptr, TRUE,
                      CREATE_SUSPENDED, nullptr, nullptr, &si, &pi)) {
    const DWORD error = GetLastError();
    const std::string name = Narrow(program);
    run.status = NOT_RUN;
    // Blocked by a scanner, a 32-bit setup program that wants elevation, no
    // access: the system's own words say which, with the program's name.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME)
      run.failed = Not_found_line(name);
    else if (error == ERROR_BAD_EXE_FORMAT || error == ERROR_EXE_MACHINE_TYPE_MISMATCH)
      run.failed = Not_executable_line(name);
    else
      run.failed = Start_failed_line(name, System_message(error, name));
    return run;
  }
  const auto thread = Closing_handle(pi.hThread), process = Closing_handle(pi.hProcess);
  if (job != nullptr) AssignProcessToJobObject(job, pi.hProcess);
  ResumeThread(pi.hThread);
  // Windows keeps an ended process's peak; Wine forgets it, so the peak is
  // also sampled while the program runs.
  SIZE_T peak = 0;
  const auto sample = [&] {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(pi.hProcess, &memory, sizeof memory) &&
        memory.PeakWorkingSetSize > peak)
      peak = memory.PeakWorkingSetSize;
  };
  while (WaitForSingleObject(pi.hProcess, 10) == WAIT_TIMEOUT) sample();
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  sample();
  run.peak_bytes = peak;
  run.cpu_seconds = Cpu_seconds(job, pi.hProcess);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  // The program ended by itself: what it started lives on after us.
  if (job != nullptr) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION none{};
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &none, sizeof none);
  }
  status = code;
  keys_are_ours_from = GetTickCount64() + LATE_EVENT_MS;
  run.waited = true;
  run.ended = Exit_line(code, true);
  run.cause = Cause_of_code(code);
  run.status = static_cast<int>(code);
  return run;
}
