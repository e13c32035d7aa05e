// Test doubles for the run-code operation; one source, built once per role
// (FAKE_ROLE). Each appends one line to fake.log in its working directory:
// the role, then every argument as <arg>.
//  compiler: exits with FAKE_STATUS (0 when unset); on success it copies
//    fake_program from its own folder to its -o path, unless FAKE_NO_OUTPUT
//    is set; an output it cannot write fails it, as with g++. On Windows it
//    first records its raw command line as "raw [line]".
//  program: records that it ran, then does what PROGRAM below names for
//    each FAKE_ variable that is set, and returns FAKE_EXIT (or 0).
//  pauser: runs its first argument with the rest and returns its status.
// On Windows the program needs the DLL of runtime.cpp (FAKE_RUNTIME).
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/win32.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
extern char** environ;
#endif

namespace fs = std::filesystem;

#ifdef FAKE_RUNTIME
extern "C" __attribute__((dllimport)) int Fake_runtime();
#endif

namespace {

void Record(const std::string& line) {
  std::ofstream("fake.log", std::ios::binary | std::ios::app) << line << '\n';
}

fs::path Own_path() {
#ifdef _WIN32
  static wchar_t buf[32768];
  const DWORD n = GetModuleFileNameW(nullptr, buf, 32768);
  return fs::path(std::wstring(buf, n));
#else
  return fs::read_symlink("/proc/self/exe");
#endif
}

fs::path From_utf8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

void Crash() {
#ifdef _WIN32
  // The crash ends the process with its exception code, as on a Windows
  // without error reporting; Wine would start its debugger.
  SetUnhandledExceptionFilter(
      [](EXCEPTION_POINTERS*) -> LONG { return EXCEPTION_EXECUTE_HANDLER; });
  // Read through a volatile, so the compiler cannot turn it into a trap.
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
#else
  // The sanitizers would catch a real bad access and exit instead.
  std::raise(SIGSEGV);
#endif
}

#ifndef _WIN32
// What a program that crashes in raw mode leaves behind (its input's
// O_NONBLOCK turned over too), and Ctrl+C.
void Spoil_terminal() {
  termios t{};
  if (tcgetattr(STDIN_FILENO, &t) != 0) {
    Record("no terminal");
    return;
  }
  cfmakeraw(&t);
  tcsetattr(STDIN_FILENO, TCSANOW, &t);
  fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) ^ O_NONBLOCK);
  Record("terminal spoilt");
  kill(0, SIGINT);
}
#endif

void Sleep_ms(const char* ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(ms)));
}

int Compiler(const std::vector<std::string>& args) {
  if (std::getenv("FAKE_CRASH") != nullptr) Crash();
  if (const char* ms = std::getenv("FAKE_COMPILE_MS")) Sleep_ms(ms);
  const char* status = std::getenv("FAKE_STATUS");
  if (status != nullptr && std::atoi(status) != 0) return std::atoi(status);
  if (std::getenv("FAKE_NO_OUTPUT") != nullptr) return 0;
  for (std::size_t i = 1; i + 1 < args.size(); ++i) {
    if (args[i] != "-o") continue;
    std::error_code ec;
    const fs::path own = Own_path();
    const fs::path from = own.parent_path() / ("fake_program" + own.extension().string());
    const fs::path to = From_utf8(args[i + 1]);
    // Replaced by hand: overwrite_existing fails with MinGW's library.
    if (fs::is_directory(to, ec)) return 1;
    fs::remove(to, ec);
    return fs::copy_file(from, to, ec) ? 0 : 1;
  }
  return 0;
}

// A copy of this program that outlives it: run with the argument "late".
void Detach() {
  const fs::path own = Own_path();
#ifdef _WIN32
  const std::wstring quoted = L"\"" + own.wstring() + L"\"";
  // A handle, not an id, which an ended process could pass to another.
  HANDLE self = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE,
                  TRUE, 0);
  _putenv_s("FAKE_PARENT", std::to_string(reinterpret_cast<std::uintptr_t>(self)).c_str());
  _wspawnl(_P_NOWAIT, own.c_str(), quoted.c_str(), L"late", nullptr);
#else
  char* const argv[] = {const_cast<char*>(own.c_str()), const_cast<char*>("late"), nullptr};
  pid_t pid = 0;
  posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ);
#endif
}

int Pauser(const std::vector<std::string>& args) {
  if (args.size() < 2) return 1;
#ifdef _WIN32
  std::vector<std::wstring> wide;
  for (std::size_t i = 1; i < args.size(); ++i) wide.push_back(From_utf8(args[i]).wstring());
  std::vector<const wchar_t*> argv;
  for (const auto& w : wide) argv.push_back(w.c_str());
  argv.push_back(nullptr);
  return static_cast<int>(_wspawnv(_P_WAIT, argv[0], argv.data()));
#else
  std::vector<char*> argv;
  for (std::size_t i = 1; i < args.size(); ++i) argv.push_back(const_cast<char*>(args[i].c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return 127;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
#endif
}

#ifndef _WIN32
// As a shell does: its own group, in the foreground.
void Take_foreground() {
  signal(SIGTTOU, SIG_IGN);
  setpgid(0, 0);
  tcsetpgrp(STDIN_FILENO, getpgrp());
}
#endif

// The copy that Detach starts: Ctrl+C to the console after its parent's
// end (FAKE_LATE_CTRL_C, Windows), else a record a second later, after
// taking the terminal's foreground with FAKE_LATE_FOREGROUND (POSIX).
int Late() {
#ifdef _WIN32
  if (const char* ms = std::getenv("FAKE_LATE_CTRL_C")) {
    if (const char* parent = std::getenv("FAKE_PARENT"))
      WaitForSingleObject(reinterpret_cast<HANDLE>(std::strtoull(parent, nullptr, 10)), 10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(ms)));
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    return 0;
  }
#endif
  std::this_thread::sleep_for(std::chrono::seconds(1));
#ifndef _WIN32
  if (std::getenv("FAKE_LATE_FOREGROUND") != nullptr) Take_foreground();
#endif
  Record("late");
  return 0;
}

// What the program does for each variable that is set, in this order, given
// its value; what it printed is flushed after each.
struct Behaviour {
  const char* name;
  void (*act)(const char* value);
};
const Behaviour PROGRAM[] = {
#ifdef _WIN32
    {"FAKE_CODE_PAGES",
     [](const char*) { std::printf("code pages %u %u\n", GetConsoleCP(), GetConsoleOutputCP()); }},
    // Runs that program, then looks at the code pages again; FAKE_HOLD: a
    // file held open meanwhile that nobody may replace.
    {"FAKE_RUN",
     [](const char*) {
       // Ctrl+C is the child's (a handler, unlike ignoring, is not inherited).
       SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);
       if (const wchar_t* hold = _wgetenv(L"FAKE_HOLD"))
         CreateFileW(hold, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     0, nullptr);
       const wchar_t* run = _wgetenv(L"FAKE_RUN");
       const std::wstring quoted = L"\"" + std::wstring(run) + L"\"";
       std::fflush(stdout);
       _wspawnl(_P_WAIT, run, quoted.c_str(), nullptr);
       std::printf("code pages %u %u\n", GetConsoleCP(), GetConsoleOutputCP());
     }},
    // getenv gives the ANSI code page's version of the text.
    {"FAKE_SAY", [](const char*) { std::printf("%s\n", Narrow(_wgetenv(L"FAKE_SAY")).c_str()); }},
#else
    {"FAKE_SAY", [](const char* say) { std::printf("%s\n", say); }},
#endif
    {"FAKE_TOUCH_MIB",
     [](const char* mib) {
       std::vector<char> touched(static_cast<std::size_t>(std::atoi(mib)) << 20);
       for (std::size_t i = 0; i < touched.size(); i += 4096) touched[i] = 1;
       static volatile char keep = touched.empty() ? 0 : touched[touched.size() / 2];
       (void)keep;
     }},
#ifndef _WIN32
    {"FAKE_FOREGROUND", [](const char*) { Take_foreground(); }},
#endif
    {"FAKE_DETACH", [](const char*) { Detach(); }},
    {"FAKE_LATE_CTRL_C", [](const char*) { Detach(); }},
    {"FAKE_INTERRUPT",
     [](const char*) {
       std::raise(SIGINT);  // as Ctrl+C would
       Record("survived Ctrl+C");
     }},
    {"FAKE_SLEEP_MS", Sleep_ms},
    // Until that much CPU time is its own (clock() is wall time on Windows).
    {"FAKE_SPIN_MS",
     [](const char* ms) {
       while (std::clock() < std::atoi(ms) * (CLOCKS_PER_SEC / 1000)) {
       }
     }},
#ifndef _WIN32
    {"FAKE_TERMINAL", [](const char*) { Spoil_terminal(); }},
    {"FAKE_FDS",
     [](const char*) {
       std::string fds = "fds";
       for (int fd = 0; fd < 1 << 16; ++fd)
         if (fcntl(fd, F_GETFD) != -1) fds += " " + std::to_string(fd);
       Record(fds);
     }},
#endif
    {"FAKE_CRASH", [](const char*) { Crash(); }},
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
#ifdef _WIN32
  // The C runtime's argv is in the ANSI code page; the log is UTF-8.
  (void)argv;
  int n = 0;
  wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &n);
  for (int i = 0; i < n; ++i) args.push_back(Narrow(wargv[i]));
  if (std::string(FAKE_ROLE) == "compiler") Record("raw [" + Narrow(GetCommandLineW()) + "]");
#else
  args.assign(argv, argv + argc);
#endif
  (void)argc;
  std::string line = FAKE_ROLE;
  for (std::size_t i = 1; i < args.size(); ++i) line += " <" + args[i] + ">";
  Record(line);
  const std::string role = FAKE_ROLE;
  if (role == "compiler") return Compiler(args);
  if (role == "pauser") return Pauser(args);
#ifdef FAKE_RUNTIME
  if (Fake_runtime() != 0) return 1;
#endif
  if (args.size() > 1 && args[1] == "late") return Late();
  for (const Behaviour& b : PROGRAM)
    if (const char* value = std::getenv(b.name)) b.act(value), std::fflush(stdout);
  const char* code = std::getenv("FAKE_EXIT");
  return code != nullptr ? std::atoi(code) : 0;
}
