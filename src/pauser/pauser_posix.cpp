#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "pauser/pauser.h"
#include "pauser/signals.h"
#include "platform/platform.h"
#include "platform/posix.h"

namespace {

std::string Signal_name(int signal) {
  switch (signal) {
    case SIGSEGV:
      return "SIGSEGV，段错误";
    case SIGABRT:
      return "SIGABRT，程序中止";
    case SIGFPE:
      return "SIGFPE，算术错误";
    case SIGILL:
      return "SIGILL，非法指令";
    case SIGBUS:
      return "SIGBUS，总线错误";
    case SIGKILL:
      return "SIGKILL，被强制结束";
    case SIGTERM:
      return "SIGTERM，被要求结束";
    case SIGINT:
      return "SIGINT，被 Ctrl+C 中断";
    case SIGQUIT:
      return "SIGQUIT，被要求退出";
    case SIGPIPE:
      return "SIGPIPE，管道已断开";
    case SIGTRAP:
      return "SIGTRAP，断点";
    case SIGXCPU:
      return "SIGXCPU，超出 CPU 时间限制";
    default:
      return "";
  }
}

// Whether a folder on PATH holds a file called `name`: a search that met a
// folder it may not look into (EACCES) may have found nothing at all.
bool On_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  for (std::string_view rest = path != nullptr ? path : ""; !rest.empty();) {
    const std::size_t colon = std::min(rest.find(':'), rest.size());
    const std::string dir(rest.substr(0, colon));
    rest.remove_prefix(std::min(colon + 1, rest.size()));
    struct stat st {};
    if (stat(((dir.empty() ? "." : dir) + "/" + name).c_str(), &st) == 0) return true;
  }
  return false;
}

}  // namespace

std::string Signal_line(int signal) {
  const std::string name = Signal_name(signal);
  return "程序被信号终止：" + std::to_string(signal) + (name.empty() ? "" : "（" + name + "）");
}

bool Program_named(int argc, char** argv, std::string& program) {
  if (argc < 2) return false;
  program = argv[1];
  return true;
}

Pauser_run Run_program(int argc, char** argv) {
  Reset_child_signal();
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string& program = args[0];
  // A bare name means the file here first, as on Windows; else PATH.
  struct stat st {};
  const bool here = program.find('/') != std::string::npos || stat(program.c_str(), &st) == 0;

  Pauser_run run;
  int status = 0;
  rusage usage{};
  // Ctrl+C and Ctrl+\ are for the program; we stay to tell how it ended.
  // The summary and the pause need the terminal as it was, whatever the
  // program left (raw mode, a non-blocking input).
  const int rc = Around_child([&] {
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int started = Spawn(args, pid, true, !here);
    if (started == 0) run.waited = Retrying([&] { return wait4(pid, &status, 0, &usage); }) >= 0;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return started;
  });

  if (rc == ENOENT || rc == ENOTDIR || (rc == EACCES && !here && !On_path(program))) {
    run.failed = Not_found_line(program);
    run.status = 127;
  } else if (rc != 0) {
    run.failed = Not_executable_line(program);
    run.status = 126;
  }
  if (!run.failed.empty() || !run.waited) return run;
  const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
  run.ended =
      signal != 0 ? Signal_line(signal) : Exit_line(static_cast<unsigned long>(code), false);
  run.cause = Cause_of_signal(signal);
  run.status = signal != 0 ? 128 + signal : code;
  // The program's and what it waited for: wait4 counts those children too.
  const auto secs = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  run.cpu_seconds = secs(usage.ru_utime) + secs(usage.ru_stime);
  // ru_maxrss is in KiB on Linux; the program's own, since Spawn forks.
  run.peak_bytes = static_cast<unsigned long long>(usage.ru_maxrss) * 1024;
  return run;
}
