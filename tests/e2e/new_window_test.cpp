// New windows: a private tmux server, and a stand-in xterm on PATH.
#include <unistd.h>

#include "e2e/shared.h"

namespace {

// A working directory holding a.cpp and a data file; the input runs it.
Launch Prepared(const std::string& data) {
  Launch launch;
  launch.argv = {TAVREL_UNPACED};
  const std::string root = Make_test_dir();
  // A shell between Tavrel and the program would trip over this name, and
  // tmux would run or expand its formats.
  launch.dir = root + "/my work;$(x) #H #(touch pwned)";
  fs::create_directory(launch.dir);
  Write_file(fs::path(launch.dir) / SOURCE.first, SOURCE.second);
  Write_file(fs::path(launch.dir) / DATA, With_doubles(data, LINUX));
  launch.input = "1\na.cpp\n1\n3\n";
  return launch;
}

TEST(NewWindow, InsideTmuxOpensAWindowInTheWorkingDirectory) {
  NEED_TOOL(TAVREL_TMUX, "tmux (Debian: tmux)");
  NEED_TOOL(TAVREL_SLEEP, "sleep (Debian: coreutils)");
  Launch launch = Prepared(CC_DATA);
  const auto removing = Removing(fs::path(launch.dir).parent_path().string());
  // A server of this test's own: no other tmux is touched.
  const std::string server_name = "tavrel-e2e-" + std::to_string(getpid());
  const auto tool = [&](const std::vector<std::string>& args) {
    Launch t;
    t.argv = {TAVREL_TMUX, "-L", server_name, "-f", "/dev/null"};
    t.argv.insert(t.argv.end(), args.begin(), args.end());
    t.dir = fs::path(launch.dir).parent_path().string();
    t.deadline = 30;
    return Run_program(t).out;
  };
  tool({"new-session", "-d", "-s", "t", TAVREL_SLEEP, "600"});
  const auto server = Scoped{[&tool] { tool({"kill-server"}); }};
  tool({"set-option", "-g", "remain-on-exit", "on"});
  std::string socket = tool({"display-message", "-p", "-t", "t", "#{socket_path}"});
  ASSERT_FALSE(socket.empty());
  socket.pop_back();
  launch.env = {"TMUX=" + socket + ",1,0"};
  const Outcome o = Run_program(launch);
  const std::string expected_log = With_doubles(CC_LOG + "program\n", LINUX);
  const std::string log = Wait_for_log(fs::path(launch.dir) / "fake.log", expected_log.size());
  const std::string windows = tool({"list-windows", "-t", "t", "-F", "#{window_name}"});
  EXPECT_EQ(o.out, MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + STARTED + MENU + BYE);
  EXPECT_EQ(log, expected_log);
  EXPECT_NE(windows.find("a.cpp\n"), std::string::npos) << windows;
  EXPECT_FALSE(fs::exists(fs::path(launch.dir).parent_path() / "pwned"));
  EXPECT_FALSE(fs::exists(fs::path(launch.dir) / "pwned"));
}

// A tmux that refuses the window (no server at that socket) has opened
// nothing: the program runs in this console.
TEST(NewWindow, RefusedByTmuxRunsInThisConsole) {
  NEED_TOOL(TAVREL_TMUX, "tmux (Debian: tmux)");
  Launch launch = Prepared(CC_DATA);
  const auto removing = Removing(fs::path(launch.dir).parent_path().string());
  launch.env = {"TMUX=" + fs::path(launch.dir).parent_path().string() + "/no-server,1,0"};
  const Outcome o = Run_program(launch);
  EXPECT_EQ(o.out, MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + STARTED + MENU + BYE);
  EXPECT_EQ(Read_file(fs::path(launch.dir) / "fake.log"),
            With_doubles(CC_LOG + "program\n", LINUX));
}

// A stand-in terminal on PATH: one that opens its window and stays until
// the test has seen Tavrel end (a Tavrel that waited for it would hang),
// one that finds no display and fails at once, and one that runs the
// program and passes on its failure. A planted `nice` in the working
// folder, on PATH as "." (which no helper may come from). The programs
// record their open descriptors.
struct Display {
  const char* name;
  std::string xterm;  // the script
  std::string runs;   // what the doubles record after the compiler
  std::string xterm_log;
  std::string data = "{CC}\r\n{PAUSER}\r\n-O2 -Wall";
  std::string shows = VIA + STARTED;
};

// {SEQ} and {SLEEP} stand for the programs' paths: PATH holds neither.
const std::string OPENS =
    "for a in \"$@\"; do printf '<%s>' \"$a\"; done > xterm.log\nshift\n\"$@\"\n"
    "for i in $({SEQ} 600); do [ -e window-closed ] || [ ! -e xterm.log ] && exit; "
    "{SLEEP} 0.1; done\n";
const std::string RUNS = "pauser <{HERE}a.exe>\nprogram\nfds 0 1 2\n";

const Display DISPLAYS[] = {
    {"OpensAWindow", OPENS, RUNS, "<-e><{PAUSER}><{HERE}a.exe>"},
    {"NoDisplayThere", "echo \"xterm: Xt error: Can't open display: :99\" >&2\nexit 1\n", RUNS, ""},
    {"PassesOnTheProgramsFailure", "shift\n\"$@\"\nexit 3\n", RUNS, ""},
    // No nice on an absolute entry of PATH: no window, but this console.
    {"NoNiceToBeFound", OPENS, "program\nfds 0 1 2\n", "", CC_DATA, DIRECT + STARTED},
};

void PrintTo(const Display& d, std::ostream* os) { *os << d.name; }

class NewWindowWithDisplay : public ::testing::TestWithParam<Display> {};

TEST_P(NewWindowWithDisplay, StartsDetachedOrFallsBackToThisConsole) {
  const Display& d = GetParam();
  for (const auto& [tool, package] : {std::pair{TAVREL_SH, "sh (Debian: dash)"},
                                      {TAVREL_SEQ, "seq (Debian: coreutils)"},
                                      {TAVREL_SLEEP, "sleep (Debian: coreutils)"}})
    NEED_TOOL(tool, package);
  Launch launch = Prepared(d.data);
  const auto removing = Removing(fs::path(launch.dir).parent_path().string());
  // A pauser of this test's own: the start watches the file for opens, and
  // tests running beside this one open the shared one.
  const fs::path own = fs::path(launch.dir).parent_path() / "pauser";
  fs::copy_file(With_doubles("{PAUSER}", LINUX), own);
  const auto doubles = [&own, &launch](std::string s) {
    Replace_all(s, "{PAUSER}", own.string());
    Replace_all(s, "{HERE}", launch.dir + "/");
    return With_doubles(s, LINUX);
  };
  Write_file(fs::path(launch.dir) / DATA, doubles(d.data));
  const fs::path bin = fs::path(launch.dir).parent_path() / "bin";
  fs::create_directory(bin);
  std::string script = "#!" + std::string(TAVREL_SH) + "\n" + d.xterm;
  Replace_all(script, "{SEQ}", TAVREL_SEQ);
  Replace_all(script, "{SLEEP}", TAVREL_SLEEP);
  Write_file(bin / "xterm", script);
  fs::permissions(bin / "xterm", fs::perms::owner_all);
  Write_file(fs::path(launch.dir) / "nice",
             "#!" + std::string(TAVREL_SH) + "\necho planted nice >> fake.log\n\"$@\"\n");
  fs::permissions(fs::path(launch.dir) / "nice", fs::perms::owner_all);
  launch.env = {"DISPLAY=:99", "PATH=.:" + bin.string(), "FAKE_FDS=1"};
  launch.deadline = 30;
  const Outcome o = Run_program(launch);
  Write_file(fs::path(launch.dir) / "window-closed", "");
  EXPECT_EQ(o.out, MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + d.shows + MENU + BYE);
  EXPECT_EQ(o.err, "") << "a launcher's complaint reached the screen";
  const std::string log = doubles(CC_LOG + d.runs);
  EXPECT_EQ(Wait_for_log(fs::path(launch.dir) / "fake.log", log.size()), log);
  EXPECT_EQ(Read_file(fs::path(launch.dir) / "xterm.log"), doubles(d.xterm_log));
}

INSTANTIATE_TEST_SUITE_P(Launcher, NewWindowWithDisplay, ::testing::ValuesIn(DISPLAYS),
                         [](const ::testing::TestParamInfo<Display>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
