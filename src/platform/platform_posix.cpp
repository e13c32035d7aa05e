#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>

#include "platform/common.h"
#include "platform/platform.h"
#include "platform/posix.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

extern char** environ;

namespace {

termios saved_terminal;

// Ctrl+C at the pause ends the program, as it does on Windows; the terminal
// must not stay without echo after it.
void Restore_and_die(int sig) {
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
  signal(sig, SIG_DFL);
  raise(sig);
}

// One key, without echo and without waiting for Enter: one byte, one UTF-8
// character, or one escape sequence (arrows, function keys). What was typed
// after it stays for the next read, as at a Windows console.
void Read_key() {
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
  const int c = Read_byte();
  // The rest of the key, if it comes within 100 ms.
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 1;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  if (c == 0x1B) {
    // ESC [ parameters final, or ESC O letter; else Esc alone or Alt+key.
    const int second = Read_byte();
    if (second == '[') {
      for (int b = Read_byte(); b >= 0 && !(b >= 0x40 && b <= 0x7E); b = Read_byte()) {
      }
    } else if (second == 'O') {
      Read_byte();
    }
  } else if (c >= 0xC0) {
    for (int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1; more > 0; --more) {
      const int b = Read_byte();
      if (b < 0 || (b & 0xC0) != 0x80) break;
    }
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &old);
  signal(SIGINT, old_int);
  signal(SIGTERM, old_term);
}

}  // namespace

int Read_byte() {
  unsigned char c = 0;
  ssize_t n;
  do n = read(STDIN_FILENO, &c, 1);
  while (n < 0 && errno == EINTR);
  return n == 1 ? c : -1;
}

int Spawn(const std::vector<std::string>& args, pid_t& pid, bool own_stdin, bool search) {
  if (args.empty()) return ENOENT;
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawnattr_t attr;
  int rc = posix_spawn_file_actions_init(&files);
  if (rc != 0) return rc;
  if (!own_stdin)
    rc = posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (rc == 0) rc = posix_spawnattr_init(&attr);
  if (rc == 0) {
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    rc = posix_spawnattr_setsigdefault(&attr, &defaults);
    if (rc == 0) rc = posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    if (rc == 0)
      rc = search ? posix_spawnp(&pid, argv[0], &files, &attr, argv.data(), environ)
                  : posix_spawn(&pid, argv[0], &files, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
  }
  posix_spawn_file_actions_destroy(&files);
  return rc;
}

int Wait_pid(pid_t pid) {
  int status = 0;
  pid_t r;
  do r = waitpid(pid, &status, 0);
  while (r < 0 && errno == EINTR);
  if (r < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void Ignore_keyboard_signals(struct sigaction (&old)[2]) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGINT, &ignore, &old[0]);
  sigaction(SIGQUIT, &ignore, &old[1]);
}

void Restore_keyboard_signals(const struct sigaction (&old)[2]) {
  sigaction(SIGINT, &old[0], nullptr);
  sigaction(SIGQUIT, &old[1], nullptr);
}

void Set_console_utf8() {
  // Terminals here are UTF-8 already. The default 50 us timer slack would
  // stretch every 1 ms pause of the typewriter by about 5%.
#ifdef __linux__
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

void Drop_typed_keys() {
  if (isatty(STDIN_FILENO)) tcflush(STDIN_FILENO, TCIFLUSH);
}

void Wait_for_key() {
  if (isatty(STDIN_FILENO)) Read_key();
}

void Write_out(std::string_view bytes) {
  std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  std::cout.flush();
}

bool Read_line(std::string& s, std::size_t keep) {
  return Read_stream_line(*std::cin.rdbuf(), s, keep);
}

bool To_path(const std::string& utf8, std::filesystem::path& path) {
  if (utf8.find('\0') != std::string::npos) return false;
  path = utf8;
  return true;
}

bool Replace_file(const std::string& path, const std::string& bytes) {
  const std::string tmp = path + "." + std::to_string(getpid()) + ".tmp";
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  // A file-size limit must fail the write, not kill the program before it
  // can keep the old file.
  struct sigaction ignore {};
  struct sigaction old_xfsz {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old_xfsz);
  bool ok = true;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else
      ok = n < 0 && errno == EINTR;
  }
  sigaction(SIGXFSZ, &old_xfsz, nullptr);
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(tmp.c_str());
  return ok;
}

void Mark_hidden(const std::string& /*path*/) {}
