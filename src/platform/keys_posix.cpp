// The pause's key on a POSIX terminal: raw mode for one key, and the
// terminal given back whatever signal comes meanwhile.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iterator>

#include "platform/platform.h"
#include "platform/posix.h"

namespace {

// How long the rest of a key may take to come.
constexpr int REST_OF_KEY_MS = 100;

// One byte of standard input, retrying after a signal; -1 at the end of
// input, on an error, or when none came in time: the terminal's VTIME, or
// `wait_ms` (-1: for ever) where an earlier program left it non-blocking.
int Read_byte(int wait_ms) {
  for (;;) {
    unsigned char c = 0;
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n == 1) return c;
    if (n < 0 && (errno == EINTR || (errno == EIO && Take_terminal_back()))) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return -1;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (Retrying([&] { return poll(&p, 1, wait_ms); }) <= 0) return -1;
  }
}

// The pause's terminal settings: as they were; without echo and Enter,
// waiting for a first byte; the same, taking the rest of a key if it comes
// within 100 ms. All three are made before a handler can apply them.
termios cooked, raw, rest;
// Which of them is in force (an index into MODES): what a handler puts
// back after Ctrl+Z and fg.
termios* const MODES[] = {&raw, &rest, &cooked};
volatile sig_atomic_t in_force = 0;

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
  tcsetattr(STDIN_FILENO, TCSANOW, MODES[in_force]);
  errno = saved_errno;
}

constexpr int PAUSE_SIGNALS[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP};

// One key, without echo and without waiting for Enter: one byte, one UTF-8
// character, or one escape sequence (arrows, function keys). What was typed
// after it stays for the next read, as at a Windows console.
void Read_key() {
  if (tcgetattr(STDIN_FILENO, &cooked) != 0) return;
  raw = cooked;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  rest = raw;
  rest.c_cc[VMIN] = 0;
  rest.c_cc[VTIME] = REST_OF_KEY_MS / 100;
  in_force = 0;
  struct sigaction old[std::size(PAUSE_SIGNALS)];
  struct sigaction handler {};
  handler.sa_handler = Restore_and_act;
  sigemptyset(&handler.sa_mask);
  for (std::size_t i = 0; i < std::size(PAUSE_SIGNALS); ++i) {
    sigaction(PAUSE_SIGNALS[i], nullptr, &old[i]);
    // A signal ignored when the pause begins (by whoever started us) stays
    // ignored.
    if (old[i].sa_handler != SIG_IGN) sigaction(PAUSE_SIGNALS[i], &handler, nullptr);
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  const int c = Read_byte(-1);
  in_force = 1;
  tcsetattr(STDIN_FILENO, TCSANOW, &rest);
  if (c == 0x1B) {
    // ESC [ parameters final, or ESC O letter; else Esc alone or Alt+key.
    const int second = Read_byte(REST_OF_KEY_MS);
    if (second == '[') {
      for (int b = Read_byte(REST_OF_KEY_MS); b >= 0 && !(b >= 0x40 && b <= 0x7E);
           b = Read_byte(REST_OF_KEY_MS)) {
      }
    } else if (second == 'O') {
      Read_byte(REST_OF_KEY_MS);
    }
  } else if (c >= 0xC0) {
    for (int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1; more > 0; --more) {
      const int b = Read_byte(REST_OF_KEY_MS);
      if (b < 0 || (b & 0xC0) != 0x80) break;
    }
  }
  in_force = 2;
  tcsetattr(STDIN_FILENO, TCSANOW, &cooked);
  for (std::size_t i = 0; i < std::size(PAUSE_SIGNALS); ++i)
    sigaction(PAUSE_SIGNALS[i], &old[i], nullptr);
}

}  // namespace

void Drop_typed_keys() {
  if (isatty(STDIN_FILENO)) tcflush(STDIN_FILENO, TCIFLUSH);
}

void Wait_for_key() {
  if (isatty(STDIN_FILENO)) Read_key();
}
