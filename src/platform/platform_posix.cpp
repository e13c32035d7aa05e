#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <thread>
#include <vector>

#include "platform/common.h"
#include "platform/platform.h"
#include "platform/posix.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

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

// The next byte of a key already sent, or -1 when none comes within 100 ms
// (the terminal is in raw mode with VMIN 0 and VTIME 1).
int Next_byte() {
  unsigned char c = 0;
  ssize_t n;
  do n = read(STDIN_FILENO, &c, 1);
  while (n < 0 && errno == EINTR);
  return n == 1 ? c : -1;
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
  unsigned char c = 0;
  ssize_t n;
  do n = read(STDIN_FILENO, &c, 1);
  while (n < 0 && errno == EINTR);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 1;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  if (n == 1 && c == 0x1B) {
    // ESC [ parameters final, or ESC O letter; else Esc alone or Alt+key.
    const int second = Next_byte();
    if (second == '[') {
      for (int b = Next_byte(); b >= 0 && !(b >= 0x40 && b <= 0x7E); b = Next_byte()) {
      }
    } else if (second == 'O') {
      Next_byte();
    }
  } else if (n == 1 && c >= 0xC0) {
    for (int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1; more > 0; --more) {
      const int b = Next_byte();
      if (b < 0 || (b & 0xC0) != 0x80) break;
    }
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &old);
  signal(SIGINT, old_int);
  signal(SIGTERM, old_term);
}

int Pause() {
  Write_out(PAUSE_PROMPT);
  Wait_for_key();
  Write_out("\n");
  return 0;
}

// Spawns args[0] as the path it is (no PATH search, no shell). SIGINT and
// SIGQUIT keep their default action in the child even while we ignore them.
// Without `own_stdin` the child reads from /dev/null. Returns the pid, or
// nothing when the program cannot be started.
std::optional<pid_t> Spawn(const std::vector<std::string>& args, bool own_stdin) {
  if (args.empty()) return std::nullopt;
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  if (!own_stdin) posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawnattr_t attr;
  Init_spawn_attr(attr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &files, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&files);
  if (rc != 0) return std::nullopt;
  return pid;
}

// The child's exit code, 128 + the signal that ended it, or 1 when it
// cannot be waited for.
int Wait_pid(pid_t pid) {
  int status = 0;
  pid_t r;
  do r = waitpid(pid, &status, 0);
  while (r < 0 && errno == EINTR);
  if (r < 0) return 1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs a program and waits for it, as system() does: SIGINT and SIGQUIT
// from the keyboard end the child, not us. Returns its exit code (128 + the signal that
// ended it), or nothing when it cannot be started.
std::optional<int> Run_child(const std::vector<std::string>& args, bool own_stdin = true) {
  struct sigaction ignore {};
  struct sigaction old_int {};
  struct sigaction old_quit {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGINT, &ignore, &old_int);
  sigaction(SIGQUIT, &ignore, &old_quit);
  std::optional<int> result;
  if (const auto pid = Spawn(args, own_stdin)) result = Wait_pid(*pid);
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGQUIT, &old_quit, nullptr);
  return result;
}

// Starts a program that outlives us and is never waited for: an
// intermediate child spawns it in a session of its own and exits, so no
// zombie stays and Ctrl+C or a closed terminal does not reach it.
bool Run_detached(const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    setsid();
    _exit(Spawn(args, false) ? 0 : 1);
  }
  return Wait_pid(pid) == 0;
}

bool Is_executable_file(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The first executable file called `name` in the folders of PATH.
std::optional<std::string> Find_on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  for (std::string_view rest = path ? path : ""; !rest.empty();) {
    const std::size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    // An empty entry, like ".", is the working directory: skipped, since a
    // file there is no installed launcher.
    if (dir.empty() || dir.front() != '/') continue;
    const std::string file = std::string(dir) + "/" + name;
    if (Is_executable_file(file)) return file;
  }
  return std::nullopt;
}

bool Is_set(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// cmd /c LINE: LINE loses one pair of enclosing quotes, as cmd strips them.
int Cmd(std::string_view line) {
  if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
    line = line.substr(1, line.size() - 2);
  const std::vector<std::string> fields = Split_fields(line);
  if (const auto code = Run_child(fields)) return *code;
  std::cerr << "无法启动程序：" << (fields.empty() ? "" : fields[0]) << '\n';
  return 9009;
}

// start "TITLE" PROGRAM ARGS...: a new window where there is one, else this
// console. Returns 0 once the program has been started.
int Start(std::string_view line) {
  std::vector<std::string> fields = Split_fields(line);
  if (fields.size() < 2 || !Is_executable_file(fields[1])) {
    std::cerr << "找不到程序，或它不可执行：" << (fields.size() < 2 ? "" : fields[1]) << '\n';
    return 1;
  }
  const std::string title = fields[0];
  std::vector<std::string> program(fields.begin() + 1, fields.end());
  std::error_code ec;
  const std::string dir = std::filesystem::current_path(ec).string();
  // Launchers look a bare name up on PATH and may start elsewhere.
  program[0] = (std::filesystem::path(dir) / program[0]).lexically_normal().string();
  if (Is_set("TMUX")) {
    if (const auto tmux = Find_on_path("tmux")) {
      std::vector<std::string> argv = Window_command("tmux", title, dir, program);
      argv[0] = *tmux;
      return Run_child(argv, false) == 0 ? 0 : 1;
    }
  }
  if (Is_set("DISPLAY") || Is_set("WAYLAND_DISPLAY")) {
    for (const char* launcher : LAUNCHERS) {
      const auto found = Find_on_path(launcher);
      if (!found) continue;
      std::vector<std::string> argv = Window_command(launcher, title, dir, program);
      argv[0] = *found;
      return Run_detached(argv) ? 0 : 1;
    }
  }
  return Run_child(program).has_value() ? 0 : 1;
}

}  // namespace

void Init_spawn_attr(posix_spawnattr_t& attr) {
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGQUIT);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
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
  if (line.rfind("cmd /c ", 0) == 0) return Cmd(std::string_view(line).substr(7));
  if (line.rfind("start ", 0) == 0) return Start(std::string_view(line).substr(6));
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
