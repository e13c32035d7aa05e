// Whole sessions of the program's logic in process, over the recording fake
// of the seam: the output byte for byte, the lines handed to the
// interpreter, the data file saved and the sleeps asked for. The same table
// runs on every system.
#include <gtest/gtest.h>

#include <optional>

#include "doubles/seam.h"
#include "files.h"
#include "settings/store.h"
#include "shell/print.h"
#include "shell/shell.h"
#include "texts.h"

namespace {

const std::string CC = "C:\\cc\\g++.exe";
const std::string CC_DATA_LINES = CC + "\r\n\r\n-O2 -Wall";
const std::string COMPILE = "cmd /c \"\"" + CC + "\" -O2 -Wall -g -o \"a.exe\" \"a.cpp\"\"";
const std::string START = "start \"a.cpp\" \"a.exe\"";
const std::pair<std::string, seam::Kind> CPP{"a.cpp", seam::REGULAR}, EXE{"a.exe", seam::REGULAR},
    CC_FILE{CC, seam::REGULAR};

struct Row {
  const char* name;
  std::string input;
  std::string out;
  std::optional<std::string> data_before = std::nullopt;  // a real file, found by the queries
  std::vector<std::pair<std::string, seam::Kind>> paths = {};
  std::vector<std::pair<std::string, std::string>> files = {};  // real files, found too
  std::vector<std::pair<std::string, int>> answers = {};
  std::vector<std::string> commands = {};
  std::optional<std::string> saved = std::nullopt;  // none: nothing saved
  int status = 0;
  bool save_fails = false;
  std::string notice = "";
};

const Row ROWS[] = {
    {.name = "RejectedLines",
     .input = "0\n4\n\n 1\n１\n0000000003\n" + std::string(6000, '7') + "\n3\n",
     .out = MENU + BAD + BAD + BAD + BAD + BAD + BAD + BAD + BYE,
     .saved = "\r\n\r\n"},
    {.name = "SettingsPageRejectsSix",
     .input = "2\n6\n5\n3\n",
     .out = MENU + SETTINGS_PAGE + BAD + MENU + BYE,
     .saved = "\r\n\r\n"},
    {.name = "EndOfInputLeaves",
     .input = "",
     .out = MENU + BYE,
     .data_before = "a\r\nb\r\nc",
     .saved = "a\r\nb\r\nc"},
    {.name = "EndOfInputInSettings",
     .input = "2\n",
     .out = MENU + SETTINGS_PAGE + MENU + BYE,
     .saved = "\r\n\r\n"},
    {.name = "LastLineWithoutNewline",
     .input = "0\n3",
     .out = MENU + BAD + BYE,
     .saved = "\r\n\r\n"},
    // Shown as stored, stored as typed: blanks, quotes, an empty line.
    {.name = "EditorsStoreWhatIsTyped",
     .input = "2\n1\nC:\\g++.exe\n2\n\"D:\\x y\\cp.exe\"\n3\n  -g  \n3\n\n5\n3\n",
     .out = MENU + SETTINGS_PAGE + Com("<空>") + SETTINGS_PAGE + Con("C:\\cp.exe") + SETTINGS_PAGE +
            Opts("   ") + SETTINGS_PAGE + Opts("  -g  ") + SETTINGS_PAGE + MENU + BYE,
     .data_before = "\r\nC:\\cp.exe\r\n   ",
     .saved = "C:\\g++.exe\r\n\"D:\\x y\\cp.exe\"\r\n"},
    // Rejected, an editor, the information page, back: the main menu reads on.
    {.name = "SettingsDispatchUntilBack",
     .input = "2\n7\n3\n-O2\n4\n5\n3\n",
     .out = MENU + SETTINGS_PAGE + BAD + Opts("<空>") + SETTINGS_PAGE + INFO + SETTINGS_PAGE +
            MENU + BYE,
     .saved = "\r\n\r\n-O2"},
    {.name = "EndOfInputInEditorKeepsValue",
     .input = "2\n2\n",
     .out = MENU + SETTINGS_PAGE + Con("  keep  ") + SETTINGS_PAGE + MENU + BYE,
     .data_before = "\r\n  keep  \r\n",
     .saved = "\r\n  keep  \r\n"},
    {.name = "LastLineInEditorWithoutNewline",
     .input = "2\n1\nnew",
     .out = MENU + SETTINGS_PAGE + Com("old") + SETTINGS_PAGE + MENU + BYE,
     .data_before = "old",
     .saved = "new\r\n\r\n"},
    // Found by the queries, but no file to open.
    {.name = "DataFileFoundButUnreadableIsLeftAlone",
     .input = "3\n",
     .out = MENU + BYE,
     .paths = {{DATA, seam::REGULAR}}},
    {.name = "SaveFailsWithItsReason",
     .input = "3\n",
     .out = MENU + UNSAVED + "why\n" + BYE,
     .status = 1,
     .save_fails = true},
    {.name = "NoticeOnceAboveTheFirstMenu",
     .input = "2\n5\n3\n",
     .out = "notice\n" + MENU + SETTINGS_PAGE + MENU + BYE,
     .saved = "\r\n\r\n",
     .notice = "notice"},
    {.name = "RunWithoutCompiler",
     .input = "1\na.c\na.cpp\n3\n",
     .out = MENU + ASK + INVALID + "\n" + NO_CC + MENU + BYE,
     .paths = {CPP, EXE},
     .saved = "\r\n\r\n"},
    {.name = "RunWithFolderAsCompiler",
     .input = "1\na.cpp\n3\n",
     .out = MENU + ASK + "\n" + NO_CC + MENU + BYE,
     .data_before = ".\r\n\r\n",
     .paths = {CPP, {".", seam::FOLDER}},
     .saved = ".\r\n\r\n"},
    {.name = "RunEmptyAnswersSkip",
     .input = "1\na.cpp\n\n\n3\n",
     .out = MENU + ASK + "\n" + ASK_COMPILE + SKIP_COMPILE + ASK_RUN + SKIP_RUN + MENU + BYE,
     .data_before = CC_DATA_LINES,
     .paths = {CPP, EXE, CC_FILE},
     .saved = CC_DATA_LINES},
    {.name = "RunAnswersZeroAndZeroOne",
     .input = "1\na.cpp\n01\n0\n1\na.cpp\n0\n01\n3\n",
     .out = MENU + ASK + "\n" + ASK_COMPILE + COMPILING + COMPILED + ASK_RUN + SKIP_RUN + MENU +
            ASK + "\n" + ASK_COMPILE + SKIP_COMPILE + ASK_RUN + DIRECT + STARTED + MENU + BYE,
     .data_before = CC_DATA_LINES,
     .paths = {CPP, EXE, CC_FILE},
     .commands = {COMPILE, START},
     .saved = CC_DATA_LINES},
    {.name = "RunCompileFails",
     .input = "1\na.cpp\n3\n",
     .out = MENU + ASK + "\n" + AUTO + FAILED + MENU + BYE,
     .data_before = CC_DATA_LINES,
     .paths = {CPP, CC_FILE, {"a.exe", seam::FOLDER}},
     .answers = {{"cmd /c", 1}},
     .commands = {COMPILE},
     .saved = CC_DATA_LINES},
    // A path copied with its quotes; a line with a quote elsewhere is as typed.
    {.name = "RunQuotedPathTakenWithoutItsQuotes",
     .input = "1\n\"a.cpp\n\"\"a.cpp\"\"\n\"a.cpp\"\n0\n1\n3\n",
     .out = MENU + ASK + INVALID + INVALID + "\n" + ASK_COMPILE + SKIP_COMPILE + ASK_RUN + DIRECT +
            STARTED + MENU + BYE,
     .data_before = CC_DATA_LINES,
     .paths = {CPP, EXE, CC_FILE},
     .commands = {START},
     .saved = CC_DATA_LINES},
    // Only a program still running from its file is named.
    {.name = "RunCompileOverARunningProgramNamesIt",
     .input = "1\na.cpp\n1\n1\nb.cpp\n1\n3\n",
     .out = MENU + ASK + "\n" + ASK_COMPILE + COMPILING + "编译失败！\n" +
            "程序“a.exe”仍在运行，无法覆盖：关闭它的窗口后再编译。\n\n" + PAUSE + MENU + ASK +
            "\n" + ASK_COMPILE + COMPILING + FAILED + MENU + BYE,
     .data_before = CC_DATA_LINES,
     .paths =
         {CPP, {"a.exe", seam::HELD}, CC_FILE, {"b.cpp", seam::REGULAR}, {"b.exe", seam::REGULAR}},
     .answers = {{"cmd /c", 1}},
     .commands = {COMPILE, "cmd /c \"\"" + CC + "\" -O2 -Wall -g -o \"b.exe\" \"b.cpp\"\""},
     .saved = CC_DATA_LINES},
    // The pauser's start alone inherits the code page the program writes in.
    {.name = "RunThroughPauserTellsItsCodePage",
     .input = "1\na.cpp\n0\n1\n3\n",
     .out = MENU + ASK + "\n" + ASK_COMPILE + SKIP_COMPILE + ASK_RUN + VIA + STARTED + MENU + BYE,
     .data_before = CC + "\r\nC:\\cp.exe\r\n-O2",
     .paths = {EXE, CC_FILE, {"C:\\cp.exe", seam::REGULAR}},
     .files = {{"a.cpp", "int main() { puts(\"你好\"); }\n"}},
     .commands = {"TAVREL_OUTPUT_CP=65001", "start \"\" C:\\cp.exe \"<window>a.exe\"",
                  "TAVREL_OUTPUT_CP="},
     .saved = CC + "\r\nC:\\cp.exe\r\n-O2"},
    {.name = "RunStartFails",
     .input = "1\na.cpp\n1\n3\n",
     .out = MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + "启动失败！\n\n" + PAUSE +
            MENU + BYE,
     .data_before = CC_DATA_LINES,
     .paths = {CPP, CC_FILE},
     .answers = {{"start", 1}},
     .commands = {COMPILE, START},
     .saved = CC_DATA_LINES},
    {.name = "RunThroughPauserWithItsPathForANewWindow",
     .input = "1\na.cpp\n0\n1\n3\n",
     .out = MENU + ASK + "\n" + ASK_COMPILE + SKIP_COMPILE + ASK_RUN + VIA + STARTED + MENU + BYE,
     .data_before = CC + "\r\nC:\\p (x)\\cp.exe\r\n",
     .paths = {CPP, EXE, CC_FILE, {"C:\\p (x)\\cp.exe", seam::REGULAR}},
     .commands = {"start \"\" \"C:\\p (x)\\cp.exe\" \"<window>a.exe\""},
     .saved = CC + "\r\nC:\\p (x)\\cp.exe\r\n"},
    {.name = "RunWithFolderAsPauserStartsDirectly",
     .input = "1\na.cpp\n0\n1\n3\n",
     .out =
         MENU + ASK + "\n" + ASK_COMPILE + SKIP_COMPILE + ASK_RUN + DIRECT + STARTED + MENU + BYE,
     .data_before = CC + "\r\n.\r\n",
     .paths = {CPP, EXE, CC_FILE, {".", seam::FOLDER}},
     .commands = {START},
     .saved = CC + "\r\n.\r\n"},
    {.name = "RunEndOfInputAtThePath",
     .input = "1\n",
     .out = MENU + ASK + MENU + BYE,
     .data_before = CC_DATA_LINES,
     .paths = {CPP, EXE, CC_FILE},
     .saved = CC_DATA_LINES},
    {.name = "RunEndOfInputAtTheQuestions",
     .input = "1\na.cpp\n",
     .out = MENU + ASK + "\n" + ASK_COMPILE + SKIP_COMPILE + ASK_RUN + SKIP_RUN + MENU + BYE,
     .data_before = CC_DATA_LINES,
     .paths = {CPP, EXE, CC_FILE},
     .saved = CC_DATA_LINES},
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Session : public In_temp_dir, public ::testing::WithParamInterface<Row> {};

TEST_P(Session, MatchesByteForByte) {
  const Row& row = GetParam();
  seam::Reset();
  COM_PATH = CON_PATH = COM_SETTINGS = "";
  seam::input = row.input;
  seam::paths.insert(row.paths.begin(), row.paths.end());
  seam::answers = row.answers;
  seam::save_fails = row.save_fails;
  seam::save_why = row.save_fails ? "why" : "";
  seam::notice = row.notice;
  for (const auto& [name, bytes] : row.files) {
    Write_file(name, bytes);
    seam::paths[name] = seam::REGULAR;
  }
  if (row.data_before) {
    Write_file(DATA, *row.data_before);
    seam::paths[DATA] = seam::REGULAR;
  }
  Init();
  EXPECT_EQ(Main_loop(), row.status);
  EXPECT_EQ(seam::out, row.out);
  EXPECT_EQ(seam::commands, row.commands);
  std::map<std::string, std::string> saved;
  if (row.saved) saved[DATA] = *row.saved;
  EXPECT_EQ(seam::saved, saved);
  EXPECT_EQ(seam::hidden, row.saved ? std::vector<std::string>{DATA} : std::vector<std::string>{});
  // One millisecond a byte, then the farewell's 2.5 s.
  ASSERT_FALSE(seam::sleeps.empty());
  EXPECT_EQ(seam::sleeps.back(), 2'500'000);
  seam::sleeps.pop_back();
  for (const long long us : seam::sleeps) ASSERT_EQ(us, 1000);
}

INSTANTIATE_TEST_SUITE_P(Logic, Session, ::testing::ValuesIn(ROWS),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

TEST(Typewriter, PausesEndOnAGridThatALateWakeUpStartsAfresh) {
  const struct {
    std::vector<long long> late, sleeps;  // each wake-up's lateness; the sleeps asked for
  } cases[] = {
      {{}, {1000, 1000, 1000, 1000}},
      {{600}, {1000, 400, 1000, 1000}},     // made up by the next pause
      {{2500, 2500}, {1000, 1000, 1000}},   // behind by more than 3 ms: afresh, no sleep owed
      {{50000}, {1000, 1000, 1000, 1000}},  // stopped: no burst of bytes after it
  };
  for (const auto& c : cases) {
    seam::Reset();
    seam::late = c.late;
    Print("abcd", 1);
    EXPECT_EQ(seam::out, "abcd\n");
    EXPECT_EQ(seam::sleeps, c.sleeps);
  }
}
