#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

#include "platform/common.h"
#include "platform/platform.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

// The prompt of the Windows interpreter's pause, as a Chinese console shows it.
const char* const PAUSE_PROMPT = "请按任意键继续. . .";

void Write_if_terminal(const std::string& bytes) {
  if (isatty(STDOUT_FILENO)) Write_out(bytes);
}

termios saved_terminal;

// Ctrl+C at the pause ends the program, as it does on Windows; the terminal
// must not stay without echo after it.
void Restore_and_die(int sig) {
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
  signal(sig, SIG_DFL);
  raise(sig);
}

// One key, without echo and without waiting for Enter. Keys that send
// several bytes (arrows, function keys) are swallowed whole.
void Wait_for_key() {
  termios old{};
  if (tcgetattr(STDIN_FILENO, &old) != 0) return;
  saved_terminal = old;
  // A signal that was ignored when the program started stays ignored.
  const auto old_int = signal(SIGINT, Restore_and_die);
  if (old_int == SIG_IGN) signal(SIGINT, SIG_IGN);
  const auto old_term = signal(SIGTERM, Restore_and_die);
  if (old_term == SIG_IGN) signal(SIGTERM, SIG_IGN);
  termios raw = old;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  char c = 0;
  ssize_t n;
  do n = read(STDIN_FILENO, &c, 1);
  while (n < 0 && errno == EINTR);
  raw.c_cc[VMIN] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  char rest[16];
  while (n > 0 && read(STDIN_FILENO, rest, sizeof rest) > 0) {
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &old);
  signal(SIGINT, old_int);
  signal(SIGTERM, old_term);
}

int Pause() {
  Write_out(PAUSE_PROMPT);
  if (isatty(STDIN_FILENO)) Wait_for_key();
  Write_out("\n");
  return 0;
}

}  // namespace

void Set_console_utf8() {
  // Terminals here are UTF-8 already. The default 50 us timer slack would
  // stretch every 1 ms pause of the typewriter by about 5%.
#ifdef __linux__
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

void Write_out(std::string_view bytes) {
  std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  std::cout.flush();
}

bool Read_line(std::string& s, std::size_t keep) {
  return Read_stream_line(*std::cin.rdbuf(), s, keep);
}

int Run_command(const std::string& line) {
  std::cout.flush();
  if (line == "cls") {
    Write_if_terminal("\x1b[H\x1b[2J\x1b[3J");
    return 0;
  }
  if (line.rfind("title ", 0) == 0) {
    Write_if_terminal("\x1b]0;" + line.substr(6) + "\a");
    return 0;
  }
  if (line == "pause") return Pause();
  std::cerr << "无法识别的命令：" << line << '\n';
  return 9009;
}

void Sleep_micros(long long micros) {
  if (micros > 0) std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

bool To_path(const std::string& utf8, std::filesystem::path& path) {
  if (utf8.find('\0') != std::string::npos) return false;
  path = utf8;
  return true;
}

bool Replace_file(const std::string& path, const std::string& bytes) {
  // A file-size limit must fail the write, not kill the program before it
  // can keep the old file.
  signal(SIGXFSZ, SIG_IGN);
  const std::string tmp = path + "." + std::to_string(getpid()) + ".tmp";
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else
      ok = n < 0 && errno == EINTR;
  }
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(tmp.c_str());
  return ok;
}

void Mark_hidden(const std::string& /*path*/) {}
