// What only a Windows console shows, under Wine: its console events and
// code pages.
#include <termios.h>

#include <regex>
#include <thread>

#include "e2e/terminal.h"

namespace {

// A Ctrl+C of the program's that reaches the pauser just after the program's
// end is still the program's: the pauser waits for its key.
TEST_P(Terminal, PauserOutlivesALateCtrlC) {
  if (GetParam() == LINUX) GTEST_SKIP() << "console events belong to Windows";
  NEED_WINE();
  Launch launch = Starting(WINE, "", TAVREL_WIN_PAUSER);
  launch.argv.push_back(With_doubles("{PROGRAM}", WINE));
  launch.env.push_back("FAKE_LATE_CTRL_C=50");
  ASSERT_TRUE(Start(launch));
  ASSERT_TRUE(Until(PAUSE.substr(0, PAUSE.size() - 1)));
  // A time: a pauser that ended later than this would pass.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(waitpid(pid_, nullptr, WNOHANG), 0) << "ended by the late Ctrl+C";
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

}  // namespace
