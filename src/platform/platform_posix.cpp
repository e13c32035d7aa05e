#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <iterator>

#include "platform/common.h"
#include "platform/platform.h"
#include "platform/posix.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

// The pause's terminal settings: as they were, and without echo and Enter.
termios cooked, raw;

// A signal from the keyboard (or a closed terminal) at the pause gives the
// terminal back first; it then acts as it would have. After Ctrl+Z and fg
// the pause goes on waiting for its key.
void Restore_and_act(int sig) {
  const int saved_errno = errno;
  tcsetattr(STDIN_FILENO, TCSANOW, &cooked);
  struct sigaction dfl {};
  struct sigaction mine {};
  dfl.sa_handler = SIG_DFL;
  sigaction(sig, &dfl, &mine);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, sig);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(sig);  // ends the process, or stops it until SIGCONT
  sigaction(sig, &mine, nullptr);
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  errno = saved_errno;
}

constexpr int PAUSE_SIGNALS[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP};

// One key, without echo and without waiting for Enter: one byte, one UTF-8
// character, or one escape sequence (arrows, function keys). What was typed
// after it stays for the next read, as at a Windows console.
void Read_key() {
  if (tcgetattr(STDIN_FILENO, &cooked) != 0) return;
  struct sigaction old[std::size(PAUSE_SIGNALS)];
  struct sigaction handler {};
  handler.sa_handler = Restore_and_act;
  sigemptyset(&handler.sa_mask);
  for (std::size_t i = 0; i < std::size(PAUSE_SIGNALS); ++i) {
    sigaction(PAUSE_SIGNALS[i], nullptr, &old[i]);
    // A signal that was ignored when the program started stays ignored.
    if (old[i].sa_handler != SIG_IGN) sigaction(PAUSE_SIGNALS[i], &handler, nullptr);
  }
  raw = cooked;
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
  tcsetattr(STDIN_FILENO, TCSANOW, &cooked);
  for (std::size_t i = 0; i < std::size(PAUSE_SIGNALS); ++i)
    sigaction(PAUSE_SIGNALS[i], &old[i], nullptr);
}

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

termios child_terminal;
bool child_terminal_saved = false;
int child_flags = -1;

}  // namespace

int Read_byte() {
  unsigned char c = 0;
  ssize_t n;
  do n = read(STDIN_FILENO, &c, 1);
  while (n < 0 && errno == EINTR);
  return n == 1 ? c : -1;
}

void Save_terminal() {
  child_terminal_saved = tcgetattr(STDIN_FILENO, &child_terminal) == 0;
  child_flags = fcntl(STDIN_FILENO, F_GETFL);
}

void Restore_terminal() {
  if (child_terminal_saved) {
    // Should the child have left us outside the foreground, setting the
    // terminal must not stop us.
    struct sigaction ignore {};
    struct sigaction old_ttou {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGTTOU, &ignore, &old_ttou);
    tcsetattr(STDIN_FILENO, TCSADRAIN, &child_terminal);
    sigaction(SIGTTOU, &old_ttou, nullptr);
  }
  if (child_flags >= 0) fcntl(STDIN_FILENO, F_SETFL, child_flags);
}

int Spawn(const std::vector<std::string>& args, pid_t& pid, bool own_stdin, bool search) {
  if (args.empty()) return ENOENT;
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The child tells why its exec failed through a pipe that the exec closes.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return errno;
  pid = fork();
  if (pid < 0) {
    const int error = errno;
    close(report[0]);
    close(report[1]);
    return error;
  }
  if (pid == 0) {
    // A real fork, not vfork: the program starts in an address space of
    // its own, so its peak memory is not ours.
    signal(SIGINT, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    int error = 0;
    if (!own_stdin) {
      const int null = open("/dev/null", O_RDONLY);
      if (null < 0 || dup2(null, STDIN_FILENO) < 0) error = errno;
    }
    if (error == 0) {
      if (search)
        execvp(argv[0], argv.data());
      else
        execv(argv[0], argv.data());
      error = errno;
    }
    while (write(report[1], &error, sizeof error) < 0 && errno == EINTR) {
    }
    _exit(127);
  }
  close(report[1]);
  int error = 0;
  ssize_t n;
  do n = read(report[0], &error, sizeof error);
  while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == sizeof error) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return error;
  }
  return 0;
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

void Set_console_utf8() {}

void Set_up_pacing() {
  // The default 50 us timer slack would stretch every 1 ms pause of the
  // typewriter by about 5%.
#ifdef __linux__
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

void Use_compiler_folder(const std::string&) {}

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
  return Read_stream_line(*std::cin.rdbuf(), s, keep, Input_goes_on);
}

bool To_path(const std::string& utf8, std::filesystem::path& path) {
  if (utf8.find('\0') != std::string::npos) return false;
  path = utf8;
  return true;
}

bool Replace_file(const std::string& path, const std::string& bytes) {
  // Held until the file is in place or cleaned up, so that no kill from the
  // keyboard or a closed terminal leaves a temporary file behind.
  sigset_t hold, old_mask;
  sigemptyset(&hold);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&hold, sig);
  sigprocmask(SIG_BLOCK, &hold, &old_mask);
  // A name nobody can foresee, created only if nothing (not even a link)
  // stands there; mkstemp's 0600 widened to what the umask allows.
  std::string tmp = path + ".XXXXXX.tmp";
  const int fd = mkostemps(tmp.data(), 4, O_CLOEXEC);
  bool ok = fd >= 0;
  if (ok) {
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    // A file-size limit must fail the write, not kill the program before
    // it can keep the old file.
    struct sigaction ignore {};
    struct sigaction old_xfsz {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old_xfsz);
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
  }
  sigprocmask(SIG_SETMASK, &old_mask, nullptr);
  return ok;
}

void Mark_hidden(const std::string& /*path*/) {}
