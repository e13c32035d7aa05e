// POSIX pieces of the operating-system layer that the cmd stand-in and the
// pauser's POSIX file share: reading a byte, starting and waiting for a
// child, and the scoped restores around them.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <initializer_list>
#include <string>
#include <vector>

// Runs `undo` when the scope that holds it ends, on every way out. Made
// only by the functions below, whose result is kept in a named variable.
template <class Undo>
struct [[nodiscard]] Scoped {
  Undo undo;
  ~Scoped() { undo(); }
};
template <class Undo>
Scoped(Undo) -> Scoped<Undo>;

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

// Blocks `signals` until the scope ends; then the mask it found comes back.
inline auto Hold_signals(std::initializer_list<int> signals) {
  sigset_t hold, old;
  sigemptyset(&hold);
  for (const int sig : signals) sigaddset(&hold, sig);
  sigprocmask(SIG_BLOCK, &hold, &old);
  return Scoped{[old] { sigprocmask(SIG_SETMASK, &old, nullptr); }};
}

// Closes the descriptor `fd` when the scope ends, unless it is -1.
inline auto Closing(int fd) {
  return Scoped{[fd] {
    if (fd >= 0) close(fd);
  }};
}

// Reads one byte from standard input, retrying after a signal. Returns the
// byte, or -1 at the end of input, on an error, or when none came in time.
int Read_byte();

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

// Around a child that runs in our terminal, until the scope ends: SIGINT
// and SIGQUIT are ignored (as system() does: the keyboard's signals are the
// child's), and the terminal's attributes, foreground process group and
// standard input's file flags are kept; then they come back, whatever the
// child did to them (raw mode, its own foreground, O_NONBLOCK), and the two
// signals get their actions back. Not nested.
Scoped<void (*)()> Around_child();
