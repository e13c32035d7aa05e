// Console output and line input on a POSIX terminal or stream.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "platform/common.h"
#include "platform/platform.h"
#include "platform/posix.h"

namespace {

// Waits until `fd` is ready for `events`, after a signal too.
void Wait_ready(int fd, short events) {
  pollfd p{fd, events, 0};
  Retrying([&] { return poll(&p, 1, -1); });
}

// Whether a read that gave nothing only found no input yet: someone left
// standard input non-blocking (then wait for input), or a program left the
// terminal's foreground to a group of its own (then take it back).
bool Input_goes_on() {
  if (!std::ferror(stdin)) return false;
  const bool again = errno == EAGAIN || errno == EWOULDBLOCK;
  if (!again && (errno != EIO || !Take_terminal_back())) return false;
  std::clearerr(stdin);
  if (again) Wait_ready(STDIN_FILENO, POLLIN);
  return true;
}

}  // namespace

void Set_console_utf8() {
  // Terminals here are UTF-8 already. Unbuffered, standard output tells
  // how much of each write went out, so that one into a full non-blocking
  // pipe or terminal can wait and go on.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  // A reader of our output that went away must not end the run before its
  // save: such writes fail quietly instead. Spawn gives children the default.
  signal(SIGPIPE, SIG_IGN);
}

void Write_out(std::string_view bytes) {
  std::streambuf& out = *std::cout.rdbuf();
  for (;;) {
    errno = 0;
    const std::streamsize n = out.sputn(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.remove_prefix(static_cast<std::size_t>(std::max<std::streamsize>(n, 0)));
    if (bytes.empty()) break;
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return;  // nobody reads
    Wait_ready(STDOUT_FILENO, POLLOUT);
  }
  out.pubsync();
}

bool Read_line(std::string& s, std::size_t keep) {
  return Read_stream_line(*std::cin.rdbuf(), s, keep, Input_goes_on);
}
