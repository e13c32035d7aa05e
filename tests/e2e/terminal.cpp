#include "e2e/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "child.h"

std::string Plain(const std::string& raw) {
  std::string s;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\x1b' || i + 1 == raw.size()) {
      s += raw[i];
    } else if (raw[i + 1] == ']') {  // OSC ... BEL
      i = std::min(raw.find('\a', i), raw.size() - 1);
    } else if (raw[i + 1] == '[') {  // CSI parameters final
      std::size_t j = i + 2;
      while (j < raw.size() && !(raw[j] >= 0x40 && raw[j] <= 0x7E)) ++j;
      if (j < raw.size() && raw[j] == 'C')
        s.append(static_cast<std::size_t>(std::max(1, std::atoi(raw.c_str() + i + 2))), ' ');
      i = j;
    }
  }
  return s;
}

bool Read_until(int fd, Terminal_output& out, const std::string& needle, std::size_t from,
                std::chrono::milliseconds limit) {
  using std::chrono::steady_clock;
  const auto deadline = steady_clock::now() + limit;
  while (Plain(out.text).find(needle, from) == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::clamp<long long>(left.count(), 0, 100))) <= 0) {
      if (left.count() <= 0) return false;
      continue;
    }
    char buf[256];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    for (ssize_t i = 0; i < n; ++i)
      if (buf[i] != '\r') out.text += buf[i];
    out.arrivals.emplace_back(steady_clock::now(), out.text.size());
  }
  return true;
}

std::chrono::steady_clock::time_point Arrived(const Terminal_output& out, std::size_t size) {
  for (const auto& [when, had] : out.arrivals)
    if (had >= size) return when;
  return {};
}

std::pair<pid_t, int> Start_on_terminal(const Launch& launch, bool raw) {
  int fd = -1;
  winsize size{};
  size.ws_col = 120;
  size.ws_row = 40;
  int tty = -1;
  if (openpty(&fd, &tty, nullptr, nullptr, &size) != 0) return {-1, -1};
  // What reaches the terminal comes through standard output.
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t pid = Start_child(launch.argv, launch.dir, tty, tty, null, [&] {
    close(fd);
    if (tty > STDERR_FILENO) close(tty);
    if (setsid() < 0 || ioctl(STDIN_FILENO, TIOCSCTTY, 0) < 0) _exit(126);
    for (const char* name : {"TMUX", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    setenv("TERM", "xterm", 1);
    for (const std::string& e : launch.env) putenv(const_cast<char*>(e.c_str()));
    if (launch.nonblocking) fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    termios t{};
    if (raw && tcgetattr(STDIN_FILENO, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(STDIN_FILENO, TCSANOW, &t);
    }
  });
  close(tty);
  if (null >= 0) close(null);
  return {pid, fd};
}

bool Taken(int fd) {
  const int tty = open(ptsname(fd), O_RDWR | O_NOCTTY | O_CLOEXEC);
  int queued = 1;
  const bool taken =
      tty >= 0 && Eventually([&] { return ioctl(tty, FIONREAD, &queued) == 0 && queued == 0; });
  if (tty >= 0) close(tty);
  return taken;
}
