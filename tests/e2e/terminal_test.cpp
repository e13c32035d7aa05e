// Tavrel and the pauser on a pseudo-terminal, on Linux and as .exe files
// under Wine: what only a terminal or a console shows.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <thread>

#include "child.h"
#include "e2e/shared.h"

namespace {

// Tavrel and the pauser on a pseudo-terminal: what only a terminal shows,
// and under Wine what only a real console does (line input, whole
// characters, the console's own cls, title and pause).
struct Terminal_output {
  std::string text;  // as the terminal got it, CR dropped
  std::vector<std::pair<std::chrono::steady_clock::time_point, std::size_t>>
      arrivals;  // size after
};

// The text a reader sees: escape sequences dropped, except that Wine's
// "cursor right" stands for the blanks it skips.
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

// Reads until `needle` has arrived in the plain text after `from`, or
// `limit` has passed: false then, or at the end of the output.
bool Read_until(int fd, Terminal_output& out, const std::string& needle, std::size_t from = 0,
                std::chrono::milliseconds limit = std::chrono::seconds(20)) {
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

// When the text first held `size` bytes.
std::chrono::steady_clock::time_point Arrived(const Terminal_output& out, std::size_t size) {
  for (const auto& [when, had] : out.arrivals)
    if (had >= size) return when;
  return {};
}

// Starts a program on a new pseudo-terminal of 120 columns, in `dir`, with
// TERM=xterm unless the launch sets it. A `raw` terminal is so from the
// start, as Wine's console sets it once it reads: keys typed ahead then
// reach it as typed (Enter as CR). Otherwise Ctrl+C is the terminal's
// signal, which Wine hands on as Ctrl+C. Returns the child and the
// terminal's master side; -1 for both when there is no terminal.
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

// Whether what was typed on the terminal `fd` has been read on its other
// side within 10 s: its input queue is empty.
bool Taken(int fd) {
  const int tty = open(ptsname(fd), O_RDWR | O_NOCTTY | O_CLOEXEC);
  int queued = 1;
  for (int i = 0; tty >= 0 && i < 2000 && ioctl(tty, FIONREAD, &queued) == 0 && queued > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (tty >= 0) close(tty);
  return queued == 0;
}

// On every way out of a test: the child's session ended and reaped unless
// the test has reaped it, and the terminal closed.
auto Ending(pid_t pid, int fd) {
  return Scoped{[pid, fd] {
    if (waitpid(pid, nullptr, WNOHANG) == 0) {
      kill(-pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    close(fd);
  }};
}

// The main menu as it ends on the screen: what the rows wait for.
const std::string MENU_SHOWN = MENU.substr(MENU.rfind("3. "));

class Terminal : public ::testing::TestWithParam<Target> {};

TEST_P(Terminal, ClearsTitlesTypesOutAndPausesForOneKey) {
  const Target target = GetParam();
  if (target == WINE) NEED_WINE();
  // The real programs: this row measures the pace.
  Launch launch = Starting(target, TAVREL_BIN, TAVREL_EXE);
  const auto removing = Removing(launch.dir = Make_test_dir());
  Write_file(fs::path(launch.dir) / SOURCE.first, SOURCE.second);
  Write_file(fs::path(launch.dir) / DATA, With_doubles(CC_DATA, target));
  // The program spoils the terminal, then sends Ctrl+C's signal (Linux).
  launch.env.push_back("FAKE_TERMINAL=1");
  launch.nonblocking = target == LINUX;  // left so by an earlier program
  const auto [pid, fd] = Start_on_terminal(launch, target == WINE);
  ASSERT_GE(pid, 0);
  const auto ending = Ending(pid, fd);
  Terminal_output out;
  ASSERT_TRUE(Read_until(fd, out, MENU_SHOWN)) << out.text;
  EXPECT_NE(out.text.find("\x1b]0;Tavrel\a"), std::string::npos);
  EXPECT_NE(out.text.find(target == LINUX ? "\x1b[H\x1b[2J\x1b[3J" : "\x1b[H"), std::string::npos);
  // The settings page's items come one by one, 1 ms a byte at least: the
  // last (回) of their 112 bytes 111 ms after the key at the earliest. (From
  // the key, not from the first item's arrival, which a loaded console can
  // hold back.) Shown as they come, not all at the end: the first byte has
  // arrived half that time before the last. A reader held back longer than
  // that fails this, which the pace alone cannot.
  const std::size_t menu = out.text.size();
  const auto asked = std::chrono::steady_clock::now();
  ASSERT_EQ(write(fd, "2\r", 2), 2);
  ASSERT_TRUE(Read_until(fd, out, "5. 返回\n\n")) << Plain(out.text);
  const std::size_t first = out.text.find("修", menu), last = out.text.find("回", first) + 3;
  EXPECT_GE(Arrived(out, last) - asked, std::chrono::milliseconds(111));
  EXPECT_GE(Arrived(out, last) - Arrived(out, first + 1), std::chrono::milliseconds(55))
      << "not shown character by character";

  // The information page's pause holds until a key comes.
  ASSERT_EQ(write(fd, "4\r", 2), 2);
  const std::string prompt = target == LINUX ? PAUSE.substr(0, PAUSE.size() - 1) : "continue...";
  ASSERT_TRUE(Read_until(fd, out, prompt));
  std::size_t paused = Plain(out.text).size();
  // A time, since nothing shows that it waits: a program that went on
  // after more than 300 ms (or on a machine too loaded to show it) passes.
  EXPECT_FALSE(Read_until(fd, out, "1. 修改", paused, std::chrono::milliseconds(300)))
      << "went on past the pause without a key";

  // One key, Delete (ESC [ 3 ~; Wine's cmd takes it for several): what
  // follows it is the settings menu's next answer.
  const std::string key = target == LINUX ? "\x1b[3~" : "x";
  ASSERT_EQ(write(fd, (key + "5\r").data(), key.size() + 2), static_cast<ssize_t>(key.size() + 2));
  ASSERT_TRUE(Read_until(fd, out, MENU_SHOWN, paused)) << Plain(out.text).substr(paused);
  paused = Plain(out.text).size();

  if (target == LINUX) {
    // A program in this terminal that leaves it raw and non-blocking, and
    // Ctrl+C meant for it: Tavrel lives on, and its terminal is as it was.
    ASSERT_EQ(write(fd, "1\r", 2), 2);
    ASSERT_TRUE(Read_until(fd, out, ASK, paused));
    EXPECT_NE(out.text.find("\x1b[H\x1b[2J\x1b[3J" + ASK), std::string::npos);
    ASSERT_EQ(write(fd, "a.cpp\r1\r", 8), 8);
    ASSERT_TRUE(Read_until(fd, out, STARTED.substr(0, STARTED.size() - 1), paused));
    EXPECT_EQ(Read_file(fs::path(launch.dir) / "fake.log"),
              With_doubles(CC_LOG, LINUX) + "program\nterminal spoilt\n");
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_TRUE((t.c_oflag & OPOST) && (t.c_iflag & ICRNL) && (t.c_lflag & ISIG)) << "left raw";
    paused = Plain(out.text).size();
    ASSERT_EQ(write(fd, "x", 1), 1);
    ASSERT_TRUE(Read_until(fd, out, MENU_SHOWN, paused));
    // A time, as at the pause above: a late farewell passes.
    EXPECT_FALSE(Read_until(fd, out, BYE, paused, std::chrono::milliseconds(300)))
        << "left without being asked";
    paused = Plain(out.text).size();
  }

  // A Chinese path typed into an editor is stored as its UTF-8 bytes.
  ASSERT_EQ(write(fd, "2\r1\r", 4), 4);
  ASSERT_TRUE(Read_until(fd, out, "请输入新编译器路径：", paused));
  const std::string typed = "C:\\编译器\\g++.exe\r";
  ASSERT_EQ(write(fd, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  ASSERT_TRUE(Read_until(fd, out, "设置成功！", paused));
  ASSERT_TRUE(Read_until(fd, out, prompt, paused));
  ASSERT_EQ(write(fd, "x", 1), 1);
  ASSERT_TRUE(Read_until(fd, out, "5. 返回\n\n", Plain(out.text).find("设置成功！", paused)));
  paused = Plain(out.text).size();
  ASSERT_EQ(write(fd, "5\r", 2), 2);
  ASSERT_TRUE(Read_until(fd, out, MENU_SHOWN, paused));
  const auto leaving = std::chrono::steady_clock::now();
  ASSERT_EQ(write(fd, "3\r", 2), 2);
  EXPECT_TRUE(Read_until(fd, out, BYE.substr(0, BYE.size() - 1), paused));
  int status = -1;
  waitpid(pid, &status, 0);
  // The farewell's wait, as the real program keeps it.
  EXPECT_GE(std::chrono::steady_clock::now() - leaving, std::chrono::milliseconds(2500));
  if (target == LINUX) {
    EXPECT_NE(out.text.find("\x1b[H\x1b[2J\x1b[3J" + BYE.substr(0, BYE.size() - 1)),
              std::string::npos);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_TRUE((t.c_lflag & ICANON) && (t.c_lflag & ECHO) && (t.c_oflag & OPOST));
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(Read_file(fs::path(launch.dir) / DATA), "C:\\编译器\\g++.exe\r\n\r\n-O2 -Wall");
}

TEST_P(Terminal, PauserShowsTheSummaryAndWaitsForOneKey) {
  const Target target = GetParam();
  if (target == WINE) NEED_WINE();
  Launch launch = Starting(target, TAVREL_PAUSER, TAVREL_WIN_PAUSER);
  launch.argv.push_back(With_doubles("{PROGRAM}", target));
  const auto removing = Removing(launch.dir = Make_test_dir());
  launch.env.insert(launch.env.end(), {"FAKE_SAY=ready", "FAKE_SLEEP_MS=1500"});
  // On Linux the program takes the terminal's foreground, as a shell does,
  // and leaves a child there: the pauser, the session's leader, takes it back.
  if (target == LINUX)
    launch.env.insert(launch.env.end(),
                      {"FAKE_FOREGROUND=1", "FAKE_DETACH=1", "FAKE_SLEEP_MS=300"});
  const auto [pid, fd] = Start_on_terminal(launch, false);
  ASSERT_GE(pid, 0);
  const auto ending = Ending(pid, fd);
  Terminal_output out;
  ASSERT_TRUE(Read_until(fd, out, "ready"));
  // Keys typed while the program runs are dropped (Linux: a terminal drops
  // them, where Wine's console hands them to the next read). Under Wine,
  // then Ctrl+C: the program's, not ours. (A terminal's Ctrl+C would drop
  // the typed keys itself.) Ctrl+C waits until Wine's console has taken
  // the keys off the terminal: one right behind them was seen to leave the
  // pauser without its summary.
  ASSERT_EQ(write(fd, "abc\r", 4), 4);
  if (target == WINE) {
    ASSERT_TRUE(Taken(fd)) << "the console did not read the keys";
    ASSERT_EQ(write(fd, "\x03", 1), 1);
  }
  ASSERT_TRUE(Read_until(fd, out, "峰值内存：")) << Plain(out.text);
  const std::string prompt = PAUSE.substr(0, PAUSE.size() - 1);
  ASSERT_TRUE(Read_until(fd, out, prompt));
  if (target == LINUX) {
    // From the prompt itself: the read that brought it may hold more.
    const std::size_t paused = Plain(out.text).rfind(prompt) + prompt.size();
    // A time: a pauser that left after more than 300 ms would pass.
    EXPECT_FALSE(Read_until(fd, out, "\n", paused, std::chrono::milliseconds(300)))
        << "did not wait for a key";
  }
  ASSERT_EQ(write(fd, "x", 1), 1);
  int status = -1;
  for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(WIFEXITED(status)) << status;
}

// A Ctrl+C of the program's that reaches the pauser just after the program's
// end is still the program's: the pauser waits for its key.
TEST_P(Terminal, PauserOutlivesALateCtrlC) {
  if (GetParam() == LINUX) GTEST_SKIP() << "console events belong to Windows";
  NEED_WINE();
  Launch launch = Starting(WINE, "", TAVREL_WIN_PAUSER);
  launch.argv.push_back(With_doubles("{PROGRAM}", WINE));
  const auto removing = Removing(launch.dir = Make_test_dir());
  launch.env.push_back("FAKE_LATE_CTRL_C=100");
  const auto [pid, fd] = Start_on_terminal(launch, false);
  ASSERT_GE(pid, 0);
  const auto ending = Ending(pid, fd);
  Terminal_output out;
  ASSERT_TRUE(Read_until(fd, out, PAUSE.substr(0, PAUSE.size() - 1))) << Plain(out.text);
  // A time: a pauser that ended later than this would pass.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "ended by the late Ctrl+C";
}

// The terminal's settings as `stty -g` would tell them.
std::string Settings(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return "none";
  return std::to_string(t.c_iflag) + ":" + std::to_string(t.c_oflag) + ":" +
         std::to_string(t.c_cflag) + ":" + std::to_string(t.c_lflag) + ":" +
         std::string(reinterpret_cast<const char*>(t.c_cc), NCCS);
}

// A signal at the pause gives the terminal back before it acts: Ctrl+C and
// Ctrl+\\ end Tavrel, Ctrl+Z stops it, each with the terminal as it was
// (a shell with job control waits for a line, then resumes it with fg);
// after fg the pause still takes one key without Enter. A terminal that
// knows no escape sequences (TERM=dumb, or no TERM) gets none.
TEST_P(Terminal, PauseGivesTheTerminalBackAtASignal) {
  if (GetParam() == WINE) GTEST_SKIP() << "the pause under Wine is cmd's own";
  for (const auto& [key, term] : {std::pair<std::string, std::string>{"\x1a", "TERM=dumb"},
                                  {"\x03", "TERM="},
                                  {"\x1c", "TERM=xterm"}}) {
    Launch launch;
    launch.argv = {TAVREL_SH, "-c", "set -m; \"$0\"; read x; fg", TAVREL_UNPACED};
    launch.env = {term};
    const auto removing = Removing(launch.dir = Make_test_dir());
    const auto [pid, fd] = Start_on_terminal(launch, false);
    ASSERT_GE(pid, 0);
    const auto ending = Ending(pid, fd);
    int status = -1;
    // Tavrel too, in a group of its own under job control.
    const auto tavrel = Scoped{[fd, &status] {
      const pid_t group = tcgetpgrp(fd);
      if (status == -1 && group > 0) kill(-group, SIGKILL);
    }};
    Terminal_output out;
    ASSERT_TRUE(Read_until(fd, out, MENU_SHOWN)) << Plain(out.text);
    const std::string before = Settings(fd);
    const auto settle = [&](bool as_before) {  // up to 5 s
      for (int i = 0; i < 500 && (Settings(fd) == before) != as_before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    ASSERT_EQ(write(fd, "2\r4\r", 4), 4);
    ASSERT_TRUE(Read_until(fd, out, PAUSE.substr(0, PAUSE.size() - 1))) << Plain(out.text);
    settle(false);  // the pause reads in raw mode
    ASSERT_EQ(write(fd, key.data(), 1), 1);
    settle(true);
    EXPECT_EQ(Settings(fd), before) << "the terminal after the key " << int(key[0]);
    ASSERT_EQ(write(fd, "\r", 1), 1);
    if (key == "\x1a") {
      settle(false);
      const std::size_t paused = Plain(out.text).size();
      ASSERT_EQ(write(fd, "x", 1), 1);
      EXPECT_TRUE(Read_until(fd, out, "5. 返回\n\n", paused)) << "the key needed Enter after fg";
      ASSERT_EQ(write(fd, "5\r3\r", 4), 4);
      EXPECT_TRUE(Read_until(fd, out, BYE.substr(0, BYE.size() - 1), paused));
    }
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_NE(status, -1) << "still running after the key " << int(key[0]);
    EXPECT_EQ(out.text.find('\x1b') == std::string::npos, term != "TERM=xterm") << term;
  }
}

// Ctrl+Z and bg during a compile, then another job in the foreground: when
// the compile ends, Tavrel leaves that job the terminal and waits, stopped,
// as a background job does.
TEST_P(Terminal, BackgroundCompileLeavesTheTerminalToTheForegroundJob) {
  if (GetParam() == WINE) GTEST_SKIP() << "job control belongs to POSIX terminals";
  Launch launch;
  launch.argv = {TAVREL_SH, "-c", "set -m; \"$0\"; bg; cat", TAVREL_UNPACED};
  launch.env = {"FAKE_COMPILE_MS=1000"};
  const auto removing = Removing(launch.dir = Make_test_dir());
  Write_file(fs::path(launch.dir) / SOURCE.first, SOURCE.second);
  Write_file(fs::path(launch.dir) / DATA, With_doubles(CC_DATA, LINUX));
  const auto [pid, fd] = Start_on_terminal(launch, false);
  ASSERT_GE(pid, 0);
  const auto ending = Ending(pid, fd);
  Terminal_output out;
  ASSERT_TRUE(Read_until(fd, out, MENU_SHOWN)) << Plain(out.text);
  const pid_t tavrel = tcgetpgrp(fd);  // a job of its own, as the cat will be
  pid_t cat = tavrel;
  const auto jobs = Scoped{[&] {
    for (const pid_t job : {tavrel, cat})
      if (job > 0 && job != pid) kill(-job, SIGKILL);
  }};
  ASSERT_EQ(write(fd, "1\ra.cpp\r", 8), 8);
  ASSERT_TRUE(Read_until(fd, out, COMPILING)) << Plain(out.text);
  ASSERT_EQ(write(fd, "\x1a", 1), 1);
  for (int i = 0; i < 500 && (cat == tavrel || cat == pid); ++i, cat = tcgetpgrp(fd))
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const auto state = [tavrel] {  // as /proc tells it: R, S, T (stopped)...
    const std::string stat = Read_file("/proc/" + std::to_string(tavrel) + "/stat");
    return stat.substr(std::min(stat.rfind(") ") + 2, stat.size()), 1);
  };
  for (int i = 0; i < 500 && state() != "T"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(state(), "T") << "the compile's end did not wait for the terminal";
  EXPECT_EQ(tcgetpgrp(fd), cat) << "the job in the foreground lost the terminal";
  ASSERT_EQ(write(fd, "hello\r", 6), 6);
  EXPECT_TRUE(Read_until(fd, out, "hello\nhello\n")) << Plain(out.text);
}

// The "code pages IN OUT" lines the fake program printed, in order.
std::vector<std::string> Code_pages(const std::string& text) {
  static const std::regex line("code pages [0-9]+ [0-9]+");
  std::vector<std::string> seen;
  for (std::sregex_iterator i(text.begin(), text.end(), line), end; i != end; ++i)
    seen.push_back(i->str());
  return seen;
}

// What a program sees of its console's code pages: the same started
// directly, through the pauser, and after Tavrel has left; through the
// pauser with TAVREL_OUTPUT_CP, that output code page, and ours after.
TEST_P(Terminal, LeavesTheCodePagesAsTheyWere) {
  if (GetParam() == LINUX) GTEST_SKIP() << "code pages belong to a Windows console";
  NEED_WINE();
  const std::string probe = With_doubles("{PROGRAM}", WINE);
  Launch launch = Starting(WINE, "", "cmd");
  launch.argv.insert(launch.argv.end(),
                     {"/c", probe + " & " + Windows_path(TAVREL_WIN_PAUSER) + " " + probe +
                                " & set TAVREL_OUTPUT_CP=936& " + Windows_path(TAVREL_WIN_PAUSER) +
                                " " + probe + " & " + Windows_path(TAVREL_EXE) + " & " + probe});
  launch.env.push_back("FAKE_CODE_PAGES=1");
  const auto removing = Removing(launch.dir = Make_test_dir());
  const auto [pid, fd] = Start_on_terminal(launch, true);
  ASSERT_GE(pid, 0);
  const auto ending = Ending(pid, fd);
  Terminal_output out;
  const std::string prompt = PAUSE.substr(0, PAUSE.size() - 1);
  ASSERT_TRUE(Read_until(fd, out, prompt)) << Plain(out.text);
  ASSERT_EQ(write(fd, "x", 1), 1);
  ASSERT_TRUE(Read_until(fd, out, prompt, Plain(out.text).rfind(prompt) + 1)) << Plain(out.text);
  ASSERT_EQ(write(fd, "x", 1), 1);
  ASSERT_TRUE(Read_until(fd, out, MENU_SHOWN)) << Plain(out.text);
  ASSERT_EQ(write(fd, "3\r", 2), 2);
  const std::size_t left = Plain(out.text).size();
  ASSERT_TRUE(Read_until(fd, out, "code pages", left)) << Plain(out.text);
  ASSERT_TRUE(Read_until(fd, out, "\n", Plain(out.text).find("code pages", left)));
  int status = -1;
  waitpid(pid, &status, 0);
  const std::vector<std::string> seen = Code_pages(Plain(out.text));
  ASSERT_EQ(seen.size(), 4u) << Plain(out.text);
  EXPECT_EQ(seen[1], seen[0]) << "through the pauser";
  EXPECT_EQ(seen[2], seen[0].substr(0, seen[0].rfind(' ')) + " 936") << "named to the pauser";
  EXPECT_EQ(seen[3], seen[0]) << "after Tavrel";
}

// Ctrl+C at the menu, or while the save waits out a holder of the data
// file, ends Tavrel without the save: the console has its code pages back,
// and a save already begun ends first, leaving no temporary file.
TEST_P(Terminal, CtrlCGivesTheCodePagesBackAndLeavesNoTemporaryFile) {
  if (GetParam() == LINUX) GTEST_SKIP() << "code pages and console events belong to Windows";
  NEED_WINE();
  for (const bool saving : {false, true}) {
    Launch launch = Starting(WINE, "", With_doubles("{PROGRAM}", WINE).c_str());
    launch.env.insert(launch.env.end(),
                      {"FAKE_CODE_PAGES=1", "FAKE_RUN=" + Windows_path(TAVREL_EXE)});
    if (saving) launch.env.push_back("FAKE_HOLD=tavrel_data.qv");
    const auto removing = Removing(launch.dir = Make_test_dir());
    const std::string old = saving ? "old\r\n\r\n" : "";
    if (saving) Write_file(fs::path(launch.dir) / DATA, old);
    const auto [pid, fd] = Start_on_terminal(launch, false);
    ASSERT_GE(pid, 0);
    const auto ending = Ending(pid, fd);
    // Keys as typed (Enter as CR), and Ctrl+C still the terminal's signal.
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    t.c_iflag &= ~static_cast<tcflag_t>(ICRNL);
    t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
    Terminal_output out;
    ASSERT_TRUE(Read_until(fd, out, MENU_SHOWN)) << Plain(out.text);
    const auto temporary = [&launch] {
      for (const std::string& name : Names_besides(launch.dir, DATA))
        if (name.ends_with(".tmp")) return true;
      return false;
    };
    if (saving) {
      ASSERT_EQ(write(fd, "3\r", 2), 2);
      for (int i = 0; i < 500 && !temporary(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      ASSERT_TRUE(temporary()) << "the save made no temporary file: " << Plain(out.text);
    }
    ASSERT_EQ(write(fd, "\x03", 1), 1);
    const std::size_t menu = Plain(out.text).find(MENU_SHOWN);
    ASSERT_TRUE(Read_until(fd, out, "code pages", menu)) << Plain(out.text);
    ASSERT_TRUE(Read_until(fd, out, "\n", Plain(out.text).find("code pages", menu)));
    const std::vector<std::string> seen = Code_pages(Plain(out.text));
    ASSERT_EQ(seen.size(), 2u) << Plain(out.text);
    EXPECT_EQ(seen[1], seen[0]) << "after Ctrl+C, saving " << saving;
    EXPECT_FALSE(temporary()) << Plain(out.text).substr(menu);
    EXPECT_EQ(Read_file(fs::path(launch.dir) / DATA), old) << "saving " << saving;
  }
}

INSTANTIATE_TEST_SUITE_P(Console, Terminal, ::testing::Values(LINUX, WINE),
                         [](const ::testing::TestParamInfo<Target>& info) {
                           return std::string(info.param == LINUX ? "Linux" : "Wine");
                         });

}  // namespace
