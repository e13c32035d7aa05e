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
  const bool taken =
      tty >= 0 && Eventually([&] { return ioctl(tty, FIONREAD, &queued) == 0 && queued == 0; });
  if (tty >= 0) close(tty);
  return taken;
}

// The main menu as it ends on the screen: what the rows wait for.
const std::string MENU_SHOWN = MENU.substr(MENU.rfind("3. "));

// A row's own folder and the terminal it starts its programs on: the
// session ended and the terminal closed on every way out.
class Terminal : public Row<Target> {
 protected:
  // Starts `launch` in the folder on a new terminal (see Start_on_terminal),
  // after ending one started before; false when there is no terminal.
  bool Start(Launch& launch, bool raw = false) {
    End();
    launch.dir = dir_.string();
    std::tie(pid_, fd_) = Start_on_terminal(launch, raw);
    out_ = {};
    return pid_ >= 0;
  }
  // Read_until on this terminal; a failure shows the text so far.
  ::testing::AssertionResult Until(const std::string& needle, std::size_t from = 0,
                                   std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    if (Read_until(fd_, out_, needle, from, limit)) return ::testing::AssertionSuccess() << Text();
    return ::testing::AssertionFailure() << Text().substr(std::min(from, Text().size()));
  }
  bool Type(std::string_view keys) {
    return write(fd_, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
  }
  std::string Text() const { return Plain(out_.text); }
  // Whether the session's first process has ended, within `limit`.
  bool Ended(int& status, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return Eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
  }
  void End() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
    pid_ = fd_ = -1;
  }
  void TearDown() override {
    End();
    In_temp_dir::TearDown();
  }
  pid_t pid_ = -1;
  int fd_ = -1;
  Terminal_output out_;
};

TEST_P(Terminal, ClearsTitlesTypesOutAndPausesForOneKey) {
  const Target target = GetParam();
  if (target == WINE) NEED_WINE();
  // The real programs: this row measures the pace.
  Launch launch = Starting(target, TAVREL_BIN, TAVREL_EXE);
  Write_file(SOURCE.first, SOURCE.second);
  Write_file(DATA, With_doubles(CC_DATA, target));
  // The program spoils the terminal, then sends Ctrl+C's signal (Linux).
  launch.env.push_back("FAKE_TERMINAL=1");
  launch.nonblocking = target == LINUX;  // left so by an earlier program
  ASSERT_TRUE(Start(launch, target == WINE));
  ASSERT_TRUE(Until(MENU_SHOWN));
  EXPECT_NE(out_.text.find("\x1b]0;Tavrel\a"), std::string::npos);
  EXPECT_NE(out_.text.find(target == LINUX ? "\x1b[H\x1b[2J\x1b[3J" : "\x1b[H"), std::string::npos);
  // The settings page's items come one by one, 1 ms a byte at least: the
  // last (回) of their 112 bytes 111 ms after the key at the earliest. (From
  // the key, not from the first item's arrival, which a loaded console can
  // hold back.) Shown as they come, not all at the end: the first byte has
  // arrived half that time before the last. A reader held back longer than
  // that fails this, which the pace alone cannot.
  const std::size_t menu = out_.text.size();
  const auto asked = std::chrono::steady_clock::now();
  ASSERT_TRUE(Type("2\r"));
  ASSERT_TRUE(Until("5. 返回\n\n"));
  const std::size_t first = out_.text.find("修", menu), last = out_.text.find("回", first) + 3;
  EXPECT_GE(Arrived(out_, last) - asked, std::chrono::milliseconds(111));
  EXPECT_GE(Arrived(out_, last) - Arrived(out_, first + 1), std::chrono::milliseconds(55))
      << "not shown character by character";

  // The information page's pause holds until a key comes.
  ASSERT_TRUE(Type("4\r"));
  const std::string prompt = target == LINUX ? PAUSE.substr(0, PAUSE.size() - 1) : "continue...";
  ASSERT_TRUE(Until(prompt));
  std::size_t paused = Text().size();
  // A time, since nothing shows that it waits: a program that went on
  // after more than 300 ms (or on a machine too loaded to show it) passes.
  EXPECT_FALSE(Until("1. 修改", paused, std::chrono::milliseconds(300)))
      << "went on past the pause without a key";

  // One key, Delete (ESC [ 3 ~; Wine's cmd takes it for several): what
  // follows it is the settings menu's next answer.
  const std::string key = target == LINUX ? "\x1b[3~" : "x";
  ASSERT_TRUE(Type(key + "5\r"));
  ASSERT_TRUE(Until(MENU_SHOWN, paused));
  paused = Text().size();

  if (target == LINUX) {
    // A program in this terminal that leaves it raw and non-blocking, and
    // Ctrl+C meant for it: Tavrel lives on, and its terminal is as it was.
    ASSERT_TRUE(Type("1\r"));
    ASSERT_TRUE(Until(ASK, paused));
    EXPECT_NE(out_.text.find("\x1b[H\x1b[2J\x1b[3J" + ASK), std::string::npos);
    ASSERT_TRUE(Type("a.cpp\r1\r"));
    ASSERT_TRUE(Until(STARTED.substr(0, STARTED.size() - 1), paused));
    EXPECT_EQ(Read_file("fake.log"), With_doubles(CC_LOG, LINUX) + "program\nterminal spoilt\n");
    termios t{};
    ASSERT_EQ(tcgetattr(fd_, &t), 0);
    EXPECT_TRUE((t.c_oflag & OPOST) && (t.c_iflag & ICRNL) && (t.c_lflag & ISIG)) << "left raw";
    paused = Text().size();
    ASSERT_TRUE(Type("x"));
    ASSERT_TRUE(Until(MENU_SHOWN, paused));
    // A time, as at the pause above: a late farewell passes.
    EXPECT_FALSE(Until(BYE, paused, std::chrono::milliseconds(300))) << "left without being asked";
    paused = Text().size();
  }

  // A Chinese path typed into an editor is stored as its UTF-8 bytes.
  ASSERT_TRUE(Type("2\r1\r"));
  ASSERT_TRUE(Until("请输入新编译器路径：", paused));
  const std::string typed = "C:\\编译器\\g++.exe\r";
  ASSERT_TRUE(Type(typed));
  ASSERT_TRUE(Until("设置成功！", paused));
  ASSERT_TRUE(Until(prompt, paused));
  ASSERT_TRUE(Type("x"));
  ASSERT_TRUE(Until("5. 返回\n\n", Text().find("设置成功！", paused)));
  paused = Text().size();
  ASSERT_TRUE(Type("5\r"));
  ASSERT_TRUE(Until(MENU_SHOWN, paused));
  const auto leaving = std::chrono::steady_clock::now();
  ASSERT_TRUE(Type("3\r"));
  EXPECT_TRUE(Until(BYE.substr(0, BYE.size() - 1), paused));
  int status = -1;
  waitpid(pid_, &status, 0);
  // The farewell's wait, as the real program keeps it.
  EXPECT_GE(std::chrono::steady_clock::now() - leaving, std::chrono::milliseconds(2500));
  if (target == LINUX) {
    EXPECT_NE(out_.text.find("\x1b[H\x1b[2J\x1b[3J" + BYE.substr(0, BYE.size() - 1)),
              std::string::npos);
    termios t{};
    ASSERT_EQ(tcgetattr(fd_, &t), 0);
    EXPECT_TRUE((t.c_lflag & ICANON) && (t.c_lflag & ECHO) && (t.c_oflag & OPOST));
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(Read_file(DATA), "C:\\编译器\\g++.exe\r\n\r\n-O2 -Wall");
}

TEST_P(Terminal, PauserShowsTheSummaryAndWaitsForOneKey) {
  const Target target = GetParam();
  if (target == WINE) NEED_WINE();
  Launch launch = Starting(target, TAVREL_PAUSER, TAVREL_WIN_PAUSER);
  launch.argv.push_back(With_doubles("{PROGRAM}", target));
  launch.env.insert(launch.env.end(), {"FAKE_SAY=ready", "FAKE_SLEEP_MS=1500"});
  // On Linux the program takes the terminal's foreground, as a shell does,
  // and leaves a child there: the pauser, the session's leader, takes it back.
  if (target == LINUX)
    launch.env.insert(launch.env.end(),
                      {"FAKE_FOREGROUND=1", "FAKE_DETACH=1", "FAKE_SLEEP_MS=300"});
  ASSERT_TRUE(Start(launch));
  ASSERT_TRUE(Until("ready"));
  // Keys typed while the program runs are dropped (Linux: a terminal drops
  // them, where Wine's console hands them to the next read). Under Wine,
  // then Ctrl+C: the program's, not ours. (A terminal's Ctrl+C would drop
  // the typed keys itself.) Ctrl+C waits until Wine's console has taken
  // the keys off the terminal: one right behind them was seen to leave the
  // pauser without its summary.
  ASSERT_TRUE(Type("abc\r"));
  if (target == WINE) {
    ASSERT_TRUE(Taken(fd_)) << "the console did not read the keys";
    ASSERT_TRUE(Type("\x03"));
  }
  ASSERT_TRUE(Until("峰值内存："));
  const std::string prompt = PAUSE.substr(0, PAUSE.size() - 1);
  ASSERT_TRUE(Until(prompt));
  if (target == LINUX) {
    // From the prompt itself: the read that brought it may hold more.
    const std::size_t paused = Text().rfind(prompt) + prompt.size();
    // A time: a pauser that left after more than 300 ms would pass.
    EXPECT_FALSE(Until("\n", paused, std::chrono::milliseconds(300))) << "did not wait for a key";
  }
  ASSERT_TRUE(Type("x"));
  int status = -1;
  EXPECT_TRUE(Ended(status) && WIFEXITED(status)) << status;
}

// A Ctrl+C of the program's that reaches the pauser just after the program's
// end is still the program's: the pauser waits for its key.
TEST_P(Terminal, PauserOutlivesALateCtrlC) {
  if (GetParam() == LINUX) GTEST_SKIP() << "console events belong to Windows";
  NEED_WINE();
  Launch launch = Starting(WINE, "", TAVREL_WIN_PAUSER);
  launch.argv.push_back(With_doubles("{PROGRAM}", WINE));
  launch.env.push_back("FAKE_LATE_CTRL_C=100");
  ASSERT_TRUE(Start(launch));
  ASSERT_TRUE(Until(PAUSE.substr(0, PAUSE.size() - 1)));
  // A time: a pauser that ended later than this would pass.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(waitpid(pid_, nullptr, WNOHANG), 0) << "ended by the late Ctrl+C";
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
    ASSERT_TRUE(Start(launch));
    int status = -1;
    // Tavrel too, in a group of its own under job control.
    const auto tavrel = Scoped{[this, &status] {
      const pid_t group = tcgetpgrp(fd_);
      if (status == -1 && group > 0) kill(-group, SIGKILL);
    }};
    ASSERT_TRUE(Until(MENU_SHOWN));
    const std::string before = Settings(fd_);
    const auto settle = [&](bool as_before) {
      Eventually([&] { return (Settings(fd_) == before) == as_before; }, std::chrono::seconds(5));
    };
    ASSERT_TRUE(Type("2\r4\r"));
    ASSERT_TRUE(Until(PAUSE.substr(0, PAUSE.size() - 1)));
    settle(false);  // the pause reads in raw mode
    ASSERT_TRUE(Type(key.substr(0, 1)));
    settle(true);
    EXPECT_EQ(Settings(fd_), before) << "the terminal after the key " << int(key[0]);
    ASSERT_TRUE(Type("\r"));
    if (key == "\x1a") {
      settle(false);
      const std::size_t paused = Text().size();
      ASSERT_TRUE(Type("x"));
      EXPECT_TRUE(Until("5. 返回\n\n", paused)) << "the key needed Enter after fg";
      ASSERT_TRUE(Type("5\r3\r"));
      EXPECT_TRUE(Until(BYE.substr(0, BYE.size() - 1), paused));
    }
    EXPECT_TRUE(Ended(status)) << "still running after the key " << int(key[0]);
    EXPECT_EQ(out_.text.find('\x1b') == std::string::npos, term != "TERM=xterm") << term;
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
  Write_file(SOURCE.first, SOURCE.second);
  Write_file(DATA, With_doubles(CC_DATA, LINUX));
  ASSERT_TRUE(Start(launch));
  ASSERT_TRUE(Until(MENU_SHOWN));
  const pid_t tavrel = tcgetpgrp(fd_);  // a job of its own, as the cat will be
  pid_t cat = tavrel;
  const auto jobs = Scoped{[&] {
    for (const pid_t job : {tavrel, cat})
      if (job > 0 && job != pid_) kill(-job, SIGKILL);
  }};
  ASSERT_TRUE(Type("1\ra.cpp\r"));
  ASSERT_TRUE(Until(COMPILING));
  ASSERT_TRUE(Type("\x1a"));
  Eventually([&] { return (cat = tcgetpgrp(fd_)) != tavrel && cat != pid_; });
  const auto state = [tavrel] {  // as /proc tells it: R, S, T (stopped)...
    const std::string stat = Read_file("/proc/" + std::to_string(tavrel) + "/stat");
    return stat.substr(std::min(stat.rfind(") ") + 2, stat.size()), 1);
  };
  EXPECT_TRUE(Eventually([&] { return state() == "T"; }))
      << "the compile's end did not wait for the terminal";
  EXPECT_EQ(tcgetpgrp(fd_), cat) << "the job in the foreground lost the terminal";
  ASSERT_TRUE(Type("hello\r"));
  EXPECT_TRUE(Until("hello\nhello\n"));
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
  ASSERT_TRUE(Start(launch, true));
  const std::string prompt = PAUSE.substr(0, PAUSE.size() - 1);
  ASSERT_TRUE(Until(prompt));
  ASSERT_TRUE(Type("x"));
  ASSERT_TRUE(Until(prompt, Text().rfind(prompt) + 1));
  ASSERT_TRUE(Type("x"));
  ASSERT_TRUE(Until(MENU_SHOWN));
  ASSERT_TRUE(Type("3\r"));
  const std::size_t left = Text().size();
  ASSERT_TRUE(Until("code pages", left));
  ASSERT_TRUE(Until("\n", Text().find("code pages", left)));
  int status = -1;
  waitpid(pid_, &status, 0);
  const std::vector<std::string> seen = Code_pages(Text());
  ASSERT_EQ(seen.size(), 4u) << Text();
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
    const std::string old = saving ? "old\r\n\r\n" : "";
    if (saving) Write_file(DATA, old);
    ASSERT_TRUE(Start(launch));
    // Keys as typed (Enter as CR), and Ctrl+C still the terminal's signal.
    termios t{};
    ASSERT_EQ(tcgetattr(fd_, &t), 0);
    t.c_iflag &= ~static_cast<tcflag_t>(ICRNL);
    t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    ASSERT_EQ(tcsetattr(fd_, TCSANOW, &t), 0);
    ASSERT_TRUE(Until(MENU_SHOWN));
    const auto temporary = [&launch] {
      for (const std::string& name : Names_besides(launch.dir, DATA))
        if (name.ends_with(".tmp")) return true;
      return false;
    };
    if (saving) {
      ASSERT_TRUE(Type("3\r"));
      ASSERT_TRUE(Eventually(temporary)) << "the save made no temporary file: " << Text();
    }
    ASSERT_TRUE(Type("\x03"));
    const std::size_t menu = Text().find(MENU_SHOWN);
    ASSERT_TRUE(Until("code pages", menu));
    ASSERT_TRUE(Until("\n", Text().find("code pages", menu)));
    const std::vector<std::string> seen = Code_pages(Text());
    ASSERT_EQ(seen.size(), 2u) << Text();
    EXPECT_EQ(seen[1], seen[0]) << "after Ctrl+C, saving " << saving;
    EXPECT_FALSE(temporary()) << Text().substr(menu);
    EXPECT_EQ(Read_file(DATA), old) << "saving " << saving;
  }
}

INSTANTIATE_TEST_SUITE_P(Console, Terminal, ::testing::Values(LINUX, WINE),
                         [](const ::testing::TestParamInfo<Target>& info) {
                           return std::string(info.param == LINUX ? "Linux" : "Wine");
                         });

}  // namespace
