// Tavrel and the pauser on a pseudo-terminal, on Linux and as .exe files
// under Wine: what only a terminal or a console shows.
#include "e2e/terminal.h"

#include <fcntl.h>
#include <termios.h>

namespace {

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
    // Non-blocking again, as Tavrel found its input and the program did not leave it.
    const std::string info = Read_file("/proc/" + std::to_string(pid_) + "/fdinfo/0");
    EXPECT_TRUE(std::stoi(info.substr(info.find("flags:") + 6), nullptr, 8) & O_NONBLOCK) << info;
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

// A program's child that takes the terminal's foreground after the
// program's end, then ends, leaves Tavrel's group in the background with
// nobody to bring it back: Tavrel, the session's leader, takes the terminal
// back and reads on, where the read's EIO would have ended its input.
TEST_P(Terminal, MenuReadsOnAfterAChildTookTheForeground) {
  if (GetParam() == WINE) GTEST_SKIP() << "process groups belong to POSIX terminals";
  Launch launch = Starting(LINUX, TAVREL_UNPACED, "");
  launch.env = {"FAKE_DETACH=1", "FAKE_LATE_FOREGROUND=1"};
  Write_file(SOURCE.first, SOURCE.second);
  Write_file(DATA, With_doubles(CC_DATA, LINUX));
  ASSERT_TRUE(Start(launch));
  ASSERT_TRUE(Until(MENU_SHOWN));
  ASSERT_TRUE(Type("1\ra.cpp\r1\r"));
  ASSERT_TRUE(Until(STARTED.substr(0, STARTED.size() - 1)));
  ASSERT_TRUE(Eventually([] { return Read_file("fake.log").ends_with("late\n"); }));
  const std::size_t left = Text().size();
  ASSERT_TRUE(Type("0\r"));
  ASSERT_TRUE(Until(BAD, left));
  // A time: a Tavrel that left later than this would pass.
  EXPECT_FALSE(Until(BYE.substr(0, BYE.size() - 1), left, std::chrono::milliseconds(300)))
      << "took the EIO for the end of input";
  ASSERT_TRUE(Type("3\r"));
  EXPECT_TRUE(Until(BYE.substr(0, BYE.size() - 1), left));
}

INSTANTIATE_TEST_SUITE_P(Console, Terminal, ::testing::Values(LINUX, WINE),
                         [](const ::testing::TestParamInfo<Target>& info) {
                           return std::string(info.param == LINUX ? "Linux" : "Wine");
                         });

}  // namespace
