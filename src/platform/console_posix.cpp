// Console output and line input on a POSIX terminal or stream.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "platform/common.h"
#include "platform/platform.h"

namespace {

// Whether a read that gave nothing only found no input yet: someone left
// standard input non-blocking. Then wait for input; it has not ended.
bool Input_goes_on() {
  if (!std::ferror(stdin) || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
  std::clearerr(stdin);
  pollfd p{STDIN_FILENO, POLLIN, 0};
  while (poll(&p, 1, -1) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace

// Terminals here are UTF-8 already.
void Set_console_utf8() {}

void Write_out(std::string_view bytes) {
  std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  std::cout.flush();
}

bool Read_line(std::string& s, std::size_t keep) {
  return Read_stream_line(*std::cin.rdbuf(), s, keep, Input_goes_on);
}
