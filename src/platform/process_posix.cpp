// Starting a child, waiting for it, and around it the terminal (its
// attributes, foreground process group and input flags), on POSIX.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix.h"

namespace {

// Where neither close_range nor /proc can tell which descriptors are open,
// each below the hard limit is marked, at most this many.
constexpr rlim_t FD_SCAN_MAX = rlim_t{1} << 20;

// Marks every descriptor from 3 up close-on-exec, decided at run time,
// whatever the C library was built against: close_range where the kernel
// takes its flag (5.11 on; 5.9 and 5.10 refuse it), else each descriptor
// /proc lists, else each one below the hard limit. No memory is allocated:
// this runs between fork and exec.
void Mark_inherited() {
#ifdef __linux__
#ifdef SYS_close_range
  constexpr long CLOSE_RANGE = SYS_close_range;
#else
  constexpr long CLOSE_RANGE = 436;  // the same number on every architecture
#endif
  constexpr unsigned CLOEXEC = 4;  // CLOSE_RANGE_CLOEXEC
  if (syscall(CLOSE_RANGE, 3U, ~0U, CLOEXEC) == 0) return;
  if (const int dir = open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    // struct linux_dirent64: inode (8 bytes), offset (8), length (2), type
    // (1), then the name.
    alignas(8) char entries[4096];
    for (long n; (n = syscall(SYS_getdents64, dir, entries, sizeof entries)) > 0;) {
      for (long at = 0; at + 19 < n;) {
        unsigned short length = 0;
        std::memcpy(&length, entries + at + 16, sizeof length);
        const int fd = std::atoi(entries + at + 19);  // "." and ".." read as 0
        if (fd >= 3 && fd != dir) fcntl(fd, F_SETFD, FD_CLOEXEC);
        if (length == 0) break;
        at += length;
      }
    }
    close(dir);
    return;
  }
#endif
  rlimit limit{};
  rlim_t end = FD_SCAN_MAX;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_max < end) end = limit.rlim_max;
  for (rlim_t fd = 3; fd < end; ++fd) fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
}

// The child's side of Spawn: never returns. Why its exec failed goes back
// through `report`, which a successful exec closes.
[[noreturn]] void Become(char* const argv[], int report, bool own_console, bool search) {
  // A real fork, not vfork: the program starts in an address space of its
  // own, so its peak memory is not ours.
  signal(SIGINT, SIG_DFL);
  signal(SIGQUIT, SIG_DFL);
  signal(SIGPIPE, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  int error = 0;
  if (!own_console) {
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0 || dup2(null, STDIN_FILENO) < 0 || dup2(null, STDERR_FILENO) < 0) error = errno;
  }
  // Whatever else is open here (ours, or inherited from whoever started
  // us) is not the program's.
  Mark_inherited();
  if (error == 0) {
    if (search)
      execvp(argv[0], argv);
    else
      execv(argv[0], argv);
    error = errno;
  }
  Retrying([&] { return write(report, &error, sizeof error); });
  _exit(127);
}

}  // namespace

void Reset_child_signal() { signal(SIGCHLD, SIG_DFL); }

int Spawn(const std::vector<std::string>& args, pid_t& pid, bool own_console, bool search) {
  if (args.empty()) return ENOENT;
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return errno;
  const auto reader = Closing(report[0]);
  {
    // Ours goes before the read, so the read ends when the exec closes the
    // child's.
    const auto writer = Closing(report[1]);
    pid = fork();
    if (pid < 0) return errno;
    if (pid == 0) Become(argv.data(), report[1], own_console, search);
  }
  int error = 0;
  if (Retrying([&] { return read(report[0], &error, sizeof error); }) != sizeof error) return 0;
  Retrying([&] { return waitpid(pid, nullptr, 0); });
  return error;
}

int Wait_pid(pid_t pid) {
  int status = 0;
  if (Retrying([&] { return waitpid(pid, &status, 0); }) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Kept_terminal Keep_terminal() {
  Kept_terminal kept;
  kept.is_terminal = tcgetattr(STDIN_FILENO, &kept.attributes) == 0;
  kept.foreground = kept.is_terminal ? tcgetpgrp(STDIN_FILENO) : -1;
  kept.flags = fcntl(STDIN_FILENO, F_GETFL);
  return kept;
}

bool Take_terminal_back() {
  const pid_t now = tcgetpgrp(STDIN_FILENO);
  if (now <= 0 || now == getpgrp()) return false;
  const auto ttou = Set_action(SIGTTOU, SIG_IGN);
  return tcsetpgrp(STDIN_FILENO, getpgrp()) == 0;
}

void Give_back(const Kept_terminal& kept) {
  if (kept.is_terminal) {
    // A child that took the terminal's foreground for a group of its own (a
    // shell, a job-control program) and ended left it to nobody: it comes
    // back. A group still alive there is a job the user started meanwhile
    // (after Ctrl+Z and bg): it keeps the terminal, and setting the modes
    // stops us (SIGTTOU) until the user brings us back, as any background
    // job waits. Only while a job-control shell above us can do so: the
    // leader of the session (the first process of a new window) has none,
    // and its group would never run again, so it takes the terminal back.
    const pid_t now = tcgetpgrp(STDIN_FILENO);
    const bool leader = getsid(0) == getpid();
    if (now > 0 && now != getpgrp() && (leader || (kill(-now, 0) != 0 && errno == ESRCH))) {
      const auto ttou = Set_action(SIGTTOU, SIG_IGN);
      tcsetpgrp(STDIN_FILENO, kept.foreground);
    }
    tcsetattr(STDIN_FILENO, TCSADRAIN, &kept.attributes);
  }
  if (kept.flags >= 0) fcntl(STDIN_FILENO, F_SETFL, kept.flags);
}
