// POSIX pieces of the operating-system layer (platform_posix.cpp) that the
// command-interpreter stand-in and the pauser's POSIX file share.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

// Reads one byte from standard input, retrying after a signal. Returns the
// byte, or -1 at the end of input, on an error, or when none came in time.
int Read_byte();

// Starts args[0] with the others as its arguments, without a shell: the
// path as given, or with `search` a bare name looked up on PATH. SIGINT and
// SIGQUIT get their default action back in the child even while we ignore
// them. Without `own_stdin` the child reads from /dev/null. The child has an
// address space of its own from the start (fork, not vfork), so that its
// peak memory (ru_maxrss) is its own. Returns 0 and sets `pid`, or the error
// that kept it from starting (ENOENT: not found), the child then reaped.
int Spawn(const std::vector<std::string>& args, pid_t& pid, bool own_stdin = true,
          bool search = false);

// How a waited-for child ended: its exit code, or 128 + the signal that
// ended it. -1 when it could not be waited for (then errno says why).
int Wait_pid(pid_t pid);

// Around a child that runs in our terminal: keep the terminal's attributes
// and standard input's file flags, and put both back after it, whatever it
// did to them (raw mode, O_NONBLOCK). Not nested.
void Save_terminal();
void Restore_terminal();

// Ignores SIGINT and SIGQUIT, as system() does while a child runs in our
// console: the keyboard's signals are for the child. `old` receives the two
// actions for Restore_keyboard_signals.
void Ignore_keyboard_signals(struct sigaction (&old)[2]);
void Restore_keyboard_signals(const struct sigaction (&old)[2]);
