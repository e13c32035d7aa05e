// POSIX pieces of the operating-system layer that the cmd stand-in and the
// pauser's POSIX file share: starting and waiting for a child, and the
// scoped restores around them.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/scoped.h"

// Calls `call` again for as long as it fails with EINTR; returns what it
// returned last.
template <class Call>
auto Retrying(Call call) {
  decltype(call()) r;
  do r = call();
  while (r < 0 && errno == EINTR);
  return r;
}

// Sets the action of `sig` to `handler` (SIG_IGN, SIG_DFL or a function)
// until the scope ends; then the action it had comes back.
inline auto Set_action(int sig, void (*handler)(int)) {
  struct sigaction next {};
  struct sigaction old {};
  next.sa_handler = handler;
  sigemptyset(&next.sa_mask);
  sigaction(sig, &next, &old);
  return Scoped{[sig, old] { sigaction(sig, &old, nullptr); }};
}

// Blocks every signal that can be blocked, or only those in `which`, until
// the scope ends; then the mask it found comes back, and what came meanwhile
// is acted on. Spawn's children start with none blocked.
inline auto Hold_signals(std::initializer_list<int> which = {}) {
  sigset_t hold, old;
  sigemptyset(&hold);
  if (which.size() == 0) sigfillset(&hold);
  for (const int sig : which) sigaddset(&hold, sig);
  sigprocmask(SIG_BLOCK, &hold, &old);
  return Scoped{[old] { sigprocmask(SIG_SETMASK, &old, nullptr); }};
}

// Closes the descriptor `fd` when the scope ends, unless it is -1.
inline auto Closing(int fd) {
  return Scoped{[fd] {
    if (fd >= 0) close(fd);
  }};
}

// Starts args[0] with the others as its arguments, without a shell: the
// path as given, or with `search` a bare name looked up on PATH. SIGINT and
// SIGQUIT get their default action back in the child even while we ignore
// them. No descriptor but 0, 1 and 2 reaches it. Without `own_console` (a
// launcher) the child reads from /dev/null and its errors go there. The
// child has an address space of its own from the start (fork, not vfork),
// so that its peak memory (ru_maxrss) is its own. Returns 0 and sets `pid`,
// or the error that kept it from starting (ENOENT: not found), the child
// then reaped.
int Spawn(const std::vector<std::string>& args, pid_t& pid, bool own_console = true,
          bool search = false);

// How a waited-for child ended: its exit code, or 128 + the signal that
// ended it. -1 when it could not be waited for (then errno says why).
int Wait_pid(pid_t pid);

// What Around_child keeps of the terminal.
struct Kept_terminal {
  termios attributes{};
  bool is_terminal = false;
  pid_t foreground = -1;
  int flags = -1;  // standard input's file flags, -1 when unknown
};

// After a read of the terminal failed with EIO: when the terminal is still
// ours and another group holds its foreground (one that a program left
// there, orphaning ours), takes the foreground back and returns true, so
// that the read can go on. False for a hung-up terminal, or when the
// foreground is ours already: then the input has ended.
bool Take_terminal_back();

// Around_child's two halves: Keep_terminal tells what it found; Give_back
// puts it back.
Kept_terminal Keep_terminal();
void Give_back(const Kept_terminal& kept);

// Calls `run` for a child that runs in our terminal and returns what it
// returned. Meanwhile SIGINT and SIGQUIT are ignored (as system() does: the
// keyboard's signals are the child's), and the terminal's attributes,
// foreground process group and standard input's file flags are kept; then
// they come back, whatever the child did to them (raw mode, its own
// foreground, O_NONBLOCK), and the two signals get their actions back. The
// foreground and the modes come back only while no other live group holds
// the terminal, or always for the session's leader; under another job we
// wait, stopped, as a background job does. Calls nest.
template <class Run>
auto Around_child(Run run) {
  const auto on_int = Set_action(SIGINT, SIG_IGN);
  const auto on_quit = Set_action(SIGQUIT, SIG_IGN);
  const auto terminal = Scoped{[kept = Keep_terminal()] { Give_back(kept); }};
  return run();
}
