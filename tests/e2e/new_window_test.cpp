// New windows: a private tmux server, and a stand-in xterm on PATH.
#include <unistd.h>

#include <regex>

#include "e2e/shared.h"

namespace {

// A working directory in `root` holding a.cpp and a data file; the input
// runs it.
Launch Prepared(const fs::path& root, const std::string& data) {
  Launch launch;
  launch.argv = {TAVREL_UNPACED};
  // A shell between Tavrel and the program would trip over this name, and
  // tmux would run or expand its formats.
  launch.dir = (root / "my work;$(x) #H #(touch pwned)").string();
  fs::create_directory(launch.dir);
  Write_file(fs::path(launch.dir) / SOURCE.first, SOURCE.second);
  Write_file(fs::path(launch.dir) / DATA, With_doubles(data, LINUX));
  launch.input = "1\na.cpp\n1\n3\n";
  return launch;
}

using NewWindow = In_temp_dir;

TEST_F(NewWindow, InsideTmuxOpensAWindowInTheWorkingDirectory) {
  NEED_TOOL(TAVREL_TMUX, "tmux (Debian: tmux)");
  NEED_TOOL(TAVREL_SLEEP, "sleep (Debian: coreutils)");
  Launch launch = Prepared(dir_, CC_DATA);
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
TEST_F(NewWindow, RefusedByTmuxRunsInThisConsole) {
  NEED_TOOL(TAVREL_TMUX, "tmux (Debian: tmux)");
  Launch launch = Prepared(dir_, CC_DATA);
  launch.env = {"TMUX=" + fs::path(launch.dir).parent_path().string() + "/no-server,1,0"};
  const Outcome o = Run_program(launch);
  EXPECT_EQ(o.out, MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + STARTED + MENU + BYE);
  EXPECT_EQ(Read_file(fs::path(launch.dir) / "fake.log"),
            With_doubles(CC_LOG + "program\n", LINUX));
}

// A stand-in terminal on PATH: one that opens its window and stays until
// the test has seen Tavrel end (a Tavrel that waited for it would hang),
// one that finds no display and fails at once, and one that runs the
// program and passes on its failure, after reading every file it was given
// (as an indexer or a scanner would). A planted `xterm` in the working
// folder, on PATH as "." (which no helper may come from). The programs
// record their open descriptors.
struct Display {
  const char* name;
  std::string xterm;  // the script
  std::string xterm_log = "";
  // Tavrel copied to this place in the row's folder, with no start step
  // beside it (or in ../libexec/tavrel when `installed`).
  std::string tavrel_at = "";
  bool installed = false;
  bool runs = true;         // false: the pauser is no program, so nothing starts
  std::string tmpdir = "";  // TMPDIR, when not the row's own
  bool hangs_up = false;    // the terminal sends Tavrel SIGHUP as it opens
};

// {SEQ} and {SLEEP} stand for the programs' paths: PATH holds neither.
const std::string OPENS =
    "for a in \"$@\"; do printf '<%s>' \"$a\"; done > xterm.log\nshift\n\"$@\"\n"
    "for i in $({SEQ} 600); do [ -e window-closed ] || [ ! -e xterm.log ] && exit; "
    "{SLEEP} 0.1; done\n";

const Display DISPLAYS[] = {
    {"OpensAWindow", OPENS, "<-e><{STEP}><{MARK}><{PAUSER}><{HERE}a.exe>"},
    {.name = "OpensAWindowWhereTmpdirIsGone",
     .xterm = OPENS,
     .xterm_log = "<-e><{STEP}><{MARK}><{PAUSER}><{HERE}a.exe>",
     .tmpdir = "/nonexistent/tavrel-gone"},
    {"NoDisplayThere",
     "for a; do [ -f \"$a\" ] && : < \"$a\"; done\n"
     "echo \"xterm: Xt error: Can't open display: :99\" >&2\nexit 1\n",
     ""},
    {"PassesOnTheProgramsFailure", "shift\n\"$@\"\nexit 3\n", ""},
    // No start step: no window, but this console.
    {.name = "NoStartStep", .xterm = OPENS, .tavrel_at = "tavrel"},
    {.name = "InstalledOpensAWindow",
     .xterm = OPENS,
     .xterm_log = "<-e><{STEP}><{MARK}><{PAUSER}><{HERE}a.exe>",
     .tavrel_at = "usr/bin/tavrel",
     .installed = true},
    // The step could not become the program: the launcher's failure stands.
    {.name = "StepCannotStartTheProgram", .xterm = "shift\n\"$@\"\nexit 3\n", .runs = false},
    // Its launcher's parent is Tavrel, which ends only when the mark's
    // folder is gone.
    {.name = "HangUpWhileTheWindowOpens",
     .xterm = "read -r _ _ _ tavrel _ < /proc/$PPID/stat\nkill -HUP $tavrel\n",
     .hangs_up = true},
};

void PrintTo(const Display& d, std::ostream* os) { *os << d.name; }

using NewWindowWithDisplay = Row<Display>;

TEST_P(NewWindowWithDisplay, StartsDetachedOrFallsBackToThisConsole) {
  const Display& d = GetParam();
  for (const auto& [tool, package] : {std::pair{TAVREL_SH, "sh (Debian: dash)"},
                                      {TAVREL_SEQ, "seq (Debian: coreutils)"},
                                      {TAVREL_SLEEP, "sleep (Debian: coreutils)"}})
    NEED_TOOL(tool, package);
  Launch launch = Prepared(dir_, "{CC}\r\n{PAUSER}\r\n-O2 -Wall");
  const std::string root = dir_.string();
  // A pauser that may be run but not read: nobody but root could watch it.
  const std::string pauser = root + "/pauser";
  if (d.runs)
    fs::copy_file(With_doubles("{PAUSER}", LINUX), pauser);
  else
    Write_file(pauser, "not a program\n");
  fs::permissions(pauser, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
  std::string step = (fs::path(TAVREL_UNPACED).parent_path() / "tavrel-start").string();
  if (!d.tavrel_at.empty()) {
    const fs::path at = dir_ / d.tavrel_at;
    fs::create_directories(at.parent_path());
    fs::copy_file(launch.argv[0], at);
    launch.argv = {at.string()};
    if (d.installed) {
      fs::create_directories(at.parent_path() / "../libexec/tavrel");
      const std::string installed = (at.parent_path() / "../libexec/tavrel/tavrel-start").string();
      fs::copy_file(step, installed);
      step = installed;
    }
  }
  const auto doubles = [&launch, &pauser, &step](std::string s) {
    Replace_all(s, "{PAUSER}", pauser);
    Replace_all(s, "{STEP}", step);
    Replace_all(s, "{HERE}", launch.dir + "/");
    return With_doubles(s, LINUX);
  };
  const fs::path bin = fs::path(root) / "bin";
  fs::create_directory(bin);
  std::string script = "#!" + std::string(TAVREL_SH) + "\n" + d.xterm;
  Replace_all(script, "{SEQ}", TAVREL_SEQ);
  Replace_all(script, "{SLEEP}", TAVREL_SLEEP);
  Write_file(bin / "xterm", script);
  Write_file(fs::path(launch.dir) / DATA, doubles("{CC}\r\n{PAUSER}\r\n-O2 -Wall"));
  fs::permissions(bin / "xterm", fs::perms::owner_all);
  Write_file(fs::path(launch.dir) / "xterm",
             "#!" + std::string(TAVREL_SH) + "\necho planted >> fake.log\n");
  fs::permissions(fs::path(launch.dir) / "xterm", fs::perms::owner_all);
  launch.env = {"DISPLAY=:99", "PATH=.:" + bin.string(), "FAKE_FDS=1"};
  fs::create_directory(root + "/tmp");
  launch.env.push_back("TMPDIR=" + (d.tmpdir.empty() ? root + "/tmp" : d.tmpdir));
  launch.deadline = 30;
  const Outcome o = Run_program(launch);
  Write_file(fs::path(launch.dir) / "window-closed", "");
  // The mark's folder goes after every start, and before a hang-up ends Tavrel.
  EXPECT_TRUE(fs::is_empty(root + "/tmp")) << "the mark's folder was left";
  if (d.hangs_up) {
    EXPECT_EQ(o.status, 128 + SIGHUP) << o.out;
    return;
  }
  EXPECT_EQ(o.out, MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + VIA +
                       (d.runs ? STARTED : For_target(NOT_STARTED, LINUX)) + MENU + BYE);
  if (d.runs) {
    EXPECT_EQ(o.err, "") << "a launcher's complaint reached the screen";
  }
  const std::string log =
      doubles(CC_LOG + (d.runs ? "pauser <{HERE}a.exe>\nprogram\nfds 0 1 2\n" : ""));
  EXPECT_EQ(Wait_for_log(fs::path(launch.dir) / "fake.log", log.size()), log);
  // The mark's folder is new for each start.
  static const std::regex mark("<[^<>]*/tavrel-[^/<>]*/started>");
  EXPECT_EQ(std::regex_replace(Read_file(fs::path(launch.dir) / "xterm.log"), mark, "<{MARK}>"),
            doubles(d.xterm_log));
}

INSTANTIATE_TEST_SUITE_P(Launcher, NewWindowWithDisplay, ::testing::ValuesIn(DISPLAYS),
                         Named<Display>);

}  // namespace
